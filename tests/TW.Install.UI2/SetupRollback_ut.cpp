// The real setup program as a transaction: a reinstall that fails, a window
// closed during the download, a setup killed while it writes. Each compares
// the machine with a snapshot taken before.
#include "SNls.h"
#include "SetupIds.h"
#include "SHttpClient.h"

#include <gtest/gtest.h>

#include "MachineSnapshot.h"
#include "SetupDriver.h"
#include "TW.Install/PeerInstallTest.h"

namespace
{
typedef std::vector<std::pair<std::wstring, std::wstring> > Settings;

const Settings g_finishAtEnd = {{L"StartAtEnd", L"false"}};

class SetupRollbackTest : public PeerInstallTest
{
protected:
    void SetUp() override
    {
        PeerInstallTest::SetUp();
        if (!IsSkipped())
            Tell(L"/reset");
    }

    // Tells the server to release (or reset) the held downloads.
    static void Tell(const wchar_t* what)
    {
        BYTE* body = NULL;
        DWORD size = 0;
        OpenURL(TestPeer::Get().Http(what).c_str(), SStringList(), &body, &size, NULL, NULL);
        free(body);
    }

    static DWORD RunSilent(const wchar_t* name, const wchar_t* pack)
    {
        SetupProcess setup(MakeSetupVariant(name, TestPack(pack), g_finishAtEnd), L"/Silent");
        return setup.WaitForExit();
    }

    // The installed program made another than the package's, as an older
    // version would be: a reinstall downloads it again instead of keeping it.
    void OutdateProgram() const
    {
        SString path = place.programFolder + L"\\TW.3D.Modeller.exe";
        TestFolder::WritePath(path, TestFolder::ReadFile(path) + "older");
    }

    void ExpectNoLeftovers() const
    {
        for (const SString& folder : {GetLocalAppDataFolder(), GetLocalAppDataLowFolder()})
            EXPECT_TRUE(MachineSnapshot::Leftovers(folder).empty()) << MachineSnapshot::Leftovers(folder)[0];
    }

    // The frame, once the install is in its held download.
    static HWND WaitForTheDownload(SetupProcess& setup)
    {
        std::wstring title = GetNLS(L"Application.Title").CStr();
        HWND frame = NULL;
        if (!WaitFor([&]() { return (frame = setup.FindWindowCaptioned(title)) != NULL; }))
            return NULL;
        HWND status = ::GetDlgItem(FindPage(frame, IDC_INSTALL_TITLE), IDC_STATUS);
        return WaitFor([&]() { return WindowText(status) == GetNLS(L"Install.Copy").CStr(); }) ? frame : NULL;
    }

    // Closes the frame during the held download (by default as the caption's
    // close button or Alt+F4 do) and answers the question.
    void CloseDuringTheDownloadAndAnswer(SetupProcess& setup, int answer, UINT message = WM_CLOSE, WPARAM wParam = 0)
    {
        std::wstring title = GetNLS(L"Application.Title").CStr();
        HWND frame = WaitForTheDownload(setup);
        ASSERT_TRUE(frame != NULL);
        ::PostMessageW(frame, message, wParam, 0);
        HWND question = NULL;
        ASSERT_TRUE(WaitFor([&]() { return (question = setup.FindWindowCaptioned(title, frame)) != NULL; }));
        EXPECT_EQ(std::wstring(GetNLS(L"Install.CancelQuestion").CStr()), MessageBoxText(question));
        Click(::GetDlgItem(question, answer));
        ASSERT_TRUE(WaitFor([&]() { return !::IsWindow(question); }));
        Tell(L"/unhold/ui");
    }
};
} // namespace

// A reinstall whose download is missing, and one that meets a data file in
// use: each leaves the previous install byte for byte, and it still removes.
TEST_F(SetupRollbackTest, FailedReinstallsLeaveThePreviousInstallWorking)
{
    MachineSnapshot snapshot;
    std::string clean = snapshot.Take();
    ASSERT_EQ(0u, RunSilent(L"First", L"UiDownload"));
    OutdateProgram();
    std::string installed = snapshot.Take();

    EXPECT_EQ(1u, RunSilent(L"Missing", L"UiMissing"));
    EXPECT_EQ(installed, snapshot.Take());
    {
        SFile held(::CreateFileW((place.dataFolder + L"\\Icons\\Icon.ico").CStr(), GENERIC_READ, 0, NULL, OPEN_EXISTING,
                                 0, NULL));
        ASSERT_TRUE(held.IsValid());
        EXPECT_EQ(32u, RunSilent(L"Blocked", L"UiDownload")); // a file of the install in use
    }
    EXPECT_EQ(installed, snapshot.Take());
    ExpectNoLeftovers();

    EXPECT_EQ(0u, RemoveInstall(place.programFolder, L"/Silent"));
    EXPECT_EQ(clean, snapshot.Take());
}

// Closing the window, or a Cancel command (Esc, automation), asks; Yes rolls
// back and ends with 1602, the code for the user's own cancel.
TEST_F(SetupRollbackTest, ClosingTheWindowAndAnsweringYesRollsBack)
{
    MachineSnapshot snapshot;
    std::string clean = snapshot.Take();
    for (WPARAM command : {WPARAM(0), WPARAM(IDCANCEL)})
    {
        SCOPED_TRACE(command);
        Tell(L"/reset");
        SetupProcess setup(MakeSetupVariant(L"CloseYes", TestPack(L"UiHold"), g_finishAtEnd), L"");
        CloseDuringTheDownloadAndAnswer(setup, IDYES, command ? WM_COMMAND : WM_CLOSE, command);
        EXPECT_EQ(1602u, setup.WaitForExit());
        EXPECT_EQ(clean, snapshot.Take());
    }
}

