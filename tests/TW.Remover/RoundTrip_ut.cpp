// Install with the engine, then remove with the real remover started exactly
// as the uninstall entry says, and check that everything it made is gone and
// nothing else is.
#include "DeleteFolderTree.h"
#include "SNls.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <vector>

#include "EngineHarness.h"
#include "MachineSnapshot.h"
#include "TW.Install.UI2/SetupDriver.h"

namespace
{
const wchar_t g_unrelatedKey[] = L"Software\\TarnwickUnrelated";

class RoundTripTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::CoInitialize(NULL);
        place.Clear();
        TestFolder::RemoveTree(L"C:\\Tarnwick Tests");
        log = SString(L"C:\\tw-plugin-calls.txt");
        ::DeleteFileW(log.CStr());
        ::SetEnvironmentVariableW(L"TW_PLUGIN_LOG", log.CStr());
        SetValue(HKEY_CURRENT_USER, g_unrelatedKey, L"Keep", SString(L"me"));
        SetValue(HKEY_CURRENT_USER, L"Software\\Classes\\tarnwick-other", L"Url Protocol", SString());
    }
    void TearDown() override
    {
        place.Clear();
        TestFolder::RemoveTree(L"C:\\Tarnwick Tests");
        DeleteKeyTree(HKEY_CURRENT_USER, g_unrelatedKey);
        DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Classes\\tarnwick-other");
        ::SetEnvironmentVariableW(L"TW_PLUGIN_LOG", NULL);
    }

    void Install(const wchar_t* packName, DWORD perMachine = 0, const InstallOptions& options = InstallOptions())
    {
        PackageModule module(TestPack(packName), L"RoundTrip");
        TWInstall engine;
        engine.packageModule = module.Get();
        ASSERT_EQ(S_OK, engine.Install(options)) << SError::Text().CStr();
        root = perMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        ::DeleteFileW(log.CStr());
    }

    // Starts the remover with the entry's "UninstallString", waits for it and
    // for its removal script.
    DWORD RunRemover(const SString& programFolder)
    {
        SString command;
        if (GetValue(root, UninstallEntryPath(place.keyName), L"UninstallString", command) != S_OK)
            command = L"\"" + programFolder + L"\\TW.Remover.exe\"";
        return RunAndWait(command, programFolder, true);
    }

    static DWORD RunAndWait(const SString& command, const SString& programFolder, bool removes)
    {
        std::vector<wchar_t> line(command.CStr(), command.CStr() + command.Length() + 1);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!::CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
            return 0xDEAD;
        ::WaitForSingleObject(process.hProcess, 60000);
        DWORD exitCode = 0xBEEF;
        ::GetExitCodeProcess(process.hProcess, &exitCode);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        SString script = DirectoryPart(programFolder) + L"\\TW.RemoverDelete.bat";
        for (int i = 0; removes && i < 600 && (TestFolder::Exists(script) || TestFolder::Exists(programFolder + L"\\TW.Remover.exe")); ++i)
            ::Sleep(100);
        return exitCode;
    }

    InstallPlace place;
    SString log;
    HKEY root = HKEY_CURRENT_USER;
};

void WriteBytes(const SString& path, const std::string& bytes)
{
    HANDLE file = ::CreateFileW(path.CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
    ::CloseHandle(file);
}

SString DocumentsFolder()
{
    wchar_t documents[MAX_PATH] = {0};
    ::SHGetFolderPathW(NULL, CSIDL_PERSONAL, NULL, 0, documents);
    return documents;
}

std::string Calls(const SString& program, DWORD flag)
{
    std::string suffix = flag ? "|1\r\n" : "|0\r\n";
    return "TWUninstall|" + ToNarrow(program + L"\\TW.Plugin.IE.dll") + suffix + "TWUninstall|" +
           ToNarrow(program + L"\\NPTW3D.dll") + suffix;
}
} // namespace

