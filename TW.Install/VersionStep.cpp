// The version step: before anything changes, the package's version against
// the installed entry of the same deployment. A newer version installed is
// kept unless the caller allows the downgrade.
#include "TWInstall.h"

#include "SError.h"

#include "Names.h"
#include "VersionCheck.h"

#include "SHandle.h"
#include "SLog.h"
#include "SNls.h"

namespace
{
// Whether the entry exists, and its "DisplayVersion" (empty when it has none).
bool ReadInstalledVersion(HKEY root, const SString& path, SString& version)
{
    SKey key;
    if (::RegOpenKeyExW(root, path.CStr(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return false;
    wchar_t buffer[64] = {0};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key.Get(), L"DisplayVersion", NULL, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
        version = buffer;
    return true;
}
} // namespace

HRESULT TWInstall::CheckVersion(Run& run)
{
    const SString& packaged = run.package.version;
    if (packaged.IsEmpty())
        return S_OK; // a package without a version installs as it always has
    SString installed;
    bool exists = ReadInstalledVersion(run.PerMachine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                                       SetupUninstallEntryPath(), installed);
    InstallKind kind = ClassifyInstall(exists, installed, packaged);
    if (kind == NotAVersion)
    {
        SERROR_SET("ReadPackage.Version")
            .Add(packaged)
            .Add(L"The package's version is not one to four numbers of up to five digits joined by dots.");
        return E_FAIL;
    }
    DWORD numbers[4];
    if (exists && !ParseVersion(installed, numbers))
        SLog::Line(L"version: the installed entry's \"DisplayVersion\" cannot be read as a version (\"" + installed +
                   L"\"): the install counts as an upgrade");
    SLog::Line(SString(L"version: ") + packaged + L" | installed: " + (exists ? installed : SString(L"none")) +
               L" | " + InstallKindName(kind) + (kind == Downgrade && run.options.allowDowngrade
                                                     ? L", allowed (/AllowDowngrade)"
                                                     : L""));
    if (kind != Downgrade || run.options.allowDowngrade)
        return S_OK;
    SString text = GetNLS(L"Install.Downgrade");
    text.Replace(L"%1", packaged.CStr());
    text.Replace(L"%2", installed.CStr());
    SERROR_SET("Install.Downgrade").Add(text);
    return E_FAIL;
}