// No carries on; on the finished page closing the window asks nothing and
// ends with 0, as it always did.
TEST_F(SetupRollbackTest, ClosingTheWindowAndAnsweringNoCarriesOn)
{
    SetupProcess setup(MakeSetupVariant(L"CloseNo", TestPack(L"UiHold"), g_finishAtEnd), L"");
    CloseDuringTheDownloadAndAnswer(setup, IDNO);
    std::wstring title = GetNLS(L"Application.Title").CStr();
    HWND frame = setup.FindWindowCaptioned(title);
    HWND finished = FindPage(frame, IDC_LAST_TITLE);
    ASSERT_TRUE(WaitFor([&]() { return ::IsWindowVisible(finished) != FALSE; }));
    ::PostMessageW(frame, WM_CLOSE, 0, 0); // a question here would keep the program from ending
    EXPECT_EQ(0u, setup.WaitForExit());
    EXPECT_TRUE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe"));
    EXPECT_TRUE(TestFolder::Exists(place.programFolder + L"\\Uninstall"));
}

// Killed while the reinstall writes the program: the working program is never
// touched, and the next run of the same setup rolls the interrupted install
// back and installs.
TEST_F(SetupRollbackTest, KilledReinstallIsRecoveredByTheNextRun)
{
    MachineSnapshot snapshot;
    std::string clean = snapshot.Take();
    ASSERT_EQ(0u, RunSilent(L"First", L"UiDownload"));
    OutdateProgram();
    SString programPath = place.programFolder + L"\\TW.3D.Modeller.exe";
    std::string program = TestFolder::ReadFile(programPath);
    DWORD type = 0;
    std::string size;
    ASSERT_TRUE(ReadRawValue(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName), L"EstimatedSize", type, size));

    SetupProcess reinstall(MakeSetupVariant(L"Held", TestPack(L"UiHeldReinstall"), g_finishAtEnd), L"/Silent");
    SString staging = programPath + L".partial";
    ASSERT_TRUE(WaitFor([&]() {
        WIN32_FILE_ATTRIBUTE_DATA data = {}; // the writer shares it with nobody
        return ::GetFileAttributesExW(staging.CStr(), GetFileExInfoStandard, &data) && data.nFileSizeLow > 0;
    }));
    ASSERT_TRUE(TestFolder::Exists(place.programFolder + L"\\Killed.txt"));
    reinstall.Kill();
    Tell(L"/unhold/kill");
    EXPECT_TRUE(TestFolder::Exists(place.programFolder + L".journal"));
    EXPECT_TRUE(program == TestFolder::ReadFile(programPath)) << "the working program was changed";

    ASSERT_EQ(0u, RunSilent(L"Again", L"UiHeldReinstall"));
    EXPECT_TRUE(TestFolder::ReadFile(BinFolder() + L"\\TW.3D.Modeller.exe") == TestFolder::ReadFile(programPath));
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L".journal"));
    ExpectNoLeftovers();
    // The previous files that the reinstall kept until its commit are not
    // part of the size, which grows only by the small file of this package.
    std::string sizeAgain;
    ASSERT_TRUE(ReadRawValue(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName), L"EstimatedSize", type, sizeAgain));
    EXPECT_LE(*reinterpret_cast<const DWORD*>(sizeAgain.data()) - *reinterpret_cast<const DWORD*>(size.data()), 1u);
    EXPECT_EQ(0u, RemoveInstall(place.programFolder, L"/Silent"));
    EXPECT_EQ(clean, snapshot.Take());
}

// A reinstall while the application runs changes nothing: a running program
// would be moved aside and stay there. Silently it ends with 32, the code for
// files in use.
TEST_F(SetupRollbackTest, ReinstallWhileTheApplicationRunsChangesNothing)
{
    ASSERT_EQ(0u, RunSilent(L"First", L"UiDownload"));
    SetupProcess application(place.programFolder + L"\\TW.3D.Modeller.exe", L"/UI Local");
    ASSERT_TRUE(WaitFor([&]() { return application.FindWindowCaptioned(L"Tarnwick 3D Modeller") != NULL; }));
    MachineSnapshot snapshot;
    std::string installed = snapshot.Take();
    TestFolder logs(L"InUseLog");
    SString log = logs / L"setup.txt";
    SetupProcess again(MakeSetupVariant(L"Again", TestPack(L"UiDownload"), g_finishAtEnd),
                       (L"/Silent /Log=" + log).CStr());
    EXPECT_EQ(32u, again.WaitForExit());
    EXPECT_EQ(installed, snapshot.Take());
    std::string text = TestFolder::ReadFile(log);
    EXPECT_NE(std::string::npos, text.find("Install.InUse")) << text;
    EXPECT_NE(std::string::npos, text.find("TW.3D.Modeller.exe")) << text;
    application.Kill();
}

// A second setup of the same install while the first holds its download
// ends with 1618, the code for another install in progress.
TEST_F(SetupRollbackTest, SecondSetupWhileOneRunsEndsWith1618)
{
    Tell(L"/reset");
    SetupProcess first(MakeSetupVariant(L"First", TestPack(L"UiHold"), g_finishAtEnd), L"");
    ASSERT_TRUE(WaitForTheDownload(first) != NULL);
    EXPECT_EQ(1618u, RunSilent(L"Second", L"UiHold"));
    Tell(L"/unhold/ui");
    HWND finished = FindPage(first.FindWindowCaptioned(GetNLS(L"Application.Title").CStr()), IDC_LAST_TITLE);
    ASSERT_TRUE(WaitFor([&]() { return ::IsWindowVisible(finished) != FALSE; }));
    ::PostMessageW(first.FindWindowCaptioned(GetNLS(L"Application.Title").CStr()), WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, first.WaitForExit());
}
