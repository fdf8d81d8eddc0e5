#include "ReleaseFeed.h"

#include "VersionCheck.h"

#include "SError.h"
#include "SHash.h"
#include "SSignature.h"

#include <string.h>

#include <string>

namespace
{
const char g_signatureKey[] = "signature ";

HRESULT Refuse(const char* identifier, const wchar_t* why)
{
    SERROR_SET(identifier).Add(why);
    return E_FAIL;
}

HRESULT BadFormat(const wchar_t* why) { return Refuse("Update.FeedFormat", why); }

int HexValue(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Lower-case hexadecimal of exactly 2 x count digits.
bool ReadHex(const std::string& text, BYTE* bytes, size_t count)
{
    if (text.size() != count * 2)
        return false;
    for (size_t i = 0; i < count; ++i)
    {
        int high = HexValue(text[2 * i]);
        int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = static_cast<BYTE>(high * 16 + low);
    }
    return true;
}

bool IsDigits(const std::string& text, size_t from, size_t count)
{
    for (size_t i = from; i < from + count; ++i)
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

// "YYYY-MM-DDTHH:MM:SSZ", a real date, as seconds since 1970.
bool ReadTime(const std::string& text, ULONGLONG& seconds)
{
    if (text.size() != 20 || !IsDigits(text, 0, 4) || text[4] != '-' || !IsDigits(text, 5, 2) || text[7] != '-' ||
        !IsDigits(text, 8, 2) || text[10] != 'T' || !IsDigits(text, 11, 2) || text[13] != ':' ||
        !IsDigits(text, 14, 2) || text[16] != ':' || !IsDigits(text, 17, 2) || text[19] != 'Z')
        return false;
    SYSTEMTIME time = {};
    time.wYear = static_cast<WORD>(atoi(text.substr(0, 4).c_str()));
    time.wMonth = static_cast<WORD>(atoi(text.substr(5, 2).c_str()));
    time.wDay = static_cast<WORD>(atoi(text.substr(8, 2).c_str()));
    time.wHour = static_cast<WORD>(atoi(text.substr(11, 2).c_str()));
    time.wMinute = static_cast<WORD>(atoi(text.substr(14, 2).c_str()));
    time.wSecond = static_cast<WORD>(atoi(text.substr(17, 2).c_str()));
    FILETIME file = {};
    if (time.wYear < 1970 || !::SystemTimeToFileTime(&time, &file))
        return false;
    ULONGLONG ticks = (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    seconds = (ticks - 116444736000000000ULL) / 10000000ULL;
    return true;
}

bool IsUrl(const std::string& text)
{
    if (text.compare(0, 8, "https://") != 0 || text.size() <= 8 || text.size() > 2048)
        return false;
    for (char c : text)
        if (c <= ' ' || c > '~')
            return false;
    return true;
}

// The lines of the signed part, each "key value", in this order.
class Lines
{
public:
    explicit Lines(const std::string& text) : m_text(text), m_at(0) {}

    bool Next(const char* key, std::string& value)
    {
        size_t end = m_text.find('\n', m_at);
        if (end == std::string::npos)
            return false;
        std::string line = m_text.substr(m_at, end - m_at);
        size_t keyLength = strlen(key);
        if (line.compare(0, keyLength, key) != 0 || line.size() <= keyLength + 1 || line[keyLength] != ' ')
            return false;
        value = line.substr(keyLength + 1);
        m_at = end + 1;
        return true;
    }
    bool AtEnd() const { return m_at == m_text.size(); }

private:
    const std::string& m_text;
    size_t m_at;
};

HRESULT ReadFields(const std::string& text, ReleaseFeed& feed)
{
    Lines lines(text);
    std::string value, product, version, url, size, digest, made, expires;
    if (!lines.Next("TW-Feed", value) || value != "1")
        return BadFormat(L"The feed does not begin with \"TW-Feed 1\".");
    DWORD numbers[4];
    BYTE digestBytes[32];
    if (!lines.Next("product", product) || product.size() > 512)
        return BadFormat(L"The feed names no product.");
    if (!lines.Next("version", version) || !ParseVersion(SString::FromNarrow(version.c_str()), numbers))
        return BadFormat(L"The feed's version is not one.");
    if (!lines.Next("setup-url", url) || !IsUrl(url))
        return BadFormat(L"The feed's setup-url is not an https URL.");
    if (!lines.Next("setup-size", size) || size.empty() || size.size() > 9 || !IsDigits(size, 0, size.size()) ||
        atoi(size.c_str()) == 0)
        return BadFormat(L"The feed's setup-size is not a size.");
    if (!lines.Next("setup-sha256", digest) || !ReadHex(digest, digestBytes, 32))
        return BadFormat(L"The feed's setup-sha256 is not 64 hexadecimal digits.");
    ULONGLONG madeAt = 0, expiresAt = 0;
    if (!lines.Next("made", made) || !ReadTime(made, madeAt) || !lines.Next("expires", expires) ||
        !ReadTime(expires, expiresAt) || expiresAt < madeAt)
        return BadFormat(L"The feed's times are not UTC times of the form 2026-12-08T20:00:00Z.");
    ReleaseFeed read;
    while (!lines.AtEnd())
    {
        if (!lines.Next("withdrawn", value) || !ParseVersion(SString::FromNarrow(value.c_str()), numbers))
            return BadFormat(L"The feed holds a line that is not a withdrawn version.");
        read.withdrawn.Append(SString::FromNarrow(value.c_str()));
    }
    read.product = SString::FromNarrow(product.c_str());
    read.version = SString::FromNarrow(version.c_str());
    read.setupUrl = SString::FromNarrow(url.c_str());
    read.setupSize = static_cast<DWORD>(atoi(size.c_str()));
    read.setupSha256 = SString::FromNarrow(digest.c_str());
    read.made = madeAt;
    read.expires = expiresAt;
    feed = read;
    return S_OK;
}
} // namespace

HRESULT ReadReleaseFeed(const BYTE* bytes, DWORD size, const BYTE* publicKey, ReleaseFeed& feed)
{
    if (size > maxFeedBytes)
        return Refuse("Update.FeedTooLarge", L"The feed is larger than 64 KiB.");
    std::string text(reinterpret_cast<const char*>(bytes), size);
    for (char c : text)
        if ((c < ' ' && c != '\n') || c > '~')
            return BadFormat(L"The feed holds a character that is not printable ASCII.");
    size_t signature = text.rfind(std::string("\n") + g_signatureKey);
    if (signature == std::string::npos || text.size() < 1 || text[text.size() - 1] != '\n')
        return BadFormat(L"The feed has no signature line at its end.");
    std::string signedPart = text.substr(0, signature + 1);
    std::string hex = text.substr(signature + 1 + strlen(g_signatureKey));
    hex.resize(hex.size() - 1); // the line's end
    BYTE raw[64];
    SDigest digest;
    if (!ReadHex(hex, raw, 64))
        return BadFormat(L"The feed's signature is not 128 hexadecimal digits.");
    if (!Sha256(signedPart.data(), static_cast<DWORD>(signedPart.size()), digest) ||
        !VerifyEcdsaP256(publicKey, digest, raw))
        return Refuse("Update.FeedSignature", L"The feed is not signed with the publisher's key.");
    return ReadFields(signedPart, feed);
}

HRESULT JudgeReleaseFeed(const ReleaseFeed& feed, const SString& product, const SString& installed, ULONGLONG now,
                         FeedVerdict& verdict)
{
    if (feed.product != product)
    {
        SERROR_SET("Update.FeedProduct")
            .Add(feed.product)
            .Add(L"The feed is for another product than " + product + L".");
        return E_FAIL;
    }
    if (now >= feed.expires)
        return Refuse("Update.FeedExpired", L"The feed has expired: an old feed may be replayed to hold updates back.");
    DWORD numbers[4];
    int order = ParseVersion(installed, numbers) ? CompareVersions(feed.version, installed) : 1;
    if (order >= 0)
    {
        verdict = order == 0 ? FeedCurrent : FeedUpdate;
        return S_OK;
    }
    for (int i = 0; i < feed.withdrawn.Count(); ++i)
        if (CompareVersions(feed.withdrawn[i], installed) == 0)
        {
            verdict = FeedWithdrawn;
            return S_OK;
        }
    SERROR_SET("Update.FeedOlder")
        .Add(feed.version)
        .Add(L"The feed names an older version than the installed " + installed + L": it may be replayed.");
    return E_FAIL;
}

ULONGLONG SecondsNow()
{
    FILETIME file = {};
    ::GetSystemTimeAsFileTime(&file);
    ULONGLONG ticks = (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    return (ticks - 116444736000000000ULL) / 10000000ULL;
}
