#include "SFolderWalk.h"

#include "SHandle.h"
#include "SPath.h"

namespace
{
bool IsDots(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool WalkBelow(const SString& folder, SFolderVisitor& visitor)
{
    WIN32_FIND_DATAW entry = {};
    SFind find(::FindFirstFileW((folder + L"\\*").CStr(), &entry));
    for (BOOL more = find.IsValid(); more; more = ::FindNextFileW(find.Get(), &entry))
    {
        if (IsDots(entry.cFileName))
            continue;
        SString path = folder + L"\\" + entry.cFileName;
        bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        bool isLink = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (!isFolder)
        {
            if (!visitor.Visit(SFolderVisitor::File, path, entry))
                return false;
        }
        else if (isLink)
        {
            if (!visitor.Visit(SFolderVisitor::Link, path, entry))
                return false;
        }
        else if (!WalkBelow(path, visitor) || !visitor.Visit(SFolderVisitor::Folder, path, entry))
            return false;
    }
    return true;
}
} // namespace

bool IsReparsePoint(const SString& path)
{
    DWORD attributes = ::GetFileAttributesW(path.CStr());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool PassesReparsePoint(const SString& path)
{
    for (SString level = path; !level.IsEmpty() && !level.EndsWith(L":"); level = DirectoryPart(level))
        if (IsReparsePoint(level))
            return true;
    return false;
}

bool WalkFolder(const SString& folder, SFolderVisitor& visitor)
{
    return IsReparsePoint(folder) || WalkBelow(folder, visitor);
}
