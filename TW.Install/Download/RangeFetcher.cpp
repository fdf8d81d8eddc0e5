#include "RangeFetcher.h"

#include "InflateStream.h"
#include "PieceWorker.h"

#include "SHttpClient.h"
#include "SLocked.h"
#include "SLog.h"

#include <string.h>

#include <algorithm>

namespace
{
// How often the caller's thread hears of the bytes received.
const DWORD g_reportMs = 100;
// The stream shows its rate for this long before the tail may be shared, and
// shares it only when the rest would take it longer than g_shareAfterMs.
const DWORD g_measureMs = 400;
const DWORD g_shareAfterMs = 2000;
} // namespace

// The bytes of a run of chunks, cut into its chunks, each inflated, checked
// against the map and handed to the target as it completes.
class RangeFetcher::ChunkCutter : public PieceConsumer
{
public:
    ChunkCutter(RangeFetcher& fetcher, const Range& range)
        : m_fetcher(fetcher), m_range(range), m_chunk(range.firstChunk), m_held(0)
    {
    }

    // The run starts over.
    void Restart()
    {
        m_chunk = m_range.firstChunk;
        m_held = 0;
    }

    HRESULT Consume(const BYTE* bytes, DWORD count) override
    {
        while (count)
        {
            if (m_chunk > m_range.lastChunk)
            {
                SERROR_SET("OpenURL.Range").Add(L"The server sent more than the part asked for.");
                return E_FAIL;
            }
            const BlockChunk& chunk = m_fetcher.m_map.chunks[m_chunk];
            m_compressed.resize(chunk.bodySize);
            DWORD take = std::min(count, chunk.bodySize - m_held);
            memcpy(&m_compressed[m_held], bytes, take);
            m_held += take;
            bytes += take;
            count -= take;
            if (m_held < chunk.bodySize)
                break;
            S_RETURN_IF_FAILED(FinishChunk(chunk));
            ++m_chunk;
            m_held = 0;
        }
        return S_OK;
    }

private:
    // A chunk whose bytes do not match the map is noted, not written.
    HRESULT FinishChunk(const BlockChunk& chunk)
    {
        m_program.resize(chunk.programSize ? chunk.programSize : 1);
        SDigest digest;
        if (InflateChunk(&m_compressed[0], chunk.bodySize, &m_program[0], chunk.programSize) &&
            Sha256(&m_program[0], chunk.programSize, digest) && digest == chunk.digest)
            return m_fetcher.m_target.PutChunk(chunk, &m_program[0]);
        SLocked hold(m_fetcher.m_lock);
        m_fetcher.m_bad.push_back(m_chunk);
        return S_OK;
    }

    RangeFetcher& m_fetcher;
    const Range& m_range;
    DWORD m_chunk;
    DWORD m_held;
    std::vector<BYTE> m_compressed;
    std::vector<BYTE> m_program;
};

// One range as it arrives: its chunks cut on the connection's thread, since
// the other connections keep the other core busy.
class RangeFetcher::RangeSink : public SHttpSink
{
public:
    RangeSink(RangeFetcher& fetcher, const Range& range) : m_fetcher(fetcher), m_cutter(fetcher, range) {}

    HRESULT Begin(DWORD offset, DWORD /*total*/) override
    {
        if (offset == 0)
            m_cutter.Restart();
        return S_OK;
    }

    HRESULT Receive(const BYTE* bytes, DWORD count) override
    {
        S_RETURN_IF_FAILED(m_fetcher.Received(count));
        return m_cutter.Consume(bytes, count);
    }

private:
    RangeFetcher& m_fetcher;
    ChunkCutter m_cutter;
};

// The stream as it arrives: its chunks are cut on a worker thread while the
// next bytes arrive, as a whole download's are, and it ends where the tail
// that other connections took begins.
class RangeFetcher::StreamSink : public SHttpSink
{
public:
    StreamSink(RangeFetcher& fetcher, const SHttpRange& part)
        : m_fetcher(fetcher), m_part(part), m_cutter(fetcher, fetcher.m_stream), m_worker(m_cutter, 512 * 1024),
          m_started(false), m_at(0)
    {
    }

    // Again after a retry, from where the run resumes.
    HRESULT Begin(DWORD offset, DWORD /*total*/) override
    {
        if (!m_started)
            S_RETURN_IF_FAILED(m_worker.Start());
        m_started = true;
        if (offset == 0)
        {
            S_RETURN_IF_FAILED(m_worker.Drain());
            m_cutter.Restart();
        }
        m_at = offset;
        SLocked hold(m_fetcher.m_lock);
        m_fetcher.m_etag = m_part.etag.StartsWith(L"W/") ? SString() : m_part.etag;
        m_fetcher.m_answered = true;
        return S_OK;
    }

