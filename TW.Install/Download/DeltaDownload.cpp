#include "DeltaDownload.h"

#include "FileDigest.h"

#include "SError.h"
#include "SHandle.h"
#include "SLog.h"

#include <vector>

namespace
{
// A map larger than this is not one: 4 GiB of program in 16 KiB chunks.
const DWORD g_maxMapSize = 52 + 48 * (0xFFFFFFFF / (16 * 1024));

// The map in memory; one larger than any map can be is refused as it comes.
class MapSink : public SHttpSink
{
public:
    explicit MapSink(const SString& url) : m_url(url) {}
    const std::vector<BYTE>& Bytes() const { return m_bytes; }

    HRESULT Begin(DWORD offset, DWORD total) override
    {
        m_bytes.resize(offset);
        return total == 0xFFFFFFFF || total <= g_maxMapSize ? S_OK : TooLarge();
    }
    HRESULT Receive(const BYTE* bytes, DWORD count) override
    {
        if (count > g_maxMapSize - m_bytes.size())
            return TooLarge();
        m_bytes.insert(m_bytes.end(), bytes, bytes + count);
        return S_OK;
    }

private:
    HRESULT TooLarge() const
    {
        SERROR_SET("Download.BlockMap").Add(UrlForLog(m_url)).Add(L"The block map is larger than any map can be.");
        return E_FAIL;
    }

    SString m_url;
    std::vector<BYTE> m_bytes;
};

struct Indexing
{
    SString path;
    LocalChunks chunks;
};

DWORD WINAPI IndexFile(LPVOID indexing)
{
    Indexing& job = *static_cast<Indexing*>(indexing);
    job.chunks.AddFile(job.path);
    return 0;
}
} // namespace

// The whole body that a server which ignores ranges sends for the first:
// streamed into the target and its copy as a whole download is, in place of
// the chunks staged so far.
class DeltaDownload::WholeBody : public SHttpSink
{
public:
    explicit WholeBody(DeltaDownload& delta) : m_delta(delta), m_open(false) {}

    HRESULT Begin(DWORD offset, DWORD total) override
    {
        if (!m_open)
        {
            SLog::Line(L"delta download: the server ignores ranges; its whole body is taken");
            m_delta.m_file.Discard();
            m_delta.m_copy.Discard();
            S_RETURN_IF_FAILED(
                m_delta.m_wholeStream.Open(m_delta.m_path, m_delta.m_copyPath, true));
            m_open = true;
        }
        return m_delta.m_wholeStream.Begin(offset, total);
    }
    HRESULT Receive(const BYTE* bytes, DWORD count) override { return m_delta.m_wholeStream.Receive(bytes, count); }
    void Retrying(int attempt, DWORD waitMs) override { m_delta.m_wholeStream.Retrying(attempt, waitMs); }
    HRESULT End() override { return m_delta.m_wholeStream.End(); }

private:
    DeltaDownload& m_delta;
    bool m_open;
};

DeltaDownload::DeltaDownload(const SString& url, const SString& digest, const DownloadProgress& progress)
    : m_url(url), m_digest(digest), m_progress(progress), m_wholeStream(url, digest, progress),
      m_tookWhole(false), m_held(false), m_copyFailed(true), m_wroteCopy(false), m_localBodyBytes(0)
{
}

HRESULT DeltaDownload::Stage(const SString& blocksDigest, const SString& path, const SString& copyPath,
                             const SStringList& sources)
{
    m_path = path;
    m_copyPath = copyPath;
    SStringList localFiles;
    localFiles.Append(path);
    // A copy of the program's size is its copy, with no chunk of its own: it
    // would only double the cutting.
    if (!copyPath.IsEmpty() && FileSize(copyPath) != FileSize(path))
        localFiles.Append(copyPath);
    for (int i = 0; i < sources.Count(); ++i)
        localFiles.Append(sources[i]);
    LocalChunks local;
    S_RETURN_IF_FAILED(FetchMapWhileIndexing(blocksDigest, localFiles, local));
    if (HoldsProgram(local))
    {
        m_held = true;
        SLog::Line(L"download skipped: " + path + L" already is the package's program, chunk for chunk (SHA-256 " +
                   m_digest + L")");
        return S_OK;
    }
    S_RETURN_IF_FAILED(m_file.Create(path, m_progress.caller->Staging()));
    // The copy is written with the program, as a whole download writes it,
    // and as it always was, at best: one that fails is left out.
    m_copyFailed = copyPath.IsEmpty() || m_copy.Create(copyPath, m_progress.caller->Staging()) != S_OK;
    std::vector<DWORD> missing;
    S_RETURN_IF_FAILED(CopyLocalChunks(local, missing));
    SLog::Line(L"delta download: " + SString::FromUnsigned(static_cast<DWORD>(m_map.chunks.size() - missing.size())) +
               L" of " + SString::FromUnsigned(static_cast<DWORD>(m_map.chunks.size())) +
               L" chunks from the files on this computer, " + SString::FromUnsigned(static_cast<DWORD>(missing.size())) +
               L" to fetch");
    WholeBody whole(*this);
    S_RETURN_IF_FAILED(FetchMissing(missing, whole));
    return m_tookWhole ? S_OK : CheckWhole();
}

