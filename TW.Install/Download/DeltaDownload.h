#pragma once
// A download rebuilt from its block map: the chunks that the machine already
// has are copied from its files, only the others are fetched (RangeFetcher),
// each checked against the map before it is written into its place in a
// staging file of the final size; the whole is the package's once every
// chunk is there, as the map that the package vouches for lists them. Until
// Commit, the target stays as it was, and a failure leaves nothing behind:
// the caller then downloads the whole body.
#include "BlockMap.h"
#include "DownloadStream.h"
#include "LocalChunks.h"
#include "RangeFetcher.h"
#include "StagedFile.h"

class DeltaDownload : private ChunkTarget
{
    class WholeBody;

public:
    // digest: the program's SHA-256 (64 hexadecimal digits).
    DeltaDownload(const SString& url, const SString& digest, const DownloadProgress& progress);

    // Fetches the map from url + ".blocks" and checks it against blocksDigest
    // ("Download.BlockMap"), then stages the program at path from the chunks
    // of the program there, of its copy (copyPath, or empty) and of the other
    // sources, and the fetched ones. A server that ignores ranges sends the whole body for the
    // first of them: that is streamed as a whole download, copy included, in
    // place of the chunks. Fails as the map, the fetch or the final check
    // ("Download.Checksum") fails.
    HRESULT Stage(const SString& blocksDigest, const SString& path, const SString& copyPath,
                  const SStringList& sources);
    // Puts the staged program in place; nothing for a held one.
    HRESULT Commit();
    // The copy was written too: with the program, or by the whole download.
    bool WroteCopy() const { return m_tookWhole || m_wroteCopy; }

private:
    HRESULT FetchMapWhileIndexing(const SString& blocksDigest, const SStringList& localFiles, LocalChunks& local);
    HRESULT FetchMap(const SString& blocksDigest);
    bool HoldsProgram(const LocalChunks& local) const;
    HRESULT CopyLocalChunks(const LocalChunks& local, std::vector<DWORD>& missing);
    HRESULT FetchMissing(const std::vector<DWORD>& missing, SHttpSink& whole);
    void MarkWritten(DWORD chunk);
    HRESULT CheckWhole();
    HRESULT WriteChunk(const BlockChunk& chunk, const BYTE* bytes);
    HRESULT PutChunk(const BlockChunk& chunk, const BYTE* bytes) override;
    void Received(DWORD bytes) override;

    SString m_url;
    SString m_digest;
    DownloadProgress m_progress;
    SString m_path;
    SString m_copyPath;
    DownloadStream m_wholeStream; // used only when the server ignores ranges
    bool m_tookWhole;
    bool m_held;
    BlockMap m_map;
    StagedFile m_file;
    StagedFile m_copy;
    volatile bool m_copyFailed; // or there is no copy
    bool m_wroteCopy;
    DWORD m_localBodyBytes; // the body's bytes that the local chunks stand for
    std::vector<LONG> m_written; // per chunk, set by the thread that wrote it
};
