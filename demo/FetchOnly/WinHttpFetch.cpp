// The benchmark's measurement of the other HTTP stack that Windows offers:
// WinHTTP fetching one URL into memory, as the fetch-only program does with
// the project's WinINet client, through the same proxy (the one Internet
// Settings name, which WinINet takes) and TLS. A measurement only: the programs use
// WinINet. Exit code 0 when the body came.
//   TW.FetchOnly.WinHttp <url>
#include <windows.h>
#include <winhttp.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace
{
struct Handle
{
    HINTERNET value;
    explicit Handle(HINTERNET handle) : value(handle) {}
    ~Handle()
    {
        if (value)
            ::WinHttpCloseHandle(value);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

// The proxy that WinINet takes from Internet Settings, or empty for none.
std::wstring InternetSettingsProxy()
{
    const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    DWORD enabled = 0, size = sizeof(enabled);
    if (::RegGetValueW(HKEY_CURRENT_USER, key, L"ProxyEnable", RRF_RT_REG_DWORD, NULL, &enabled, &size) !=
            ERROR_SUCCESS ||
        !enabled)
        return std::wstring();
    wchar_t server[512] = {0};
    size = sizeof(server) - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_CURRENT_USER, key, L"ProxyServer", RRF_RT_REG_SZ, NULL, server, &size) != ERROR_SUCCESS)
        return std::wstring();
    return server;
}

int Fail(const char* what)
{
    fprintf(stderr, "%s failed: %lu\n", what, ::GetLastError());
    return 1;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
    {
        fputs("usage: TW.FetchOnly.WinHttp <url>\n", stderr);
        return 2;
    }
    std::wstring proxy = InternetSettingsProxy();
    bool named = !proxy.empty();
    Handle session(::WinHttpOpen(L"TW.FetchOnly.WinHttp", named ? WINHTTP_ACCESS_TYPE_NAMED_PROXY
                                                                  : WINHTTP_ACCESS_TYPE_NO_PROXY,
                                 named ? proxy.c_str() : WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.value)
        return Fail("WinHttpOpen");
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    wchar_t host[256] = {0}, path[2048] = {0};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    if (!::WinHttpCrackUrl(argv[1], 0, 0, &parts))
        return Fail("WinHttpCrackUrl");
    Handle connection(::WinHttpConnect(session.value, host, parts.nPort, 0));
    DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    Handle request(connection.value ? ::WinHttpOpenRequest(connection.value, L"GET", path, NULL, WINHTTP_NO_REFERER,
                                                           WINHTTP_DEFAULT_ACCEPT_TYPES, secure)
                                    : NULL);
    if (!request.value || !::WinHttpSendRequest(request.value, WINHTTP_NO_ADDITIONAL_HEADERS, 0, NULL, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.value, NULL))
        return Fail("the request");
    std::vector<BYTE> body;
    DWORD size = 0;
    for (;;)
    {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request.value, &available))
            return Fail("WinHttpQueryDataAvailable");
        if (!available)
            break;
        if (body.size() < size + available)
            body.resize((size + available) * 2);
        DWORD read = 0;
        if (!::WinHttpReadData(request.value, &body[size], available, &read))
            return Fail("WinHttpReadData");
        size += read;
    }
    printf("%lu bytes\n", static_cast<unsigned long>(size));
    return 0;
}
