#include "DeleteFolderTree.h"

#include "SError.h"
#include "SFolderWalk.h"
#include "SPath.h"

namespace
{
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
        {
            // Never through a file link: its target is not ours to change.
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                ::SetFileAttributesW(path.CStr(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            ::DeleteFileW(path.CStr());
        }
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
