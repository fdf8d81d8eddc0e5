#include "Feed.h"

#include "Digest.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <regex>

namespace
{
typedef std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> Key;

bool Fail(const std::string& message, std::string& error)
{
    error = message;
    return false;
}

Key ReadKey(const std::string& path, bool isPrivate)
{
    Key key(nullptr, EVP_PKEY_free);
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return key;
    key.reset(isPrivate ? PEM_read_PrivateKey(file, nullptr, nullptr, nullptr)
                        : PEM_read_PUBKEY(file, nullptr, nullptr, nullptr));
    std::fclose(file);
    return key;
}

bool IsP256(EVP_PKEY* key)
{
    char curve[64] = {0};
    size_t length = 0;
    return key && EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, curve, sizeof(curve), &length) &&
           std::string(curve) == "prime256v1";
}

bool WritePem(const std::string& path, EVP_PKEY* key, bool isPrivate)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    bool written = isPrivate ? PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr)
                             : PEM_write_PUBKEY(file, key);
    return std::fclose(file) == 0 && written;
}

std::string UtcTime(std::time_t when)
{
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&when));
    return text;
}

// r and s, 32 big-endian bytes each, in hexadecimal: what CNG verifies.
bool Sign(EVP_PKEY* key, const std::string& text, std::string& signature)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    size_t size = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &size, reinterpret_cast<const unsigned char*>(text.data()),
                       text.size()) != 1)
        return false;
    std::vector<unsigned char> der(size);
    if (EVP_DigestSign(context.get(), der.data(), &size, reinterpret_cast<const unsigned char*>(text.data()),
                       text.size()) != 1)
        return false;
    const unsigned char* at = der.data();
    std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)> parsed(d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(size)),
                                                                 ECDSA_SIG_free);
    unsigned char raw[64];
    if (!parsed || BN_bn2binpad(ECDSA_SIG_get0_r(parsed.get()), raw, 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(parsed.get()), raw + 32, 32) != 32)
        return false;
    signature = HexOf(raw, 64);
    return true;
}
} // namespace

bool MakeKeyPair(const std::string& privatePath, const std::string& publicPath, std::string& error)
{
    Key key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!key)
        return Fail("OpenSSL cannot make a P-256 key", error);
    if (!WritePem(privatePath, key.get(), true))
        return Fail("cannot write '" + privatePath + "'", error);
    if (!WritePem(publicPath, key.get(), false))
        return Fail("cannot write '" + publicPath + "'", error);
    return true;
}

bool PublicKeyHex(const std::string& publicPath, std::string& hex, std::string& error)
{
    Key key = ReadKey(publicPath, false);
    unsigned char point[65];
    size_t length = 0;
    if (!IsP256(key.get()) ||
        !EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof(point), &length) ||
        length != 65 || point[0] != 4)
        return Fail("'" + publicPath + "' holds no ECDSA P-256 public key", error);
    hex = HexOf(point + 1, 64);
    return true;
}

bool MakeFeed(const FeedFields& fields, const std::string& privatePath, std::string& feed, std::string& error)
{
    static const std::regex version("[0-9]{1,5}(\\.[0-9]{1,5}){0,3}");
    static const std::regex word("[!-~]{1,512}"); // printable, no space
    if (!std::regex_match(fields.product, word))
        return Fail("the product '" + fields.product + "' is not one word of printable characters", error);
    if (!std::regex_match(fields.version, version))
        return Fail("'" + fields.version + "' is not a version: one to four numbers joined by dots", error);
    for (const std::string& withdrawn : fields.withdrawn)
        if (!std::regex_match(withdrawn, version))
            return Fail("'" + withdrawn + "' is not a version to withdraw", error);
    if (fields.setupUrl.compare(0, 8, "https://") != 0 || !std::regex_match(fields.setupUrl, word))
        return Fail("the setup program's URL must be https, without spaces", error);
    if (fields.setup.empty())
        return Fail("the setup program is empty", error);
    if (fields.expiresDays < 0 || fields.expiresDays > 3650)
        return Fail("--expires-days is 0 to 3650", error);
    Key key = ReadKey(privatePath, true);
    if (!IsP256(key.get()))
        return Fail("'" + privatePath + "' holds no ECDSA P-256 private key", error);
    std::time_t now = std::time(nullptr);
    std::string text = "TW-Feed 1\nproduct " + fields.product + "\nversion " + fields.version + "\nsetup-url " +
                       fields.setupUrl + "\nsetup-size " + std::to_string(fields.setup.size()) + "\nsetup-sha256 " +
                       Sha256Hex(fields.setup) + "\nmade " + UtcTime(now) + "\nexpires " +
                       UtcTime(now + static_cast<std::time_t>(fields.expiresDays) * 86400) + "\n";
    for (const std::string& withdrawn : fields.withdrawn)
        text += "withdrawn " + withdrawn + "\n";
    std::string signature;
    if (!Sign(key.get(), text, signature))
        return Fail("OpenSSL cannot sign the feed", error);
    feed = text + "signature " + signature + "\n";
    return true;
}
