#pragma once
// One attempt of a download: the request, the redirects it is sent on, and
// as much of the body as arrives. The retry loop of StreamURL is built on it.
#include "SHttpSink.h"

// What an attempt leaves for the next one.
struct SHttpTransfer
{
    SHttpTransfer() : received(0), total(0xFFFFFFFF), retryAfterMs(0), status(0) {}

    DWORD received; // body bytes the sink has taken
    DWORD total;    // the body's length, 0xFFFFFFFF when unknown
    SString etag;   // validators of the body being received
    SString lastModified;
    DWORD retryAfterMs; // what the last answer asked for, 0 when nothing
    DWORD status;       // of the last answer, 0 before one
    SHttpRange* range = NULL; // a part of the body rather than the whole
    SHttpSink* sinkOverride = NULL; // the sink of the whole body that a ranged request received
};

enum SHttpOutcome
{
    HttpComplete, // the whole body went to the sink
    HttpBroken,   // worth another attempt: SError says why
    HttpFatal     // no attempt can succeed: SError says why
};

// The body is read in pieces of at most this many bytes.
const DWORD g_readSize = 128 * 1024;
// A connect, a wait for headers, or a silence inside the body this long breaks the attempt.
const DWORD g_stallMs = 30000;

SHttpOutcome RunHttpAttempt(const SString& url, const SStringList& headers, SHttpSink& sink, SHttpTransfer& transfer);
