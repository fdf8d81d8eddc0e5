#include "FeedCheck.h"

#include "AgentFiles.h"

#include "SError.h"
#include "SHandle.h"
#include "SHttpSmall.h"
#include "SLog.h"
#include "SPath.h"

#include <string>

namespace
{
// The publisher's key, X then Y, from the hexadecimal digits compiled in.
void CompiledKey(BYTE key[64])
{
    const char hex[] = TW_FEED_KEY_HEX;
    for (int i = 0; i < 64; ++i)
    {
        char pair[3] = {hex[2 * i], hex[2 * i + 1], 0};
        key[i] = static_cast<BYTE>(strtoul(pair, NULL, 16));
    }
}
static_assert(sizeof(TW_FEED_KEY_HEX) == 129, "the feed key is 64 bytes in hexadecimal digits");

SString KeptFeedPath(const Installation& installation) { return installation.updates + L"\\last.feed"; }
SString KeptTagPath(const Installation& installation) { return installation.updates + L"\\last.feed.etag"; }

// At most maxFeedBytes of a kept file; empty when there is none.
std::string ReadKept(const SString& path)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    std::string text(maxFeedBytes, '\0');
    DWORD read = 0;
    if (!file.IsValid() || !::ReadFile(file.Get(), &text[0], maxFeedBytes, &read, NULL))
        read = 0;
    text.resize(read);
    return text;
}

// At best: a feed that cannot be kept is fetched whole next time.
void WriteKept(const SString& path, const std::string& text)
{
    if (WriteWholeFile(path, text, "Update.Keep") != S_OK)
        SLog::Line(L"the verified feed could not be kept: " + SLog::FailureText());
}

// The feed verified, kept for the next check: the ETag only with the feed
// it belongs to.
void Keep(const Installation& installation, const std::string& feed, const SString& etag)
{
    ::DeleteFileW(KeptTagPath(installation).CStr());
    if (CreateDir(installation.updates) != S_OK)
        return;
    WriteKept(KeptFeedPath(installation), feed);
    if (!etag.IsEmpty())
        WriteKept(KeptTagPath(installation), Ascii(etag));
}

// The feed from the server, or the kept copy that a 304 confirms (keptUsed);
// verified.
HRESULT FetchFeed(const Installation& installation, const BYTE* key, const SString& etag, const std::string& kept,
                  ReleaseFeed& feed, bool& keptUsed)
{
    SHttpSmallAnswer answer;
    S_RETURN_IF_FAILED(FetchSmall(TW_FEED_URL, etag, maxFeedBytes, "Update.FeedTooLarge", answer));
    keptUsed = answer.notModified;
    const std::string& text = answer.notModified ? kept : answer.body;
    SLog::Line(answer.notModified ? SString(L"feed unchanged since it was verified last: " + etag)
                                  : L"feed fetched: " + SString::FromUnsigned(static_cast<DWORD>(text.size())) +
                                        L" bytes");
    S_RETURN_IF_FAILED(ReadReleaseFeed(reinterpret_cast<const BYTE*>(text.data()), static_cast<DWORD>(text.size()),
                                       key, feed));
    if (!answer.notModified)
        Keep(installation, text, answer.etag);
    return S_OK;
}
} // namespace

HRESULT CheckFeed(const Installation& installation, ReleaseFeed& feed, FeedVerdict& verdict)
{
    BYTE key[64];
    CompiledKey(key);
    std::string kept = ReadKept(KeptFeedPath(installation));
    SString etag = kept.empty() ? SString() : SString::FromNarrow(ReadKept(KeptTagPath(installation)).c_str());
    // A kept copy that no longer verifies (a damaged disk) is asked for anew,
    // whole: it must not stop every later check.
    bool keptUsed = false;
    if (FetchFeed(installation, key, etag, kept, feed, keptUsed) != S_OK &&
        (!keptUsed || FetchFeed(installation, key, SString(), std::string(), feed, keptUsed) != S_OK))
        return E_FAIL;
    return JudgeReleaseFeed(feed, installation.product, installation.version, SecondsNow(), verdict);
}
