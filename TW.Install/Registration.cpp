// The uninstall entry, URI schemes and the file of uninstall actions that the
// remover reads back.
#include "TWInstall.h"

#include "Names.h"

#include "SError.h"
#include "SLog.h"
#include "SNls.h"
#include "SRegistry.h"

#include <string>

HRESULT TWInstall::RegisterInstall(const SString& displayName, const SString& iconPath, const SString& installFolder,
                                   DWORD perMachine)
{
    SString deploymentId;
    SetupDeploymentId(deploymentId);
    SString keyName = UninstallKeyName(ReleaseChannel(), deploymentId);
    SString path = UninstallEntryPath(keyName);
    HKEY root = perMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    S_RETURN_IF_FAILED(m_transaction.ProtectKey(root, path));
    const wchar_t* const localized[] = {L"Publisher", L"HelpLink", L"URLInfoAbout", L"URLUpdateInfo", L"Contact",
                                        L"Comments"};
    for (size_t i = 0; i < sizeof(localized) / sizeof(localized[0]); ++i)
        S_RETURN_IF_FAILED(SetValue(root, path, localized[i], GetNLS(localized[i])));
    S_RETURN_IF_FAILED(SetValue(root, path, L"DisplayName", displayName));
    S_RETURN_IF_FAILED(SetValue(root, path, L"ProductName", keyName));
    S_RETURN_IF_FAILED(SetValue(root, path, L"UninstallString", L"\"" + installFolder + L"\\TW.Remover.exe\""));
    S_RETURN_IF_FAILED(SetValue(root, path, L"NoModify", static_cast<DWORD>(1)));
    S_RETURN_IF_FAILED(SetValue(root, path, L"NoRepair", static_cast<DWORD>(1)));
    S_RETURN_IF_FAILED(SetValue(root, path, L"DisplayIcon", iconPath));
    S_RETURN_IF_FAILED(SetValue(root, path, L"InstallLocation", installFolder));
    RecordUndo(perMachine ? L"UnregisterInstallAdmin" : L"UnregisterInstall");
    return WriteUninstallActions(UninstallFilePath(installFolder));
}

HRESULT TWInstall::RegisterUri(const SString& scheme, const SString& command, const SString& iconPath)
{
    SString key = UriSchemeKeyPath(scheme);
    S_RETURN_IF_FAILED(m_transaction.ProtectKey(HKEY_CURRENT_USER, key));
    S_RETURN_IF_FAILED(SetValue(HKEY_CURRENT_USER, key, L"Url Protocol", SString()));
    S_RETURN_IF_FAILED(SetValue(HKEY_CURRENT_USER, key + L"\\DefaultIcon", SString(), iconPath));
    S_RETURN_IF_FAILED(SetValue(HKEY_CURRENT_USER, key + L"\\shell\\open\\command", SString(), command));
    SLog::Line(L"URI scheme: " + scheme + L" -> " + command);
    RecordUndo(L"UnregisterUri." + scheme);
    return S_OK;
}

void TWInstall::RecordUndo(const SString& action)
{
    SLog::Line(L"undo action recorded: " + action);
    UninstallActions.Append(action);
}

// Newest action first, so the remover undoes in reverse order of recording.
HRESULT TWInstall::WriteUninstallActions(const SString& path)
{
    // The remover refuses a whole file with a longer action, and would then
    // remove nothing: better no install than one that cannot be removed.
    for (int i = 0; i < UninstallActions.Count(); ++i)
        if (static_cast<DWORD>(UninstallActions[i].Length()) > maxActionUnits)
        {
            SERROR_SET("WriteUninstallActions.TooLong")
                .Add(UninstallActions[i].Mid(0, 64) + L"...")
                .Add(L"An undo action is longer than the 4095 characters that the remover reads.");
            return E_FAIL;
        }
    DWORD count = static_cast<DWORD>(UninstallActions.Count());
    std::string bytes(reinterpret_cast<const char*>(&count), sizeof(count));
    for (int i = UninstallActions.Count() - 1; i >= 0; --i)
    {
        DWORD length = static_cast<DWORD>(UninstallActions[i].Length());
        bytes.append(reinterpret_cast<const char*>(&length), sizeof(length));
        bytes.append(reinterpret_cast<const char*>(UninstallActions[i].CStr()), length * sizeof(wchar_t));
    }
    return WriteChunked(path, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), "SafeWrite",
                        SString(), NULL, 0);
}
