#pragma once
// What the agent writes: its own files in the update folder, whole, and
// text in ASCII for those who read its output, and for the ETag it keeps.
#include "SString.h"

#include <string>

// The text with every unit above 0x7E made a "?".
std::string Ascii(const SString& text);
// Writes the bytes as the whole file, replacing one that is there. Fails with
// `failure`, the system text and the path.
HRESULT WriteWholeFile(const SString& path, const std::string& bytes, const char* failure);
