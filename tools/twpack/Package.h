#pragma once
// The PACK layout: credentials, compressed entries, cache entries, data
// files, description strings, a 16-bit zero. All numbers u32 little-endian,
// strings UTF-16LE with a 16-bit zero.
#include "Manifest.h"

// Lays out the package; false when zlib fails.
bool WritePackage(const Manifest& manifest, Bytes& pack, std::string& error);
// Prints what the package holds as the installer reads it; false (with the
// reason) when the package is damaged.
bool ListPackage(const Bytes& pack, std::string& listing, std::string& error);
// Turns a UTF-8 key=value table into the NLS resource form (UTF-16LE, CR LF
// after every line, no byte-order mark, no terminator).
bool ConvertNlsText(const std::string& utf8, Bytes& resource, std::string& error);
