#include "SHttpRules.h"

#include "SError.h"
#include "SUrl.h"

bool IsSecurityFailure(DWORD code)
{
    switch (code)
    {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
        return true;
    default:
        return false;
    }
}

// An https body that does not come through a secure channel is not the
// server's: it is refused, whatever it holds.
bool CheckSecure(HINTERNET request, const SString& url)
{
    if (!url.StartsWith(L"https://"))
        return true;
    DWORD flags = 0;
    DWORD size = sizeof(flags);
    if (::InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size) &&
        (flags & SECURITY_FLAG_SECURE))
        return true;
    SERROR_SET("OpenURL.Insecure")
        .Add(L"The answer to a secure download did not come through a secure channel.")
        .Add(UrlForLog(url));
    return false;
}

bool CheckRedirect(const SString& current, const SString& location, int redirects, SString& next)
{
    next = ResolveUrlReference(current, location);
    if (redirects >= g_maxRedirects)
    {
        SERROR_SET("OpenURL.Redirect")
            .Add(L"The server sent more than " + SString::FromInt(g_maxRedirects) + L" redirects.")
            .Add(UrlForLog(current))
            .Add(UrlForLog(next));
        return false;
    }
    if (current.StartsWith(L"https://") && !next.StartsWith(L"https://"))
    {
        SERROR_SET("OpenURL.Redirect")
            .Add(L"The server redirects a secure download to an insecure address.")
            .Add(UrlForLog(current))
            .Add(UrlForLog(next));
        return false;
    }
    return true;
}

bool IsSameServer(const SString& a, const SString& b)
{
    SString schemeA, hostA, pathA, schemeB, hostB, pathB;
    int portA = 0, portB = 0;
    return ParseHttpURL(a, schemeA, hostA, portA, pathA) == S_OK &&
           ParseHttpURL(b, schemeB, hostB, portB, pathB) == S_OK && schemeA == schemeB && portA == portB &&
           ::CompareStringOrdinal(hostA.CStr(), hostA.Length(), hostB.CStr(), hostB.Length(), TRUE) == CSTR_EQUAL;
}
