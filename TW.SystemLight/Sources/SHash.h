#pragma once
// SHA-256 and HMAC-SHA256 from Windows CNG, and lower-case hexadecimal.
#include "SString.h"

#include <string>

typedef std::string SDigest; // 32 bytes

// A SHA-256 (or, with a key, HMAC-SHA256) fed piece by piece, for data that
// never is in memory at once. Any CNG failure makes Finish return false.
class SSha256
{
public:
    SSha256(const void* hmacKey = NULL, DWORD keySize = 0);
    ~SSha256();
    SSha256(const SSha256&) = delete;
    SSha256& operator=(const SSha256&) = delete;

    void Update(const void* bytes, DWORD size);
    // The digest of everything fed since construction or the last Restart.
    bool Finish(SDigest& digest);
    // Forgets what was fed; the key stays.
    void Restart();

private:
    void Open();
    void CreateHash();
    void Close();

    void* m_algorithm;
    void* m_hash;
    std::string m_key;
    bool m_keyed;
    bool m_failed;
};

// Both return false only when CNG itself fails.
bool Sha256(const void* bytes, DWORD size, SDigest& digest);
bool HmacSha256(const void* key, DWORD keySize, const void* message, DWORD size, SDigest& digest);
// Each byte as two lower-case hexadecimal digits.
SString HexLower(const void* bytes, DWORD count);
// Whether the digest is the one written in hexadecimal digits of either case.
bool IsDigest(const SDigest& digest, const SString& hex);
