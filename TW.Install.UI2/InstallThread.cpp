#include "InstallThread.h"

#include "SetupIds.h"
#include "SetupWindow.h"

#include "SLog.h"
#include "SCommandLine.h"
#include "SNls.h"
#include "TWInstall.h"

#include <commctrl.h>
#include <cmath>
#include <objbase.h>

volatile HRESULT lastInstallResult = S_OK;

int ProgressPosition(float fraction)
{
    if (!std::isfinite(fraction) || fraction <= 0.0f)
        return 0;
    // Clamped before converting: a large fraction must not overflow the int.
    return fraction >= 1.0f ? 256 : static_cast<int>(fraction * 256.0f);
}

DWORD WINAPI InstallThread(LPVOID)
{
    // A single-threaded apartment makes a window of its own, and with it
    // loads the display driver; silent, the thread joins the process's
    // multithreaded apartment, which needs no window. The shell's link
    // object lives in either.
    ::CoInitializeEx(NULL, installingPage ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED);

    class Installer : public TWInstall
    {
    public:
        // Without a window (silent) no window function is called at all, so
        // the window libraries need not load.
        Installer()
            : m_progressBar(installingPage ? ::GetDlgItem(installingPage, IDC_PROGRESS) : NULL),
              m_statusLine(installingPage ? ::GetDlgItem(installingPage, IDC_STATUS) : NULL)
        {
        }

        // The engine reports before every 4 KiB it writes; the window only
        // hears of changes (a new text waits for the window thread, a new
        // position is posted). Without a window (silent) nothing is sent.
        void OnProgress(SString& text, float fraction) override
        {
            if (!m_statusLine)
                return;
            if (text != m_shownText)
            {
                ::SetWindowTextW(m_statusLine, text.CStr());
                m_shownText = text;
            }
            int position = ProgressPosition(fraction);
            if (position != m_shownPosition)
            {
                ::PostMessageW(m_progressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
                m_shownPosition = position;
            }
        }

    private:
        HWND m_progressBar;
        HWND m_statusLine;
        SString m_shownText;
        int m_shownPosition = -1;
    };

    {
        Installer installer;
        if (installingPage)
            ::PostMessageW(::GetDlgItem(installingPage, IDC_PROGRESS), PBM_SETRANGE, 0, MAKELPARAM(0, 256));
        InstallOptions options;
        SString moduleName = GetNLS(L"ModuleName");
        if (moduleName != L"%MODULENAME%")
            options.moduleName = moduleName;
        options.startMenuShortcut = GetNLS(L"CreateShortcut") == L"true" ? 1 : 0;
        // "/Dir=<folder>": the program folder that an administrator or a
        // package manager chose, explicit as a package's own would be.
        FindSwitch(::GetCommandLineW(), L"/Dir", options.programFolder);
        SString ignored;
        options.allowDowngrade = FindSwitch(::GetCommandLineW(), L"/AllowDowngrade", ignored);
        // "/Update [/WaitForPid=<pid>] [/Restart]": started by the update
        // agent while the application runs; the application starts again
        // after the commit when it asks so.
        options.update = FindSwitch(::GetCommandLineW(), L"/Update", ignored);
        SString pid;
        if (FindSwitch(::GetCommandLineW(), L"/WaitForPid", pid))
            options.waitForPid = wcstoul(pid.CStr(), NULL, 10);
        bool restart = FindSwitch(::GetCommandLineW(), L"/Restart", ignored);
        HRESULT result = installer.Install(options);
        SLog::Line(result == S_OK ? SString(L"succeeded") : L"failed: " + SLog::FailureText());
        lastInstallResult = result;
        if (result == S_OK && (restart || GetNLS(L"StartAtEnd") == L"true"))
            pendingStartCommand = installer.startCommand;
        if (frameWindow)
            ::PostMessageW(frameWindow, result == S_OK ? msgThreadEnd : msgThreadError, 0, 0);
    }
    ::CoUninitialize();
    return 0;
}
