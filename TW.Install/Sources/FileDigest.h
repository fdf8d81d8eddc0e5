#pragma once
// The SHA-256 of a file already on disk: whether an install already holds
// what it would download.
#include "SString.h"

// False when the file cannot be opened or read, or CNG fails.
bool FileSha256(const SString& path, SString& hex);
// True when the file exists and has this SHA-256 (hexadecimal, any case).
bool FileHasSha256(const SString& path, const SString& digest);
