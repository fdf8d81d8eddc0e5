// Failed installs leave what they promise and nothing more.
#include "SPath.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include "EngineHarness.h"
#include "MachineSnapshot.h"

namespace
{
class InstallFailureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::CoInitialize(NULL);
        place.Clear();
    }
    void TearDown() override
    {
        place.Clear();
    }

    HRESULT InstallPack(const std::string& pack, RecordingInstaller& installer)
    {
        PackageModule module(pack, L"Failure");
        installer.packageModule = module.Get();
        return installer.Install(InstallOptions());
    }

    InstallPlace place;
};

// Where the stream of compressed entry `index` starts in the package bytes.
size_t StreamOffset(const std::string& pack, size_t index)
{
    InstallPackage parsed;
    const BYTE* data = reinterpret_cast<const BYTE*>(pack.data());
    if (ParsePackage(data, static_cast<DWORD>(pack.size()), parsed) != S_OK || index >= parsed.compressedEntries.size())
        return std::string::npos;
    return parsed.compressedEntries[index].stream - data;
}
} // namespace

TEST_F(InstallFailureTest, FolderInTheWayOfADataFileFailsWithItsPathAndRollsBack)
{
    // A folder where a data file belongs cannot be replaced by the file (a
    // read-only file would be, by root under Wine).
    SString blocked = place.dataFolder + L"\\Bootstrap.xml";
    CreateDir(blocked);
    RecordingInstaller installer;
    ASSERT_EQ(E_FAIL, InstallPack(TestPack(L"Full"), installer));
    EXPECT_TRUE(SError::Identifier() == L"CreateFile") << SError::Text().CStr();
    ASSERT_EQ(2, SError::Messages().Count());
    EXPECT_FALSE(SError::Messages()[0].IsEmpty()); // the system's text
    EXPECT_TRUE(SError::Messages()[1] == blocked);
    // What the install wrote before is gone again; the folder in the way and
    // the data folder above it were there before, and stay.
    EXPECT_FALSE(TestFolder::Exists(place.programFolder));
    EXPECT_FALSE(TestFolder::Exists(blocked + L".partial"));
    EXPECT_TRUE(IsDirectory(blocked));
    EXPECT_TRUE(installer.startCommand.IsEmpty());
}

TEST_F(InstallFailureTest, DamagedCompressedEntryWritesNothingForIt)
{
    std::string pack = TestPack(L"Full");
    size_t offset = StreamOffset(pack, 0);
    ASSERT_NE(std::string::npos, offset);
    for (size_t i = 10; i < 40; ++i)
        pack[offset + i] = static_cast<char>(pack[offset + i] ^ 0x5A);
    RecordingInstaller installer;
    ASSERT_EQ(E_FAIL, InstallPack(pack, installer));
    EXPECT_TRUE(SError::Identifier() == L"Install.Inflate");
    EXPECT_TRUE(SError::Messages()[0] == L"TW.Remover.exe");
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.Remover.exe"));
}

TEST_F(InstallFailureTest, WrongDeclaredSizeIsDamage)
{
    std::string pack = TestPack(L"Full");
    size_t stream = StreamOffset(pack, 1);
    ASSERT_NE(std::string::npos, stream);
    size_t sizeField = stream - 4;
    pack[sizeField] = static_cast<char>(pack[sizeField] + 1); // ".deployment" claims 27 bytes
    RecordingInstaller installer;
    ASSERT_EQ(E_FAIL, InstallPack(pack, installer));
    EXPECT_TRUE(SError::Identifier() == L"Install.Inflate");
    EXPECT_TRUE(SError::Messages()[0] == L".deployment");
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\.deployment"));
}

TEST_F(InstallFailureTest, PluginWithoutExportFailsAndIsUnloaded)
{
    RecordingInstaller installer;
    ASSERT_EQ(E_FAIL, InstallPack(TestPack(L"NoExportPlugin"), installer));
    EXPECT_TRUE(SError::Identifier() == L"TWDLLInstall.GetProcAddress");
    SString library = place.programFolder + L"\\NPTW3D.dll";
    EXPECT_TRUE(SError::Messages()[SError::Messages().Count() - 1] == library);
    // The rollback could delete it: nothing holds it loaded.
    EXPECT_FALSE(TestFolder::Exists(library)) << "the library stayed loaded";
}