TEST_F(RoundTripTest, PerUserInstallIsRemovedCompletely)
{
    Install(L"Full");
    SString program = place.programFolder;
    SString parent = DirectoryPart(program);
    SString sentinel = parent + L"\\tw-sentinel.txt";
    HANDLE file = ::CreateFileW(sentinel.CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ::CloseHandle(file);
    SString readOnly = place.dataFolder + L"\\Settings\\Login_Models.xml";
    ASSERT_TRUE(::SetFileAttributesW(readOnly.CStr(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName)));

    EXPECT_EQ(0u, RunRemover(program));

    EXPECT_FALSE(TestFolder::Exists(program));
    EXPECT_FALSE(TestFolder::Exists(place.dataFolder));
    EXPECT_FALSE(TestFolder::Exists(parent + L"\\TW.RemoverDelete.bat"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName)));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\tarnwick"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\tw3d"));
    EXPECT_FALSE(TestFolder::Exists(GetStartMenuFolder() + L"\\Tarnwick 3D.lnk"));
    EXPECT_FALSE(TestFolder::Exists(GetDesktopFolder() + L"\\Tarnwick 3D.lnk"));
    EXPECT_EQ(Calls(program, 0), TestFolder::ReadFile(log)); // newest first, once each

    EXPECT_TRUE(TestFolder::Exists(sentinel));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, g_unrelatedKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\tarnwick-other"));
    ::DeleteFileW(sentinel.CStr());
}

// Any program of the user can replace the low folder with a link, or put
// one into the program folder: the removal never reaches what they lead to.
// (Wine cannot remove a Unix link, so the links themselves stay there.)
TEST_F(RoundTripTest, LinksAreNeverFollowed)
{
    Install(L"Full");
    TestFolder outside(L"LinkTarget");
    outside.WriteFile(L"precious.txt", "keep");
    ASSERT_TRUE(TestFolder::LinkFolder(place.programFolder + L"\\linked", outside.Path()));
    SString reports = DocumentsFolder() + L"\\Reports";
    TestFolder::RemoveTree(reports);
    ::CreateDirectoryW(reports.CStr(), NULL);
    WriteBytes(reports + L"\\Q3.docx", "keep");
    TestFolder::RemoveTree(place.dataFolder);
    ASSERT_FALSE(TestFolder::Exists(place.dataFolder));
    ASSERT_TRUE(TestFolder::LinkFolder(place.dataFolder, reports));

    EXPECT_EQ(0u, RunRemover(place.programFolder));

    EXPECT_EQ("keep", TestFolder::ReadFile(reports + L"\\Q3.docx"));
    EXPECT_EQ("keep", TestFolder::ReadFile(outside / L"precious.txt"));
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.Remover.exe"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName)));
    TestFolder::Unlink(place.programFolder + L"\\linked");
    TestFolder::Unlink(place.dataFolder);
    TestFolder::RemoveTree(reports);
}

// What a user may write under HKEY_CURRENT_USER names no folder for a
// per-machine install: neither for its removal nor for its setup's check of
// an explicit folder.
TEST_F(RoundTripTest, PerMachineRecordsAreReadFromTheMachineOnly)
{
    SString other = L"C:\\Tarnwick Tests\\OtherApp";
    ::CreateDirectoryW(L"C:\\Tarnwick Tests", NULL);
    ::CreateDirectoryW(other.CStr(), NULL);
    WriteBytes(other + L"\\data.bin", "keep");
    SString planted = DeploymentKeyPath(place.suffix) + L"\\ProgramFiles";
    SetValue(HKEY_CURRENT_USER, planted, folderValue, other);
    InstallOptions options;
    options.programFolder = other;
    PackageModule module(TestPack(L"Admin"), L"RoundTrip");
    TWInstall refused;
    refused.packageModule = module.Get();
    EXPECT_EQ(E_FAIL, refused.Install(options));
    EXPECT_TRUE(SError::Identifier() == L"Install.FolderNotEmpty") << SError::Text().CStr();

    Install(L"Admin", 1);
    SetValue(HKEY_CURRENT_USER, planted, folderValue, other);
    EXPECT_EQ(0u, RunRemover(L"C:\\Tarnwick Tests\\Pr\x00F6gram Files\\Deep\\Level"));
    EXPECT_EQ("keep", TestFolder::ReadFile(other + L"\\data.bin"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryPath(place.keyName)));
    DeleteKeyTree(HKEY_CURRENT_USER, DeploymentKeyPath(place.suffix));
}

