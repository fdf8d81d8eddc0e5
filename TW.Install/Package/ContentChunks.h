#pragma once
// Where a program is cut into chunks: by its content, with a rolling (gear)
// hash over the last 32 bytes, so that an insertion changes the chunks around
// it and not every chunk after it. The publisher's tool and the setup program
// cut by this one definition, so a chunk that did not change is found again.
// Plain C++: it builds for the setup program and for the publishing host.
#include <stddef.h>
#include <stdint.h>

namespace ContentChunks
{
const size_t minSize = 16 * 1024;
const size_t maxSize = 256 * 1024;
// A cut after minSize has a chance of 1 in 49,152 at each byte: about 64 KiB
// on average.
const uint32_t cutBelow = 0xFFFFFFFFu / 49152u;

// One fixed pseudo-random number for each byte value (splitmix32), made
// when the program is compiled.
constexpr uint32_t Gear(uint32_t byte)
{
    uint32_t x = 0x9E3779B9u * (byte + 1u);
    x = (x ^ (x >> 16)) * 0x85EBCA6Bu;
    x = (x ^ (x >> 13)) * 0xC2B2AE35u;
    return x ^ (x >> 16);
}

struct GearTable
{
    uint32_t values[256];
    constexpr GearTable() : values()
    {
        for (uint32_t i = 0; i < 256; ++i)
            values[i] = Gear(i);
    }
};
constexpr GearTable gears;

// The length of the chunk that starts at data, given `size` bytes from there
// (size >= maxSize unless they run to the end of the file): at least minSize
// and at most maxSize, or all that is left.
inline size_t ChunkLength(const unsigned char* data, size_t size)
{
    if (size <= minSize)
        return size;
    size_t limit = size < maxSize ? size : maxSize;
    uint32_t hash = 0;
    // The hash of the 32 bytes before minSize primes the window.
    for (size_t i = minSize - 32; i < minSize; ++i)
        hash = (hash << 1) + gears.values[data[i]];
    for (size_t i = minSize; i < limit; ++i)
    {
        hash = (hash << 1) + gears.values[data[i]];
        if (hash < cutBelow)
            return i + 1;
    }
    return limit;
}
} // namespace ContentChunks
