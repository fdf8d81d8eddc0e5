#include "ProtectedFolder.h"
#include "SPath.h"
#include "SShell.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include "TestFolder.h"

TEST(IsProtectedFolder, RootsSystemAndUserFolders)
{
    wchar_t windows[MAX_PATH] = {0};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    wchar_t profile[MAX_PATH] = {0};
    ::SHGetFolderPathW(NULL, CSIDL_PROFILE, NULL, 0, profile);
    for (const wchar_t* path : {L"C:\\", L"C:", L"c:\\", L"Z:\\", L"\\\\server\\share", static_cast<const wchar_t*>(windows),
                                static_cast<const wchar_t*>(profile)})
        EXPECT_TRUE(IsProtectedFolder(path)) << path;
    EXPECT_TRUE(IsProtectedFolder(SString(windows) + L"\\"));
    EXPECT_TRUE(IsProtectedFolder(GetDesktopFolder()));
    EXPECT_TRUE(IsProtectedFolder(GetLocalAppDataFolder()));
    EXPECT_TRUE(IsProtectedFolder(GetLocalAppDataLowFolder()));
    EXPECT_TRUE(IsProtectedFolder(DirectoryPart(profile))); // every user's profile
    EXPECT_TRUE(IsProtectedFolder(GetLocalAppDataFolder() + L"\\..\\Local"));
    wchar_t documents[MAX_PATH] = {0};
    ::SHGetFolderPathW(NULL, CSIDL_PERSONAL, NULL, 0, documents);
    EXPECT_TRUE(IsProtectedFolder(SString(documents) + L"\\"));
    EXPECT_TRUE(IsProtectedFolder(L"c:/users/../users")); // the folder of every profile, spelt otherwise
    EXPECT_TRUE(IsProtectedFolder(DirectoryPart(GetLocalAppDataFolder()))); // "AppData" holds protected folders
    EXPECT_FALSE(IsProtectedFolder(GetLocalAppDataFolder() + L"\\Tarnwick.x"));
    // Known folders that no CSIDL names, and the folder of many products.
    EXPECT_TRUE(IsProtectedFolder(GetLocalAppDataFolder() + L"\\Programs"));
    SString downloads = GetKnownFolder(L"{374DE290-123F-4565-9164-39C4925E467B}");
    EXPECT_TRUE(downloads.IsEmpty() || IsProtectedFolder(downloads)) << downloads.CStr();
    EXPECT_FALSE(IsProtectedFolder(L"C:\\Tarnwick Tests\\Data"));
}

// However it is reached: through a link, it is still the user's folder.
TEST(IsProtectedFolder, ComparesWhatAFolderIsNotHowItIsSpelt)
{
    TestFolder root(L"Spelt");
    wchar_t documents[MAX_PATH] = {0};
    ::SHGetFolderPathW(NULL, CSIDL_PERSONAL, NULL, 0, documents);
    ASSERT_TRUE(TestFolder::LinkFolder(root / L"Docs", documents));
    EXPECT_TRUE(IsProtectedFolder(root / L"Docs"));
    EXPECT_FALSE(IsProtectedFolder(root.Path()));
    TestFolder::Unlink(root / L"Docs");
}
