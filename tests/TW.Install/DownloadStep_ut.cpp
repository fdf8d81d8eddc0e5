// The download step inside real installs, from the local server reached
// under the publisher's host names through the proxy.
#include "PeerInstallTest.h"
#include "SShell.h"

#include <functional>

namespace
{
class InstallDownloadTest : public PeerInstallTest
{
protected:
    // Both places of the application, as the install puts them.
    SString ProgramPath() const { return place.programFolder + L"\\TW.3D.Modeller.exe"; }
    SString LowPath() const { return place.dataFolder + L"\\TW.3D.Modeller.exe"; }

    void ExpectInstalledApplication(const SString& original)
    {
        std::string application = TestFolder::ReadFile(original);
        ASSERT_GT(application.size(), 4u);
        EXPECT_TRUE(application == TestFolder::ReadFile(ProgramPath()));
        EXPECT_TRUE(application == TestFolder::ReadFile(LowPath()));
        EXPECT_EQ(0u, PartialFiles());
    }

    // Staging files left in the two folders.
    size_t PartialFiles() const
    {
        size_t count = 0;
        for (const SString& folder : {place.programFolder, place.dataFolder})
            ForEachFile(folder, [&](const SString& path) { count += path.EndsWith(L".partial") ? 1 : 0; });
        return count;
    }

