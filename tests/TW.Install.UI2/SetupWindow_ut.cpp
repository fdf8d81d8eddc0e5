// The setup program's window and silent mode, driven from outside.
#include "InstallThread.h"
#include "SNls.h"
#include "SetupIds.h"
#include "SetupWindow.h"
#include "SHttpClient.h"

#include <commctrl.h>

#include <memory>

#include <gtest/gtest.h>

#include "MachineSnapshot.h"
#include "SetupDriver.h"
#include "TestPeer.h"

namespace
{
typedef std::vector<std::pair<std::wstring, std::wstring> > Settings;

const Settings g_finishAtEnd = {{L"StartAtEnd", L"false"}};
const Settings g_startAtEnd = {{L"StartAtEnd", L"true"}, {L"ShortcutArgs", L"/UI Local /Quiet"}};

class SetupWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::CoInitialize(NULL);
        place.Clear();
    }
    void TearDown() override { place.Clear(); }

    HWND WaitForFrame(SetupProcess& setup)
    {
        HWND frame = NULL;
        WaitFor([&]() { return (frame = setup.FindWindowCaptioned(GetNLS(L"Application.Title").CStr())) != NULL; });
        return frame;
    }

    // Waits for the finished page, then checks what it shows.
    void ExpectFinishedPage(HWND frame, const wchar_t* button, const wchar_t* textKey)
    {
        HWND finished = FindPage(frame, IDC_LAST_TITLE);
        ASSERT_TRUE(finished != NULL);
        ASSERT_TRUE(WaitFor([&]() { return ::IsWindowVisible(finished) != FALSE; }));
        EXPECT_EQ(std::wstring(GetNLS(button).CStr()), WindowText(::GetDlgItem(frame, 1)));
        std::wstring text = WindowText(::GetDlgItem(finished, IDC_LAST_TEXT));
        EXPECT_EQ(std::wstring(WithLineBreaks(GetNLS(textKey)).CStr()), text);
        EXPECT_EQ(std::wstring::npos, text.find(L"\\n"));
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(frame, 1)));
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(frame, 2)));
    }

    InstallPlace place;
};
} // namespace

// Asks the server (to answer or start holding the held download, or what
// it recorded).
std::string Hold(const TestPeer& peer, const wchar_t* what)
{
    BYTE* body = NULL;
    DWORD size = 0;
    OpenURL(peer.Http(what).c_str(), SStringList(), &body, &size, NULL, NULL);
    std::string text(body ? reinterpret_cast<const char*>(body) : "", body ? size : 0);
    free(body);
    return text;
}

TEST_F(SetupWindowTest, InstallsWhileShowingProgressThenWaitsForFinish)
{
    const TestPeer& peer = TestPeer::Get();
    if (!peer.Available())
        GTEST_SKIP() << "no test server (run through ./tw test)";
    ProxyScope proxy(peer);
    Hold(peer, L"/reset");
    SetupProcess setup(MakeSetupVariant(L"Hold", TestPack(L"UiHold"), g_finishAtEnd), L"");
    HWND frame = WaitForFrame(setup);
    ASSERT_TRUE(frame != NULL);

    HWND installing = FindPage(frame, IDC_INSTALL_TITLE);
    ASSERT_TRUE(installing != NULL);
    EXPECT_TRUE(::IsWindowVisible(installing));
    EXPECT_EQ(std::wstring(GetNLS(L"Install.Title").CStr()), WindowText(::GetDlgItem(installing, IDC_INSTALL_TITLE)));
    EXPECT_EQ(std::wstring(GetNLS(L"Install.Text").CStr()), WindowText(::GetDlgItem(installing, IDC_INSTALL_TEXT)));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(frame, 1)));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(frame, 2)));
    // The download is under way: the status line shows the copy text.
    HWND status = ::GetDlgItem(installing, IDC_STATUS);
    EXPECT_TRUE(WaitFor([&]() { return WindowText(status) == GetNLS(L"Install.Copy").CStr(); }));
    // The frame sits in the middle of the desktop.
    RECT desktop, window;
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    ::GetWindowRect(frame, &window);
    EXPECT_NEAR((desktop.right - desktop.left) / 2, (window.left + window.right) / 2, 1);
    EXPECT_NEAR((desktop.bottom - desktop.top) / 2, (window.top + window.bottom) / 2, 1);

    Hold(peer, L"/unhold/ui");
    ExpectFinishedPage(frame, L"Finish", L"Last.Text");
    EXPECT_EQ(256, ::SendMessageW(::GetDlgItem(installing, IDC_PROGRESS), PBM_GETPOS, 0, 0));
    Click(::GetDlgItem(frame, 1));
    EXPECT_EQ(0u, setup.WaitForExit());
    EXPECT_TRUE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe"));
    EXPECT_TRUE(TestFolder::Exists(place.programFolder + L"\\Uninstall"));
}

