#pragma once
// A file written beside its target under a staging name and put in place
// only when it is complete: until then a file already at the target stays
// exactly as it was, and a failure leaves nothing behind. The install's
// transaction knows of it before it exists, and keeps the file it replaces.
#include "SHandle.h"
#include "SString.h"

// Where staged files are announced before they exist and put in place once
// complete: the install's transaction, which keeps what they replace.
class StagingPlace
{
public:
    virtual HRESULT AddFile(const SString& target) = 0;
    // Renames the complete staging file over the target. Fails with
    // `failure`, the system text and the target.
    virtual HRESULT PlaceFile(const SString& staging, const SString& target, const char* failure) = 0;

protected:
    ~StagingPlace() {}
};

// The name beside the target that a file is staged under.
SString StagingPath(const SString& target);

class StagedFile
{
public:
    StagedFile() : m_place(NULL) {}
    // Deletes the staging file unless it was committed.
    ~StagedFile() { Discard(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates (replacing) the staging file for target. Fails with
    // "CreateFile" and the target.
    HRESULT Create(const SString& target, StagingPlace& place);
    // Names the staging file for a writer of its own (a copy, a shortcut),
    // without creating it.
    HRESULT Reserve(const SString& target, StagingPlace& place);
    const SString& Staging() const { return m_staging; }
    bool IsOpen() const { return m_file.IsValid(); }
    DWORD Size() const { return ::GetFileSize(m_file.Get(), NULL); }
    // Appends the bytes. Fails with writeFailure and the target.
    HRESULT Write(const BYTE* bytes, DWORD size, const char* writeFailure = "WriteFile");
    // Writes the bytes at that offset, from any thread. Fails with "WriteFile".
    HRESULT WriteAt(DWORD offset, const BYTE* bytes, DWORD size);
    // Empties the staging file, for a transfer that starts over.
    HRESULT Truncate();
    // Flushes the staging file to the disk and puts it in place of the
    // target. Fails with `failure`, the system text and the target (with
    // "WriteFile" when it cannot be flushed).
    HRESULT Commit(const char* failure = "MoveFile");
    void Discard();

private:
    HRESULT Flush();

    SString m_target;
    SString m_staging;
    SFile m_file;
    StagingPlace* m_place;
};
