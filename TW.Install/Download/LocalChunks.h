#pragma once
// The chunks that the machine already has: files (the installed program and
// its copy, whatever their version) cut by the same rule as the published
// program and hashed chunk by chunk, so that a delta download takes every
// chunk it can from them.
#include "SHash.h"
#include "SString.h"

#include <map>
#include <vector>

struct LocalChunk
{
    int file; // index into the added files
    DWORD offset;
    DWORD size;
};

class LocalChunks
{
public:
    // Cuts and hashes the file; one that is missing or cannot be read adds
    // nothing (a file that breaks off adds what was read).
    void AddFile(const SString& path);
    // Adds the other's files and the chunks that this one lacks.
    void Merge(const LocalChunks& other);
    // Where a chunk with this SHA-256 and size lies; NULL when nowhere.
    const LocalChunk* Find(const SDigest& digest, DWORD size) const;
    const SString& Path(int file) const { return m_paths[file]; }
    // True when the open file is as it was when it was cut: the same size
    // and last write. A file that changed since needs its chunks hashed again.
    bool IsUnchanged(int file, HANDLE open) const;
    // True when the file at path was cut into exactly these chunks, in this
    // order, and has their total size: it is that program, with no
    // whole-file hash.
    bool HoldsExactly(const SString& path, const std::vector<std::pair<SDigest, DWORD> >& chunks) const;

private:
    struct Stamp
    {
        ULONGLONG size;
        FILETIME written;
    };
    static bool StampOf(HANDLE file, Stamp& stamp);
    // The SHA-256 of a chunk sequence: each chunk's SHA-256 and size.
    static SDigest SequenceDigest(const std::vector<std::pair<SDigest, DWORD> >& chunks);

    SStringList m_paths;
    std::vector<Stamp> m_stamps; // of each file, taken before it was cut
    std::vector<SDigest> m_sequences; // of each file, its chunks as SequenceDigest takes them
    std::map<SDigest, LocalChunk> m_chunks;
};
