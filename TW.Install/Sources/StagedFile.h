#pragma once
// A file written beside its target under a staging name and renamed over the
// target only when it is complete: until then a file already at the target
// stays exactly as it was, and a failure leaves nothing behind.
#include "SHandle.h"
#include "SString.h"

class StagedFile
{
public:
    StagedFile() {}
    // Deletes the staging file unless it was committed.
    ~StagedFile() { Discard(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates (replacing) target + ".partial". Fails with "CreateFile".
    HRESULT Create(const SString& target);
    bool IsOpen() const { return m_file.IsValid(); }
    // Appends the bytes. Fails with "WriteFile".
    HRESULT Write(const BYTE* bytes, DWORD size);
    // Empties the staging file, for a transfer that starts over.
    HRESULT Truncate();
    // Renames the staging file over the target. Fails with "MoveFile".
    HRESULT Commit();
    void Discard();

private:
    SString m_target;
    SString m_staging;
    SFile m_file;
};