// The local files are cut and hashed, each on a thread of its own, while
// the map arrives.
HRESULT DeltaDownload::FetchMapWhileIndexing(const SString& blocksDigest, const SStringList& localFiles,
                                             LocalChunks& local)
{
    const int most = 4;
    Indexing indexing[most];
    SKernelHandle indexers[most];
    int count = localFiles.Count() < most ? localFiles.Count() : most;
    for (int i = 0; i < count; ++i)
    {
        indexing[i].path = localFiles[i];
        indexers[i].Reset(::CreateThread(NULL, 0, IndexFile, &indexing[i], 0, NULL));
        if (!indexers[i].IsValid())
            IndexFile(&indexing[i]);
    }
    HRESULT mapped = FetchMap(blocksDigest);
    for (int i = 0; i < count; ++i)
    {
        if (indexers[i].IsValid())
            ::WaitForSingleObject(indexers[i].Get(), INFINITE);
        local.Merge(indexing[i].chunks);
    }
    return mapped;
}

HRESULT DeltaDownload::Commit()
{
    if (m_held)
        return S_OK;
    if (m_tookWhole)
        return m_wholeStream.Commit();
    S_RETURN_IF_FAILED(m_file.Commit());
    if (m_copyFailed || m_copy.Commit() != S_OK)
        m_copy.Discard();
    else
        m_wroteCopy = true;
    return S_OK;
}

// A repair: the program there was cut into the map's chunks, in order, at its
// size. That is the package's program, which the map's authenticity vouches
// for, with no second pass to hash the file whole.
bool DeltaDownload::HoldsProgram(const LocalChunks& local) const
{
    std::vector<std::pair<SDigest, DWORD> > chunks;
    for (const BlockChunk& chunk : m_map.chunks)
        chunks.push_back(std::make_pair(chunk.digest, chunk.programSize));
    return local.HoldsExactly(m_path, chunks);
}

HRESULT DeltaDownload::FetchMap(const SString& blocksDigest)
{
    SString mapUrl = m_url + L".blocks";
    MapSink sink(mapUrl);
    S_RETURN_IF_FAILED(StreamURL(mapUrl, SStringList(), sink));
    const std::vector<BYTE>& map = sink.Bytes();
    DWORD size = static_cast<DWORD>(map.size());
    SDigest digest;
    if (!size || !Sha256(&map[0], size, digest) || !IsDigest(digest, blocksDigest))
    {
        SERROR_SET("Download.BlockMap").Add(UrlForLog(mapUrl)).Add(L"The block map is not the one the package names.");
        return E_FAIL;
    }
    S_RETURN_IF_FAILED(ParseBlockMap(&map[0], size, m_map));
    m_written.assign(m_map.chunks.size(), 0);
    if (!IsDigest(m_map.programDigest, m_digest))
    {
        SERROR_SET("Download.BlockMap").Add(UrlForLog(mapUrl)).Add(L"The block map is for another program.");
        return E_FAIL;
    }
    return S_OK;
}

