#pragma once
// Drives the real setup program from outside, as a person would: start it,
// find its windows, read what they show, click their buttons.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "EngineHarness.h"

// A copy of the built setup program with another package and changed lines
// in its neutral text table.
inline SString MakeSetupVariant(const wchar_t* name, const std::string& pack,
                                const std::vector<std::pair<std::wstring, std::wstring> >& settings)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    SString path = SString(temp) + L"tw-setup-" + name + L".exe";
    SString original = BinFolder() + L"\\TW.Install.UI2.exe";
    std::wstring table;
    {
        SModule module(::LoadLibraryExW(original.CStr(), NULL, LOAD_LIBRARY_AS_DATAFILE));
        HRSRC nls = ::FindResourceExW(module.Get(), L"NLS", L"NLS", 0);
        const wchar_t* text = static_cast<const wchar_t*>(::LockResource(::LoadResource(module.Get(), nls)));
        table.assign(text, ::SizeofResource(module.Get(), nls) / 2);
    }
    for (const std::pair<std::wstring, std::wstring>& setting : settings)
    {
        size_t line = table.find(L"\n" + setting.first + L"=");
        size_t end = table.find(L"\r\n", line + 1);
        table.replace(line + 1, end - line - 1, setting.first + L"=" + setting.second);
    }
    ::CopyFileW(original.CStr(), path.CStr(), FALSE);
    HANDLE update = ::BeginUpdateResourceW(path.CStr(), FALSE);
    ::UpdateResourceW(update, L"PACK", L"PACK", 0, const_cast<char*>(pack.data()), static_cast<DWORD>(pack.size()));
    ::UpdateResourceW(update, L"NLS", L"NLS", 0, &table[0], static_cast<DWORD>(table.size() * 2));
    ::EndUpdateResourceW(update, FALSE);
    return path;
}

// Visits top-level windows (parent null) or the children of parent until the
// visitor returns false.
inline void VisitWindows(HWND parent, const std::function<bool(HWND)>& visit)
{
    struct Trampoline
    {
        static BOOL CALLBACK Call(HWND window, LPARAM parameter)
        {
            return (*reinterpret_cast<const std::function<bool(HWND)>*>(parameter))(window) ? TRUE : FALSE;
        }
    };
    LPARAM parameter = reinterpret_cast<LPARAM>(&visit);
    if (parent)
        ::EnumChildWindows(parent, Trampoline::Call, parameter);
    else
        ::EnumWindows(Trampoline::Call, parameter);
}

inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 30000)
{
    for (int waited = 0; waited < milliseconds; waited += 50)
    {
        if (condition())
            return true;
        ::Sleep(50);
    }
    return condition();
}

inline std::wstring WindowText(HWND window)
{
    wchar_t text[2048] = {0};
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
    return text;
}

class SetupProcess
{
public:
    SetupProcess(const SString& program, const wchar_t* arguments)
    {
        SString command = L"\"" + program + L"\" " + arguments;
        std::vector<wchar_t> line(command.CStr(), command.CStr() + command.Length() + 1);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (::CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        {
            ::CloseHandle(process.hThread);
            m_process.Reset(process.hProcess);
            m_id = process.dwProcessId;
        }
    }
    ~SetupProcess()
    {
        if (m_process.IsValid() && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT)
            ::TerminateProcess(m_process.Get(), 99);
    }

    // Exit code, or 0xDEAD when the program has not ended in time.
    DWORD WaitForExit(DWORD milliseconds = 60000)
    {
        if (!m_process.IsValid() || ::WaitForSingleObject(m_process.Get(), milliseconds) != WAIT_OBJECT_0)
            return 0xDEAD;
        DWORD code = 0;
        ::GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }

    DWORD Id() const { return m_id; }
    // Ends the program at once, as a crash or a lost power would.
    void Kill()
    {
        ::TerminateProcess(m_process.Get(), 99);
        ::WaitForSingleObject(m_process.Get(), 10000);
    }

    // A visible top-level window of the program with that caption, other
    // than `except`.
    HWND FindWindowCaptioned(const std::wstring& caption, HWND except = NULL) const
    {
        HWND found = NULL;
        VisitWindows(NULL, [&](HWND window) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == m_id && window != except && ::IsWindowVisible(window) && WindowText(window) == caption)
                found = window;
            return found == NULL;
        });
        return found;
    }

private:
    SKernelHandle m_process;
    DWORD m_id = 0;
};

// The page of the frame that holds the control.
inline HWND FindPage(HWND frame, int controlId)
{
    HWND found = NULL;
    VisitWindows(frame, [&](HWND child) {
        if (::GetParent(child) == frame && ::GetDlgItem(child, controlId))
            found = child;
        return found == NULL;
    });
    return found;
}

// The longest static text of a message box: its message.
inline std::wstring MessageBoxText(HWND box)
{
    std::wstring longest;
    VisitWindows(box, [&](HWND child) {
        wchar_t className[32] = {0};
        ::GetClassNameW(child, className, 32);
        std::wstring text = WindowText(child);
        if (lstrcmpiW(className, L"Static") == 0 && text.size() > longest.size())
            longest = text;
        return true;
    });
    return longest;
}

inline void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

// Runs the installed remover and waits for its removal script to finish.
inline DWORD RemoveInstall(const SString& programFolder, const wchar_t* arguments = L"")
{
    SetupProcess remover(programFolder + L"\\TW.Remover.exe", arguments);
    DWORD code = remover.WaitForExit();
    SString script = DirectoryPart(programFolder) + L"\\TW.RemoverDelete.bat";
    WaitFor([&]() { return !TestFolder::Exists(script) && !TestFolder::Exists(programFolder); });
    return code;
}
