// The HTTP client against a real local server over HTTP and HTTPS.
#include "SError.h"
#include "SHandle.h"
#include "SHttpClient.h"
#include "SHttpSmall.h"

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
        EXPECT_LE(call.second - previous, 128u * 1024);
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

// A small document: at most its bytes, however long the answer would be, and
// an unchanged one for the price of a 304.
TEST_F(SHttpClientTest, SmallDocumentsAreBoundedAndConditional)
{
    SHttpSmallAnswer answer;
    ASSERT_EQ(S_OK, FetchSmall(peer.Https(L"/etag/100").c_str(), SString(), 1000, "OpenURL.TooLarge", answer)) << SError::Text().CStr();
    EXPECT_EQ(100u, answer.body.size());
    EXPECT_TRUE(answer.etag == L"\"e100\"" && !answer.notModified) << answer.etag.CStr();
    SHttpSmallAnswer again;
    ASSERT_EQ(S_OK, FetchSmall(peer.Https(L"/etag/100").c_str(), answer.etag, 1000, "OpenURL.TooLarge", again)) << SError::Text().CStr();
    EXPECT_TRUE(again.notModified && again.body.empty() && again.etag == answer.etag);
    // Announced too long, too long without an announcement, and without end.
    for (const wchar_t* large : {L"/len/70000", L"/chunked/70000", L"/endless/chunked", L"/endless/length"})
    {
        SHttpSmallAnswer kept;
        kept.body = "kept";
        EXPECT_EQ(E_FAIL, FetchSmall(peer.Https(large).c_str(), SString(), 64 * 1024, "OpenURL.TooLarge", kept)) << large;
        EXPECT_TRUE(SError::Identifier() == L"OpenURL.TooLarge") << SError::Text().CStr();
        EXPECT_EQ("kept", kept.body);
    }
}

// A signature goes to its own server only, never to the host of a redirect.
TEST_F(SHttpClientTest, CallersHeadersStayWithTheirServer)
{
    SStringList headers;
    headers.Append(L"Authorization: AWS4-HMAC-SHA256 secret");
    for (const wchar_t* host : {L"127.0.0.1", L"localhost"})
    {
        Fetched fetched = Fetch(peer.Http((L"/redirect-to/" + std::wstring(host)).c_str()), headers);
        ASSERT_EQ(S_OK, fetched.result) << SError::Text().CStr();
        std::string echoed(reinterpret_cast<const char*>(fetched.body.Get()), fetched.size);
        EXPECT_EQ(host == std::wstring(L"127.0.0.1"), echoed.find("secret") != std::string::npos) << echoed;
    }
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
    // Never the query, which may carry a signature.
    SString expected = SString(L"OpenURL.ServerError\n502\n") + peer.Https(L"/status/502").c_str() +
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

namespace
{
// Collects the body and the waits between attempts.
class RecordingSink : public SHttpSink
{
public:
    HRESULT Begin(DWORD offset, DWORD) override
    {
        body.resize(offset);
        return S_OK;
    }
    HRESULT Receive(const BYTE* bytes, DWORD count) override
    {
        body.append(reinterpret_cast<const char*>(bytes), count);
        return S_OK;
    }
    void Retrying(int, DWORD waitMs) override { waits.push_back(waitMs); }

    std::string body;
    std::vector<DWORD> waits;
};
} // namespace

// A body that shrank below what was received (416) is fetched again from
// its start; a negative Retry-After is no reason to wait 30 s.
TEST_F(SHttpClientTest, ShrunkBodyStartsOverAndANegativeRetryAfterIsIgnored)
{
    Fetch(peer.Https(L"/reset"));
    std::string file = TestFolder::ReadFile(SString(TW_TEST_DATA) + L"\\www\\files\\extra.TWP");
    RecordingSink shrunk;
    EXPECT_EQ(S_OK, StreamURL(peer.Https(L"/fault/shrink-once/shrink/extra.TWP").c_str(), SStringList(), shrunk))
        << SError::Text().CStr();
    EXPECT_TRUE(shrunk.body == file);
    RecordingSink busy;
    EXPECT_EQ(S_OK, StreamURL(peer.Https(L"/fault/busy-negative-once/negative/extra.TWP").c_str(), SStringList(), busy))
        << SError::Text().CStr();
    EXPECT_EQ(std::vector<DWORD>{1000}, busy.waits);
    EXPECT_TRUE(busy.body == file);
}
