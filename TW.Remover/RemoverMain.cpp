// TW.Remover: undoes the installation it lies in. It removes nothing while a
// program uses the installation's files: it then asks the user to close them
// and exits with 1 when the user cancels or nobody can be asked. It removes
// nothing either when its files beside it (".deployment", "Uninstall") are
// damaged, or missing while an entry of another installation is there, or
// while a setup of it has not ended: it then says why and exits with 1. An
// entry that starts it while those files are gone is all that is left of
// its installation: it offers to remove the entry alone (with "/Silent" it
// says so in the log and exits with 1). "/Silent" shows no
// window. Once it has started removing, it exits with 0, and failures of
// single items only fill the error record. "/Log" or "/Log=<path>" writes
// what it removed, and what it left and why, into a text file.
#include "Names.h"
#include "OrphanEntry.h"
#include "Remover.h"
#include "SelfRemoval.h"

#include "SError.h"
#include "SLibrarySearch.h"
#include "SLog.h"
#include "SPath.h"
#include "SRegistry.h"

#include <string.h>

namespace
{
int Finish(int exitCode)
{
    SLog::Line(L"exit code " + SString::FromInt(exitCode));
    return exitCode;
}

// The remover's box: what stands in the way, as the error record lists it.
int ShowBox(const wchar_t* intro, const wchar_t* ending, UINT flags)
{
    SString product = TW_PRODUCT_NAME_TEXT;
    SString text = product + intro;
    for (int i = 0; i < SError::Messages().Count(); ++i)
        text += L"\n" + SError::Messages()[i];
    text += ending;
    return ::MessageBoxW(NULL, text.CStr(), (product + L" Remover").CStr(), flags);
}

// Retry or Cancel, naming the programs in the way.
bool AskToCloseThem()
{
    return ShowBox(L" cannot be removed while these programs use it:\n",
                   L"\n\nClose them, then click Retry. Cancel keeps the installation as it is.",
                   MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY;
}

// Yes or No to removing an entry whose installation is gone.
bool AskToRemoveTheEntry()
{
    return ShowBox(L" is no longer installed: its files are gone, only its entry in the list of installed "
                   L"programs is left.",
                   L"\n\nRemove the entry from the list?", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// The entry alone goes, and the remover after it, when the user says so.
int RemoveOrphanEntry(HKEY root, const SString& entry, bool silent)
{
    if (silent)
    {
        SERROR_SET("Uninstall.Orphan")
            .Add(entry)
            .Add(L"Only the entry of this installation is left. Run the remover without /Silent to remove it.");
        SLog::Line(L"nothing removed: " + SLog::FailureText());
        return Finish(1);
    }
    if (!AskToRemoveTheEntry())
        return Finish(1);
    DeleteKeyTree(root, entry);
    SLog::Line(L"entry removed alone, its installation being gone: " + entry);
    StartSelfRemoval(GetModulePath(), SStringList());
    return Finish(0);
}

// Why nothing was removed.
void ShowFailure()
{
    ShowBox(L" cannot be removed:\n",
            L"\n\nNothing was removed. Run the setup program again to repair the installation, then remove it.",
            MB_OK | MB_ICONERROR);
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
    Remover engine;
    SString actions = Combine(DirectoryPart(GetModulePath()), L"Uninstall");
    HKEY orphanRoot = NULL;
    SString orphan;
    if (FindOrphanEntry(DirectoryPart(actions), orphanRoot, orphan))
        return RemoveOrphanEntry(orphanRoot, orphan, silent);
    while (engine.Uninstall(actions) != S_OK)
    {
        SLog::Line(L"nothing removed: " + SLog::FailureText());
        if (SError::Identifier() != L"Uninstall.InUse")
        {
            if (!silent)
                ShowFailure();
            return Finish(1);
        }
        if (silent || !AskToCloseThem())
            return Finish(1); // the entry stays, so that the user can try again
    }
    return Finish(0);
}
