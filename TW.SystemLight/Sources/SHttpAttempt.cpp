#include "SHttpAttempt.h"

#include "SError.h"
#include "SHandle.h"
#include "SHttpProxySignIn.h"
#include "SHttpRules.h"
#include "SLog.h"
#include "SUrl.h"

#include <new>
#include <utility>
#include <vector>

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
        SERROR_SET("OpenURL.HttpAddRequestHeaders").Add(UrlForLog(url)); // never the headers: they may sign
        return E_FAIL;
    }
    return S_OK;
}

bool QueryText(HINTERNET request, DWORD info, SString& text)
{
    DWORD size = 0;
    ::HttpQueryInfoW(request, info, NULL, &size, NULL);
    if (!size)
        return false;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
    if (!::HttpQueryInfoW(request, info, &buffer[0], &size, NULL))
        return false;
    text = SString(&buffer[0], static_cast<int>(size / sizeof(wchar_t)));
    return true;
}

// Retry-After in seconds, at most 30; 0 for none, a date, or anything but
// digits (a negative wait among them).
DWORD RetryAfterMs(HINTERNET request)
{
    SString text;
    if (!QueryText(request, HTTP_QUERY_RETRY_AFTER, text) || text.IsEmpty() || text.Length() > 9)
        return 0;
    DWORD seconds = 0;
    for (int i = 0; i < text.Length(); ++i)
    {
        if (text[i] < L'0' || text[i] > L'9')
            return 0;
        seconds = seconds * 10 + (text[i] - L'0');
    }
    return (seconds < 30 ? seconds : 30) * 1000;
}

DWORD QueryNumber(HINTERNET request, DWORD info, DWORD missing)
{
    DWORD value = 0;
    DWORD length = sizeof(value);
    if (!::HttpQueryInfoW(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &length, NULL))
        return missing;
    return value;
}

bool IsRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsTransient(DWORD status)
{
    return status >= 500 || status == 408 || status == 429;
}

SHttpOutcome RaiseStatus(DWORD status, const SString& url)
{
    if (status == 407)
        SERROR_SET("OpenURL.ProxyAuthentication")
            .Add(L"The proxy server asks for a user name and password.")
            .Add(UrlForLog(url));
    else if (status == 500 || status == 502)
        SERROR_SET("OpenURL.ServerError").Add(SString::FromInt(static_cast<int>(status))).Add(UrlForLog(url));
    else if (status == 401)
        SERROR_SET("OpenURL.Unauthorized").Add(UrlForLog(url));
    else
        SERROR_SET("OpenURL.HttpStatus").Add(SString::FromInt(static_cast<int>(status))).Add(UrlForLog(url));
    return IsTransient(status) ? HttpBroken : HttpFatal;
}

// Bounded waits: a silent server breaks the attempt instead of holding the
// install for hours. Set on the session for the connect and on the request,
// which does not take the session's receive time-out everywhere.
void SetTimeouts(HINTERNET handle)
{
    const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                             INTERNET_OPTION_DATA_RECEIVE_TIMEOUT};
    for (DWORD option : options)
    {
        DWORD timeout = g_stallMs;
        ::InternetSetOptionW(handle, option, &timeout, sizeof(timeout));
    }
}

// The request handles of one hop of an attempt, closed together.
struct HttpHop
{
    SInternet session;
    SInternet connection;
    SInternet request;
    unsigned signIn = 0; // the proxy sign-in whose credentials it carries
};

// WinINet reads what is left of an answer when its request is closed, to
// keep the connection: an answer without end, sent faster than it is read,
// would hold the close for ever. A hop whose answer was not read to its end
// is closed on a thread of its own, and waited for only a moment.
DWORD WINAPI CloseHop(LPVOID closing)
{
    HttpHop* hop = static_cast<HttpHop*>(closing);
    hop->request.Reset();
    hop->connection.Reset();
    hop->session.Reset();
    delete hop;
    return 0;
}

