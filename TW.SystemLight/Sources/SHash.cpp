#include "SHash.h"

#include <bcrypt.h>

SSha256::SSha256(const void* hmacKey, DWORD keySize)
    : m_algorithm(NULL), m_hash(NULL), m_key(hmacKey ? static_cast<const char*>(hmacKey) : "", hmacKey ? keySize : 0),
      m_keyed(hmacKey != NULL), m_failed(false)
{
    Open();
}

SSha256::~SSha256()
{
    Close();
    // The key may be a secret or a signing key: it does not outlive the hash in memory.
    if (!m_key.empty())
        ::SecureZeroMemory(&m_key[0], m_key.size());
}

void SSha256::Open()
{
    BCRYPT_ALG_HANDLE algorithm = NULL;
    m_failed = !BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, NULL,
                                                             m_keyed ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0));
    m_algorithm = algorithm;
    if (!m_failed)
        CreateHash();
}

void SSha256::CreateHash()
{
    BCRYPT_HASH_HANDLE hash = NULL;
    PUCHAR key = m_key.empty() ? NULL : reinterpret_cast<PUCHAR>(&m_key[0]);
    m_failed = !BCRYPT_SUCCESS(
        ::BCryptCreateHash(m_algorithm, &hash, NULL, 0, key, static_cast<ULONG>(m_key.size()), 0));
    m_hash = hash;
}

void SSha256::Close()
{
    if (m_hash)
        ::BCryptDestroyHash(m_hash);
    if (m_algorithm)
        ::BCryptCloseAlgorithmProvider(m_algorithm, 0);
    m_hash = NULL;
    m_algorithm = NULL;
}

void SSha256::Restart()
{
    // The provider stays open; only the hash state is made anew.
    if (m_hash)
        ::BCryptDestroyHash(m_hash);
    m_hash = NULL;
    if (m_algorithm)
        CreateHash();
}

void SSha256::Update(const void* bytes, DWORD size)
{
    if (!m_failed && size)
        m_failed = !BCRYPT_SUCCESS(
            ::BCryptHashData(m_hash, static_cast<PUCHAR>(const_cast<void*>(bytes)), size, 0));
}

bool SSha256::Finish(SDigest& digest)
{
    unsigned char result[32];
    bool ok = !m_failed && BCRYPT_SUCCESS(::BCryptFinishHash(m_hash, result, sizeof(result), 0));
    // A finished CNG hash takes no more data: start over for the next use.
    Restart();
    if (ok)
        digest.assign(reinterpret_cast<const char*>(result), sizeof(result));
    return ok;
}

bool Sha256(const void* bytes, DWORD size, SDigest& digest)
{
    SSha256 hash;
    hash.Update(bytes, size);
    return hash.Finish(digest);
}

bool HmacSha256(const void* key, DWORD keySize, const void* message, DWORD size, SDigest& digest)
{
    SSha256 hash(key ? key : "", keySize);
    hash.Update(message, size);
    return hash.Finish(digest);
}

bool IsDigest(const SDigest& digest, const SString& hex)
{
    return ::lstrcmpiW(HexLower(digest.data(), static_cast<DWORD>(digest.size())).CStr(), hex.CStr()) == 0;
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
