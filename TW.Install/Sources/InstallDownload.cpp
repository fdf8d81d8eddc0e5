// The download step: the application itself is not in the package but on a
// web server, plainly or as a signed S3 object.
#include "InstallRun.h"

#include "SAS3Client.h"
#include "SError.h"
#include "SNls.h"

#include <string.h>

namespace
{
struct DownloadProgressContext
{
    DWORD* done;
    DWORD* total;
    TWInstall* engine;
    SString text;
};

int DownloadProgress(DWORD /*announced*/, DWORD received, void* userData)
{
    DownloadProgressContext* context = static_cast<DownloadProgressContext*>(userData);
    context->engine->ReportProgress(context->text, *context->done + received, *context->total);
    return 0;
}

SString ExpandTarget(const SString& target, const SString& programFolder, const SString& dataFolder)
{
    SString path(target);
    path.Replace(L"%program%", programFolder.CStr());
    path.Replace(L"%data%", dataFolder.CStr());
    path.Replace(L"/", L"\\");
    return path;
}

HRESULT Fetch(const InstallPackage& package, const SString& url, DownloadProgressContext& context, SMallocBytes& body,
              DWORD& size)
{
    SString work = url.StartsWith(L"https://") ? url.Mid(8) : url;
    int s3 = work.Find(L".s3");
    BYTE* received = NULL;
    HRESULT result;
    if (s3 >= 0 && package.s3KeyId != L"null")
    {
        SString bucket = work.Mid(0, s3);
        work = work.Mid(s3);
        int slash = work.Find(L'/');
        if (slash < 0)
        {
            SERROR_SET("Install.parseurl").Add(work);
            return E_FAIL;
        }
        result = DownloadS3Object(bucket, package.s3KeyId, package.s3Secret, work.Mid(0, slash + 1),
                                  work.Mid(slash + 1), DownloadProgress, &context, &received, &size);
    }
    else
        result = OpenURL(url, SStringList(), &received, &size, DownloadProgress, &context);
    body.Reset(received);
    return result;
}
} // namespace

HRESULT TWInstall::Download(Run& run, int index)
{
    const SString& url = run.package.downloadUrls[index];
    const SString& target = run.package.downloadTargets[index];
    DownloadProgressContext context = {&run.done, &run.total, this, GetNLS(L"Install.Copy")};
    SMallocBytes body;
    DWORD size = 0;
    S_RETURN_IF_FAILED(Fetch(run.package, url, context, body, size));
    SString path = ExpandTarget(target, run.programFolder, run.dataFolder);
    if (path.EndsWith(L".TWP"))
        return WriteFileWithProgress(path, body.Get(), size, GetNLS(L"Install.Copy"), &run.done, run.total);
    if (size < 4)
    {
        SERROR_SET("Install.DownloadTooShort")
            .Add(url)
            .Add(L"The body holds " + SString::FromInt(static_cast<int>(size)) +
                 L" bytes, too few for the size of the program.");
        return E_FAIL;
    }
    DWORD inflatedSize = 0;
    memcpy(&inflatedSize, body.Get(), 4);
    SMallocBytes inflated;
    S_RETURN_IF_FAILED(InflateExactly(body.Get() + 4, size - 4, inflatedSize, url, inflated));
    body.Reset();
    S_RETURN_IF_FAILED(
        WriteFileWithProgress(path, inflated.Get(), inflatedSize, GetNLS(L"Install.Copy"), &run.done, run.total));
    SString lowPath = ExpandTarget(target, run.lowProgramFolder, run.dataFolder);
    bool isApplication = target.Find(L"TW.3D.Modeller.exe") >= 0 || target.Find(L"TW.3D.Modeller.Plugin.dll") >= 0;
    if (isApplication && lowPath != path)
        ::CopyFileW(path.CStr(), lowPath.CStr(), FALSE);
    return S_OK;
}
