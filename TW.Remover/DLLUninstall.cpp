// The uninstall hook of plug-in libraries, and the exact-length reader that
// the remover reads its files with.
#include "Remover.h"

#include "PluginLibrary.h"
#include "SError.h"

HRESULT Remover::DLLUninstall(const SString& libraryPath, DWORD perMachine)
{
    int result = 0;
    S_RETURN_IF_FAILED(CallPluginEntry(libraryPath, "TWUninstall", "DLLUninstall.GetProcAddress", perMachine, result));
    return result == 0 ? S_OK : E_FAIL;
}

HRESULT Remover::SafeRead(HANDLE file, void* buffer, DWORD size)
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