// A folder that was there before the install (empty, or the setup would
// refuse it) is not the install's to delete whole: others may have put files
// there since. Only what the install put into it goes.
TEST_F(RoundTripTest, AFolderTheInstallFoundKeepsWhatOthersPutThere)
{
    SString shared = L"C:\\Tarnwick Tests\\Shared";
    ::CreateDirectoryW(L"C:\\Tarnwick Tests", NULL);
    ::CreateDirectoryW(shared.CStr(), NULL);
    InstallOptions options;
    options.programFolder = shared;
    Install(L"Full", 0, options);
    ASSERT_TRUE(TestFolder::Exists(shared + L"\\TW.3D.Modeller.exe"));
    ::CreateDirectoryW((shared + L"\\Other").CStr(), NULL);
    WriteBytes(shared + L"\\Other\\theirs.dat", "keep");
    WriteBytes(shared + L"\\theirs.txt", "keep");

    EXPECT_EQ(0u, RunRemover(shared));

    EXPECT_EQ("keep", TestFolder::ReadFile(shared + L"\\theirs.txt"));
    EXPECT_EQ("keep", TestFolder::ReadFile(shared + L"\\Other\\theirs.dat"));
    for (const wchar_t* ours : {L"TW.Remover.exe", L"Uninstall", L".deployment", L"TW.3D.Modeller.exe", L"NPTW3D.dll"})
        EXPECT_FALSE(TestFolder::Exists(shared + L"\\" + ours)) << ours;
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName)));
}

TEST_F(RoundTripTest, PerMachineInstallWithExplicitFolders)
{
    ::CreateDirectoryW(L"C:\\Tarnwick Tests", NULL);
    Install(L"Admin", 1);
    SString program = L"C:\\Tarnwick Tests\\Pr\x00F6gram Files\\Deep\\Level";
    SString data = L"C:\\Tarnwick Tests\\D\x00E4t\x00E4 \x4E2D";
    ASSERT_TRUE(TestFolder::Exists(data + L"\\Icons\\Icon.ico"));
    ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryPath(place.keyName)));

    EXPECT_EQ(0u, RunRemover(program));

    // The script in the temporary folder deletes the remover, then its folder.
    EXPECT_TRUE(WaitFor([&program]() { return !TestFolder::Exists(program); }));
    EXPECT_FALSE(TestFolder::Exists(data));
    // Made by the install, and removed once the script's last cmd has ended.
    EXPECT_TRUE(WaitFor([]() { return !TestFolder::Exists(L"C:\\Tarnwick Tests\\Pr\x00F6gram Files"); }));
    EXPECT_TRUE(TestFolder::Exists(L"C:\\Tarnwick Tests")); // there before it
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryPath(place.keyName)));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DeploymentKeyPath(place.suffix)));
    EXPECT_EQ("TWUninstall|" + ToNarrow(program + L"\\NPTW3D.dll") + "|1\r\n", TestFolder::ReadFile(log));
}

// The installed application has shown its window.
bool WaitUntilRunning(const SetupProcess& application)
{
    return WaitFor([&]() { return application.FindWindowCaptioned(L"Tarnwick 3D Modeller") != NULL; });
}

// The one window the remover shows: its box naming the programs in the way.
HWND RemoverBox(const SetupProcess& remover)
{
    HWND box = NULL;
    std::wstring caption = std::wstring(GetNLS(L"DisplayName").CStr()) + L" Remover";
    WaitFor([&]() { return (box = remover.FindWindowCaptioned(caption)) != NULL; });
    return box;
}

// Starts the remover without /Silent, answers its box, which must hold
// `expected`, with `button`; its exit code.
DWORD AnswerRemoverBox(const SString& program, const wchar_t* expected, int button)
{
    SetupProcess asking(program + L"\\TW.Remover.exe", L"");
    HWND box = RemoverBox(asking);
    EXPECT_TRUE(box != NULL);
    if (!box)
        return 0xDEAD;
    EXPECT_NE(std::wstring::npos, MessageBoxText(box).find(expected)) << MessageBoxText(box);
    Click(::GetDlgItem(box, button));
    return asking.WaitForExit();
}


