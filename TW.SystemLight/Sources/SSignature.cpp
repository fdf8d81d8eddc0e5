#include "SSignature.h"

#include "SHandle.h"

#include <bcrypt.h>
#include <string.h>

bool VerifyEcdsaP256(const BYTE* publicKey, const SDigest& digest, const BYTE* signature)
{
    SBcryptAlgorithm algorithm;
    if (digest.size() != 32 ||
        !BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(algorithm.Put(), BCRYPT_ECDSA_P256_ALGORITHM, NULL, 0)))
        return false;
    BYTE blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    memcpy(blob, &header, sizeof(header));
    memcpy(blob + sizeof(header), publicKey, 64);
    SBcryptKey key;
    if (!BCRYPT_SUCCESS(::BCryptImportKeyPair(algorithm.Get(), NULL, BCRYPT_ECCPUBLIC_BLOB, key.Put(), blob,
                                              sizeof(blob), 0)))
        return false;
    return BCRYPT_SUCCESS(::BCryptVerifySignature(key.Get(), NULL,
                                                  reinterpret_cast<PUCHAR>(const_cast<char*>(digest.data())), 32,
                                                  const_cast<PUCHAR>(signature), 64, 0));
}
