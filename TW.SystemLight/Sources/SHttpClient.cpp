#include "SHttpClient.h"

#include "SHttpAttempt.h"

#include "SCancel.h"
#include "SError.h"
#include "SLog.h"
#include "SHandle.h"
#include "SUrl.h"

#include <stdlib.h>
#include <string.h>

namespace
{
const int g_maxAttempts = 4;

// One line for the administrator's log: never the query string, which may
// carry a signature, nor any header.
void LogDownload(const SString& url, const SHttpTransfer& transfer, int attempts, DWORD started, bool complete)
{
    SString part = transfer.range ? L" | bytes " + SString::FromUnsigned(transfer.range->first) + L"-" +
                                        SString::FromUnsigned(transfer.range->last)
                                  : SString();
    SLog::Line(L"download: " + UrlForLog(url) + part + L" | HTTP " + SString::FromInt(static_cast<int>(transfer.status)) +
               L" | " + SString::FromInt(static_cast<int>(transfer.received)) + L" bytes | " +
               SString::FromInt(attempts) + (attempts == 1 ? L" attempt | " : L" attempts | ") +
               SString::FromInt(static_cast<int>(::GetTickCount() - started)) + L" ms | " +
               (complete ? L"complete" : SLog::FailureText()));
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
            .Add(UrlForLog(m_url))
            .Add(L"Cannot hold " + SString::FromInt(static_cast<int>(grown)) + L" bytes.");
        return E_FAIL;
    }
    *m_body = block;
    m_capacity = grown;
    return S_OK;
}

namespace
{
class FixedHeaders : public SHttpHeaders
{
public:
    explicit FixedHeaders(const SStringList& lines) : m_lines(lines) {}
    SStringList ForAttempt() const override { return m_lines; }

private:
    const SStringList& m_lines;
};
} // namespace

HRESULT StreamURL(const SString& url, const SStringList& headers, SHttpSink& sink)
{
    return StreamURL(url, FixedHeaders(headers), sink);
}

namespace
{
// The transfer's sink: the caller's, or the whole body's once a ranged
// request has been answered with the whole body (a change within an attempt).
SHttpSink& CurrentSink(const SHttpTransfer& transfer, SHttpSink& sink)
{
    return transfer.sinkOverride ? *transfer.sinkOverride : sink;
}

// Attempts the transfer until it completes, fails for good or runs out of
// attempts.
HRESULT Transfer(const SString& url, const SHttpHeaders& headers, SHttpSink& sink, SHttpTransfer& transfer)
{
    DWORD started = ::GetTickCount();
    for (int attempt = 1;; ++attempt)
    {
        SHttpOutcome outcome = RunHttpAttempt(url, headers.ForAttempt(), CurrentSink(transfer, sink), transfer);
        if (outcome == HttpComplete)
        {
            LogDownload(url, transfer, attempt, started, true);
            return S_OK;
        }
        bool last = outcome == HttpFatal || attempt == g_maxAttempts;
        if (!last)
        {
            // 1, 2, 4 seconds, or what the server asked for (at most 30). A
            // cancel ends the wait, and the failed attempt's error stands.
            DWORD wait = transfer.retryAfterMs ? transfer.retryAfterMs : 1000u << (attempt - 1);
            CurrentSink(transfer, sink).Retrying(attempt + 1, wait);
            last = !SCancel::Sleep(wait);
        }
        if (last)
        {
            if (attempt > 1)
                SError::AddContext(L"The download failed after " + SString::FromInt(attempt) +
                                   L" attempts: " + UrlForLog(url));
            LogDownload(url, transfer, attempt, started, false);
            return E_FAIL;
        }
    }
}
} // namespace

HRESULT StreamURL(const SString& url, const SHttpHeaders& headers, SHttpSink& sink)
{
    SHttpTransfer transfer;
    return Transfer(url, headers, sink, transfer);
}

HRESULT StreamURLRange(const SString& url, const SStringList& headers, SHttpRange& range, SHttpSink& sink)
{
    SHttpTransfer transfer;
    transfer.range = &range;
    return Transfer(url, FixedHeaders(headers), sink, transfer);
}

HRESULT OpenURL(const SString& url, const SStringList& headers, BYTE** body, DWORD* size, ProgressCallback progress,
                void* userData)
{
    SHttpBufferSink sink(url, body, size, progress, userData);
    return StreamURL(url, headers, sink);
}
