#include "ProtectedFolder.h"

#include "SShell.h"

#include <shlobj.h>

#include <vector>

namespace
{
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

SString ShellFolder(int csidl)
{
    wchar_t folder[MAX_PATH] = {0};
    return SUCCEEDED(::SHGetFolderPathW(NULL, csidl, NULL, 0, folder)) ? SString(folder) : SString();
}
} // namespace

SString NormalFolderPath(const SString& path)
{
    std::vector<wchar_t> buffer(MAX_PATH * 2);
    DWORD length = ::GetFullPathNameW(path.CStr(), static_cast<DWORD>(buffer.size()), &buffer[0], NULL);
    SString full = length && length < buffer.size() ? SString(&buffer[0]) : path;
    length = ::GetLongPathNameW(full.CStr(), &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length && length < buffer.size())
        full = SString(&buffer[0]);
    while (full.Length() > 3 && full[full.Length() - 1] == L'\\')
        full = full.Mid(0, full.Length() - 1);
    return full;
}

bool IsSamePath(const SString& a, const SString& b)
{
    return !a.IsEmpty() && !b.IsEmpty() &&
           ::CompareStringOrdinal(a.CStr(), a.Length(), b.CStr(), b.Length(), TRUE) == CSTR_EQUAL;
}

bool IsSameFolder(const SString& a, const SString& b)
{
    return IsSamePath(NormalFolderPath(a), NormalFolderPath(b));
}

bool IsWithinFolder(const SString& path, const SString& folder)
{
    int length = folder.Length();
    while (length > 0 && folder[length - 1] == L'\\')
        --length; // "C:\" holds "C:\x"
    return length > 0 && path.Length() >= length &&
           ::CompareStringOrdinal(path.CStr(), length, folder.CStr(), length, TRUE) == CSTR_EQUAL &&
           (path.Length() == length || path[length] == L'\\');
}

namespace
{
// The special folders, made normal once: the shell's answers do not change
// while the program runs, and every asking costs (the remover asks for each
// folder it removes).
const SStringList& SpecialFolders()
{
    static SStringList folders;
    if (folders.Count())
        return folders;
    static const int specialFolders[] = {
        CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,
        CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
        CSIDL_PROGRAM_FILES_COMMON, CSIDL_STARTMENU, CSIDL_PROGRAMS, CSIDL_STARTUP, CSIDL_COMMON_STARTMENU,
        CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_DOCUMENTS, CSIDL_MYPICTURES,
        CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_FAVORITES, CSIDL_TEMPLATES, CSIDL_INTERNET_CACHE, CSIDL_FONTS,
        CSIDL_ADMINTOOLS, CSIDL_SENDTO, CSIDL_RECENT};
    for (size_t i = 0; i < sizeof(specialFolders) / sizeof(specialFolders[0]); ++i)
    {
        SString special = ShellFolder(specialFolders[i]);
        if (!special.IsEmpty())
            folders.Append(NormalFolderPath(special));
    }
    if (!GetLocalAppDataLowFolder().IsEmpty())
        folders.Append(NormalFolderPath(GetLocalAppDataLowFolder()));
    return folders;
}
} // namespace

bool IsProtectedFolder(const SString& folder)
{
    SString path = NormalFolderPath(folder);
    if (IsRoot(path))
        return true;
    // A folder that holds a special one is protected too: the folder of
    // every user's profile holds the profile.
    const SStringList& special = SpecialFolders();
    for (int i = 0; i < special.Count(); ++i)
        if (IsWithinFolder(special[i], path))
            return true;
    return false;
}
