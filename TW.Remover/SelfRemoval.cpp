#include "SelfRemoval.h"

#include "ProtectedFolder.h"

#include "SHandle.h"
#include "SLog.h"
#include "SPath.h"

#include <vector>

namespace
{
// The text in the code page, when it converts there and back unchanged. Code
// page 65001 (UTF-8, the console's code page where Windows is set to use UTF-8
// for every language) rejects the best-fit flag and the lossy-conversion
// argument; the round trip is the check that holds for every code page.
bool InCodePage(const SString& text, UINT codePage, std::string& converted)
{
    bool utf8 = codePage == CP_UTF8;
    DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    int bytes = ::WideCharToMultiByte(codePage, flags, text.CStr(), text.Length(), NULL, 0, NULL, utf8 ? NULL : &lossy);
    if (bytes <= 0 || lossy)
        return false;
    converted.assign(bytes, '\0');
    ::WideCharToMultiByte(codePage, flags, text.CStr(), text.Length(), &converted[0], bytes, NULL, NULL);
    int units = ::MultiByteToWideChar(codePage, 0, converted.data(), bytes, NULL, 0);
    std::vector<wchar_t> back(units + 1);
    ::MultiByteToWideChar(codePage, 0, converted.data(), bytes, &back[0], units);
    return units == text.Length() && SString(&back[0]) == text;
}

// The path as a batch file must name it: in the code page, through its short
// name when the long one has characters outside it, every "%" doubled since
// cmd expands them in a batch file.
bool ConsoleText(const SString& path, UINT codePage, std::string& text)
{
    SString candidates[2] = {path, SString()};
    wchar_t shortPath[MAX_PATH * 2] = {0};
    if (::GetShortPathNameW(path.CStr(), shortPath, MAX_PATH * 2))
        candidates[1] = shortPath;
    std::string converted;
    for (const SString& candidate : candidates)
    {
        if (candidate.IsEmpty() || !InCodePage(candidate, codePage, converted))
            continue;
        text.clear();
        for (char c : converted)
            text += c == '%' ? std::string("%%") : std::string(1, c);
        return true;
    }
    return false;
}

// An "rmdir" line for each folder, which removes it only when it is empty.
bool EmptyParentsText(const SStringList& emptyParents, UINT codePage, std::string& text)
{
    for (int i = 0; i < emptyParents.Count(); ++i)
    {
        std::string parent;
        if (ConsoleText(emptyParents[i], codePage, parent))
            text += "rmdir \"" + parent + "\" >nul 2>&1\r\n";
    }
    return !text.empty();
}

void WriteAll(HANDLE file, const std::string& bytes)
{
    DWORD offset = 0;
    DWORD written = 0;
    while (offset < bytes.size() &&
           ::WriteFile(file, bytes.data() + offset, static_cast<DWORD>(bytes.size() - offset), &written, NULL) &&
           written)
        offset += written;
}

// cmd from System32 by its full path: a "cmd.exe" beside the remover is never
// the one started. The script is named relative to the working folder, so
// that no "%" or "&" of the profile's path reaches cmd's own command line.
void RunScript(const SString& scriptPath)
{
    wchar_t system[MAX_PATH] = {0};
    if (!::GetSystemDirectoryW(system, MAX_PATH))
        return;
    SString cmd = Combine(system, L"cmd.exe");
    SString commandLine = L"\"" + cmd + L"\" /d /s /c \"\".\\" + FileNamePart(scriptPath) + L"\"\"";
    std::vector<wchar_t> writable(commandLine.CStr(), commandLine.CStr() + commandLine.Length() + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    SString workingFolder = DirectoryPart(scriptPath);
    if (::CreateProcessW(cmd.CStr(), &writable[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, workingFolder.CStr(),
                         &startup, &process))
    {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}
} // namespace

SString SelfRemovalScriptPath(const SString& removerPath, const SStringList& emptyParents)
{
    SString name = FileNamePart(removerPath);
    SString folder = DirectoryPart(DirectoryPart(removerPath));
    wchar_t temp[MAX_PATH + 1] = {0};
    if (emptyParents.Count() && ::GetTempPathW(MAX_PATH + 1, temp))
        folder = NormalFolderPath(temp);
    return Combine(folder, name.Mid(0, name.Length() - 4)) + L"Delete.bat";
}

bool SelfRemovalScript(const SString& removerPath, UINT codePage, const SStringList& emptyParents,
                       std::string& script)
{
    SString folder = DirectoryPart(removerPath);
    SString scriptPath = SelfRemovalScriptPath(removerPath, emptyParents);
    std::string p, f, g, b;
    if (!ConsoleText(removerPath, codePage, p) || !ConsoleText(folder, codePage, f) ||
        !ConsoleText(DirectoryPart(scriptPath), codePage, g))
        return false;
    bool deleteScript = ConsoleText(scriptPath, codePage, b);
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
             ":removed\r\n";
    // The same guard as every recorded folder: a remover that lies directly in
    // a user or system folder takes only itself. The remover took what was
    // its own in its folder but its two inputs: they go, and the folder when
    // that empties it. Nothing recurses, since some cmds follow a link
    // inside (Wine's "rmdir /s" does), and nothing of others is named.
    if (!IsProtectedFolder(folder))
        script += "del /f /q \"" + f + "\\Uninstall\" >nul 2>&1\r\ndel /f /q \"" + f +
                  "\\.deployment\" >nul 2>&1\r\nrmdir \"" + f + "\" >nul 2>&1\r\n";
    std::string parents;
    if (EmptyParentsText(emptyParents, codePage, parents))
        script += parents;
    if (deleteScript)
        script += "del \"" + b + "\"\r\n";
    return true;
}

void StartSelfRemoval(const SString& removerPath, const SStringList& emptyParents)
{
    SString scriptPath = SelfRemovalScriptPath(removerPath, emptyParents);
    std::string script;
    {
        // Created before its text is made, so that its short name exists.
        SFile file(::CreateFileW(scriptPath.CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 NULL));
        if (!file.IsValid())
            return;
        if (!SelfRemovalScript(removerPath, ::GetOEMCP(), emptyParents, script))
        {
            file.Reset();
            ::DeleteFileW(scriptPath.CStr());
            SLog::Line(L"no removal script: a path cannot be written in the console's code page");
            return;
        }
        WriteAll(file.Get(), script);
    }
    SLog::Line(L"removal script written: " + scriptPath);
    RunScript(scriptPath);
}
