// The remover's procedure: check its inputs and that nothing is in use, undo
// the recorded actions newest first, remove the per-deployment folders and
// key, then the uninstall entry, and hand the remover's own folder to the
// removal script. No folder that the user or the system owns is ever taken.
#include "Remover.h"

#include "DeleteFolderTree.h"
#include "FileTypes.h"
#include "FilesInUse.h"
#include "Names.h"
#include "OrphanEntry.h"
#include "ProtectedFolder.h"
#include "RemoverInputs.h"
#include "SelfRemoval.h"

#include "SError.h"
#include "SLog.h"
#include "SPath.h"
#include "SRegistry.h"
#include "SShell.h"

namespace
{
const DWORD maxDeploymentBytes = 4096;
const DWORD maxActionsBytes = 16 * 1024 * 1024;

// Every install writes ".deployment", a build without an identifier its
// placeholder (`found` false then): a missing file is a damaged
// installation, and its keys and folders could not be found.
HRESULT ReadDeploymentId(Remover& engine, const SString& path, bool& found, SString& deploymentId)
{
    std::vector<BYTE> bytes;
    S_RETURN_IF_FAILED(ReadInputFile(engine, path, maxDeploymentBytes, "Uninstall.Deployment", bytes));
    S_RETURN_IF_FAILED(ParseDeployment(bytes.empty() ? NULL : &bytes[0], static_cast<DWORD>(bytes.size()), path,
                                       deploymentId));
    found = !IsDeploymentPlaceholder(deploymentId);
    if (!found)
        deploymentId = SString();
    return S_OK;
}

HRESULT ReadActions(Remover& engine, const SString& path, SStringList& actions)
{
    std::vector<BYTE> bytes;
    S_RETURN_IF_FAILED(ReadInputFile(engine, path, maxActionsBytes, "Uninstall.CreateFile", bytes));
    return ParseActions(bytes.empty() ? NULL : &bytes[0], static_cast<DWORD>(bytes.size()), path, actions);
}

SString Outcome(HRESULT result) { return result == S_OK ? SString(L"done") : L"failed: " + SLog::FailureText(); }

bool IsEntryAction(const SString& verb) { return verb == L"UnregisterInstall" || verb == L"UnregisterInstallAdmin"; }

SString VerbOf(const SString& action)
{
    int dot = action.Find(L'.');
    return dot < 0 ? action : action.Mid(0, dot);
}

// A per-machine install records its entry and plug-ins as such; the kind
// decides every root the remover reads and deletes under.
bool IsPerMachine(const SStringList& actions)
{
    for (int i = 0; i < actions.Count(); ++i)
        if (VerbOf(actions[i]) == L"UnregisterInstallAdmin" || VerbOf(actions[i]) == L"DLLUninstallAdmin")
            return true;
    return false;
}

// The files beside the remover name the installation; its entry must exist
// and start this very remover. Otherwise these files were copied, or belong
// to another installation, and a removal now would take half of one.
HRESULT CheckEntryNamesThisRemover(HKEY root, const SString& deploymentId)
{
    SString entry = UninstallEntryPath(UninstallKeyName(ReleaseChannel(), deploymentId));
    SString command;
    if (GetValue(root, entry, L"UninstallString", command) != S_OK)
    {
        SERROR_SET("Uninstall.NoEntry")
            .Add(entry)
            .Add(L"The list of installed programs has no entry for the installation that this remover belongs to.");
        return E_FAIL;
    }
    if (!StartsThisRemover(command))
    {
        SERROR_SET("Uninstall.OtherEntry")
            .Add(entry)
            .Add(L"The entry starts " + command + L", not this remover.");
        return E_FAIL;
    }
    return S_OK;
}

void PerformAction(Remover& engine, const SString& action, const SString& deploymentId)
{
    SString verb = VerbOf(action);
    SString argument = verb.Length() < action.Length() ? action.Mid(verb.Length() + 1) : SString();
    SString outcome = L"skipped: unknown verb";
    if (verb == L"DLLUninstall" || verb == L"DLLUninstallAdmin")
        outcome = Outcome(engine.DLLUninstall(argument, verb == L"DLLUninstallAdmin" ? 1 : 0));
    else if (verb == L"DeleteFile")
        outcome = ::DeleteFileW(argument.CStr()) ? L"done" : L"failed: error " + SString::FromInt(::GetLastError());
    else if (IsEntryAction(verb))
        outcome = Outcome(engine.UnregisterInstall(verb == L"UnregisterInstallAdmin" ? 1 : 0, deploymentId));
    else if (verb == L"UnregisterUri")
        outcome = Outcome(engine.UnregisterUri(argument));
    else if (verb == L"UnregisterFileType")
        outcome = Outcome(engine.UnregisterFileType(argument));
    else if (verb == L"UnregisterAppPath")
        outcome = Outcome(engine.UnregisterAppPath(argument));
    SLog::Line(L"action: " + action + L" | " + outcome);
}

// What the remover takes: whole folders, and the empty folders that the
// install created above its explicit ones.
struct Removal
{
    SStringList folders;
    SStringList parents; // deepest first
    // What the install put into explicit folders that it found there: only
    // these go, never the found folders whole.
    SStringList entries;
    SStringList foundFolders;
};

void AddFolder(Removal& removal, const SString& folder)
{
    if (folder.IsEmpty())
        return;
    if (IsProtectedFolder(folder))
        SLog::Line(L"folder skipped: " + folder + L" | protected");
    else
        removal.folders.Append(folder);
}

// A name directly in a folder, which cannot lead out of it.
bool IsPlainName(const SString& name)
{
    return !name.IsEmpty() && name != L"." && name != L".." && name.Find(L'\\') < 0 && name.Find(L'/') < 0 &&
           name.Find(L':') < 0;
}

// The folder recorded at install time, and the folders that the install made
// above it, up to the highest one recorded.
void AddRecordedFolder(Removal& removal, HKEY root, const SString& keyPath)
{
    SString folder;
    if (GetValue(root, keyPath, folderValue, folder) != S_OK || folder.IsEmpty())
    {
        SLog::Line(L"folder skipped: none recorded in " + keyPath);
        return;
    }
    SString entries;
    if (GetValue(root, keyPath, entriesValue, entries) == S_OK)
    {
        removal.foundFolders.Append(folder);
        if (IsProtectedFolder(folder))
        {
            SLog::Line(L"folder skipped: " + folder + L" | protected");
            return;
        }
        SStringList names = entries.Split(L'|');
        for (int i = 0; i < names.Count(); ++i)
            if (IsPlainName(names[i]))
                removal.entries.Append(folder + L"\\" + names[i]);
        return; // nothing above it was made
    }
    AddFolder(removal, folder);
    SString highest;
    if (GetValue(root, keyPath, createdAboveValue, highest) != S_OK || highest.IsEmpty() ||
        !IsWithinFolder(DirectoryPart(folder), highest))
        return;
    for (SString level = DirectoryPart(folder); IsWithinFolder(level, highest); level = DirectoryPart(level))
        if (!IsProtectedFolder(level))
            removal.parents.Append(level);
}

void AddDefaultFolder(Removal& removal, const SString& shellFolder, const SString& suffix)
{
    if (!shellFolder.IsEmpty())
        AddFolder(removal, shellFolder + L"\\" + DefaultFolderName(suffix));
}

// A log asked for inside a folder that goes would go with it: it moves, under
// its own name, to the temporary folder first.
void KeepLogOutOf(const Removal& removal, const SString& ownFolder)
{
    if (SLog::Path().IsEmpty())
        return;
    SString log = NormalFolderPath(SLog::Path());
    bool inside = IsWithinFolder(log, NormalFolderPath(ownFolder));
    for (int i = 0; !inside && i < removal.folders.Count(); ++i)
        inside = IsWithinFolder(log, NormalFolderPath(removal.folders[i]));
    wchar_t temp[MAX_PATH + 1] = {0};
    if (inside && ::GetTempPathW(MAX_PATH + 1, temp))
        SLog::MoveTo(SString(temp) + FileNamePart(log));
}

// One entry of a found folder: a file, or a folder that the install made.
// The remover and its inputs stay for the removal script.
void DeleteEntryLogged(const SString& entry, const SStringList& inputs)
{
    if (ContainsPath(inputs, entry) || IsSamePath(entry, GetModulePath()))
        return;
    DeleteEntry(entry);
    bool gone = ::GetFileAttributesW(entry.CStr()) == INVALID_FILE_ATTRIBUTES;
    SLog::Line(SString(gone ? L"deleted: " : L"left (in use or not ours): ") + entry);
}

bool IsFoundFolder(const Removal& removal, const SString& folder)
{
    for (int i = 0; i < removal.foundFolders.Count(); ++i)
        if (IsSameFolder(removal.foundFolders[i], folder))
            return true;
    return false;
}

void DeleteFolderLogged(const SString& folder)
{
    if (::GetFileAttributesW(folder.CStr()) == INVALID_FILE_ATTRIBUTES)
    {
        SLog::Line(L"folder skipped: " + folder + L" | missing");
        return;
    }
    if (DeleteFolderTree(folder) != S_OK)
    {
        SLog::Line(L"folder skipped: " + SLog::FailureText());
        return;
    }
    bool gone = ::GetFileAttributesW(folder.CStr()) == INVALID_FILE_ATTRIBUTES;
    SLog::Line(L"folder " + SString(gone ? L"deleted: " : L"partly deleted (files in use): ") + folder);
}

// Those that still hold something, the remover's own folder above all, are
// left to the removal script.
SStringList RemoveEmptyParents(const SStringList& parents)
{
    SStringList left;
    for (int i = 0; i < parents.Count(); ++i)
        if (::RemoveDirectoryW(parents[i].CStr()))
            SLog::Line(L"folder deleted: " + parents[i]);
        else if (::GetFileAttributesW(parents[i].CStr()) != INVALID_FILE_ATTRIBUTES)
        {
            SLog::Line(L"folder left to the removal script: " + parents[i]);
            left.Append(parents[i]);
        }
    return left;
}

// A setup that was killed, or one that runs, has a journal beside the
// program folder; its kept files and key copies are its own to finish or
// undo, and a removal now would leave them for it to restore. The remover
// leaves everything to the next setup instead.
HRESULT CheckNoSetupInterrupted(const SString& programFolder)
{
    SString journal = programFolder + L".journal";
    if (::GetFileAttributesW(journal.CStr()) == INVALID_FILE_ATTRIBUTES)
        return S_OK;
    SERROR_SET("Uninstall.Interrupted")
        .Add(journal)
        .Add(L"A setup of this program has not ended. Let it end, or run the setup program again, then remove the "
             L"program.");
    return E_FAIL;
}

// A file in use would survive the removal, and its folder with it, while the
// entry that leads to them goes: nothing is removed then.
HRESULT CheckNothingUsesIt(const SString& programFolder, const SString& suffix)
{
    SStringList folders;
    folders.Append(programFolder);
    if (!GetLocalAppDataLowFolder().IsEmpty())
        folders.Append(GetLocalAppDataLowFolder() + L"\\" + DefaultFolderName(suffix));
    SStringList programs = ProgramsUsingFiles(folders);
    if (!programs.Count())
        return S_OK;
    SError& error = SERROR_SET("Uninstall.InUse");
    for (int i = 0; i < programs.Count(); ++i)
        error.Add(programs[i]);
    return E_FAIL;
}
} // namespace

