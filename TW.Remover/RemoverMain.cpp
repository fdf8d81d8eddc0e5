// TW.Remover: undoes the installation it lies in. It shows nothing and always
// exits with 0; failures only fill the error record. "/Log" or "/Log=<path>"
// writes what it removed, and what it left and why, into a text file.
#include "InstallNames.h"
#include "TWInstall.h"

#include "SLibrarySearch.h"
#include "SLog.h"
#include "SPath.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictLibrarySearch();
    SString logPath;
    if (SLog::Requested(::GetCommandLineW(), logPath) &&
        SLog::Open(logPath.IsEmpty() ? SLog::DefaultPath(L"TW.Remover Log") : logPath))
        SLog::Line(L"TW.Remover " + ProductVersion() + L" | command line: " + ::GetCommandLineW());
    TWInstall engine;
    if (engine.Uninstall(Combine(DirectoryPart(GetModulePath()), L"Uninstall")) != S_OK)
        SLog::Line(L"nothing removed: " + SLog::FailureText());
    SLog::Line(L"exit code 0");
    return 0;
}