// A missing, damaged or planted "Uninstall" or ".deployment", or an entry
// that does not start this remover, makes the remover fail with 1 before it
// changes anything; without "/Silent" it says why in a box.
TEST_F(RoundTripTest, DamagedInputsRemoveNothingAndFail)
{
    Install(L"Full");
    SString program = place.programFolder;
    TestFolder::RemoveTree(DocumentsFolder() + L"\\Reports");
    ::CreateDirectoryW((DocumentsFolder() + L"\\Reports").CStr(), NULL);
    WriteBytes(DocumentsFolder() + L"\\Reports\\Q3.docx", "keep");
    MachineSnapshot snapshot;
    snapshot.Folder(program).Folder(DocumentsFolder()).Folder(place.dataFolder).Key(HKEY_CURRENT_USER,
                                                                                     UninstallEntryPath(place.keyName));
    std::string installed = snapshot.Take();
    SString entry = UninstallEntryPath(place.keyName);
    SString command;
    ASSERT_EQ(S_OK, GetValue(HKEY_CURRENT_USER, entry, L"UninstallString", command));
    std::string actions = TestFolder::ReadFile(program + L"\\Uninstall");
    std::string deployment = TestFolder::ReadFile(program + L"\\.deployment");
    std::string tooLong("\x01\0\0\0\x00\x10\0\0", 8); // one record of 4096 units
    tooLong += std::string(8192, 'a');
    struct Case
    {
        SString file;      // beside the remover, or "UninstallString" of the entry
        std::string bytes; // "<missing>": no such file
    } cases[] = {
        {L".deployment", "<missing>"},
        {L".deployment", Utf16Bytes(L"T3RoZXIx")}, // "Other1": an entry that does not exist
        {L"UninstallString", "\"C:\\Other\\TW.Remover.exe\""},
        {L"Uninstall", "<missing>"},
        {L"Uninstall", std::string()},
        {L"Uninstall", actions.substr(0, actions.size() - 3)},   // ends inside a record
        {L"Uninstall", std::string("\xff\xff\xff\x0f", 4)},      // a count the file cannot hold
        {L"Uninstall", tooLong},                                  // a record longer than 4095 units
        {L"Uninstall", actions + "x"},                            // more than its actions
        {L".deployment", Utf16Bytes(L"eFwuLlwuLlwuLlxEb2N1bWVudHM=")}, // "x\..\..\..\Documents"
        {L".deployment", std::string()},
        {L".deployment", std::string(2, '\0')},
        {L".deployment", Utf16Bytes(L"not Base64")},
        {L".deployment", Utf16Bytes(L"YSBi")}, // "a b"
        {L"..\\" + FileNamePart(program) + L".journal", std::string("\xff\xfe", 2)}, // a setup not ended
    };
    for (const Case& damaged : cases)
    {
        SString path = program + L"\\" + damaged.file;
        SCOPED_TRACE(ToNarrow(path) + " holding " + std::to_string(damaged.bytes.size()) + " bytes");
        if (damaged.file == L"UninstallString")
            SetValue(HKEY_CURRENT_USER, entry, L"UninstallString", SString(std::wstring(damaged.bytes.begin(), damaged.bytes.end()).c_str()));
        else if (damaged.bytes == "<missing>")
            ::DeleteFileW(path.CStr());
        else
            WriteBytes(path, damaged.bytes);
        std::string before = snapshot.Take();
        EXPECT_EQ(1u, RunAndWait(L"\"" + program + L"\\TW.Remover.exe\" /Silent", program, false));
        EXPECT_EQ(before, snapshot.Take());
        EXPECT_EQ("<missing>", TestFolder::ReadFile(log));
        WriteBytes(program + L"\\Uninstall", actions);
        WriteBytes(program + L"\\.deployment", deployment);
        SetValue(HKEY_CURRENT_USER, entry, L"UninstallString", command);
        ::DeleteFileW((program + L".journal").CStr());
    }
    EXPECT_EQ(installed, snapshot.Take());

    WriteBytes(program + L"\\Uninstall", std::string());
    EXPECT_EQ(1u, AnswerRemoverBox(program, L"Uninstall", IDOK));
    TestFolder::RemoveTree(DocumentsFolder() + L"\\Reports");
}

const wchar_t g_extensionKey[] = L"Software\\Classes\\.tw3d";
const wchar_t g_progIdKey[] = L"Software\\Classes\\Tarnwick.Model";
const wchar_t g_fileExtsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.tw3d";
const wchar_t g_appPathKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TW.3D.Modeller.exe";

// The extension's default program, empty for none.
SString DefaultOf(const wchar_t* key)
{
    SString value;
    GetValue(HKEY_CURRENT_USER, key, SString(), value);
    return value;
}

void ClearFileType()
{
    for (const wchar_t* key : {g_extensionKey, g_progIdKey, g_fileExtsKey, g_appPathKey})
        DeleteKeyTree(HKEY_CURRENT_USER, key);
}