// A proxy that asks for credentials: the window mode asks the user with the
// system's dialog and sends the request again with what was typed.
TEST_F(SetupWindowTest, ProxySignInAsksTheUserAndResends)
{
    const TestPeer& peer = TestPeer::Get();
    if (!peer.Available())
        GTEST_SKIP() << "no test server (run through ./tw test)";
    std::unique_ptr<ProxyScope> proxy(new ProxyScope(peer.authProxy));
    SString program = MakeSetupVariant(L"SignIn", TestPack(L"DownloadApp"), g_finishAtEnd);
    // Silent: nobody to ask, so the install fails at once.
    TestFolder logs(L"SignInLog");
    SString log = logs / L"silent.txt";
    SetupProcess silent(program, (L"/Silent /Log=" + log).CStr());
    EXPECT_EQ(1u, silent.WaitForExit(20000));
    EXPECT_NE(std::string::npos, TestFolder::ReadFile(log).find("failed: OpenURL.ProxyAuthentication"))
        << TestFolder::ReadFile(log);
    place.Clear();

    SetupProcess setup(program, L"");
    HWND frame = WaitForFrame(setup);
    ASSERT_TRUE(frame != NULL);
    // The sign-in dialog: the window of the setup program that holds two edit
    // fields (under Wine it may be a child of the frame). A wrong password
    // brings it back; the proxy checks every request.
    auto signIn = [&](const wchar_t* password) {
        HWND dialog = NULL;
        std::vector<HWND> edits;
        bool shown = WaitFor([&]() {
            edits.clear();
            VisitWindows(NULL, [&](HWND window) {
                DWORD owner = 0;
                ::GetWindowThreadProcessId(window, &owner);
                if (owner != setup.Id() || !::IsWindowVisible(window))
                    return true;
                VisitWindows(window, [&](HWND child) {
                    wchar_t name[16] = {0};
                    ::GetClassNameW(child, name, 16);
                    if (lstrcmpiW(name, L"Edit") == 0 && ::IsWindowVisible(child))
                        edits.push_back(child);
                    return true;
                });
                return edits.size() < 2;
            });
            dialog = edits.size() >= 2 ? ::GetParent(edits[0]) : NULL;
            return dialog != NULL;
        });
        if (!shown)
            return false;
        ::SendMessageW(edits[0], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"proxyuser"));
        ::SendMessageW(edits[1], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(password));
        Click(::GetDlgItem(dialog, IDOK));
        return WaitFor([&]() { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); });
    };
    ASSERT_TRUE(signIn(L"wrong"));
    ASSERT_TRUE(signIn(L"proxypass"));
    ExpectFinishedPage(frame, L"Finish", L"Last.Text");
    Click(::GetDlgItem(frame, 1));
    EXPECT_EQ(0u, setup.WaitForExit());
    EXPECT_TRUE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe"));
    // Every request went through the tunnel: none reached the proxy in plain text.
    proxy.reset();
    EXPECT_EQ("[]", Hold(peer, L"/faults/authproxy-plain"));
    // The credentials stay in memory: nothing the setup program wrote holds them.
    for (const SString& file : {place.programFolder + L"\\Uninstall", place.programFolder + L"\\.deployment"})
        EXPECT_EQ(std::string::npos, TestFolder::ReadFile(file).find("proxypass"));
}

