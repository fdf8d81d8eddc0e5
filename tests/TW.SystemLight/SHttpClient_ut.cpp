// The HTTP client against a real local server over HTTP and HTTPS.
#include "SError.h"
#include "SHandle.h"
#include "SHttpClient.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "TestPeer.h"

namespace
{
typedef std::vector<std::pair<DWORD, DWORD> > ProgressCalls;

int Record(DWORD total, DWORD received, void* userData)
{
    static_cast<ProgressCalls*>(userData)->push_back(std::make_pair(total, received));
    return 0;
}

struct Fetched
{
    HRESULT result = E_FAIL;
    SMallocBytes body;
    DWORD size = 0;
    ProgressCalls calls;
};

Fetched Fetch(const std::wstring& url, const SStringList& headers = SStringList())
{
    Fetched fetched;
    BYTE* body = NULL;
    fetched.result = OpenURL(url.c_str(), headers, &body, &fetched.size, Record, &fetched.calls);
    fetched.body.Reset(body);
    return fetched;
}

bool IsPattern(const Fetched& fetched, DWORD size)
{
    if (fetched.size != size)
        return false;
    for (DWORD i = 0; i < size; ++i)
        if (fetched.body.Get()[i] != i % 251)
            return false;
    return true;
}

class SHttpClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!TestPeer::Get().Available())
            GTEST_SKIP() << "no test server (run through ./tw test)";
    }
    const TestPeer& peer = TestPeer::Get();
};
} // namespace

TEST(ParseHttpURL, Parts)
{
    SString scheme, host, path;
    int port = 0;
    ASSERT_EQ(S_OK, ParseHttpURL(L"https://host/a/b?x=1", scheme, host, port, path));
    EXPECT_TRUE(scheme == L"https" && host == L"host" && path == L"/a/b?x=1");
    EXPECT_EQ(443, port);
    ASSERT_EQ(S_OK, ParseHttpURL(L"http://host:8080/x", scheme, host, port, path));
    EXPECT_TRUE(scheme == L"http" && host == L"host" && path == L"/x");
    EXPECT_EQ(8080, port);
    ASSERT_EQ(S_OK, ParseHttpURL(L"https://host", scheme, host, port, path));
    EXPECT_TRUE(host == L"host" && path.IsEmpty());
    ASSERT_EQ(S_OK, ParseHttpURL(L"https://host:8443", scheme, host, port, path));
    EXPECT_TRUE(host == L"host:8443");
    EXPECT_EQ(443, port);
    for (const wchar_t* url : {L"HTTP://host/x", L"ftp://host/x"})
    {
        SString keep(L"keep");
        EXPECT_EQ(E_FAIL, ParseHttpURL(url, keep, host, port, path));
        EXPECT_TRUE(keep == L"keep");
        EXPECT_TRUE(SError::Text() == SString(L"ParseHttpURL_Protocol\n") + url);
    }
}

TEST_F(SHttpClientTest, BodyWithLengthInChunksWithProgress)
{
    Fetched fetched = Fetch(peer.Https(L"/len/10000"));
    ASSERT_EQ(S_OK, fetched.result) << SError::Text().CStr();
    EXPECT_TRUE(IsPattern(fetched, 10000));
    ASSERT_FALSE(fetched.calls.empty());
    DWORD previous = 0;
    for (const std::pair<DWORD, DWORD>& call : fetched.calls)
    {
        EXPECT_EQ(10000u, call.first);
        EXPECT_GT(call.second, previous);
        EXPECT_LE(call.second - previous, 4096u);
        previous = call.second;
    }
    EXPECT_EQ(10000u, fetched.calls.back().second);
}

TEST_F(SHttpClientTest, EmptyBodyWithoutProgress)
{
    Fetched fetched = Fetch(peer.Https(L"/len/0"));
    ASSERT_EQ(S_OK, fetched.result) << SError::Text().CStr();
    EXPECT_EQ(0u, fetched.size);
    EXPECT_TRUE(fetched.body.IsValid());
    EXPECT_TRUE(fetched.calls.empty());
}

TEST_F(SHttpClientTest, ChunkedBodyGrowsItsBuffer)
{
    Fetched fetched = Fetch(peer.Http(L"/chunked/100000"));
    ASSERT_EQ(S_OK, fetched.result) << SError::Text().CStr();
    EXPECT_TRUE(IsPattern(fetched, 100000));
    EXPECT_EQ(100000u, fetched.calls.back().second);
}

