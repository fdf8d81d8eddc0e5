// Signed S3 downloads against an S3-compatible server that checks the
// signature with botocore, reached under real S3 host names via the proxy.
#include "SAS3Client.h"
#include "SError.h"
#include "SHandle.h"

#include <gtest/gtest.h>

#include "TestPeer.h"

namespace
{
class S3Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!TestPeer::Get().Available())
            GTEST_SKIP() << "no test server (run through ./tw test)";
    }

    HRESULT Download(const wchar_t* secret, const wchar_t* suffix, const wchar_t* key)
    {
        BYTE* received = NULL;
        size = 0;
        HRESULT result = DownloadS3Object(L"tarnwick-test", L"AKIDTEST", secret, suffix, key, NULL, NULL, &received,
                                          &size);
        body.Reset(received);
        return result;
    }

    ProxyScope proxy{TestPeer::Get()};
    SMallocBytes body;
    DWORD size = 0;
};
} // namespace

TEST_F(S3Test, CorrectKeyDownloadsTheObject)
{
    ASSERT_EQ(S_OK, Download(L"secret123", L".s3.us-east-1.amazonaws.com/", L"release/object.bin"))
        << SError::Text().CStr();
    EXPECT_EQ("S3 object body\n", std::string(reinterpret_cast<const char*>(body.Get()), size));
}

TEST_F(S3Test, KeysWithSpacesAndNonAsciiAreEncodedAndSigned)
{
    ASSERT_EQ(S_OK, Download(L"secret123", L".s3.us-east-1.amazonaws.com/", L"release/TW 3D \x00E9t\x00E9.bin"))
        << SError::Text().CStr();
    EXPECT_EQ("S3 object body\n", std::string(reinterpret_cast<const char*>(body.Get()), size));
}

// A key that the package already carries encoded asks for the same object.
TEST_F(S3Test, AlreadyEncodedKeysAreNotEncodedAgain)
{
    ASSERT_EQ(S_OK, Download(L"secret123", L".s3.us-east-1.amazonaws.com/", L"release/TW%203D%20%C3%A9t%C3%A9.bin"))
        << SError::Text().CStr();
    EXPECT_EQ("S3 object body\n", std::string(reinterpret_cast<const char*>(body.Get()), size));
}

TEST_F(S3Test, WrongSecretIsRefused)
{
    EXPECT_EQ(E_FAIL, Download(L"wrong", L".s3.us-east-1.amazonaws.com/", L"release/object.bin"));
    ASSERT_EQ(2, SError::Messages().Count());
    EXPECT_TRUE(SError::Identifier() == L"OpenURL.HttpStatus");
    EXPECT_TRUE(SError::Messages()[0] == L"403");
}

TEST_F(S3Test, HostWithoutRegionFailsBeforeAnyRequest)
{
    EXPECT_EQ(E_FAIL, Download(L"secret123", L".s3.amazonaws.com/", L"release/object.bin"));
    EXPECT_TRUE(SError::Text() ==
                L"Download.UnableToParseAmazonURL\nhttps://tarnwick-test.s3.amazonaws.com/release/object.bin");
}

// Each attempt is signed when it is made: a download that breaks late must
// not resume with a signature that S3 has since stopped taking.
TEST_F(S3Test, EveryAttemptIsSignedAnew)
{
    BYTE* reset = NULL;
    DWORD resetSize = 0;
    OpenURL(TestPeer::Get().Https(L"/reset").c_str(), SStringList(), &reset, &resetSize, NULL, NULL);
    free(reset);
    ASSERT_EQ(S_OK, Download(L"secret123", L".s3.us-east-1.amazonaws.com/", L"fault/drop-once/s3dates/release/object.bin"))
        << SError::Text().CStr();
    EXPECT_EQ("S3 object body\n", std::string(reinterpret_cast<const char*>(body.Get()), size));
    BYTE* received = NULL;
    DWORD length = 0;
    OpenURL(TestPeer::Get().Https(L"/faults/s3dates").c_str(), SStringList(), &received, &length, NULL, NULL);
    std::string dates(reinterpret_cast<const char*>(received), received ? length : 0);
    free(received);
    // ["20261207T185919Z", "20261207T185920Z"]: two, and not the same.
    ASSERT_EQ(40u, dates.size()) << dates;
    EXPECT_NE(dates.substr(2, 16), dates.substr(22, 16)) << dates;
}
