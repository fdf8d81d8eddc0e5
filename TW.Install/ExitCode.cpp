#include "ExitCode.h"

#include "SError.h"

int ExitCodeForFailure()
{
    const SString& identifier = SError::Identifier();
    if (identifier == L"Install.Cancelled")
        return exitCancelled;
    if (identifier == L"Install.Busy")
        return exitBusy;
    if (identifier == L"Install.InUse")
        return exitInUse;
    if (identifier == L"Install.Downgrade")
        return exitDowngrade;
    DWORD code = SError::SystemCode();
    if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL)
        return exitDiskFull;
    return exitFailed;
}
