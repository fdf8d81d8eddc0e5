#include "DeleteFolderTree.h"

#include "SHandle.h"

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