    static void ForEachFile(const SString& folder, const std::function<void(const SString&)>& visit)
    {
        WIN32_FIND_DATAW found;
        HANDLE find = ::FindFirstFileW((folder + L"\\*").CStr(), &found);
        if (find == INVALID_HANDLE_VALUE)
            return;
        do
        {
            SString name(found.cFileName);
            if (name == L"." || name == L"..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                ForEachFile(folder + L"\\" + name, visit);
            else
                visit(folder + L"\\" + name);
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }

};

SString ReleaseProgram()
{
    return DirectoryPart(BinFolder()) + L"\\release\\TW.3D.Modeller.exe";
}
} // namespace

TEST_F(InstallDownloadTest, PublishedApplicationIsInflatedIntoBothProgramFolders)
{
    ASSERT_EQ(S_OK, InstallPack(L"DownloadApp")) << SError::Text().CStr();
    ExpectInstalledApplication(BinFolder() + L"\\TW.3D.Modeller.exe");
    EXPECT_EQ("0123456789", TestFolder::ReadFile(place.dataFolder + L"\\Cache\\extra.TWP"));
    // The fraction rises with the received bytes and ends at exactly 1.
    float previous = 0.0f;
    for (const std::pair<SString, float>& report : installer.reports)
    {
        EXPECT_GE(report.second, previous);
        previous = report.second;
    }
    EXPECT_EQ(1.0f, installer.reports.back().second);
    // One report for every read of at most 4096 bytes.
    size_t body = TestFolder::ReadFile(SString(TW_TEST_DATA) + L"\\www\\files\\TW.3D.Modeller.body").size();
    EXPECT_GE(installer.reports.size(), body / 4096);
}

TEST_F(InstallDownloadTest, SignedS3Download)
{
    ASSERT_EQ(S_OK, InstallPack(L"DownloadS3")) << SError::Text().CStr();
    EXPECT_EQ(TestFolder::ReadFile(BinFolder() + L"\\TW.3D.Modeller.exe"),
              TestFolder::ReadFile(place.programFolder + L"\\TW.3D.Modeller.exe"));
}

TEST_F(InstallDownloadTest, S3UrlWithoutPathFailsBeforeAnyRequest)
{
    ASSERT_EQ(E_FAIL, InstallPack(L"DownloadNoSlash"));
    EXPECT_TRUE(SError::Text() == L"Install.parseurl\n.s3.us-east-1.amazonaws.com");
}

TEST_F(InstallDownloadTest, BodyTooShortForTheSizeWritesNothing)
{
    ASSERT_EQ(E_FAIL, InstallPack(L"DownloadShort"));
    EXPECT_TRUE(SError::Identifier() == L"Install.DownloadTooShort");
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe"));
}

TEST_F(InstallDownloadTest, BodyThatDoesNotInflateWritesNothing)
{
    ASSERT_EQ(E_FAIL, InstallPack(L"DownloadDamaged"));
    EXPECT_TRUE(SError::Identifier() == L"Install.Inflate") << SError::Text().CStr();
    EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe"));
}

// A certificate that no trusted authority issued, or one for other host
// names, fails the download at once, with a reason line, and writes nothing.
TEST_F(InstallDownloadTest, CertificateFailuresWriteNothing)
{
    const struct
    {
        const wchar_t* pack;
        const wchar_t* code; // in the reason line where the system has no text for it
    } cases[] = {{L"CertUntrusted", L"12045"}, {L"CertWrongHost", NULL}};
    for (const auto& test : cases)
    {
        SCOPED_TRACE(ToNarrow(test.pack));
        place.Clear();
        ASSERT_EQ(E_FAIL, InstallPack(test.pack));
        EXPECT_TRUE(SError::Identifier() == L"OpenURL.HttpSendRequest") << SError::Text().CStr();
        ASSERT_LE(1, SError::Messages().Count());
        SString reason = SError::Messages()[0];
        EXPECT_FALSE(reason.IsEmpty());
        if (test.code)
            EXPECT_NE(-1, reason.Find(test.code)) << reason.CStr();
        EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe"));
        EXPECT_FALSE(TestFolder::Exists(place.programFolder + L"\\TW.3D.Modeller.exe.partial"));
    }
}

// The release-sized application, with its digest: with a length, in chunks
// without one, and as a signed S3 object.
TEST_F(InstallDownloadTest, ReleaseSizedBodyStreamsIntoBothFolders)
{
    for (const wchar_t* pack : {L"DownloadBig", L"DownloadBigChunked", L"DownloadBigS3"})
    {
        SCOPED_TRACE(ToNarrow(pack));
        place.Clear();
        installer.reports.clear();
        ASSERT_EQ(S_OK, InstallPack(pack)) << SError::Text().CStr();
        ExpectInstalledApplication(ReleaseProgram());
        EXPECT_EQ(1.0f, installer.reports.back().second);
        float previous = 0.0f;
        for (const std::pair<SString, float>& report : installer.reports)
        {
            EXPECT_GE(report.second, previous);
            previous = report.second;
        }
    }
}

// Each damaged download fails with its identifier, leaves no staging file and
// leaves the program of an earlier install exactly as it was.
TEST_F(InstallDownloadTest, DamagedDownloadKeepsTheInstalledProgram)
{
    const struct
    {
        const wchar_t* pack;
        const wchar_t* identifier;
    } cases[] = {
        {L"DownloadWrongDigest", L"Download.Checksum"}, {L"DownloadCut", L"Download.Incomplete"},
        {L"DownloadLonger", L"Install.Inflate"},        {L"DownloadShorter", L"Install.Inflate"},
        {L"DownloadFlip", L"Install.Inflate"},          {L"DownloadTrailing", L"Install.Inflate"},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(ToNarrow(test.pack));
        place.Clear();
        ASSERT_EQ(S_OK, CreateDir(place.programFolder));
        ASSERT_EQ(S_OK, CreateDir(place.dataFolder));
        const std::string working = "the program of a working install";
        for (const SString& path : {ProgramPath(), LowPath()})
            TestFolder::WritePath(path, working);
        ASSERT_EQ(E_FAIL, InstallPack(test.pack));
        EXPECT_TRUE(SError::Identifier() == test.identifier) << SError::Text().CStr();
        EXPECT_EQ(working, TestFolder::ReadFile(ProgramPath()));
        EXPECT_EQ(working, TestFolder::ReadFile(LowPath()));
        EXPECT_EQ(0u, PartialFiles());
    }
}

TEST_F(InstallDownloadTest, WrongDigestNamesBothDigests)
{
    ASSERT_EQ(E_FAIL, InstallPack(L"DownloadWrongDigest"));
    const SStringList& messages = SError::Messages();
    ASSERT_EQ(3, messages.Count());
    EXPECT_TRUE(messages[0] == L"https://downloads.tarnwick.example/files/TW.3D.Modeller.body");
    EXPECT_TRUE(messages[1] == L"Expected SHA-256 00000000000000000000000000000000000000000000000000000000000000aa");
    EXPECT_TRUE(messages[2].StartsWith(L"Received SHA-256 ")) << messages[2].CStr();
}

// WinINet keeps a copy of every response in the user's cache unless told not
// to: after an install, nothing of the download is there.
TEST_F(InstallDownloadTest, NothingOfTheDownloadStaysInTheCache)
{
    auto cachedCopies = [this](bool remove) {
        size_t count = 0;
        ForEachFile(GetLocalAppDataFolder() + L"\\Microsoft\\Windows\\INetCache", [&](const SString& path) {
            bool copy = path.Find(L"TW.3D.Modeller") >= 0 || path.Find(L"extra") >= 0;
            count += copy ? 1 : 0;
            if (copy && remove)
                ::DeleteFileW(path.CStr());
        });
        return count;
    };
    cachedCopies(true); // what other tests' runs of older builds left
    ASSERT_EQ(S_OK, InstallPack(L"DownloadApp")) << SError::Text().CStr();
    EXPECT_EQ(0u, cachedCopies(false));
}
