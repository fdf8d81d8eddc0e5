// Larkspur Viewer, a stand-in for the example product's application: it says
// that it is installed, how it was started, and which picture it shows when
// the shell started it for a file of its type (".lkv").
#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    std::wstring text = L"Larkspur Viewer is installed and running.\n\n";
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (arguments && count > 1 && arguments[1][0] != L'/')
        text += L"Showing the picture:\n" + std::wstring(arguments[1]) + L"\n\n";
    ::LocalFree(arguments);
    text += L"Started with:\n";
    text += ::GetCommandLineW();
    ::MessageBoxW(NULL, text.c_str(), L"Larkspur Viewer", MB_OK | MB_ICONINFORMATION);
    return 0;
}
