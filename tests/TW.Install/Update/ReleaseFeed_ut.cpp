// The release feed against the attacks on updaters: a forged or changed
// feed, one for another product, an old one replayed, a stale one, one
// without end. The feeds are signed by twpack at build time.
#include "ReleaseFeed.h"

#include "SError.h"

#include <gtest/gtest.h>

#include "MutatedInput.h"
#include "TestFolder.h"

namespace
{
const wchar_t g_product[] = L"Tarnwick_Test_5A3C19E7";

std::string Feed(const wchar_t* name) { return TestFolder::ReadFile(SString(TW_TEST_DATA) + L"\\feeds\\" + name); }

std::vector<BYTE> PublicKey()
{
    std::string hex = Feed(L"a.hex");
    std::vector<BYTE> key;
    for (size_t i = 0; i + 1 < hex.size() && key.size() < 64; i += 2)
        key.push_back(static_cast<BYTE>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return key;
}

// The error's identifier, or "" once the feed is read and judged.
std::wstring Verdict(const std::string& bytes, const SString& installed, FeedVerdict* verdict = NULL,
                     const SString& product = g_product)
{
    std::vector<BYTE> key = PublicKey();
    if (key.size() != 64)
        return L"no test key";
    ReleaseFeed feed;
    FeedVerdict judged = FeedCurrent;
    if (ReadReleaseFeed(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), &key[0],
                        feed) != S_OK ||
        JudgeReleaseFeed(feed, product, installed, SecondsNow(), judged) != S_OK)
        return SError::Identifier().CStr();
    if (verdict)
        *verdict = judged;
    return L"";
}
} // namespace

TEST(ReleaseFeed, EachAttackIsRefusedWithItsOwnIdentifier)
{
    std::string good = Feed(L"good.feed"); // 2.0.0, withdrawing 2.1.0
    ASSERT_FALSE(good.empty());
    std::string changed = good;
    changed[changed.find("version 2.0.0") + 8] = '3'; // one byte of a signed feed
    std::string large = good + std::string(64 * 1024, '#');
    const struct
    {
        const char* what;
        std::string bytes;
        const wchar_t* installed;
        const wchar_t* product;
        const wchar_t* identifier;
    } cases[] = {
        {"signed with another key", Feed(L"otherkey.feed"), L"1.0.0", g_product, L"Update.FeedSignature"},
        {"one byte changed", changed, L"1.0.0", g_product, L"Update.FeedSignature"},
        {"another product", good, L"1.0.0", L"Larkspur_Test", L"Update.FeedProduct"},
        {"expired", Feed(L"expired.feed"), L"1.0.0", g_product, L"Update.FeedExpired"},
        {"older than installed (replayed)", good, L"3.0.0", g_product, L"Update.FeedOlder"},
        {"over 64 KiB", large, L"1.0.0", g_product, L"Update.FeedTooLarge"},
        {"no signature", good.substr(0, good.find("signature ")), L"1.0.0", g_product, L"Update.FeedFormat"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::wstring(c.identifier), Verdict(c.bytes, c.installed, NULL, c.product)) << c.what;

    const struct
    {
        const wchar_t* installed;
        FeedVerdict verdict;
    } judged[] = {
        {L"1.9.3", FeedUpdate}, {L"2.0.0", FeedCurrent}, {L"2.1.0", FeedWithdrawn}, {L"", FeedUpdate}};
    for (const auto& j : judged)
    {
        FeedVerdict verdict = FeedCurrent;
        EXPECT_EQ(L"", Verdict(good, j.installed, &verdict)) << j.installed;
        EXPECT_EQ(j.verdict, verdict) << j.installed;
    }
}

// Nothing but the signed bytes reads as a feed, and nothing reads past them.
TEST(ReleaseFeed, MutatedFeedsAreNeverTaken)
{
    std::string good = Feed(L"good.feed");
    std::vector<BYTE> key = PublicKey();
    ASSERT_EQ(64u, key.size());
    Mutator mutator(30);
    int taken = mutator.Run({good}, 100000, [&](const BYTE* bytes, DWORD size) {
        ReleaseFeed feed; // a mutation may leave the bytes as they were
        return ReadReleaseFeed(bytes, size, &key[0], feed) == S_OK &&
               std::string(reinterpret_cast<const char*>(bytes), size) != good;
    });
    EXPECT_EQ(0, taken);
}
