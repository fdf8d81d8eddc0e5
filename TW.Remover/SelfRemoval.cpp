#include "SelfRemoval.h"

#include "SHandle.h"
#include "SPath.h"

#include <vector>

namespace
{
// The path in the code page cmd reads batch files with; the short name when
// the long one has characters outside it.
bool ConsoleText(const SString& path, std::string& text)
{
    SString candidates[2] = {path, SString()};
    wchar_t shortPath[MAX_PATH * 2] = {0};
    if (::GetShortPathNameW(path.CStr(), shortPath, MAX_PATH * 2))
        candidates[1] = shortPath;
    for (int i = 0; i < 2; ++i)
    {
        const SString& candidate = candidates[i];
        if (candidate.IsEmpty())
            continue;
        BOOL lossy = FALSE;
        int bytes = ::WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, candidate.CStr(), candidate.Length(), NULL,
                                          0, NULL, &lossy);
        if (bytes <= 0 || lossy)
            continue;
        text.assign(bytes, '\0');
        ::WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, candidate.CStr(), candidate.Length(), &text[0], bytes,
                              NULL, NULL);
        return true;
    }
    return false;
}
} // namespace

SString SelfRemovalScriptPath(const SString& removerPath)
{
    SString name = FileNamePart(removerPath);
    return Combine(DirectoryPart(DirectoryPart(removerPath)), name.Mid(0, name.Length() - 4)) + L"Delete.bat";
}

bool SelfRemovalScript(const SString& removerPath, std::string& script)
{
    SString folder = DirectoryPart(removerPath);
    std::string p, f, g, b;
    if (!ConsoleText(removerPath, p) || !ConsoleText(folder, f) || !ConsoleText(DirectoryPart(folder), g))
        return false;
    bool deleteScript = ConsoleText(SelfRemovalScriptPath(removerPath), b);
    // The delete loop pauses between tries and gives up after about two
    // minutes, so a remover that can never be deleted leaves no cmd spinning.
    script = "@echo off\r\n"
             "cd /D \"" + g + "\"\r\n"
             "set tries=0\r\n"
             ":deleteloop\r\n"
             "del \"" + p + "\" >nul 2>&1\r\n"
             "if not exist \"" + p + "\" goto removed\r\n"
             "set /a tries+=1\r\n"
             "if %tries% GEQ 240 goto removed\r\n"
             "ping -n 2 -w 500 127.0.0.1 >nul 2>&1\r\n"
             "goto deleteloop\r\n"
             ":removed\r\n"
             "rmdir \"" + f + "\" /s /q\r\n";
    if (deleteScript)
        script += "del \"" + b + "\"\r\n";
    return true;
}

void StartSelfRemoval(const SString& removerPath)
{
    std::string script;
    if (!SelfRemovalScript(removerPath, script))
        return;
    SString scriptPath = SelfRemovalScriptPath(removerPath);
    {
        SFile file(::CreateFileW(scriptPath.CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 NULL));
        DWORD offset = 0;
        DWORD written = 0;
        while (file.IsValid() && offset < script.size() &&
               ::WriteFile(file.Get(), script.data() + offset, static_cast<DWORD>(script.size() - offset), &written,
                           NULL) &&
               written)
            offset += written;
    }
    SString commandLine = L"cmd /c \"" + scriptPath + L"\"";
    std::vector<wchar_t> writable(commandLine.CStr(), commandLine.CStr() + commandLine.Length() + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    SString workingFolder = DirectoryPart(DirectoryPart(removerPath));
    if (::CreateProcessW(NULL, &writable[0], NULL, NULL, FALSE, 0, NULL, workingFolder.CStr(), &startup, &process))
    {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}
