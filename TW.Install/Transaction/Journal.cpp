#include "Journal.h"

#include "SError.h"
#include "SPath.h"

#include <string.h>

namespace
{
SString RecordLine(const JournalRecord& record)
{
    SString line;
    for (int i = 0; i < record.Count(); ++i)
        line += (i ? L"\t" : L"") + record[i];
    return line + L"\r\n";
}

} // namespace

void ParseJournal(const BYTE* bytes, DWORD size, std::vector<JournalRecord>& records)
{
    std::vector<wchar_t> text(size / 2 + 1);
    if (size >= 2)
        memcpy(&text[0], bytes, size / 2 * 2);
    SString all(&text[0], static_cast<int>(size / 2));
    SStringList lines = all.Split(L'\n');
    // The piece after the last line break is a record the kill cut short.
    for (int i = 0; i + 1 < lines.Count(); ++i)
    {
        SString line = lines[i].EndsWith(L"\r") ? lines[i].Mid(0, lines[i].Length() - 1) : lines[i];
        if (!line.IsEmpty())
            records.push_back(line.Split(L'\t'));
    }
}

HRESULT InstallJournal::Create(const SString& path)
{
    m_file.Reset(::CreateFileW(path.CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, NULL));
    if (!m_file.IsValid())
    {
        SERROR_SET_SYSTEM("Install.Journal").Add(path);
        return E_FAIL;
    }
    m_path = path;
    return S_OK;
}

HRESULT InstallJournal::Open(const SString& path, bool& found)
{
    found = false;
    m_file.Reset(::CreateFileW(path.CStr(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL));
    if (!m_file.IsValid())
    {
        DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return S_OK;
        if (IsDirectory(path))
        {
            SERROR_SET("Install.JournalBlocked")
                .Add(path)
                .Add(L"A folder has the name of the setup's journal. Move or delete it, then run the setup again.");
            return E_FAIL;
        }
        // Only a file that another process holds means another setup: package
        // managers wait and ask again for ever on that answer (1618).
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            SERROR_SET_SYSTEM("Install.Busy").Add(path).Add(L"Another setup of this program is running. Wait until it has ended.");
        else
            SERROR_SET_SYSTEM("Install.Journal").Add(path).Add(L"The setup's journal cannot be opened.");
        return E_FAIL;
    }
    m_path = path;
    found = true;
    return S_OK;
}

HRESULT InstallJournal::OpenLeftOver(const SString& path, std::vector<JournalRecord>& records, bool& found)
{
    S_RETURN_IF_FAILED(Open(path, found));
    if (!found)
        return S_OK;
    LARGE_INTEGER size = {};
    ::GetFileSizeEx(m_file.Get(), &size);
    if (size.QuadPart > 16 * 1024 * 1024)
        size.QuadPart = 0; // not a journal this program wrote: nothing to undo
    std::vector<BYTE> bytes(static_cast<size_t>(size.QuadPart) + 1);
    DWORD read = 0;
    if (size.QuadPart && ::ReadFile(m_file.Get(), &bytes[0], static_cast<DWORD>(size.QuadPart), &read, NULL))
        ParseJournal(&bytes[0], read, records);
    return S_OK;
}

HRESULT InstallJournal::Append(const JournalRecord& record)
{
    if (!m_file.IsValid())
        return S_OK;
    SString line = RecordLine(record);
    DWORD size = static_cast<DWORD>(line.Length()) * 2;
    DWORD written = 0;
    // One write per record, so a kill cuts at most the last line; flushed,
    // so that a lost power finds what was announced.
    if (!::WriteFile(m_file.Get(), line.CStr(), size, &written, NULL) || written != size ||
        !::FlushFileBuffers(m_file.Get()))
    {
        SERROR_SET_SYSTEM("Install.Journal").Add(m_path);
        return E_FAIL;
    }
    return S_OK;
}

void InstallJournal::Remove()
{
    if (!m_file.IsValid())
        return;
    m_file.Reset();
    ::DeleteFileW(m_path.CStr());
}
