#pragma once
// The release feed for this installation: fetched from the address compiled
// into the agent, verified with the key compiled into it, and judged against
// the installed version. The feed verified last is kept with its ETag, so an
// unchanged feed costs one conditional request and a 304; the kept copy is
// verified and judged again as a fetched one is, expiry included, so a
// server that answers 304 forever cannot freeze an installation.
#include "Installation.h"
#include "ReleaseFeed.h"

// Fails as ReadReleaseFeed and JudgeReleaseFeed fail, with
// "Update.FeedTooLarge" for a feed over 64 KiB, and as the fetch fails.
HRESULT CheckFeed(const Installation& installation, ReleaseFeed& feed, FeedVerdict& verdict);
