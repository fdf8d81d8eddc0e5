#pragma once
// Fetches chunks of a published program by their compressed bytes in the
// body: adjacent chunks merged into one range of at most 8 MiB, up to four
// connections at once, each chunk inflated and checked against its SHA-256
// as it completes and handed to the target. Every range after the first
// answer carries If-Match with that answer's ETag. A connection that the
// server turns away (503, 429) while others run gives its range back and
// ends: the server gets fewer connections, the download goes on.
#include "BlockMap.h"
#include "SError.h"
#include "SHandle.h"

#include <deque>
#include <vector>

class ChunkTarget
{
public:
    // A chunk's checked bytes; called on the fetcher's threads, at once.
    virtual HRESULT PutChunk(const BlockChunk& chunk, const BYTE* bytes) = 0;
    // The body bytes received so far over all connections; called on the
    // caller's thread, about ten times a second while the fetch runs, with
    // no lock held: the target may work there.
    virtual void Received(DWORD bytes) = 0;

protected:
    ~ChunkTarget() {}
};

class RangeFetcher
{
public:
    static const int maxConnections = 4;
    static const DWORD maxRange = 8 * 1024 * 1024;

    RangeFetcher(const SString& url, const BlockMap& map, ChunkTarget& target);
    RangeFetcher(const RangeFetcher&) = delete;
    RangeFetcher& operator=(const RangeFetcher&) = delete;

    // Fetches the chunks (ascending indexes into the map). Chunks whose bytes
    // did not match the map are listed in `bad`; a failure of a range (after
    // its retries), a cancel or a target failure fails the fetch.
    HRESULT Fetch(const std::vector<DWORD>& chunks, std::vector<DWORD>& bad);

private:
    struct Range
    {
        DWORD firstChunk;
        DWORD lastChunk;
    };
    struct Connection
    {
        RangeFetcher* fetcher;
        SThreadError error;
        SKernelHandle thread;
        bool failed = false;
    };
    class RangeSink;

    void PlanRanges(const std::vector<DWORD>& chunks, int connections);
    HRESULT RunConnections(int count);
    static DWORD WINAPI Run(LPVOID connection);
    void Work(Connection& connection);
    HRESULT FetchRange(const Range& range);
    bool TakeRange(Range& range);
    void NoteAnswer(const SString& etag);
    void WaitForConnections(Connection* connections, int count);

    SString m_url;
    const BlockMap& m_map;
    ChunkTarget& m_target;
    SRWLOCK m_lock;
    CONDITION_VARIABLE m_changed;
    std::deque<Range> m_ranges;
    std::vector<DWORD> m_bad;
    SString m_etag;
    bool m_answered; // the first range's answer came: its ETag is known
    volatile bool m_stop; // a connection failed: the others stop too
    int m_running;
    int m_gaveWay;
    volatile LONG m_received;
};
