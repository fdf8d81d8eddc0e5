#pragma once
// SHA-256 of a file's bytes as 64 lower-case hexadecimal digits (OpenSSL).
#include "Text.h"

std::string Sha256Hex(const Bytes& bytes);
// 64 hexadecimal digits, either case.
bool IsSha256Hex(const std::string& text);
