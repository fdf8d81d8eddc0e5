// The identity and the three target folders of an install.
#include "TWInstall.h"

#include "Names.h"
#include "ProtectedFolder.h"

#include "SError.h"
#include "SFolderWalk.h"
#include "SLog.h"
#include "SPath.h"
#include "SRegistry.h"
#include "SShell.h"

namespace
{
// Without a shell folder the default would land at the root of the current
// drive; refuse instead.
HRESULT DefaultFolder(const SString& shellFolder, const wchar_t* which, const SString& suffix, SString& folder)
{
    if (shellFolder.IsEmpty())
    {
        SERROR_SET("PrepareFolders.NoShellFolder").Add(SString(L"The system gives no ") + which + L" folder.");
        return E_FAIL;
    }
    folder = shellFolder + L"\\" + DefaultFolderName(suffix);
    return S_OK;
}

class FirstEntry : public SFolderVisitor
{
public:
    bool found = false;
    bool Visit(Kind, const SString&, const WIN32_FIND_DATAW&) override
    {
        found = true;
        return false;
    }
};

bool IsEmptyFolder(const SString& folder)
{
    FirstEntry first;
    WalkFolder(folder, first);
    return !first.found;
}

// "\\\\server\\share\\" of a UNC path.
SString ShareRoot(const SString& folder)
{
    SStringList parts = folder.Mid(2).Split(L'\\');
    return parts.Count() < 2 || parts[0].IsEmpty() || parts[1].IsEmpty()
               ? SString()
               : L"\\\\" + parts[0] + L"\\" + parts[1] + L"\\";
}

// A full path ("C:\\..." or "\\\\server\\share\\...") whose drive is there, with
// no character that a folder name cannot hold, that names no file.
HRESULT CheckFolderPath(const SString& folder)
{
    const wchar_t* why = NULL;
    bool drive = folder.Length() >= 3 && folder[1] == L':' && folder[2] == L'\\';
    if (!drive && !folder.StartsWith(L"\\\\"))
        why = L"The folder must be a full path, such as C:\\Programs\\Product.";
    else if (folder.Find(L'/') >= 0 || folder.Find(L'*') >= 0 || folder.Find(L'?') >= 0 || folder.Find(L'"') >= 0 ||
             folder.Find(L'<') >= 0 || folder.Find(L'>') >= 0 || folder.Find(L'|') >= 0 ||
             folder.Mid(2).Find(L':') >= 0)
        why = L"The folder's name holds a character that folder names cannot hold.";
    else if (drive && !IsDirectory(folder.Mid(0, 3)))
        why = L"There is no such drive.";
    else if (!drive && !IsDirectory(ShareRoot(folder)))
        why = L"There is no such share, or it cannot be reached.";
    else if (::GetFileAttributesW(folder.CStr()) != INVALID_FILE_ATTRIBUTES && !IsDirectory(folder))
        why = L"A file has this name.";
    if (!why)
        return S_OK;
    SERROR_SET("Install.FolderInvalid").Add(folder).Add(why);
    return E_FAIL;
}

// An explicit folder becomes the install's own, which the remover deletes
// whole: never a folder that the user or the system owns, nor one that holds
// files of others. Only an earlier install of this deployment, which
// recorded the folder, may have filled it.
HRESULT CheckExplicitFolder(const SString& folder, HKEY recordRoot, const SString& recordKey)
{
    S_RETURN_IF_FAILED(CheckFolderPath(folder));
    if (IsProtectedFolder(folder))
    {
        SERROR_SET("Install.ProtectedFolder")
            .Add(folder)
            .Add(L"This folder belongs to Windows or to the user, and removing the program would empty it. Choose a "
                 L"folder of its own.");
        return E_FAIL;
    }
    SString recorded;
    if (!IsDirectory(folder) || IsEmptyFolder(folder) ||
        (GetValue(recordRoot, recordKey, folderValue, recorded) == S_OK && IsSameFolder(recorded, folder)))
        return S_OK;
    SERROR_SET("Install.FolderNotEmpty")
        .Add(folder)
        .Add(L"This folder already holds other files, which removing the program would delete. Choose an empty or "
             L"new folder.");
    return E_FAIL;
}

// A folder that was there before, and that no earlier install of this
// deployment created (that one would be recorded without entries).
bool IsFoundFolder(const SString& folder, HKEY recordRoot, const SString& recordKey)
{
    SString recorded, entries;
    if (!IsDirectory(folder))
        return false;
    bool createdEarlier = GetValue(recordRoot, recordKey, folderValue, recorded) == S_OK &&
                          IsSameFolder(recorded, folder) &&
                          GetValue(recordRoot, recordKey, entriesValue, entries) != S_OK;
    return !createdEarlier;
}

// The highest of the missing folders above folder; empty when its parent exists.
SString HighestMissingAbove(const SString& folder)
{
    SString highest;
    for (SString level = DirectoryPart(folder); !level.IsEmpty() && !level.EndsWith(L":") && !IsDirectory(level);
         level = DirectoryPart(level))
        highest = level;
    return highest;
}

// The folder for the remover, and what the install makes above it, so that
// the remover takes those too once they are empty. A reinstall makes none and
// keeps what the first install recorded.
HRESULT RecordExplicitFolder(HKEY recordRoot, const SString& recordKey, const SString& folder,
                             const SString& createdAbove)
{
    S_RETURN_IF_FAILED(SetValue(recordRoot, recordKey, folderValue, folder));
    return createdAbove.IsEmpty() ? S_OK : SetValue(recordRoot, recordKey, createdAboveValue, createdAbove);
}

// The program folder of an earlier install of this deployment, as its entry
// names it; empty when there is none.
SString InstalledProgramFolder(HKEY root)
{
    SString folder;
    if (GetValue(root, SetupUninstallEntryPath(), L"InstallLocation", folder) != S_OK)
        return SString();
    return folder;
}

// An update goes where the installed version is, as a package manager's
// upgrade without /Dir= expects: a second install beside the first would
// leave it and its remover behind. Another /Dir= is refused.
HRESULT FollowInstalledFolder(HKEY root, const SString& defaultFolder, SString& programFolder)
{
    SString installed = InstalledProgramFolder(root);
    if (installed.IsEmpty())
        return S_OK;
    if (programFolder.IsEmpty())
    {
        if (!IsSameFolder(installed, defaultFolder))
            programFolder = installed;
        return S_OK;
    }
    if (IsSameFolder(installed, programFolder))
        return S_OK;
    SERROR_SET("Install.FolderChanged")
        .Add(programFolder)
        .Add(L"The program is installed in " + installed + L". Remove it first to install it into another folder.");
    return E_FAIL;
}

// Takes the explicit folder (options first, then package), or else the
// default; true for an explicit one.
HRESULT ChooseFolder(const SString& fromOptions, const SString& fromPackage, const SString& shellFolder,
                     const wchar_t* which, const SString& suffix, SString& folder, bool& isExplicit)
{
    folder = fromOptions.IsEmpty() ? fromPackage : fromOptions;
    isExplicit = !folder.IsEmpty();
    return isExplicit ? S_OK : DefaultFolder(shellFolder, which, suffix, folder);
}
} // namespace

