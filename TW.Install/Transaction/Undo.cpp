#include "Undo.h"

#include "Names.h"
#include "PluginLibrary.h"

#include "SError.h"
#include "SLog.h"
#include "SRegistry.h"

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

bool HasRecord(const std::vector<JournalRecord>& records, const wchar_t* kind, const SString& path)
{
    for (size_t i = 0; i < records.size(); ++i)
        if (IsRecord(records[i], kind) && records[i][1] == path)
            return true;
    return false;
}

// The previous bytes come back only when this install moved them aside: a
// kept-aside name that it never made is not its to restore. A plug-in put
// back gets its install hook again, as its newer self was uninstalled.
bool UndoFile(const JournalRecord& record, const std::vector<JournalRecord>& records)
{
    const SString& path = record[1];
    ::DeleteFileW(StagingPath(path).CStr());
    if (record[2] == L"new")
    {
        if (::DeleteFileW(path.CStr()))
            SLog::Line(L"rollback: file deleted: " + path);
        return !Exists(path);
    }
    if (!HasRecord(records, L"kept", path) || !Exists(KeptAsidePath(path)))
        return true;
    bool restored = ::MoveFileExW(KeptAsidePath(path).CStr(), path.CStr(), MOVEFILE_REPLACE_EXISTING) != 0;
    SLog::Line(L"rollback: file " + SString(restored ? L"restored: " : L"NOT restored: ") + path);
    if (restored && HasRecord(records, L"plugin", path))
    {
        int result = 0;
        for (size_t i = 0; i < records.size(); ++i)
            if (IsRecord(records[i], L"plugin") && records[i][1] == path)
            {
                HRESULT called = CallPluginEntry(path, "TWInstall", "TWDLLInstall.GetProcAddress",
                                                 records[i][2].ToInt(), result);
                SLog::Line(L"rollback: plug-in call: TWInstall(" + path + L", " + records[i][2] + L") " +
                           (called == S_OK ? L"returned " + SString::FromInt(result) : SString(L"could not be made")));
                break;
            }
    }
    return restored;
}

// The copy goes only once the key is back.
bool UndoKey(const JournalRecord& record)
{
    HKEY root = RootOf(record[1]);
    const SString& path = record[2];
    const SString& copy = record[3];
    // A copy that was never made means that the key was not changed yet.
    if (!copy.IsEmpty() && !HasKey(root, copy))
        return true;
    DeleteKeyTree(root, path);
    if (copy.IsEmpty())
    {
        SLog::Line(L"rollback: key deleted: " + record[1] + L"\\" + path);
        return !HasKey(root, path);
    }
    bool restored = CopyKey(root, copy, path);
    if (restored)
        DeleteKeyTree(root, copy);
    SLog::Line(L"rollback: key " + SString(restored ? L"restored: " : L"NOT restored: ") + record[1] + L"\\" + path);
    return restored;
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
    ::RegDeleteKeyW(HKEY_CURRENT_USER, KeyCopiesPath().CStr());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, KeyCopiesPath().CStr());
}

// Newest first; false when a file or key could not be put back.
bool UndoRecords(const std::vector<JournalRecord>& records)
{
    bool complete = true;
    for (size_t i = records.size(); i-- > 0;)
    {
        const JournalRecord& record = records[i];
        if (IsRecord(record, L"file"))
            complete = UndoFile(record, records) && complete;
        else if (IsRecord(record, L"key"))
            complete = UndoKey(record) && complete;
        else if (IsRecord(record, L"plugin"))
            UndoPluginHook(record);
        else if (IsRecord(record, L"folder"))
            ::RemoveDirectoryW(record[1].CStr());
    }
    return complete;
}
} // namespace

bool IsCommitted(const std::vector<JournalRecord>& records)
{
    return !records.empty() && IsRecord(records.back(), L"commit");
}

bool FinishCommit(const std::vector<JournalRecord>& records)
{
    bool complete = true;
    for (size_t i = 0; i < records.size(); ++i)
    {
        if (IsRecord(records[i], L"kept"))
        {
            SString kept = KeptAsidePath(records[i][1]);
            ::DeleteFileW(kept.CStr());
            complete = !Exists(kept) && complete;
        }
        else if (IsRecord(records[i], L"key") && !records[i][3].IsEmpty())
            DeleteKeyTree(RootOf(records[i][1]), records[i][3]);
    }
    RemoveKeyCopiesFolder();
    return complete;
}

// Folders that held the journal can go only once the journal is gone. A
// journal whose undoing failed somewhere stays, with the copies it names, so
// that the next run tries again.
bool RollBackRecords(const std::vector<JournalRecord>& records, InstallJournal& journal)
{
    if (!UndoRecords(records))
    {
        SLog::Line(L"rollback: incomplete; the journal stays for the next run");
        journal.Close();
        return false;
    }
    RemoveKeyCopiesFolder();
    journal.Remove();
    RemoveFolders(records);
    return true;
}