TEST_F(InstallFailureTest, FailingPluginEntryFailsTheInstall)
{
    // The library reads the marker beside itself once it is installed.
    CreateDir(place.programFolder);
    TestFolder::RemoveTree(place.programFolder + L"\\TW.Plugin.IE.dll.fail");
    HANDLE marker = ::CreateFileW((place.programFolder + L"\\TW.Plugin.IE.dll.fail").CStr(), GENERIC_WRITE, 0, NULL,
                                  CREATE_ALWAYS, 0, NULL);
    ::CloseHandle(marker);
    RecordingInstaller installer;
    ASSERT_EQ(E_FAIL, InstallPack(TestPack(L"Full"), installer));
    EXPECT_TRUE(SError::Identifier() == L"TWDLLInstall.EntryFailed");
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\Uninstall"));
    // Shortcuts and schemes (4), the file type and App Paths (2), then the
    // first library; the second one failed.
    EXPECT_EQ(7, installer.UninstallActions.Count());
    EXPECT_TRUE(installer.UninstallActions[installer.UninstallActions.Count() - 1].StartsWith(L"DLLUninstall."));
}

TEST_F(InstallFailureTest, UnreachableDownloadFailsTheInstall)
{
    RecordingInstaller installer;
    ASSERT_EQ(E_FAIL, InstallPack(TestPack(L"Download"), installer));
    EXPECT_TRUE(SError::Identifier() == L"OpenURL.HttpSendRequest") << SError::Text().CStr();
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe"));
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\Uninstall"));
}

TEST_F(InstallFailureTest, MissingPackageIsReported)
{
    RecordingInstaller installer; // the test program carries no PACK
    ASSERT_EQ(E_FAIL, installer.Install(InstallOptions()));
    EXPECT_TRUE(SError::Identifier() == L"ReadPackage.FindResource");
}

TEST_F(InstallFailureTest, RegistryWriteFailureReportsSetValue)
{
    // A value name is limited to 16383 characters; a longer one cannot be written.
    TWInstall engine;
    SString scheme;
    for (int i = 0; i < 300; ++i)
        scheme += L"x";
    SString longName;
    for (int i = 0; i < 17000; ++i)
        longName += L"n";
    EXPECT_EQ(E_FAIL, SetValue(HKEY_CURRENT_USER, L"Software\\TarnwickTests", longName, SString(L"v")));
    EXPECT_TRUE(SError::Identifier() == L"SetValue");
    EXPECT_EQ(E_FAIL, engine.RegisterUri(scheme, L"cmd", L"icon")); // key names end at 255 characters
    EXPECT_TRUE(SError::Identifier() == L"SetValue");
    EXPECT_EQ(0, engine.UninstallActions.Count());
    DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\TarnwickTests");
}

TEST(WriteFileWithProgress, ChunksOf4096WithProgressBeforeEach)
{
    TestFolder folder(L"Writer");
    RecordingInstaller installer;
    std::string bytes(10000, 'z');
    DWORD done = 100;
    ASSERT_EQ(S_OK, installer.WriteFileWithProgress(folder / L"big.bin", reinterpret_cast<const BYTE*>(bytes.data()),
                                                    10000, L"Copying", &done, 20000));
    EXPECT_EQ(10100u, done);
    ASSERT_EQ(3u, installer.reports.size());
    EXPECT_FLOAT_EQ(100.0f / 20000, installer.reports[0].second);
    EXPECT_FLOAT_EQ(4196.0f / 20000, installer.reports[1].second);
    EXPECT_FLOAT_EQ(8292.0f / 20000, installer.reports[2].second);
    EXPECT_EQ(bytes, TestFolder::ReadFile(folder / L"big.bin"));

    ASSERT_EQ(S_OK, installer.WriteFileWithProgress(folder / L"empty.bin", NULL, 0, L"Copying", &done, 0));
    ASSERT_EQ(S_OK, installer.WriteFileWithProgress(folder / L"quiet.bin", reinterpret_cast<const BYTE*>("ab"), 2,
                                                    SString(), &done, 0));
    EXPECT_EQ(3u, installer.reports.size());
    EXPECT_EQ(10100u, done);
    EXPECT_EQ("", TestFolder::ReadFile(folder / L"empty.bin"));
}

