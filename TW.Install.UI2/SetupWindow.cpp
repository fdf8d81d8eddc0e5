#include "SetupWindow.h"

#include "ExitCode.h"
#include "InstallThread.h"
#include "SetupIds.h"

#include "SCancel.h"
#include "SError.h"
#include "SHttpClient.h"
#include "SHttpProxySignIn.h"
#include "SLog.h"
#include "SNls.h"
#include "SShell.h"

#include <commctrl.h>

HWND frameWindow = NULL;
HWND installingPage = NULL;
HWND finishedPage = NULL;
HWND currentPage = NULL;
SString pendingStartCommand;
// Registered before the install thread starts, so both threads agree on them;
// not while static objects are made, which is before the library search is
// restricted.
UINT msgThreadEnd = 0;
UINT msgThreadError = 0;

namespace
{
// Derived from the control's own dialog font, which the dialog manager makes
// for the screen's DPI; the stock GUI font stays at 96 DPI sizes.
HFONT CreateTitleFont(HWND control, bool big)
{
    LOGFONTW font = {};
    HGDIOBJ dialogFont = reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0));
    ::GetObjectW(dialogFont ? dialogFont : ::GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
    font.lfHeight = big ? font.lfHeight * 3 / 2 : font.lfHeight + 1;
    font.lfWeight = 600;
    return ::CreateFontIndirectW(&font);
}

void StartThread(SIZE_T stackSize)
{
    HANDLE thread = ::CreateThread(NULL, stackSize, InstallThread, NULL, 0, NULL);
    if (thread)
        ::CloseHandle(thread);
}

// A message of the install thread that came while the user was asked
// whether to cancel; handled once the question is answered.
bool g_asking = false;
UINT g_deferredMessage = 0;