void CloseUnread(HttpHop& hop)
{
    HttpHop* closing = new (std::nothrow) HttpHop;
    if (!closing)
        return; // closed where it is, as any hop
    closing->request = std::move(hop.request);
    closing->connection = std::move(hop.connection);
    closing->session = std::move(hop.session);
    SKernelHandle closer(::CreateThread(NULL, 0, CloseHop, closing, 0, NULL));
    if (!closer.IsValid())
        CloseHop(closing);
    else if (::WaitForSingleObject(closer.Get(), 1000) == WAIT_TIMEOUT)
        SLog::Line(L"download: the rest of an answer that was not taken is still being read by the system; "
                   L"left to it");
}

SHttpOutcome Send(const SString& url, const SStringList& headers, const SHttpTransfer& transfer, HttpHop& hop)
{
    SString scheme, host, path;
    int port = 0;
    if (ParseHttpURL(url, scheme, host, port, path) != S_OK)
        return HttpFatal;
    hop.session.Reset(::InternetOpenW(NULL, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0));
    if (!hop.session.IsValid())
    {
        SERROR_SET("OpenURL.InternetOpen").Add(UrlForLog(url));
        return HttpFatal;
    }
    SetTimeouts(hop.session.Get());
    hop.connection.Reset(::InternetConnectW(hop.session.Get(), host.CStr(), static_cast<INTERNET_PORT>(port), NULL,
                                            NULL, INTERNET_SERVICE_HTTP, 0, 0));
    if (!hop.connection.IsValid())
    {
        SERROR_SET("OpenURL.InternetConnect").Add(UrlForLog(url));
        return HttpFatal;
    }
    const wchar_t* acceptTypes[] = {L"*/*", NULL};
    // The body is a program: no copy of it stays in the user's cache, and no
    // redirect is followed before it has been checked here.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_CACHE_WRITE |
                  INTERNET_FLAG_NO_AUTO_REDIRECT | (scheme == L"https" ? INTERNET_FLAG_SECURE : 0);
    hop.request.Reset(
        ::HttpOpenRequestW(hop.connection.Get(), L"GET", path.CStr(), NULL, NULL, acceptTypes, flags, 0));
    if (!hop.request.IsValid())
    {
        SERROR_SET("OpenURL.HttpOpenRequest").Add(UrlForLog(url));
        return HttpFatal;
    }
    SetTimeouts(hop.request.Get());
    hop.signIn = UseProxyCredentials(hop.request.Get());
    SStringList lines(headers);
    if (transfer.range)
    {
        lines.Append(L"Range: bytes=" + SString::FromUnsigned(transfer.range->first + transfer.received) + L"-" +
                     SString::FromUnsigned(transfer.range->last));
        if (!transfer.range->ifMatch.IsEmpty())
            lines.Append(L"If-Match: " + transfer.range->ifMatch);
        // A connection that carried a part goes with its answer: were it kept,
        // bytes that a server sent beyond the part would be read as the next
        // request's answer.
        lines.Append(L"Connection: close");
    }
    else if (transfer.received && transfer.total != 0xFFFFFFFF)
        lines.Append(L"Range: bytes=" + SString::FromUnsigned(transfer.received) + L"-");
    if (AddHeaders(hop.request.Get(), url, lines) != S_OK)
        return HttpFatal;
    if (!::HttpSendRequestW(hop.request.Get(), NULL, 0, NULL, 0))
    {
        DWORD code = ::GetLastError();
        SERROR_SET_SYSTEM("OpenURL.HttpSendRequest").Add(UrlForLog(url));
        return IsSecurityFailure(code) ? HttpFatal : HttpBroken;
    }
    return HttpComplete;
}

