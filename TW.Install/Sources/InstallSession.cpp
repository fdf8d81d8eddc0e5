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

// Takes the explicit folder (options first, then package) and records it for
// the remover; falls back to the default without a record.
HRESULT ChooseFolder(const SString& fromOptions, const SString& fromPackage, const SString& recordKey,
                     const SString& shellFolder, const wchar_t* which, const SString& suffix, SString& folder)
{
    folder = fromOptions.IsEmpty() ? fromPackage : fromOptions;
    if (folder.IsEmpty())
        S_RETURN_IF_FAILED(DefaultFolder(shellFolder, which, suffix, folder));
    else if (!recordKey.IsEmpty())
        S_RETURN_IF_FAILED(SetValue(HKEY_LOCAL_MACHINE, recordKey, L"Tarnwick", folder));
    CreateDir(folder); // a folder that cannot be made shows as "CreateFile" at the first write
    return S_OK;
}
} // namespace

HRESULT TWInstall::PrepareFolders(const InstallOptions& options, const InstallPackage& package, SString& dataFolder,
                                  SString& programFolder, SString& lowProgramFolder)
{
    SString deploymentId;
    bool hasDeployment = SetupDeploymentId(deploymentId);
    SString suffix = InstanceSuffix(ReleaseChannel(), hasDeployment, deploymentId);
    SString keyPath = DeploymentKeyPath(suffix);
    SString low = GetLocalAppDataLowFolder();
    SString local = GetLocalAppDataFolder();
    S_RETURN_IF_FAILED(ChooseFolder(options.dataFolder, package.targetData, keyPath + L"\\ApplicationData", low,
                                    L"LocalAppDataLow", suffix, dataFolder));
    S_RETURN_IF_FAILED(ChooseFolder(options.programFolder, package.targetProgram, keyPath + L"\\ProgramFiles", local,
                                    L"local application data", suffix, programFolder));
    S_RETURN_IF_FAILED(ChooseFolder(options.programFolder, package.targetProgram, SString(), low, L"LocalAppDataLow",
                                    suffix, lowProgramFolder));
    SLog::Line(L"program folder: " + programFolder);
    SLog::Line(L"low program folder: " + lowProgramFolder);
    SLog::Line(L"data folder: " + dataFolder);
    return S_OK;
}
