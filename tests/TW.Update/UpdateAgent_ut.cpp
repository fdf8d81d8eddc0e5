// The update agent, black-box under Wine: the attacks on an updater against a
// real installation, each refused with nothing changed, then an update while
// the application runs, and a withdrawn version taken back.
#include "Names.h"
#include "SHttpSmall.h"
#include "SNls.h"
#include "SRegistry.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include "MachineSnapshot.h"
#include "TestPeer.h"

#include "../TW.Install.UI2/SetupDriver.h"

namespace
{
const wchar_t g_feedName[] = L"stable.feed";
const std::wstring g_site = L"https://downloads.tarnwick.example";

SString FilesFolder() { return SString(TW_TEST_DATA) + L"\\www\\files\\update"; }
SString FeedPath() { return SString(TW_TEST_DATA) + L"\\www\\feeds\\" + g_feedName; }

// A GET to the peer that must succeed; the body.
std::string AskPeer(const std::wstring& path)
{
    SHttpSmallAnswer answer;
    HRESULT result = FetchSmall(TestPeer::Get().Https(path.c_str()).c_str(), SString(), 1 << 20, "Test.TooLarge", answer);
    EXPECT_EQ(S_OK, result) << path << ": " << SError::Text().CStr();
    return answer.body;
}

// What the peer recorded under a token: "[]" when nothing was asked.
std::string Recorded(const wchar_t* token) { return AskPeer(std::wstring(L"/faults/") + token); }

struct Feed
{
    const wchar_t* version = L"2.0.0";
    const wchar_t* setup = L"Setup2.exe"; // the file the feed's digest is taken of
    std::wstring url = g_site + L"/fault/record/setup/update/Setup2.exe";
    const wchar_t* key = L"a";
    std::wstring product;
    const wchar_t* expires = L"30";
    const wchar_t* withdrawn = NULL;
};

void Publish(const Feed& feed)
{
    std::wstring query = L"/sign-feed/" + std::wstring(g_feedName) + L"?key=" + feed.key + L"&product=" +
                         feed.product + L"&version=" + feed.version + L"&setup=update/" + feed.setup + L"&url=" +
                         feed.url + L"&expires=" + feed.expires;
    if (feed.withdrawn)
        query += std::wstring(L"&withdrawn=") + feed.withdrawn;
    AskPeer(query);
}

// Wine may close a child's inherited handles a moment after its end.
std::string ReadShared(const SString& path)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL));
    std::string bytes(file.IsValid() ? ::GetFileSize(file.Get(), NULL) : 0, '\0');
    DWORD read = 0;
    if (!bytes.empty())
        ::ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, NULL);
    return bytes;
}

// The agent's exit code as Windows gives it, and what it printed.
struct AgentRun
{
    DWORD code = 0xDEAD;
    std::string out;
    std::string err;
};

AgentRun RunAgent(const SString& program, const std::wstring& arguments)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    SString outPath = SString(temp) + L"tw-agent-out.txt";
    SString errPath = SString(temp) + L"tw-agent-err.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    AgentRun run;
    {
        SFile out(::CreateFileW(outPath.CStr(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0, NULL));
        SFile err(::CreateFileW(errPath.CStr(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0, NULL));
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.Get();
        startup.hStdError = err.Get();
        SString command = L"\"" + program + L"\\TW.Update.exe\" " + arguments.c_str() + L" \"/Log=" + temp +
                          L"tw-agent.log\"";
        std::vector<wchar_t> line(command.CStr(), command.CStr() + command.Length() + 1);
        PROCESS_INFORMATION process = {};
        if (!::CreateProcessW(NULL, &line[0], NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL, &startup, &process))
            return run;
        ::WaitForSingleObject(process.hProcess, 120000);
        ::GetExitCodeProcess(process.hProcess, &run.code);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    run.out = ReadShared(outPath);
    run.err = ReadShared(errPath);
    return run;
}

std::wstring InstalledVersion(const InstallPlace& place)
{
    SString version;
    GetValue(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName), L"DisplayVersion", version);
    return version.CStr();
}

ULONGLONG FileBytes(const SString& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path.CStr(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Ends every process of the application, such as the one the update started.
void EndApplication()
{
    SKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry))
    {
        if (lstrcmpiW(entry.szExeFile, L"TW.3D.Modeller.exe") != 0)
            continue;
        SKernelHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        ::TerminateProcess(process.Get(), 0);
        ::WaitForSingleObject(process.Get(), 10000);
    }
}

} // namespace

class UpdateAgentTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!TestPeer::Get().Available())
            return;
        s_proxy = new ProxyScope(TestPeer::Get());
        s_place.Clear();
        s_before = MachineSnapshot().Take();
        ::CreateDirectoryW(FilesFolder().CStr(), NULL);
        ::CreateDirectoryW((SString(TW_TEST_DATA) + L"\\www\\feeds").CStr(), NULL);
        const Settings noStart = {{L"StartAtEnd", L"false"}};
        s_setupV1 = MakeSetupVariant(L"AgentV1", TestPack(L"AgentV1"), noStart);
        // The variants lose the build's signature; the peer signs them again
        // as the publisher would, all but one.
        SString v2 = MakeSetupVariant(L"AgentV2", TestPack(L"AgentV2"), noStart);
        ::CopyFileW(v2.CStr(), (FilesFolder() + L"\\Unsigned2.exe").CStr(), FALSE);
        ::CopyFileW(v2.CStr(), (FilesFolder() + L"\\Setup2.exe").CStr(), FALSE);
        ::CopyFileW(MakeSetupVariant(L"AgentV19", TestPack(L"AgentV19"), noStart).CStr(),
                    (FilesFolder() + L"\\Setup19.exe").CStr(), FALSE);
        AskPeer(L"/sign-program/update/Setup2.exe");
        AskPeer(L"/sign-program/update/Setup19.exe");
        SetupProcess setup(s_setupV1, L"/Silent");
        s_installed = setup.WaitForExit(120000) == 0;
    }
    static void TearDownTestSuite()
    {
        EndApplication();
        if (s_installed)
        {
            // The agent, the feed it kept and the setup programs it fetched
            // go with the removal, as every other file of the install.
            EXPECT_EQ(0u, RemoveInstall(s_place.programFolder, L"/Silent"));
            EXPECT_EQ(s_before, MachineSnapshot().Take());
        }
        s_place.Clear();
        delete s_proxy;
    }
    void SetUp() override
    {
        if (!TestPeer::Get().Available())
            GTEST_SKIP() << "no test server (run through ./tw test)";
        ASSERT_TRUE(s_installed) << "version 1.0.0 could not be installed";
        AskPeer(L"/reset");
    }

    typedef std::vector<std::pair<std::wstring, std::wstring> > Settings;
    static ProxyScope* s_proxy;
    static std::string s_before; // the machine before the first install
    static InstallPlace s_place;
    static SString s_setupV1;
    static bool s_installed;
};
ProxyScope* UpdateAgentTest::s_proxy = NULL;
std::string UpdateAgentTest::s_before;
InstallPlace UpdateAgentTest::s_place;
SString UpdateAgentTest::s_setupV1;
bool UpdateAgentTest::s_installed = false;

