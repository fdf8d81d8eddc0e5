#include "InstallRun.h"

#include "SError.h"

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
