#pragma once
// What a download needs from whoever runs it, and nothing more: where its
// progress goes, whether the user has cancelled, and where its files are
// staged. The install implements it; the download never sees the install.
#include "StagedFile.h"

class DownloadCaller
{
public:
    // Progress of the whole run: done of total.
    virtual void ReportProgress(const SString& text, DWORD done, DWORD total) = 0;
    // Fails with "Install.Cancelled" once the user has cancelled; waits while
    // the user is asked whether to.
    virtual HRESULT CheckNotCancelled() = 0;
    // Where the download's files are announced and put in place.
    virtual StagingPlace& Staging() = 0;

protected:
    ~DownloadCaller() {}
};