// Every chunk found on this computer is written into its place at once;
// the others are listed for the fetch.
HRESULT DeltaDownload::CopyLocalChunks(const LocalChunks& local, std::vector<DWORD>& missing)
{
    std::vector<BYTE> buffer;
    SFile source;
    int sourceIndex = -1;
    bool changed = false; // since it was cut: its chunks are hashed again
    for (DWORD i = 0; i < m_map.chunks.size(); ++i)
    {
        const BlockChunk& chunk = m_map.chunks[i];
        const LocalChunk* found = local.Find(chunk.digest, chunk.programSize);
        if (found && found->file != sourceIndex)
        {
            // No writer while it is open: what is read is what was checked.
            source.Reset(::CreateFileW(local.Path(found->file).CStr(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                       OPEN_EXISTING, 0, NULL));
            sourceIndex = found->file;
            changed = !source.IsValid() || !local.IsUnchanged(found->file, source.Get());
        }
        buffer.resize(chunk.programSize ? chunk.programSize : 1);
        OVERLAPPED at = {};
        DWORD read = 0;
        at.Offset = found ? found->offset : 0;
        // A file that changed since it was cut costs the chunks that
        // changed, not the whole delta: its chunks are hashed as they are read.
        SDigest digest;
        bool copied = found && source.IsValid() &&
                      ::ReadFile(source.Get(), &buffer[0], chunk.programSize, &read, &at) && read == chunk.programSize &&
                      (!changed || (Sha256(&buffer[0], read, digest) && digest == chunk.digest));
        if (!copied)
        {
            missing.push_back(i);
            continue;
        }
        S_RETURN_IF_FAILED(WriteChunk(chunk, &buffer[0]));
        MarkWritten(i);
        m_localBodyBytes += chunk.bodySize;
    }
    return S_OK;
}

// A chunk that arrives damaged is fetched once more; damaged again, the
// delta gives up.
HRESULT DeltaDownload::FetchMissing(const std::vector<DWORD>& missing, SHttpSink& whole)
{
    if (missing.empty())
        return S_OK;
    RangeFetcher fetcher(m_url, m_map, *this, &whole, *m_progress.caller);
    std::vector<DWORD> bad;
    // Nothing on this computer to build from: the whole program, as one
    // stream unless the link is slow.
    if (missing.size() == m_map.chunks.size())
        S_RETURN_IF_FAILED(fetcher.FetchAsStream(missing, bad));
    else
        S_RETURN_IF_FAILED(fetcher.Fetch(missing, bad));
    m_tookWhole = fetcher.TookWhole();
    if (bad.empty())
        return S_OK;
    SLog::Line(L"delta download: " + SString::FromUnsigned(static_cast<DWORD>(bad.size())) +
               L" chunks did not match the map, fetched again");
    std::vector<DWORD> stillBad;
    S_RETURN_IF_FAILED(fetcher.Fetch(bad, stillBad));
    if (stillBad.empty())
        return S_OK;
    SERROR_SET("Download.Chunk")
        .Add(UrlForLog(m_url))
        .Add(L"Chunk " + SString::FromUnsigned(stillBad[0]) + L" did not match the block map twice.");
    return E_FAIL;
}

void DeltaDownload::MarkWritten(DWORD chunk) { ::InterlockedExchange(&m_written[chunk], 1); }

// Every chunk was checked against its SHA-256 in the map as it was written
// (a fetched one as it arrived, a local one as its file was cut, or as it
// was read when the file had changed since), and the map is the one whose
// SHA-256 the package names, with chunks that tile the program exactly: so
// the staged program is the package's without being read back and hashed.
// What is left to check is that every chunk was written, at the size the
// map gives.
HRESULT DeltaDownload::CheckWhole()
{
    DWORD written = 0;
    for (size_t i = 0; i < m_written.size(); ++i)
        written += ::InterlockedCompareExchange(&m_written[i], 1, 1) == 1 ? 1 : 0;
    DWORD size = m_file.Size();
    if (written == m_map.chunks.size() && size == m_map.programSize)
    {
        SLog::Line(L"checksum: SHA-256 " + m_digest + L" as the block map vouches, every chunk matching its own");
        return S_OK;
    }
    SERROR_SET("Download.Checksum")
        .Add(UrlForLog(m_url))
        .Add(L"Expected SHA-256 " + m_digest)
        .Add(L"Rebuilt " + SString::FromUnsigned(written) + L" of " +
             SString::FromUnsigned(static_cast<DWORD>(m_map.chunks.size())) + L" chunks, " +
             SString::FromUnsigned(size) + L" bytes");
    return E_FAIL;
}

// From any thread: the program's chunk, and the copy's while it can be written.
HRESULT DeltaDownload::WriteChunk(const BlockChunk& chunk, const BYTE* bytes)
{
    S_RETURN_IF_FAILED(m_file.WriteAt(chunk.programOffset, bytes, chunk.programSize));
    if (!m_copyFailed && m_copy.WriteAt(chunk.programOffset, bytes, chunk.programSize) != S_OK)
        m_copyFailed = true;
    return S_OK;
}

HRESULT DeltaDownload::PutChunk(const BlockChunk& chunk, const BYTE* bytes)
{
    S_RETURN_IF_FAILED(WriteChunk(chunk, bytes));
    MarkWritten(static_cast<DWORD>(&chunk - &m_map.chunks[0]));
    return S_OK;
}

void DeltaDownload::Received(DWORD bytes)
{
    // What the local chunks spared, and what arrived.
    m_progress.Report(m_progress.text, static_cast<unsigned long long>(m_localBodyBytes) + bytes, m_map.bodySize);
}