    HRESULT Receive(const BYTE* bytes, DWORD count) override
    {
        S_RETURN_IF_FAILED(m_fetcher.Received(count));
        DWORD take = TakeBefore(count);
        if (take)
            S_RETURN_IF_FAILED(m_worker.Push(bytes, take));
        m_at += take;
        if (take == count)
            return S_OK;
        S_RETURN_IF_FAILED(m_worker.Drain());
        SERROR_SET("Download.Handed").Add(L"The stream reached the tail that other connections fetch.");
        return E_FAIL;
    }

    // What waits for the worker, cut and handed to the target.
    HRESULT Finish() { return m_worker.Drain(); }

private:
    // How much of count lies before the tail, and which chunk the stream is
    // on, for the sharing of the tail, which never begins before it.
    DWORD TakeBefore(DWORD count)
    {
        const std::vector<BlockChunk>& chunks = m_fetcher.m_map.chunks;
        DWORD start = chunks[m_fetcher.m_stream.firstChunk].bodyOffset;
        SLocked hold(m_fetcher.m_lock);
        const BlockChunk& last = chunks[m_fetcher.m_streamLast];
        DWORD end = last.bodyOffset + last.bodySize - start;
        DWORD& at = m_fetcher.m_streamAt;
        while (at < m_fetcher.m_streamLast &&
               chunks[at].bodyOffset + chunks[at].bodySize - start <= m_at + count)
            ++at;
        return m_at >= end ? 0 : std::min(count, end - m_at);
    }

    RangeFetcher& m_fetcher;
    const SHttpRange& m_part;
    ChunkCutter m_cutter;
    PieceWorker m_worker; // it stops before the cutter goes
    bool m_started;
    DWORD m_at; // the bytes of the run taken so far
};

RangeFetcher::RangeFetcher(const SString& url, const BlockMap& map, ChunkTarget& target, SHttpSink* whole,
                           DownloadCaller& caller)
    : m_url(url), m_map(map), m_target(target), m_caller(caller), m_whole(whole), m_answered(false),
      m_tookWhole(false), m_stop(false), m_running(0), m_gaveWay(0), m_received(0), m_streamLast(0), m_streamAt(0)
{
    ::InitializeSRWLock(&m_lock);
}

// Every connection's bytes: counted, unless the user cancelled or another
// connection failed.
HRESULT RangeFetcher::Received(DWORD count)
{
    S_RETURN_IF_FAILED(m_caller.CheckNotCancelled());
    if (m_stop)
    {
        SERROR_SET("Download.Stopped").Add(L"Another connection of the download failed.");
        return E_FAIL;
    }
    ::InterlockedExchangeAdd(&m_received, static_cast<LONG>(count));
    return S_OK;
}

HRESULT RangeFetcher::Fetch(const std::vector<DWORD>& chunks, std::vector<DWORD>& bad)
{
    m_bad.clear();
    m_stop = false;
    std::vector<DWORD> rest(chunks);
    if (!m_answered && !rest.empty())
    {
        S_RETURN_IF_FAILED(FetchFirst(rest[0]));
        if (m_tookWhole)
            return S_OK;
        rest.erase(rest.begin());
    }
    PlanRanges(rest, maxConnections);
    S_RETURN_IF_FAILED(RunRanges(maxConnections));
    std::sort(m_bad.begin(), m_bad.end());
    m_bad.erase(std::unique(m_bad.begin(), m_bad.end()), m_bad.end());
    bad = m_bad;
    return S_OK;
}

// The planned ranges, on fewer connections each round while the server
// turns some away.
HRESULT RangeFetcher::RunRanges(int connections)
{
    while (!m_ranges.empty())
    {
        m_gaveWay = 0;
        S_RETURN_IF_FAILED(RunConnections(std::min(connections, static_cast<int>(m_ranges.size()))));
        // Those the server turned away are not asked for again.
        connections = std::max(1, connections - m_gaveWay);
    }
    return S_OK;
}

// Adjacent chunks make one range, up to 8 MiB, and smaller when few ranges
// would leave connections idle: about two for each connection.
void RangeFetcher::PlanRanges(const std::vector<DWORD>& chunks, int connections)
{
    m_ranges.clear();
    ULONGLONG total = 0;
    for (DWORD index : chunks)
        total += m_map.chunks[index].bodySize;
    ULONGLONG share = std::max<ULONGLONG>(1024 * 1024, total / (2 * connections));
    DWORD size = 0;
    for (DWORD index : chunks)
    {
        DWORD bodySize = m_map.chunks[index].bodySize;
        bool joins = !m_ranges.empty() && m_ranges.back().lastChunk + 1 == index && size < share &&
                     size + bodySize <= maxRange;
        if (joins)
        {
            m_ranges.back().lastChunk = index;
            size += bodySize;
            continue;
        }
        Range range = {index, index};
        m_ranges.push_back(range);
        size = bodySize;
    }
}

