// TW.Inspector: the demo's and benchmark's eyes and hands inside the Wine
// prefix. It reads what an install left with the same names the engine
// uses, and prepares the prefix (trust, proxy).
//
//   TW.Inspector state               what the install left: files, shortcuts, registry
//   TW.Inspector gone                what is left after removal (nothing, hopefully)
//   TW.Inspector uninstall-string    the entry's UninstallString, as it is stored
//   TW.Inspector uninstall           start that command as Windows does, and wait for it
//   TW.Inspector measure <command>   run it; print exit code, wall time and peak working set
//   TW.Inspector trust <ca.der>      trust a certificate authority in this prefix
//   TW.Inspector proxy <port>|off    reach every host through a local proxy
//   TW.Inspector close <caption>     close the window with that caption (also on the
//                                    demo's virtual desktop "Tarnwick")
//   TW.Inspector finished <caption>  0 when that setup window shows its finished page
//   TW.Inspector variant <in> <out> <key>=<value>...   a setup copy with changed settings
//   TW.Inspector package <in> <out> <pack>             a setup copy with another package
//   TW.Inspector update-while-running  the agent's check, then its update while the
//                                    application runs, timed: how long the staging
//                                    took, and the application's downtime
#include "FileTypes.h"
#include "Names.h"

#include "SHandle.h"
#include "SNls.h"
#include "SRegistry.h"
#include "SShell.h"

#include <objbase.h>
#include <psapi.h>
#include <shobjidl.h>
#include <stdio.h>
#include <tlhelp32.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace
{
void Print(const SString& text)
{
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.CStr(), -1, NULL, 0, NULL, NULL);
    std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, text.CStr(), -1, &utf8[0], bytes, NULL, NULL);
    fputs(utf8.c_str(), stdout);
    fputs("\n", stdout);
}

struct Place
{
    SString suffix, keyName, dataFolder, programFolder;
};

// The names of the setup program given on the command line, or of this build.
Place ReleasePlace()
{
    Place place;
    SString id;
    bool hasId = SetupDeploymentId(id);
    place.suffix = InstanceSuffix(ReleaseChannel(), hasId, id);
    place.keyName = UninstallKeyName(ReleaseChannel(), id);
    place.dataFolder = GetLocalAppDataLowFolder() + L"\\Tarnwick" + place.suffix;
    place.programFolder = GetLocalAppDataFolder() + L"\\Tarnwick" + place.suffix;
    return place;
}

void ListFiles(const SString& folder, const SString& indent, int& count)
{
    WIN32_FIND_DATAW entry = {};
    SFind find(::FindFirstFileW((folder + L"\\*").CStr(), &entry));
    if (!find.IsValid())
        return;
    do
    {
        if (!wcscmp(entry.cFileName, L".") || !wcscmp(entry.cFileName, L".."))
            continue;
        SString path = folder + L"\\" + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        {
            Print(indent + entry.cFileName + L"\\");
            ListFiles(path, indent + L"  ", count);
        }
        else
        {
            ++count;
            Print(indent + entry.cFileName + L"  (" + SString::FromInt(static_cast<int>(entry.nFileSizeLow)) +
                  L" bytes)");
        }
    } while (::FindNextFileW(find.Get(), &entry));
}

void ShowFolder(const wchar_t* title, const SString& folder)
{
    Print(SString(title) + L": " + folder);
    int count = 0;
    ListFiles(folder, L"    ", count);
    if (!count)
        Print(L"    (no files)");
}

void ShowShortcut(const SString& file)
{
    SComPtr<IShellLinkW> link;
    SComPtr<IPersistFile> persist;
    if (::GetFileAttributesW(file.CStr()) == INVALID_FILE_ATTRIBUTES ||
        FAILED(::CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, persist.PutVoid())) || FAILED(persist->Load(file.CStr(), 0)))
    {
        Print(L"  " + file + L"  (none)");
        return;
    }
    wchar_t target[MAX_PATH * 2] = {0}, arguments[MAX_PATH] = {0}, icon[MAX_PATH * 2] = {0};
    int index = 0;
    link->GetPath(target, MAX_PATH * 2, NULL, SLGP_RAWPATH);
    link->GetArguments(arguments, MAX_PATH);
    link->GetIconLocation(icon, MAX_PATH * 2, &index);
    Print(L"  " + file);
    Print(SString(L"      -> \"") + target + L"\" " + arguments);
    Print(SString(L"      icon ") + icon);
}