// A file type joins the programs the user has and never takes one away;
// removal and rollback leave exactly what was there before.
TEST_F(RoundTripTest, FileTypesJoinTheUsersProgramsAndLeaveNoTrace)
{
    const struct
    {
        const wchar_t* before;           // the extension's default before the install
        bool userChoice;                 // the user chose a program in Explorer
        const wchar_t* changedAfterward; // the default the user set after the install
        const wchar_t* installed;        // the default once installed
    } cases[] = {
        {L"", false, L"", L"Tarnwick.Model"},
        {L"Other.App", false, L"", L"Other.App"},
        {L"", true, L"", L""},
        {L"", false, L"Other.App", L"Tarnwick.Model"},
    };
    MachineSnapshot snapshot;
    snapshot.Key(HKEY_CURRENT_USER, g_extensionKey).Key(HKEY_CURRENT_USER, g_progIdKey)
        .Key(HKEY_CURRENT_USER, g_fileExtsKey).Key(HKEY_CURRENT_USER, g_appPathKey);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(ToNarrow(SString(c.before) + L"|" + c.changedAfterward + (c.userChoice ? L"|choice" : L"")));
        place.Clear();
        ClearFileType();
        if (*c.before) // another program, which has its own App Paths entry too
        {
            SetValue(HKEY_CURRENT_USER, g_extensionKey, SString(), SString(c.before));
            SetValue(HKEY_CURRENT_USER, g_appPathKey, SString(), SString(L"C:\\Other\\TW.3D.Modeller.exe"));
        }
        if (c.userChoice)
            SetValue(HKEY_CURRENT_USER, SString(g_fileExtsKey) + L"\\UserChoice", L"ProgId", SString(L"Other.App"));
        std::string before = snapshot.Take();
        Install(L"Full");
        SString program = place.programFolder + L"\\TW.3D.Modeller.exe";
        EXPECT_TRUE(DefaultOf(g_extensionKey) == c.installed) << DefaultOf(g_extensionKey).CStr();
        DWORD type = 0;
        std::string data;
        EXPECT_TRUE(ReadRawValue(HKEY_CURRENT_USER, SString(g_extensionKey) + L"\\OpenWithProgids", L"Tarnwick.Model",
                                 type, data));
        EXPECT_TRUE(DefaultOf(g_progIdKey) == L"Tarnwick 3D model");
        SString command;
        GetValue(HKEY_CURRENT_USER, SString(g_progIdKey) + L"\\shell\\open\\command", SString(), command);
        EXPECT_TRUE(command == L"\"" + program + L"\" \"%1\"") << command.CStr();
        EXPECT_TRUE(DefaultOf(g_appPathKey) == (*c.before ? SString(L"C:\\Other\\TW.3D.Modeller.exe") : program));
        EXPECT_EQ(c.userChoice, KeyExists(HKEY_CURRENT_USER, SString(g_fileExtsKey) + L"\\UserChoice"));
        SString identity;
        EXPECT_EQ(S_OK, GetValue(HKEY_CURRENT_USER, DeploymentKeyPath(place.suffix), L"AppUserModelID", identity));
        EXPECT_TRUE(identity.StartsWith(L"Tarnwick.") && identity.Find(L' ') < 0) << identity.CStr();
        if (*c.changedAfterward)
            SetValue(HKEY_CURRENT_USER, g_extensionKey, SString(), SString(c.changedAfterward));

        EXPECT_EQ(0u, RunRemover(place.programFolder));

        if (*c.changedAfterward)
        {
            EXPECT_TRUE(DefaultOf(g_extensionKey) == c.changedAfterward); // the user's choice stays
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, g_progIdKey));
            SetValue(HKEY_CURRENT_USER, g_extensionKey, SString(), SString(c.before));
            DeleteKeyTree(HKEY_CURRENT_USER, g_extensionKey);
        }
        else
            EXPECT_EQ(before, snapshot.Take());
    }
    // A failed install takes its registrations back, and the default it found stays.
    ClearFileType();
    SetValue(HKEY_CURRENT_USER, g_extensionKey, SString(), SString(L"Other.App"));
    std::string before = snapshot.Take();
    PackageModule module(TestPack(L"RollbackLate"), L"RoundTrip");
    TWInstall engine;
    engine.packageModule = module.Get();
    EXPECT_EQ(E_FAIL, engine.Install(InstallOptions()));
    EXPECT_EQ(before, snapshot.Take());
    ClearFileType();
}

