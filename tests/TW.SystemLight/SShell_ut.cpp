#include "SError.h"
#include "SPath.h"
#include "SShell.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <thread>

#include "TestFolder.h"

TEST(SShell, FoldersExistWithoutTrailingBackslash)
{
    SString local = GetLocalAppDataFolder();
    SString low = GetLocalAppDataLowFolder();
    for (const SString* folder : {&local, &low})
    {
        EXPECT_FALSE(folder->IsEmpty());
        EXPECT_FALSE(folder->EndsWith(L"\\"));
    }
    EXPECT_TRUE(low.EndsWith(L"\\LocalLow"));
    EXPECT_TRUE(DirectoryPart(low) == DirectoryPart(local)); // siblings
    EXPECT_TRUE(IsDirectory(GetDesktopFolder()));
    EXPECT_FALSE(GetStartMenuFolder().IsEmpty());
}

TEST(SShell, ShortcutFailures)
{
    TestFolder folder(L"Shortcuts");
    // Without COM on the thread the Shell Link object cannot be created.
    std::thread withoutCom([&folder]() {
        EXPECT_EQ(E_FAIL, TWCreateShortcut(L"C:\\t.exe", L"", L"", folder / L"a.lnk", L""));
        EXPECT_TRUE(SError::Text() == L"TWCreateShortcut.CoCreateInstance\nC:\\t.exe\n" + (folder / L"a.lnk"));
    });
    withoutCom.join();
    ::CoInitialize(NULL);
    SString missing = folder / L"no such folder\\b.lnk";
    EXPECT_EQ(E_FAIL, TWCreateShortcut(L"C:\\t.exe", L"/UI Local", L"", missing, L"d"));
    EXPECT_TRUE(SError::Identifier() == L"TWCreateShortcut.Save");
    EXPECT_FALSE(TestFolder::Exists(missing));
    EXPECT_EQ(S_OK, TWCreateShortcut(L"C:\\t.exe", L"/UI Local", L"", folder / L"c.lnk", L"d"));
    EXPECT_TRUE(TestFolder::Exists(folder / L"c.lnk"));
}

TEST(SShell, StartProcessSwallowsFailures)
{
    EXPECT_EQ(S_OK, StartProcess(SString()));
    EXPECT_EQ(S_OK, StartProcess(L"\"C:\\no such program.exe\""));
}

TEST(SShell, StartProcessStartsTheCommandLine)
{
    TestFolder folder(L"StartProcess");
    SString marker = folder / L"started.txt";
    wchar_t system[MAX_PATH] = {0};
    ::GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_EQ(S_OK, StartProcess(L"\"" + SString(system) + L"\\cmd.exe\" /c echo started>\"" + marker + L"\""));
    for (int i = 0; i < 100 && TestFolder::ReadFile(marker).find("started") == std::string::npos; ++i)
        ::Sleep(100);
    EXPECT_EQ(0u, TestFolder::ReadFile(marker).find("started"));
}
