// A failed install leaves the machine as it was: every file, folder, key
// and value, compared before and after.
#include "InstallTransaction.h"
#include "PeerInstallTest.h"

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
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Tarnwick Setup Rollback"));
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

SStringList Places(const TestFolder& folder)
{
    SStringList places;
    places.Append(folder.Path());
    return places;
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

// A reinstall over a working install that meets a file in use: the working
// install is put back byte for byte and key for key.
TEST_F(InstallRollbackTest, ReinstallMeetingAFileInUseLeavesThePreviousInstall)
{
    ASSERT_EQ(S_OK, InstallPack(L"Full")) << SError::Text().CStr();
    MachineSnapshot snapshot;
    std::string before = snapshot.Take();
    SString blocked = place.dataFolder + L"\\Bootstrap.xml";
    {
        SFile held(::CreateFileW(blocked.CStr(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL));
        ASSERT_TRUE(held.IsValid());
        RecordingInstaller again;
        PackageModule module(TestPack(L"Full"), L"Again");
        again.packageModule = module.Get();
        ASSERT_EQ(E_FAIL, again.Install(InstallOptions()));
        EXPECT_TRUE(SError::Identifier() == L"CreateFile") << SError::Text().CStr();
        EXPECT_TRUE(SError::Messages()[SError::Messages().Count() - 1] == blocked);
    }
    EXPECT_EQ(before, snapshot.Take());
    ExpectNoJournal();
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
    SString records = L"folder\t" + (folder / L"Made") + L"\t\t\r\nfile\t" + kept + L"\texisting\t\r\nfile\t" + added +
                      L"\tnew\t\r\nfile\t" + (elsewhere / L"precious.txt") + L"\tnew\t\r\nkey\tHKCU\t" +
                      L"Software\\TarnwickTestsOther\t\t\r\nfile\t" + (folder / L"cut");
    ::CreateDirectoryW((folder / L"Made").CStr(), NULL);
    folder.WriteFile(L"Program.journal", Utf16Bytes(records));
    {
        InstallTransaction next;
        ASSERT_EQ(S_OK, next.Begin(journal, Places(folder)));
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
    folder.WriteFile(L"Program.journal", Utf16Bytes(L"file\t" + kept + L"\texisting\t\r\ncommit\t\t\t\r\n"));
    {
        InstallTransaction next;
        ASSERT_EQ(S_OK, next.Begin(journal, Places(folder)));
        next.Commit();
    }
    EXPECT_EQ("new", TestFolder::ReadFile(kept));
    EXPECT_FALSE(TestFolder::Exists(kept + L".rollback"));
}

// Two setups of the same install never work at once: the second is told so.
TEST_F(InstallRollbackTest, ASecondSetupOfTheSameInstallIsRefused)
{
    TestFolder folder(L"Busy");
    InstallTransaction first;
    ASSERT_EQ(S_OK, first.Begin(folder / L"Program.journal", Places(folder)));
    InstallTransaction second;
    EXPECT_EQ(E_FAIL, second.Begin(folder / L"Program.journal", Places(folder)));
    EXPECT_TRUE(SError::Identifier() == L"Install.Busy");
    first.Rollback();
}
