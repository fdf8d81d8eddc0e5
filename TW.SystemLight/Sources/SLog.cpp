#include "SLog.h"

#include "SCommandLine.h"
#include "SError.h"
#include "SOutOfMemory.h"

#include <vector>

namespace
{
// The install thread and the window both write lines. A slim lock of the
// system's, which needs no initialisation and pulls no thread library in.
SRWLOCK g_lock = SRWLOCK_INIT;

class Hold
{
public:
    Hold() { ::AcquireSRWLockExclusive(&g_lock); }
    ~Hold() { ::ReleaseSRWLockExclusive(&g_lock); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
};
HANDLE g_file = INVALID_HANDLE_VALUE;
SString g_path;

SString Stamp(const wchar_t* format)
{
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    wchar_t text[32] = {0};
    ::wsprintfW(text, format, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                now.wMilliseconds);
    return text;
}
} // namespace

namespace SLog
{
bool Open(const SString& path)
{
    Hold hold;
    if (g_file != INVALID_HANDLE_VALUE)
        ::CloseHandle(g_file);
    // Kept open for the life of the process; every line goes straight to the file.
    g_file = ::CreateFileW(path.CStr(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           NULL);
    g_path = g_file != INVALID_HANDLE_VALUE ? path : SString();
    return g_file != INVALID_HANDLE_VALUE;
}

SString Path()
{
    Hold hold;
    return g_path;
}

void MoveTo(const SString& path)
{
    SString from;
    {
        Hold hold;
        if (g_file == INVALID_HANDLE_VALUE)
            return;
        ::CloseHandle(g_file);
        from = g_path;
        if (::MoveFileExW(from.CStr(), path.CStr(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
            g_path = path;
        g_file = ::CreateFileW(g_path.CStr(), FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        if (g_file == INVALID_HANDLE_VALUE)
            g_path = SString();
    }
    Line(L"log moved here from " + from);
}

void Line(const SString& text)
{
    if (g_file == INVALID_HANDLE_VALUE)
        return;
    SString line = Stamp(L"%04u-%02u-%02u %02u:%02u:%02u.%03u  ") + text + L"\r\n";
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, line.CStr(), line.Length(), NULL, 0, NULL, NULL);
    if (bytes <= 0)
        return;
    std::vector<char> utf8(bytes);
    ::WideCharToMultiByte(CP_UTF8, 0, line.CStr(), line.Length(), &utf8[0], bytes, NULL, NULL);
    Hold hold;
    DWORD written = 0;
    ::WriteFile(g_file, &utf8[0], static_cast<DWORD>(bytes), &written, NULL);
}

bool Requested(const SString& commandLine, SString& path) { return FindSwitch(commandLine, L"/Log", path); }

SString DefaultPath(const SString& name)
{
    wchar_t temp[MAX_PATH] = {0};
    ::GetTempPathW(MAX_PATH, temp);
    return SString(temp) + name + Stamp(L" %04u-%02u-%02u %02u.%02u.%02u") + L".txt";
}

SString FailureText()
{
    SString text = SError::Identifier();
    for (int i = 0; i < SError::Messages().Count(); ++i)
    {
        SString message = SError::Messages()[i];
        while (message.Length() > 0 && (message[message.Length() - 1] == L'\n' || message[message.Length() - 1] == L'\r'))
            message = message.Mid(0, message.Length() - 1);
        text += L" | " + message;
    }
    return text;
}
} // namespace SLog

// No lock: the allocation that failed may have been made under it.
void SEndOutOfMemory()
{
    static const char line[] = "out of memory: the program ends with exit code 8\r\n";
    DWORD written = 0;
    if (g_file != INVALID_HANDLE_VALUE)
        ::WriteFile(g_file, line, sizeof(line) - 1, &written, NULL);
    ::ExitProcess(ERROR_NOT_ENOUGH_MEMORY);
}
