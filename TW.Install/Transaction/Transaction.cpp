#include "Transaction.h"

#include "Names.h"
#include "Undo.h"

#include "SError.h"
#include "SLog.h"
#include "SPath.h"
#include "SRegistry.h"

#include <algorithm>

namespace
{
bool Exists(const SString& path)
{
    return ::GetFileAttributesW(path.CStr()) != INVALID_FILE_ATTRIBUTES;
}

// What the install makes must stay within MAX_PATH, or the remover could not
// reach it: a folder within the 248 units that CreateDirectory takes, a file
// with its kept-aside name within 259.
const int maxFolderUnits = MAX_PATH - 13;
const int maxFileUnits = MAX_PATH - 1 - 9; // ".rollback"

HRESULT CheckPathLength(const SString& path, int maxUnits)
{
    if (path.Length() <= maxUnits)
        return S_OK;
    SERROR_SET("Install.PathTooLong")
        .Add(path)
        .Add(L"This path is longer than Windows programs can use. Choose a shorter folder.");
    return E_FAIL;
}
} // namespace

HRESULT InstallTransaction::Begin(const SString& journalPath, const JournalScope& scope)
{
    std::vector<JournalRecord> records;
    bool found = false;
    InstallJournal interrupted;
    S_RETURN_IF_FAILED(interrupted.OpenLeftOver(journalPath, records, found));
    std::vector<JournalRecord> leftOver;
    for (size_t i = 0; i < records.size(); ++i)
        if (scope.Trusts(records[i]))
            leftOver.push_back(records[i]);
        else
            SLog::Line(L"journal record not trusted, left alone: " + records[i][0] + L" " +
                       (records[i].Count() > 1 ? records[i][1] : SString()));
    bool recovered = true;
    if (found && IsCommitted(leftOver))
    {
        SLog::Line(L"an interrupted install had succeeded: finishing it");
        recovered = FinishCommit(leftOver);
        if (recovered)
            interrupted.Remove();
        else
            interrupted.Close();
    }
    else if (found)
    {
        SLog::Line(L"an interrupted install was found: rolling back its " +
                   SString::FromInt(static_cast<int>(leftOver.size())) + L" changes");
        recovered = RollBackRecords(leftOver, interrupted);
    }
    // A journal of its own here would write over the one that the next run
    // still needs.
    if (!recovered)
    {
        SERROR_SET("Install.Recover")
            .Add(journalPath)
            .Add(L"An interrupted setup could not be finished or undone: a file it kept is in use or cannot be "
                 L"restored. Close the programs that use it, then run the setup again.");
        return E_FAIL;
    }
    S_RETURN_IF_FAILED(CreateFolders(DirectoryPart(journalPath)));
    S_RETURN_IF_FAILED(m_journal.Create(journalPath));
    for (size_t i = 0; i < m_records.size(); ++i)
        S_RETURN_IF_FAILED(m_journal.Append(m_records[i]));
    return S_OK;
}

HRESULT InstallTransaction::CheckNoOtherSetup(const SString& journalPath)
{
    InstallJournal probe;
    bool found = false;
    return probe.Open(journalPath, found);
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
        if (IsRecord(m_records[i], kind) && m_records[i][IsRecord(m_records[i], L"key") ? 2 : 1] == path)
            return &m_records[i];
    return NULL;
}

bool InstallTransaction::WasKeptAside(const SString& path) const
{
    return std::find(m_filesKeptAside.begin(), m_filesKeptAside.end(), path) != m_filesKeptAside.end();
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
        S_RETURN_IF_FAILED(CheckPathLength(missing[i], maxFolderUnits));
        S_RETURN_IF_FAILED(Announce(Record(L"folder", missing[i])));
        if (!::CreateDirectoryW(missing[i].CStr(), NULL))
            return S_OK;
    }
    return S_OK;
}

