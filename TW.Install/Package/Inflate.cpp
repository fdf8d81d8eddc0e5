#include "InflateStream.h"

#include "SError.h"

#include <string.h>
#include <zlib.h>

HRESULT InflateExactly(const BYTE* stream, DWORD streamLength, DWORD size, const SString& name,
                       SMallocBytes& output)
{
    SMallocBytes buffer(static_cast<unsigned char*>(malloc(size ? size : 1)));
    if (!buffer.IsValid())
    {
        SERROR_SET("Install.Inflate").Add(name).Add(L"Not enough memory for " + SString::FromInt(size) + L" bytes.");
        return E_FAIL;
    }
    uLongf length = size;
    int result = ::uncompress(buffer.Get(), &length, stream, streamLength);
    if (result != Z_OK || length != size)
    {
        SERROR_SET("Install.Inflate")
            .Add(name)
            .Add(L"The compressed data are damaged: zlib result " + SString::FromInt(result < 0 ? -result : result) +
                 L", " + SString::FromInt(static_cast<int>(length)) + L" of " + SString::FromInt(size) +
                 L" bytes.");
        return E_FAIL;
    }
    output = static_cast<SMallocBytes&&>(buffer);
    return S_OK;
}

bool InflateChunk(const BYTE* bytes, DWORD count, BYTE* output, DWORD size)
{
    z_stream zlib = {};
    if (::inflateInit2(&zlib, -MAX_WBITS) != Z_OK)
        return false;
    zlib.next_in = const_cast<BYTE*>(bytes);
    zlib.avail_in = count;
    zlib.next_out = output;
    zlib.avail_out = size;
    int result = ::inflate(&zlib, Z_SYNC_FLUSH);
    bool whole = (result == Z_OK || result == Z_STREAM_END) && zlib.avail_out == 0;
    if (whole && result == Z_OK)
    {
        // The flush that ends the chunk may still wait; one byte more of
        // room shows a chunk that gives more than its size.
        BYTE extra = 0;
        zlib.next_out = &extra;
        zlib.avail_out = 1;
        result = ::inflate(&zlib, Z_SYNC_FLUSH);
        whole = (result == Z_OK || result == Z_BUF_ERROR || result == Z_STREAM_END) && zlib.avail_out == 1;
    }
    whole = whole && zlib.avail_in == 0;
    ::inflateEnd(&zlib);
    return whole;
}

InflateStream::InflateStream(const SString& name)
    : m_name(name), m_zlib(NULL), m_prefixLength(0), m_size(0), m_inflated(0), m_ended(false), m_buffer(65536)
{
}

InflateStream::~InflateStream()
{
    if (!m_zlib)
        return;
    ::inflateEnd(static_cast<z_stream*>(m_zlib));
    delete static_cast<z_stream*>(m_zlib);
}

HRESULT InflateStream::Restart()
{
    m_prefixLength = 0;
    m_size = 0;
    m_inflated = 0;
    m_ended = false;
    if (!m_zlib)
    {
        z_stream* zlib = new z_stream();
        if (::inflateInit(zlib) != Z_OK)
        {
            delete zlib;
            return Damaged(L"zlib cannot start", Z_MEM_ERROR);
        }
        m_zlib = zlib;
        return S_OK;
    }
    if (::inflateReset(static_cast<z_stream*>(m_zlib)) != Z_OK)
        return Damaged(L"zlib cannot start over", Z_STREAM_ERROR);
    return S_OK;
}

HRESULT InflateStream::Feed(const BYTE* bytes, DWORD size, InflateOutput& output)
{
    if (!m_zlib)
        S_RETURN_IF_FAILED(Restart());
    while (size && m_prefixLength < 4)
    {
        m_prefix[m_prefixLength++] = *bytes++;
        --size;
        if (m_prefixLength == 4)
            memcpy(&m_size, m_prefix, 4);
    }
    z_stream* zlib = static_cast<z_stream*>(m_zlib);
    zlib->next_in = const_cast<BYTE*>(bytes);
    zlib->avail_in = size;
    // A full output buffer may leave inflated bytes inside zlib, so it is
    // called again until it has room to spare or has consumed everything.
    for (bool full = false; !m_ended && (zlib->avail_in || full);)
    {
        zlib->next_out = &m_buffer[0];
        zlib->avail_out = static_cast<uInt>(m_buffer.size());
        int result = ::inflate(zlib, Z_NO_FLUSH);
        if (result == Z_BUF_ERROR)
            break; // nothing more before further input arrives
        if (result != Z_OK && result != Z_STREAM_END)
            return Damaged(L"the compressed data are damaged", result);
        DWORD produced = static_cast<DWORD>(m_buffer.size()) - zlib->avail_out;
        if (produced > m_size - m_inflated)
            return Damaged(L"the data inflate to more bytes than announced", result);
        m_inflated += produced;
        m_ended = result == Z_STREAM_END;
        full = zlib->avail_out == 0;
        if (produced)
            S_RETURN_IF_FAILED(output.Write(&m_buffer[0], produced));
    }
    if (m_ended && zlib->avail_in)
        return Damaged(L"bytes follow the end of the compressed data", Z_DATA_ERROR);
    return S_OK;
}

HRESULT InflateStream::Finish() const
{
    if (m_prefixLength < 4)
    {
        SERROR_SET("Install.DownloadTooShort")
            .Add(m_name)
            .Add(L"The body holds " + SString::FromInt(static_cast<int>(m_prefixLength)) +
                 L" bytes, too few for the size of the program.");
        return E_FAIL;
    }
    if (!m_ended || m_inflated != m_size)
        return Damaged(L"the compressed data end early", Z_BUF_ERROR);
    return S_OK;
}

HRESULT InflateStream::Damaged(const wchar_t* why, int zlibResult) const
{
    SERROR_SET("Install.Inflate")
        .Add(m_name)
        .Add(SString(L"The download is damaged: ") + why + L" (zlib result " +
             SString::FromInt(zlibResult < 0 ? -zlibResult : zlibResult) + L", " +
             SString::FromInt(static_cast<int>(m_inflated)) + L" of " + SString::FromInt(static_cast<int>(m_size)) +
             L" bytes).");
    return E_FAIL;
}
