#include "SAS3Client.h"
#include "SHash.h"

#include <gtest/gtest.h>

TEST(SHash, Sha256OfTheFips180Examples)
{
    SDigest digest;
    ASSERT_TRUE(Sha256("abc", 3, digest));
    EXPECT_TRUE(HexLower(digest.data(), 32) == L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    ASSERT_TRUE(Sha256("", 0, digest));
    EXPECT_TRUE(HexLower(digest.data(), 32) == L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const char* twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    ASSERT_TRUE(Sha256(twoBlocks, 56, digest));
    EXPECT_TRUE(HexLower(digest.data(), 32) == L"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(SHash, HmacSha256OfTheRfc4231Cases)
{
    SDigest digest;
    std::string key1(20, '\x0b');
    ASSERT_TRUE(HmacSha256(key1.data(), 20, "Hi There", 8, digest));
    EXPECT_TRUE(HexLower(digest.data(), 32) == L"b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    ASSERT_TRUE(HmacSha256("Jefe", 4, "what do ya want for nothing?", 28, digest));
    EXPECT_TRUE(HexLower(digest.data(), 32) == L"5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    // Case 6: a key longer than the block is hashed first.
    std::string key6(131, '\xaa');
    const char* message = "Test Using Larger Than Block-Size Key - Hash Key First";
    ASSERT_TRUE(HmacSha256(key6.data(), 131, message, static_cast<DWORD>(strlen(message)), digest));
    EXPECT_TRUE(HexLower(digest.data(), 32) == L"60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST(SAS3Client, SignsThePublishedGetObjectExample)
{
    SString canonical = L"GET\n/test.txt\n\nhost:examplebucket.s3.amazonaws.com\nrange:bytes=0-9\n"
                        L"x-amz-content-sha256:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\n"
                        L"x-amz-date:20130524T000000Z\n\nhost;range;x-amz-content-sha256;x-amz-date\n"
                        L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    SString signature;
    ASSERT_EQ(S_OK, SignS3Request(L"wJalrXUtnFEMI/K7MDENG/bPxRfiCYEXAMPLEKEY", canonical, L"us-east-1", L"20130524",
                                  L"20130524T000000Z", signature));
    EXPECT_TRUE(signature == L"f0e8bdb87c964420e857bd35b5d6ed310bd44f0170aba48dd91039c6036bdb41");
}

TEST(SAS3Client, TimestampsAndKeyEncoding)
{
    SString amzDate, dateStamp;
    MakeAmzTimestamp(amzDate, dateStamp);
    ASSERT_EQ(16, amzDate.Length());
    EXPECT_TRUE(amzDate.StartsWith(dateStamp.CStr()));
    EXPECT_EQ(L'T', amzDate[8]);
    EXPECT_EQ(L'Z', amzDate[15]);
    EXPECT_TRUE(UriEncodeKey(L"release/TW.3D_x~y-z.exe") == L"release/TW.3D_x~y-z.exe");
    EXPECT_TRUE(UriEncodeKey(L"a b/\x00E9+%") == L"a%20b/%C3%A9%2B%25");
    EXPECT_TRUE(UriEncodeKey(L"\xD83D\xDE00") == L"%F0%9F%98%80");
    // Escapes that the key already carries stay as they are (in upper case);
    // a "%" that starts no escape is encoded.
    EXPECT_TRUE(UriEncodeKey(L"TW%203D%c3%a9.exe") == L"TW%203D%C3%A9.exe");
    EXPECT_TRUE(UriEncodeKey(L"100%") == L"100%25");
    EXPECT_TRUE(UriEncodeKey(L"%zz%4") == L"%25zz%254");
}

namespace
{
// Whether the bytes whose reverse is given lie anywhere in this process's
// private writable memory. The pattern is searched for through its reverse,
// so that the search itself leaves no copy of it.
bool InPrivateMemory(const std::string& reversed)
{
    size_t length = reversed.size();
    MEMORY_BASIC_INFORMATION region = {};
    for (const BYTE* address = NULL; ::VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
         address = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize)
    {
        if (region.State != MEM_COMMIT || region.Type != MEM_PRIVATE || region.Protect != PAGE_READWRITE)
            continue;
        const BYTE* bytes = static_cast<const BYTE*>(region.BaseAddress);
        for (size_t at = 0; at + length <= region.RegionSize; ++at)
        {
            size_t k = 0;
            while (k < length && bytes[at + k] == static_cast<BYTE>(reversed[length - 1 - k]))
                ++k;
            if (k == length)
                return true;
        }
    }
    return false;
}
} // namespace

// The secret and the keys derived from it are wiped before their memory is
// freed: after signing, the secret is nowhere in the heap.
TEST(SignS3Request, LeavesNoCopyOfTheSecretBehind)
{
    // Made at run time, so that the program image holds no copy of it.
    wchar_t secret[41] = {0};
    std::string reversedTail;
    for (int i = 0; i < 40; ++i)
        secret[i] = static_cast<wchar_t>(L'A' + (i * 7 + 3) % 26);
    for (int i = 39; i >= 16; --i)
        reversedTail += static_cast<char>(secret[i]);
    {
        SString signature;
        SignS3Request(secret, L"GET\n/release/object.bin\n", L"us-east-1", L"20261207", L"20261207T120000Z", signature);
        EXPECT_EQ(64, signature.Length());
    }
    ::SecureZeroMemory(secret, sizeof(secret));
    EXPECT_FALSE(InPrivateMemory(reversedTail));
}
