#include "DeleteFolderTree.h"

#include "SHandle.h"
#include "SShell.h"

#include <shlobj.h>

HRESULT DeleteFolderTree(const SString& folder)
{
    WIN32_FIND_DATAW entry = {};
    SFind find(::FindFirstFileW((folder + L"\\*").CStr(), &entry));
    if (find.IsValid())
    {
        do
        {
            if (lstrcmpW(entry.cFileName, L".") == 0 || lstrcmpW(entry.cFileName, L"..") == 0)
                continue;
            SString path = folder + L"\\" + entry.cFileName;
            bool isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            bool isLink = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (isDirectory && isLink)
                ::RemoveDirectoryW(path.CStr());
            else if (isDirectory)
                DeleteFolderTree(path);
            else
                ::DeleteFileW(path.CStr());
        } while (::FindNextFileW(find.Get(), &entry));
    }
    find.Reset();
    ::RemoveDirectoryW(folder.CStr());
    return S_OK;
}

namespace
{
SString FullPath(const SString& path)
{
    wchar_t buffer[MAX_PATH * 2] = {0};
    DWORD length = ::GetFullPathNameW(path.CStr(), MAX_PATH * 2, buffer, NULL);
    SString full = length && length < MAX_PATH * 2 ? SString(buffer) : path;
    while (full.Length() > 1 && full[full.Length() - 1] == L'\\')
        full = full.Mid(0, full.Length() - 1);
    return full;
}

bool SamePath(const SString& a, const SString& b)
{
    return !a.IsEmpty() && !b.IsEmpty() &&
           ::CompareStringOrdinal(a.CStr(), a.Length(), b.CStr(), b.Length(), TRUE) == CSTR_EQUAL;
}

bool IsRoot(const SString& path)
{
    if (path.Length() <= 3 && path.Find(L':') == 1)
        return true; // "C:" or "C:\"
    if (path.StartsWith(L"\\\\"))
    {
        // \\server or \\server\share
        SStringList parts = path.Mid(2).Split(L'\\');
        return parts.Count() <= 2;
    }
    return path.IsEmpty() || path == L"\\";
}
} // namespace

bool IsProtectedFolder(const SString& folder)
{
    SString path = FullPath(folder);
    if (IsRoot(path))
        return true;
    static const int specialFolders[] = {
        CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,
        CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
        CSIDL_PROGRAM_FILES_COMMON, CSIDL_STARTMENU, CSIDL_PROGRAMS, CSIDL_STARTUP, CSIDL_COMMON_STARTMENU,
        CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_DOCUMENTS, CSIDL_MYPICTURES,
        CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_FAVORITES, CSIDL_TEMPLATES, CSIDL_INTERNET_CACHE, CSIDL_FONTS,
        CSIDL_ADMINTOOLS, CSIDL_SENDTO, CSIDL_RECENT};
    for (size_t i = 0; i < sizeof(specialFolders) / sizeof(specialFolders[0]); ++i)
    {
        wchar_t special[MAX_PATH] = {0};
        if (SUCCEEDED(::SHGetFolderPathW(NULL, specialFolders[i], NULL, 0, special)) && SamePath(path, FullPath(special)))
            return true;
    }
    wchar_t profile[MAX_PATH] = {0};
    ::SHGetFolderPathW(NULL, CSIDL_PROFILE, NULL, 0, profile);
    SString profiles = FullPath(profile);
    int separator = profiles.ReverseFind(L'\\');
    if (separator > 0 && SamePath(path, profiles.Mid(0, separator)))
        return true; // the folder that holds every user's profile
    return SamePath(path, FullPath(GetLocalAppDataLowFolder()));
}
