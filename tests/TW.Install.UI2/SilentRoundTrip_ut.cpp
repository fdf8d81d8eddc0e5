// The real setup program installs silently and the installed remover takes
// everything away again.
#include "Names.h"
#include "SNls.h"
#include "SRegistry.h"

#include <gtest/gtest.h>

#include "MachineSnapshot.h"
#include "TestPeer.h"

#include "SetupDriver.h"

namespace
{
typedef std::vector<std::pair<std::wstring, std::wstring> > Settings;

// The undo actions of an "Uninstall" file, as the remover reads them.
std::vector<std::wstring> UndoActions(const SString& programFolder)
{
    std::string bytes = TestFolder::ReadFile(programFolder + L"\\Uninstall");
    std::vector<std::wstring> actions;
    size_t at = 4;
    while (at + 4 <= bytes.size())
    {
        DWORD length = *reinterpret_cast<const DWORD*>(bytes.data() + at);
        actions.push_back(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + at + 4), length));
        at += 4 + length * 2;
    }
    return actions;
}

// A value of the entry: its type and its text (a number as decimal).
std::pair<DWORD, std::wstring> EntryValue(HKEY root, const SString& key, const wchar_t* name)
{
    BYTE data[4096] = {0};
    DWORD type = 0, size = sizeof(data) - 2;
    if (::RegGetValueW(root, key.CStr(), name, RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS)
        return {0, L"<missing>"};
    if (type == REG_DWORD)
        return {type, std::to_wstring(*reinterpret_cast<DWORD*>(data))};
    return {type, reinterpret_cast<const wchar_t*>(data)};
}

ULONGLONG TreeBytes(const SString& folder)
{
    ULONGLONG total = 0;
    WIN32_FIND_DATAW entry = {};
    HANDLE find = ::FindFirstFileW((folder + L"\\*").CStr(), &entry);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &entry))
    {
        if (entry.cFileName[0] == L'.' && (!entry.cFileName[1] || (entry.cFileName[1] == L'.' && !entry.cFileName[2])))
            continue;
        total += (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? TreeBytes(folder + L"\\" + entry.cFileName)
                                                                      : entry.nFileSizeLow;
    }
    if (find != INVALID_HANDLE_VALUE)
        ::FindClose(find);
    return total;
}

std::string LogText(const SString& path) { return TestFolder::ReadFile(path); }

// The installer file of the winget manifest set that the build wrote.
std::string WingetInstallerManifest()
{
    WIN32_FIND_DATAW found = {};
    HANDLE find = ::FindFirstFileW((BinFolder() + L"\\winget\\*.installer.yaml").CStr(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return "<missing>";
    ::FindClose(find);
    return TestFolder::ReadFile(BinFolder() + L"\\winget\\" + found.cFileName);
}

bool Has(const std::string& text, const SString& part) { return text.find(ToNarrow(part)) != std::string::npos; }
} // namespace

// Tables whose DeploymentID is the placeholder install under the names
// without an identifier, and the remover, which reads the placeholder from
// ".deployment", finds those names.
TEST(SilentRoundTrip, PlaceholderDeploymentIsRemovedCompletely)
{
    SString channel = ReleaseChannel();
    SString suffix = InstanceSuffix(channel, false, SString());
    SString program = GetLocalAppDataFolder() + L"\\" + DefaultFolderName(suffix);
    SString data = GetLocalAppDataLowFolder() + L"\\" + DefaultFolderName(suffix);
    SString entry = UninstallEntryPath(UninstallKeyName(channel, SString()));
    const Settings settings = {{L"DeploymentID", L"%DEPLOYMENTID%"}, {L"StartAtEnd", L"false"}};
    SetupProcess setup(MakeSetupVariant(L"Placeholder", TestPack(L"UiPlaceholder"), settings), L"/Silent");
    ASSERT_EQ(0u, setup.WaitForExit());
    ASSERT_TRUE(TestFolder::Exists(program + L"\\.deployment"));
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, entry));
    ASSERT_TRUE(TestFolder::Exists(data));

    EXPECT_EQ(0u, RemoveInstall(program));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, entry));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DeploymentKeyPath(suffix)));
    EXPECT_FALSE(TestFolder::Exists(data));
    EXPECT_FALSE(TestFolder::Exists(program));
}

