#include "SHttpClient.h"

#include "SError.h"
#include "SHandle.h"

#include <stdlib.h>
#include <string.h>

HRESULT ParseHttpURL(const SString& url, SString& scheme, SString& host, int& port, SString& path)
{
    port = 80;
    SString rest;
    if (url.StartsWith(L"http://"))
    {
        scheme = L"http";
        rest = url.Mid(7);
    }
    else if (url.StartsWith(L"https://"))
    {
        scheme = L"https";
        port = 443;
        rest = url.Mid(8);
    }
    else
    {
        SERROR_SET("ParseHttpURL_Protocol").Add(url);
        return E_FAIL;
    }
    int slash = rest.Find(L'/');
    if (slash < 0)
    {
        host = rest;
        path = SString();
        return S_OK;
    }
    path = rest.Mid(slash);
    SString hostPart = rest.Mid(0, slash);
    int colon = hostPart.Find(L':');
    if (colon >= 0)
    {
        port = hostPart.Mid(colon + 1).ToInt();
        hostPart = hostPart.Mid(0, colon);
    }
    host = hostPart;
    return S_OK;
}

namespace
{
HRESULT AddHeaders(HINTERNET request, const SString& url, const SStringList& headers)
{
    if (!headers.Count())
        return S_OK;
    SString block;
    for (int i = 0; i < headers.Count(); ++i)
        block += headers[i] + L"\r\n";
    if (!::HttpAddRequestHeadersW(request, block.CStr(), static_cast<DWORD>(-1),
                                  HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE))
    {
        SERROR_SET("OpenURL.HttpAddRequestHeaders").Add(url).Add(block);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CheckStatus(DWORD status, const SString& url)
{
    if (status == 500 || status == 502)
    {
        SERROR_SET("OpenURL.ServerError").Add(SString::FromInt(static_cast<int>(status))).Add(url);
        return E_FAIL;
    }
    if (status == 200)
        return S_OK;
    if (status == 401)
    {
        SERROR_SET("OpenURL.Unauthorized").Add(url);
        return E_FAIL;
    }
    SERROR_SET("OpenURL.HttpStatus").Add(SString::FromInt(static_cast<int>(status))).Add(url);
    return E_FAIL;
}

HRESULT ReadBody(HINTERNET request, const SString& url, DWORD announced, SHttpSink& sink)
{
    const bool known = announced != 0xFFFFFFFF;
    S_RETURN_IF_FAILED(sink.Begin(0, announced));
    BYTE chunk[4096];
    for (DWORD received = 0;;)
    {
        DWORD wanted = known && announced - received < sizeof(chunk) ? announced - received : sizeof(chunk);
        if (!wanted)
            return S_OK;
        DWORD read = 0;
        if (!::InternetReadFile(request, chunk, wanted, &read))
        {
            SERROR_SET_SYSTEM("Download.InternetReadFile").Add(url);
            return E_FAIL;
        }
        if (!read)
        {
            if (!known)
                return S_OK;
            SERROR_SET("Download.Incomplete")
                .Add(url)
                .Add(L"The connection ended after " + SString::FromInt(static_cast<int>(received)) + L" of " +
                     SString::FromInt(static_cast<int>(announced)) + L" bytes.");
            return E_FAIL;
        }
        received += read;
        S_RETURN_IF_FAILED(sink.Receive(chunk, read));
    }
}

} // namespace

SHttpBufferSink::SHttpBufferSink(const SString& url, BYTE** body, DWORD* size, ProgressCallback progress,
                                 void* userData)
    : m_url(url), m_body(body), m_size(size), m_capacity(0), m_total(0), m_progress(progress), m_userData(userData)
{
}

HRESULT SHttpBufferSink::Begin(DWORD offset, DWORD total)
{
    m_total = total;
    *m_size = offset;
    return Reserve(total != 0xFFFFFFFF ? total : 0);
}

HRESULT SHttpBufferSink::Receive(const BYTE* bytes, DWORD count)
{
    S_RETURN_IF_FAILED(Reserve(*m_size + count));
    memcpy(*m_body + *m_size, bytes, count);
    *m_size += count;
    if (m_progress)
        m_progress(m_total, *m_size, m_userData);
    return S_OK;
}

HRESULT SHttpBufferSink::Reserve(DWORD needed)
{
    if (needed <= m_capacity && *m_body)
        return S_OK;
    DWORD grown = m_capacity;
    while (grown < needed)
        grown = grown > 0x7FFFFFFF ? needed : (grown ? grown * 2 : 65536);
    BYTE* block = static_cast<BYTE*>(realloc(*m_body, grown ? grown : 1));
    if (!block)
    {
        SERROR_SET("OpenURL.OutOfMemory")
            .Add(m_url)
            .Add(L"Cannot hold " + SString::FromInt(static_cast<int>(grown)) + L" bytes.");
        return E_FAIL;
    }
    *m_body = block;
    m_capacity = grown;
    return S_OK;
}

HRESULT StreamURL(const SString& url, const SStringList& headers, SHttpSink& sink)
{
    SString scheme, host, path;
    int port = 0;
    S_RETURN_IF_FAILED(ParseHttpURL(url, scheme, host, port, path));
    SInternet session(::InternetOpenW(NULL, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0));
    if (!session.IsValid())
    {
        SERROR_SET("OpenURL.InternetOpen").Add(url);
        return E_FAIL;
    }
    SInternet connection(::InternetConnectW(session.Get(), host.CStr(), static_cast<INTERNET_PORT>(port), NULL, NULL,
                                            INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.IsValid())
    {
        SERROR_SET("OpenURL.InternetConnect").Add(url);
        return E_FAIL;
    }
    const wchar_t* acceptTypes[] = {L"*/*", NULL};
    // The body is a program: no copy of it stays behind in the user's cache.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_CACHE_WRITE |
                  (scheme == L"https" ? INTERNET_FLAG_SECURE : 0);
    SInternet request(
        ::HttpOpenRequestW(connection.Get(), L"GET", path.CStr(), NULL, NULL, acceptTypes, flags, 0));
    if (!request.IsValid())
    {
        SERROR_SET("OpenURL.HttpOpenRequest").Add(url);
        return E_FAIL;
    }
    S_RETURN_IF_FAILED(AddHeaders(request.Get(), url, headers));
    DWORD timeout = 0x00FFFFFF;
    ::InternetSetOptionW(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
    ::InternetSetOptionW(request.Get(), INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
    if (!::HttpSendRequestW(request.Get(), NULL, 0, NULL, 0))
    {
        SERROR_SET_SYSTEM("OpenURL.HttpSendRequest").Add(url);
        return E_FAIL;
    }
    DWORD status = 0;
    DWORD length = sizeof(status);
    if (!::HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, NULL))
    {
        SERROR_SET_SYSTEM("OpenURL.HttpQueryInfo").Add(url);
        return E_FAIL;
    }
    DWORD announced = 0;
    length = sizeof(announced);
    if (!::HttpQueryInfoW(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced, &length,
                          NULL))
        announced = 0xFFFFFFFF;
    S_RETURN_IF_FAILED(CheckStatus(status, url));
    return ReadBody(request.Get(), url, announced, sink);
}

HRESULT OpenURL(const SString& url, const SStringList& headers, BYTE** body, DWORD* size, ProgressCallback progress,
                void* userData)
{
    SHttpBufferSink sink(url, body, size, progress, userData);
    return StreamURL(url, headers, sink);
}
