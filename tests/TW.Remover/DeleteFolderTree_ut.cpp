#include "DeleteFolderTree.h"
#include "SPath.h"
#include "SShell.h"

#include <gtest/gtest.h>

#include "TestFolder.h"

TEST(DeleteFolderTree, NestedTreeGoesDotEntriesIncluded)
{
    TestFolder root(L"DeleteTree");
    CreateDir(root / L"a\\b\\c");
    root.WriteFile(L"a\\b\\c\\deep.txt", "x");
    root.WriteFile(L"a\\top.txt", "x");
    CreateDir(root / L"data\\.git\\objects");
    root.WriteFile(L"data\\.cache", "x");
    root.WriteFile(L"data\\.lock", "x");
    root.WriteFile(L"data\\.git\\objects\\.keep", "x");
    root.WriteFile(L"data\\..x", "x");
    EXPECT_EQ(S_OK, DeleteFolderTree(root / L"a"));
    EXPECT_FALSE(TestFolder::Exists(root / L"a"));
    EXPECT_EQ(S_OK, DeleteFolderTree(root / L"data"));
    EXPECT_FALSE(TestFolder::Exists(root / L"data"));
    EXPECT_TRUE(TestFolder::Exists(root.Path())); // never above the folder asked for
    EXPECT_EQ(S_OK, DeleteFolderTree(root / L"does not exist"));
}

TEST(DeleteFolderTree, LinksAreRemovedNotFollowed)
{
    TestFolder root(L"DeleteLinks");
    CreateDir(root / L"outside");
    root.WriteFile(L"outside\\precious.txt", "keep me");
    CreateDir(root / L"install");
    if (!::CreateSymbolicLinkW((root / L"install\\link").CStr(), (root / L"outside").CStr(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY))
        GTEST_SKIP() << "this system cannot create directory links";
    ASSERT_TRUE(::GetFileAttributesW((root / L"install\\link").CStr()) & FILE_ATTRIBUTE_REPARSE_POINT);
    DeleteFolderTree(root / L"install");
    EXPECT_EQ("keep me", TestFolder::ReadFile(root / L"outside\\precious.txt"));
    EXPECT_FALSE(TestFolder::Exists(root / L"install"));
}
