#include "DeleteFolderTree.h"
#include "SError.h"
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

// Never through a link: not one inside, not the folder asked for, not one
// above it. Wine cannot remove a Unix link, so only what the links lead to
// is checked.
TEST(DeleteFolderTree, LinksAreNeverFollowed)
{
    TestFolder root(L"DeleteLinks");
    CreateDir(root / L"outside\\sub");
    root.WriteFile(L"outside\\precious.txt", "keep me");
    root.WriteFile(L"outside\\sub\\deeper.txt", "keep me too");
    CreateDir(root / L"install");
    ASSERT_TRUE(TestFolder::LinkFolder(root / L"install\\link", root / L"outside"));
    EXPECT_EQ(E_FAIL, DeleteFolderTree(root / L"install\\link\\sub"));
    EXPECT_TRUE(SError::Identifier() == L"DeleteFolderTree.Link");
    EXPECT_EQ(S_OK, DeleteFolderTree(root / L"install\\link"));
    EXPECT_EQ(S_OK, DeleteFolderTree(root / L"install"));
    EXPECT_EQ("keep me", TestFolder::ReadFile(root / L"outside\\precious.txt"));
    EXPECT_EQ("keep me too", TestFolder::ReadFile(root / L"outside\\sub\\deeper.txt"));
    TestFolder::Unlink(root / L"install\\link");
}
