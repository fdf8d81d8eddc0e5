#pragma once
// Inflates the published form of a program (a 4-byte little-endian size U,
// then a zlib stream of exactly U bytes) from pieces of any size, as they
// arrive, without holding either form whole.
#include "SHandle.h"
#include "SString.h"

#include <vector>

class InflateOutput
{
public:
    virtual HRESULT Write(const BYTE* bytes, DWORD size) = 0;

protected:
    ~InflateOutput() {}
};

class InflateStream
{
public:
    explicit InflateStream(const SString& name);
    ~InflateStream();
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    // Forgets everything fed so far.
    HRESULT Restart();
    // Inflates the bytes and hands what comes out to the output. Fails with
    // "Install.Inflate" for a damaged stream, one that gives more than U
    // bytes, or bytes after its end; an output failure is passed up.
    HRESULT Feed(const BYTE* bytes, DWORD size, InflateOutput& output);
    // Fails with "Install.DownloadTooShort" when the size was never complete
    // and with "Install.Inflate" when the stream ended early or not at all.
    HRESULT Finish() const;

private:
    HRESULT Damaged(const wchar_t* why, int zlibResult) const;

    SString m_name;
    void* m_zlib; // z_stream, kept out of this header
    BYTE m_prefix[4];
    DWORD m_prefixLength;
    DWORD m_size;
    DWORD m_inflated;
    bool m_ended;
    std::vector<BYTE> m_buffer;
};

// Inflates one chunk of a published program (raw deflate data that ends with
// a flush) into exactly `size` bytes at output. False when the data are
// damaged, give another size, or are not used up.
bool InflateChunk(const BYTE* bytes, DWORD count, BYTE* output, DWORD size);

// Inflates a zlib stream into exactly `size` bytes. Fails with "Install.Inflate"
// and the name when the stream is damaged or does not give that size.
HRESULT InflateExactly(const BYTE* stream, DWORD streamLength, DWORD size, const SString& name,
                       SMallocBytes& output);
