#include "Digest.h"

#include <openssl/evp.h>

#include <cctype>

std::string HexOf(const unsigned char* bytes, size_t count)
{
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i)
    {
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 0x0F];
    }
    return text;
}

std::string Sha256Hex(const Bytes& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    return HexOf(digest, length);
}

bool IsSha256Hex(const std::string& text)
{
    if (text.size() != 64)
        return false;
    for (char c : text)
    {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}
