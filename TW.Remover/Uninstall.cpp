// The remover's procedure: undo the recorded actions newest first, remove the
// per-deployment folders and key, then hand the remover's own folder to the
// removal script.
#include "TWInstall.h"

#include "DeleteFolderTree.h"
#include "FilesInUse.h"
#include "InstallNames.h"
#include "SelfRemoval.h"

#include "SError.h"
#include "SHandle.h"
#include "SLog.h"
#include "SPath.h"
#include "SRegistry.h"
#include "SShell.h"

#include <vector>

namespace
{
// The identifier from ".deployment": Base64 in UTF-16LE, ended by a zero unit
// or by the end of the file. False when there is no such file.
bool ReadDeploymentId(TWInstall& engine, const SString& path, SString& deploymentId)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    if (!file.IsValid())
        return false;
    SString text;
    for (bool more = true; more;)
    {
        wchar_t chunk[4094];
        int units = 0;
        while (units < 4093 && engine.SafeRead(file.Get(), &chunk[units], 2) == S_OK && chunk[units])
            ++units;
        text.Append(chunk, units);
        more = units == 4093;
    }
    text.DecodeBase64(deploymentId);
    return true;
}

HRESULT Damaged(const SString& path, const wchar_t* why)
{
    SERROR_SET("Uninstall.Damaged").Add(path).Add(why);
    return E_FAIL;
}

// Reads every record before anything is performed; a file that is short,
// whose count it cannot hold, or whose record is too long is damaged.
HRESULT ReadActions(TWInstall& engine, const SString& path, SStringList& actions)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    if (!file.IsValid())
    {
        SERROR_SET_SYSTEM("Uninstall.CreateFile").Add(path);
        return E_FAIL;
    }
    LARGE_INTEGER fileSize = {};
    ::GetFileSizeEx(file.Get(), &fileSize);
    int count = 0;
    S_RETURN_IF_FAILED(engine.SafeRead(file.Get(), &count, 4));
    if (count > 0 && static_cast<LONGLONG>(count) * 4 > fileSize.QuadPart - 4)
        return Damaged(path, L"The file cannot hold the number of actions it announces.");
    std::vector<wchar_t> text(TWInstall::maxActionUnits + 1);
    for (int i = 0; i < count; ++i)
    {
        DWORD length = 0;
        S_RETURN_IF_FAILED(engine.SafeRead(file.Get(), &length, 4));
        if (length > TWInstall::maxActionUnits)
            return Damaged(path, L"An action is longer than 4095 characters.");
        S_RETURN_IF_FAILED(engine.SafeRead(file.Get(), &text[0], length * 2));
        text[length] = 0;
        actions.Append(&text[0]);
    }
    return S_OK;
}

SString Outcome(HRESULT result) { return result == S_OK ? SString(L"done") : L"failed: " + SLog::FailureText(); }

void PerformAction(TWInstall& engine, const SString& action, const SString& deploymentId)
{
    int dot = action.Find(L'.');
    SString verb = dot < 0 ? action : action.Mid(0, dot);
    SString argument = dot < 0 ? SString() : action.Mid(dot + 1);
    SString outcome = L"skipped: unknown verb";
    if (verb == L"DLLUninstall" || verb == L"DLLUninstallAdmin")
        outcome = Outcome(engine.DLLUninstall(argument, verb == L"DLLUninstallAdmin" ? 1 : 0));
    else if (verb == L"DeleteFile")
        outcome = ::DeleteFileW(argument.CStr()) ? L"done" : L"failed: error " + SString::FromInt(::GetLastError());
    else if (verb == L"UnregisterInstall" || verb == L"UnregisterInstallAdmin")
        outcome = Outcome(engine.UnregisterInstall(verb == L"UnregisterInstallAdmin" ? 1 : 0, deploymentId));
    else if (verb == L"UnregisterUri")
        outcome = Outcome(engine.UnregisterUri(argument));
    SLog::Line(L"action: " + action + L" | " + outcome);
}

