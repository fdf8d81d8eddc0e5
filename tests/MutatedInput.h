#pragma once
// Inputs for the readers' fuzz loops: valid files mutated from a fixed seed
// (bit flips, cuts, insertions, length fields set to extremes), each placed
// right before an inaccessible page, so that a read past the end faults
// instead of passing unnoticed.
#include <windows.h>

#include <string.h>

#include <functional>
#include <string>
#include <vector>

class GuardedBlock
{
public:
    explicit GuardedBlock(const std::string& bytes) : GuardedBlock(bytes.size()) { Place(bytes); }
    explicit GuardedBlock(size_t capacity)
    {
        SYSTEM_INFO info;
        ::GetSystemInfo(&info);
        m_pages = (capacity + info.dwPageSize - 1) / info.dwPageSize + 1;
        m_base = static_cast<BYTE*>(::VirtualAlloc(NULL, m_pages * info.dwPageSize, MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        m_guard = m_base + (m_pages - 1) * info.dwPageSize;
        ::VirtualProtect(m_guard, info.dwPageSize, PAGE_NOACCESS, &old);
        m_data = m_guard;
    }
    ~GuardedBlock() { ::VirtualFree(m_base, 0, MEM_RELEASE); }
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;

    // The bytes end where the guard page begins; at most the capacity.
    BYTE* Place(const std::string& bytes)
    {
        m_data = m_guard - bytes.size();
        if (!bytes.empty())
            memcpy(m_data, bytes.data(), bytes.size());
        return m_data;
    }
    BYTE* Data() const { return m_data; }

private:
    size_t m_pages;
    BYTE* m_base;
    BYTE* m_guard;
    BYTE* m_data;
};

class Mutator
{
public:
    explicit Mutator(unsigned seed) : m_state(seed) {}

    unsigned Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }

    // One to four mutations of the input.
    std::string Mutate(std::string bytes)
    {
        static const unsigned extremes[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFF, 0x10000};
        for (int count = 1 + Next() % 4; count > 0; --count)
        {
            size_t at = bytes.empty() ? 0 : Next() % bytes.size();
            switch (Next() % 4)
            {
            case 0:
                if (!bytes.empty())
                    bytes[at] = static_cast<char>(bytes[at] ^ (1 << (Next() % 8)));
                break;
            case 1:
                bytes.resize(at);
                break;
            case 2:
                bytes.insert(at, std::string(1 + Next() % 8, static_cast<char>(Next())));
                break;
            default:
                if (bytes.size() >= 4)
                {
                    unsigned value = extremes[Next() % (sizeof(extremes) / sizeof(extremes[0]))];
                    memcpy(&bytes[(at / 4 * 4 + 4 <= bytes.size() ? at / 4 * 4 : bytes.size() - 4)], &value, 4);
                }
            }
        }
        return bytes;
    }

    // Runs the reader on `rounds` mutations of the inputs; it returns whether
    // it read the input. Returns how many were read.
    int Run(const std::vector<std::string>& inputs, int rounds,
            const std::function<bool(const BYTE*, DWORD)>& read)
    {
        size_t largest = 0;
        for (const std::string& input : inputs)
            largest = input.size() > largest ? input.size() : largest;
        GuardedBlock block(largest * 2 + 64);
        int accepted = 0;
        for (int round = 0; round < rounds; ++round)
        {
            std::string mutated = Mutate(inputs[Next() % inputs.size()]);
            if (mutated.size() > largest * 2 + 64)
                mutated.resize(largest * 2 + 64);
            if (read(block.Place(mutated), static_cast<DWORD>(mutated.size())))
                ++accepted;
        }
        return accepted;
    }

private:
    unsigned m_state;
};
