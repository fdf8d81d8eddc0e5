// A failed install leaves the machine as it was: every file, folder, key
// and value, compared before and after.
#include "ExitCode.h"
#include "Transaction.h"
#include "TW.Install/PeerInstallTest.h"

#include "MachineSnapshot.h"

namespace
{
class InstallRollbackTest : public PeerInstallTest
{
protected:
    HRESULT InstallPackWith(const wchar_t* name, const InstallOptions& options)
    {
        PackageModule module(TestPack(name), L"Rollback");
        installer.packageModule = module.Get();
        return installer.Install(options);
    }

    void ExpectNoJournal() const
    {
        EXPECT_FALSE(TestFolder::Exists(place.programFolder + L".journal"));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, KeyCopiesPath()));
    }
};

// Where the plug-ins write down their calls, for the length of a test.
class PluginCallLog
{
public:
    PluginCallLog() : m_folder(L"PluginCalls"), m_path(m_folder / L"calls.txt")
    {
        ::SetEnvironmentVariableW(L"TW_PLUGIN_LOG", m_path.CStr());
    }
    ~PluginCallLog() { ::SetEnvironmentVariableW(L"TW_PLUGIN_LOG", NULL); }
    std::string Calls() const { return TestFolder::ReadFile(m_path); }

private:
    TestFolder m_folder;
    SString m_path;
};

// The files of a made-up install in the folder: what its journal may name.
JournalScope Scope(const TestFolder& folder)
{
    JournalScope scope;
    for (const wchar_t* name : {L"kept.txt", L"added.txt", L"Made\\made.txt", L"cut", L"Program\\NPTW3D.dll"})
        scope.AddFile(folder / name);
    scope.AddPlugin(folder / L"Program\\NPTW3D.dll");
    scope.AddKey(HKEY_CURRENT_USER, L"Software\\Classes\\tarnwick");
    return scope;
}

std::string Call(const char* entry, const SString& path)
{
    return std::string(entry) + "|" + ToNarrow(path) + "|0\r\n";
}
} // namespace

TEST_F(InstallRollbackTest, MissingDownloadOnAFreshInstallLeavesNothing)
{
    MachineSnapshot snapshot;
    std::string before = snapshot.Take();
    ASSERT_EQ(E_FAIL, InstallPack(L"RollbackMissing"));
    EXPECT_TRUE(SError::Identifier() == L"OpenURL.HttpStatus") << SError::Text().CStr();
    EXPECT_EQ(before, snapshot.Take());
    ExpectNoJournal();
}

// The last write fails: the shortcuts, schemes and uninstall entry go again,
// and each plug-in that was installed is uninstalled, newest first.
TEST_F(InstallRollbackTest, FailureAfterThePluginHooksUndoesEverything)
{
    PluginCallLog calls;
    MachineSnapshot snapshot;
    std::string before = snapshot.Take();
    ASSERT_EQ(E_FAIL, InstallPack(L"RollbackLate"));
    EXPECT_TRUE(SError::Identifier() == L"WriteUninstallActions.TooLong") << SError::Text().CStr();
    EXPECT_EQ(before, snapshot.Take());
    SString np = place.programFolder + L"\\NPTW3D.dll";
    SString ie = place.programFolder + L"\\TW.Plugin.IE.dll";
    EXPECT_EQ(Call("TWInstall", np) + Call("TWInstall", ie) + Call("TWUninstall", ie) + Call("TWUninstall", np),
              calls.Calls());
    ExpectNoJournal();
}

// Explicit folders on another drive: the folders made above them and the
// per-deployment key that records them go too.
TEST_F(InstallRollbackTest, ExplicitFoldersOnASecondDriveAreRemovedWithTheirParents)
{
    if (!IsDirectory(L"T:\\"))
        GTEST_SKIP() << "no drive T: (./tw test maps one)";
    MachineSnapshot snapshot;
    snapshot.Folder(L"T:");
    std::string before = snapshot.Take();
    InstallOptions options;
    options.programFolder = L"T:\\Tarnwick\\Apps\\Program";
    options.dataFolder = L"T:\\Tarnwick\\Data";
    EXPECT_EQ(E_FAIL, InstallPackWith(L"RollbackMissing", options));
    EXPECT_TRUE(SError::Identifier() == L"OpenURL.HttpStatus") << SError::Text().CStr();
    EXPECT_EQ(before, snapshot.Take());
    EXPECT_FALSE(TestFolder::Exists(L"T:\\Tarnwick"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DeploymentKeyPath(place.suffix)));
}

