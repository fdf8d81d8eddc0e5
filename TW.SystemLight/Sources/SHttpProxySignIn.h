#pragma once
// Sign-in to a proxy that asks for credentials (407): the user answers the
// system's own dialog, once for the whole run, however many connections
// meet the question at the same time.
#include <windows.h>
#include <wininet.h>

// Puts the credentials of the last sign-in into the request, if there was
// one. Returns the sign-in's number (0 before any), for SignInToProxy.
unsigned UseProxyCredentials(HINTERNET request);
// After a 407 to a request that carried sign-in number `used`: true when the
// request may be made anew with new credentials, because the user gave them
// now, or another connection's sign-in did while this one waited. One
// dialog at a time. False without a window (silent installs) or when the
// user cancels.
bool SignInToProxy(HINTERNET request, unsigned used);

// The window that owns the system's proxy sign-in dialog. A proxy that asks
// for credentials (407) is then answered by the user through WinINet's own
// dialog and the request is sent again; without a window (silent installs)
// it fails at once with "OpenURL.ProxyAuthentication". What the user types
// is kept in memory for the requests of this run (each opens a session of its
// own); nothing writes or logs it.
void SetProxySignInWindow(HWND owner);
