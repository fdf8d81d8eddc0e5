#include "PluginLibrary.h"

#include "SError.h"
#include "SHandle.h"
#include "SLibrarySearch.h"

typedef int(__stdcall* PluginEntry)(const wchar_t* path, int perMachine);

HRESULT CallPluginEntry(const SString& path, const char* exportName, const char* missingExportId, DWORD perMachine,
                        int& result)
{
    SModule library(LoadLibraryByPath(path.CStr()));
    if (!library.IsValid())
    {
        SERROR_SET_SYSTEM("TWDLLInstall.LoadLibrary").Add(path);
        return E_FAIL;
    }
    PluginEntry entry = SGetProc<PluginEntry>(library.Get(), exportName);
    if (!entry)
    {
        SERROR_SET_SYSTEM(missingExportId).Add(path);
        return E_FAIL;
    }
    result = entry(path.CStr(), static_cast<int>(perMachine));
    return S_OK;
}