namespace
{
// The delta's own answers to what is not a part: a server that ignores
// ranges may send its whole body only for the first request, and a busy
// server makes any connection but the last one give way.
struct DeltaAnswers : SHttpRangeAnswers
{
    SHttpSink* whole = NULL;
    bool giveWay = false;
    SHttpSink* WholeBodySink() override { return whole; }
    bool WaitWhenBusy() override { return !giveWay; }
};
} // namespace

HRESULT RangeFetcher::FetchFirst(DWORD chunk)
{
    Range range = {chunk, chunk};
    DeltaAnswers answers;
    answers.whole = m_whole;
    SHttpRange part;
    part.answers = &answers;
    S_RETURN_IF_FAILED(FetchPart(range, part));
    m_answered = true;
    // If-Match compares strongly: a weak ETag would make every later range a
    // 412. The map's digest of every chunk guards them without it.
    m_etag = part.etag.StartsWith(L"W/") ? SString() : part.etag;
    m_tookWhole = part.wholeTaken;
    return S_OK;
}

bool RangeFetcher::StartConnection(Connection& connection)
{
    connection.fetcher = this;
    {
        SLocked hold(m_lock);
        ++m_running;
    }
    connection.thread.Reset(::CreateThread(NULL, 0, Run, &connection, 0, NULL));
    if (connection.thread.IsValid())
        return true;
    SERROR_SET_SYSTEM("Install.Thread");
    SLocked hold(m_lock);
    --m_running;
    m_stop = true;
    return false;
}

// The first failure of a connection is the fetch's.
HRESULT RangeFetcher::EndConnections(Connection* connections, int count)
{
    WaitForConnections(connections, count);
    for (int i = 0; i < count; ++i)
        if (connections[i].failed)
        {
            connections[i].error.Raise();
            return E_FAIL;
        }
    return S_OK;
}

HRESULT RangeFetcher::RunConnections(int count)
{
    Connection connections[maxConnections];
    int started = 0;
    bool threadFailed = false;
    for (; started < count && !m_stop; ++started)
        if (!StartConnection(connections[started]))
        {
            threadFailed = true;
            break;
        }
    S_RETURN_IF_FAILED(EndConnections(connections, started));
    return threadFailed ? E_FAIL : S_OK;
}

HRESULT RangeFetcher::FetchAsStream(const std::vector<DWORD>& chunks, std::vector<DWORD>& bad)
{
    m_bad.clear();
    m_stop = false;
    if (chunks.empty())
        return S_OK;
    m_stream.firstChunk = chunks.front();
    m_stream.lastChunk = chunks.back();
    m_streamLast = chunks.back();
    m_streamAt = chunks.front();
    Connection connections[maxConnections];
    connections[0].stream = true;
    int started = StartConnection(connections[0]) ? 1 : 0;
    if (!started)
        return E_FAIL;
    DWORD begun = ::GetTickCount();
    bool decided = false;
    HANDLE threads[maxConnections];
    for (;;)
    {
        for (int i = 0; i < started; ++i)
            threads[i] = connections[i].thread.Get();
        if (::WaitForMultipleObjects(started, threads, TRUE, g_reportMs) != WAIT_TIMEOUT)
            break;
        DWORD received = static_cast<DWORD>(m_received);
        m_target.Received(received);
        DWORD elapsed = ::GetTickCount() - begun;
        if (!decided && elapsed >= g_measureMs && !m_tookWhole)
        {
            decided = true;
            ShareTail(chunks, received, elapsed, connections, started);
        }
    }
    S_RETURN_IF_FAILED(EndConnections(connections, started));
    // The tail's ranges that a busy server turned away.
    S_RETURN_IF_FAILED(RunRanges(maxConnections - 1));
    std::sort(m_bad.begin(), m_bad.end());
    bad = m_bad;
    return S_OK;
}

