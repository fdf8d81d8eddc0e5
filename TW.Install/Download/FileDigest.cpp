#include "FileDigest.h"

#include "SHandle.h"
#include "SHash.h"

#include <vector>

namespace
{
bool FileSha256(const SString& path, SDigest& digest)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, NULL));
    if (!file.IsValid())
        return false;
    std::vector<BYTE> buffer(1024 * 1024);
    SSha256 hash;
    DWORD read = 0;
    for (;;)
    {
        if (!::ReadFile(file.Get(), &buffer[0], static_cast<DWORD>(buffer.size()), &read, NULL))
            return false;
        if (!read)
            break;
        hash.Update(&buffer[0], read);
    }
    return hash.Finish(digest);
}
} // namespace

bool FileHasSha256(const SString& path, const SString& digest)
{
    SDigest actual;
    return digest.Length() == 64 && FileSha256(path, actual) && IsDigest(actual, digest);
}

ULONGLONG FileSize(const SString& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path.CStr(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
