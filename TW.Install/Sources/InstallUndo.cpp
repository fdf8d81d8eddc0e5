#include "InstallUndo.h"

#include "PluginLibrary.h"

#include "SError.h"
#include "SLog.h"
#include "SRegistry.h"

const wchar_t* KeyCopiesPath()
{
    return L"Software\\Tarnwick Setup Rollback";
}

SString StagingPath(const SString& path)
{
    return path + L".partial";
}

SString KeptAsidePath(const SString& path)
{
    return path + L".rollback";
}

JournalRecord Record(const wchar_t* kind, const SString& first, const SString& second, const SString& third)
{
    JournalRecord record;
    record.Append(kind);
    record.Append(first);
    record.Append(second);
    record.Append(third);
    return record;
}

bool IsRecord(const JournalRecord& record, const wchar_t* kind)
{
    return record.Count() >= 4 && record[0] == kind;
}

bool HasKey(HKEY root, const SString& path)
{
    SKey key;
    return ::RegOpenKeyExW(root, path.CStr(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

bool CopyKey(HKEY root, const SString& from, const SString& to)
{
    SKey source;
    SKey target;
    LONG status = ::RegOpenKeyExW(root, from.CStr(), 0, KEY_READ, source.Put());
    if (status == ERROR_SUCCESS)
        status = ::RegCreateKeyExW(root, to.CStr(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, target.Put(), NULL);
    if (status == ERROR_SUCCESS)
        status = ::RegCopyTreeW(source.Get(), NULL, target.Get());
    ::SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

namespace
{
HKEY RootOf(const SString& name)
{
    return name == L"HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool Exists(const SString& path)
{
    return ::GetFileAttributesW(path.CStr()) != INVALID_FILE_ATTRIBUTES;
}

bool StartsWithFolder(const SString& path, const SString& folder)
{
    int length = folder.Length();
    return length && path.Length() >= length &&
           ::CompareStringOrdinal(path.CStr(), length, folder.CStr(), length, TRUE) == CSTR_EQUAL &&
           (path.Length() == length || path[length] == L'\\');
}

bool IsWithinPlaces(const SString& path, const SStringList& places, bool orAbove)
{
    for (int i = 0; i < places.Count(); ++i)
        if (StartsWithFolder(path, places[i]) || (orAbove && StartsWithFolder(places[i], path)))
            return true;
    return false;
}

// The keys an install protects: its uninstall entry, a URI scheme of the
// user's, its per-deployment key.
bool IsOwnKey(const SString& path)
{
    const wchar_t* entries = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnwick_";
    const wchar_t* schemes = L"Software\\Classes\\";
    if (path.StartsWith(entries))
        return path.Mid(lstrlenW(entries)).Find(L'\\') < 0;
    if (path.StartsWith(schemes))
        return path.Length() > lstrlenW(schemes) && path.Mid(lstrlenW(schemes)).Find(L'\\') < 0;
    return path == L"Software\\Tarnwick" || (path.StartsWith(L"Software\\Tarnwick.") && path.Mid(9).Find(L'\\') < 0);
}

void UndoFile(const JournalRecord& record)
{
    const SString& path = record[1];
    ::DeleteFileW(StagingPath(path).CStr());
    if (record[2] == L"new")
    {
        if (::DeleteFileW(path.CStr()))
            SLog::Line(L"rollback: file deleted: " + path);
    }
    else if (Exists(KeptAsidePath(path)))
    {
        bool restored = ::MoveFileExW(KeptAsidePath(path).CStr(), path.CStr(), MOVEFILE_REPLACE_EXISTING) != 0;
        SLog::Line(L"rollback: file " + SString(restored ? L"restored: " : L"NOT restored: ") + path);
    }
}

void UndoKey(const JournalRecord& record)
{
    HKEY root = RootOf(record[1]);
    const SString& path = record[2];
    const SString& copy = record[3];
    // A copy that was never made means that the key was not changed yet.
    if (!copy.IsEmpty() && !HasKey(root, copy))
        return;
    DeleteKeyTree(root, path);
    if (copy.IsEmpty())
    {
        SLog::Line(L"rollback: key deleted: " + record[1] + L"\\" + path);
        return;
    }
    bool restored = CopyKey(root, copy, path);
    DeleteKeyTree(root, copy);
    SLog::Line(L"rollback: key " + SString(restored ? L"restored: " : L"NOT restored: ") + record[1] + L"\\" + path);
}

void UndoPluginHook(const JournalRecord& record)
{
    if (!Exists(record[1]))
        return;
    int result = 0;
    HRESULT called = CallPluginEntry(record[1], "TWUninstall", "DLLUninstall.GetProcAddress", record[2].ToInt(), result);
    SLog::Line(L"rollback: plug-in call: TWUninstall(" + record[1] + L", " + record[2] + L") " +
               (called == S_OK ? L"returned " + SString::FromInt(result) : SString(L"could not be made")));
}

void RemoveFolders(const std::vector<JournalRecord>& records)
{
    for (size_t i = records.size(); i-- > 0;)
        if (IsRecord(records[i], L"folder") && ::RemoveDirectoryW(records[i][1].CStr()))
            SLog::Line(L"rollback: folder deleted: " + records[i][1]);
}

// Only when no other install keeps a copy there: a key with subkeys stays.
void RemoveKeyCopiesFolder()
{
    ::RegDeleteKeyW(HKEY_CURRENT_USER, KeyCopiesPath());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, KeyCopiesPath());
}

// Newest first.
void UndoRecords(const std::vector<JournalRecord>& records)
{
    for (size_t i = records.size(); i-- > 0;)
    {
        const JournalRecord& record = records[i];
        if (IsRecord(record, L"file"))
            UndoFile(record);
        else if (IsRecord(record, L"key"))
            UndoKey(record);
        else if (IsRecord(record, L"plugin"))
            UndoPluginHook(record);
        else if (IsRecord(record, L"folder"))
            ::RemoveDirectoryW(record[1].CStr());
    }
}
} // namespace

bool IsTrusted(const JournalRecord& record, const SStringList& places)
{
    if (IsRecord(record, L"folder"))
        return IsWithinPlaces(record[1], places, true);
    if (IsRecord(record, L"file") || IsRecord(record, L"plugin"))
        return IsWithinPlaces(record[1], places, false);
    if (IsRecord(record, L"key"))
        return IsOwnKey(record[2]) &&
               (record[3].IsEmpty() || record[3].StartsWith((SString(KeyCopiesPath()) + L"\\").CStr()));
    return IsRecord(record, L"commit");
}

bool IsCommitted(const std::vector<JournalRecord>& records)
{
    return !records.empty() && IsRecord(records.back(), L"commit");
}

void FinishCommit(const std::vector<JournalRecord>& records)
{
    for (size_t i = 0; i < records.size(); ++i)
    {
        if (IsRecord(records[i], L"file") && records[i][2] == L"existing")
            ::DeleteFileW(KeptAsidePath(records[i][1]).CStr());
        else if (IsRecord(records[i], L"key") && !records[i][3].IsEmpty())
            DeleteKeyTree(RootOf(records[i][1]), records[i][3]);
    }
    RemoveKeyCopiesFolder();
}

// Folders that held the journal can go only once the journal is gone.
void RollBackRecords(const std::vector<JournalRecord>& records, InstallJournal& journal)
{
    UndoRecords(records);
    RemoveKeyCopiesFolder();
    journal.Remove();
    RemoveFolders(records);
}