TEST_F(SHttpClientTest, RedirectIsFollowed)
{
    Fetched fetched = Fetch(peer.Https(L"/redirect/777"));
    ASSERT_EQ(S_OK, fetched.result) << SError::Text().CStr();
    EXPECT_TRUE(IsPattern(fetched, 777));
}

TEST_F(SHttpClientTest, StatusesFailWithTheirIdentifiers)
{
    struct Case
    {
        const wchar_t* status;
        const wchar_t* identifier;
        bool withStatus;
    };
    // Answers that no retry can mend fail at once, after one request.
    const Case cases[] = {{L"401", L"OpenURL.Unauthorized", false},
                          {L"403", L"OpenURL.HttpStatus", true},
                          {L"404", L"OpenURL.HttpStatus", true},
                          {L"407", L"OpenURL.ProxyAuthentication", false}};
    for (const Case& c : cases)
    {
        std::wstring url = peer.Https((std::wstring(L"/status/") + c.status).c_str());
        Fetched fetched = Fetch(url);
        EXPECT_EQ(E_FAIL, fetched.result) << c.status;
        EXPECT_FALSE(fetched.body.IsValid());
        SString expected = SString(c.identifier) + L"\n";
        if (c.withStatus)
            expected += SString(c.status) + L"\n";
        if (SString(c.status) == L"407")
            expected += L"The proxy server asks for a user name and password.\n";
        EXPECT_TRUE(SError::Text() == expected + url.c_str()) << SError::Text().CStr();
    }
}

TEST_F(SHttpClientTest, ServerErrorsAreTriedFourTimes)
{
    std::wstring url = peer.Https(L"/status/502?query=secret");
    Fetched fetched = Fetch(url);
    EXPECT_EQ(E_FAIL, fetched.result);
    EXPECT_FALSE(fetched.body.IsValid());
    SString expected = SString(L"OpenURL.ServerError\n502\n") + url.c_str() +
                       L"\nThe download failed after 4 attempts: " + peer.Https(L"/status/502").c_str();
    EXPECT_TRUE(SError::Text() == expected) << SError::Text().CStr();
}

TEST_F(SHttpClientTest, BodyThatEndsEarlyFails)
{
    Fetched fetched = Fetch(peer.Http(L"/short/10000/3000"));
    EXPECT_EQ(E_FAIL, fetched.result);
    EXPECT_TRUE(SError::Identifier() == L"Download.Incomplete" || SError::Identifier() == L"Download.InternetReadFile")
        << SError::Text().CStr();
}

TEST_F(SHttpClientTest, SlowServerStillDelivers)
{
    Fetched fetched = Fetch(peer.Http(L"/slow/20000/20"));
    ASSERT_EQ(S_OK, fetched.result) << SError::Text().CStr();
    EXPECT_TRUE(IsPattern(fetched, 20000));
    EXPECT_GE(fetched.calls.size(), 5u);
}

TEST_F(SHttpClientTest, HeadersAreSent)
{
    SStringList headers;
    headers.Append(L"x-amz-date: 20240131T235959Z");
    headers.Append(L"X-Tarnwick: yes");
    Fetched fetched = Fetch(peer.Http(L"/headers"), headers);
    ASSERT_EQ(S_OK, fetched.result) << SError::Text().CStr();
    std::string echoed(reinterpret_cast<const char*>(fetched.body.Get()), fetched.size);
    EXPECT_NE(std::string::npos, echoed.find("x-amz-date: 20240131T235959Z"));
    EXPECT_NE(std::string::npos, echoed.find("X-Tarnwick: yes"));
}

TEST_F(SHttpClientTest, RefusedConnectionCarriesTheSystemText)
{
    Fetched fetched = Fetch(L"http://127.0.0.1:9/nothing");
    EXPECT_EQ(E_FAIL, fetched.result);
    EXPECT_TRUE(SError::Identifier() == L"OpenURL.HttpSendRequest");
    ASSERT_EQ(3, SError::Messages().Count());
    EXPECT_FALSE(SError::Messages()[0].IsEmpty());
    EXPECT_TRUE(SError::Messages()[2] == L"The download failed after 4 attempts: http://127.0.0.1:9/nothing");
}