// A shortcut whose name the file system refuses is left out; the install
// completes, records no action for it, and still removes completely.
TEST(SilentRoundTrip, ShortcutThatCannotBeSavedDoesNotFailTheInstall)
{
    InstallPlace place;
    place.Clear();
    const Settings settings = {{L"ShortcutName", L"Bad:Name?<>"}, {L"CreateShortcut", L"true"},
                               {L"StartAtEnd", L"false"}};
    SetupProcess setup(MakeSetupVariant(L"BadShortcut", TestPack(L"UiApp"), settings), L"/Silent");
    ASSERT_EQ(0u, setup.WaitForExit());
    ASSERT_TRUE(TestFolder::Exists(place.programFolder + L"\\Uninstall"));
    for (const std::wstring& action : UndoActions(place.programFolder))
        EXPECT_EQ(std::wstring::npos, action.find(L"Bad:Name")) << action;
    EXPECT_FALSE(TestFolder::Exists(GetDesktopFolder() + L"\\Bad_Name___.lnk"));

    EXPECT_EQ(0u, RemoveInstall(place.programFolder));
    EXPECT_FALSE(TestFolder::Exists(place.programFolder));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName)));
}

// The entry tells inventory tools the version, the size, the date and how to
// remove quietly; the values it had before stay as they were.
TEST(SilentRoundTrip, EntryCarriesVersionSizeDateAndQuietRemoval)
{
    InstallPlace place;
    place.Clear();
    const Settings settings = {{L"StartAtEnd", L"false"}};
    SetupProcess setup(MakeSetupVariant(L"Entry", TestPack(L"UiApp"), settings), L"/Silent");
    ASSERT_EQ(0u, setup.WaitForExit());
    SString key = UninstallEntryPath(place.keyName);
    EXPECT_EQ(std::make_pair(DWORD(REG_SZ), std::wstring(TW_TEST_VERSION)), EntryValue(HKEY_CURRENT_USER, key, L"DisplayVersion"));
    ULONGLONG bytes = TreeBytes(place.programFolder) + TreeBytes(place.dataFolder);
    std::pair<DWORD, std::wstring> size = EntryValue(HKEY_CURRENT_USER, key, L"EstimatedSize");
    EXPECT_EQ(DWORD(REG_DWORD), size.first);
    EXPECT_EQ(std::to_wstring((bytes + 1023) / 1024), size.second);
    SYSTEMTIME today = {};
    ::GetLocalTime(&today);
    wchar_t date[16] = {0};
    ::wsprintfW(date, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    EXPECT_EQ(std::make_pair(DWORD(REG_SZ), std::wstring(date)), EntryValue(HKEY_CURRENT_USER, key, L"InstallDate"));
    std::wstring remover = L"\"" + std::wstring(place.programFolder.CStr()) + L"\\TW.Remover.exe\"";
    EXPECT_EQ(std::make_pair(DWORD(REG_SZ), remover + L" /Silent"),
              EntryValue(HKEY_CURRENT_USER, key, L"QuietUninstallString"));
    // The values that were there before keep their types and texts.
    EXPECT_EQ(std::make_pair(DWORD(REG_SZ), remover), EntryValue(HKEY_CURRENT_USER, key, L"UninstallString"));
    EXPECT_EQ(std::make_pair(DWORD(REG_DWORD), std::wstring(L"1")), EntryValue(HKEY_CURRENT_USER, key, L"NoModify"));
    EXPECT_EQ(std::make_pair(DWORD(REG_DWORD), std::wstring(L"1")), EntryValue(HKEY_CURRENT_USER, key, L"NoRepair"));
    for (const wchar_t* name : {L"Publisher", L"HelpLink", L"URLInfoAbout", L"URLUpdateInfo", L"Contact", L"Comments",
                                L"DisplayName", L"ProductName", L"DisplayIcon", L"InstallLocation"})
        EXPECT_EQ(DWORD(REG_SZ), EntryValue(HKEY_CURRENT_USER, key, name).first) << name;
    EXPECT_EQ(std::wstring(GetNLS(L"Publisher").CStr()), EntryValue(HKEY_CURRENT_USER, key, L"Publisher").second);
    // The winget manifest beside the setup program names this entry.
    std::string manifest = WingetInstallerManifest();
    EXPECT_NE(std::string::npos, manifest.find("ProductCode: '" + ToNarrow(place.keyName) + "'")) << manifest;
    for (const wchar_t* name : {L"DisplayName", L"Publisher"})
        EXPECT_NE(std::string::npos,
                  manifest.find(ToNarrow(name) + ": '" + ToNarrow(EntryValue(HKEY_CURRENT_USER, key, name).second.c_str()) +
                                "'"))
            << name;

    // The quiet command removes everything, and without "/Log" writes no log.
    wchar_t temp[MAX_PATH] = {0};
    ::GetTempPathW(MAX_PATH, temp);
    SString logs = SString(temp) + L"TW.Remover Log*.txt";
    WIN32_FIND_DATAW found = {};
    HANDLE before = ::FindFirstFileW(logs.CStr(), &found);
    if (before != INVALID_HANDLE_VALUE)
        ::FindClose(before);
    SetupProcess quiet(place.programFolder + L"\\TW.Remover.exe", L"/Silent");
    EXPECT_EQ(0u, quiet.WaitForExit());
    WaitFor([&]() { return !TestFolder::Exists(place.programFolder); });
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
    HANDLE after = ::FindFirstFileW(logs.CStr(), &found);
    EXPECT_TRUE(before != INVALID_HANDLE_VALUE || after == INVALID_HANDLE_VALUE);
    if (after != INVALID_HANDLE_VALUE)
        ::FindClose(after);
}

// "/Log=<path>" with "/Silent": what was made, where, and how it ended.
TEST(SilentRoundTrip, LogSaysWhatTheInstallDidAndHowItEnded)
{
    InstallPlace place;
    place.Clear();
    TestFolder logs(L"Logs");
    SString program = MakeSetupVariant(L"Logged", TestPack(L"UiApp"), {{L"StartAtEnd", L"false"}});
    SString success = logs / L"success log.txt";
    SetupProcess setup(program, (L"/Silent \"/Log=" + success + L"\"").CStr());
    ASSERT_EQ(0u, setup.WaitForExit());
    std::string text = LogText(success);
    EXPECT_TRUE(Has(text, L"program folder: " + place.programFolder)) << text;
    EXPECT_TRUE(Has(text, L"data folder: " + place.dataFolder));
    EXPECT_TRUE(Has(text, L"file: " + place.programFolder + L"\\TW.Remover.exe | "));
    EXPECT_TRUE(Has(text, L"registry value: HKEY_CURRENT_USER\\" + UninstallEntryPath(place.keyName) + L" | UninstallString | REG_SZ"));
    EXPECT_TRUE(Has(text, L"undo action recorded: UnregisterInstall"));
    EXPECT_TRUE(Has(text, L"succeeded\r\n"));
    EXPECT_TRUE(Has(text, L"exit code 0\r\n"));
    EXPECT_EQ(0u, text.find("20")); // every line starts with its time stamp

    // The remover's log lists what it removed; without "/Log" it writes none.
    SString removal = logs / L"removal log.txt";
    SetupProcess remover(place.programFolder + L"\\TW.Remover.exe", (L"/Log=\"" + removal + L"\"").CStr());
    EXPECT_EQ(0u, remover.WaitForExit());
    WaitFor([&]() { return !TestFolder::Exists(place.programFolder); });
    text = LogText(removal);
    EXPECT_TRUE(Has(text, L"action: UnregisterInstall | done")) << text;
    EXPECT_TRUE(Has(text, L"folder deleted: " + place.dataFolder));
    EXPECT_TRUE(Has(text, L"removal script written: "));

    // A data file blocked by a folder: the failure and exit code 1.
    place.Clear();
    CreateDir(place.dataFolder + L"\\Icons\\Icon.ico");
    SString failure = logs / L"failure.txt";
    SetupProcess failing(program, (L"/Log=" + failure + L" /Silent").CStr());
    ASSERT_EQ(1u, failing.WaitForExit());
    text = LogText(failure);
    EXPECT_TRUE(Has(text, L"failed: ")) << text;
    EXPECT_TRUE(Has(text, L"exit code 1\r\n"));
    place.Clear();
}

// A signed S3 install's log names the object, never the secret or the
// signature.
TEST(SilentRoundTrip, LogHoldsNoSecret)
{
    const TestPeer& peer = TestPeer::Get();
    if (!peer.Available())
        GTEST_SKIP() << "no test server (run through ./tw test)";
    ProxyScope proxy(peer);
    InstallPlace place;
    place.Clear();
    TestFolder logs(L"SecretLogs");
    SString log = logs / L"s3.txt";
    SetupProcess setup(MakeSetupVariant(L"S3Logged", TestPack(L"DownloadS3"), {{L"StartAtEnd", L"false"}}),
                       (L"/Silent /Log=" + log).CStr());
    ASSERT_EQ(0u, setup.WaitForExit());
    std::string text = LogText(log);
    EXPECT_TRUE(Has(text, L"download: https://tarnwick-test.s3.us-east-1.amazonaws.com/release/TW.3D.Modeller.body | HTTP 200")) << text;
    EXPECT_EQ(std::string::npos, text.find("secret123"));
    EXPECT_EQ(std::string::npos, text.find("Authorization"));
    EXPECT_EQ(std::string::npos, text.find("Signature="));
    EXPECT_EQ(std::string::npos, text.find("AWS4-HMAC"));
    place.Clear();
}

// "/Dir=" names the program folder, as a package's own explicit folder would:
// on a second drive it installs, is recorded per user, and the removal
// leaves nothing, the folders the install made above it and both keys
// included. A folder that cannot be one is refused before anything changes.
TEST(SilentRoundTrip, DirNamesTheProgramFolder)
{
    if (!IsDirectory(L"T:\\"))
        GTEST_SKIP() << "no drive T: (./tw test maps one)";
    InstallPlace place;
    place.Clear();
    TestFolder scratch(L"DirSwitch");
    scratch.WriteFile(L"a file", "x");
    MachineSnapshot snapshot;
    snapshot.Folder(L"T:").Folder(scratch.Path());
    std::string before = snapshot.Take();
    SString setup = MakeSetupVariant(L"Dir", TestPack(L"UiApp"), {{L"StartAtEnd", L"false"}});
    for (const SString& refused : {scratch / L"a file", SString(L"Q:\\No\\Drive"), SString(L"relative\\folder"),
                                   SString(L"T:\\bad|name")})
    {
        SetupProcess bad(setup, (L"/Silent /Dir=\"" + refused + L"\"").CStr());
        EXPECT_EQ(1u, bad.WaitForExit()) << ToNarrow(refused);
        EXPECT_EQ(before, snapshot.Take()) << ToNarrow(refused);
    }

    SString program = L"T:\\Vendor Apps\\Product";
    SetupProcess good(setup, L"/Silent /Dir=\"T:\\Vendor Apps\\Product\"");
    ASSERT_EQ(0u, good.WaitForExit());
    EXPECT_TRUE(TestFolder::Exists(program + L"\\TW.Remover.exe"));
    SString recorded;
    EXPECT_EQ(S_OK, GetValue(HKEY_CURRENT_USER, DeploymentKeyPath(place.suffix) + L"\\ProgramFiles", VendorName(),
                             recorded));
    EXPECT_TRUE(recorded == program);
    EXPECT_EQ(0u, RemoveInstall(program, L"/Silent"));
    EXPECT_TRUE(WaitFor([]() { return !TestFolder::Exists(L"T:\\Vendor Apps"); }));
    EXPECT_EQ(before, snapshot.Take());
    place.Clear();
}
