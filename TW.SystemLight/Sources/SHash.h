#pragma once
// SHA-256 and HMAC-SHA256 from Windows CNG, and lower-case hexadecimal.
#include "SString.h"

#include <string>

typedef std::string SDigest; // 32 bytes

// Both return false only when CNG itself fails.
bool Sha256(const void* bytes, DWORD size, SDigest& digest);
bool HmacSha256(const void* key, DWORD keySize, const void* message, DWORD size, SDigest& digest);
// Each byte as two lower-case hexadecimal digits.
SString HexLower(const void* bytes, DWORD count);
