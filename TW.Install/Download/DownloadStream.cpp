#include "DownloadStream.h"

#include "SError.h"
#include "SLog.h"
#include "SNls.h"
#include "StageClock.h"

namespace
{
bool IsHexDigest(const SString& text)
{
    if (text.Length() != 64)
        return false;
    for (int i = 0; i < 64; ++i)
    {
        wchar_t c = text[i];
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F')))
            return false;
    }
    return true;
}

SString LowerHex(const SString& text)
{
    SString lower(text);
    for (wchar_t c = L'A'; c <= L'F'; ++c)
        lower.ReplaceChar(c, static_cast<wchar_t>(c - L'A' + L'a'));
    return lower;
}
} // namespace

DownloadStream::DownloadStream(const SString& url, const SString& digest, const DownloadProgress& progress)
    : m_url(UrlForLog(url)), m_digest(LowerHex(digest)), m_progress(progress), m_inflate(false), m_digestChecked(false),
      m_received(0), m_total(0xFFFFFFFF), m_started(0), m_handing(0), m_draining(0), m_consuming(0), m_hashing(0),
      m_writing(0), m_copying(0), m_inflater(UrlForLog(url)), m_worker(*this, 512 * 1024)
{
}

HRESULT DownloadStream::Open(const SString& path, const SString& copyPath, bool inflate)
{
    if (!m_digest.IsEmpty() && !IsHexDigest(m_digest))
    {
        SERROR_SET("ReadPackage.Digest")
            .Add(m_url)
            .Add(L"The package's SHA-256 for this download is not 64 hexadecimal digits: " + m_digest);
        return E_FAIL;
    }
    m_inflate = inflate;
    StagingPlace& place = m_progress.caller->Staging();
    S_RETURN_IF_FAILED(m_file.Create(path, place));
    if (!copyPath.IsEmpty() && m_copy.Create(copyPath, place) != S_OK)
        m_copy.Discard();
    m_started = StageClock::Now();
    return m_worker.Start();
}

HRESULT DownloadStream::Begin(DWORD offset, DWORD total)
{
    S_RETURN_IF_FAILED(m_worker.Drain());
    m_total = total;
    if (offset == m_received && offset)
        return S_OK;
    // Anything else starts the file over: bytes, inflate and hash state.
    m_received = 0;
    m_digestChecked = false;
    m_hash.Restart();
    S_RETURN_IF_FAILED(m_inflater.Restart());
    S_RETURN_IF_FAILED(m_file.Truncate());
    if (m_copy.IsOpen() && m_copy.Truncate() != S_OK)
        m_copy.Discard();
    return S_OK;
}

HRESULT DownloadStream::Receive(const BYTE* bytes, DWORD count)
{
    S_RETURN_IF_FAILED(m_progress.caller->CheckNotCancelled());
    m_received += count;
    {
        StageClock clock(m_handing);
        S_RETURN_IF_FAILED(m_worker.Push(bytes, count));
    }
    ReportProgress(m_progress.text);
    return S_OK;
}

HRESULT DownloadStream::Consume(const BYTE* bytes, DWORD size)
{
    StageClock clock(m_consuming);
    return m_inflate ? m_inflater.Feed(bytes, size, *this) : Write(bytes, size);
}

void DownloadStream::Retrying(int attempt, DWORD /*waitMs*/)
{
    SString text = GetNLS(L"Install.Retry");
    text.Replace(L"%1", SString::FromInt(attempt).CStr());
    ReportProgress(text);
}

HRESULT DownloadStream::Write(const BYTE* bytes, DWORD size)
{
    {
        StageClock clock(m_hashing);
        m_hash.Update(bytes, size);
    }
    {
        StageClock clock(m_writing);
        S_RETURN_IF_FAILED(m_file.Write(bytes, size));
    }
    StageClock clock(m_copying);
    if (m_copy.IsOpen() && m_copy.Write(bytes, size) != S_OK)
        m_copy.Discard(); // the copy is best effort: a full disk drops it, not the install
    return S_OK;
}

HRESULT DownloadStream::End()
{
    {
        StageClock clock(m_draining);
        S_RETURN_IF_FAILED(m_worker.Drain());
    }
    if (m_inflate)
        S_RETURN_IF_FAILED(m_inflater.Finish());
    S_RETURN_IF_FAILED(CheckDigest());
    m_digestChecked = true;
    LogStages();
    return S_OK;
}

void DownloadStream::LogStages() const
{
    // The worker's time overlaps the receipt: with the overlap working, the
    // whole is the receipt, and the worker's stages add up to less.
    LONGLONG all = StageClock::Now() - m_started;
    LONGLONG writes = m_hashing + m_writing + m_copying;
    SLog::Line(L"download split: " + StageClock::Milliseconds(all) + L" in all; receiving (connection included) " +
               StageClock::Milliseconds(all - m_handing - m_draining) + L", handing pieces to the worker " +
               StageClock::Milliseconds(m_handing) + L", waiting for it at the end " +
               StageClock::Milliseconds(m_draining) + L"; the worker: inflate " +
               StageClock::Milliseconds(m_consuming - writes) + L", hash " + StageClock::Milliseconds(m_hashing) +
               L", write " + StageClock::Milliseconds(m_writing) + L", write the copy " +
               StageClock::Milliseconds(m_copying));
}

HRESULT DownloadStream::Commit()
{
    if (!m_digestChecked)
        S_RETURN_IF_FAILED(End());
    S_RETURN_IF_FAILED(m_file.Commit());
    if (m_copy.IsOpen())
        m_copy.Commit();
    return S_OK;
}

HRESULT DownloadStream::CheckDigest()
{
    SDigest digest;
    if (!m_hash.Finish(digest))
    {
        SERROR_SET("Download.Checksum").Add(m_url).Add(L"Windows cannot compute the SHA-256 of the download.");
        return E_FAIL;
    }
    SString actual = HexLower(digest.data(), static_cast<DWORD>(digest.size()));
    if (m_digest.IsEmpty() || actual == m_digest)
    {
        SLog::Line(L"checksum: SHA-256 " + actual + (m_digest.IsEmpty() ? L" (the package names none)" : L" as expected"));
        return S_OK;
    }
    SLog::Line(L"checksum: SHA-256 " + actual + L", expected " + m_digest);
    SERROR_SET("Download.Checksum")
        .Add(m_url)
        .Add(L"Expected SHA-256 " + m_digest)
        .Add(L"Received SHA-256 " + actual);
    return E_FAIL;
}

void DownloadProgress::Report(const SString& status, unsigned long long received, DWORD whole) const
{
    // The body's share of the total, whatever its compressed size.
    unsigned long long part = received;
    if (whole != 0xFFFFFFFF && whole)
        part = part * share / whole;
    if (part > share)
        part = share;
    caller->ReportProgress(status, done + static_cast<DWORD>(part), total);
}

void DownloadStream::ReportProgress(const SString& text) const { m_progress.Report(text, m_received, m_total); }
