#include "SAS3Client.h"

#include "SError.h"
#include "SHash.h"

#include <string>
#include <vector>

namespace
{
const wchar_t g_emptyPayloadHash[] = L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string Utf8(const SString& text)
{
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.CStr(), text.Length(), NULL, 0, NULL, NULL);
    std::string result(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.CStr(), text.Length(), &result[0], bytes, NULL, NULL);
    return result;
}

SString TwoDigits(int value)
{
    return (value < 10 ? SString(L"0") : SString()) + SString::FromInt(value);
}

// The URL that is requested and signed for the object, from its encoded key.
SString ObjectUrl(const SString& bucket, const SString& hostSuffix, const SString& encodedKey)
{
    return L"https://" + bucket + hostSuffix + encodedKey;
}

// Key material, zeroed before its memory is freed.
struct SecretBytes
{
    std::string bytes;
    ~SecretBytes()
    {
        if (!bytes.empty())
            ::SecureZeroMemory(&bytes[0], bytes.size());
    }
};

bool Hmac(const std::string& key, const SString& message, std::string& digest)
{
    std::string text = Utf8(message);
    return HmacSha256(key.data(), static_cast<DWORD>(key.size()), text.data(), static_cast<DWORD>(text.size()),
                      digest);
}
} // namespace

void GetUtcTimeParts(int& year, int& month, int& day, int& hour, int& minute, int& second)
{
    FILETIME now;
    SYSTEMTIME parts;
    ::GetSystemTimeAsFileTime(&now);
    ::FileTimeToSystemTime(&now, &parts);
    year = parts.wYear;
    month = parts.wMonth;
    day = parts.wDay;
    hour = parts.wHour;
    minute = parts.wMinute;
    second = parts.wSecond;
}

void MakeAmzTimestamp(SString& amzDate, SString& dateStamp)
{
    int year, month, day, hour, minute, second;
    GetUtcTimeParts(year, month, day, hour, minute, second);
    dateStamp = SString::FromInt(year) + TwoDigits(month) + TwoDigits(day);
    amzDate = dateStamp + L"T" + TwoDigits(hour) + TwoDigits(minute) + TwoDigits(second) + L"Z";
}

namespace
{
bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

wchar_t Upper(char c) { return static_cast<wchar_t>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c); }
} // namespace

SString UriEncodeKey(const SString& objectKey)
{
    static const wchar_t hex[] = L"0123456789ABCDEF";
    std::string bytes = Utf8(objectKey);
    SString encoded;
    for (size_t i = 0; i < bytes.size(); ++i)
    {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '.' || c == '_' || c == '~' || c == '/';
        // A key that the package URL already carries encoded keeps its
        // escapes: encoding "%20" again would ask for another object.
        bool escaped = c == '%' && i + 2 < bytes.size() && IsHexDigit(bytes[i + 1]) && IsHexDigit(bytes[i + 2]);
        if (escaped)
        {
            wchar_t sequence[3] = {L'%', Upper(bytes[i + 1]), Upper(bytes[i + 2])};
            encoded.Append(sequence, 3);
            i += 2;
        }
        else if (keep)
        {
            wchar_t unit = c;
            encoded.Append(&unit, 1);
        }
        else
        {
            wchar_t escape[3] = {L'%', hex[c >> 4], hex[c & 0x0F]};
            encoded.Append(escape, 3);
        }
    }
    return encoded;
}

