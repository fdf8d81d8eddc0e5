// The download step: the application itself is not in the package but on a
// web server, plainly or as a signed S3 object.
#include "InstallRun.h"

#include "DownloadStream.h"
#include "FileDigest.h"
#include "SAS3Client.h"
#include "SError.h"
#include "SLog.h"
#include "SNls.h"
#include "SPath.h"

namespace
{
HRESULT Fetch(const InstallPackage& package, const SString& url, SHttpSink& sink)
{
    SString work = url.StartsWith(L"https://") ? url.Mid(8) : url;
    int s3 = work.Find(L".s3");
    if (s3 < 0 || package.s3KeyId == L"null")
        return StreamURL(url, SStringList(), sink);
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

HRESULT TWInstall::Download(Run& run, int index)
{
    const SString& url = run.package.downloadUrls[index];
    const SString& target = run.package.downloadTargets[index];
    SString path = ExpandTarget(target, run.folders.program, run.folders.data);
    SString lowPath = ExpandTarget(target, run.folders.low, run.folders.data);
    bool stored = path.EndsWith(L".TWP");
    bool isApplication = IsApplicationFile(FileNamePart(path), run.module);
    SString copyPath = !stored && isApplication && lowPath != path ? lowPath : SString();
    SString digest = run.package.DownloadDigest(target);
    DWORD share = static_cast<DWORD>(run.package.downloadSizes[index]);
    S_RETURN_IF_FAILED(m_transaction.CreateFolders(DirectoryPart(path)));
    if (FileHasSha256(path, digest))
        S_RETURN_IF_FAILED(KeepHeldDownload(path, copyPath, digest));
    else
    {
        DownloadProgress progress = {this, GetNLS(L"Install.Copy"), run.done, run.total, share};
        DownloadStream stream(url, digest, progress);
        S_RETURN_IF_FAILED(stream.Open(path, copyPath, !stored, m_transaction));
        S_RETURN_IF_FAILED(Fetch(run.package, url, stream));
        S_RETURN_IF_FAILED(stream.Commit());
    }
    run.done += share;
    return S_OK;
}

// A repair: the target already holds the package's SHA-256, so the body is
// not requested at all and the file stays as it is. Its copy is made anew
// from it when the copy differs.
HRESULT TWInstall::KeepHeldDownload(const SString& path, const SString& copyPath, const SString& digest)
{
    SLog::Line(L"download skipped: " + path + L" already holds the package's SHA-256 " + digest);
    if (copyPath.IsEmpty() || FileHasSha256(copyPath, digest))
        return S_OK;
    return CopyBestEffort(path, copyPath);
}
