// A library planted beside the setup program or the remover, under the name of
// a library that the program or the system libraries it uses ask for, is never
// loaded: not in silent mode, not in window mode, not by the remover. The
// loader is told to prefer libraries it finds over the system's own, as
// Windows does for every library that is not a KnownDLL.
#include "SNls.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "SetupDriver.h"
#include "TestPeer.h"

namespace
{
// The libraries that the programs, WinINet, CNG, the common controls and the
// shell load on Windows or under Wine, none of them a KnownDLL.
const wchar_t* const g_plantedNames[] = {
    L"version",  L"bcrypt",   L"wininet", L"uxtheme", L"dwmapi",   L"cryptbase", L"winhttp",  L"secur32",
    L"iertutil", L"urlmon",   L"profapi", L"userenv", L"comctl32", L"crypt32",   L"ncrypt",   L"sspicli",
    L"dnsapi",   L"iphlpapi", L"netapi32", L"mpr",    L"winmm",    L"wintrust",  L"cryptnet", L"propsys",
    L"apphelp",  L"rsaenh",   L"msimg32", L"dbghelp", L"wldp",     L"schannel",  L"ntmarta",  L"msasn1"};

typedef std::vector<std::pair<std::wstring, std::wstring> > Settings;
const Settings g_finishAtEnd = {{L"StartAtEnd", L"false"}};

// Sets an environment variable of this process, and so of the programs it
// starts, while it lives.
class EnvironmentScope
{
public:
    EnvironmentScope(const wchar_t* name, const wchar_t* value) : m_name(name)
    {
        ::SetEnvironmentVariableW(name, value);
    }
    ~EnvironmentScope() { ::SetEnvironmentVariableW(m_name, NULL); }

private:
    const wchar_t* m_name;
};

// While it lives, Wine's loader prefers a library it finds to its own for the
// programs of these file names, as Windows does for every library that is not
// a KnownDLL. Per program, in the registry: a WINEDLLOVERRIDES variable does
// not reach the programs that a Windows process starts.
class NativeFirstScope
{
public:
    explicit NativeFirstScope(std::initializer_list<const wchar_t*> programs) : m_programs(programs)
    {
        for (const wchar_t* program : m_programs)
            for (const wchar_t* name : g_plantedNames)
                SetValue(HKEY_CURRENT_USER, Key(program), name, SString(L"native,builtin"));
    }
    ~NativeFirstScope()
    {
        for (const wchar_t* program : m_programs)
            DeleteKeyTree(HKEY_CURRENT_USER, Key(program));
    }

private:
    static SString Key(const wchar_t* program)
    {
        return SString(L"Software\\Wine\\AppDefaults\\") + program + L"\\DllOverrides";
    }
    std::vector<const wchar_t*> m_programs;
};

class LibraryPlantingTest : public ::testing::Test
{
protected:
    LibraryPlantingTest()
        : m_folder(L"Planted"), m_log(L"PlantedLog"), m_nativeFirst({L"Setup.exe", L"TW.Remover.exe", L"Control.exe"}),
          m_logScope(L"TW_PLANTED_LOG", m_log.Path().CStr())
    {
        ::CoInitialize(NULL);
        m_place.Clear();
    }
    ~LibraryPlantingTest() override { m_place.Clear(); }

    // Puts a marker library under every name beside the program.
    static void Plant(const SString& folder)
    {
        SString marker = BinFolder() + L"\\PlantedLibrary.dll";
        for (const wchar_t* name : g_plantedNames)
            ::CopyFileW(marker.CStr(), (folder + L"\\" + name + L".dll").CStr(), FALSE);
    }

    // A copy of the setup program with a package that runs a plug-in hook and
    // downloads, in a folder full of planted libraries.
    SString PlantedSetup(const wchar_t* name)
    {
        SString variant = MakeSetupVariant(name, TestPack(L"UiPlanted"), g_finishAtEnd);
        SString program = m_folder / L"Setup.exe";
        ::CopyFileW(variant.CStr(), program.CStr(), FALSE);
        Plant(m_folder.Path());
        return program;
    }

    // The planted libraries that were loaded, by file name.
    std::wstring Loaded() const
    {
        std::wstring loaded;
        WIN32_FIND_DATAW entry = {};
        HANDLE find = ::FindFirstFileW((m_log / L"*.loaded").CStr(), &entry);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &entry))
            loaded += std::wstring(entry.cFileName) + L" ";
        if (find != INVALID_HANDLE_VALUE)
            ::FindClose(find);
        return loaded;
    }

    TestFolder m_folder;
    TestFolder m_log;
    NativeFirstScope m_nativeFirst;
    EnvironmentScope m_logScope;
    InstallPlace m_place;
};
} // namespace

TEST_F(LibraryPlantingTest, TheControlProgramLoadsWhatIsPlanted)
{
    SString control = m_folder / L"Control.exe";
    ::CopyFileW((BinFolder() + L"\\PlantControl.exe").CStr(), control.CStr(), FALSE);
    Plant(m_folder.Path());
    SetupProcess run(control, L"version.dll bcrypt.dll wininet.dll");
    EXPECT_EQ(0u, run.WaitForExit());
    EXPECT_EQ(L"bcrypt.dll.loaded version.dll.loaded wininet.dll.loaded ", Loaded());
}

TEST_F(LibraryPlantingTest, SilentSetupAndItsRemoverLoadNothingPlanted)
{
    const TestPeer& peer = TestPeer::Get();
    if (!peer.Available())
        GTEST_SKIP() << "no test server (run through ./tw test)";
    ProxyScope proxy(peer);
    SetupProcess setup(PlantedSetup(L"PlantedSilent"), L"/Silent");
    ASSERT_EQ(0u, setup.WaitForExit());
    EXPECT_TRUE(TestFolder::Exists(m_place.programFolder + L"\\TW.3D.Modeller.exe"));
    EXPECT_EQ(L"", Loaded());

    Plant(m_place.programFolder);
    SetupProcess remover(m_place.programFolder + L"\\TW.Remover.exe", L"");
    EXPECT_EQ(0u, remover.WaitForExit());
    EXPECT_FALSE(TestFolder::Exists(m_place.programFolder + L"\\Uninstall"));
    EXPECT_EQ(L"", Loaded());
}

TEST_F(LibraryPlantingTest, SetupWindowLoadsNothingPlanted)
{
    const TestPeer& peer = TestPeer::Get();
    if (!peer.Available())
        GTEST_SKIP() << "no test server (run through ./tw test)";
    ProxyScope proxy(peer);
    SetupProcess setup(PlantedSetup(L"PlantedWindow"), L"");
    HWND frame = NULL;
    ASSERT_TRUE(WaitFor([&]() { return (frame = setup.FindWindowCaptioned(GetNLS(L"Application.Title").CStr())); }));
    HWND finish = ::GetDlgItem(frame, 1);
    ASSERT_TRUE(WaitFor([&]() { return ::IsWindowVisible(finish) != FALSE; }));
    Click(finish);
    EXPECT_EQ(0u, setup.WaitForExit());
    EXPECT_TRUE(TestFolder::Exists(m_place.programFolder + L"\\TW.3D.Modeller.exe"));
    EXPECT_EQ(L"", Loaded());
}