HRESULT TWInstall::ChooseFolders(const InstallOptions& options, const InstallPackage& package, Folders& folders)
{
    SString deploymentId;
    bool hasDeployment = SetupDeploymentId(deploymentId);
    SString suffix = InstanceSuffix(ReleaseChannel(), hasDeployment, deploymentId);
    folders.keyPath = DeploymentKeyPath(suffix);
    // The install's kind alone decides: a per-machine install never reads
    // what any process of the user may write under HKEY_CURRENT_USER.
    folders.recordRoot = options.perMachine || package.admin ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    SString low = GetLocalAppDataLowFolder();
    bool lowExplicit = false;
    SString programFolder = options.programFolder;
    if (package.targetProgram.IsEmpty())
        S_RETURN_IF_FAILED(FollowInstalledFolder(folders.recordRoot,
                                                 GetLocalAppDataFolder() + L"\\" + DefaultFolderName(suffix),
                                                 programFolder));
    S_RETURN_IF_FAILED(ChooseFolder(options.dataFolder, package.targetData, low, L"LocalAppDataLow", suffix,
                                    folders.data, folders.explicitData));
    S_RETURN_IF_FAILED(ChooseFolder(programFolder, package.targetProgram, GetLocalAppDataFolder(),
                                    L"local application data", suffix, folders.program, folders.explicitProgram));
    if (folders.explicitData)
        S_RETURN_IF_FAILED(
            CheckExplicitFolder(folders.data, folders.recordRoot, folders.keyPath + L"\\" + dataFolderKey));
    if (folders.explicitProgram)
        S_RETURN_IF_FAILED(
            CheckExplicitFolder(folders.program, folders.recordRoot, folders.keyPath + L"\\" + programFolderKey));
    folders.dataFound = folders.explicitData && IsFoundFolder(folders.data, folders.recordRoot,
                                                              folders.keyPath + L"\\" + dataFolderKey);
    folders.programFound = folders.explicitProgram && IsFoundFolder(folders.program, folders.recordRoot,
                                                                     folders.keyPath + L"\\" + programFolderKey);
    folders.dataCreatedAbove = folders.explicitData ? HighestMissingAbove(folders.data) : SString();
    folders.programCreatedAbove = folders.explicitProgram ? HighestMissingAbove(folders.program) : SString();
    return ChooseFolder(programFolder, package.targetProgram, low, L"LocalAppDataLow", suffix, folders.low,
                        lowExplicit);
}

