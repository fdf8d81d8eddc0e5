#include "Package.h"
#include "SError.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MutatedInput.h"
#include "TestFolder.h"

namespace
{
std::string ReadPack(const wchar_t* name)
{
    return TestFolder::ReadFile(SString(TW_TEST_DATA) + L"\\" + name + L".pack");
}

std::string Bytes(const BYTE* bytes, DWORD size)
{
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

SStringList Strings(std::initializer_list<const wchar_t*> texts)
{
    SStringList list;
    for (const wchar_t* text : texts)
        list.Append(text);
    return list;
}

} // namespace

TEST(InstallPackage, EverySectionRoundTrips)
{
    std::string pack = ReadPack(L"Sections");
    ASSERT_GT(pack.size(), 100u);
    InstallPackage package;
    ASSERT_EQ(S_OK, ParsePackage(reinterpret_cast<const BYTE*>(pack.data()), static_cast<DWORD>(pack.size()), package));
    EXPECT_TRUE(package.s3KeyId == L"AKIDEXAMPLE");
    EXPECT_TRUE(package.s3Secret == L"secret key/with+chars");

    ASSERT_EQ(3u, package.compressedEntries.size());
    EXPECT_TRUE(package.compressedEntries[0].name == L"hello.txt");
    EXPECT_EQ(23u, package.compressedEntries[0].uncompressedSize);
    EXPECT_TRUE(package.compressedEntries[1].name == L"sub/empty.bin"); // "/" kept
    EXPECT_EQ(0u, package.compressedEntries[1].uncompressedSize);
    EXPECT_TRUE(package.compressedEntries[2].name == L".deployment");
    EXPECT_EQ(26u, package.compressedEntries[2].uncompressedSize);

    ASSERT_EQ(1u, package.cacheEntries.size());
    EXPECT_TRUE(package.cacheEntries[0].name == L"base");
    EXPECT_EQ("0123456789", Bytes(package.cacheEntries[0].bytes, package.cacheEntries[0].size));

    ASSERT_EQ(4u, package.dataFiles.size());
    EXPECT_TRUE(package.dataFiles[0].name == L"Bootstrap.xml");
    EXPECT_TRUE(package.dataFiles[1].name == L"Icons\\Icon.ico");
    EXPECT_EQ("ICON", Bytes(package.dataFiles[1].bytes, package.dataFiles[1].size));
    EXPECT_TRUE(package.dataFiles[2].name == L"Settings\\Login_Models.xml");
    EXPECT_TRUE(package.dataFiles[3].name == L"UI\\x y.txt");

    EXPECT_TRUE(package.usageApplication);
    EXPECT_TRUE(package.usagePlugin);
    EXPECT_TRUE(package.admin);
    EXPECT_TRUE(package.targetProgram == L"C:\\Apps\\X");
    EXPECT_TRUE(package.targetData == L"C:\\Data\\Second");
    ASSERT_EQ(2, package.uriSchemes.Count());
    EXPECT_TRUE(package.uriSchemes[1] == L"tw3d");
    EXPECT_TRUE(package.registerCookie == L"c1");
    EXPECT_TRUE(package.unregisterCookie == L"c2");
    ASSERT_EQ(2, package.downloadUrls.Count());
    EXPECT_TRUE(package.downloadTargets[0] == L"%program%/TW.3D.Modeller.exe");
    EXPECT_TRUE(package.downloadUrls[0] == L"https://h/a.exe");
    EXPECT_EQ(29011464, package.downloadSizes[0]);
    EXPECT_EQ(-5, package.downloadSizes[1]);
    EXPECT_EQ(23u + 0 + 26 + 10 + 29011464 - 5, package.TotalSize());
}

TEST(InstallPackage, EmptyPackageLeavesEverythingCleared)
{
    std::string pack = ReadPack(L"Empty");
    EXPECT_EQ(18u, pack.size()); // four counts and the 16-bit zero
    InstallPackage package;
    ASSERT_EQ(S_OK, ParsePackage(reinterpret_cast<const BYTE*>(pack.data()), static_cast<DWORD>(pack.size()), package));
    EXPECT_TRUE(package.s3KeyId.IsEmpty());
    EXPECT_TRUE(package.compressedEntries.empty());
    EXPECT_FALSE(package.usageApplication);
    EXPECT_EQ(0u, package.TotalSize());
}

TEST(InstallPackage, NullCredentialsAndShortDownload)
{
    std::string pack = ReadPack(L"NullCredentials");
    InstallPackage package;
    ASSERT_EQ(S_OK, ParsePackage(reinterpret_cast<const BYTE*>(pack.data()), static_cast<DWORD>(pack.size()), package));
    EXPECT_TRUE(package.s3KeyId == L"null");
    EXPECT_EQ(0, package.downloadUrls.Count());
}

TEST(InstallPackage, KeywordArity)
{
    InstallPackage a;
    ScanDescription(Strings({L"download", L"x", L"target-program"}), a);
    EXPECT_EQ(0, a.downloadUrls.Count());
    EXPECT_TRUE(a.targetProgram.IsEmpty()); // last string: no argument
    InstallPackage b;
    ScanDescription(Strings({L"register-uri", L"admin"}), b);
    ASSERT_EQ(1, b.uriSchemes.Count());
    EXPECT_TRUE(b.uriSchemes[0] == L"admin");
    EXPECT_FALSE(b.admin); // an argument is never a keyword
    InstallPackage c;
    ScanDescription(Strings({L"download", L"t", L"u", L"+7", L"Admin", L"usage-application"}), c);
    EXPECT_EQ(7, c.downloadSizes[0]);
    EXPECT_FALSE(c.admin);
    EXPECT_TRUE(c.usageApplication);
    InstallPackage d;
    ScanDescription(Strings({L"download", L"a", L"usage-application"}), d);
    EXPECT_EQ(0, d.downloadUrls.Count());
    EXPECT_TRUE(d.usageApplication); // the unmatched strings are scanned on their own
}

TEST(InstallPackage, DownloadDigestTakesTwoStrings)
{
    const wchar_t* digest = L"0526C122b79b48d274eb67e8cfdb6834ae84d649f2b3634f7f65eb8ce94b84ae";
    InstallPackage a;
    ScanDescription(Strings({L"download", L"%program%/A.exe", L"https://h/a", L"10", L"download-sha256",
                             L"%program%/A.exe", digest, L"admin"}),
                    a);
    EXPECT_TRUE(a.DownloadDigest(L"%program%/A.exe") == digest);
    EXPECT_TRUE(a.DownloadDigest(L"%program%/B.exe").IsEmpty());
    EXPECT_TRUE(a.admin); // the two strings are consumed, and only those
    InstallPackage b;
    ScanDescription(Strings({L"usage-application", L"download-sha256", L"t"}), b);
    EXPECT_EQ(0, b.digestTargets.Count()); // too few strings: the keyword alone is skipped
    EXPECT_TRUE(b.usageApplication);
    // A reader that does not know the keyword skips it and its two strings as
    // unknown strings: the digest text matches no keyword.
    InstallPackage c;
    ScanDescription(Strings({L"download-sha256", L"%data%/x.TWP", digest, L"usage-plugin"}), c);
    EXPECT_TRUE(c.usagePlugin);
    EXPECT_EQ(0, c.downloadUrls.Count());
}

TEST(InstallPackage, TruncatedPackagesFailCleanly)
{
    std::string pack = ReadPack(L"Sections");
    for (size_t length = 0; length < pack.size(); ++length)
    {
        GuardedBlock block(pack.substr(0, length));
        InstallPackage package;
        ASSERT_EQ(E_FAIL, ParsePackage(block.Data(), static_cast<DWORD>(length), package)) << length;
        EXPECT_TRUE(SError::Identifier().StartsWith(L"ReadPackage.")) << length;
    }
}

TEST(InstallPackage, MutatedPackagesNeverReadPastTheBlock)
{
    std::string pack = ReadPack(L"Sections");
    unsigned seed = 12345;
    int parsed = 0;
    for (int round = 0; round < 100000; ++round)
    {
        std::string mutated = pack;
        int flips = 1 + round % 4;
        for (int f = 0; f < flips; ++f)
        {
            seed = seed * 1103515245 + 12345;
            size_t position = (seed >> 8) % mutated.size();
            mutated[position] = static_cast<char>(mutated[position] ^ (1 << ((seed >> 4) % 8)));
        }
        GuardedBlock block(mutated);
        InstallPackage package;
        if (ParsePackage(block.Data(), static_cast<DWORD>(mutated.size()), package) == S_OK)
            ++parsed;
    }
    EXPECT_GT(parsed, 0);
}
