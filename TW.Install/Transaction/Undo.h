#pragma once
// Undoing what an install's journal lists, newest first: shared by the
// rollback of a failed install and the recovery of one that was killed.
#include "Journal.h"
#include "StagedFile.h"

#include <vector>

// Where a file's previous bytes wait.
SString KeptAsidePath(const SString& path);

JournalRecord Record(const wchar_t* kind, const SString& first, const SString& second = SString(),
                     const SString& third = SString());
bool IsRecord(const JournalRecord& record, const wchar_t* kind);
bool HasKey(HKEY root, const SString& path);
// Copies the key with all its values and subkeys; false, with the system's
// code as the last error, when it cannot.
bool CopyKey(HKEY root, const SString& from, const SString& to);

// The install had succeeded when it was stopped.
bool IsCommitted(const std::vector<JournalRecord>& records);
// Drops the kept files and key copies of a committed install; false when a
// kept file could not be deleted.
bool FinishCommit(const std::vector<JournalRecord>& records);
// Undoes the records, removes the journal, then the folders that held it.
// False, with the journal and the key copies left for the next run, when a
// file or key could not be put back.
bool RollBackRecords(const std::vector<JournalRecord>& records, InstallJournal& journal);
