#pragma once
// What a download hands its body to, and how a ranged request's caller
// answers what is not its part: the interfaces between the HTTP client and
// whoever uses it.
#include "SString.h"

// Receives a response body chunk by chunk, as it arrives.
class SHttpSink
{
public:
    // The body starts (again) at byte `offset` of a body of `total` bytes
    // (0xFFFFFFFF when the server does not say). Offset 0 means from the
    // beginning: whatever the sink received before is void.
    virtual HRESULT Begin(DWORD offset, DWORD total) = 0;
    // The next bytes. A failure ends the transfer; the sink has filled SError.
    virtual HRESULT Receive(const BYTE* bytes, DWORD count) = 0;
    // The transfer broke; attempt number `attempt` follows in waitMs.
    virtual void Retrying(int attempt, DWORD waitMs) {}
    // A body whose length nobody announced has ended. Fails, with SError
    // filled, when the sink can tell that it is not whole: the attempt is
    // then broken and tried again from the start.
    virtual HRESULT End() { return S_OK; }
    // The answer's ETag, before the first Begin of a whole body (empty when
    // the server sends none).
    virtual void Validator(const SString& etag) {}
    // True when the request carried If-None-Match, so that a 304 (Not
    // Modified) answers it: the sink then gets NotModified and no body.
    virtual bool TakesNotModified() const { return false; }
    virtual void NotModified() {}

protected:
    ~SHttpSink() {}
};

// What the caller of a ranged request does with the answers that are not its
// part: the client reports them, the caller decides.
class SHttpRangeAnswers
{
public:
    // A 200, from a server that ignores ranges: the sink that takes it as
    // the whole body, or NULL to fail with "OpenURL.RangeIgnored", unread.
    virtual SHttpSink* WholeBodySink() = 0;
    // A 503 or 429: true to wait and ask again as for any transfer, false to
    // fail at once with "OpenURL.Busy".
    virtual bool WaitWhenBusy() = 0;

protected:
    ~SHttpRangeAnswers() {}
};

// A part of a body, for StreamURLRange.
struct SHttpRange
{
    DWORD first = 0; // the part's first and last byte within the body
    DWORD last = 0;
    SString ifMatch; // sent as If-Match when not empty
    SString etag;    // the answer's ETag, set before the sink's first Begin
    SHttpRangeAnswers* answers = NULL; // none: a 200 fails, and a busy server is waited for
    bool wholeTaken = false;           // a 200 went to answers->WholeBodySink()
};
