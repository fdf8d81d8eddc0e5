// A library planted beside a program under the name of a system library. It
// exports nothing; loading it is the attack. On load it creates
// "<its file name>.loaded" in the folder that TW_PLANTED_LOG names, outside
// the program's folder, which the remover deletes.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t module[MAX_PATH] = {0};
    wchar_t folder[MAX_PATH] = {0};
    if (!::GetModuleFileNameW(instance, module, MAX_PATH) ||
        !::GetEnvironmentVariableW(L"TW_PLANTED_LOG", folder, MAX_PATH))
        return TRUE;
    const wchar_t* name = wcsrchr(module, L'\\') ? wcsrchr(module, L'\\') + 1 : module;
    wchar_t marker[MAX_PATH * 2] = {0};
    ::wsprintfW(marker, L"%s\\%s.loaded", folder, name);
    HANDLE file = ::CreateFileW(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    return TRUE;
}
