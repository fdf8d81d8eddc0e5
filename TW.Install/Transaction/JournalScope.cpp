#include "JournalScope.h"

#include "Names.h"
#include "Undo.h"
#include "ProtectedFolder.h"

#include "SFolderWalk.h"
#include "SPath.h"

namespace
{
// A path that could name something other than it seems to.
bool IsDisguised(const SString& path)
{
    return path.IsEmpty() || path.Find(L"..") >= 0 || path.Find(L'/') >= 0 || path.StartsWith(L"\\\\?\\") ||
           path.StartsWith(L"\\\\.\\");
}

HKEY RootNamed(const SString& name)
{
    return name == L"HKLM" ? HKEY_LOCAL_MACHINE : name == L"HKCU" ? HKEY_CURRENT_USER : NULL;
}

SString KeyName(HKEY root, const SString& path)
{
    return (root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : L"HKCU\\") + path;
}

// Empty (the key did not exist), or one copy directly under the copies' key.
bool IsKeyCopy(const SString& copy)
{
    SString prefix = KeyCopiesPath() + L"\\";
    if (copy.IsEmpty())
        return true;
    return copy.StartsWith(prefix.CStr()) && copy.Length() > prefix.Length() &&
           copy.Mid(prefix.Length()).Find(L'\\') < 0 && !IsDisguised(copy);
}
} // namespace

void JournalScope::AddFile(const SString& path)
{
    m_files.Append(path);
}

void JournalScope::AddPlugin(const SString& path)
{
    m_plugins.Append(path);
}

void JournalScope::AddKey(HKEY root, const SString& path)
{
    m_keys.Append(KeyName(root, path));
}

bool JournalScope::IsFile(const SString& path) const
{
    return ContainsPath(m_files, path) ||
           (path.EndsWith(L".partial") && ContainsPath(m_files, path.Mid(0, path.Length() - 8))) ||
           (path.EndsWith(L".rollback") && ContainsPath(m_files, path.Mid(0, path.Length() - 9)));
}

bool JournalScope::IsFolderOnTheWay(const SString& path) const
{
    for (int i = 0; i < m_files.Count(); ++i)
        if (!IsSamePath(m_files[i], path) && IsWithinFolder(m_files[i], path))
            return !IsProtectedFolder(path);
    return false;
}

bool JournalScope::Trusts(const JournalRecord& record) const
{
    if (IsRecord(record, L"commit"))
        return true;
    if (IsRecord(record, L"key"))
    {
        HKEY root = RootNamed(record[1]);
        return root && !IsDisguised(record[2]) && ContainsPath(m_keys, KeyName(root, record[2])) &&
               IsKeyCopy(record[3]);
    }
    if (record.Count() < 2 || IsDisguised(record[1]) || PassesReparsePoint(record[1]))
        return false;
    if (IsRecord(record, L"file") || IsRecord(record, L"kept"))
        return IsFile(record[1]);
    if (IsRecord(record, L"plugin"))
        return ContainsPath(m_plugins, record[1]);
    if (IsRecord(record, L"folder"))
        return IsFolderOnTheWay(record[1]);
    return false;
}