// The rest is shared when the stream alone would take too long for it: the
// stream keeps about a quarter, three connections the rest, each its range.
void RangeFetcher::ShareTail(const std::vector<DWORD>& chunks, DWORD streamed, DWORD milliseconds,
                             Connection* connections, int& started)
{
    const BlockChunk& last = m_map.chunks[chunks.back()];
    ULONGLONG end = static_cast<ULONGLONG>(last.bodyOffset) + last.bodySize;
    ULONGLONG at = m_map.chunks[chunks.front()].bodyOffset + static_cast<ULONGLONG>(streamed);
    if (!streamed || at >= end || (end - at) * milliseconds / streamed <= g_shareAfterMs)
        return;
    ULONGLONG tailStart = at + (end - at) / maxConnections;
    std::vector<DWORD> tail;
    {
        SLocked hold(m_lock);
        for (DWORD index : chunks)
            if (index > m_streamAt && m_map.chunks[index].bodyOffset >= tailStart)
                tail.push_back(index);
        if (tail.empty())
            return;
        m_streamLast = tail.front() - 1;
        PlanRanges(tail, maxConnections - 1);
    }
    SLog::Line(L"download: one stream would take " + SString::FromUnsigned(static_cast<DWORD>(
                                                          (end - at) * milliseconds / streamed)) +
               L" ms more; chunks from " + SString::FromUnsigned(tail.front()) + L" on go to " +
               SString::FromInt(maxConnections - 1) + L" more connections");
    for (int i = 1; i < maxConnections && !m_stop; ++i)
        if (StartConnection(connections[i]))
            started = i + 1;
        else
            break;
}

void RangeFetcher::WaitForConnections(Connection* connections, int count)
{
    HANDLE threads[maxConnections];
    for (int i = 0; i < count; ++i)
        threads[i] = connections[i].thread.Get();
    DWORD waited = WAIT_TIMEOUT;
    while (count && (waited = ::WaitForMultipleObjects(count, threads, TRUE, g_reportMs)) == WAIT_TIMEOUT)
        m_target.Received(static_cast<DWORD>(m_received));
    // The connections live on the caller's stack: whatever the wait says,
    // none may outlive this call.
    if (waited == WAIT_FAILED)
        for (int i = 0; i < count; ++i)
            ::WaitForSingleObject(threads[i], INFINITE);
    m_target.Received(static_cast<DWORD>(m_received));
}

DWORD WINAPI RangeFetcher::Run(LPVOID connection)
{
    Connection& self = *static_cast<Connection*>(connection);
    if (self.stream)
        self.fetcher->WorkStream(self);
    else
        self.fetcher->Work(self);
    return 0;
}

// The stream: a server that ignores ranges sends the whole body for it,
// which goes to the whole-body sink; one that hands its tail over ends it.
void RangeFetcher::WorkStream(Connection& connection)
{
    connection.error.Bind();
    DeltaAnswers answers;
    answers.whole = m_whole;
    SHttpRange part;
    part.answers = &answers;
    AskFor(m_stream, part);
    HRESULT fetched = S_OK;
    {
        StreamSink sink(*this, part);
        fetched = StreamURLRange(m_url, SStringList(), part, sink);
        if (fetched == S_OK)
            fetched = sink.Finish();
    }
    SLocked hold(m_lock);
    m_tookWhole = part.wholeTaken;
    if (fetched != S_OK && SError::Identifier() != L"Download.Handed" && !m_stop)
    {
        connection.failed = true;
        m_stop = true;
    }
    --m_running;
    connection.error.Unbind();
}

void RangeFetcher::Work(Connection& connection)
{
    connection.error.Bind();
    Range range;
    while (TakeRange(range))
    {
        if (FetchRange(range) == S_OK)
            continue;
        SLocked hold(m_lock);
        if (SError::Identifier() == L"OpenURL.Busy")
        {
            m_ranges.push_front(range);
            ++m_gaveWay;
        }
        else if (!m_stop)
        {
            // The first failure is the one the caller hears of.
            connection.failed = true;
            m_stop = true;
        }
        break;
    }
    {
        SLocked hold(m_lock);
        --m_running;
    }
    connection.error.Unbind();
}

bool RangeFetcher::TakeRange(Range& range)
{
    SLocked hold(m_lock);
    if (m_stop || m_ranges.empty())
        return false;
    range = m_ranges.front();
    m_ranges.pop_front();
    return true;
}

HRESULT RangeFetcher::FetchRange(const Range& range)
{
    DeltaAnswers answers;
    SHttpRange part;
    part.answers = &answers;
    {
        SLocked hold(m_lock);
        part.ifMatch = m_etag;
        answers.giveWay = m_running > 1;
    }
    return FetchPart(range, part);
}

// The body bytes of the range's chunks, as the part asks for them.
void RangeFetcher::AskFor(const Range& range, SHttpRange& part) const
{
    const BlockChunk& last = m_map.chunks[range.lastChunk];
    part.first = m_map.chunks[range.firstChunk].bodyOffset;
    part.last = last.bodyOffset + last.bodySize - 1;
}

// The range's compressed bytes, cut into its chunks; part holds the
// request's options and, after it, the answer's.
HRESULT RangeFetcher::FetchPart(const Range& range, SHttpRange& part)
{
    AskFor(range, part);
    RangeSink sink(*this, range);
    return StreamURLRange(m_url, SStringList(), part, sink);
}
