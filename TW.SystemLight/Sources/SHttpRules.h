#pragma once
// The rules that keep a download the server's own: TLS failures are final,
// an https answer must come through a secure channel, and redirects are
// bounded and never leave https.
#include "SString.h"

#include <windows.h>
#include <wininet.h>

// At most this many redirects are followed in one attempt.
const int g_maxRedirects = 10;

// Certificate and channel failures, which do not mend by trying again.
bool IsSecurityFailure(DWORD code);
// True when an https answer came through a secure channel (and for http);
// else false with "OpenURL.Insecure". Asked before the body is
// read: WinINet forgets the channel once a connection has nothing more to give.
bool CheckSecure(HINTERNET request, const SString& url);
// The address that `location` leads to from `current` (next), and true
// when the redirect may be followed: false with
// "OpenURL.Redirect" after g_maxRedirects of them, or from https to
// anything else.
bool CheckRedirect(const SString& current, const SString& location, int redirects, SString& next);
// True when both addresses name the same scheme, host and port.
bool IsSameServer(const SString& a, const SString& b);
