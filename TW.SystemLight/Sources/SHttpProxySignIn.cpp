#include "SHttpProxySignIn.h"

#include "SString.h"
#include "SLocked.h"

namespace
{
HWND g_signInOwner = NULL;
// What the user typed into the sign-in dialog, for the requests that follow
// (each attempt opens a session of its own), and how many sign-ins there
// were. Memory only: SString wipes it. The range connections read it on
// their own threads; the lock keeps one dialog open at a time.
SRWLOCK g_lock = SRWLOCK_INIT;
SString g_proxyUser;
SString g_proxyPassword;
unsigned g_signIns = 0;

SString QueryOption(HINTERNET request, DWORD option)
{
    wchar_t text[512] = {0};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    SString value = ::InternetQueryOptionW(request, option, text, &size) ? SString(text) : SString();
    ::SecureZeroMemory(text, sizeof(text));
    return value;
}
} // namespace

void SetProxySignInWindow(HWND owner) { g_signInOwner = owner; }

unsigned UseProxyCredentials(HINTERNET request)
{
    SLocked hold(g_lock);
    if (g_proxyUser.IsEmpty())
        return g_signIns;
    ::InternetSetOptionW(request, INTERNET_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(g_proxyUser.CStr()),
                         static_cast<DWORD>(g_proxyUser.Length()));
    ::InternetSetOptionW(request, INTERNET_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(g_proxyPassword.CStr()),
                         static_cast<DWORD>(g_proxyPassword.Length()));
    return g_signIns;
}

// What the 407 carried is read first, as WinINet needs before the dialog.
// The request is then made anew on a new connection: the handle that met the
// 407 is not sent again, since WinINet may send it to the proxy itself,
// outside the tunnel, in plain text.
bool SignInToProxy(HINTERNET request, unsigned used)
{
    if (!g_signInOwner)
        return false;
    SLocked hold(g_lock);
    if (g_signIns != used)
        return true; // signed in while this request waited
    BYTE drain[4096];
    DWORD read = 0;
    while (::InternetReadFile(request, drain, sizeof(drain), &read) && read)
        ;
    DWORD answer = ::InternetErrorDlg(g_signInOwner, request, ERROR_INTERNET_INCORRECT_PASSWORD,
                                      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
                                          FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
                                      NULL);
    if (answer != ERROR_INTERNET_FORCE_RETRY)
        return false;
    g_proxyUser = QueryOption(request, INTERNET_OPTION_PROXY_USERNAME);
    g_proxyPassword = QueryOption(request, INTERNET_OPTION_PROXY_PASSWORD);
    ++g_signIns;
    return true;
}
