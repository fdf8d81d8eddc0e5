#include "DeltaDownload.h"

#include "SError.h"
#include "SHandle.h"
#include "SLog.h"
#include "TWInstall.h"

#include <vector>

namespace
{
// A map larger than this is not one: 4 GiB of program in 16 KiB chunks.
const DWORD g_maxMapSize = 52 + 48 * (0xFFFFFFFF / (16 * 1024));
} // namespace

DeltaDownload::DeltaDownload(const SString& url, const SString& digest, const DownloadProgress& progress)
    : m_url(url), m_digest(digest), m_progress(progress), m_localBodyBytes(0)
{
}

HRESULT DeltaDownload::Stage(const SString& blocksDigest, const SString& path, const SStringList& localFiles,
                             InstallTransaction& transaction)
{
    S_RETURN_IF_FAILED(FetchMap(blocksDigest));
    // The next file is cut and hashed only while chunks are still lacking:
    // the copy usually holds what the program holds.
    LocalChunks local;
    for (int i = 0; i < localFiles.Count() && Lacking(local); ++i)
        local.AddFile(localFiles[i]);
    S_RETURN_IF_FAILED(m_file.Create(path, transaction));
    std::vector<DWORD> missing;
    S_RETURN_IF_FAILED(CopyLocalChunks(local, missing));
    SLog::Line(L"delta download: " + SString::FromUnsigned(static_cast<DWORD>(m_map.chunks.size() - missing.size())) +
               L" of " + SString::FromUnsigned(static_cast<DWORD>(m_map.chunks.size())) +
               L" chunks from the files on this computer, " + SString::FromUnsigned(static_cast<DWORD>(missing.size())) +
               L" to fetch");
    S_RETURN_IF_FAILED(FetchMissing(missing));
    return CheckWhole();
}

HRESULT DeltaDownload::Commit() { return m_file.Commit(); }

HRESULT DeltaDownload::FetchMap(const SString& blocksDigest)
{
    SString mapUrl = m_url + L".blocks";
    BYTE* body = NULL;
    DWORD size = 0;
    HRESULT fetched = OpenURL(mapUrl, SStringList(), &body, &size, NULL, NULL);
    SMallocBytes owner(body);
    S_RETURN_IF_FAILED(fetched);
    SDigest digest;
    if (size > g_maxMapSize || !Sha256(body, size, digest) ||
        ::lstrcmpiW(HexLower(digest.data(), 32).CStr(), blocksDigest.CStr()) != 0)
    {
        SERROR_SET("Download.BlockMap").Add(UrlForLog(mapUrl)).Add(L"The block map is not the one the package names.");
        return E_FAIL;
    }
    S_RETURN_IF_FAILED(ParseBlockMap(body, size, m_map));
    if (::lstrcmpiW(HexLower(m_map.programDigest.data(), 32).CStr(), m_digest.CStr()) != 0)
    {
        SERROR_SET("Download.BlockMap").Add(UrlForLog(mapUrl)).Add(L"The block map is for another program.");
        return E_FAIL;
    }
    return S_OK;
}

bool DeltaDownload::Lacking(const LocalChunks& local) const
{
    for (const BlockChunk& chunk : m_map.chunks)
        if (!local.Find(chunk.digest, chunk.programSize))
            return true;
    return false;
}

// Every chunk found on this computer is written into its place at once;
// the others are listed for the fetch.
HRESULT DeltaDownload::CopyLocalChunks(const LocalChunks& local, std::vector<DWORD>& missing)
{
    std::vector<BYTE> buffer;
    SFile source;
    int sourceIndex = -1;
    for (DWORD i = 0; i < m_map.chunks.size(); ++i)
    {
        const BlockChunk& chunk = m_map.chunks[i];
        const LocalChunk* found = local.Find(chunk.digest, chunk.programSize);
        if (found && found->file != sourceIndex)
        {
            source.Reset(::CreateFileW(local.Path(found->file).CStr(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                       OPEN_EXISTING, 0, NULL));
            sourceIndex = found->file;
        }
        buffer.resize(chunk.programSize ? chunk.programSize : 1);
        OVERLAPPED at = {};
        DWORD read = 0;
        at.Offset = found ? found->offset : 0;
        // Not hashed again: a file that changed since it was cut fails the
        // check of the whole, and the whole body follows.
        bool copied = found && source.IsValid() && ::ReadFile(source.Get(), &buffer[0], chunk.programSize, &read, &at) &&
                      read == chunk.programSize;
        if (!copied)
        {
            missing.push_back(i);
            continue;
        }
        S_RETURN_IF_FAILED(m_file.WriteAt(chunk.programOffset, &buffer[0], chunk.programSize));
        m_localBodyBytes += chunk.bodySize;
    }
    return S_OK;
}

// A chunk that arrives damaged is fetched once more; damaged again, the
// delta gives up.
HRESULT DeltaDownload::FetchMissing(const std::vector<DWORD>& missing)
{
    if (missing.empty())
        return S_OK;
    RangeFetcher fetcher(m_url, m_map, *this);
    std::vector<DWORD> bad;
    S_RETURN_IF_FAILED(fetcher.Fetch(missing, bad));
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

// The staged program, read back: its size and SHA-256 must be the package's.
HRESULT DeltaDownload::CheckWhole()
{
    std::vector<BYTE> buffer(1024 * 1024);
    SSha256 hash;
    DWORD offset = 0;
    for (;;)
    {
        DWORD read = 0;
        S_RETURN_IF_FAILED(m_file.ReadAt(offset, &buffer[0], static_cast<DWORD>(buffer.size()), read));
        if (!read)
            break;
        hash.Update(&buffer[0], read);
        offset += read;
    }
    SDigest digest;
    SString actual = hash.Finish(digest) ? HexLower(digest.data(), 32) : SString();
    if (offset == m_map.programSize && ::lstrcmpiW(actual.CStr(), m_digest.CStr()) == 0)
    {
        SLog::Line(L"checksum: SHA-256 " + actual + L" as expected (rebuilt from chunks)");
        return S_OK;
    }
    SERROR_SET("Download.Checksum")
        .Add(UrlForLog(m_url))
        .Add(L"Expected SHA-256 " + m_digest)
        .Add(L"Rebuilt SHA-256 " + actual + L", " + SString::FromUnsigned(offset) + L" bytes");
    return E_FAIL;
}

HRESULT DeltaDownload::PutChunk(const BlockChunk& chunk, const BYTE* bytes)
{
    return m_file.WriteAt(chunk.programOffset, bytes, chunk.programSize);
}

void DeltaDownload::Received(DWORD bytes)
{
    // The body's share: what the local chunks spared, and what arrived.
    unsigned long long part = static_cast<unsigned long long>(m_localBodyBytes) + bytes;
    if (m_map.bodySize)
        part = part * m_progress.share / m_map.bodySize;
    if (part > m_progress.share)
        part = m_progress.share;
    m_progress.engine->ReportProgress(m_progress.text, m_progress.done + static_cast<DWORD>(part), m_progress.total);
}
