#pragma once
// The rules that keep a download the server's own: TLS failures are final,
// an https answer must come through a secure channel, and redirects are
// bounded and never leave https.
#include "SHttpAttempt.h"

#include <windows.h>
#include <wininet.h>

// Certificate and channel failures, which do not mend by trying again.
bool IsSecurityFailure(DWORD code);
// HttpComplete when an https answer came through a secure channel (and for
// http); else HttpFatal with "OpenURL.Insecure". Asked before the body is
// read: WinINet forgets the channel once a connection has nothing more to give.
SHttpOutcome CheckSecure(HINTERNET request, const SString& url);
// The address that `location` leads to from `current` (next), and
// HttpComplete when the redirect may be followed: HttpFatal with
// "OpenURL.Redirect" after g_maxRedirects of them, or from https to
// anything else.
SHttpOutcome CheckRedirect(const SString& current, const SString& location, int redirects, SString& next);
// True when both addresses name the same scheme, host and port.
bool IsSameServer(const SString& a, const SString& b);
