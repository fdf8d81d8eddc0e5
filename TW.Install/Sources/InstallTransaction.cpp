#include "InstallTransaction.h"

#include "InstallUndo.h"

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
        RollBackRecords(leftOver, interrupted);
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

HRESULT InstallTransaction::PlaceFile(const SString& staging, const SString& path, const char* failure)
{
    const JournalRecord* file = Find(L"file", path);
    bool keep = file && (*file)[2] == L"existing" && !WasKeptAside(path);
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
    if (!HasKey(root, path))
        return Announce(Record(L"key", rootName, path));
    // The copy comes first: a journal that names a copy always has a whole one.
    SString copy = SString(KeyCopiesPath()) + L"\\" + SString::FromInt(static_cast<int>(::GetCurrentProcessId())) +
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
    RollBackRecords(m_records, m_journal);
    m_records.clear();
    m_filesKeptAside.clear();
}