TEST_F(SetupWindowTest, StartAtEndStartsTheApplicationWithTheStartCommand)
{
    SetupProcess setup(MakeSetupVariant(L"Start", TestPack(L"UiApp"), g_startAtEnd), L"");
    EXPECT_EQ(0u, setup.WaitForExit());
    SString program = place.programFolder + L"\\TW.3D.Modeller.exe";
    SString log = place.programFolder + L"\\StartedWith.txt";
    ASSERT_TRUE(WaitFor([&]() { return TestFolder::Exists(log); }));
    EXPECT_EQ(ToNarrow(L"\"" + program + L"\" /UI Local /Quiet") + "\r\n", TestFolder::ReadFile(log));
}

TEST_F(SetupWindowTest, FailureOffersRetryAndCancel)
{
    // A folder where the icon belongs makes the first attempt fail.
    SString blocked = place.dataFolder + L"\\Icons\\Icon.ico";
    CreateDir(blocked);
    SetupProcess setup(MakeSetupVariant(L"Retry", TestPack(L"UiApp"), g_finishAtEnd), L"");
    HWND box = NULL;
    ASSERT_TRUE(WaitFor([&]() { return (box = setup.FindWindowCaptioned(GetNLS(L"Install.Failed").CStr())) != NULL; }));
    std::wstring text = MessageBoxText(box);
    EXPECT_EQ(L"CreateFile", text.substr(0, text.find(L'\n'))) << text;
    EXPECT_NE(std::wstring::npos, text.find(blocked.CStr()));
    // Rolled back before the question: Retry starts from a clean machine.
    EXPECT_FALSE(TestFolder::Exists(place.programFolder));

    ::RemoveDirectoryW(blocked.CStr());
    Click(::GetDlgItem(box, IDRETRY));
    HWND frame = WaitForFrame(setup);
    ASSERT_TRUE(frame != NULL);
    ExpectFinishedPage(frame, L"Finish", L"Last.Text");
    Click(::GetDlgItem(frame, 1));
    EXPECT_EQ(0u, setup.WaitForExit());
    EXPECT_EQ("ICON", TestFolder::ReadFile(blocked));
}

TEST_F(SetupWindowTest, CancelAfterFailureExitsWithOneAndLeavesNothing)
{
    MachineSnapshot snapshot;
    std::string clean = snapshot.Take();
    SetupProcess setup(MakeSetupVariant(L"Cancel", TestPack(L"UiUnreachable"), g_finishAtEnd), L"");
    HWND box = NULL;
    ASSERT_TRUE(WaitFor([&]() { return (box = setup.FindWindowCaptioned(GetNLS(L"Install.Failed").CStr())) != NULL; }));
    std::wstring text = MessageBoxText(box);
    EXPECT_EQ(L"OpenURL.HttpSendRequest", text.substr(0, text.find(L'\n'))) << text;
    Click(::GetDlgItem(box, IDCANCEL));
    EXPECT_EQ(1u, setup.WaitForExit());
    EXPECT_EQ(clean, snapshot.Take());
}

TEST_F(SetupWindowTest, SilentAnywhereInTheCommandLine)
{
    SString program = MakeSetupVariant(L"Silent", TestPack(L"UiApp"), g_finishAtEnd);
    for (const wchar_t* arguments : {L"/Silent", L"-x x/Silenty"})
    {
        place.Clear();
        SetupProcess setup(program, arguments);
        EXPECT_EQ(0u, setup.WaitForExit()) << arguments;
        EXPECT_TRUE(TestFolder::Exists(place.programFolder + L"\\Uninstall")) << arguments;
    }
    SetupProcess failing(MakeSetupVariant(L"SilentFail", TestPack(L"UiUnreachable"), g_finishAtEnd), L"/Silent");
    EXPECT_EQ(1u, failing.WaitForExit()); // deployment tools see the failure
}

