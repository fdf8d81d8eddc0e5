#pragma once
// The loopback peers that ./tw starts before the tests: an HTTP and an HTTPS
// server and a proxy that stands in for any host name. Their ports and the
// test authority's certificate are in the test data folder.
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "SRegistry.h"
#include "TestFolder.h"

struct TestPeer
{
    int http = 0;
    int https = 0;
    int proxy = 0;
    int authProxy = 0; // asks for Basic credentials: proxyuser / proxypass

    // Reads the ports and trusts the test authority in this prefix.
    static const TestPeer& Get()
    {
        static TestPeer peer = Load();
        return peer;
    }

    bool Available() const { return https != 0; }
    std::wstring Http(const wchar_t* path) const { return L"http://127.0.0.1:" + std::to_wstring(http) + path; }
    std::wstring Https(const wchar_t* path) const { return L"https://127.0.0.1:" + std::to_wstring(https) + path; }

private:
    static int Port(const std::string& json, const char* name)
    {
        size_t at = json.find(std::string("\"") + name + "\"");
        return at == std::string::npos ? 0 : atoi(json.c_str() + json.find(':', at) + 1);
    }

    static TestPeer Load()
    {
        TestPeer peer;
        std::string ports = TestFolder::ReadFile(SString(TW_TEST_DATA) + L"\\peer-ports.json");
        peer.http = Port(ports, "http");
        peer.https = Port(ports, "https");
        peer.proxy = Port(ports, "proxy");
        peer.authProxy = Port(ports, "authproxy");
        std::string der = TestFolder::ReadFile(SString(TW_TEST_DATA) + L"\\ca.der");
        ::CertAddEncodedCertificateToSystemStoreW(L"Root", reinterpret_cast<const BYTE*>(der.data()),
                                                  static_cast<DWORD>(der.size()));
        return peer;
    }
};

// While it lives, WinINet reaches every host through the peer's proxy.
class ProxyScope
{
public:
    explicit ProxyScope(const TestPeer& peer) : ProxyScope(peer.proxy) {}
    explicit ProxyScope(int port)
    {
        SetValue(HKEY_CURRENT_USER, s_key, L"ProxyServer", SString((L"127.0.0.1:" + std::to_wstring(port)).c_str()));
        SetValue(HKEY_CURRENT_USER, s_key, L"ProxyEnable", static_cast<DWORD>(1));
    }
    ~ProxyScope() { SetValue(HKEY_CURRENT_USER, s_key, L"ProxyEnable", static_cast<DWORD>(0)); }

private:
    static constexpr const wchar_t* s_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
};
