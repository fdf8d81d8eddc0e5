// The download step against a peer that breaks, stalls, refuses or redirects
// the transfer: what is retried, how it continues, and what fails at once.
#include "TW.Install/PeerInstallTest.h"
#include "SHttpClient.h"

namespace
{
class InstallResilienceTest : public PeerInstallTest
{
protected:
    void SetUp() override
    {
        PeerInstallTest::SetUp();
        if (!IsSkipped())
            ResetPeer();
    }

    // Installs the package; the time it took in ms.
    DWORD InstallPack(const wchar_t* name, HRESULT& result)
    {
        DWORD started = ::GetTickCount();
        result = PeerInstallTest::InstallPack(name);
        return ::GetTickCount() - started;
    }

    void ExpectApplication() const
    {
        std::string application = TestFolder::ReadFile(BinFolder() + L"\\TW.3D.Modeller.exe");
        EXPECT_TRUE(application == TestFolder::ReadFile(place.programFolder + L"\\TW.3D.Modeller.exe"));
        EXPECT_TRUE(application == TestFolder::ReadFile(place.dataFolder + L"\\TW.3D.Modeller.exe"));
    }

    static std::string Half()
    {
        std::string body = TestFolder::ReadFile(SString(TW_TEST_DATA) + L"\\www\\files\\TW.3D.Modeller.body");
        return "bytes=" + std::to_string(body.size() / 2) + "-";
    }

};
} // namespace

TEST_F(InstallResilienceTest, DroppedConnectionContinuesWhereItBroke)
{
    HRESULT result;
    InstallPack(L"FaultDrop", result);
    ASSERT_EQ(S_OK, result) << SError::Text().CStr();
    ExpectApplication();
    EXPECT_EQ((std::vector<std::string>{"", Half()}), PeerRequests(L"drop"));
    // While it waited, the status line said so and the bar stayed where it was.
    bool told = false;
    for (size_t i = 1; i < installer.reports.size(); ++i)
    {
        if (installer.reports[i].first.Find(L"(attempt 2 of 4)") < 0)
            continue;
        told = true;
        EXPECT_EQ(installer.reports[i - 1].second, installer.reports[i].second);
    }
    EXPECT_TRUE(told);
}

TEST_F(InstallResilienceTest, ServerThatIgnoresRangeStartsOver)
{
    HRESULT result;
    InstallPack(L"FaultIgnore", result);
    ASSERT_EQ(S_OK, result) << SError::Text().CStr();
    ExpectApplication();
    EXPECT_EQ((std::vector<std::string>{"", Half()}), PeerRequests(L"ignore"));
}

TEST_F(InstallResilienceTest, BusyServerIsAskedAgainAfterRetryAfter)
{
    HRESULT result;
    DWORD ms = InstallPack(L"FaultBusy", result);
    ASSERT_EQ(S_OK, result) << SError::Text().CStr();
    ExpectApplication();
    EXPECT_EQ(2u, PeerRequests(L"busy").size());
    EXPECT_GE(ms, 900u);
}

TEST_F(InstallResilienceTest, StallsAreBrokenOffAndRetried)
{
    for (const wchar_t* pack : {L"FaultStall", L"FaultMute", L"FaultTlsclose"})
    {
        SCOPED_TRACE(ToNarrow(pack));
        place.Clear();
        HRESULT result;
        DWORD ms = InstallPack(pack, result);
        ASSERT_EQ(S_OK, result) << SError::Text().CStr();
        ExpectApplication();
        EXPECT_LT(ms, 45000u);
    }
}

TEST_F(InstallResilienceTest, AlwaysBrokenFailsAfterFourAttempts)
{
    HRESULT result;
    DWORD ms = InstallPack(L"FaultAlways", result);
    ASSERT_EQ(E_FAIL, result);
    EXPECT_TRUE(SError::Identifier() == L"Download.Incomplete" ||
                SError::Identifier() == L"Download.InternetReadFile")
        << SError::Text().CStr();
    const SStringList& messages = SError::Messages();
    EXPECT_TRUE(messages[messages.Count() - 1] ==
                L"The download failed after 4 attempts: "
                L"https://downloads.tarnwick.example/fault/always-drop/always/TW.3D.Modeller.body");
    EXPECT_EQ(4u, PeerRequests(L"always").size());
    EXPECT_LT(ms, 20000u);
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe"));
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe.partial"));
}

TEST_F(InstallResilienceTest, MissingFileFailsAtOnce)
{
    HRESULT result;
    InstallPack(L"FaultMissing", result);
    ASSERT_EQ(E_FAIL, result);
    EXPECT_TRUE(SError::Identifier() == L"OpenURL.HttpStatus");
    EXPECT_EQ(1u, PeerRequests(L"missing").size());
}

TEST_F(InstallResilienceTest, RedirectToPlainHttpIsRefused)
{
    HRESULT result;
    InstallPack(L"FaultTohttp", result);
    ASSERT_EQ(E_FAIL, result);
    EXPECT_TRUE(SError::Identifier() == L"OpenURL.Redirect") << SError::Text().CStr();
    EXPECT_TRUE(SError::Messages()[2] == L"http://downloads.tarnwick.example/fault/record/tohttp-http/x");
    EXPECT_EQ(1u, PeerRequests(L"tohttp").size()); // not retried
    EXPECT_EQ(0u, PeerRequests(L"tohttp-http").size());
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe"));
}

TEST_F(InstallResilienceTest, RedirectLoopStopsAfterTenRedirects)
{
    HRESULT result;
    InstallPack(L"FaultLoop", result);
    ASSERT_EQ(E_FAIL, result);
    EXPECT_TRUE(SError::Identifier() == L"OpenURL.Redirect") << SError::Text().CStr();
    EXPECT_EQ(11u, PeerRequests(L"loop").size());
}


// A body without a length that ends early is a broken attempt, not a damaged
// download: it is fetched again from the start.
TEST_F(InstallResilienceTest, BodyWithoutLengthCutShortIsFetchedAgain)
{
    for (const wchar_t* name : {L"FaultChunkCut", L"FaultCloseCut"})
    {
        SCOPED_TRACE(ToNarrow(name));
        place.Clear();
        HRESULT result;
        InstallPack(name, result);
        ASSERT_EQ(S_OK, result) << SError::Text().CStr();
        ExpectApplication();
    }
    EXPECT_EQ((std::vector<std::string>{"", ""}), PeerRequests(L"chunkcut"));
    EXPECT_EQ((std::vector<std::string>{"", ""}), PeerRequests(L"closecut"));
}
