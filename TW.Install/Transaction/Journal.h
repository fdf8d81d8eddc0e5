#pragma once
// The journal of one install: a small file beside the program folder that
// lists each change before it is made, so that the next run can undo an
// install that was killed. One record per line, its fields separated by
// tabs, UTF-16LE; a last line cut short by the kill is ignored.
#include "SHandle.h"
#include "SString.h"

#include <vector>

typedef SStringList JournalRecord; // the kind, then its fields

// The records of a journal's bytes; an odd last byte and a last line without
// its line break (cut short by a kill) are left out.
void ParseJournal(const BYTE* bytes, DWORD size, std::vector<JournalRecord>& records);

class InstallJournal
{
public:
    // Creates the journal, held open without sharing until it is closed: a
    // second setup of the same install cannot take it. Fails with
    // "Install.Journal".
    HRESULT Create(const SString& path);
    // Opens an interrupted install's journal and reads its records; false
    // when there is none. Fails with "Install.Busy" while another setup holds
    // it, and with "Install.JournalBlocked" when a folder has its name.
    HRESULT OpenLeftOver(const SString& path, std::vector<JournalRecord>& records, bool& found);
    // The same, without reading it: whether another setup holds it.
    HRESULT Open(const SString& path, bool& found);
    bool IsOpen() const { return m_file.IsValid(); }
    // Writes the record through to the disk before the change it announces.
    HRESULT Append(const JournalRecord& record);
    // Closes and deletes the journal: the install is over, either way.
    void Remove();
    // Closes the journal and leaves it for the next run to finish.
    void Close() { m_file.Reset(); }

private:
    SString m_path;
    SFile m_file;
};
