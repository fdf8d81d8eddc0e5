// Complete installs of builder-made packages, checked on the real registry,
// shell and file system of the test prefix.
#include "SNls.h"
#include "SPath.h"

#include <gtest/gtest.h>
#include <shobjidl.h>

#include "EngineHarness.h"

namespace
{
struct ShortcutFields
{
    SString target, arguments, icon, description, workingFolder;
};

ShortcutFields ReadShortcut(const SString& file)
{
    ShortcutFields fields;
    SComPtr<IShellLinkW> link;
    SComPtr<IPersistFile> persist;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, persist.PutVoid())) || FAILED(persist->Load(file.CStr(), 0)))
        return fields;
    wchar_t text[MAX_PATH * 2] = {0};
    link->GetPath(text, MAX_PATH * 2, NULL, SLGP_RAWPATH);
    fields.target = text;
    link->GetArguments(text, MAX_PATH * 2);
    fields.arguments = text;
    int index = 0;
    link->GetIconLocation(text, MAX_PATH * 2, &index);
    fields.icon = text;
    link->GetDescription(text, MAX_PATH * 2);
    fields.description = text;
    text[0] = 0;
    link->GetWorkingDirectory(text, MAX_PATH * 2);
    fields.workingFolder = text;
    return fields;
}

std::string PluginCalls()
{
    return TestFolder::ReadFile(InstallPlace().programFolder + L"\\PluginCalls.txt");
}

class InstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::CoInitialize(NULL);
        place.Clear();
        TestFolder::RemoveTree(L"C:\\Tarnwick Tests");
    }
    void TearDown() override
    {
        place.Clear();
        TestFolder::RemoveTree(L"C:\\Tarnwick Tests");
    }

    InstallPlace place;
};

void ExpectString(HKEY root, const SString& path, const wchar_t* name, const SString& expected)
{
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(ReadRawValue(root, path, name, type, data)) << name;
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << name;
    EXPECT_EQ(Utf16Bytes(expected) + std::string("\0\0", 2), data) << name; // with its terminator
}

void ExpectNumberOne(HKEY root, const SString& path, const wchar_t* name)
{
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(ReadRawValue(root, path, name, type, data)) << name;
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(std::string("\x01\0\0\0", 4), data);
}
} // namespace