void ShowValues(HKEY root, const SString& path)
{
    SKey key;
    if (::RegOpenKeyExW(root, path.CStr(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
    {
        Print(L"  (no key)");
        return;
    }
    for (DWORD index = 0;; ++index)
    {
        wchar_t name[256] = {0};
        BYTE data[2048] = {0};
        DWORD nameLength = 256, size = sizeof(data) - 2, type = 0;
        if (::RegEnumValueW(key.Get(), index, name, &nameLength, NULL, &type, data, &size) != ERROR_SUCCESS)
            break;
        SString value = type == REG_DWORD ? L"REG_DWORD " + SString::FromInt(*reinterpret_cast<int*>(data))
                                          : L"REG_SZ    " + SString(reinterpret_cast<wchar_t*>(data));
        Print(SString(L"    ") + (name[0] ? name : L"(default)") + L" = " + value);
    }
}

// The file type, its ProgID and command, App Paths and the per-deployment
// key with the application's AppUserModelID.
std::vector<SString> ShellKeys(const Place& place)
{
    return {ClassesKeyPath(L".tw3d"), ClassesKeyPath(L".tw3d") + L"\\OpenWithProgids",
            ClassesKeyPath(L"Tarnwick.Model"), ClassesKeyPath(L"Tarnwick.Model") + L"\\shell\\open\\command",
            AppPathKeyPath(L"TW.3D.Modeller.exe"), DeploymentKeyPath(place.suffix)};
}

int ShowState()
{
    Place place = ReleasePlace();
    ShowFolder(L"Program folder", place.programFolder);
    ShowFolder(L"Data folder (LocalLow)", place.dataFolder);
    Print(L"Shortcuts:");
    SString name = GetNLS(L"ShortcutName") + L".lnk";
    ShowShortcut(GetStartMenuFolder() + L"\\" + name);
    ShowShortcut(GetDesktopFolder() + L"\\" + name);
    SString entry = UninstallEntryPath(place.keyName);
    Print(L"Uninstall entry: HKEY_CURRENT_USER\\" + entry);
    ShowValues(HKEY_CURRENT_USER, entry);
    for (const SString& key : ShellKeys(place))
    {
        Print(L"HKEY_CURRENT_USER\\" + key);
        ShowValues(HKEY_CURRENT_USER, key);
    }
    return 0;
}

int ShowGone()
{
    Place place = ReleasePlace();
    struct Check
    {
        const wchar_t* what;
        bool present;
    };
    SString name = GetNLS(L"ShortcutName") + L".lnk";
    const Check checks[] = {
        {L"program folder", ::GetFileAttributesW(place.programFolder.CStr()) != INVALID_FILE_ATTRIBUTES},
        {L"data folder", ::GetFileAttributesW(place.dataFolder.CStr()) != INVALID_FILE_ATTRIBUTES},
        {L"Start-menu shortcut", ::GetFileAttributesW((GetStartMenuFolder() + L"\\" + name).CStr()) != INVALID_FILE_ATTRIBUTES},
        {L"desktop shortcut", ::GetFileAttributesW((GetDesktopFolder() + L"\\" + name).CStr()) != INVALID_FILE_ATTRIBUTES},
        {L"uninstall entry", KeyExists(HKEY_CURRENT_USER, UninstallEntryPath(place.keyName))},
        {L"per-deployment key", KeyExists(HKEY_CURRENT_USER, DeploymentKeyPath(place.suffix)) ||
                                    KeyExists(HKEY_LOCAL_MACHINE, DeploymentKeyPath(place.suffix))},
        {L"file type", KeyExists(HKEY_CURRENT_USER, ClassesKeyPath(L"Tarnwick.Model")) ||
                           KeyExists(HKEY_CURRENT_USER, ClassesKeyPath(L".tw3d"))},
        {L"App Paths entry", KeyExists(HKEY_CURRENT_USER, AppPathKeyPath(L"TW.3D.Modeller.exe"))},
        {L"removal script", ::GetFileAttributesW((GetLocalAppDataFolder() + L"\\TW.RemoverDelete.bat").CStr()) != INVALID_FILE_ATTRIBUTES},
    };
    int left = 0;
    for (const Check& check : checks)
    {
        Print(SString(L"  ") + (check.present ? L"STILL THERE: " : L"gone: ") + check.what);
        left += check.present ? 1 : 0;
    }
    return left ? 1 : 0;
}

int PrintUninstallString()
{
    SString value;
    if (GetValue(HKEY_CURRENT_USER, UninstallEntryPath(ReleasePlace().keyName), L"UninstallString", value) != S_OK)
        return 1;
    Print(value);
    return 0;
}

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return (now.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

// Times the removal from inside the prefix, as "measure" times the others:
// until the remover exits, and until its script has taken the program
// folder and itself.
int RunUninstallString()
{
    SString value;
    if (GetValue(HKEY_CURRENT_USER, UninstallEntryPath(ReleasePlace().keyName), L"UninstallString", value) != S_OK)
        return 1;
    SString folder = ReleasePlace().programFolder;
    SString script = GetLocalAppDataFolder() + L"\\TW.RemoverDelete.bat";
    std::vector<wchar_t> line(value.CStr(), value.CStr() + value.Length() + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return 1;
    ::WaitForSingleObject(process.hProcess, 60000);
    double exited = MillisecondsSince(start);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    while (MillisecondsSince(start) < 60000 && (::GetFileAttributesW(folder.CStr()) != INVALID_FILE_ATTRIBUTES ||
                                                 ::GetFileAttributesW(script.CStr()) != INVALID_FILE_ATTRIBUTES))
        ::Sleep(5);
    printf("the remover exited with code %lu after %.0f ms; its folder and script were gone after %.0f ms\n",
           code, exited, MillisecondsSince(start));
    return 0;
}

// Samples the peak working set while the process runs: the counters of a
// process that has ended may no longer be readable.
int Measure(const wchar_t* commandLine)
{
    std::vector<wchar_t> line(commandLine, commandLine + wcslen(commandLine) + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return 1;
    SIZE_T peak = 0;
    while (::WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT)
    {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof(counters);
        if (::GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters)) && counters.PeakWorkingSetSize > peak)
            peak = counters.PeakWorkingSetSize;
    }
    double milliseconds = MillisecondsSince(start);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    printf("exit=%lu wall_ms=%.0f peak_working_set=%lu\n", code, milliseconds, static_cast<unsigned long>(peak));
    return 0;
}

int Trust(const wchar_t* path)
{
    SFile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    std::vector<BYTE> der(file.IsValid() ? ::GetFileSize(file.Get(), NULL) : 0);
    DWORD read = 0;
    if (der.empty() || !::ReadFile(file.Get(), &der[0], static_cast<DWORD>(der.size()), &read, NULL))
        return 1;
    return ::CertAddEncodedCertificateToSystemStoreW(L"Root", &der[0], read) ? 0 : 1;
}

int Proxy(const wchar_t* port)
{
    const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    if (!wcscmp(port, L"off"))
        return SetValue(HKEY_CURRENT_USER, key, L"ProxyEnable", static_cast<DWORD>(0));
    SetValue(HKEY_CURRENT_USER, key, L"ProxyServer", SString(L"127.0.0.1:") + port);
    return SetValue(HKEY_CURRENT_USER, key, L"ProxyEnable", static_cast<DWORD>(1));
}

// Asks the window to close, as its user would; ends its process when it
// does not go within a few seconds.
int Close(const wchar_t* caption)
{
    HWND window = ::FindWindowW(NULL, caption);
    if (!window)
        return 1;
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    SKernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId));
    ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (process.IsValid() && ::WaitForSingleObject(process.Get(), 3000) == WAIT_TIMEOUT)
        ::TerminateProcess(process.Get(), 0);
    return 0;
}

int Finished(const wchar_t* caption)
{
    HWND window = ::FindWindowW(NULL, caption);
    return window && ::IsWindowVisible(::GetDlgItem(window, 1)) ? 0 : 1;
}

int Variant(int count, wchar_t** arguments)
{
    std::wstring table;
    {
        SModule module(::LoadLibraryExW(arguments[2], NULL, LOAD_LIBRARY_AS_DATAFILE));
        HRSRC nls = ::FindResourceExW(module.Get(), L"NLS", L"NLS", 0);
        if (!nls)
            return 1;
        const wchar_t* text = static_cast<const wchar_t*>(::LockResource(::LoadResource(module.Get(), nls)));
        table.assign(text, ::SizeofResource(module.Get(), nls) / 2);
    }
    for (int i = 4; i < count; ++i)
    {
        std::wstring setting = arguments[i];
        std::wstring key = setting.substr(0, setting.find(L'=') + 1);
        size_t line = table.find(L"\n" + key);
        if (line == std::wstring::npos)
            return 1;
        table.replace(line + 1, table.find(L"\r\n", line + 1) - line - 1, setting);
    }
    if (!::CopyFileW(arguments[2], arguments[3], FALSE))
        return 1;
    HANDLE update = ::BeginUpdateResourceW(arguments[3], FALSE);
    ::UpdateResourceW(update, L"NLS", L"NLS", 0, &table[0], static_cast<DWORD>(table.size() * 2));
    return ::EndUpdateResourceW(update, FALSE) ? 0 : 1;
}

// A setup copy that carries another package (twpack build's output).
int WithPackage(const wchar_t* setup, const wchar_t* copy, const wchar_t* pack)
{
    SFile file(::CreateFileW(pack, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    if (!file.IsValid() || !::CopyFileW(setup, copy, FALSE))
        return 1;
    std::vector<BYTE> bytes(::GetFileSize(file.Get(), NULL));
    DWORD read = 0;
    if (bytes.empty() || !::ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, NULL))
        return 1;
    HANDLE update = ::BeginUpdateResourceW(copy, FALSE);
    ::UpdateResourceW(update, L"PACK", L"PACK", 0, &bytes[0], read);
    return ::EndUpdateResourceW(update, FALSE) ? 0 : 1;
}
DWORD RunAndWait(const SString& commandLine)
{
    std::vector<wchar_t> line(commandLine.CStr(), commandLine.CStr() + commandLine.Length() + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    DWORD code = 0xDEAD;
    if (!::CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &startup, &process))
        return code;
    ::WaitForSingleObject(process.hProcess, 120000);
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code;
}

// A process of the application other than `except`.
bool ApplicationRuns(DWORD except)
{
    SKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry))
        if (!lstrcmpiW(entry.szExeFile, L"TW.3D.Modeller.exe") && entry.th32ProcessID != except)
            return true;
    return false;
}

bool FileHolds(const SString& path, const char* text)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0,
                             NULL));
    std::string bytes(file.IsValid() ? ::GetFileSize(file.Get(), NULL) : 0, '\0');
    DWORD read = 0;
    return !bytes.empty() && ::ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, NULL) &&
           bytes.find(text) != std::string::npos;
}