SHttpOutcome ReadBody(HINTERNET request, const SString& url, SHttpSink& sink, SHttpTransfer& transfer)
{
    const bool known = transfer.total != 0xFFFFFFFF;
    // Large reads, since under Wine every call costs; but only what has
    // arrived, since a read waits until its buffer is full, and a slow server
    // must still move the bar and meet a cancel.
    std::vector<BYTE> chunk(g_readSize);
    for (;;)
    {
        DWORD remaining = transfer.total - transfer.received;
        DWORD wanted = known && remaining < g_readSize ? remaining : g_readSize;
        if (!wanted)
            return HttpComplete;
        DWORD available = 0;
        DWORD asked = ::GetTickCount();
        BOOL answered = ::InternetQueryDataAvailable(request, &available, 0, 0);
        if ((!answered || !available) && ::GetTickCount() - asked >= g_stallMs - g_stallMs / 10)
        {
            // The silence has had its one wait: the read would wait as long again.
            SERROR_SET("Download.Stalled")
                .Add(UrlForLog(url))
                .Add(L"Nothing arrived for " + SString::FromUnsigned(g_stallMs / 1000) + L" s.");
            return HttpBroken;
        }
        if (answered && available && available < wanted)
            wanted = available;
        DWORD read = 0;
        if (!::InternetReadFile(request, &chunk[0], wanted, &read))
        {
            SERROR_SET_SYSTEM("Download.InternetReadFile").Add(UrlForLog(url));
            return HttpBroken;
        }
        if (!read)
        {
            if (!known && sink.End() != S_OK)
            {
                SError::AddContext(L"The body, sent without a length, ended after " +
                                   SString::FromInt(static_cast<int>(transfer.received)) + L" bytes.");
                return HttpBroken;
            }
            if (!known)
                return HttpComplete;
            SERROR_SET("Download.Incomplete")
                .Add(UrlForLog(url))
                .Add(L"The connection ended after " + SString::FromUnsigned(transfer.received) + L" of " +
                     SString::FromUnsigned(transfer.total) + L" bytes.");
            return HttpBroken;
        }
        if (sink.Receive(&chunk[0], read) != S_OK)
            return HttpFatal;
        transfer.received += read;
    }
}

// A 206 continues the body only if it starts where the last attempt ended
// and is a part of the same body.
bool ContinuesBody(HINTERNET request, const SHttpTransfer& transfer, const SString& etag, const SString& modified)
{
    SString range;
    if (!QueryText(request, HTTP_QUERY_CONTENT_RANGE, range))
        return false;
    SString expected = L"bytes " + SString::FromUnsigned(transfer.received) + L"-" +
                       SString::FromUnsigned(transfer.total - 1) + L"/" + SString::FromUnsigned(transfer.total);
    return range == expected && etag == transfer.etag && modified == transfer.lastModified;
}

SHttpOutcome Answer(HINTERNET request, const SString& url, DWORD status, SHttpSink& sink, SHttpTransfer& transfer);

// The answer to a request for a part: only that part, of the same body.
SHttpOutcome AnswerRange(HINTERNET request, const SString& url, DWORD status, SHttpSink& sink, SHttpTransfer& transfer)
{
    SHttpRange& range = *transfer.range;
    SHttpSink* whole = status == 200 && range.answers ? range.answers->WholeBodySink() : NULL;
    if (whole)
    {
        // From here on the transfer is that of the whole body.
        range.wholeTaken = true;
        transfer.range = NULL;
        transfer.sinkOverride = whole;
        return Answer(request, url, status, *whole, transfer);
    }
    if (status == 200)
    {
        SERROR_SET("OpenURL.RangeIgnored").Add(L"The server sends the whole body for a part of it.").Add(UrlForLog(url));
        return HttpFatal;
    }
    if (status == 412)
    {
        SERROR_SET("OpenURL.Changed").Add(L"The server's body changed during the download.").Add(UrlForLog(url));
        return HttpFatal;
    }
    if ((status == 503 || status == 429) && range.answers && !range.answers->WaitWhenBusy())
    {
        SERROR_SET("OpenURL.Busy").Add(SString::FromUnsigned(status)).Add(UrlForLog(url));
        return HttpFatal;
    }
    if (status != 206)
    {
        transfer.retryAfterMs = RetryAfterMs(request);
        return RaiseStatus(status, url);
    }
    SString contentRange, etag;
    QueryText(request, HTTP_QUERY_CONTENT_RANGE, contentRange);
    QueryText(request, HTTP_QUERY_ETAG, etag);
    SString expected = L"bytes " + SString::FromUnsigned(range.first + transfer.received) + L"-" +
                       SString::FromUnsigned(range.last) + L"/";
    if (!contentRange.StartsWith(expected.CStr()) || (transfer.received && etag != range.etag))
    {
        SERROR_SET("OpenURL.Range").Add(L"The server sent another part than the one asked for.").Add(UrlForLog(url));
        return HttpFatal;
    }
    range.etag = etag;
    transfer.total = range.last - range.first + 1;
    if (!CheckSecure(request, url) || sink.Begin(transfer.received, transfer.total) != S_OK)
        return HttpFatal;
    return ReadBody(request, url, sink, transfer);
}

