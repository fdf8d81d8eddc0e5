#include "SSignature.h"

#include <bcrypt.h>
#include <string.h>

namespace
{
class Algorithm
{
public:
    Algorithm() : m_handle(NULL)
    {
        if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&m_handle, BCRYPT_ECDSA_P256_ALGORITHM, NULL, 0)))
            m_handle = NULL;
    }
    ~Algorithm()
    {
        if (m_handle)
            ::BCryptCloseAlgorithmProvider(m_handle, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE Get() const { return m_handle; }

private:
    BCRYPT_ALG_HANDLE m_handle;
};

class Key
{
public:
    Key() : m_handle(NULL) {}
    ~Key()
    {
        if (m_handle)
            ::BCryptDestroyKey(m_handle);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    BCRYPT_KEY_HANDLE* Put() { return &m_handle; }
    BCRYPT_KEY_HANDLE Get() const { return m_handle; }

private:
    BCRYPT_KEY_HANDLE m_handle;
};
} // namespace

bool VerifyEcdsaP256(const BYTE* publicKey, const SDigest& digest, const BYTE* signature)
{
    Algorithm algorithm;
    if (!algorithm.Get() || digest.size() != 32)
        return false;
    BYTE blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    memcpy(blob, &header, sizeof(header));
    memcpy(blob + sizeof(header), publicKey, 64);
    Key key;
    if (!BCRYPT_SUCCESS(::BCryptImportKeyPair(algorithm.Get(), NULL, BCRYPT_ECCPUBLIC_BLOB, key.Put(), blob,
                                              sizeof(blob), 0)))
        return false;
    return BCRYPT_SUCCESS(::BCryptVerifySignature(key.Get(), NULL,
                                                  reinterpret_cast<PUCHAR>(const_cast<char*>(digest.data())), 32,
                                                  const_cast<PUCHAR>(signature), 64, 0));
}
