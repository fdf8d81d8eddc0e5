#include "SLibrarySearch.h"

namespace
{
// Libraries that system libraries load only on first use. Some loaders (Wine's)
// look for those with the unrestricted search; loaded here from System32 and
// kept, the copy already loaded is the one they find. The remover needs them
// too: without them its shell brings in version.dll that way.
void PinLazyDependencies()
{
    static const wchar_t* const names[] = {L"secur32.dll", L"msimg32.dll", L"crypt32.dll"};
    for (const wchar_t* name : names)
        ::LoadLibraryExW(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
}
} // namespace

void RestrictLibrarySearch()
{
    // Looked up rather than imported: Windows 7 has it only with KB2533623,
    // and a missing import would keep the program from starting at all.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    SetDefaultDllDirectoriesProc setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesProc>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryW(L"");
    PinLazyDependencies();
}

HMODULE LoadLibraryByPath(const wchar_t* path)
{
    HMODULE library = ::LoadLibraryExW(path, NULL, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!library && ::GetLastError() == ERROR_INVALID_PARAMETER)
        library = ::LoadLibraryW(path); // a system without the search flags
    return library;
}
