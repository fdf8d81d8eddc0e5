// Larkspur Viewer, a stand-in for the example product's application: it says
// that it is installed and how it was started.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    std::wstring text = L"Larkspur Viewer is installed and running.\n\nStarted with:\n";
    text += ::GetCommandLineW();
    ::MessageBoxW(NULL, text.c_str(), L"Larkspur Viewer", MB_OK | MB_ICONINFORMATION);
    return 0;
}