TEST_F(SetupWindowTest, LowerCaseSwitchShowsTheWindow)
{
    SetupProcess setup(MakeSetupVariant(L"Lower", TestPack(L"UiApp"), g_finishAtEnd), L"/silent");
    HWND frame = WaitForFrame(setup);
    ASSERT_TRUE(frame != NULL);
    ExpectFinishedPage(frame, L"Finish", L"Last.Text");
    Click(::GetDlgItem(frame, 1));
    EXPECT_EQ(0u, setup.WaitForExit());
}

// Declared aware of every monitor's DPI, the window is laid out for the
// screen's DPI rather than drawn at 96 and stretched: at 144 DPI the frame
// grows with its font (dialog units follow the font's metrics, so not exactly
// by half), and the icon is the system's icon size for that DPI.
TEST_F(SetupWindowTest, LaysOutForTheScreensDpi)
{
    SString program = MakeSetupVariant(L"Dpi", TestPack(L"UiApp"), g_finishAtEnd);
    const wchar_t* desktop = L"Control Panel\\Desktop";
    DWORD saved = 96;
    DWORD size = sizeof(saved);
    ::RegGetValueW(HKEY_CURRENT_USER, desktop, L"LogPixels", RRF_RT_REG_DWORD, NULL, &saved, &size);
    SIZE frames[2] = {}, icons[2] = {};
    const DWORD dpis[2] = {96, 144};
    for (int i = 0; i < 2; ++i)
    {
        SetValue(HKEY_CURRENT_USER, desktop, L"LogPixels", dpis[i]);
        place.Clear();
        SetupProcess setup(program, L"");
        HWND frame = WaitForFrame(setup);
        ASSERT_TRUE(frame != NULL);
        HWND finished = FindPage(frame, IDC_LAST_TITLE);
        ASSERT_TRUE(WaitFor([&]() { return ::IsWindowVisible(finished) != FALSE; }));
        RECT client = {};
        ::GetClientRect(frame, &client);
        frames[i] = {client.right, client.bottom};
        VisitWindows(finished, [&](HWND child) {
            if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
                return true;
            RECT icon = {};
            ::GetWindowRect(child, &icon);
            icons[i] = {icon.right - icon.left, icon.bottom - icon.top};
            return false;
        });
        Click(::GetDlgItem(frame, 1));
        EXPECT_EQ(0u, setup.WaitForExit());
    }
    SetValue(HKEY_CURRENT_USER, desktop, L"LogPixels", saved);
    EXPECT_LT(0, icons[0].cx);
    EXPECT_EQ(icons[0].cx * 3 / 2, icons[1].cx);
    EXPECT_EQ(icons[0].cy * 3 / 2, icons[1].cy);
    EXPECT_GT(frames[1].cx * 100, frames[0].cx * 135);
    EXPECT_LT(frames[1].cx * 100, frames[0].cx * 160);
    EXPECT_GT(frames[1].cy * 100, frames[0].cy * 135);
}

int CALLBACK CountFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM counter)
{
    ++*reinterpret_cast<int*>(counter);
    return 1;
}

// The Chinese table can be read: a font with Chinese glyphs is installed
// (without one, the installing page shows empty boxes).
TEST(SetupFonts, ChineseTextHasAFont)
{
    LOGFONTW wanted = {};
    wanted.lfCharSet = GB2312_CHARSET;
    int families = 0;
    HDC screen = ::GetDC(NULL);
    ::EnumFontFamiliesExW(screen, &wanted, CountFamily, reinterpret_cast<LPARAM>(&families), 0);
    ::ReleaseDC(NULL, screen);
    EXPECT_LT(0, families);
}
