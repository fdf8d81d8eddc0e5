#include "SPath.h"

#include "SError.h"

bool IsDirectory(const SString& path)
{
    DWORD attributes = ::GetFileAttributesW(path.CStr());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

SString DirectoryPart(const SString& path)
{
    int separator = path.ReverseFind(L'\\');
    return separator < 0 ? SString() : path.Mid(0, separator);
}

SString FileNamePart(const SString& path)
{
    int separator = path.ReverseFind(L'\\');
    return separator < 0 ? path : path.Mid(separator + 1);
}

SString Combine(const SString& a, const SString& b)
{
    return a + L"\\" + b;
}

const SString& GetModulePath()
{
    static SString path;
    if (path.IsEmpty())
    {
        wchar_t buffer[MAX_PATH + 1] = {0};
        DWORD length = ::GetModuleFileNameW(::GetModuleHandleW(NULL), buffer, MAX_PATH);
        path = SString(buffer, static_cast<int>(length));
    }
    return path;
}

namespace
{
// "C:" names a drive, which always counts as existing.
bool IsDriveDesignator(const SString& path)
{
    return path.Length() == 2 && path[1] == L':';
}
} // namespace

HRESULT CreateDir(const SString& path)
{
    if (path.IsEmpty())
    {
        SERROR_SET("CreateDir.EmptyPath");
        return E_FAIL;
    }
    if (IsDirectory(path))
        return S_OK;
    SString parent = DirectoryPart(path);
    if (!parent.IsEmpty() && !IsDriveDesignator(parent) && !IsDirectory(parent))
        CreateDir(parent); // a parent that fails makes the final creation fail and report
    if (!::CreateDirectoryW(path.CStr(), NULL))
    {
        SERROR_SET_SYSTEM("CreateDir.CreateDirectory").Add(path);
        return E_FAIL;
    }
    return S_OK;
}
