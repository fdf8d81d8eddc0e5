#pragma once
// Real installs whose downloads come from the loopback peers, reached under
// the publisher's host names through the proxy; every test starts clean.
#include <gtest/gtest.h>

#include "EngineHarness.h"
#include "TestPeer.h"

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

    ProxyScope proxy{TestPeer::Get()};
    InstallPlace place;
    RecordingInstaller installer;
};