void ShowFailure()
{
    if (SCancel::IsCancelled())
    {
        ::PostQuitMessage(exitCancelled); // the user's own cancel: rolled back, nothing to report
        return;
    }
    SString text = SError::Text();
    SString caption = GetNLS(L"Install.Failed");
    int exitCode = ExitCodeForFailure(); // before a Retry could change the record
    if (::MessageBoxW(frameWindow, text.CStr(), caption.CStr(), MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY)
        StartThread(0);
    else
        ::PostQuitMessage(exitCode);
}

// Closing the window during the install asks first; a cancel is carried out
// by the install thread, which rolls back before the program ends. The
// install waits at its next checkpoint while the question is open.
void AskToCancel()
{
    if (g_asking || SCancel::IsCancelled())
        return;
    g_asking = true;
    SCancel::Hold();
    SString question = GetNLS(L"Install.CancelQuestion");
    SString caption = GetNLS(L"Application.Title");
    bool cancel = ::MessageBoxW(frameWindow, question.CStr(), caption.CStr(),
                                MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES &&
                  g_deferredMessage != msgThreadEnd; // an install that has ended is not undone
    SCancel::Answer(cancel);
    g_asking = false;
    if (cancel)
    {
        SLog::Line(L"cancelled by the user");
        ::ShowWindow(frameWindow, SW_HIDE);
    }
    if (g_deferredMessage)
        ::PostMessageW(frameWindow, g_deferredMessage, 0, 0);
    g_deferredMessage = 0;
}

void CentreOnDesktop(HWND window)
{
    RECT desktop, frame;
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    ::GetWindowRect(window, &frame);
    int x = desktop.left + ((desktop.right - desktop.left) - (frame.right - frame.left)) / 2;
    int y = desktop.top + ((desktop.bottom - desktop.top) - (frame.bottom - frame.top)) / 2;
    ::SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
} // namespace

void DialogItem::SetNLSText(const wchar_t* key) const
{
    ::SetWindowTextW(m_control, GetNLS(key).CStr());
}

void DialogItem::SetTitleFont() const
{
    static HFONT font = CreateTitleFont(m_control, false);
    ::SendMessageW(m_control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void DialogItem::SetBigTitleFont() const
{
    static HFONT font = CreateTitleFont(m_control, true);
    ::SendMessageW(m_control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

SString WithLineBreaks(const SString& text)
{
    SString shown(text);
    shown.Replace(L"\\n", L"\r\n");
    return shown;
}

void UpdatePage()
{
    HWND next = ::GetDlgItem(frameWindow, 1);
    HWND cancel = ::GetDlgItem(frameWindow, 2);
    if (currentPage == installingPage)
    {
        for (HWND button : {next, cancel})
        {
            ::EnableWindow(button, FALSE);
            ::ShowWindow(button, SW_HIDE);
        }
    }
    else if (currentPage == finishedPage)
    {
        ::EnableWindow(next, TRUE);
        ::ShowWindow(next, SW_SHOW);
        ::EnableWindow(cancel, FALSE);
        ::ShowWindow(cancel, SW_HIDE);
        bool start = !pendingStartCommand.IsEmpty();
        DialogItem(next).SetNLSText(start ? L"Start" : L"Finish");
        ::SetWindowTextW(::GetDlgItem(finishedPage, IDC_LAST_TEXT),
                         WithLineBreaks(GetNLS(start ? L"Last.TextStart" : L"Last.Text")).CStr());
        if (start)
        {
            StartProcess(pendingStartCommand);
            ::PostQuitMessage(0);
        }
    }
    ::ShowWindow(currentPage, SW_SHOW);
}

INT_PTR CALLBACK SetupDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
    {
        RECT client;
        ::GetClientRect(window, &client);
        ::FillRect(reinterpret_cast<HDC>(wParam), &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        return 1;
    }
    if (message == WM_CTLCOLORSTATIC)
        return reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
    if (message == WM_CLOSE && window == frameWindow && currentPage == installingPage)
    {
        AskToCancel();
        return 1; // not the dialog's own Cancel, which would end the program with 0
    }
    if (g_asking && (message == msgThreadEnd || message == msgThreadError))
    {
        g_deferredMessage = message;
        return 0;
    }
    if (message == WM_COMMAND)
    {
        switch (LOWORD(wParam))
        {
        case 1:
            ::ShowWindow(currentPage, SW_HIDE);
            if (currentPage == finishedPage)
            {
                StartProcess(pendingStartCommand);
                ::PostQuitMessage(0);
            }
            ::ShowWindow(currentPage, SW_SHOW);
            return 0;
        case 2:
            // A Cancel during the install (Esc, automation) is a close: it
            // asks, and a cancelled install is rolled back and ends with 1.
            if (currentPage == installingPage)
                AskToCancel();
            else
                ::PostQuitMessage(0);
            return 1;
        default:
            if (HIWORD(wParam) == 0)
                UpdatePage();
            return 0;
        }
    }
    if (message == msgThreadEnd)
    {
        // A cancel that came after the last checkpoint hid the frame of an
        // install that has completed: it shows how it ended.
        ::ShowWindow(frameWindow, SW_SHOW);
        ::ShowWindow(currentPage, SW_HIDE);
        currentPage = finishedPage;
        UpdatePage();
        ::ShowWindow(currentPage, SW_SHOW);
        return 0;
    }
    if (message == msgThreadError)
    {
        ShowFailure();
        return 0;
    }
    return 0;
}

int RunSetupWindow()
{
    msgThreadEnd = ::RegisterWindowMessageW(L"TWInstalThreadEnd");
    msgThreadError = ::RegisterWindowMessageW(L"TWInstalThreadError");
    ::InitCommonControls();
    HINSTANCE instance = ::GetModuleHandleW(NULL);
    frameWindow = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_FRAME), NULL, SetupDialogProc, 0);
    installingPage = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_INSTALLING), frameWindow, SetupDialogProc, 0);
    finishedPage = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_FINISHED), frameWindow, SetupDialogProc, 0);
    SetProxySignInWindow(frameWindow);
    currentPage = NULL;
    DialogItem(installingPage, IDC_INSTALL_TITLE).SetTitleFont();
    DialogItem(finishedPage, IDC_LAST_TITLE).SetBigTitleFont();
    CentreOnDesktop(frameWindow);
    ::ShowWindow(frameWindow, SW_SHOW);
    DialogItem(frameWindow).SetNLSText(L"Application.Title");
    DialogItem(installingPage, IDC_INSTALL_TITLE).SetNLSText(L"Install.Title");
    DialogItem(installingPage, IDC_INSTALL_TEXT).SetNLSText(L"Install.Text");
    DialogItem(finishedPage, IDC_LAST_TITLE).SetNLSText(L"Last.Title");
    currentPage = installingPage;
    UpdatePage();
    StartThread(0xA00000);
    MSG message;
    while (::GetMessageW(&message, NULL, 0, 0) > 0)
    {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