HRESULT Remover::UnregisterInstall(DWORD perMachine, const SString& deploymentId)
{
    return DeleteKeyTree(perMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                         UninstallEntryPath(UninstallKeyName(ReleaseChannel(), deploymentId)));
}

HRESULT Remover::UnregisterUri(const SString& scheme)
{
    return DeleteKeyTree(HKEY_CURRENT_USER, UriSchemeKeyPath(scheme));
}

HRESULT Remover::UnregisterFileType(const SString& argument)
{
    SString extension, progId;
    if (!ParseFileTypeAction(argument, extension, progId))
    {
        SERROR_SET("Uninstall.FileType").Add(argument).Add(L"The action names no extension and ProgID.");
        return E_FAIL;
    }
    S_RETURN_IF_FAILED(::UnregisterFileType(extension, progId));
    m_associationsChanged = true;
    return S_OK;
}

// A program's file name only: the action cannot reach another key.
HRESULT Remover::UnregisterAppPath(const SString& programFile)
{
    if (programFile.IsEmpty() || programFile.Find(L'\\') >= 0 || !programFile.EndsWith(L".exe"))
    {
        SERROR_SET("Uninstall.AppPath").Add(programFile).Add(L"The action names no program file.");
        return E_FAIL;
    }
    return DeleteKeyTree(HKEY_CURRENT_USER, AppPathKeyPath(programFile));
}