// A reinstall over a working install that meets a file in use: one of the
// program's own folders is checked before anything changes ("Install.InUse");
// one elsewhere (an explicit data folder) is met on the way, and the working
// install is put back byte for byte and key for key.
TEST_F(InstallRollbackTest, ReinstallMeetingAFileInUseLeavesThePreviousInstall)
{
    TestFolder data(L"RollbackData");
    InstallOptions options;
    options.dataFolder = data / L"Data";
    ASSERT_EQ(S_OK, InstallPackWith(L"Full", options)) << SError::Text().CStr();
    MachineSnapshot snapshot;
    snapshot.Folder(data.Path());
    std::string before = snapshot.Take();
    struct Case
    {
        SString held;
        const wchar_t* identifier;
    } cases[] = {
        {place.programFolder + L"\\TW.3D.Modeller.exe", L"Install.InUse"},
        {options.dataFolder + L"\\Bootstrap.xml", L"CreateFile"},
    };
    for (const Case& c : cases)
    {
        {
            SFile held(::CreateFileW(c.held.CStr(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL));
            ASSERT_TRUE(held.IsValid());
            RecordingInstaller again;
            PackageModule module(TestPack(L"Full"), L"Again");
            again.packageModule = module.Get();
            ASSERT_EQ(E_FAIL, again.Install(options));
            EXPECT_TRUE(SError::Identifier() == c.identifier) << SError::Text().CStr();
            EXPECT_TRUE(SError::Messages()[SError::Messages().Count() - 1].EndsWith(FileNamePart(c.held).CStr()))
                << SError::Text().CStr();
        }
        EXPECT_TRUE(before == snapshot.Take());
        ExpectNoJournal();
    }
}

// A journal left by a killed install is rolled back by the next run, and
// one whose commit was cut short is finished instead. What it names outside
// the install's places and keys is left alone, whoever wrote it.
TEST_F(InstallRollbackTest, InterruptedInstallIsUndoneOrFinishedByTheNextRun)
{
    TestFolder elsewhere(L"Elsewhere");
    elsewhere.WriteFile(L"precious.txt", "keep");
    SetValue(HKEY_CURRENT_USER, L"Software\\TarnwickTestsOther", L"Keep", SString(L"me"));
    TestFolder folder(L"Journal");
    SString journal = folder / L"Program.journal";
    SString kept = folder / L"kept.txt";
    SString added = folder / L"added.txt";
    folder.WriteFile(L"kept.txt", "new");
    folder.WriteFile(L"kept.txt.rollback", "old");
    folder.WriteFile(L"added.txt", "added");
    folder.WriteFile(L"added.txt.partial", "half");
    SString records = L"folder\t" + (folder / L"Made") + L"\t\t\r\nfile\t" + kept + L"\texisting\t\r\nkept\t" + kept +
                      L"\t\t\r\nfile\t" + added +
                      L"\tnew\t\r\nfile\t" + (elsewhere / L"precious.txt") + L"\tnew\t\r\nkey\tHKCU\t" +
                      L"Software\\TarnwickTestsOther\t\t\r\nfile\t" + (folder / L"cut");
    ::CreateDirectoryW((folder / L"Made").CStr(), NULL);
    folder.WriteFile(L"Program.journal", Utf16Bytes(records));
    {
        InstallTransaction next;
        ASSERT_EQ(S_OK, next.Begin(journal, Scope(folder)));
        next.Commit();
    }
    EXPECT_EQ("old", TestFolder::ReadFile(kept));
    EXPECT_FALSE(TestFolder::Exists(added));
    EXPECT_FALSE(TestFolder::Exists(added + L".partial"));
    EXPECT_FALSE(TestFolder::Exists(folder / L"Made"));
    EXPECT_FALSE(TestFolder::Exists(journal));
    EXPECT_EQ("keep", TestFolder::ReadFile(elsewhere / L"precious.txt"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\TarnwickTestsOther"));
    DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\TarnwickTestsOther");

    folder.WriteFile(L"kept.txt", "new");
    folder.WriteFile(L"kept.txt.rollback", "old");
    folder.WriteFile(L"Program.journal",
                     Utf16Bytes(L"file\t" + kept + L"\texisting\t\r\nkept\t" + kept + L"\t\t\r\ncommit\t\t\t\r\n"));
    {
        InstallTransaction next;
        ASSERT_EQ(S_OK, next.Begin(journal, Scope(folder)));
        next.Commit();
    }
    EXPECT_EQ("new", TestFolder::ReadFile(kept));
    EXPECT_FALSE(TestFolder::Exists(kept + L".rollback"));

    // A kept file that cannot be put back (a folder is in its way): the
    // journal and the kept file stay, and this run starts nothing over them;
    // once the way is free, the next run restores it.
    ::DeleteFileW(kept.CStr());
    ::CreateDirectoryW(kept.CStr(), NULL);
    folder.WriteFile(L"kept.txt.rollback", "old");
    SString journalText = L"file\t" + kept + L"\texisting\t\r\nkept\t" + kept + L"\t\t\r\n";
    folder.WriteFile(L"Program.journal", Utf16Bytes(journalText));
    {
        InstallTransaction next;
        EXPECT_EQ(E_FAIL, next.Begin(journal, Scope(folder)));
        EXPECT_TRUE(SError::Identifier() == L"Install.Recover") << SError::Text().CStr();
    }
    EXPECT_EQ(Utf16Bytes(journalText), TestFolder::ReadFile(journal));
    EXPECT_EQ("old", TestFolder::ReadFile(kept + L".rollback"));
    ::RemoveDirectoryW(kept.CStr());
    {
        InstallTransaction next;
        ASSERT_EQ(S_OK, next.Begin(journal, Scope(folder)));
        next.Commit();
    }
    EXPECT_EQ("old", TestFolder::ReadFile(kept));
}

// Two setups of the same install never work at once: the second is told so.
// A folder where the journal belongs is reported as what it is.
TEST_F(InstallRollbackTest, ASecondSetupOfTheSameInstallIsRefused)
{
    TestFolder folder(L"Busy");
    InstallTransaction first;
    ASSERT_EQ(S_OK, first.Begin(folder / L"Program.journal", Scope(folder)));
    InstallTransaction second;
    EXPECT_EQ(E_FAIL, second.Begin(folder / L"Program.journal", Scope(folder)));
    EXPECT_TRUE(SError::Identifier() == L"Install.Busy");
    first.Rollback();
    // A folder in the journal's place is no other setup: it is named.
    ::CreateDirectoryW((folder / L"Blocked.journal").CStr(), NULL);
    InstallTransaction blocked;
    EXPECT_EQ(E_FAIL, blocked.Begin(folder / L"Blocked.journal", Scope(folder)));
    EXPECT_TRUE(SError::Identifier() == L"Install.JournalBlocked") << SError::Text().CStr();
    // A journal that cannot be opened for another reason is no other setup
    // either, which package managers would wait for without end.
    InstallTransaction unnamable;
    EXPECT_EQ(E_FAIL, unnamable.Begin(folder / L"Bad<name.journal", Scope(folder)));
    EXPECT_TRUE(SError::Identifier() == L"Install.Journal") << SError::Text().CStr();
}

namespace
{
HRESULT InstallFresh(const wchar_t* name)
{
    PackageModule module(TestPack(name), L"Rollback");
    TWInstall engine;
    engine.packageModule = module.Get();
    return engine.Install(InstallOptions());
}
} // namespace

// A journal is input, which any process of the user can plant: each of
// these, in a journal of its own, makes the next setup change nothing
// outside what its package could have written.
TEST_F(InstallRollbackTest, PlantedJournalsAreNotObeyed)
{
    PluginCallLog calls;
    SString desktop = GetDesktopFolder();
    SString program = place.programFolder;
    TestFolder::RemoveTree(L"C:\\precious.txt");
    HANDLE file = ::CreateFileW(L"C:\\precious.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ::CloseHandle(file);
    file = ::CreateFileW((desktop + L"\\Report.docx").CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ::CloseHandle(file);
    ASSERT_TRUE(::CopyFileW((BinFolder() + L"\\plugins\\NPTW3D.dll").CStr(), (desktop + L"\\helper.dll").CStr(), FALSE));
    SString otherEntry = UninstallEntryPath(L"Tarnwick_Other_1");
    SetValue(HKEY_CURRENT_USER, L"Software\\Classes\\tw-victim", L"Keep", SString(L"me"));
    SetValue(HKEY_CURRENT_USER, otherEntry, L"Keep", SString(L"me"));
    const SString journals[] = {
        L"file\t" + program + L"\\..\\..\\..\\..\\..\\..\\precious.txt\tnew\t",
        L"file\t" + desktop + L"\\Report.docx\tnew\t",
        L"key\tHKCU\tSoftware\\Classes\\tw-victim\t",
        L"key\tHKCU\t" + otherEntry + L"\t",
        L"plugin\t" + desktop + L"\\helper.dll\t0\t",
    };
    for (const SString& record : journals)
    {
        SCOPED_TRACE(ToNarrow(record));
        place.Clear();
        TestFolder::RemoveTree(program + L".journal");
        HANDLE journal = ::CreateFileW((program + L".journal").CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        std::string bytes = Utf16Bytes(record + L"\r\n");
        DWORD written = 0;
        ::WriteFile(journal, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
        ::CloseHandle(journal);
        ASSERT_EQ(S_OK, InstallFresh(L"Full")) << SError::Text().CStr();
        EXPECT_TRUE(TestFolder::Exists(L"C:\\precious.txt"));
        EXPECT_TRUE(TestFolder::Exists(desktop + L"\\Report.docx"));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\tw-victim"));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, otherEntry));
        EXPECT_EQ(std::string::npos, calls.Calls().find("helper.dll")) << calls.Calls();
    }
    ::DeleteFileW(L"C:\\precious.txt");
    ::DeleteFileW((desktop + L"\\Report.docx").CStr());
    ::DeleteFileW((desktop + L"\\helper.dll").CStr());
    DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Classes\\tw-victim");
    DeleteKeyTree(HKEY_CURRENT_USER, otherEntry);
}

// Only what this run moved aside comes back: a kept-aside name that another
// run left, or that somebody planted, is never restored over the program.
// What the install replaces is its own, read-only or not, and nothing is
// left kept aside after it.
TEST_F(InstallRollbackTest, OnlyWhatThisRunKeptAsideIsRestored)
{
    ASSERT_EQ(S_OK, InstallFresh(L"Full")) << SError::Text().CStr();
    SString application = place.programFolder + L"\\TW.3D.Modeller.exe";
    std::string installed = TestFolder::ReadFile(application);
    ::SetFileAttributesW(application.CStr(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(S_OK, InstallFresh(L"Full")) << SError::Text().CStr();
    EXPECT_FALSE(TestFolder::Exists(application + L".rollback"));
    // Changed here, so that the next run does not find the package's program
    // in place, and downloads it (and fails).
    installed += "changed";
    TestFolder::WritePath(application, installed);
    HANDLE planted = ::CreateFileW((application + L".rollback").CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ::WriteFile(planted, "old", 3, NULL, NULL);
    ::CloseHandle(planted);

    EXPECT_EQ(E_FAIL, InstallFresh(L"RollbackMissing"));
    EXPECT_EQ(installed, TestFolder::ReadFile(application));
}

// A reinstall that fails after the plug-in hooks: the new libraries are
// uninstalled, and the previous ones, put back, are installed again.
TEST_F(InstallRollbackTest, RestoredPluginsAreInstalledAgain)
{
    ASSERT_EQ(S_OK, InstallFresh(L"Full")) << SError::Text().CStr();
    PluginCallLog calls;
    ASSERT_EQ(E_FAIL, InstallFresh(L"RollbackLate"));
    SString np = place.programFolder + L"\\NPTW3D.dll";
    SString ie = place.programFolder + L"\\TW.Plugin.IE.dll";
    EXPECT_EQ(Call("TWInstall", np) + Call("TWInstall", ie) + Call("TWUninstall", ie) + Call("TWUninstall", np) +
                  Call("TWInstall", ie) + Call("TWInstall", np),
              calls.Calls());
}

// A full disk (a small drive S:, which ./tw maps where it may mount one) ends
// with 112 after the rollback, and nothing stays on the drive.
TEST_F(InstallRollbackTest, FullDiskEndsWithItsCodeAndLeavesNothing)
{
    if (!IsDirectory(L"S:\\"))
        GTEST_SKIP() << "no small drive S: (./tw test maps one where it may mount a file system)";
    MachineSnapshot snapshot;
    snapshot.Folder(L"S:");
    std::string before = snapshot.Take();
    InstallOptions options;
    options.programFolder = L"S:\\Product";
    EXPECT_EQ(E_FAIL, InstallPackWith(L"Full", options));
    EXPECT_EQ(112, ExitCodeForFailure()) << SError::Text().CStr();
    EXPECT_EQ(before, snapshot.Take());
}