// The shell opens a file of the type with the application, as a double
// click or "start" does, and hands it the file's path. Wine 8's
// HKEY_CLASSES_ROOT does not show HKEY_CURRENT_USER\Software\Classes, so
// there "start" finds no per-user type: the command that the shell would
// run is run as the shell runs it instead.
TEST_F(RoundTripTest, AFileOfTheTypeOpensWithTheApplication)
{
    ClearFileType();
    Install(L"Full");
    ::CreateDirectoryW(L"C:\\Tarnwick Tests", NULL);
    SString model = L"C:\\Tarnwick Tests\\model one.tw3d";
    WriteBytes(model, "model");
    SKey visible;
    bool merged = ::RegOpenKeyExW(HKEY_CLASSES_ROOT, L".tw3d", 0, KEY_READ, visible.Put()) == ERROR_SUCCESS;
    SString command = L"cmd /c start \"\" \"" + model + L"\"";
    if (!merged)
    {
        GetValue(HKEY_CURRENT_USER, SString(g_progIdKey) + L"\\shell\\open\\command", SString(), command);
        command.Replace(L"%1", model.CStr());
    }
    StartProcess(command);
    SString started = place.programFolder + L"\\StartedWith.txt";
    EXPECT_TRUE(WaitFor([&]() {
        return TestFolder::ReadFile(started).find("\"" + ToNarrow(model) + "\"") != std::string::npos;
    })) << TestFolder::ReadFile(started);
    HWND box = NULL;
    WaitFor([&]() { return (box = ::FindWindowW(NULL, L"Tarnwick 3D Modeller")) != NULL; });
    if (box)
        ::PostMessageW(box, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([]() { return ::FindWindowW(NULL, L"Tarnwick 3D Modeller") == NULL; }));
    ClearFileType();
}

// A removal stopped after the remover's own files went, but before the
// entry (a remover of an earlier build did it in that order), leaves an entry
// that only the remover starts: it offers to remove the entry alone.
TEST_F(RoundTripTest, EntryWhoseInstallationIsGoneCanBeRemovedAlone)
{
    Install(L"Full");
    SString program = place.programFolder;
    // All of its folder went but the remover, which was still running.
    WIN32_FIND_DATAW found = {};
    SFind search(::FindFirstFileW((program + L"\\*").CStr(), &found));
    for (BOOL more = search.IsValid(); more; more = ::FindNextFileW(search.Get(), &found))
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && SString(found.cFileName) != L"TW.Remover.exe")
            ::DeleteFileW((program + L"\\" + found.cFileName).CStr());
    EXPECT_EQ(1u, RunAndWait(L"\"" + program + L"\\TW.Remover.exe\" /Silent", program, false));
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName)));

    EXPECT_EQ(0u, AnswerRemoverBox(program, L"Remove the entry", IDYES));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName)));
    EXPECT_TRUE(WaitFor([&program]() { return !TestFolder::Exists(program); }));
}

// A remover copied with its files into the user's desktop, which the entry
// was changed to start, undoes the install but takes only itself of the
// desktop.
TEST_F(RoundTripTest, RemoverOnTheDesktopTakesOnlyItself)
{
    Install(L"Full");
    SString desktop = GetDesktopFolder();
    for (const wchar_t* name : {L"TW.Remover.exe", L"Uninstall", L".deployment"})
        ASSERT_TRUE(::CopyFileW((place.programFolder + L"\\" + name).CStr(), (desktop + L"\\" + name).CStr(), FALSE));
    WriteBytes(desktop + L"\\Report.docx", "keep");
    SetValue(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName), L"UninstallString",
             L"\"" + desktop + L"\\TW.Remover.exe\"");

    EXPECT_EQ(0u, RunAndWait(L"\"" + desktop + L"\\TW.Remover.exe\" /Silent", desktop, true));

    EXPECT_FALSE(TestFolder::Exists(desktop + L"\\TW.Remover.exe"));
    EXPECT_EQ("keep", TestFolder::ReadFile(desktop + L"\\Report.docx"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName)));
    for (const wchar_t* name : {L"Report.docx", L"Uninstall", L".deployment"})
        ::DeleteFileW((desktop + L"\\" + name).CStr());
}

