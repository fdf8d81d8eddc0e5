// The real setup program installs silently and the installed remover takes
// everything away again.
#include "InstallNames.h"
#include "SNls.h"
#include "SRegistry.h"

#include <gtest/gtest.h>

#include "SetupDriver.h"

namespace
{
typedef std::vector<std::pair<std::wstring, std::wstring> > Settings;

// Runs the installed remover and waits for its removal script to finish.
DWORD RemoveInstall(const SString& programFolder)
{
    SetupProcess remover(programFolder + L"\\TW.Remover.exe", L"");
    DWORD code = remover.WaitForExit();
    SString script = DirectoryPart(programFolder) + L"\\TW.RemoverDelete.bat";
    WaitFor([&]() { return !TestFolder::Exists(script) && !TestFolder::Exists(programFolder); });
    return code;
}

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
} // namespace

// Tables whose DeploymentID is the placeholder install under the names
// without an identifier, and the remover, which reads the placeholder from
// ".deployment", finds those names.
TEST(SilentRoundTrip, PlaceholderDeploymentIsRemovedCompletely)
{
    SString channel = ReleaseChannel();
    SString suffix = InstanceSuffix(channel, false, SString());
    SString program = GetLocalAppDataFolder() + L"\\Tarnwick" + suffix;
    SString data = GetLocalAppDataLowFolder() + L"\\Tarnwick" + suffix;
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
