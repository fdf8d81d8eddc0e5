#pragma once
// An install as a transaction: every change that the install makes to the
// machine is announced here first, so that a failed or cancelled install is
// undone in reverse order, and one that was killed is undone by the next run
// (through the journal). Until the commit, a file that the install replaces
// stays beside it as path + ".rollback", and a key that it changes has a copy
// under "Software\<vendor> Setup Rollback".
#include "Journal.h"
#include "JournalScope.h"
#include "StagedFile.h"

#include <vector>

class InstallTransaction : public StagingPlace
{
public:
    InstallTransaction() : m_keyCopies(0) {}
    // Changes made outside an install (an engine operation called on its
    // own) stay, as they always did: only the kept files and copies go.
    ~InstallTransaction()
    {
        if (!m_records.empty())
            Commit();
    }
    InstallTransaction(const InstallTransaction&) = delete;
    InstallTransaction& operator=(const InstallTransaction&) = delete;

    // Rolls back an interrupted install whose journal lies at journalPath,
    // then starts this one's journal there. A journal is input like any
    // file: only the records that the scope trusts are undone. Fails with
    // "Install.Recover", the journal kept, when they cannot all be undone.
    HRESULT Begin(const SString& journalPath, const JournalScope& scope);
    // Fails with "Install.Busy" while another setup holds the journal, as
    // Begin would, but changes nothing: asked before anything else is.
    static HRESULT CheckNoOtherSetup(const SString& journalPath);
    // Creates the folder and each missing folder above it; each one it made
    // goes again with a rollback. A folder that cannot be made is not
    // reported here: it shows at the first write into it. Fails with the
    // journal ("Install.Journal"), or with "Install.PathTooLong" for a folder
    // longer than 247 units.
    HRESULT CreateFolders(const SString& folder);
    // Announces a file that is about to be staged for path. Fails with
    // "Install.PathTooLong" for a path longer than 250 units, which its
    // kept-aside name would take beyond MAX_PATH.
    HRESULT AddFile(const SString& path) override;
    // Renames the complete staging file over path, keeping an existing file
    // aside the first time (announced as "kept" before the move). Fails with
    // `failure`, the system text and path, the previous file back in place;
    // or with "Install.KeptFile" when an old kept-aside file is in the way.
    HRESULT PlaceFile(const SString& staging, const SString& path, const char* failure) override;
    // Copies the key with everything below it before its first change.
    HRESULT ProtectKey(HKEY root, const SString& path);
    // The names directly in folder of what this install announced in it
    // (files, and folders it made), once each.
    SStringList NamesWithin(const SString& folder) const;
    // True for a file that holds a replaced file's bytes until the commit.
    bool IsKeptAside(const SString& path) const;
    // Announces a plug-in's install hook: a rollback calls its uninstall hook.
    HRESULT AddPluginHook(const SString& path, DWORD perMachine);
    // The install succeeded: drops the kept files and keys and the journal;
    // the journal stays for the next run when a kept file cannot go yet.
    void Commit();
    // Undoes every change, newest first, and removes the journal. The
    // caller's error record stays as it was.
    void Rollback();

private:
    HRESULT Announce(const JournalRecord& record);
    // The record of that kind for the path (a file, or a key's path).
    const JournalRecord* Find(const wchar_t* kind, const SString& path) const;
    bool WasKeptAside(const SString& path) const;
    HRESULT KeepAside(const SString& path, const char* failure);

    std::vector<JournalRecord> m_records;
    InstallJournal m_journal;
    std::vector<SString> m_filesKeptAside;
    int m_keyCopies;
};
