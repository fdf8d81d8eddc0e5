#include "Installation.h"

#include "Names.h"
#include "ProtectedFolder.h"

#include "SError.h"
#include "SPath.h"
#include "SRegistry.h"

namespace
{
SString DeploymentId()
{
    SString id = TW_DEPLOYMENT_ID;
    return IsDeploymentPlaceholder(id) ? SString() : id;
}

// The entry under root, when it is this folder's.
bool ReadEntry(HKEY root, const SString& program, Installation& installation)
{
    SString entry = UninstallEntryPath(installation.product);
    SString location;
    if (GetValue(root, entry, L"InstallLocation", location) != S_OK || !IsSamePath(location, program))
        return false;
    installation.root = root;
    if (GetValue(root, entry, L"DisplayVersion", installation.version) != S_OK)
        installation.version = SString();
    return true;
}
} // namespace

HRESULT FindInstallation(Installation& installation)
{
    SString id = DeploymentId();
    installation.product = UninstallKeyName(ReleaseChannel(), id);
    installation.program = DirectoryPart(GetModulePath());
    if (!ReadEntry(HKEY_CURRENT_USER, installation.program, installation) &&
        !ReadEntry(HKEY_LOCAL_MACHINE, installation.program, installation))
    {
        SERROR_SET("Update.NoEntry")
            .Add(installation.product)
            .Add(L"No entry in the list of installed programs names this folder: " + installation.program);
        return E_FAIL;
    }
    SString keyPath = DeploymentKeyPath(InstanceSuffix(ReleaseChannel(), !id.IsEmpty(), id));
    if (GetValue(installation.root, keyPath, updateFolderValue, installation.updates) != S_OK ||
        installation.updates.IsEmpty())
    {
        SERROR_SET("Update.NoFolder").Add(keyPath).Add(L"The install recorded no folder for its updates.");
        return E_FAIL;
    }
    return S_OK;
}
