// TW.Remover: undoes the installation it lies in. It removes nothing while a
// program uses the installation's files: it then asks the user to close them
// (the one window it ever shows; "/Silent" shows none) and exits with 1 when
// the user cancels or nobody can be asked. Otherwise it exits with 0, and
// failures only fill the error record. "/Log" or "/Log=<path>" writes what it
// removed, and what it left and why, into a text file.
#include "InstallNames.h"
#include "TWInstall.h"

#include "SError.h"
#include "SLibrarySearch.h"
#include "SLog.h"
#include "SPath.h"

#include <string.h>

namespace
{
int Finish(int exitCode)
{
    SLog::Line(L"exit code " + SString::FromInt(exitCode));
    return exitCode;
}

// Retry or Cancel, naming the programs that the error record lists.
bool AskToCloseThem()
{
    SString product = TW_PRODUCT_NAME_TEXT;
    SString text = product + L" cannot be removed while these programs use it:\n";
    for (int i = 0; i < SError::Messages().Count(); ++i)
        text += L"\n" + SError::Messages()[i];
    text += L"\n\nClose them, then click Retry. Cancel keeps the installation as it is.";
    return ::MessageBoxW(NULL, text.CStr(), (product + L" Remover").CStr(), MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY;
}
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    RestrictLibrarySearch();
    SString logPath;
    if (SLog::Requested(::GetCommandLineW(), logPath) &&
        SLog::Open(logPath.IsEmpty() ? SLog::DefaultPath(L"TW.Remover Log") : logPath))
        SLog::Line(L"TW.Remover " + ProductVersion() + L" | command line: " + ::GetCommandLineW());
    bool silent = commandLine && strstr(commandLine, "/Silent");
    TWInstall engine;
    SString actions = Combine(DirectoryPart(GetModulePath()), L"Uninstall");
    while (engine.Uninstall(actions) != S_OK)
    {
        SLog::Line(L"nothing removed: " + SLog::FailureText());
        if (SError::Identifier() != L"Uninstall.InUse")
            return Finish(0);
        if (silent || !AskToCloseThem())
            return Finish(1); // the entry stays, so that the user can try again
    }
    return Finish(0);
}