// The application runs; the agent stages the update, the application ends
// as its user closes it, and the downtime lasts until the new version runs.
int UpdateWhileRunning()
{
    Place place = ReleasePlace();
    SString agent = L"\"" + place.programFolder + L"\\TW.Update.exe\"";
    DWORD check = RunAndWait(agent + L" /Check");
    SString program = place.programFolder + L"\\TW.3D.Modeller.exe";
    std::vector<wchar_t> line(program.CStr(), program.CStr() + program.Length() + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION application = {};
    if (!::CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &application))
        return 1;
    SKernelHandle running(application.hProcess);
    ::CloseHandle(application.hThread);
    SString log = place.dataFolder + L"\\Update\\Setup.log";
    ::DeleteFileW(log.CStr());
    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    DWORD apply = RunAndWait(agent + L" /Apply /Restart /WaitForPid=" + SString::FromUnsigned(application.dwProcessId));
    while (MillisecondsSince(start) < 120000 && !FileHolds(log, "waiting for process"))
        ::Sleep(5);
    double staged = MillisecondsSince(start);
    LARGE_INTEGER closed;
    ::QueryPerformanceCounter(&closed);
    ::TerminateProcess(running.Get(), 0);
    ::WaitForSingleObject(running.Get(), 10000);
    while (MillisecondsSince(closed) < 120000 && !ApplicationRuns(application.dwProcessId))
        ::Sleep(2);
    printf("check=%lu apply=%lu staged_ms=%.0f downtime_ms=%.0f\n", check, apply, staged, MillisecondsSince(closed));
    return check == 2 && apply == 0 ? 0 : 1;
}
} // namespace

