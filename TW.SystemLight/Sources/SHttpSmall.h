#pragma once
// A small document fetched whole into memory, such as a release feed. It is
// input from the network: at most maxBytes of it are taken, and an answer
// that would be longer fails as soon as it says so or as soon as it grows past
// them, so an endless one costs no more. With the ETag of an earlier answer,
// an unchanged document costs one small answer (304) and no body.
#include "SString.h"

#include <string>

struct SHttpSmallAnswer
{
    bool notModified = false; // a 304 to If-None-Match: body and etag are empty
    SString etag;             // of the body, for the next request's If-None-Match
    std::string body;
};

// GETs url as StreamURL does (retries, proxy, TLS and redirect rules), with
// If-None-Match when ifNoneMatch is not empty. Fails with tooLarge (the
// caller's identifier for what is too large) and the URL for a body of more
// than maxBytes, and as StreamURL fails.
HRESULT FetchSmall(const SString& url, const SString& ifNoneMatch, DWORD maxBytes, const char* tooLarge,
                   SHttpSmallAnswer& answer);
