#pragma once
// The block map of a published program ("<body>.blocks", written by twpack
// publish): where each content-defined chunk of the program lies in the
// program and in the body, and the SHA-256 of its bytes. It comes from the
// network and is read as untrusted input: every offset and size is checked
// against the others before anything uses it.
//
// Layout, numbers u32 little-endian: "TWBLOCK1", chunk count, program size,
// program SHA-256 (32 bytes), body size, then per chunk in program order:
// program offset, program size, body offset, body size, SHA-256 (32 bytes).
#include "SHash.h"
#include "SString.h"

#include <vector>

struct BlockChunk
{
    DWORD programOffset;
    DWORD programSize;
    DWORD bodyOffset;
    DWORD bodySize;
    SDigest digest;
};

struct BlockMap
{
    DWORD programSize = 0;
    SDigest programDigest;
    DWORD bodySize = 0;
    std::vector<BlockChunk> chunks;
};

// Fails with "Download.BlockMap" and what is wrong: a map that is cut, has
// bytes after its last chunk, or whose chunks do not tile the program and the
// body's zlib stream exactly (one after the other, within the chunk sizes).
HRESULT ParseBlockMap(const BYTE* bytes, DWORD size, BlockMap& map);
