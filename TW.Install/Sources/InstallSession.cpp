// The identity and the three target folders of an install.
#include "InstallRun.h"

#include "InstallNames.h"

#include "SError.h"
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
    folder = shellFolder + L"\\Tarnwick" + suffix;
    return S_OK;
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
    SString low = GetLocalAppDataLowFolder();
    bool lowExplicit = false;
    S_RETURN_IF_FAILED(ChooseFolder(options.dataFolder, package.targetData, low, L"LocalAppDataLow", suffix,
                                    folders.data, folders.explicitData));
    S_RETURN_IF_FAILED(ChooseFolder(options.programFolder, package.targetProgram, GetLocalAppDataFolder(),
                                    L"local application data", suffix, folders.program, folders.explicitProgram));
    return ChooseFolder(options.programFolder, package.targetProgram, low, L"LocalAppDataLow", suffix, folders.low,
                        lowExplicit);
}

// Records the explicit folders for the remover and creates all three; a
// folder that cannot be made shows as "CreateFile" at the first write.
HRESULT TWInstall::MakeFolders(const Folders& folders)
{
    if (folders.explicitData || folders.explicitProgram)
        S_RETURN_IF_FAILED(m_transaction.ProtectKey(HKEY_LOCAL_MACHINE, folders.keyPath));
    if (folders.explicitData)
        S_RETURN_IF_FAILED(SetValue(HKEY_LOCAL_MACHINE, folders.keyPath + L"\\ApplicationData", L"Tarnwick", folders.data));
    if (folders.explicitProgram)
        S_RETURN_IF_FAILED(
            SetValue(HKEY_LOCAL_MACHINE, folders.keyPath + L"\\ProgramFiles", L"Tarnwick", folders.program));
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
