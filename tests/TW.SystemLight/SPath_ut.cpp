#include "SError.h"
#include "SPath.h"

#include <gtest/gtest.h>

#include "TestFolder.h"

TEST(SPath, Parts)
{
    EXPECT_TRUE(DirectoryPart(L"C:\\a\\b.txt") == L"C:\\a");
    EXPECT_TRUE(DirectoryPart(L"b.txt").IsEmpty());
    EXPECT_TRUE(FileNamePart(L"C:\\a\\b.txt") == L"b.txt");
    EXPECT_TRUE(FileNamePart(L"b.txt") == L"b.txt");
    EXPECT_TRUE(DirectoryPart(L"a/b") .IsEmpty());
    EXPECT_TRUE(Combine(L"C:\\a\\", L"b") == L"C:\\a\\\\b");
}

TEST(SPath, ModulePathIsThisProgram)
{
    const SString& path = GetModulePath();
    EXPECT_TRUE(path.EndsWith(L"SystemLightTests.exe"));
    EXPECT_EQ(path.Data(), GetModulePath().Data());
}

TEST(SPath, CreateDirMakesEveryMissingLevel)
{
    TestFolder root(L"CreateDir");
    SString deep = root.Path() + L"\\b c\\\x00E9\x4E2D\\d";
    ASSERT_EQ(S_OK, CreateDir(deep));
    EXPECT_TRUE(IsDirectory(deep));
    SERROR_SET("Untouched");
    EXPECT_EQ(S_OK, CreateDir(deep));
    EXPECT_TRUE(SError::Identifier() == L"Untouched");
}

TEST(SPath, CreateDirReportsFailures)
{
    EXPECT_EQ(E_FAIL, CreateDir(SString()));
    EXPECT_TRUE(SError::Text() == L"CreateDir.EmptyPath");

    TestFolder root(L"CreateDirFile");
    SString file = root.Path() + L"\\file";
    root.WriteFile(L"file", "x");
    SString below = file + L"\\sub";
    EXPECT_EQ(E_FAIL, CreateDir(below));
    EXPECT_TRUE(SError::Identifier() == L"CreateDir.CreateDirectory");
    ASSERT_EQ(2, SError::Messages().Count());
    EXPECT_TRUE(SError::Messages()[1] == below);
}