SHttpOutcome Answer(HINTERNET request, const SString& url, DWORD status, SHttpSink& sink, SHttpTransfer& transfer)
{
    transfer.status = status;
    if (transfer.range)
        return AnswerRange(request, url, status, sink, transfer);
    SString etag, modified;
    QueryText(request, HTTP_QUERY_ETAG, etag);
    QueryText(request, HTTP_QUERY_LAST_MODIFIED, modified);
    if (status == 206 && transfer.received)
    {
        if (!ContinuesBody(request, transfer, etag, modified))
        {
            transfer.received = 0;
            SERROR_SET("OpenURL.Range").Add(L"The server sent another part than the one asked for.").Add(UrlForLog(url));
            return HttpBroken;
        }
        if (!CheckSecure(request, url) || sink.Begin(transfer.received, transfer.total) != S_OK)
            return HttpFatal;
        return ReadBody(request, url, sink, transfer);
    }
    if (status == 416 && transfer.received)
    {
        // The body shrank below what was received: the next attempt starts over.
        transfer.received = 0;
        transfer.total = 0xFFFFFFFF;
        SERROR_SET("OpenURL.Range").Add(L"The server's body is shorter than what was received before.").Add(UrlForLog(url));
        return HttpBroken;
    }
    if (status == 304 && sink.TakesNotModified())
    {
        sink.NotModified();
        return HttpComplete;
    }
    if (status != 200)
    {
        transfer.retryAfterMs = RetryAfterMs(request);
        return RaiseStatus(status, url);
    }
    sink.Validator(etag);
    transfer.received = 0;
    transfer.total = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, 0xFFFFFFFF);
    transfer.etag = etag;
    transfer.lastModified = modified;
    if ((transfer.total && !CheckSecure(request, url)) || sink.Begin(0, transfer.total) != S_OK)
        return HttpFatal;
    return ReadBody(request, url, sink, transfer);
}
} // namespace

SHttpOutcome RunHttpAttempt(const SString& url, const SStringList& headers, SHttpSink& sink, SHttpTransfer& transfer)
{
    transfer.retryAfterMs = 0;
    SString current = ResolveUrlReference(url, url); // the scheme in lower case, no fragment
    SStringList hopHeaders(headers);
    for (int redirects = 0;; ++redirects)
    {
        HttpHop hop;
        SHttpOutcome sent = Send(current, hopHeaders, transfer, hop);
        if (sent != HttpComplete)
            return sent;
        DWORD status = QueryNumber(hop.request.Get(), HTTP_QUERY_STATUS_CODE, 0);
        if (status == 407 && SignInToProxy(hop.request.Get(), hop.signIn))
        {
            --redirects; // the same hop, asked again with the credentials
            continue;
        }
        if (!status)
        {
            SERROR_SET_SYSTEM("OpenURL.HttpQueryInfo").Add(UrlForLog(current));
            return HttpBroken;
        }

        if (!IsRedirect(status))
        {
            SHttpOutcome answered = Answer(hop.request.Get(), current, status, sink, transfer);
            if (answered != HttpComplete)
                CloseUnread(hop);
            return answered;
        }
        SString location, next;
        if (!QueryText(hop.request.Get(), HTTP_QUERY_LOCATION, location))
            return RaiseStatus(status, current);
        if (!CheckRedirect(current, location, redirects, next))
            return HttpFatal;
        // The caller's headers are for its server: a signature sent to
        // another host would give that host the right to ask in its name.
        if (!IsSameServer(current, next))
            hopHeaders = SStringList();
        current = next;
    }
}
