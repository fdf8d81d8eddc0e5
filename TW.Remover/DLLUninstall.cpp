// The uninstall hook of plug-in libraries, and the exact-length reader that
// the remover reads its files with.
#include "TWInstall.h"

#include "SError.h"
#include "SHandle.h"

typedef int(__stdcall* PluginEntry)(const wchar_t* path, int perMachine);

HRESULT TWInstall::DLLUninstall(const SString& libraryPath, DWORD perMachine)
{
    SModule library(::LoadLibraryW(libraryPath.CStr()));
    if (!library.IsValid())
    {
        SERROR_SET_SYSTEM("TWDLLInstall.LoadLibrary").Add(libraryPath);
        return E_FAIL;
    }
    PluginEntry entry = SGetProc<PluginEntry>(library.Get(), "TWUninstall");
    if (!entry)
    {
        SERROR_SET_SYSTEM("DLLUninstall.GetProcAddress").Add(libraryPath);
        return E_FAIL;
    }
    return entry(libraryPath.CStr(), static_cast<int>(perMachine)) == 0 ? S_OK : E_FAIL;
}

HRESULT TWInstall::SafeRead(HANDLE file, void* buffer, DWORD size)
{
    BYTE* next = static_cast<BYTE*>(buffer);
    for (DWORD offset = 0; offset < size;)
    {
        DWORD remaining = size - offset;
        DWORD read = 0;
        BOOL ok = ::ReadFile(file, next + offset, remaining < 4096 ? remaining : 4096, &read, NULL);
        if (!ok || !read)
        {
            if (ok)
                ::SetLastError(ERROR_HANDLE_EOF);
            SERROR_SET_SYSTEM("SafeRead");
            return E_FAIL;
        }
        offset += read;
    }
    return S_OK;
}
