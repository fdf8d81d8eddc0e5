#include "SUrl.h"

#include "SError.h"

namespace
{
bool IsAlpha(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// The length of the scheme before its ":", or 0 when the text has none.
int SchemeLength(const SString& url)
{
    if (url.Length() == 0 || !IsAlpha(url[0]))
        return 0;
    for (int i = 1; i < url.Length(); ++i)
    {
        wchar_t c = url[i];
        if (c == L':')
            return i;
        if (!IsAlpha(c) && !(c >= L'0' && c <= L'9') && c != L'+' && c != L'-' && c != L'.')
            return 0;
    }
    return 0;
}

SString Lower(const SString& text)
{
    SString lower(text);
    for (wchar_t c = L'A'; c <= L'Z'; ++c)
        lower.ReplaceChar(c, static_cast<wchar_t>(c - L'A' + L'a'));
    return lower;
}

SString WithoutFragment(const SString& url)
{
    int hash = url.Find(L'#');
    return hash < 0 ? url : url.Mid(0, hash);
}

// Where the authority ends: at the first "/", "?" or "#" after it.
int AuthorityEnd(const SString& url, int start)
{
    for (int i = start; i < url.Length(); ++i)
        if (url[i] == L'/' || url[i] == L'?' || url[i] == L'#')
            return i;
    return url.Length();
}

// 1 to 65535, in decimal digits only.
bool ReadPort(const SString& text, int& port)
{
    if (text.IsEmpty() || text.Length() > 5)
        return false;
    int value = 0;
    for (int i = 0; i < text.Length(); ++i)
    {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
        value = value * 10 + (text[i] - L'0');
    }
    port = value;
    return value >= 1 && value <= 65535;
}

// RFC 3986 section 5.2.4.
SString RemoveDotSegments(const SString& path)
{
    SStringList segments = path.Split(L'/');
    SStringList kept;
    for (int i = 0; i < segments.Count(); ++i)
    {
        bool last = i + 1 == segments.Count();
        if (segments[i] == L".")
        {
            if (last)
                kept.Append(SString());
        }
        else if (segments[i] == L"..")
        {
            if (kept.Count() > 1)
            {
                SStringList shorter;
                for (int k = 0; k + 1 < kept.Count(); ++k)
                    shorter.Append(kept[k]);
                kept = shorter;
            }
            if (last)
                kept.Append(SString());
        }
        else
            kept.Append(segments[i]);
    }
    SString result;
    for (int i = 0; i < kept.Count(); ++i)
        result += (i ? L"/" : L"") + kept[i];
    return result.StartsWith(L"/") || !path.StartsWith(L"/") ? result : L"/" + result;
}
} // namespace

HRESULT ParseHttpURL(const SString& url, SString& scheme, SString& host, int& port, SString& path)
{
    port = 80;
    int schemeLength = SchemeLength(url);
    SString given = Lower(url.Mid(0, schemeLength));
    if (!schemeLength || (given != L"http" && given != L"https") || !url.Mid(schemeLength).StartsWith(L"://"))
    {
        SERROR_SET("ParseHttpURL_Protocol").Add(UrlForLog(url));
        return E_FAIL;
    }
    if (given == L"https")
        port = 443;
    int start = schemeLength + 3;
    int end = AuthorityEnd(url, start);
    SString authority = url.Mid(start, end - start);
    if (authority.Find(L'@') >= 0)
    {
        SERROR_SET("ParseHttpURL_UserInfo")
            .Add(UrlForLog(url))
            .Add(L"An address for the download may not carry a user name or password.");
        return E_FAIL;
    }
    // "[::1]:8443": the port's colon comes after an IPv6 literal's bracket.
    int bracket = authority.StartsWith(L"[") ? authority.Find(L']') : -1;
    int colon = authority.ReverseFind(L':');
    if (colon >= 0 && colon > bracket)
    {
        if (!ReadPort(authority.Mid(colon + 1), port))
        {
            SERROR_SET("ParseHttpURL_Port").Add(UrlForLog(url)).Add(L"The port is not a number from 1 to 65535.");
            return E_FAIL;
        }
        authority = authority.Mid(0, colon);
    }
    if (bracket > 0)
        authority = authority.Mid(1, bracket - 1);
    scheme = given;
    host = authority;
    path = WithoutFragment(url.Mid(end));
    return S_OK;
}

SString ResolveUrlReference(const SString& base, const SString& reference)
{
    SString target = WithoutFragment(reference);
    if (SchemeLength(target))
    {
        int length = SchemeLength(target);
        SString rest = target.Mid(length);
        int start = length + 3;
        if (!rest.StartsWith(L"://"))
            return target;
        int end = AuthorityEnd(target, start);
        int query = target.Find(L'?');
        int pathEnd = query < end ? target.Length() : query; // dot segments of the path only, never the query's
        return Lower(target.Mid(0, length)) + target.Mid(length, end - length) +
               RemoveDotSegments(target.Mid(end, pathEnd - end)) + target.Mid(pathEnd);
    }
    SString current = WithoutFragment(base);
    int schemeLength = SchemeLength(current);
    if (target.StartsWith(L"//"))
        return current.Mid(0, schemeLength + 1) + target;
    int pathStart = AuthorityEnd(current, schemeLength + 3);
    SString origin = current.Mid(0, pathStart);
    int query = current.Find(L'?');
    SString basePath = query < 0 ? current.Mid(pathStart) : current.Mid(pathStart, query - pathStart);
    if (target.IsEmpty())
        return current;
    if (target.StartsWith(L"?"))
        return origin + basePath + target;
    int targetQuery = target.Find(L'?');
    SString targetPath = targetQuery < 0 ? target : target.Mid(0, targetQuery);
    SString targetRest = targetQuery < 0 ? SString() : target.Mid(targetQuery);
    if (targetPath.StartsWith(L"/"))
        return origin + RemoveDotSegments(targetPath) + targetRest;
    SString merged = basePath.IsEmpty() ? L"/" + targetPath : basePath.Mid(0, basePath.ReverseFind(L'/') + 1) + targetPath;
    return origin + RemoveDotSegments(merged) + targetRest;
}

SString UrlForLog(const SString& url)
{
    SString text = WithoutFragment(url);
    int query = text.Find(L'?');
    if (query >= 0)
        text = text.Mid(0, query);
    int schemeLength = SchemeLength(text);
    if (!schemeLength || !text.Mid(schemeLength).StartsWith(L"://"))
        return text;
    int start = schemeLength + 3;
    int end = AuthorityEnd(text, start);
    int at = text.Mid(start, end - start).ReverseFind(L'@');
    return at < 0 ? text : text.Mid(0, start) + text.Mid(start + at + 1);
}
