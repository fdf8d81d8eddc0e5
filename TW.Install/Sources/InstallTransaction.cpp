#include "InstallTransaction.h"

#include "PluginLibrary.h"

#include "SError.h"
#include "SLog.h"
#include "SPath.h"
#include "SRegistry.h"

namespace
{
const wchar_t* const keyCopiesPath = L"Software\\Tarnwick Setup Rollback";

JournalRecord Record(const wchar_t* kind, const SString& first, const SString& second = SString(),
                     const SString& third = SString())
{
    JournalRecord record;
    record.Append(kind);
    record.Append(first);
    record.Append(second);
    record.Append(third);
    return record;
}

bool Is(const JournalRecord& record, const wchar_t* kind)
{
    return record.Count() >= 4 && record[0] == kind;
}

HKEY RootOf(const SString& name)
{
    return name == L"HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool Exists(const SString& path)
{
    return ::GetFileAttributesW(path.CStr()) != INVALID_FILE_ATTRIBUTES;
}

bool KeyExists(HKEY root, const SString& path)
{
    SKey key;
    return ::RegOpenKeyExW(root, path.CStr(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
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

// What a journal found on disk may make this program undo: nothing outside
// the install's places and keys, whoever wrote the file.
bool IsTrusted(const JournalRecord& record, const SStringList& places)
{
    if (Is(record, L"folder"))
        return IsWithinPlaces(record[1], places, true);
    if (Is(record, L"file") || Is(record, L"plugin"))
        return IsWithinPlaces(record[1], places, false);
    if (Is(record, L"key"))
        return IsOwnKey(record[2]) &&
               (record[3].IsEmpty() || record[3].StartsWith(L"Software\\Tarnwick Setup Rollback\\"));
    return Is(record, L"commit");
}

// Copies the key with all its values and subkeys; false, with the system's
// code as the last error, when it cannot.
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
    if (!copy.IsEmpty() && !KeyExists(root, copy))
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
        if (Is(records[i], L"folder") && ::RemoveDirectoryW(records[i][1].CStr()))
            SLog::Line(L"rollback: folder deleted: " + records[i][1]);
}

// Only when no other install keeps a copy there: a key with subkeys stays.
void RemoveKeyCopiesFolder()
{
    ::RegDeleteKeyW(HKEY_CURRENT_USER, keyCopiesPath);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyCopiesPath);
}

// The install had succeeded when it was stopped: only the kept files and key
// copies remain to go.
void FinishCommit(const std::vector<JournalRecord>& records)
{
    for (size_t i = 0; i < records.size(); ++i)
    {
        if (Is(records[i], L"file") && records[i][2] == L"existing")
            ::DeleteFileW(KeptAsidePath(records[i][1]).CStr());
        else if (Is(records[i], L"key") && !records[i][3].IsEmpty())
            DeleteKeyTree(RootOf(records[i][1]), records[i][3]);
    }
    RemoveKeyCopiesFolder();
}

void UndoRecords(const std::vector<JournalRecord>& records);

// Folders that held the journal can go only once the journal is gone.
void RollBack(const std::vector<JournalRecord>& records, InstallJournal& journal)
{
    UndoRecords(records);
    RemoveKeyCopiesFolder();
    journal.Remove();
    RemoveFolders(records);
}

bool IsCommitted(const std::vector<JournalRecord>& records)
{
    return !records.empty() && Is(records.back(), L"commit");
}
// Newest first.
void UndoRecords(const std::vector<JournalRecord>& records)
{
    for (size_t i = records.size(); i-- > 0;)
    {
        const JournalRecord& record = records[i];
        if (Is(record, L"file"))
            UndoFile(record);
        else if (Is(record, L"key"))
            UndoKey(record);
        else if (Is(record, L"plugin"))
            UndoPluginHook(record);
        else if (Is(record, L"folder"))
            ::RemoveDirectoryW(record[1].CStr());
    }
}
} // namespace

SString StagingPath(const SString& path)
{
    return path + L".partial";
}

SString KeptAsidePath(const SString& path)
{
    return path + L".rollback";
}

HRESULT InstallTransaction::Begin(const SString& journalPath, const SStringList& places)
{
    std::vector<JournalRecord> records;
    bool found = false;
    InstallJournal interrupted;
    S_RETURN_IF_FAILED(interrupted.OpenLeftOver(journalPath, records, found));
    std::vector<JournalRecord> leftOver;
    for (size_t i = 0; i < records.size(); ++i)
        if (IsTrusted(records[i], places))
            leftOver.push_back(records[i]);
    if (found && IsCommitted(leftOver))
    {
        SLog::Line(L"an interrupted install had succeeded: finishing it");
        FinishCommit(leftOver);
        interrupted.Remove();
    }
    else if (found)
    {
        SLog::Line(L"an interrupted install was found: rolling back its " +
                   SString::FromInt(static_cast<int>(leftOver.size())) + L" changes");
        RollBack(leftOver, interrupted);
    }
    S_RETURN_IF_FAILED(CreateFolders(DirectoryPart(journalPath)));
    S_RETURN_IF_FAILED(m_journal.Create(journalPath));
    for (size_t i = 0; i < m_records.size(); ++i)
        S_RETURN_IF_FAILED(m_journal.Append(m_records[i]));
    return S_OK;
}

HRESULT InstallTransaction::Announce(const JournalRecord& record)
{
    S_RETURN_IF_FAILED(m_journal.Append(record));
    m_records.push_back(record);
    return S_OK;
}

const JournalRecord* InstallTransaction::Find(const wchar_t* kind, const SString& path) const
{
    for (size_t i = 0; i < m_records.size(); ++i)
        if (Is(m_records[i], kind) && m_records[i][Is(m_records[i], L"key") ? 2 : 1] == path)
            return &m_records[i];
    return NULL;
}

bool InstallTransaction::IsKeptAside(const SString& path) const
{
    for (size_t i = 0; i < m_filesKeptAside.size(); ++i)
        if (KeptAsidePath(m_filesKeptAside[i]) == path)
            return true;
    return false;
}

HRESULT InstallTransaction::CreateFolders(const SString& folder)
{
    SStringList missing;
    for (SString level = folder; !level.IsEmpty() && !IsDirectory(level) && !level.EndsWith(L":");
         level = DirectoryPart(level))
        missing.Append(level);
    for (int i = missing.Count() - 1; i >= 0; --i)
    {
        S_RETURN_IF_FAILED(Announce(Record(L"folder", missing[i])));
        // A folder that cannot be made shows at the first write into it.
        if (!::CreateDirectoryW(missing[i].CStr(), NULL))
            return S_OK;
    }
    return S_OK;
}

HRESULT InstallTransaction::AddFile(const SString& path)
{
    if (Find(L"file", path))
        return S_OK;
    DWORD attributes = ::GetFileAttributesW(path.CStr());
    bool existing = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    return Announce(Record(L"file", path, existing ? L"existing" : L"new"));
}

HRESULT InstallTransaction::PlaceFile(const SString& staging, const SString& path, const char* failure)
{
    const JournalRecord* file = Find(L"file", path);
    bool keep = file && (*file)[2] == L"existing" && !IsKeptAside(KeptAsidePath(path));
    if (keep && Exists(path))
    {
        if (!::MoveFileExW(path.CStr(), KeptAsidePath(path).CStr(), MOVEFILE_REPLACE_EXISTING))
        {
            SERROR_SET_SYSTEM(failure).Add(path);
            return E_FAIL;
        }
        m_filesKeptAside.push_back(path);
    }
    if (!::MoveFileExW(staging.CStr(), path.CStr(), MOVEFILE_REPLACE_EXISTING))
    {
        SERROR_SET_SYSTEM(failure).Add(path);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT InstallTransaction::ProtectKey(HKEY root, const SString& path)
{
    if (Find(L"key", path))
        return S_OK;
    SString rootName = root == HKEY_LOCAL_MACHINE ? L"HKLM" : L"HKCU";
    if (!KeyExists(root, path))
        return Announce(Record(L"key", rootName, path));
    // The copy comes first: a journal that names a copy always has a whole one.
    SString copy = SString(keyCopiesPath) + L"\\" + SString::FromInt(static_cast<int>(::GetCurrentProcessId())) +
                   L"-" + SString::FromInt(static_cast<int>(::GetTickCount() & 0x7FFFFFFF)) + L"-" +
                   SString::FromInt(++m_keyCopies);
    if (!CopyKey(root, path, copy))
    {
        SERROR_SET_SYSTEM("ProtectKey.Copy").Add(rootName + L"\\" + path);
        DeleteKeyTree(root, copy);
        return E_FAIL;
    }
    return Announce(Record(L"key", rootName, path, copy));
}

HRESULT InstallTransaction::AddPluginHook(const SString& path, DWORD perMachine)
{
    return Announce(Record(L"plugin", path, SString::FromInt(static_cast<int>(perMachine))));
}

void InstallTransaction::Commit()
{
    // Marked first: a commit that is cut short is finished by the next run,
    // not rolled back.
    m_journal.Append(Record(L"commit", SString()));
    FinishCommit(m_records);
    m_journal.Remove();
    m_records.clear();
    m_filesKeptAside.clear();
}

void InstallTransaction::Rollback()
{
    SErrorKeeper keeper;
    SLog::Line(L"rolling back " + SString::FromInt(static_cast<int>(m_records.size())) + L" changes");
    RollBack(m_records, m_journal);
    m_records.clear();
    m_filesKeptAside.clear();
}
