// The install hook of browser plug-in libraries: each does its own system
// integration through its export "TWInstall".
#include "TWInstall.h"

#include "SError.h"
#include "SHandle.h"

typedef int(__stdcall* PluginEntry)(const wchar_t* path, int perMachine);

HRESULT TWInstall::TWDLLInstall(const SString& path, DWORD perMachine)
{
    SModule library(::LoadLibraryW(path.CStr()));
    if (!library.IsValid())
    {
        SERROR_SET_SYSTEM("TWDLLInstall.LoadLibrary").Add(path);
        return E_FAIL;
    }
    PluginEntry entry = SGetProc<PluginEntry>(library.Get(), "TWInstall");
    if (!entry)
    {
        SERROR_SET_SYSTEM("TWDLLInstall.GetProcAddress").Add(path);
        return E_FAIL;
    }
    int result = entry(path.CStr(), static_cast<int>(perMachine));
    library.Reset();
    if (result != 0)
    {
        SERROR_SET("TWDLLInstall.EntryFailed")
            .Add(path)
            .Add(L"The library's install entry returned " + SString::FromInt(result) + L".");
        return E_FAIL;
    }
    UninstallActions.Append((perMachine ? L"DLLUninstallAdmin." : L"DLLUninstall.") + path);
    return S_OK;
}
