#include "SHash.h"

#include <bcrypt.h>

namespace
{
class HashAlgorithm
{
public:
    explicit HashAlgorithm(bool hmac) : m_algorithm(NULL)
    {
        if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&m_algorithm, BCRYPT_SHA256_ALGORITHM, NULL,
                                                          hmac ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0)))
            m_algorithm = NULL;
    }
    ~HashAlgorithm()
    {
        if (m_algorithm)
            ::BCryptCloseAlgorithmProvider(m_algorithm, 0);
    }
    HashAlgorithm(const HashAlgorithm&) = delete;
    HashAlgorithm& operator=(const HashAlgorithm&) = delete;

    bool Digest(const void* key, DWORD keySize, const void* message, DWORD size, SDigest& digest) const
    {
        if (!m_algorithm)
            return false;
        BCRYPT_HASH_HANDLE hash = NULL;
        if (!BCRYPT_SUCCESS(::BCryptCreateHash(m_algorithm, &hash, NULL, 0,
                                               static_cast<PUCHAR>(const_cast<void*>(key)), keySize, 0)))
            return false;
        unsigned char result[32];
        bool ok = BCRYPT_SUCCESS(
                      ::BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(message)), size, 0)) &&
                  BCRYPT_SUCCESS(::BCryptFinishHash(hash, result, sizeof(result), 0));
        ::BCryptDestroyHash(hash);
        if (ok)
            digest.assign(reinterpret_cast<const char*>(result), sizeof(result));
        return ok;
    }

private:
    BCRYPT_ALG_HANDLE m_algorithm;
};
} // namespace

bool Sha256(const void* bytes, DWORD size, SDigest& digest)
{
    return HashAlgorithm(false).Digest(NULL, 0, bytes, size, digest);
}

bool HmacSha256(const void* key, DWORD keySize, const void* message, DWORD size, SDigest& digest)
{
    return HashAlgorithm(true).Digest(key, keySize, message, size, digest);
}

SString HexLower(const void* bytes, DWORD count)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    const unsigned char* data = static_cast<const unsigned char*>(bytes);
    SString text;
    for (DWORD i = 0; i < count; ++i)
    {
        wchar_t pair[2] = {digits[data[i] >> 4], digits[data[i] & 0x0F]};
        text.Append(pair, 2);
    }
    return text;
}
