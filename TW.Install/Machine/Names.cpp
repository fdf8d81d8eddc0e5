#include "Names.h"

#include "SNls.h"

SString ReleaseChannel() { return SString(TW_RELEASE_CHANNEL); }

SString VendorName() { return SString(TW_VENDOR); }

SString DefaultFolderName(const SString& suffix) { return VendorName() + suffix; }

SString InstanceSuffix(const SString& channel, bool hasDeployment, const SString& deploymentId)
{
    SString suffix = channel == L"Production_FLY" ? SString() : L"." + channel;
    if (hasDeployment)
        suffix += L"." + deploymentId;
    return suffix;
}

SString UninstallKeyName(const SString& channel, const SString& deploymentId)
{
    SString name = VendorName() + L"_" + channel;
    if (!deploymentId.IsEmpty())
        name += L"_" + deploymentId;
    return name;
}

bool SetupDeploymentId(SString& deploymentId)
{
    SString value = GetNLS(L"DeploymentID");
    if (IsDeploymentPlaceholder(value))
        return false;
    deploymentId = value;
    return true;
}

bool IsDeploymentPlaceholder(const SString& deploymentId) { return deploymentId == L"%DEPLOYMENTID%"; }

bool IsValidDeploymentId(const SString& deploymentId)
{
    int length = deploymentId.Length();
    if (length == 0 || length > 64 || deploymentId[0] == L'.' || deploymentId[length - 1] == L'.')
        return false;
    for (int i = 0; i < length; ++i)
    {
        wchar_t c = deploymentId[i];
        bool allowed = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'.' ||
                       c == L'-' || c == L'_';
        if (!allowed)
            return false;
    }
    return true;
}

SString UriSchemeKeyPath(const SString& scheme) { return L"Software\\Classes\\" + scheme; }

SString UninstallEntriesPath() { return L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"; }

SString UninstallEntryPath(const SString& keyName) { return UninstallEntriesPath() + L"\\" + keyName; }

SString SetupUninstallEntryPath()
{
    SString deploymentId;
    SetupDeploymentId(deploymentId);
    return UninstallEntryPath(UninstallKeyName(ReleaseChannel(), deploymentId));
}

SString ProductVersion() { return TW_PRODUCT_VERSION; }

SString DeploymentKeyPath(const SString& suffix) { return L"Software\\" + VendorName() + suffix; }

SString KeyCopiesPath() { return L"Software\\" + VendorName() + L" Setup Rollback"; }

SString AppUserModelId()
{
    SString name = GetNLS(L"DisplayName");
    SString product;
    for (int i = 0; i < name.Length(); ++i)
    {
        wchar_t c = name[i];
        if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9'))
            product.Append(&c, 1);
    }
    return VendorName() + L"." + product;
}
