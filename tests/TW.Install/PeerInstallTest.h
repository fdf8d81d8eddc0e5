#pragma once
// Real installs whose downloads come from the loopback peers, reached under
// the publisher's host names through the proxy; every test starts clean.
#include <gtest/gtest.h>

#include "EngineHarness.h"
#include "TestPeer.h"
#include "SHttpClient.h"

#include <string>
#include <vector>

class PeerInstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!TestPeer::Get().Available())
            GTEST_SKIP() << "no test server (run through ./tw test)";
        ::CoInitialize(NULL);
        place.Clear();
    }
    void TearDown() override { place.Clear(); }

    HRESULT InstallPack(const wchar_t* name)
    {
        PackageModule module(TestPack(name), L"PeerInstall");
        installer.packageModule = module.Get();
        return installer.Install(InstallOptions());
    }

    // What the peer saw for a token of its /fault/ routes: the Range header of
    // every request ("" for none), or "map" for a block map.
    static std::vector<std::string> PeerRequests(const wchar_t* token)
    {
        BYTE* received = NULL;
        DWORD size = 0;
        OpenURL(TestPeer::Get().Https((std::wstring(L"/faults/") + token).c_str()).c_str(), SStringList(), &received,
                &size, NULL, NULL);
        SMallocBytes body(received);
        std::string json(reinterpret_cast<const char*>(body.Get()), body.IsValid() ? size : 0);
        std::vector<std::string> requests;
        for (size_t at = json.find('"'); at != std::string::npos; at = json.find('"', json.find('"', at + 1) + 1))
            requests.push_back(json.substr(at + 1, json.find('"', at + 1) - at - 1));
        return requests;
    }

    // Forgets every token's requests and the faults' state.
    static void ResetPeer()
    {
        BYTE* body = NULL;
        DWORD size = 0;
        OpenURL(TestPeer::Get().Https(L"/reset").c_str(), SStringList(), &body, &size, NULL, NULL);
        SMallocBytes owned(body);
    }

    ProxyScope proxy{TestPeer::Get()};
    InstallPlace place;
    RecordingInstaller installer;
};
