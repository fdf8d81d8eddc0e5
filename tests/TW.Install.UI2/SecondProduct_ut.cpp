// Another publisher's product, built from examples/ with its own vendor,
// channel and module name (tests/tools/second_product.sh builds it and runs
// this test): nothing it makes on the machine carries this tree's own names,
// and its remover brings the machine back to where it was.
#include "SRegistry.h"

#include <gtest/gtest.h>

#include <set>

#include "MachineSnapshot.h"
#include "SetupDriver.h"
#include "TestPeer.h"

namespace
{
const wchar_t g_uninstall[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

// The user's own keys of every publisher, and the install's places.
MachineSnapshot EverythingOfTheUser()
{
    MachineSnapshot snapshot;
    SStringList software;
    ListKeys(HKEY_CURRENT_USER, L"Software", software);
    for (int i = 0; i < software.Count(); ++i)
        if (software[i] != L"Microsoft" && software[i] != L"Wine" && software[i] != L"Classes")
            snapshot.Key(HKEY_CURRENT_USER, L"Software\\" + software[i]);
    return snapshot;
}
} // namespace

TEST(SecondProduct, MakesOnlyItsOwnNamesAndRemovesCompletely)
{
    wchar_t bin[MAX_PATH] = {0};
    if (!::GetEnvironmentVariableW(L"TW_SECOND_PRODUCT", bin, MAX_PATH))
        GTEST_SKIP() << "run by tests/tools/second_product.sh, which builds the example";
    const TestPeer& peer = TestPeer::Get();
    ASSERT_TRUE(peer.Available());
    ProxyScope proxy(peer);
    SStringList entriesBefore;
    ListKeys(HKEY_CURRENT_USER, g_uninstall, entriesBefore);
    MachineSnapshot snapshot = EverythingOfTheUser();
    std::string before = snapshot.Take();

    TestFolder logs(L"SecondProductLog");
    SString log = logs / L"setup.txt";
    SetupProcess setup(SString(bin) + L"\\TW.Install.UI2.exe", (L"/Silent /Log=" + log).CStr());
    ASSERT_EQ(0u, setup.WaitForExit()) << TestFolder::ReadFile(log);

    std::vector<std::string> old = Lines(before);
    std::set<std::string> known(old.begin(), old.end());
    int made = 0;
    bool lowCopy = false; // the module name, not this tree's, says what the low folder gets
    for (const std::string& line : Lines(snapshot.Take()))
    {
        if (known.count(line))
            continue;
        ++made;
        lowCopy = lowCopy || (line.find("\\LocalLow\\") != std::string::npos && line.find("\\Viewer.exe|") != std::string::npos);
        for (const char* ours : {"Tarnwick", "TW.3D", "Modeller"})
            EXPECT_EQ(std::string::npos, line.find(ours)) << line;
    }
    EXPECT_GT(made, 10);
    EXPECT_TRUE(lowCopy);

    SString entry;
    SStringList entries;
    ListKeys(HKEY_CURRENT_USER, g_uninstall, entries);
    for (int i = 0; i < entries.Count(); ++i)
    {
        bool known = false;
        for (int k = 0; k < entriesBefore.Count(); ++k)
            known = known || entriesBefore[k] == entries[i];
        if (!known)
            entry = SString(g_uninstall) + L"\\" + entries[i];
    }
    SString location;
    ASSERT_EQ(S_OK, GetValue(HKEY_CURRENT_USER, entry, L"InstallLocation", location)) << ToNarrow(entry);
    EXPECT_TRUE(TestFolder::Exists(location + L"\\Viewer.exe"));
    EXPECT_EQ(0u, RemoveInstall(location, L"/Silent"));
    EXPECT_EQ(before, snapshot.Take());
}