// Each attack is refused with its own identifier before anything changes:
// no setup program is kept or started, the installed version stays, and
// nothing is fetched past the feed, or past the setup program where it is
// the setup program that is wrong.
TEST_F(UpdateAgentTest, AttacksAreRefusedWithNothingChanged)
{
    const std::wstring product = s_place.keyName.CStr();
    Feed good;
    good.product = product;
    struct Attack
    {
        const char* what;
        Feed feed;
        const char* identifier;
        bool setupFetched;
        void (*tamper)();
    };
    Feed otherKey = good, otherProduct = good, expired = good, older = good, otherSetup = good, toHttp = good,
         unsignedSetup = good;
    otherKey.key = L"b";
    otherProduct.product = L"Larkspur_Stable";
    expired.expires = L"0";
    older.version = L"0.9.0";
    otherSetup.setup = L"Setup19.exe";
    toHttp.url = g_site + L"/fault/redirect-http/setup/update/Setup2.exe";
    unsignedSetup.setup = L"Unsigned2.exe";
    unsignedSetup.url = g_site + L"/fault/record/setup/update/Unsigned2.exe";
    const Attack attacks[] = {
        {"signed with another key", otherKey, "Update.FeedSignature", false, NULL},
        {"one byte changed", good, "Update.FeedSignature", false,
         [] {
             std::string feed = TestFolder::ReadFile(FeedPath());
             feed[feed.find("version 2.0.0") + 8] = '3';
             TestFolder::WritePath(FeedPath(), feed);
         }},
        {"another product", otherProduct, "Update.FeedProduct", false, NULL},
        {"expired", expired, "Update.FeedExpired", false, NULL},
        {"older than installed (a replayed feed)", older, "Update.FeedOlder", false, NULL},
        {"over 64 KiB", good, "Update.FeedTooLarge", false,
         [] { TestFolder::WritePath(FeedPath(), TestFolder::ReadFile(FeedPath()) + std::string(65536, '#')); }},
        {"a setup program with another digest", otherSetup, "Update.SetupDigest", true, NULL},
        {"a setup URL that redirects to http://", toHttp, "OpenURL.Redirect", true, NULL},
        {"a setup program the publisher did not sign", unsignedSetup, "Update.SetupSigner", true, NULL},
    };
    SString program = s_place.programFolder + L"\\TW.3D.Modeller.exe";
    ULONGLONG before = FileBytes(program);
    for (const Attack& attack : attacks)
    {
        AskPeer(L"/reset");
        Publish(attack.feed);
        if (attack.tamper)
            attack.tamper();
        AgentRun run = RunAgent(s_place.programFolder, L"/Apply");
        EXPECT_EQ(1u, run.code) << attack.what;
        EXPECT_EQ(0u, run.err.find(attack.identifier)) << attack.what << ": " << run.err;
        EXPECT_EQ(L"1.0.0", InstalledVersion(s_place)) << attack.what;
        EXPECT_EQ(before, FileBytes(program)) << attack.what;
        EXPECT_FALSE(TestFolder::Exists(s_place.dataFolder + L"\\Update\\Setup 2.0.0.exe")) << attack.what;
        EXPECT_EQ(attack.setupFetched, Recorded(L"setup") != "[]") << attack.what;
        EXPECT_EQ("[]", Recorded(L"agent-2.0.0")) << attack.what;
    }
}

// The update mode killed while it waits for the application: the installed
// version still works, and the next run deletes what was staged.
TEST_F(UpdateAgentTest, AKillWhileWaitingChangesNothingAndTheNextRunClearsTheStagedFiles)
{
    SString program = s_place.programFolder + L"\\TW.3D.Modeller.exe";
    SString staged = s_place.dataFolder + L"\\Update\\Staged\\0.staged";
    SetupProcess application(program, L"");
    {
        SetupProcess update(FilesFolder() + L"\\Setup2.exe",
                            (L"/Silent /Update /WaitForPid=" + std::to_wstring(application.Id())).c_str());
        ASSERT_TRUE(WaitFor([&] { return FileBytes(staged) == 29015560; }, 120000));
        update.Kill();
    }
    application.Kill();
    EXPECT_EQ(L"1.0.0", InstalledVersion(s_place));
    EXPECT_EQ(29011464u, FileBytes(program));
    SetupProcess again(s_setupV1, L"/Silent");
    EXPECT_EQ(0u, again.WaitForExit(120000));
    EXPECT_FALSE(TestFolder::Exists(staged));
}

