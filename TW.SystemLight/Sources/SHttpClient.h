#pragma once
// One HTTP(S) GET over WinINet: streamed to a sink as it arrives, or handed
// back whole in memory.
#include "SHttpSink.h"
#include "SString.h"
#include "SUrl.h"

// (total announced or 0xFFFFFFFF when unknown, received so far, user data)
typedef int (*ProgressCallback)(DWORD total, DWORD received, void* userData);

// The extra header lines of a request, made anew for every attempt (a
// signature that must be fresh when it is sent).
class SHttpHeaders
{
public:
    virtual SStringList ForAttempt() const = 0;

protected:
    ~SHttpHeaders() {}
};

// GETs the URL with the extra header lines and passes the body to the sink in
// reads of at most 128 KiB. Nothing is written to the WinINet cache.
// Redirects are followed up to 10 times, never from https to anything else
// ("OpenURL.Redirect"). A transfer that breaks (connection lost, 30 s without
// a byte, 5xx, 408, 429) is tried again, at most 4 times in all, after 1, 2
// and 4 s or the server's Retry-After, continuing with a Range request where
// the server allows it. Other statuses fail at once without a call to the
// sink; a sink failure ends the transfer at once.
HRESULT StreamURL(const SString& url, const SHttpHeaders& headers, SHttpSink& sink);
// The same with header lines that stay the same for every attempt.
HRESULT StreamURL(const SString& url, const SStringList& headers, SHttpSink& sink);

// GETs bytes first..last of the body with a Range request. The sink sees the
// part as a body of its own: Begin's offset and total count within the part.
// A broken transfer is tried again as by StreamURL, from where the part broke.
// A 200 (a server that ignores ranges) goes to the sink that range.answers
// names, as the answer to a plain GET would, and its retries too; without one
// it fails at once with "OpenURL.RangeIgnored", unread. A part's connection
// is never used again. Fails at once with "OpenURL.Changed" on
// a 412 (the body is no longer the one of If-Match) and "OpenURL.Range" on a
// 206 for another part.
HRESULT StreamURLRange(const SString& url, const SStringList& headers, SHttpRange& range, SHttpSink& sink);

// Collects a body in one block that grows as needed, reporting progress.
// The block (malloc'ed) belongs to the caller from the first Begin on.
class SHttpBufferSink : public SHttpSink
{
public:
    SHttpBufferSink(const SString& url, BYTE** body, DWORD* size, ProgressCallback progress, void* userData);
    HRESULT Begin(DWORD offset, DWORD total) override;
    HRESULT Receive(const BYTE* bytes, DWORD count) override;

private:
    HRESULT Reserve(DWORD needed);

    const SString& m_url;
    BYTE** m_body;
    DWORD* m_size;
    DWORD m_capacity;
    DWORD m_total;
    ProgressCallback m_progress;
    void* m_userData;
};

// StreamURL into one block. On a 200 the body (malloc'ed, owned by the
// caller, also after a later failure) and its size are stored.
HRESULT OpenURL(const SString& url, const SStringList& headers, BYTE** body, DWORD* size,
                ProgressCallback progress, void* userData);
