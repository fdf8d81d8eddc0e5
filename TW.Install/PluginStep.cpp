// The install hook of browser plug-in libraries: each does its own system
// integration through its export "TWInstall".
#include "TWInstall.h"

#include "PluginLibrary.h"
#include "SError.h"
#include "SLog.h"

HRESULT TWInstall::TWDLLInstall(const SString& path, DWORD perMachine)
{
    int result = 0;
    // A hook that has started may have changed the machine: a rollback calls
    // its uninstall hook, even when it reported failure.
    S_RETURN_IF_FAILED(m_transaction.AddPluginHook(path, perMachine));
    S_RETURN_IF_FAILED(CallPluginEntry(path, "TWInstall", "TWDLLInstall.GetProcAddress", perMachine, result));
    SLog::Line(L"plug-in call: TWInstall(" + path + L", " + SString::FromInt(static_cast<int>(perMachine)) +
               L") returned " + SString::FromInt(result));
    if (result != 0)
    {
        // Without an identifier of its own the window would show whatever an
        // earlier step left in the record.
        SERROR_SET("TWDLLInstall.EntryFailed")
            .Add(path)
            .Add(L"The library's install entry returned " + SString::FromInt(result) + L".");
        return E_FAIL;
    }
    RecordUndo((perMachine ? L"DLLUninstallAdmin." : L"DLLUninstall.") + path);
    return S_OK;
}
