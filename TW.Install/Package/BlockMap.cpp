#include "BlockMap.h"

#include "ContentChunks.h"
#include "SError.h"

#include <string.h>

namespace
{
const DWORD g_headerSize = 52;
const DWORD g_entrySize = 48;
// The body: the program's size, the zlib header, ..., the Adler-32.
const DWORD g_firstChunkInBody = 4 + 2;
const DWORD g_bodyTrailer = 4;
// Deflate can grow incompressible bytes by 5 bytes every 16 KiB, and a flush
// adds a few more.
const DWORD g_maxCompressedChunk = ContentChunks::maxSize + ContentChunks::maxSize / 1024 + 64;

DWORD ReadU32(const BYTE* at) { return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<DWORD>(at[3]) << 24); }

HRESULT Damaged(const SString& what)
{
    SERROR_SET("Download.BlockMap").Add(L"The download's block map is damaged: " + what);
    return E_FAIL;
}

HRESULT CheckChunk(const BlockChunk& chunk, DWORD programAt, DWORD bodyAt, DWORD programSize)
{
    if (chunk.programOffset != programAt || chunk.bodyOffset != bodyAt)
        return Damaged(L"a chunk does not follow the one before it.");
    bool empty = programSize == 0;
    if ((!empty && (chunk.programSize == 0 || chunk.programSize > ContentChunks::maxSize)) ||
        chunk.programSize > programSize - programAt)
        return Damaged(L"a chunk's size is out of bounds.");
    if (chunk.bodySize == 0 || chunk.bodySize > g_maxCompressedChunk)
        return Damaged(L"a chunk's compressed size is out of bounds.");
    return S_OK;
}
} // namespace

HRESULT ParseBlockMap(const BYTE* bytes, DWORD size, BlockMap& map)
{
    if (size < g_headerSize || memcmp(bytes, "TWBLOCK1", 8) != 0)
        return Damaged(L"it does not start with the map's header.");
    DWORD count = ReadU32(bytes + 8);
    if (count == 0 || count > (size - g_headerSize) / g_entrySize || size != g_headerSize + count * g_entrySize)
        return Damaged(L"its length does not match its count of chunks.");
    map.programSize = ReadU32(bytes + 12);
    map.programDigest.assign(reinterpret_cast<const char*>(bytes + 16), 32);
    map.bodySize = ReadU32(bytes + 48);
    map.chunks.resize(count);
    DWORD programAt = 0;
    DWORD bodyAt = g_firstChunkInBody;
    for (DWORD i = 0; i < count; ++i)
    {
        const BYTE* entry = bytes + g_headerSize + i * g_entrySize;
        BlockChunk& chunk = map.chunks[i];
        chunk.programOffset = ReadU32(entry);
        chunk.programSize = ReadU32(entry + 4);
        chunk.bodyOffset = ReadU32(entry + 8);
        chunk.bodySize = ReadU32(entry + 12);
        chunk.digest.assign(reinterpret_cast<const char*>(entry + 16), 32);
        S_RETURN_IF_FAILED(CheckChunk(chunk, programAt, bodyAt, map.programSize));
        if (chunk.bodySize > 0xFFFFFFFF - bodyAt - g_bodyTrailer)
            return Damaged(L"the chunks run past the largest body.");
        programAt += chunk.programSize;
        bodyAt += chunk.bodySize;
    }
    if (programAt != map.programSize)
        return Damaged(L"the chunks do not add up to the program's size.");
    if (bodyAt + g_bodyTrailer != map.bodySize)
        return Damaged(L"the chunks do not add up to the body's size.");
    return S_OK;
}
