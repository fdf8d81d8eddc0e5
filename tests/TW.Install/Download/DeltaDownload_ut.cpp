// Version-aware installs and block-level downloads against the peer: a repair
// that asks for nothing, updates that fetch only the chunks they lack, the
// fallbacks to the whole body, and a downgrade that is refused.
#include "TW.Install/PeerInstallTest.h"

#include "ExitCode.h"
#include "SPath.h"
#include "SRegistry.h"

namespace
{
SString Standin(const wchar_t* name) { return DirectoryPart(BinFolder()) + L"\\release\\" + name; }
const SString g_release = Standin(L"TW.3D.Modeller.exe");
const SString g_update = Standin(L"TW.3D.Modeller.v2.exe");

// What the peer was asked for under a token.
struct Asked
{
    size_t maps = 0;
    size_t wholes = 0; // requests without a Range: the whole body
    size_t ranges = 0;
    unsigned long long rangeBytes = 0;
    unsigned long long largestRange = 0;
};

Asked Summarize(const std::vector<std::string>& requests)
{
    Asked asked;
    for (const std::string& request : requests)
    {
        unsigned long long first = 0, last = 0;
        if (request == "map")
            ++asked.maps;
        else if (request.empty())
            ++asked.wholes;
        else if (sscanf(request.c_str(), "bytes=%llu-%llu", &first, &last) == 2)
        {
            ++asked.ranges;
            asked.rangeBytes += last - first + 1;
            asked.largestRange = std::max(asked.largestRange, last - first + 1);
        }
    }
    return asked;
}

FILETIME WriteTime(const SString& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ::GetFileAttributesExW(path.CStr(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

unsigned long long BodySize(const wchar_t* name)
{
    return TestFolder::ReadFile(SString(TW_TEST_DATA) + L"\\www\\files\\" + name).size();
}

class InstallDeltaTest : public PeerInstallTest
{
protected:
    void SetUp() override
    {
        PeerInstallTest::SetUp();
        if (!IsSkipped())
            ResetPeer();
    }

    HRESULT InstallPack(const wchar_t* name, bool allowDowngrade = false)
    {
        PackageModule module(TestPack(name), L"PeerInstall");
        installer.packageModule = module.Get();
        InstallOptions options;
        options.allowDowngrade = allowDowngrade;
        return installer.Install(options);
    }

    SString ProgramPath() const { return place.programFolder + L"\\TW.3D.Modeller.exe"; }
    SString LowPath() const { return place.dataFolder + L"\\TW.3D.Modeller.exe"; }

    // The program and its copy, both exactly the original.
    void ExpectProgram(const SString& original) const
    {
        std::string expected = TestFolder::ReadFile(original);
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE(expected == TestFolder::ReadFile(ProgramPath()));
        EXPECT_TRUE(expected == TestFolder::ReadFile(LowPath()));
    }

    SString InstalledVersion() const
    {
        SString version;
        GetValue(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName), L"DisplayVersion", version);
        return version;
    }
};
} // namespace

TEST_F(InstallDeltaTest, FreshInstallStreamsEveryChunkAndARepairAsksForNothing)
{
    ASSERT_EQ(S_OK, InstallPack(L"DeltaRelease")) << SError::Text().CStr();
    ExpectProgram(g_release);
    EXPECT_EQ(SString(L"1.0.0"), InstalledVersion());
    Asked fresh = Summarize(PeerRequests(L"release"));
    EXPECT_EQ(1u, fresh.maps);
    EXPECT_EQ(0u, fresh.wholes);
    // Every chunk, the body but its size, zlib header and Adler-32, in one
    // stream: on loopback one connection is the fastest.
    EXPECT_EQ(BodySize(L"Big.body") - 10, fresh.rangeBytes);
    EXPECT_EQ(1u, fresh.ranges);

    // A repair asks for nothing, and writes the program not again: the
    // program has the declared size and its hash is the package's. Where the
    // declared size is wrong, the map is fetched and the program's chunks are
    // the map's, in order.
    FILETIME before = WriteTime(ProgramPath());
    ::Sleep(20);
    const struct
    {
        const wchar_t* pack;
        const wchar_t* token;
        size_t maps;
    } repairs[] = {{L"DeltaRelease", L"release", 0}, {L"DeltaReleaseOddSize", L"oddsize", 1}};
    for (const auto& r : repairs)
    {
        ResetPeer();
        ASSERT_EQ(S_OK, InstallPack(r.pack)) << SError::Text().CStr();
        Asked repair = Summarize(PeerRequests(r.token));
        EXPECT_EQ(r.maps, repair.maps) << r.pack;
        EXPECT_EQ(0u, repair.ranges + repair.wholes) << r.pack;
        FILETIME after = WriteTime(ProgramPath());
        EXPECT_EQ(0, ::CompareFileTime(&before, &after)) << r.pack;
        ExpectProgram(g_release);
    }
}

// At about 6 MB/s the stream would take more than two seconds more: three
// more connections take its tail, in ranges of their own.
TEST_F(InstallDeltaTest, OnASlowLinkTheStreamSharesItsTail)
{
    ASSERT_EQ(S_OK, InstallPack(L"DeltaSlow")) << SError::Text().CStr();
    ExpectProgram(g_release);
    Asked slow = Summarize(PeerRequests(L"slow"));
    EXPECT_EQ(0u, slow.wholes);
    EXPECT_GE(slow.ranges, 1u + 3u);
    EXPECT_EQ(BodySize(L"Big.body") - 10, slow.largestRange) << "the stream asks for the whole run";
}

TEST_F(InstallDeltaTest, UpdateFetchesOnlyTheChangedChunks)
{
    ASSERT_EQ(S_OK, InstallPack(L"DeltaRelease")) << SError::Text().CStr();
    ASSERT_EQ(S_OK, InstallPack(L"DeltaUpdate")) << SError::Text().CStr();
    ExpectProgram(g_update);
    EXPECT_EQ(SString(L"2.0.0"), InstalledVersion());
    Asked update = Summarize(PeerRequests(L"update"));
    EXPECT_EQ(1u, update.maps);
    EXPECT_EQ(0u, update.wholes);
    // 4 KiB inserted and three places changed: a few chunks of 64 KiB.
    EXPECT_GE(update.ranges, 3u);
    EXPECT_LE(update.rangeBytes, BodySize(L"Big2.body") / 20);
}

TEST_F(InstallDeltaTest, OnlyTheDamagedChunksOfAnInstalledProgramAreFetched)
{
    ASSERT_EQ(S_OK, InstallPack(L"DeltaRelease")) << SError::Text().CStr();
    std::string program = TestFolder::ReadFile(ProgramPath());
    for (size_t i = program.size() / 2; i < program.size() / 2 + 8; ++i)
        program[i] = static_cast<char>(program[i] ^ 0xFF);
    TestFolder::WritePath(ProgramPath(), program);
    ::DeleteFileW(LowPath().CStr());
    ResetPeer();
    ASSERT_EQ(S_OK, InstallPack(L"DeltaRelease")) << SError::Text().CStr();
    ExpectProgram(g_release);
    Asked repair = Summarize(PeerRequests(L"release"));
    EXPECT_EQ(0u, repair.wholes);
    EXPECT_EQ(1u, repair.ranges);
    EXPECT_LE(repair.rangeBytes, 2u * 256 * 1024); // at most the two chunks around the damage
}

TEST_F(InstallDeltaTest, EveryFailureOfTheDeltaEndsInAWholeVerifiedInstall)
{
    const struct
    {
        const wchar_t* pack;
        const wchar_t* token;
        bool whole; // the delta gave up and the whole body was asked for
        const wchar_t* program;
    } cases[] = {
        {L"DeltaNoMap", L"nomap", true, L"bin"},        // no map (404)
        {L"DeltaWrongMap", L"wrongmap", true, L"bin"},  // a map that is not the one named
        {L"DeltaWhole", L"whole", false, L"bin"},       // a server that ignores Range: its 200 is taken
        {L"DeltaFlipAlways", L"flipall", true, L"bin"}, // a chunk wrong twice
        {L"DeltaReplaced", L"replaced", true, L"release"}, // replaced while the stream is shared: 412
        {L"DeltaFlipOnce", L"flipone", false, L"bin"},  // a chunk wrong once: fetched again
        {L"DeltaBusy", L"busy", false, L"release"},     // extra connections refused: fewer of them
        {L"DeltaLonger", L"longer", false, L"bin"},     // parts followed by more bytes than announced
        {L"DeltaWeak", L"weak", false, L"bin"},         // a weak ETag: no If-Match, which would always fail
    };
    for (const auto& c : cases)
    {
        place.Clear();
        ASSERT_EQ(S_OK, InstallPack(c.pack)) << SError::Text().CStr();
        ExpectProgram(SString(c.program) == L"bin" ? BinFolder() + L"\\TW.3D.Modeller.exe" : g_release);
        Asked asked = Summarize(PeerRequests(c.token));
        EXPECT_EQ(c.whole ? 1u : 0u, asked.wholes) << c.pack;
    }
}

TEST_F(InstallDeltaTest, DowngradeIsRefusedAndChangesNothingUnlessAllowed)
{
    ASSERT_EQ(S_OK, InstallPack(L"DeltaUpdate")) << SError::Text().CStr();
    ASSERT_EQ(E_FAIL, InstallPack(L"DeltaRelease"));
    EXPECT_EQ(SString(L"Install.Downgrade"), SError::Identifier());
    EXPECT_EQ(1638, ExitCodeForFailure());
    EXPECT_TRUE(SError::Text().Find(L"2.0.0") > 0 && SError::Text().Find(L"1.0.0") > 0) << SError::Text().CStr();
    ExpectProgram(g_update);
    EXPECT_EQ(SString(L"2.0.0"), InstalledVersion());

    ASSERT_EQ(S_OK, InstallPack(L"DeltaRelease", true)) << SError::Text().CStr();
    ExpectProgram(g_release);
    EXPECT_EQ(SString(L"1.0.0"), InstalledVersion());
}

TEST_F(InstallDeltaTest, APackageWithoutAMapReadsTheNewBodyWhole)
{
    ASSERT_EQ(S_OK, InstallPack(L"DeltaNone")) << SError::Text().CStr();
    ExpectProgram(BinFolder() + L"\\TW.3D.Modeller.exe");
    EXPECT_EQ(std::vector<std::string>{""}, PeerRequests(L"nomapnamed"));
}
