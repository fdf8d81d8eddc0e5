#include "SelfRemoval.h"

#include <gtest/gtest.h>

TEST(SelfRemoval, ScriptLiesBesideTheFolderAndNamesEveryPathQuoted)
{
    SString remover = L"C:\\Users\\x\\App Data\\Tarnwick.P\\TW.Remover.exe";
    EXPECT_TRUE(SelfRemovalScriptPath(remover) == L"C:\\Users\\x\\App Data\\TW.RemoverDelete.bat");
    std::string script;
    ASSERT_TRUE(SelfRemovalScript(remover, script));
    EXPECT_EQ(0u, script.find("@echo off\r\ncd /D \"C:\\Users\\x\\App Data\"\r\n"));
    EXPECT_NE(std::string::npos, script.find("del \"C:\\Users\\x\\App Data\\Tarnwick.P\\TW.Remover.exe\""));
    EXPECT_NE(std::string::npos, script.find("rmdir \"C:\\Users\\x\\App Data\\Tarnwick.P\" /s /q\r\n"));
    EXPECT_NE(std::string::npos, script.find("del \"C:\\Users\\x\\App Data\\TW.RemoverDelete.bat\"\r\n"));
    // Bounded: the loop gives up instead of spinning forever.
    EXPECT_NE(std::string::npos, script.find("GEQ"));
    EXPECT_EQ("\r\n", script.substr(script.size() - 2));
}

TEST(SelfRemoval, PathsOutsideTheConsoleCodePage)
{
    std::string script;
    // Latin letters exist in the console code page and are written in it.
    ASSERT_TRUE(SelfRemovalScript(L"C:\\D\x00E4t\x00E4\\T\\TW.Remover.exe", script));
    std::string expected;
    char converted[8] = {0};
    ::WideCharToMultiByte(CP_OEMCP, 0, L"\x00E4", 1, converted, 8, NULL, NULL);
    EXPECT_NE(std::string::npos, script.find(std::string("C:\\D") + converted + "t" + converted));
    // A path that has no short name and no form in the code page writes no
    // script rather than one that names another path.
    EXPECT_FALSE(SelfRemovalScript(L"C:\\No such \x4E2D\\T\\TW.Remover.exe", script));
}
