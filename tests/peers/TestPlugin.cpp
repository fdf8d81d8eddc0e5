// A browser plug-in library as the installer sees one: it records every call
// of its entry points (entry, path, flag) in "PluginCalls.txt" beside itself
// or in the file that TW_PLUGIN_LOG names,
// and fails (returns 1) when a file named like itself plus ".fail" exists.
#include <windows.h>

#include <string>

namespace
{
std::wstring ModulePath()
{
    HMODULE self = NULL;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ModulePath), &self);
    wchar_t path[MAX_PATH] = {0};
    ::GetModuleFileNameW(self, path, MAX_PATH);
    return path;
}

int Record(const char* entry, const wchar_t* path, int perMachine)
{
    std::wstring self = ModulePath();
    wchar_t named[MAX_PATH] = {0};
    std::wstring log = ::GetEnvironmentVariableW(L"TW_PLUGIN_LOG", named, MAX_PATH)
                           ? std::wstring(named)
                           : self.substr(0, self.rfind(L'\\')) + L"\\PluginCalls.txt";
    char line[2048];
    int length = ::wsprintfA(line, "%s|%ls|%d\r\n", entry, path, perMachine);
    HANDLE file = ::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
    DWORD written = 0;
    ::WriteFile(file, line, static_cast<DWORD>(length), &written, NULL);
    ::CloseHandle(file);
    return ::GetFileAttributesW((self + L".fail").c_str()) == INVALID_FILE_ATTRIBUTES ? 0 : 1;
}
} // namespace

#ifndef TW_PLUGIN_NO_EXPORT
extern "C" __declspec(dllexport) int __stdcall TWInstall(const wchar_t* path, int perMachine)
{
    return Record("TWInstall", path, perMachine);
}

extern "C" __declspec(dllexport) int __stdcall TWUninstall(const wchar_t* path, int perMachine)
{
    return Record("TWUninstall", path, perMachine);
}
#else
extern "C" __declspec(dllexport) int __stdcall Unrelated(int value)
{
    return Record("Unrelated", L"", value);
}
#endif
