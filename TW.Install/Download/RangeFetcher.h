#pragma once
// Fetches chunks of a published program by their compressed bytes in the
// body: adjacent chunks merged into one range of at most 8 MiB, up to four
// connections at once, each chunk inflated and checked against its SHA-256
// as it completes and handed to the target. The first chunk is asked for
// alone, on the caller's thread: its answer tells whether the server serves
// ranges (a 200 is the whole body, which goes to the whole-body sink) and
// gives the ETag that every later range carries in If-Match. A connection
// that the server turns away (503, 429) while others run gives its range
// back and ends: the server gets fewer connections, the download goes on.
#include "BlockMap.h"
#include "DownloadCaller.h"
#include "SError.h"
#include "SHandle.h"
#include "SHttpClient.h"

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

    // whole: where a whole body sent for the first range goes; NULL to fail
    // with "OpenURL.RangeIgnored" then.
    RangeFetcher(const SString& url, const BlockMap& map, ChunkTarget& target, SHttpSink* whole,
                 DownloadCaller& caller);
    RangeFetcher(const RangeFetcher&) = delete;
    RangeFetcher& operator=(const RangeFetcher&) = delete;

    // Fetches the chunks (ascending indexes into the map). Chunks whose bytes
    // did not match the map are listed in `bad`; a failure of a range (after
    // its retries), a cancel or a target failure fails the fetch.
    HRESULT Fetch(const std::vector<DWORD>& chunks, std::vector<DWORD>& bad);
    // Fetches one run of adjacent chunks, such as a whole program, as Fetch
    // does, but as one stream first: on a fast link one connection is the
    // fastest and costs the least. When the stream has shown its rate and
    // the rest would take it more than about two seconds, up to three more
    // connections take the tail, cut at a chunk boundary, and the stream
    // stops where the tail begins.
    HRESULT FetchAsStream(const std::vector<DWORD>& chunks, std::vector<DWORD>& bad);
    // The server sent the whole body, which went to the whole-body sink.
    bool TookWhole() const { return m_tookWhole; }

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
        bool stream = false; // the first connection of FetchAsStream
    };
    class ChunkCutter;
    class RangeSink;
    class StreamSink;

    void PlanRanges(const std::vector<DWORD>& chunks, int connections);
    HRESULT RunRanges(int connections);
    HRESULT RunConnections(int count);
    bool StartConnection(Connection& connection);
    HRESULT EndConnections(Connection* connections, int count);
    static DWORD WINAPI Run(LPVOID connection);
    void Work(Connection& connection);
    void WorkStream(Connection& connection);
    void ShareTail(const std::vector<DWORD>& chunks, DWORD streamed, DWORD milliseconds, Connection* connections,
                   int& started);
    HRESULT FetchFirst(DWORD chunk);
    HRESULT FetchRange(const Range& range);
    HRESULT FetchPart(const Range& range, SHttpRange& part);
    void AskFor(const Range& range, SHttpRange& part) const;
    HRESULT Received(DWORD count);
    bool TakeRange(Range& range);
    void WaitForConnections(Connection* connections, int count);

    SString m_url;
    const BlockMap& m_map;
    ChunkTarget& m_target;
    DownloadCaller& m_caller;
    SRWLOCK m_lock;
    std::deque<Range> m_ranges;
    std::vector<DWORD> m_bad;
    SHttpSink* m_whole;
    SString m_etag;
    bool m_answered; // the first range's answer came: its ETag is known
    bool m_tookWhole;
    volatile bool m_stop; // a connection failed: the others stop too
    int m_running;
    int m_gaveWay;
    volatile LONG m_received;
    // The stream's run; the last chunk that it may take (lowered, under the
    // lock, when the tail goes to other connections); the chunk it is on.
    Range m_stream;
    DWORD m_streamLast;
    DWORD m_streamAt;
};
