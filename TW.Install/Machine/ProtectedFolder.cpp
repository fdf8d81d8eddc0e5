#include "ProtectedFolder.h"

#include "SHandle.h"
#include "SPath.h"
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
    // The long-name lookup reads every level on disk (about a millisecond
    // under Wine, forty times for the special folders); only a path with a
    // short name needs it, and the system writes those with a "~" (only a
    // caller with the restore privilege can give a file another).
    length = full.Find(L'~') >= 0 ? ::GetLongPathNameW(full.CStr(), &buffer[0], static_cast<DWORD>(buffer.size())) : 0;
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

bool ContainsPath(const SStringList& paths, const SString& path)
{
    for (int i = 0; i < paths.Count(); ++i)
        if (IsSamePath(paths[i], path))
            return true;
    return false;
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
// What a folder is, however its path is spelt: a share of this computer
// ("\\\\localhost\\C$"), a substituted drive, a junction.
struct FolderIdentity
{
    DWORD volume;
    DWORD high;
    DWORD low;
    bool operator==(const FolderIdentity& other) const
    {
        return volume == other.volume && high == other.high && low == other.low;
    }
};

// The folder itself (or a file), for its attributes only, shared with all.
SFile OpenForQuery(const SString& path)
{
    return SFile(::CreateFileW(path.CStr(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, NULL));
}

bool IdentityOf(const SString& folder, FolderIdentity& identity)
{
    SFile handle = OpenForQuery(folder);
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!handle.IsValid() || !::GetFileInformationByHandle(handle.Get(), &information) ||
        !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    identity.volume = information.dwVolumeSerialNumber;
    identity.high = information.nFileIndexHigh;
    identity.low = information.nFileIndexLow;
    return true;
}

// The known folders that no CSIDL names, and the folder that per-user
// installers of many products share.
const wchar_t* const g_knownFolders[] = {
    L"{374DE290-123F-4565-9164-39C4925E467B}", // Downloads
    L"{5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}", // UserProgramFiles (%LOCALAPPDATA%\\Programs)
    L"{BCBD3057-CA5C-4622-B42D-BC56DB0AE516}", // UserProgramFilesCommon
    L"{4C5C32FF-BB9D-43B0-B5B4-2D72E54EAAA4}", // SavedGames
    L"{BFB9D5E0-C6A9-404C-B2B2-AE6DB6AF4968}", // Links
    L"{56784854-C6CB-462B-8169-88E350ACB882}", // Contacts
    L"{7D1D3A04-DEBB-4115-95CF-2F29DA2920DA}", // Searches
    L"{3D644C9B-1FB8-4F30-9B45-F670235F79C0}", // PublicDownloads
};

// The special folders, made normal once: the shell's answers do not change
// while the program runs, and every asking costs (the remover asks for each
// folder it removes).
const SStringList& SpecialFolders()
{
    static SStringList folders;
    static bool made = false;
    if (made)
        return folders;
    made = true;
    static const int specialFolders[] = {
        CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,
        CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
        CSIDL_PROGRAM_FILES_COMMON, CSIDL_STARTMENU, CSIDL_PROGRAMS, CSIDL_STARTUP, CSIDL_COMMON_STARTMENU,
        CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_DOCUMENTS, CSIDL_MYPICTURES,
        CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_FAVORITES, CSIDL_TEMPLATES, CSIDL_INTERNET_CACHE, CSIDL_FONTS,
        CSIDL_ADMINTOOLS, CSIDL_SENDTO, CSIDL_RECENT};
    SStringList found;
    for (size_t i = 0; i < sizeof(specialFolders) / sizeof(specialFolders[0]); ++i)
        found.Append(ShellFolder(specialFolders[i]));
    found.Append(GetLocalAppDataLowFolder());
    for (size_t i = 0; i < sizeof(g_knownFolders) / sizeof(g_knownFolders[0]); ++i)
        found.Append(GetKnownFolder(g_knownFolders[i]));
    // Where the system has no such known folder, it is still what other
    // products' installers take.
    if (!GetLocalAppDataFolder().IsEmpty())
        found.Append(GetLocalAppDataFolder() + L"\\Programs");
    for (int i = 0; i < found.Count(); ++i)
        if (!found[i].IsEmpty())
            folders.Append(NormalFolderPath(found[i]));
    return folders;
}

// A root, a special folder, or a folder that holds one (the folder of every
// user's profile holds the profile), by its path.
bool IsProtectedPath(const SString& path)
{
    if (IsRoot(path))
        return true;
    const SStringList& special = SpecialFolders();
    for (int i = 0; i < special.Count(); ++i)
        if (IsWithinFolder(special[i], path))
            return true;
    return false;
}

// The identities of the special folders and of every folder above them, made
// once: about a hundred opens, paid only for a share's path, which no path
// comparison can tell apart from a local one ("\\\\localhost\\C$").
const std::vector<FolderIdentity>& SpecialIdentities()
{
    static std::vector<FolderIdentity> identities;
    static bool made = false;
    if (made)
        return identities;
    made = true;
    SStringList seen;
    const SStringList& special = SpecialFolders();
    for (int i = 0; i < special.Count(); ++i)
        for (SString level = special[i]; !level.IsEmpty(); level = DirectoryPart(level))
        {
            bool known = false;
            for (int k = 0; k < seen.Count() && !known; ++k)
                known = IsSamePath(seen[k], level);
            if (known)
                break; // and so are the folders above it
            seen.Append(level);
            FolderIdentity identity;
            if (IdentityOf(level.EndsWith(L":") ? level + L"\\" : level, identity))
                identities.push_back(identity);
            if (level.EndsWith(L":"))
                break;
        }
    return identities;
}

// Where the folder really is: through junctions, links and substituted
// drives; empty when the system cannot say.
SString FinalPath(const SString& folder)
{
    SFile handle = OpenForQuery(folder);
    wchar_t path[MAX_PATH * 2] = {0};
    DWORD length = handle.IsValid() ? ::GetFinalPathNameByHandleW(handle.Get(), path, MAX_PATH * 2, 0) : 0;
    if (!length || length >= MAX_PATH * 2)
        return SString();
    SString final(path);
    if (final.StartsWith(L"\\\\?\\UNC\\"))
        return L"\\\\" + final.Mid(8);
    return final.StartsWith(L"\\\\?\\") ? final.Mid(4) : final;
}
} // namespace

bool IsProtectedFolder(const SString& folder)
{
    SString path = NormalFolderPath(folder);
    if (IsProtectedPath(path))
        return true;
    SString final = FinalPath(path);
    if (!final.IsEmpty() && !IsSamePath(final, path) && IsProtectedPath(NormalFolderPath(final)))
        return true;
    if (!path.StartsWith(L"\\\\"))
        return false;
    FolderIdentity identity;
    if (!IdentityOf(path, identity))
        return false;
    const std::vector<FolderIdentity>& special = SpecialIdentities();
    for (size_t i = 0; i < special.size(); ++i)
        if (special[i] == identity)
            return true;
    return false;
}