HRESULT SignS3Request(const SString& secret, const SString& canonicalRequest, const SString& region,
                      const SString& dateStamp, const SString& amzDate, SString& signature)
{
    std::string canonical = Utf8(canonicalRequest);
    SDigest canonicalHash;
    Sha256(canonical.data(), static_cast<DWORD>(canonical.size()), canonicalHash);
    SString stringToSign = SString(L"AWS4-HMAC-SHA256\n") + amzDate + L"\n" + dateStamp + L"/" + region +
                           L"/s3/aws4_request\n" + HexLower(canonicalHash.data(), 32);
    // The secret and the signing keys derived from it are wiped before their
    // memory is freed; the last digest is the published signature.
    SecretBytes key, k1, k2, k3, k4;
    key.bytes = Utf8(L"AWS4" + secret);
    std::string digest;
    Hmac(key.bytes, dateStamp, k1.bytes);
    Hmac(k1.bytes, region, k2.bytes);
    Hmac(k2.bytes, L"s3", k3.bytes);
    Hmac(k3.bytes, L"aws4_request", k4.bytes);
    Hmac(k4.bytes, stringToSign, digest);
    signature = HexLower(digest.data(), static_cast<DWORD>(digest.size()));
    return S_OK;
}

namespace
{
// Signs each attempt when it is made: S3 refuses a signature older than 15
// minutes, and a download that breaks late must still resume.
class S3Signer : public SHttpHeaders
{
public:
    S3Signer(const SString& keyId, const SString& secret, const SString& region, const SString& host,
             const SString& encodedKey)
        : m_keyId(keyId), m_secret(secret), m_region(region), m_host(host), m_encodedKey(encodedKey)
    {
    }

    SStringList ForAttempt() const override
    {
        SString amzDate, dateStamp;
        MakeAmzTimestamp(amzDate, dateStamp);
        SString canonical = SString(L"GET\n") + L"/" + m_encodedKey + L"\n" + L"\n" + L"host:" + m_host + L"\n" +
                            L"x-amz-content-sha256:" + g_emptyPayloadHash + L"\n" + L"x-amz-date:" + amzDate + L"\n" +
                            L"\n" + L"host;x-amz-content-sha256;x-amz-date\n" + g_emptyPayloadHash;
        SString signature;
        SignS3Request(m_secret, canonical, m_region, dateStamp, amzDate, signature);
        SStringList headers;
        headers.Append(L"x-amz-date: " + amzDate);
        headers.Append(SString(L"x-amz-content-sha256: ") + g_emptyPayloadHash);
        headers.Append(L"Authorization: AWS4-HMAC-SHA256 Credential=" + m_keyId + L"/" + dateStamp + L"/" + m_region +
                       L"/s3/aws4_request,SignedHeaders=host;x-amz-content-sha256;x-amz-date,Signature=" + signature);
        return headers;
    }

private:
    const SString& m_keyId;
    const SString& m_secret;
    SString m_region;
    SString m_host;
    const SString& m_encodedKey;
};
} // namespace

HRESULT StreamS3Object(const SString& bucket, const SString& keyId, const SString& secret,
                       const SString& hostSuffix, const SString& objectKey, SHttpSink& sink)
{
    // The key is encoded once, the same way in the URL and in what is signed.
    SString encodedKey = UriEncodeKey(objectKey);
    SString url = ObjectUrl(bucket, hostSuffix, encodedKey);
    SString afterS3 = hostSuffix.Mid(4);
    int amazon = afterS3.Find(L".amazon");
    if (amazon < 0)
    {
        SERROR_SET("Download.UnableToParseAmazonURL").Add(url);
        return E_FAIL;
    }
    SString region = afterS3.Mid(0, amazon);
    S3Signer signer(keyId, secret, region, bucket + hostSuffix.Mid(0, hostSuffix.Length() - 1), encodedKey);
    return StreamURL(url, signer, sink);
}

HRESULT DownloadS3Object(const SString& bucket, const SString& keyId, const SString& secret,
                         const SString& hostSuffix, const SString& objectKey, ProgressCallback progress,
                         void* userData, BYTE** body, DWORD* size)
{
    SString url = ObjectUrl(bucket, hostSuffix, UriEncodeKey(objectKey));
    SHttpBufferSink sink(url, body, size, progress, userData);
    return StreamS3Object(bucket, keyId, secret, hostSuffix, objectKey, sink);
}
