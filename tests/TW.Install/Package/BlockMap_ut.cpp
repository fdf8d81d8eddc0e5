// The block map as twpack publishes it, and as a reader of untrusted input
// takes it; the version rule of installs.
#include <gtest/gtest.h>

#include "BlockMap.h"
#include "InflateStream.h"
#include "MutatedInput.h"
#include "SError.h"
#include "TestFolder.h"
#include "VersionCheck.h"

namespace
{
std::string Published(const wchar_t* name)
{
    return TestFolder::ReadFile(SString(TW_TEST_DATA) + L"\\www\\files\\" + name);
}
} // namespace

TEST(BlockMap, EveryChunkOfThePublishedBodyInflatesOnItsOwnToTheBytesItsDigestNames)
{
    std::string body = Published(L"Big.body");
    std::string map = Published(L"Big.body.blocks");
    BlockMap parsed;
    ASSERT_EQ(S_OK, ParseBlockMap(reinterpret_cast<const BYTE*>(map.data()), static_cast<DWORD>(map.size()), parsed))
        << SError::Text().CStr();
    ASSERT_EQ(body.size(), parsed.bodySize);
    EXPECT_GT(parsed.chunks.size(), 29011464u / (256 * 1024));
    SSha256 whole;
    std::vector<BYTE> program(256 * 1024);
    for (const BlockChunk& chunk : parsed.chunks)
    {
        ASSERT_TRUE(InflateChunk(reinterpret_cast<const BYTE*>(body.data()) + chunk.bodyOffset, chunk.bodySize,
                                 &program[0], chunk.programSize))
            << chunk.programOffset;
        SDigest digest;
        ASSERT_TRUE(Sha256(&program[0], chunk.programSize, digest));
        ASSERT_TRUE(digest == chunk.digest) << chunk.programOffset;
        whole.Update(&program[0], chunk.programSize);
    }
    SDigest digest;
    ASSERT_TRUE(whole.Finish(digest));
    EXPECT_TRUE(digest == parsed.programDigest);
    // A chunk that gives more bytes than its size does not pass.
    const BlockChunk& first = parsed.chunks[0];
    EXPECT_FALSE(InflateChunk(reinterpret_cast<const BYTE*>(body.data()) + first.bodyOffset, first.bodySize,
                              &program[0], first.programSize - 1));
}

TEST(BlockMap, DamagedMapsAreRefusedAndNeverReadPastTheirEnd)
{
    std::vector<std::string> maps = {Published(L"TW.3D.Modeller.body.blocks"), Published(L"Big2.body.blocks")};
    Mutator mutator(20261207);
    int accepted = mutator.Run(maps, 100000, [](const BYTE* bytes, DWORD size) {
        BlockMap map;
        if (ParseBlockMap(bytes, size, map) != S_OK)
        {
            EXPECT_EQ(SString(L"Download.BlockMap"), SError::Identifier());
            return false;
        }
        // What passes tiles the program and the body exactly.
        unsigned long long program = 0, body = 6;
        for (const BlockChunk& chunk : map.chunks)
        {
            EXPECT_EQ(program, chunk.programOffset);
            EXPECT_EQ(body, chunk.bodyOffset);
            program += chunk.programSize;
            body += chunk.bodySize;
        }
        EXPECT_EQ(program, map.programSize);
        EXPECT_EQ(body + 4, map.bodySize);
        return true;
    });
    EXPECT_GT(accepted, 0); // digests and unchecked bytes may change and still parse
}

TEST(VersionCheck, ClassifiesAgainstTheInstalledEntry)
{
    const struct
    {
        bool entry;
        const wchar_t* installed;
        const wchar_t* packaged;
        InstallKind kind;
    } cases[] = {
        {false, L"", L"2.0.0", FreshInstall},
        {true, L"2.0.0", L"2.0.0", Repair},
        {true, L"2.0", L"2.0.0.0", Repair},
        {true, L"1.9.9", L"2.0.0", Upgrade},
        {true, L"2.0.0.9", L"2.0.1", Upgrade},
        {true, L"", L"2.0.0", Upgrade},       // an entry without a version
        {true, L"2.x", L"2.0.0", Upgrade},    // or with one that is not a version
        {true, L"10.0", L"9.99", Downgrade},  // numbers, not text
        {true, L"2.0.1", L"2.0.0", Downgrade},
        {true, L"2.0.0", L"abc", NotAVersion},        // refused as a damaged package,
        {true, L"2.0.0", L"1.2.3-beta", NotAVersion}, // not as a downgrade
        {false, L"", L"-1.0", NotAVersion},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.kind, ClassifyInstall(c.entry, c.installed, c.packaged)) << c.installed << L" " << c.packaged;
    DWORD numbers[4];
    for (const wchar_t* bad : {L"", L".", L"1.", L".1", L"1..2", L"1.2.3.4.5", L"123456", L"1.-2", L"1 .2"})
        EXPECT_FALSE(ParseVersion(bad, numbers)) << bad;
}
