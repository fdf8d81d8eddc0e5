// Larkspur Viewer, a stand-in for the example product's application: it says
// that it is installed, which version it is, how it was started, and which
// picture it shows when the shell started it for a file of its type
// (".lkv"). Its button asks the release feed for updates (TWUpdate.h) and,
// when there is one, offers to restart into it.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "TWUpdate.h"

namespace
{
const int g_buttonId = 1;
HWND g_status;
HWND g_button;
bool g_updateReady = false;

std::wstring Description()
{
    std::wstring text = L"Larkspur Viewer " TW_EXAMPLE_VERSION L" is installed and running.\r\n\r\n";
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (arguments && count > 1 && arguments[1][0] != L'/')
        text += L"Showing the picture:\r\n" + std::wstring(arguments[1]) + L"\r\n\r\n";
    ::LocalFree(arguments);
    return text + L"Started with:\r\n" + ::GetCommandLineW();
}

// The agent waits for the network: the window's thread only waits when the
// user asked for it, with the wait cursor.
void CheckOrRestart(HWND window)
{
    HCURSOR previous = ::SetCursor(::LoadCursorW(NULL, IDC_WAIT));
    if (g_updateReady)
    {
        if (TWApplyUpdateOnExit(TRUE) == TW_UPDATE_STARTED)
            ::DestroyWindow(window);
        else
            ::SetWindowTextW(g_status, L"The update could not be started. Try again later.");
        ::SetCursor(previous);
        return;
    }
    wchar_t version[32];
    int result = TWCheckForUpdate(version, 32);
    ::SetCursor(previous);
    if (result == TW_UPDATE_AVAILABLE)
    {
        ::SetWindowTextW(g_status, (L"Version " + std::wstring(version) + L" is available.").c_str());
        ::SetWindowTextW(g_button, L"Restart to update");
        g_updateReady = true;
    }
    else
        ::SetWindowTextW(g_status, result == TW_UPDATE_CURRENT ? L"This is the newest version."
                                                                : L"Updates cannot be checked now.");
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && LOWORD(wParam) == g_buttonId)
        CheckOrRestart(window);
    else if (message == WM_DESTROY)
        ::PostQuitMessage(0);
    else
        return ::DefWindowProcW(window, message, wParam, lParam);
    return 0;
}

HWND Child(HWND parent, const wchar_t* kind, const wchar_t* text, DWORD style, int y, int height, int id = 0)
{
    HWND child = ::CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, 16, y, 448, height, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), NULL, NULL);
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show)
{
    WNDCLASSW kind = {};
    kind.lpfnWndProc = WindowProc;
    kind.hInstance = instance;
    kind.hCursor = ::LoadCursorW(NULL, IDC_ARROW);
    kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    kind.lpszClassName = L"LarkspurViewer";
    ::RegisterClassW(&kind);
    HWND window = ::CreateWindowExW(0, kind.lpszClassName, L"Larkspur Viewer", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                    CW_USEDEFAULT, CW_USEDEFAULT, 496, 300, NULL, NULL, instance, NULL);
    Child(window, L"STATIC", Description().c_str(), 0, 16, 150);
    g_status = Child(window, L"STATIC", L"", 0, 176, 24);
    g_button = Child(window, L"BUTTON", L"Check for updates", BS_PUSHBUTTON, 208, 28, g_buttonId);
    ::ShowWindow(window, show);
    MSG message;
    while (::GetMessageW(&message, NULL, 0, 0) > 0)
    {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
