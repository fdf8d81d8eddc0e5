#include "ProtectedFolder.h"
#include "SelfRemoval.h"

#include "SPath.h"
#include "SShell.h"

#include <gtest/gtest.h>

#include "TestFolder.h"

TEST(SelfRemoval, ScriptLiesBesideTheFolderAndNamesEveryPathQuoted)
{
    SString remover = L"C:\\Users\\x\\App Data\\Tarnwick.P\\TW.Remover.exe";
    EXPECT_TRUE(SelfRemovalScriptPath(remover) == L"C:\\Users\\x\\App Data\\TW.RemoverDelete.bat");
    std::string script;
    ASSERT_TRUE(SelfRemovalScript(remover, ::GetOEMCP(), SStringList(), script));
    EXPECT_EQ(0u, script.find("@echo off\r\ncd /D \"C:\\Users\\x\\App Data\"\r\n"));
    EXPECT_NE(std::string::npos, script.find("del \"C:\\Users\\x\\App Data\\Tarnwick.P\\TW.Remover.exe\""));
    EXPECT_NE(std::string::npos, script.find("del /f /q \"C:\\Users\\x\\App Data\\Tarnwick.P\\.deployment\" >nul 2>&1\r\n"
                                                "rmdir \"C:\\Users\\x\\App Data\\Tarnwick.P\" >nul 2>&1\r\n"));
    EXPECT_NE(std::string::npos, script.find("del \"C:\\Users\\x\\App Data\\TW.RemoverDelete.bat\"\r\n"));
    // Bounded: the loop gives up instead of spinning forever.
    EXPECT_NE(std::string::npos, script.find("GEQ"));
    EXPECT_EQ("\r\n", script.substr(script.size() - 2));
}

TEST(SelfRemoval, PathsOutsideTheConsoleCodePage)
{
    std::string script;
    // Latin letters exist in the console code page and are written in it.
    ASSERT_TRUE(SelfRemovalScript(L"C:\\D\x00E4t\x00E4\\T\\TW.Remover.exe", ::GetOEMCP(), SStringList(), script));
    char converted[8] = {0};
    ::WideCharToMultiByte(CP_OEMCP, 0, L"\x00E4", 1, converted, 8, NULL, NULL);
    EXPECT_NE(std::string::npos, script.find(std::string("C:\\D") + converted + "t" + converted));
    // A path that has no short name and no form in the code page writes no
    // script rather than one that names another path.
    EXPECT_FALSE(SelfRemovalScript(L"C:\\No such \x4E2D\\T\\TW.Remover.exe", 437, SStringList(), script));
}

// Where Windows uses UTF-8 for every language, the console's code page is
// 65001, and every path can be written in it.
TEST(SelfRemoval, UnicodeConsoleCodePage)
{
    std::string script;
    ASSERT_TRUE(SelfRemovalScript(L"C:\\D\x00E4t\x00E4 \x4E2D\\T\\TW.Remover.exe", CP_UTF8, SStringList(), script));
    EXPECT_NE(std::string::npos, script.find("del \"C:\\D\xC3\xA4t\xC3\xA4 \xE4\xB8\xAD\\T\\TW.Remover.exe\""));
}

// cmd expands "%" in a batch file: "Ann%Lee" must be written "Ann%%Lee".
TEST(SelfRemoval, PercentSignsAreDoubled)
{
    std::string script;
    ASSERT_TRUE(SelfRemovalScript(L"C:\\Users\\Ann%Lee\\x%TEMP%y\\T\\TW.Remover.exe", ::GetOEMCP(), SStringList(), script));
    EXPECT_NE(std::string::npos, script.find("rmdir \"C:\\Users\\Ann%%Lee\\x%%TEMP%%y\\T\" >nul 2>&1\r\n"));
    EXPECT_NE(std::string::npos, script.find("cd /D \"C:\\Users\\Ann%%Lee\\x%%TEMP%%y\"\r\n"));
}

// A remover that lies directly in a protected folder takes only itself.
TEST(SelfRemoval, ProtectedFolderIsNotRemoved)
{
    SString folder = GetLocalAppDataFolder();
    ASSERT_TRUE(IsProtectedFolder(folder));
    std::string script;
    ASSERT_TRUE(SelfRemovalScript(folder + L"\\TW.Remover.exe", ::GetOEMCP(), SStringList(), script));
    EXPECT_NE(std::string::npos, script.find("del \""));
    EXPECT_EQ(std::string::npos, script.find("rmdir"));
    EXPECT_EQ(std::string::npos, script.find("\\Uninstall"));
}

// A folder whose name only its short name can write: the script still
// deletes itself at the end, which needs its own short name.
TEST(SelfRemoval, ScriptNamedByItsShortNameDeletesItself)
{
    TestFolder root(L"SelfRemoval");
    SString parent = root.Path() + L"\\\x4E2D\x6587 folder";
    SString folder = parent + L"\\Tarnwick.P";
    ::CreateDirectoryW(parent.CStr(), NULL);
    ::CreateDirectoryW(folder.CStr(), NULL);
    SString remover = folder + L"\\TW.Remover.exe";
    HANDLE file = ::CreateFileW(remover.CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ::CloseHandle(file);
    std::string text;
    if (!SelfRemovalScript(remover, ::GetOEMCP(), SStringList(), text) || text.find("\xE4\xB8\xAD") != std::string::npos)
        GTEST_SKIP() << "the console code page writes this path without short names";
    StartSelfRemoval(remover, SStringList());
    SString script = SelfRemovalScriptPath(remover);
    for (int i = 0; i < 300 && (TestFolder::Exists(script) || TestFolder::Exists(folder)); ++i)
        ::Sleep(100);
    EXPECT_FALSE(TestFolder::Exists(folder));
    EXPECT_FALSE(TestFolder::Exists(script));
}

// Folders that the install made above the remover's go once they are empty;
// the script then lies outside them all.
TEST(SelfRemoval, EmptyParentsAreRemoved)
{
    TestFolder root(L"SelfRemovalParents");
    SString top = root.Path() + L"\\Pr\x00F6gram";
    SString folder = top + L"\\Deep\\Level";
    CreateDir(folder);
    SString remover = folder + L"\\TW.Remover.exe";
    HANDLE file = ::CreateFileW(remover.CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ::CloseHandle(file);
    SStringList parents;
    parents.Append(top + L"\\Deep");
    parents.Append(top);
    StartSelfRemoval(remover, parents);
    SString script = SelfRemovalScriptPath(remover, parents);
    for (int i = 0; i < 300 && (TestFolder::Exists(top) || TestFolder::Exists(script)); ++i)
        ::Sleep(100);
    EXPECT_FALSE(TestFolder::Exists(top));
    EXPECT_FALSE(TestFolder::Exists(script));
    EXPECT_TRUE(TestFolder::Exists(root.Path()));
}