// Every file of an install stays within MAX_PATH, kept-aside name included,
// so that the remover reaches it: a program folder one unit too long is
// refused before anything changes, and one at the limit installs and goes.
TEST_F(RoundTripTest, ProgramFolderAtThePathLimit)
{
    InstallOptions options;
    options.programFolder = L"C:\\Tarnwick Tests\\P";
    Install(L"Full", 0, options);
    int longest = 0;
    std::vector<SString> folders = {options.programFolder};
    while (!folders.empty())
    {
        SString folder = folders.back();
        folders.pop_back();
        WIN32_FIND_DATAW found = {};
        HANDLE search = ::FindFirstFileW((folder + L"\\*").CStr(), &found);
        do
        {
            SString path = folder + L"\\" + found.cFileName;
            if (found.cFileName[0] == L'.' && (!found.cFileName[1] || found.cFileName[1] == L'.'))
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                folders.push_back(path);
            else if (path.Length() - options.programFolder.Length() > longest)
                longest = path.Length() - options.programFolder.Length();
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    place.Clear();
    TestFolder::RemoveTree(L"C:\\Tarnwick Tests");
    ::CreateDirectoryW(L"C:\\Tarnwick Tests", NULL);

    int limit = MAX_PATH - 1 - 9 - longest; // room for ".rollback"
    SString atLimit = L"C:\\Tarnwick Tests\\";
    while (atLimit.Length() < limit)
        atLimit += L"a";
    MachineSnapshot snapshot;
    snapshot.Folder(L"C:\\Tarnwick Tests");
    std::string before = snapshot.Take();
    {
        PackageModule module(TestPack(L"Full"), L"RoundTrip");
        TWInstall engine;
        engine.packageModule = module.Get();
        options.programFolder = atLimit + L"a";
        EXPECT_EQ(E_FAIL, engine.Install(options));
        EXPECT_TRUE(SError::Identifier() == L"Install.PathTooLong") << SError::Text().CStr();
    }
    EXPECT_EQ(before, snapshot.Take());

    options.programFolder = atLimit;
    Install(L"Full", 0, options);
    EXPECT_EQ(0u, RunRemover(atLimit));
    EXPECT_FALSE(TestFolder::Exists(atLimit));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName)));
}

// A log asked for inside the program folder is not "in use" and survives
// the removal in the temporary folder; it shows the entry deleted last.
TEST_F(RoundTripTest, LogInsideTheProgramFolderSurvives)
{
    Install(L"Full");
    SString program = place.programFolder;
    wchar_t temp[MAX_PATH] = {0};
    ::GetTempPathW(MAX_PATH, temp);
    SString moved = SString(temp) + L"tw-remover-inside.log";
    ::DeleteFileW(moved.CStr());

    EXPECT_EQ(0u, RunAndWait(L"\"" + program + L"\\TW.Remover.exe\" /Silent /Log=\"" + program +
                                 L"\\tw-remover-inside.log\"",
                             program, true));

    EXPECT_FALSE(TestFolder::Exists(program));
    std::string text = TestFolder::ReadFile(moved);
    EXPECT_NE(std::string::npos, text.find("log moved here from")) << text;
    EXPECT_NE(std::string::npos, text.find("exit code 0")) << text;
    // The entry goes last, so that a removal cut short can be run again.
    EXPECT_LT(text.find("registry key deleted"), text.find("action: UnregisterInstall")) << text;
    ::DeleteFileW(moved.CStr());
}

