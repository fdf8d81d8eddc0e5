#include "SetupFetch.h"

#include "AgentFiles.h"
#include "SetupSigner.h"

#include "SError.h"
#include "SHash.h"
#include "SHttpSmall.h"
#include "SLog.h"
#include "SPath.h"
#include "SUrl.h"

#include <vector>

namespace
{
// The held file is the feed's: its size and SHA-256, read through the handle.
HRESULT CheckDigest(const ReleaseFeed& feed, HANDLE file, const SString& path)
{
    std::vector<BYTE> bytes(feed.setupSize + 1);
    DWORD read = 0;
    SDigest digest;
    if (file != INVALID_HANDLE_VALUE && ::ReadFile(file, &bytes[0], feed.setupSize + 1, &read, NULL) &&
        read == feed.setupSize && Sha256(&bytes[0], read, digest) && IsDigest(digest, feed.setupSha256))
        return S_OK;
    SERROR_SET("Update.SetupDigest")
        .Add(UrlForLog(feed.setupUrl))
        .Add(L"The setup program is not the one the feed names: its size or SHA-256 differs.");
    return E_FAIL;
}

HRESULT CheckSigner(const Installation& installation, const SString& path)
{
    SString installed = TrustedSigner(installation.program + L"\\TW.Remover.exe");
    if (installed.IsEmpty())
        return S_OK;
    SString signer = TrustedSigner(path);
    if (signer == installed)
        return S_OK;
    SERROR_SET("Update.SetupSigner")
        .Add(path)
        .Add(L"The setup program is not signed by the publisher of the installed programs: " + installed);
    return E_FAIL;
}

HRESULT WriteAndCheck(const ReleaseFeed& feed, const Installation& installation, const std::string& bytes,
                      const SString& path, SFile& held)
{
    S_RETURN_IF_FAILED(WriteWholeFile(path, bytes, "Update.SetupWrite"));
    held.Reset(::CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    S_RETURN_IF_FAILED(CheckDigest(feed, held.Get(), path));
    return CheckSigner(installation, path);
}
} // namespace

HRESULT FetchSetup(const ReleaseFeed& feed, const Installation& installation, SString& path, SFile& held)
{
    SHttpSmallAnswer answer;
    S_RETURN_IF_FAILED(FetchSmall(feed.setupUrl, SString(), feed.setupSize, "Update.SetupDigest", answer));
    S_RETURN_IF_FAILED(CreateDir(installation.updates));
    path = installation.updates + L"\\Setup " + feed.version + L".exe";
    if (WriteAndCheck(feed, installation, answer.body, path, held) == S_OK)
    {
        SLog::Line(L"setup program fetched and checked: " + path);
        return S_OK;
    }
    held.Reset();
    ::DeleteFileW(path.CStr());
    return E_FAIL;
}
