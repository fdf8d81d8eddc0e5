#pragma once
// One HTTP(S) GET over WinINet, the whole body handed back in memory.
#include "SString.h"

// (total announced or 0xFFFFFFFF when unknown, received so far, user data)
typedef int (*ProgressCallback)(DWORD total, DWORD received, void* userData);

// Splits http(s)://host[:port]/path; other schemes fail with
// "ParseHttpURL_Protocol". Only the port is written before that check.
HRESULT ParseHttpURL(const SString& url, SString& scheme, SString& host, int& port, SString& path);

// GETs the URL with the extra header lines. On a 200 the body (malloc'ed,
// owned by the caller, also after a later failure) and its size are stored;
// a body without Content-Length is read into a growing buffer. A body that
// ends early fails with "Download.Incomplete".
HRESULT OpenURL(const SString& url, const SStringList& headers, BYTE** body, DWORD* size,
                ProgressCallback progress, void* userData);
