// A small stand-in for the installed 3D application: it shows the command
// line it was started with, and appends it to "StartedWith.txt" beside
// itself so that scripts can see how it was started. With "/Quiet" in the
// command line it only records and exits.
#include <windows.h>

#include <string>

namespace
{
void RecordCommandLine(const wchar_t* commandLine)
{
    wchar_t path[MAX_PATH] = {0};
    ::GetModuleFileNameW(NULL, path, MAX_PATH);
    std::wstring log(path);
    log = log.substr(0, log.rfind(L'\\')) + L"\\StartedWith.txt";
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, NULL, 0, NULL, NULL);
    std::string line(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, &line[0], bytes, NULL, NULL);
    line += "\r\n";
    HANDLE file = ::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, NULL);
    ::CloseHandle(file);
}
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    const wchar_t* commandLine = ::GetCommandLineW();
    RecordCommandLine(commandLine);
    if (wcsstr(commandLine, L"/Quiet"))
        return 0;
    std::wstring text = L"Tarnwick 3D Modeller is installed and running.\n\nStarted with:\n";
    text += commandLine;
    ::MessageBoxW(NULL, text.c_str(), L"Tarnwick 3D Modeller", MB_OK | MB_ICONINFORMATION);
    return 0;
}
