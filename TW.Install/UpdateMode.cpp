// The update mode, in which the application started the setup program and
// still runs: every download is staged into the data folder first (from the
// installed program's chunks and the fetched ones), nothing in the program
// folder changes, and only once the application has ended does the usual
// transaction place the staged files. A kill before that leaves the
// installed version as it was; the next run deletes what was staged.
#include "TWInstall.h"

#include "DownloadJob.h"
#include "FileDigest.h"
#include "Names.h"

#include "SError.h"
#include "SLog.h"
#include "SPath.h"
#include "SRegistry.h"

namespace
{
SString UpdateFolder(const SString& dataFolder) { return dataFolder + L"\\Update"; }
SString PrefetchFolder(const SString& dataFolder) { return UpdateFolder(dataFolder) + L"\\Staged"; }
SString PrefetchPath(const SString& dataFolder, int index)
{
    return PrefetchFolder(dataFolder) + L"\\" + SString::FromInt(index) + L".staged";
}

// Where a prefetch puts its files: beside their place in the update folder,
// outside the transaction, which takes them over only after the wait.
class PrefetchCaller : public DownloadCaller, private StagingPlace
{
public:
    explicit PrefetchCaller(DownloadCaller& install) : m_install(install) {}

    void ReportProgress(const SString& text, DWORD done, DWORD total) override
    {
        m_install.ReportProgress(text, done, total);
    }
    HRESULT CheckNotCancelled() override { return m_install.CheckNotCancelled(); }
    StagingPlace& Staging() override { return *this; }

private:
    HRESULT AddFile(const SString&) override { return S_OK; }
    HRESULT PlaceFile(const SString& staging, const SString& target, const char* failure) override
    {
        if (::MoveFileExW(staging.CStr(), target.CStr(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return S_OK;
        SERROR_SET_SYSTEM(failure).Add(target);
        return E_FAIL;
    }

    DownloadCaller& m_install;
};

// What an earlier run staged, by name: nothing else in the folder is touched.
void ClearPrefetched(const InstallRun& run)
{
    for (int i = 0; i < run.package.downloadUrls.Count(); ++i)
    {
        SString path = PrefetchPath(run.folders.data, i);
        ::DeleteFileW(path.CStr());
        ::DeleteFileW(StagingPath(path).CStr());
    }
    ::RemoveDirectoryW(PrefetchFolder(run.folders.data).CStr());
}
} // namespace

HRESULT TWInstall::PrefetchDownloads(Run& run)
{
    ClearPrefetched(run);
    // Without an installation there is nothing to wait for: the
    // transaction downloads as in any install.
    if (!run.options.update || !IsDirectory(run.folders.data))
        return S_OK;
    S_RETURN_IF_FAILED(CreateDir(PrefetchFolder(run.folders.data)));
    for (int i = 0; i < run.package.downloadUrls.Count(); ++i)
        S_RETURN_IF_FAILED(Prefetch(run, i));
    return S_OK;
}

HRESULT TWInstall::Prefetch(Run& run, int index)
{
    DownloadJob job = JobFor(run, index);
    if (HasDeclaredSize(job) && FileHasSha256(job.path, job.digest))
        return S_OK; // a repair: nothing to fetch
    PrefetchCaller caller(*this);
    job.progress.caller = &caller;
    job.sources.Append(job.path);
    if (!job.copyPath.IsEmpty())
        job.sources.Append(job.copyPath);
    job.path = PrefetchPath(run.folders.data, index);
    job.copyPath = SString();
    bool rebuilt = false;
    S_RETURN_IF_FAILED(DownloadChunks(job, rebuilt));
    if (!rebuilt)
        S_RETURN_IF_FAILED(DownloadWhole(run.package, job));
    SLog::Line(L"update staged while the application runs: " + job.path);
    return S_OK;
}

// The application that asked for the update ends first; then the programs
// of the installation that are still ending (the update agent that started
// this) get a moment before the check for files in use refuses them.
HRESULT TWInstall::WaitForApplication(const Run& run)
{
    if (!run.options.update)
        return S_OK;
    if (run.application.IsValid())
    {
        SLog::Line(L"waiting for process " + SString::FromUnsigned(run.options.waitForPid) + L" to end");
        ::WaitForSingleObject(run.application.Get(), INFINITE);
    }
    for (int waited = 0; waited < 10000 && ProgramsInUse(run.folders).Count(); waited += 100)
        ::Sleep(100);
    return S_OK;
}

// The staged file, when it still holds the package's SHA-256, takes the
// target's place through the transaction, and the copy is made from it.
HRESULT TWInstall::PlacePrefetched(const Run& run, int index, const DownloadJob& job, bool& placed)
{
    placed = false;
    SString staged = PrefetchPath(run.folders.data, index);
    if (!run.options.update || !FileHasSha256(staged, job.digest))
        return S_OK;
    StagedFile file;
    S_RETURN_IF_FAILED(file.Reserve(job.path, m_transaction));
    if (!::MoveFileExW(staged.CStr(), file.Staging().CStr(), MOVEFILE_REPLACE_EXISTING))
    {
        SERROR_SET_SYSTEM("MoveFile").Add(job.path);
        return E_FAIL;
    }
    S_RETURN_IF_FAILED(file.Commit());
    ::RemoveDirectoryW(PrefetchFolder(run.folders.data).CStr());
    placed = true;
    SLog::Line(L"staged update placed: " + job.path);
    return job.copyPath.IsEmpty() ? S_OK : CopyBestEffort(job.path, job.copyPath);
}

// Where the update agent keeps the feed and the setup programs it fetched,
// for a package that carries the agent.
HRESULT TWInstall::RecordUpdateFolder(const Run& run)
{
    bool carriesAgent = false;
    for (size_t i = 0; i < run.package.compressedEntries.size(); ++i)
        carriesAgent = carriesAgent || run.package.compressedEntries[i].name == agentFileName;
    if (!carriesAgent)
        return S_OK;
    S_RETURN_IF_FAILED(m_transaction.ProtectKey(run.folders.recordRoot, run.folders.keyPath));
    return SetValue(run.folders.recordRoot, run.folders.keyPath, updateFolderValue, UpdateFolder(run.folders.data));
}