void DeleteFolderLogged(const SString& folder)
{
    if (::GetFileAttributesW(folder.CStr()) == INVALID_FILE_ATTRIBUTES)
    {
        SLog::Line(L"folder skipped: " + folder + L" | missing");
        return;
    }
    DeleteFolderTree(folder);
    bool gone = ::GetFileAttributesW(folder.CStr()) == INVALID_FILE_ATTRIBUTES;
    SLog::Line(L"folder " + SString(gone ? L"deleted: " : L"partly deleted (files in use): ") + folder);
}

// A folder recorded at install time; never one whose removal would wipe a
// drive, the system or the user's own folders.
void DeleteRecordedFolder(const SString& keyPath)
{
    SString folder;
    if (GetValue(HKEY_LOCAL_MACHINE, keyPath, L"Tarnwick", folder) != S_OK || folder.IsEmpty())
        SLog::Line(L"folder skipped: none recorded in HKEY_LOCAL_MACHINE\\" + keyPath);
    else if (IsProtectedFolder(folder))
        SLog::Line(L"folder skipped: " + folder + L" | protected");
    else
        DeleteFolderLogged(folder);
}

void DeleteDefaultFolder(const SString& shellFolder, const SString& suffix)
{
    if (!shellFolder.IsEmpty())
        DeleteFolderLogged(shellFolder + L"\\Tarnwick" + suffix);
}

// A file in use would survive the removal, and its folder with it, while the
// entry that leads to them goes: nothing is removed then.
HRESULT CheckNothingInUse(const SString& programFolder, const SString& suffix)
{
    SStringList folders;
    folders.Append(programFolder);
    if (!GetLocalAppDataLowFolder().IsEmpty())
        folders.Append(GetLocalAppDataLowFolder() + L"\\Tarnwick" + suffix);
    SStringList programs = ProgramsUsingFiles(folders);
    if (!programs.Count())
        return S_OK;
    SError& error = SERROR_SET("Uninstall.InUse");
    for (int i = 0; i < programs.Count(); ++i)
        error.Add(programs[i]);
    return E_FAIL;
}
} // namespace

HRESULT TWInstall::UnregisterInstall(DWORD perMachine, const SString& deploymentId)
{
    return DeleteKeyTree(perMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                         UninstallEntryPath(UninstallKeyName(ReleaseChannel(), deploymentId)));
}

HRESULT TWInstall::UnregisterUri(const SString& scheme)
{
    return DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Classes\\" + scheme);
}

HRESULT TWInstall::Uninstall(const SString& actionsPath)
{
    SString deploymentId;
    bool hasDeployment = ReadDeploymentId(*this, Combine(DirectoryPart(actionsPath), L".deployment"), deploymentId) &&
                         !IsDeploymentPlaceholder(deploymentId);
    if (!hasDeployment)
        deploymentId = SString();
    SString suffix = InstanceSuffix(ReleaseChannel(), hasDeployment, deploymentId);
    SStringList actions;
    S_RETURN_IF_FAILED(ReadActions(*this, actionsPath, actions));
    S_RETURN_IF_FAILED(CheckNothingInUse(DirectoryPart(actionsPath), suffix));
    for (int i = 0; i < actions.Count(); ++i)
        PerformAction(*this, actions[i], deploymentId);
    SString keyPath = DeploymentKeyPath(suffix);
    DeleteRecordedFolder(keyPath + L"\\ApplicationData");
    DeleteRecordedFolder(keyPath + L"\\ProgramFiles");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, keyPath);
    SLog::Line(L"registry key deleted: HKEY_LOCAL_MACHINE\\" + keyPath);
    DeleteDefaultFolder(GetLocalAppDataFolder(), suffix);
    DeleteDefaultFolder(GetLocalAppDataLowFolder(), suffix);
    DeleteFolderTree(DirectoryPart(actionsPath));
    StartSelfRemoval(GetModulePath());
    return S_OK;
}
