// TW.Install.UI2: the setup program. Started normally it shows a small wizard
// while it installs; with "/Silent" anywhere in its command line it installs
// without any window. Exit code 0 for success; for a failed or cancelled
// install, which has been rolled back by then, 1 or a more specific code
// (ExitCode.h).
// "/Log" writes what the install does into a text file.
#include "InstallThread.h"
#include "SetupWindow.h"

#include "ExitCode.h"
#include "Names.h"

#include "SLibrarySearch.h"
#include "SLog.h"
#include "SNls.h"
#include "SShell.h"

#include <string.h>

namespace
{
// "/Log" or "/Log=<path>" anywhere asks for the administrator's log; its
// first lines say what runs and in which language.
void StartLog()
{
    SString path;
    if (!SLog::Requested(::GetCommandLineW(), path))
        return;
    if (!SLog::Open(path.IsEmpty() ? SLog::DefaultPath(GetNLS(L"DisplayName") + L" Setup Log") : path))
        return;
    SLog::Line(L"TW.Install.UI2 " + ProductVersion() + L" | command line: " + ::GetCommandLineW());
    LANGID language = ::GetUserDefaultLangID();
    SLog::Line(L"user language: " + SString::FromInt(language) + L" | table: " +
               SString::FromInt(NLSVariantLanguage(::GetModuleHandleW(NULL), language)));
}

int Finish(int exitCode)
{
    SLog::Line(L"exit code " + SString::FromInt(exitCode));
    return exitCode;
}

int RunSilent()
{
    InstallThread(NULL);
    if (lastInstallResult != S_OK)
        return ExitCodeForFailure(); // deployment tools read the exit code
    if (!pendingStartCommand.IsEmpty())
        StartProcess(pendingStartCommand);
    return 0;
}
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    RestrictLibrarySearch();
    StartLog();
    if (commandLine && strstr(commandLine, "/Silent"))
        return Finish(RunSilent());
    return Finish(RunSetupWindow());
}
