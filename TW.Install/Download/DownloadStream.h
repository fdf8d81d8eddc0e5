#pragma once
// One download on its way to disk: each received piece is inflated (or kept
// as received), hashed and written to staging files beside the target and
// its copy, in one pass, on a thread of its own while the next pieces
// arrive (at most 512 KiB wait in between). Commit verifies the whole and
// only then puts the files in place; a stream that is not committed leaves
// nothing behind.
#include "DownloadCaller.h"
#include "InflateStream.h"
#include "PieceWorker.h"
#include "SHash.h"
#include "SHttpClient.h"
#include "StagedFile.h"

// Where the download's progress goes: its share of the install's total.
struct DownloadProgress
{
    DownloadCaller* caller;
    SString text;
    DWORD done;  // counted before this download
    DWORD total; // of the whole install
    DWORD share; // this download's declared size

    // Reports `received` of `whole` body bytes (0 or 0xFFFFFFFF: unknown) as
    // this download's share of the install, never more than the share.
    void Report(const SString& status, unsigned long long received, DWORD whole) const;
};

class DownloadStream : public SHttpSink, private InflateOutput, private PieceConsumer
{
public:
    // digest: 64 hexadecimal digits of the installed file, or empty for none.
    DownloadStream(const SString& url, const SString& digest, const DownloadProgress& progress);

    // Stages the target, and the copy when copyPath is not empty (best
    // effort, as the copy has always been). inflate: the body is the
    // published form of a program rather than the file itself.
    HRESULT Open(const SString& path, const SString& copyPath, bool inflate);
    HRESULT Begin(DWORD offset, DWORD total) override;
    HRESULT Receive(const BYTE* bytes, DWORD count) override;
    // The status line says that the download is tried again; the bar stays.
    void Retrying(int attempt, DWORD waitMs) override;
    // The inflated program, or the file's digest, must be whole.
    HRESULT End() override;
    // Checks completeness and the digest ("Download.Checksum"), then puts the
    // staged files in place of their targets.
    HRESULT Commit();

private:
    // The worker's side: inflate (or keep), hash and write.
    HRESULT Consume(const BYTE* bytes, DWORD size) override;
    HRESULT Write(const BYTE* bytes, DWORD size) override;
    HRESULT CheckDigest();
    void LogStages() const;
    void ReportProgress(const SString& text) const;

    SString m_url;
    SString m_digest;
    DownloadProgress m_progress;
    bool m_inflate;
    bool m_digestChecked; // by End, which finished the hash: the body is whole
    DWORD m_received;
    DWORD m_total;
    // Performance counter ticks: the start, the receiving thread's stages
    // and the worker's.
    LONGLONG m_started;
    LONGLONG m_handing;
    LONGLONG m_draining;
    LONGLONG m_consuming;
    LONGLONG m_hashing;
    LONGLONG m_writing;
    LONGLONG m_copying;
    InflateStream m_inflater;
    SSha256 m_hash;
    StagedFile m_file;
    StagedFile m_copy;
    PieceWorker m_worker; // last: it stops before what it works on goes
};