// v1 runs; the agent stages v2 while it does; v2 is placed once it has
// exited, and starts. An unchanged feed then costs a 304. Last, the publisher
// withdraws 2.0.0, and the feed's 1.9.0 replaces it.
TEST_F(UpdateAgentTest, UpdateWhileTheApplicationRunsThenAWithdrawnVersionGoesBack)
{
    Feed v2;
    v2.product = s_place.keyName.CStr();
    v2.url = g_site + L"/files/update/Setup2.exe";
    Publish(v2);
    SString program = s_place.programFolder + L"\\TW.3D.Modeller.exe";
    SString started = s_place.programFolder + L"\\StartedWith.txt";
    SetupProcess application(program, L"");
    ASSERT_TRUE(WaitFor([&] { return TestFolder::Exists(started); }));

    AgentRun check = RunAgent(s_place.programFolder, L"/Check");
    EXPECT_EQ(2u, check.code) << check.err;
    EXPECT_EQ("update 2.0.0\n", check.out);
    AgentRun apply =
        RunAgent(s_place.programFolder, L"/Apply /Restart /WaitForPid=" + std::to_wstring(application.Id()));
    ASSERT_EQ(0u, apply.code) << apply.err;
    SString staged = s_place.dataFolder + L"\\Update\\Staged\\0.staged";
    ASSERT_TRUE(WaitFor([&] { return FileBytes(staged) == 29015560; }, 120000));
    ::Sleep(500);
    EXPECT_EQ(29011464u, FileBytes(program)) << "nothing is placed while the application runs";
    EXPECT_EQ(L"1.0.0", InstalledVersion(s_place));

    ::DeleteFileW(started.CStr()); // the application's record of its start, written again by the new one
    application.Kill();
    ASSERT_TRUE(WaitFor([&] { return InstalledVersion(s_place) == L"2.0.0"; }, 120000));
    EXPECT_EQ(29015560u, FileBytes(program));
    EXPECT_TRUE(WaitFor([&] { return TestFolder::Exists(started); })) << "the new version did not start";
    EXPECT_NE("[]", Recorded(L"agent-2.0.0")) << "the update fetched no ranges";

    AskPeer(L"/reset");
    AgentRun current = RunAgent(s_place.programFolder, L"/Check");
    EXPECT_EQ(0u, current.code) << current.err;
    EXPECT_EQ("current 2.0.0\n", current.out);
    std::string asked = Recorded(L"feed");
    EXPECT_NE(std::string::npos, asked.find("\"bytes\": 0")) << asked;
    EXPECT_EQ(std::string::npos, asked.find("\"if-none-match\": \"\"")) << asked;
    // A kept copy that no longer verifies is asked for anew, whole.
    SString kept = s_place.dataFolder + L"\\Update\\last.feed";
    std::string damaged = TestFolder::ReadFile(kept);
    damaged[damaged.size() / 2] ^= 1;
    TestFolder::WritePath(kept, damaged);
    AskPeer(L"/reset");
    AgentRun again = RunAgent(s_place.programFolder, L"/Check");
    EXPECT_EQ(0u, again.code) << again.err;
    EXPECT_NE(std::string::npos, Recorded(L"feed").find("\"if-none-match\": \"\"")) << "no whole request";

    Feed back = v2;
    back.version = L"1.9.0";
    back.setup = L"Setup19.exe";
    back.url = g_site + L"/files/update/Setup19.exe";
    back.withdrawn = L"2.0.0";
    Publish(back);
    EndApplication();
    AgentRun withdraw = RunAgent(s_place.programFolder, L"/Apply");
    ASSERT_EQ(0u, withdraw.code) << withdraw.err;
    EXPECT_TRUE(WaitFor([&] { return InstalledVersion(s_place) == L"1.9.0"; }, 120000));
    EXPECT_TRUE(WaitFor([&] { return FileBytes(program) == 29011464; }));
}