TEST(WriteFileWithProgress, ZeroTotalReportsZeroNotNaN)
{
    TestFolder folder(L"ZeroTotal");
    RecordingInstaller installer;
    DWORD done = 0;
    ASSERT_EQ(S_OK, installer.WriteFileWithProgress(folder / L"x", reinterpret_cast<const BYTE*>("abc"), 3, L"t", &done,
                                                    0));
    ASSERT_EQ(1u, installer.reports.size());
    EXPECT_EQ(0.0f, installer.reports[0].second);
}

// An undo action that the remover would refuse fails the install instead of
// writing an "Uninstall" file that removes nothing.
TEST_F(InstallFailureTest, UndoActionLongerThanTheRemoverReadsFails)
{
    RecordingInstaller installer;
    EXPECT_EQ(E_FAIL, InstallPack(TestPack(L"LongCookie"), installer));
    EXPECT_TRUE(SError::Identifier() == L"WriteUninstallActions.TooLong") << SError::Text().CStr();
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\Uninstall"));
}

// An explicit folder becomes the install's own, which the remover deletes
// whole: one that the user or the system owns, or one that holds others'
// files, is refused before anything changes. The folder of an earlier
// install of this deployment is taken again.
TEST_F(InstallFailureTest, ExplicitFoldersThatAreNotTheInstallsOwnAreRefused)
{
    wchar_t documents[MAX_PATH] = {0};
    ::SHGetFolderPathW(NULL, CSIDL_PERSONAL, NULL, 0, documents);
    TestFolder foreign(L"Foreign");
    foreign.WriteFile(L"notes.txt", "keep");
    struct Case
    {
        SString program;
        SString data;
        const wchar_t* identifier;
    } cases[] = {
        {documents, SString(), L"Install.ProtectedFolder"},
        {SString(documents) + L"\\..", SString(), L"Install.ProtectedFolder"}, // the profile
        {SString(), GetDesktopFolder(), L"Install.ProtectedFolder"},
        {foreign.Path(), SString(), L"Install.FolderNotEmpty"},
        {SString(), foreign.Path(), L"Install.FolderNotEmpty"},
        {L"\\\\nohost.invalid\\share\\Program", SString(), L"Install.FolderInvalid"},
    };
    MachineSnapshot snapshot;
    snapshot.Folder(documents).Folder(foreign.Path()).Folder(GetDesktopFolder());
    std::string before = snapshot.Take();
    for (const Case& refused : cases)
    {
        SCOPED_TRACE(ToNarrow(refused.program + L"|" + refused.data));
        PackageModule module(TestPack(L"Full"), L"Failure");
        TWInstall engine;
        engine.packageModule = module.Get();
        InstallOptions options;
        options.programFolder = refused.program;
        options.dataFolder = refused.data;
        EXPECT_EQ(E_FAIL, engine.Install(options));
        EXPECT_TRUE(SError::Identifier() == refused.identifier) << SError::Text().CStr();
        EXPECT_EQ(before, snapshot.Take());
    }

    // The second install finds the first one's files; an update without a
    // folder goes where the program is, and one into another folder is
    // refused before anything changes.
    TestFolder own(L"Own");
    const SString runs[] = {own / L"Program", own / L"Program", SString(), own / L"Other"};
    snapshot.Folder(own.Path()).Folder(place.programFolder).Key(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName));
    for (const SString& folder : runs)
    {
        SCOPED_TRACE(ToNarrow(folder));
        PackageModule module(TestPack(L"Full"), L"Failure");
        TWInstall engine;
        engine.packageModule = module.Get();
        InstallOptions options;
        options.programFolder = folder;
        before = snapshot.Take();
        bool other = &folder == &runs[3];
        EXPECT_EQ(other ? E_FAIL : S_OK, engine.Install(options)) << SError::Text().CStr();
        EXPECT_TRUE(TestFolder::Exists(own / L"Program\\TW.Remover.exe"));
        EXPECT_FALSE(TestFolder::Exists(place.programFolder));
        if (other)
        {
            EXPECT_TRUE(SError::Identifier() == L"Install.FolderChanged") << SError::Text().CStr();
            EXPECT_EQ(before, snapshot.Take());
        }
    }
}