HRESULT Remover::Uninstall(const SString& actionsPath)
{
    SString ownFolder = DirectoryPart(actionsPath);
    SString deploymentPath = Combine(ownFolder, L".deployment");
    SString deploymentId;
    bool hasDeployment = false;
    S_RETURN_IF_FAILED(ReadDeploymentId(*this, deploymentPath, hasDeployment, deploymentId));
    SString suffix = InstanceSuffix(ReleaseChannel(), hasDeployment, deploymentId);
    SStringList actions;
    S_RETURN_IF_FAILED(ReadActions(*this, actionsPath, actions));
    HKEY root = IsPerMachine(actions) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    S_RETURN_IF_FAILED(CheckEntryNamesThisRemover(root, deploymentId));
    S_RETURN_IF_FAILED(CheckNoSetupInterrupted(ownFolder));
    S_RETURN_IF_FAILED(CheckNothingUsesIt(ownFolder, suffix));
    SString keyPath = DeploymentKeyPath(suffix);
    Removal removal;
    AddRecordedFolder(removal, root, keyPath + L"\\" + dataFolderKey);
    AddRecordedFolder(removal, root, keyPath + L"\\" + programFolderKey);
    AddDefaultFolder(removal, GetLocalAppDataFolder(), suffix);
    AddDefaultFolder(removal, GetLocalAppDataLowFolder(), suffix);
    KeepLogOutOf(removal, ownFolder);
    // The entry goes last, and the files that lead to it stay for the
    // removal script, so that a removal cut short can be run again.
    for (int i = 0; i < actions.Count(); ++i)
        if (!IsEntryAction(VerbOf(actions[i])))
            PerformAction(*this, actions[i], deploymentId);
    if (m_associationsChanged)
        NotifyAssociationsChanged();
    for (int i = 0; i < removal.folders.Count(); ++i)
        DeleteFolderLogged(removal.folders[i]);
    DeleteKeyTree(root, keyPath);
    SLog::Line(L"registry key deleted: " + keyPath +
               (root == HKEY_LOCAL_MACHINE ? L" (HKEY_LOCAL_MACHINE)" : L" (HKEY_CURRENT_USER)"));
    SStringList inputs;
    inputs.Append(actionsPath);
    inputs.Append(deploymentPath);
    for (int i = 0; i < removal.entries.Count(); ++i)
        DeleteEntryLogged(removal.entries[i], inputs);
    if (IsProtectedFolder(ownFolder))
        SLog::Line(L"folder skipped: " + ownFolder + L" | protected");
    else if (IsFoundFolder(removal, ownFolder))
        SLog::Line(L"folder kept: " + ownFolder + L" | it was there before the install");
    else
        DeleteFolderTree(ownFolder, inputs);
    SStringList parentsLeft = RemoveEmptyParents(removal.parents);
    for (int i = 0; i < actions.Count(); ++i)
        if (IsEntryAction(VerbOf(actions[i])))
            PerformAction(*this, actions[i], deploymentId);
    StartSelfRemoval(GetModulePath(), parentsLeft);
    return S_OK;
}
