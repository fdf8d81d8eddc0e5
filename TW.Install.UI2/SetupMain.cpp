// TW.Install.UI2: the setup program. Started normally it shows a small wizard
// while it installs; with "/Silent" anywhere in its command line it installs
// without any window. Exit code 0 for success, 1 for a failed install.
#include "InstallThread.h"
#include "SetupWindow.h"

#include "SLibrarySearch.h"
#include "SShell.h"

#include <string.h>

namespace
{
int RunSilent()
{
    InstallThread(NULL);
    if (lastInstallResult != S_OK)
        return 1; // deployment tools read the exit code
    if (!pendingStartCommand.IsEmpty())
        StartProcess(pendingStartCommand);
    return 0;
}
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    RestrictLibrarySearch();
    if (commandLine && strstr(commandLine, "/Silent"))
        return RunSilent();
    return RunSetupWindow();
}