TEST_F(InstallTest, PerUserApplicationInstall)
{
    std::string pack = TestPack(L"Full");
    PackageModule module(pack);
    RecordingInstaller installer;
    installer.packageModule = module.Get();
    InstallOptions options;
    ASSERT_EQ(S_OK, installer.Install(options)) << SError::Text().CStr();

    // Files and their bytes.
    const SString& program = place.programFolder;
    const SString& data = place.dataFolder;
    SString bin = BinFolder();
    EXPECT_EQ(TestFolder::ReadFile(bin + L"\\TW.Remover.exe"), TestFolder::ReadFile(program + L"\\TW.Remover.exe"));
    EXPECT_EQ(std::string("N\0U\0E\0z\0Q\0z\0E\0""5\0R\0T\0c\0=\0\0\0", 26),
              TestFolder::ReadFile(program + L"\\.deployment"));
    std::string application = TestFolder::ReadFile(bin + L"\\TW.3D.Modeller.exe");
    EXPECT_EQ(application, TestFolder::ReadFile(program + L"\\TW.3D.Modeller.exe"));
    EXPECT_EQ(application, TestFolder::ReadFile(data + L"\\TW.3D.Modeller.exe")); // low program folder copy
    EXPECT_FALSE(TestFolder::Exists(data + L"\\TW.Remover.exe"));
    EXPECT_EQ("0123456789", TestFolder::ReadFile(data + L"\\Cache\\base.TWP"));
    EXPECT_EQ("ICON", TestFolder::ReadFile(data + L"\\Icons\\Icon.ico"));
    EXPECT_EQ("<Setting/>", TestFolder::ReadFile(data + L"\\Settings\\Login_Models.xml"));
    EXPECT_EQ("hello compressed world\n", TestFolder::ReadFile(data + L"\\UI\\na me \x00E9\x4E2D.txt"));
    EXPECT_EQ("ICON", TestFolder::ReadFile(program + L"\\Icon.ico"));

    // The uninstall entry: 13 values, text without terminator.
    SString entry = UninstallEntryPath(place.keyName);
    EXPECT_TRUE(place.keyName == L"Tarnwick_Production_Nest_5-2_5A3C19E7");
    for (const wchar_t* name : {L"Publisher", L"HelpLink", L"URLInfoAbout", L"URLUpdateInfo", L"Contact", L"Comments"})
        ExpectString(HKEY_CURRENT_USER, entry, name, GetNLS(name));
    ExpectString(HKEY_CURRENT_USER, entry, L"DisplayName", GetNLS(L"DisplayName"));
    ExpectString(HKEY_CURRENT_USER, entry, L"ProductName", place.keyName);
    ExpectString(HKEY_CURRENT_USER, entry, L"UninstallString", L"\"" + program + L"\\TW.Remover.exe\"");
    ExpectNumberOne(HKEY_CURRENT_USER, entry, L"NoModify");
    ExpectNumberOne(HKEY_CURRENT_USER, entry, L"NoRepair");
    ExpectString(HKEY_CURRENT_USER, entry, L"DisplayIcon", data + L"\\Icons\\Icon.ico");
    ExpectString(HKEY_CURRENT_USER, entry, L"InstallLocation", program);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, entry));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DeploymentKeyPath(place.suffix))); // default folders: no record

    // Shortcuts, read back through the shell.
    SString target = program + L"\\TW.3D.Modeller.exe";
    SString startMenuLink = GetStartMenuFolder() + L"\\Tarnwick 3D.lnk";
    SString desktopLink = GetDesktopFolder() + L"\\Tarnwick 3D.lnk";
    for (const SString* link : {&startMenuLink, &desktopLink})
    {
        ShortcutFields fields = ReadShortcut(*link);
        EXPECT_TRUE(fields.target == target) << fields.target.CStr();
        EXPECT_TRUE(fields.arguments == L"/UI Local");
        EXPECT_TRUE(fields.icon == program + L"\\Icon.ico");
        EXPECT_TRUE(fields.description == GetNLS(L"ShortcutDescription"));
        EXPECT_TRUE(fields.workingFolder.IsEmpty());
    }

    // URI schemes.
    SString command = L"\"" + target + L"\" /uri \"%1\"";
    for (const wchar_t* scheme : {L"tarnwick", L"tw3d"})
    {
        SString key = SString(L"Software\\Classes\\") + scheme;
        ExpectString(HKEY_CURRENT_USER, key, L"Url Protocol", SString());
        ExpectString(HKEY_CURRENT_USER, key + L"\\DefaultIcon", L"", program + L"\\Icon.ico");
        ExpectString(HKEY_CURRENT_USER, key + L"\\shell\\open\\command", L"", command);
    }

    // Plug-in hooks, in package order, per user.
    EXPECT_EQ("TWInstall|" + std::string(ToNarrow(program + L"\\NPTW3D.dll")) + "|0\r\n" + "TWInstall|" +
                  ToNarrow(program + L"\\TW.Plugin.IE.dll") + "|0\r\n",
              PluginCalls());

    // The actions file, newest first.
    std::vector<SString> recorded = {L"DeleteFile." + startMenuLink,
                                     L"DeleteFile." + desktopLink,
                                     L"UnregisterUri.tarnwick",
                                     L"UnregisterUri.tw3d",
                                     L"UnregisterFileType..tw3d|Tarnwick.Model",
                                     L"UnregisterAppPath.TW.3D.Modeller.exe",
                                     L"DLLUninstall." + program + L"\\NPTW3D.dll",
                                     L"DLLUninstall." + program + L"\\TW.Plugin.IE.dll",
                                     L"UnRegisterCookie.bye",
                                     L"UnregisterInstall"};
    EXPECT_EQ(ActionFileBytes(recorded), TestFolder::ReadFile(program + L"\\Uninstall"));

    EXPECT_TRUE(installer.startCommand == L"\"" + target + L"\" /UI Local");

    // Progress: status texts in step order, fractions never falling, last exactly 1.0.
    const std::vector<std::pair<SString, float> >& reports = installer.reports;
    ASSERT_GE(reports.size(), 4u);
    EXPECT_TRUE(reports[0].first == GetNLS(L"Install.Prepare"));
    EXPECT_EQ(0.0f, reports[0].second);
    EXPECT_TRUE(reports[1].first == GetNLS(L"Install.CreateDir"));
    EXPECT_TRUE(reports[2].first == GetNLS(L"Install.Copy"));
    EXPECT_TRUE(reports.back().first == GetNLS(L"Install.Complete"));
    EXPECT_EQ(1.0f, reports.back().second);
    for (size_t i = 1; i < reports.size(); ++i)
        EXPECT_GE(reports[i].second, reports[i - 1].second) << i;
    for (size_t i = 2; i + 1 < reports.size(); ++i)
        EXPECT_TRUE(reports[i].first == GetNLS(L"Install.Copy"));
}