// The remover performs only the verbs it knows, spelt exactly: a file with no
// actions, unknown verbs and verbs in another case do nothing, and the
// folders still go.
TEST_F(RoundTripTest, UnknownAndMiscasedVerbsDoNothingButTheFoldersGo)
{
    TestFolder outside(L"Verbs");
    outside.WriteFile(L"keep.txt", "keep");
    std::wstring keep = (outside / L"keep.txt").CStr();
    const std::vector<std::vector<std::wstring> > files = {
        {},
        {L"deletefile." + keep, L"DELETEFILE." + keep, L"Frobnicate." + keep, L"unregisteruri.tarnwick",
         L"DeleteFile", L"." + keep}};
    for (const std::vector<std::wstring>& actions : files)
    {
        SCOPED_TRACE(actions.size());
        Install(L"Full");
        SString program = place.programFolder;
        std::string bytes(4, '\0');
        DWORD count = static_cast<DWORD>(actions.size());
        memcpy(&bytes[0], &count, 4);
        for (const std::wstring& action : actions)
        {
            DWORD length = static_cast<DWORD>(action.size());
            bytes.append(reinterpret_cast<const char*>(&length), 4);
            bytes.append(reinterpret_cast<const char*>(action.data()), length * 2);
        }
        HANDLE file = ::CreateFileW((program + L"\\Uninstall").CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD written = 0;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
        ::CloseHandle(file);

        EXPECT_EQ(0u, RunAndWait(L"\"" + program + L"\\TW.Remover.exe\"", program, true));
        EXPECT_EQ("keep", TestFolder::ReadFile(keep.c_str()));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\tarnwick"));
        EXPECT_TRUE(TestFolder::Exists(GetDesktopFolder() + L"\\Tarnwick 3D.lnk"));
        EXPECT_EQ("<missing>", TestFolder::ReadFile(log)); // no plug-in was called
        EXPECT_FALSE(TestFolder::Exists(program));
        EXPECT_FALSE(TestFolder::Exists(place.dataFolder));
        ::DeleteFileW((GetDesktopFolder() + L"\\Tarnwick 3D.lnk").CStr());
        ::DeleteFileW((GetStartMenuFolder() + L"\\Tarnwick 3D.lnk").CStr());
        DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Classes\\tarnwick");
        DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Classes\\tw3d");
    }
}

// The entry goes through "reg export" and "reg import" unchanged: text values
// carry their terminating zero, so no last character is lost, and the
// imported entry still starts the remover.
TEST_F(RoundTripTest, EntrySurvivesExportAndImport)
{
    Install(L"Full");
    SString program = place.programFolder;
    SString key = UninstallEntryPath(place.keyName);
    SString before;
    ASSERT_EQ(S_OK, GetValue(HKEY_CURRENT_USER, key, L"UninstallString", before));
    TestFolder folder(L"RegExport");
    SString file = folder / L"entry.reg";
    EXPECT_EQ(0u, RunAndWait(L"reg export \"HKCU\\" + key + L"\" \"" + file + L"\" /y", program, false));
    ASSERT_EQ(S_OK, DeleteKeyTree(HKEY_CURRENT_USER, key));
    EXPECT_EQ(0u, RunAndWait(L"reg import \"" + file + L"\"", program, false));
    SString after, name;
    ASSERT_EQ(S_OK, GetValue(HKEY_CURRENT_USER, key, L"UninstallString", after));
    EXPECT_TRUE(after == before) << after.CStr();
    EXPECT_TRUE(after == L"\"" + program + L"\\TW.Remover.exe\"") << after.CStr();
    ASSERT_EQ(S_OK, GetValue(HKEY_CURRENT_USER, key, L"DisplayName", name));
    EXPECT_TRUE(name == GetNLS(L"DisplayName")) << name.CStr();

    EXPECT_EQ(0u, RunRemover(program));
    EXPECT_FALSE(TestFolder::Exists(program));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
}

// While the application runs from the program folder, the remover removes
// nothing: silently it exits with 1, otherwise it names the program and
// offers Retry or Cancel. Once the application has ended, it removes all.
TEST_F(RoundTripTest, RunningApplicationKeepsEverythingUntilItEnds)
{
    MachineSnapshot snapshot;
    std::string clean = snapshot.Take();
    Install(L"Full");
    SString program = place.programFolder;
    SetupProcess application(program + L"\\TW.3D.Modeller.exe", L"/UI Local");
    ASSERT_TRUE(WaitUntilRunning(application));
    std::string installed = snapshot.Take();

    SString remover = L"\"" + program + L"\\TW.Remover.exe\"";
    EXPECT_EQ(1u, RunAndWait(remover + L" /Silent", program, false));
    EXPECT_EQ(installed, snapshot.Take());

    SetupProcess asking(program + L"\\TW.Remover.exe", L"");
    HWND box = RemoverBox(asking);
    ASSERT_TRUE(box != NULL);
    EXPECT_NE(std::wstring::npos, MessageBoxText(box).find(L"TW.3D.Modeller.exe")) << MessageBoxText(box);
    Click(::GetDlgItem(box, IDCANCEL));
    EXPECT_EQ(1u, asking.WaitForExit());
    EXPECT_EQ(installed, snapshot.Take());

    application.Kill();
    EXPECT_EQ(0u, RunAndWait(remover + L" /Silent", program, true));
    EXPECT_EQ(clean, snapshot.Take());
}

// Retry after closing the application removes everything.
TEST_F(RoundTripTest, RetryAfterTheApplicationEndsRemovesEverything)
{
    Install(L"Full");
    SString program = place.programFolder;
    SetupProcess application(program + L"\\TW.3D.Modeller.exe", L"/UI Local");
    ASSERT_TRUE(WaitUntilRunning(application));
    SetupProcess asking(program + L"\\TW.Remover.exe", L"");
    HWND box = RemoverBox(asking);
    ASSERT_TRUE(box != NULL);
    application.Kill();
    Click(::GetDlgItem(box, IDRETRY));
    EXPECT_EQ(0u, asking.WaitForExit());
    EXPECT_TRUE(WaitFor([&]() { return !TestFolder::Exists(program); }));
    EXPECT_FALSE(TestFolder::Exists(place.dataFolder));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName)));
}
