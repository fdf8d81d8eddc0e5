#pragma once
// Portable text helpers of the package builder: UTF-8 in, UTF-16LE out.
#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

// Decodes UTF-8 into UTF-16 code units; false on malformed input.
bool Utf8ToUtf16(const std::string& text, std::u16string& units);
std::string Utf16ToUtf8(const std::u16string& units);
void AppendUtf16LE(Bytes& out, const std::u16string& units);
void AppendU32(Bytes& out, unsigned value);
bool ReadWholeFile(const std::string& path, Bytes& bytes);
bool WriteWholeFile(const std::string& path, const Bytes& bytes);
