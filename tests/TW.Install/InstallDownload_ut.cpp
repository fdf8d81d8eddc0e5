// The download step inside real installs, from the local server reached
// under the publisher's host names through the proxy.
#include <gtest/gtest.h>

#include "EngineHarness.h"
#include "TestPeer.h"

namespace
{
class InstallDownloadTest : public ::testing::Test
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
        PackageModule module(TestPack(name), L"Download");
        installer.packageModule = module.Get();
        return installer.Install(InstallOptions());
    }

    ProxyScope proxy{TestPeer::Get()};
    InstallPlace place;
    RecordingInstaller installer;
};
} // namespace

TEST_F(InstallDownloadTest, PublishedApplicationIsInflatedIntoBothProgramFolders)
{
    ASSERT_EQ(S_OK, InstallPack(L"DownloadApp")) << SError::Text().CStr();
    std::string application = TestFolder::ReadFile(BinFolder() + L"\\TW.3D.Modeller.exe");
    EXPECT_EQ(application, TestFolder::ReadFile(place.programFolder + L"\\TW.3D.Modeller.exe"));
    EXPECT_EQ(application, TestFolder::ReadFile(place.dataFolder + L"\\TW.3D.Modeller.exe"));
    EXPECT_EQ("0123456789", TestFolder::ReadFile(place.dataFolder + L"\\Cache\\extra.TWP"));
    // The fraction rises with the received bytes and ends at exactly 1.
    float previous = 0.0f;
    for (const std::pair<SString, float>& report : installer.reports)
    {
        EXPECT_GE(report.second, previous);
        previous = report.second;
    }
    EXPECT_EQ(1.0f, installer.reports.back().second);
    EXPECT_GT(installer.reports.size(), 100u);
}

TEST_F(InstallDownloadTest, SignedS3Download)
{
    ASSERT_EQ(S_OK, InstallPack(L"DownloadS3")) << SError::Text().CStr();
    EXPECT_EQ(TestFolder::ReadFile(BinFolder() + L"\\TW.3D.Modeller.exe"),
              TestFolder::ReadFile(place.programFolder + L"\\TW.3D.Modeller.exe"));
}

TEST_F(InstallDownloadTest, S3UrlWithoutPathFailsBeforeAnyRequest)
{
    ASSERT_EQ(E_FAIL, InstallPack(L"DownloadNoSlash"));
    EXPECT_TRUE(SError::Text() == L"Install.parseurl\n.s3.us-east-1.amazonaws.com");
}

TEST_F(InstallDownloadTest, BodyTooShortForTheSizeWritesNothing)
{
    ASSERT_EQ(E_FAIL, InstallPack(L"DownloadShort"));
    EXPECT_TRUE(SError::Identifier() == L"Install.DownloadTooShort");
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe"));
}

TEST_F(InstallDownloadTest, BodyThatDoesNotInflateWritesNothing)
{
    ASSERT_EQ(E_FAIL, InstallPack(L"DownloadDamaged"));
    EXPECT_TRUE(SError::Identifier() == L"Install.Inflate") << SError::Text().CStr();
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe"));
}