// Records the explicit folders for the remover and creates all three; a
// folder that cannot be made shows as "CreateFile" at the first write.
HRESULT TWInstall::MakeFolders(const Folders& folders)
{
    if (folders.explicitData || folders.explicitProgram)
        S_RETURN_IF_FAILED(m_transaction.ProtectKey(folders.recordRoot, folders.keyPath));
    if (folders.explicitData)
        S_RETURN_IF_FAILED(RecordExplicitFolder(folders.recordRoot, folders.keyPath + L"\\" + dataFolderKey,
                                                folders.data, folders.dataCreatedAbove));
    if (folders.explicitProgram)
        S_RETURN_IF_FAILED(RecordExplicitFolder(folders.recordRoot, folders.keyPath + L"\\" + programFolderKey,
                                                folders.program, folders.programCreatedAbove));
    S_RETURN_IF_FAILED(m_transaction.CreateFolders(folders.data));
    S_RETURN_IF_FAILED(m_transaction.CreateFolders(folders.program));
    S_RETURN_IF_FAILED(m_transaction.CreateFolders(folders.low));
    SLog::Line(L"program folder: " + folders.program);
    SLog::Line(L"low program folder: " + folders.low);
    SLog::Line(L"data folder: " + folders.data);
    return S_OK;
}

HRESULT TWInstall::PrepareFolders(const InstallOptions& options, const InstallPackage& package, SString& dataFolder,
                                  SString& programFolder, SString& lowProgramFolder)
{
    Folders folders;
    S_RETURN_IF_FAILED(ChooseFolders(options, package, folders));
    S_RETURN_IF_FAILED(MakeFolders(folders));
    dataFolder = folders.data;
    programFolder = folders.program;
    lowProgramFolder = folders.low;
    return S_OK;
}

namespace
{
// The names already recorded and those of this install, once each.
HRESULT RecordEntries(InstallTransaction& transaction, HKEY root, const SString& key, const SString& folder)
{
    SString recorded;
    SStringList both;
    if (GetValue(root, key, entriesValue, recorded) == S_OK && !recorded.IsEmpty())
        both = recorded.Split(L'|');
    SStringList added = transaction.NamesWithin(folder);
    for (int i = 0; i < added.Count(); ++i)
        both.Append(added[i]);
    SStringList names;
    for (int i = 0; i < both.Count(); ++i)
        if (!both[i].IsEmpty())
            names.AppendOnce(both[i]);
    SString joined;
    for (int i = 0; i < names.Count(); ++i)
        joined += (i ? L"|" : L"") + names[i];
    return SetValue(root, key, entriesValue, joined);
}
} // namespace

// What the install put into the explicit folders that it found, for the
// remover, which takes only that of them.
HRESULT TWInstall::RecordFoundFolderEntries(const Run& run)
{
    const Folders& folders = run.folders;
    if (folders.dataFound)
        S_RETURN_IF_FAILED(RecordEntries(m_transaction, folders.recordRoot, folders.keyPath + L"\\" + dataFolderKey,
                                         folders.data));
    if (folders.programFound)
        S_RETURN_IF_FAILED(RecordEntries(m_transaction, folders.recordRoot,
                                         folders.keyPath + L"\\" + programFolderKey, folders.program));
    return S_OK;
}
