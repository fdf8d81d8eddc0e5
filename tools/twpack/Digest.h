#pragma once
// SHA-256 of a file's bytes as 64 lower-case hexadecimal digits (OpenSSL).
#include "Text.h"

std::string Sha256Hex(const Bytes& bytes);
// Each byte as two lower-case hexadecimal digits.
std::string HexOf(const unsigned char* bytes, size_t count);
// 64 hexadecimal digits, either case.
bool IsSha256Hex(const std::string& text);
