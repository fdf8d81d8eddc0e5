// The install hook of browser plug-in libraries: each does its own system
// integration through its export "TWInstall".
#include "TWInstall.h"

#include "PluginLibrary.h"
#include "SError.h"

HRESULT TWInstall::TWDLLInstall(const SString& path, DWORD perMachine)
{
    int result = 0;
    S_RETURN_IF_FAILED(CallPluginEntry(path, "TWInstall", "TWDLLInstall.GetProcAddress", perMachine, result));
    if (result != 0)
    {
        // Without an identifier of its own the window would show whatever an
        // earlier step left in the record.
        SERROR_SET("TWDLLInstall.EntryFailed")
            .Add(path)
            .Add(L"The library's install entry returned " + SString::FromInt(result) + L".");
        return E_FAIL;
    }
    UninstallActions.Append((perMachine ? L"DLLUninstallAdmin." : L"DLLUninstall.") + path);
    return S_OK;
}
