#pragma once
// The SHA-256 of a file already on disk: whether an install already holds
// what it would download.
#include "SString.h"

// True when the file exists, can be read, and has this SHA-256 (64
// hexadecimal digits, any case).
bool FileHasSha256(const SString& path, const SString& digest);
// The file's size; 0 when it is missing or cannot be asked.
ULONGLONG FileSize(const SString& path);
