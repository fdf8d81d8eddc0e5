#pragma once
// The published form of a program, and its block map.
//
// The body: u32 program size, then one zlib stream (level 9) in which every
// chunk of the program (cut by ContentChunks) ends with a full flush, so the
// compressed bytes of each chunk inflate on their own (raw inflate).
//
// The map ("<body>.blocks"), numbers u32 little-endian:
//   "TWBLOCK1", chunk count, program size, program SHA-256 (32 bytes), body size,
//   then for each chunk in program order: its offset and size in the program,
//   its offset and size in the body, the SHA-256 of its uncompressed bytes.
#include "Text.h"

bool PublishProgram(const Bytes& program, Bytes& body, Bytes& blocks, std::string& error);