TEST_F(InstallTest, PerMachineInstallIntoExplicitFolders)
{
    PackageModule module(TestPack(L"Admin"));
    RecordingInstaller installer;
    installer.packageModule = module.Get();
    ASSERT_EQ(S_OK, installer.Install(InstallOptions())) << SError::Text().CStr();
    SString program = L"C:\\Tarnwick Tests\\Pr\x00F6gram Files\\Deep\\Level";
    SString data = L"C:\\Tarnwick Tests\\D\x00E4t\x00E4 \x4E2D";
    EXPECT_EQ("ICON", TestFolder::ReadFile(data + L"\\Icons\\Icon.ico"));
    EXPECT_TRUE(TestFolder::Exists(program + L"\\TW.Remover.exe"));

    SString keyPath = DeploymentKeyPath(place.suffix);
    ExpectString(HKEY_LOCAL_MACHINE, keyPath + L"\\ApplicationData", L"Tarnwick", data);
    ExpectString(HKEY_LOCAL_MACHINE, keyPath + L"\\ProgramFiles", L"Tarnwick", program);

    SString entry = UninstallEntryPath(place.keyName);
    ExpectString(HKEY_LOCAL_MACHINE, entry, L"InstallLocation", program);
    ExpectNumberOne(HKEY_LOCAL_MACHINE, entry, L"NoRepair");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, entry));
    // What inventory tools read: version, size, date, quiet removal.
    ExpectString(HKEY_LOCAL_MACHINE, entry, L"DisplayVersion", ProductVersion());
    ExpectString(HKEY_LOCAL_MACHINE, entry, L"QuietUninstallString", L"\"" + program + L"\\TW.Remover.exe\" /Silent");
    SString date;
    ASSERT_EQ(S_OK, GetValue(HKEY_LOCAL_MACHINE, entry, L"InstallDate", date));
    EXPECT_EQ(8, date.Length());
    DWORD kib = 0, size = sizeof(kib), type = 0;
    ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_LOCAL_MACHINE, entry.CStr(), L"EstimatedSize", RRF_RT_ANY, &type, &kib,
                                            &size));
    EXPECT_EQ(DWORD(REG_DWORD), type);
    EXPECT_LT(DWORD(200), kib); // the remover and the plug-in alone are more

    // Program and low program folder coincide: no icon copy.
    EXPECT_FALSE(TestFolder::Exists(program + L"\\Icon.ico"));
    ShortcutFields fields = ReadShortcut(GetDesktopFolder() + L"\\Tarnwick 3D.lnk");
    EXPECT_TRUE(fields.icon == data + L"\\Icons\\Icon.ico");

    EXPECT_EQ("TWInstall|" + ToNarrow(program + L"\\NPTW3D.dll") + "|1\r\n",
              TestFolder::ReadFile(program + L"\\PluginCalls.txt"));
    std::string actions = TestFolder::ReadFile(program + L"\\Uninstall");
    SString first = L"UnregisterInstallAdmin";
    EXPECT_EQ(Utf16Bytes(first), actions.substr(8, first.Length() * 2));
    EXPECT_NE(std::string::npos, actions.find(Utf16Bytes(L"DLLUninstallAdmin." + program + L"\\NPTW3D.dll")));
}

TEST_F(InstallTest, OptionsChooseShortcutsModuleAndSettings)
{
    PackageModule module(TestPack(L"Full"));
    RecordingInstaller installer;
    installer.packageModule = module.Get();
    InstallOptions options;
    options.startMenuShortcut = 0;
    options.moduleName = L"Viewer";
    options.displayName = L"Tarnwick Viewer";
    SettingsFile settings;
    settings.name = L"User";
    settings.values.push_back(std::make_pair(SString(L"Server"), SString(L"a<b & 'c' \"d\" > \x00E9")));
    settings.values.push_back(std::make_pair(SString(L"Empty"), SString()));
    options.settingsFiles.push_back(settings);
    ASSERT_EQ(S_OK, installer.Install(options)) << SError::Text().CStr();

    EXPECT_FALSE(TestFolder::Exists(GetStartMenuFolder() + L"\\Tarnwick 3D.lnk"));
    ShortcutFields fields = ReadShortcut(GetDesktopFolder() + L"\\Tarnwick 3D.lnk");
    EXPECT_TRUE(fields.target == place.programFolder + L"\\Viewer.exe");
    EXPECT_TRUE(installer.startCommand == L"\"" + place.programFolder + L"\\Viewer.exe\" /UI Local");
    // The application entry is not the module any more: no low-folder copy.
    EXPECT_FALSE(TestFolder::Exists(place.dataFolder + L"\\TW.3D.Modeller.exe"));
    ExpectString(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName), L"DisplayName", L"Tarnwick Viewer");

    EXPECT_EQ("<?xml version='1.0'?>\n<Setting>\n"
              "  <String Name='Server'>a&lt;b &amp; &apos;c&apos; &quot;d&quot; &gt; \xC3\xA9</String>\n"
              "  <String Name='Empty'></String>\n"
              "</Setting>\n",
              TestFolder::ReadFile(place.dataFolder + L"\\Settings\\User.xml"));
}