HRESULT InstallTransaction::AddFile(const SString& path)
{
    if (Find(L"file", path))
        return S_OK;
    S_RETURN_IF_FAILED(CheckPathLength(path, maxFileUnits));
    DWORD attributes = ::GetFileAttributesW(path.CStr());
    bool existing = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    return Announce(Record(L"file", path, existing ? L"existing" : L"new"));
}

// What the install replaces is its own: a read-only file is made writable
// so that it can be kept aside, and a kept-aside name left by another run is
// cleared first, or the install fails here.
HRESULT InstallTransaction::KeepAside(const SString& path, const char* failure)
{
    SString kept = KeptAsidePath(path);
    DWORD attributes = ::GetFileAttributesW(kept.CStr());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (!::SetFileAttributesW(kept.CStr(), FILE_ATTRIBUTE_NORMAL) || !::DeleteFileW(kept.CStr())))
    {
        SERROR_SET_SYSTEM("Install.KeptFile")
            .Add(kept)
            .Add(L"An earlier setup left this file, which cannot be deleted.");
        return E_FAIL;
    }
    S_RETURN_IF_FAILED(Announce(Record(L"kept", path)));
    attributes = ::GetFileAttributesW(path.CStr());
    if (attributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(path.CStr(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!::MoveFileExW(path.CStr(), kept.CStr(), MOVEFILE_REPLACE_EXISTING))
    {
        SERROR_SET_SYSTEM(failure).Add(path);
        return E_FAIL;
    }
    m_filesKeptAside.push_back(path);
    return S_OK;
}

HRESULT InstallTransaction::PlaceFile(const SString& staging, const SString& path, const char* failure)
{
    const JournalRecord* file = Find(L"file", path);
    bool keep = file && (*file)[2] == L"existing" && !WasKeptAside(path) && Exists(path);
    if (keep)
        S_RETURN_IF_FAILED(KeepAside(path, failure));
    if (!::MoveFileExW(staging.CStr(), path.CStr(), MOVEFILE_REPLACE_EXISTING))
    {
        SERROR_SET_SYSTEM(failure).Add(path);
        // The file that was there goes back: a caller that takes this
        // failure as a skipped copy must still find it.
        if (keep && ::MoveFileExW(KeptAsidePath(path).CStr(), path.CStr(), 0))
            m_filesKeptAside.pop_back();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT InstallTransaction::ProtectKey(HKEY root, const SString& path)
{
    if (Find(L"key", path))
        return S_OK;
    SString rootName = root == HKEY_LOCAL_MACHINE ? L"HKLM" : L"HKCU";
    if (!HasKey(root, path))
        return Announce(Record(L"key", rootName, path));
    // The copy comes first: a journal that names a copy always has a whole one.
    SString copy = KeyCopiesPath() + L"\\" + SString::FromInt(static_cast<int>(::GetCurrentProcessId())) +
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
    if (FinishCommit(m_records))
        m_journal.Remove();
    else
        m_journal.Close(); // the next run deletes what is left
    m_records.clear();
    m_filesKeptAside.clear();
}

void InstallTransaction::Rollback()
{
    SErrorKeeper keeper;
    SLog::Line(L"rolling back " + SString::FromInt(static_cast<int>(m_records.size())) + L" changes");
    RollBackRecords(m_records, m_journal);
    m_records.clear();
    m_filesKeptAside.clear();
}

SStringList InstallTransaction::NamesWithin(const SString& folder) const
{
    SStringList names;
    SString prefix = folder + L"\\";
    for (size_t i = 0; i < m_records.size(); ++i)
    {
        const JournalRecord& record = m_records[i];
        if ((!IsRecord(record, L"file") && !IsRecord(record, L"folder")) || record.Count() < 2 ||
            !record[1].StartsWith(prefix.CStr()))
            continue;
        SString name = record[1].Mid(prefix.Length());
        int separator = name.Find(L'\\');
        name = separator < 0 ? name : name.Mid(0, separator);
        if (!name.IsEmpty())
            names.AppendOnce(name);
    }
    return names;
}
