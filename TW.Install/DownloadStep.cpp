// The download step: the application itself is not in the package but on a
// web server, plainly or as a signed S3 object.
#include "TWInstall.h"

#include "DeltaDownload.h"
#include "DownloadJob.h"
#include "DownloadStream.h"
#include "FileDigest.h"
#include "SAS3Client.h"
#include "SError.h"
#include "SLog.h"
#include "SNls.h"
#include "SPath.h"

namespace
{
// An S3 object that the package's credentials sign: "<bucket>.s3...".
bool IsSignedS3(const InstallPackage& package, const SString& url)
{
    SString work = url.StartsWith(L"https://") ? url.Mid(8) : url;
    return work.Find(L".s3") >= 0 && package.s3KeyId != L"null";
}

HRESULT Fetch(const InstallPackage& package, const SString& url, SHttpSink& sink)
{
    if (!IsSignedS3(package, url))
        return StreamURL(url, SStringList(), sink);
    SString work = url.StartsWith(L"https://") ? url.Mid(8) : url;
    int s3 = work.Find(L".s3");
    SString bucket = work.Mid(0, s3);
    work = work.Mid(s3);
    int slash = work.Find(L'/');
    if (slash < 0)
    {
        SERROR_SET("Install.parseurl").Add(work);
        return E_FAIL;
    }
    return StreamS3Object(bucket, package.s3KeyId, package.s3Secret, work.Mid(0, slash + 1), work.Mid(slash + 1),
                          sink);
}
} // namespace

SString ExpandTarget(const SString& target, const SString& programFolder, const SString& dataFolder)
{
    SString path(target);
    path.Replace(L"%program%", programFolder.CStr());
    path.Replace(L"%data%", dataFolder.CStr());
    path.Replace(L"/", L"\\");
    return path;
}

TWInstall::DownloadJob TWInstall::JobFor(Run& run, int index)
{
    const SString& target = run.package.downloadTargets[index];
    DownloadJob job;
    job.url = run.package.downloadUrls[index];
    job.path = ExpandTarget(target, run.folders.program, run.folders.data);
    SString lowPath = ExpandTarget(target, run.folders.low, run.folders.data);
    job.inflate = !job.path.EndsWith(L".TWP");
    if (job.inflate && IsApplicationFile(FileNamePart(job.path), run.module) && lowPath != job.path)
        job.copyPath = lowPath;
    job.digest = run.package.DownloadDigest(target);
    // Signed S3 objects are fetched whole: the ranges go unsigned.
    if (!IsSignedS3(run.package, job.url))
        job.blocksDigest = run.package.BlocksDigest(target);
    DWORD share = static_cast<DWORD>(run.package.downloadSizes[index]);
    DownloadProgress progress = {this, GetNLS(L"Install.Copy"), run.done, run.total, share};
    job.progress = progress;
    return job;
}

HRESULT TWInstall::Download(Run& run, int index)
{
    DownloadJob job = JobFor(run, index);
    S_RETURN_IF_FAILED(m_transaction.CreateFolders(DirectoryPart(job.path)));
    // One pass over the installed program: the whole-file hash when it has
    // the download's size, which a repair finds at once and with no request;
    // else the chunks an update takes from it, which tell a repair as well
    // when the declared size was wrong. A program that neither pass looked
    // at (no map, or a map that cannot be had) is hashed whole last.
    bool hashed = HasDeclaredSize(job);
    bool placed = false;
    S_RETURN_IF_FAILED(PlacePrefetched(run, index, job, placed));
    if (!placed && hashed && FileHasSha256(job.path, job.digest))
        S_RETURN_IF_FAILED(KeepHeldDownload(job, placed));
    if (!placed)
        S_RETURN_IF_FAILED(DownloadChunks(job, placed));
    if (!placed && !hashed && FileHasSha256(job.path, job.digest))
        S_RETURN_IF_FAILED(KeepHeldDownload(job, placed));
    if (!placed)
        S_RETURN_IF_FAILED(DownloadWhole(run.package, job));
    run.done += job.progress.share;
    return S_OK;
}

// The target has the size the package declares for the download: most likely
// it already is the package's, which its whole-file hash tells at once.
bool TWInstall::HasDeclaredSize(const DownloadJob& job)
{
    return FileSize(job.path) == static_cast<ULONGLONG>(job.progress.share);
}

// A repair: the target already holds the package's SHA-256, so the body is
// not requested at all and the file stays as it is. Its copy is made anew
// from it, which costs less than hashing the copy.
HRESULT TWInstall::KeepHeldDownload(const DownloadJob& job, bool& placed)
{
    SLog::Line(L"download skipped: " + job.path + L" already holds the package's SHA-256 " + job.digest);
    placed = true;
    return job.copyPath.IsEmpty() ? S_OK : CopyBestEffort(job.path, job.copyPath);
}

// With a block map: the chunks this computer already has (in the program
// and its copy, whatever their version) and only the others fetched. Any
// failure but a cancel is logged and leaves `rebuilt` false, for the whole
// download to follow.
HRESULT TWInstall::DownloadChunks(const DownloadJob& job, bool& rebuilt)
{
    if (job.blocksDigest.IsEmpty() || job.digest.IsEmpty() || !job.inflate)
        return S_OK;
    bool wroteCopy = false;
    {
        DeltaDownload delta(job.url, job.digest, job.progress);
        rebuilt = delta.Stage(job.blocksDigest, job.path, job.copyPath, job.sources) == S_OK &&
                  delta.Commit() == S_OK;
        wroteCopy = delta.WroteCopy();
    }
    if (rebuilt)
        return job.copyPath.IsEmpty() || wroteCopy ? S_OK : CopyBestEffort(job.path, job.copyPath);
    // A cancel shows in whatever failure it caused, or in none yet: asked
    // here, before a whole download would start.
    SString failure = SLog::FailureText();
    S_RETURN_IF_FAILED(CheckNotCancelled());
    SLog::Line(L"delta download not possible: " + failure);
    return S_OK;
}

HRESULT TWInstall::DownloadWhole(const InstallPackage& package, const DownloadJob& job)
{
    DownloadStream stream(job.url, job.digest, job.progress);
    S_RETURN_IF_FAILED(stream.Open(job.path, job.copyPath, job.inflate));
    S_RETURN_IF_FAILED(Fetch(package, job.url, stream));
    return stream.Commit();
}
