#pragma once
// The release feed as the update agent reads it. It comes from the network,
// so it is input like any other: at most 64 KiB, its form checked, and not one
// field trusted before the publisher's signature over every byte before the
// signature line is. Its expiry bounds how long an attacker may replay an old
// one; its version must not go back unless the publisher withdrew the
// installed one.
#include "SString.h"

struct ReleaseFeed
{
    SString product; // the uninstall key name of the installation it is for
    SString version;
    SString setupUrl; // https
    DWORD setupSize = 0;
    SString setupSha256; // 64 lower-case hexadecimal digits
    ULONGLONG made = 0;  // seconds since 1970, UTC
    ULONGLONG expires = 0;
    SStringList withdrawn; // versions the publisher took back
};

const DWORD maxFeedBytes = 64 * 1024;

// Reads and verifies the feed. publicKey: the publisher's ECDSA P-256 key,
// X then Y (64 bytes). Fails with "Update.FeedTooLarge", "Update.FeedFormat"
// or "Update.FeedSignature"; feed is then unchanged.
HRESULT ReadReleaseFeed(const BYTE* bytes, DWORD size, const BYTE* publicKey, ReleaseFeed& feed);

enum FeedVerdict
{
    FeedCurrent,  // the installed version is the feed's
    FeedUpdate,   // the feed's is newer, or the installed one cannot be read
    FeedWithdrawn // the installed version was withdrawn: the feed's older one replaces it
};

// The verified feed against this installation at `now` (seconds since 1970,
// UTC). Fails with "Update.FeedProduct" for another product,
// "Update.FeedExpired" once it has expired, and "Update.FeedOlder" for an
// older version that does not replace a withdrawn one (a replayed feed).
HRESULT JudgeReleaseFeed(const ReleaseFeed& feed, const SString& product, const SString& installed, ULONGLONG now,
                         FeedVerdict& verdict);
// Seconds since 1970, UTC, now.
ULONGLONG SecondsNow();
