#include "DeleteFolderTree.h"

#include "SError.h"
#include "SFolderWalk.h"
#include "SPath.h"

namespace
{
// A read-only file goes too; never through a file link, whose target is
// not ours to change.
void DeleteFileEntry(const SString& path, DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        ::SetFileAttributesW(path.CStr(), attributes & ~FILE_ATTRIBUTE_READONLY);
    ::DeleteFileW(path.CStr());
}

class Deleter : public SFolderVisitor
{
public:
    explicit Deleter(const SStringList& keep) : m_keep(keep) {}

    bool Visit(Kind kind, const SString& path, const WIN32_FIND_DATAW& entry) override
    {
        if (m_keep.Contains(path))
            return true;
        if (kind != File)
            ::RemoveDirectoryW(path.CStr()); // a link loses itself only
        else
            DeleteFileEntry(path, entry.dwFileAttributes);
        return true;
    }

private:
    const SStringList& m_keep;
};
} // namespace

HRESULT DeleteFolderTree(const SString& folder, const SStringList& keep)
{
    if (PassesReparsePoint(DirectoryPart(folder)))
    {
        SERROR_SET("DeleteFolderTree.Link").Add(folder).Add(L"A folder above it is a link, which may lead anywhere.");
        return E_FAIL;
    }
    Deleter deleter(keep);
    WalkFolder(folder, deleter);
    ::RemoveDirectoryW(folder.CStr());
    return S_OK;
}

void DeleteEntry(const SString& path)
{
    DWORD attributes = ::GetFileAttributesW(path.CStr());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        DeleteFileEntry(path, attributes);
    else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        ::RemoveDirectoryW(path.CStr());
    else
        DeleteFolderTree(path);
}