int wmain(int count, wchar_t** arguments)
{
    // The demo shows its windows on a virtual desktop named "Tarnwick"; look
    // for windows there.
    HDESK desktop = ::OpenDesktopW(L"Tarnwick", 0, FALSE, GENERIC_ALL);
    if (desktop)
        ::SetThreadDesktop(desktop);
    ::CoInitialize(NULL);
    std::wstring command = count > 1 ? arguments[1] : L"";
    if (command == L"state")
        return ShowState();
    if (command == L"gone")
        return ShowGone();
    if (command == L"uninstall-string")
        return PrintUninstallString();
    if (command == L"measure" && count >= 3)
        return Measure(wcsstr(::GetCommandLineW(), L"measure") + 8);
    if (command == L"uninstall")
        return RunUninstallString();
    if (command == L"trust" && count == 3)
        return Trust(arguments[2]);
    if (command == L"proxy" && count == 3)
        return Proxy(arguments[2]);
    if (command == L"close" && count == 3)
        return Close(arguments[2]);
    if (command == L"finished" && count == 3)
        return Finished(arguments[2]);
    if (command == L"variant" && count >= 4)
        return Variant(count, arguments);
    if (command == L"package" && count == 5)
        return WithPackage(arguments[2], arguments[3], arguments[4]);
    if (command == L"update-while-running")
        return UpdateWhileRunning();
    fputs("usage: TW.Inspector state|gone|uninstall-string|uninstall|measure <command>|trust <der>|proxy <port>|off|close <caption>|"
          "finished <caption>|variant <in> <out> key=value...|package <in> <out> <pack>|update-while-running\n",
          stderr);
    return 2;
}
