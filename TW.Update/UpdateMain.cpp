// TW.Update: the update agent, which lies beside the application it updates.
// "/Check" prints "update <version>" and exits 2 when the release feed offers
// another version, or prints "current <version>" and exits 0. "/Apply
// [/WaitForPid=<pid>] [/Restart]" checks as well, fetches and checks the
// feed's setup program, starts it as "/Silent /Update" with the same
// switches, and exits 0 without waiting for it: the application may then
// close, and the setup program places the new version once it has. Any
// failure changes nothing, prints the error's identifier and lines on the
// standard error, and exits 1. "/Log" or "/Log=<path>" writes what it does
// into a text file.
#include "AgentFiles.h"
#include "FeedCheck.h"
#include "Installation.h"
#include "SetupFetch.h"

#include "SCommandLine.h"
#include "SError.h"
#include "SLibrarySearch.h"
#include "SLog.h"

#include <string>
#include <vector>

namespace
{
void Print(DWORD stream, const SString& line)
{
    std::string text = Ascii(line) + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(stream), text.data(), static_cast<DWORD>(text.size()), &written, NULL);
}

int Finish(int exitCode)
{
    SLog::Line(L"exit code " + SString::FromInt(exitCode));
    return exitCode;
}

int Fail()
{
    SLog::Line(L"failed: " + SLog::FailureText());
    Print(STD_ERROR_HANDLE, SError::Identifier());
    for (int i = 0; i < SError::Messages().Count(); ++i)
        Print(STD_ERROR_HANDLE, SError::Messages()[i]);
    return Finish(1);
}

void StartLog(const SString& commandLine)
{
    SString path;
    if (!SLog::Requested(commandLine, path) ||
        !SLog::Open(path.IsEmpty() ? SLog::DefaultPath(L"TW.Update Log") : path))
        return;
    SLog::Line(L"TW.Update | command line: " + commandLine + L" | feed: " + TW_FEED_URL);
}

// "/WaitForPid=<pid>": a process number, passed on as it is.
HRESULT ReadPid(const SString& commandLine, SString& pid)
{
    if (!FindSwitch(commandLine, L"/WaitForPid", pid))
        return S_OK;
    bool digits = pid.Length() > 0 && pid.Length() <= 10;
    for (int i = 0; digits && i < pid.Length(); ++i)
        digits = pid[i] >= L'0' && pid[i] <= L'9';
    if (digits)
        return S_OK;
    SERROR_SET("Update.Switch").Add(L"/WaitForPid takes a process number: " + pid);
    return E_FAIL;
}

// The setup programs of earlier updates, which have ended by now.
void DeleteEarlierSetups(const Installation& installation)
{
    WIN32_FIND_DATAW found;
    SFind find(::FindFirstFileW((installation.updates + L"\\Setup *.exe").CStr(), &found));
    for (bool more = find.IsValid(); more; more = ::FindNextFileW(find.Get(), &found) != 0)
        ::DeleteFileW((installation.updates + L"\\" + found.cFileName).CStr());
}

HRESULT StartSetup(const SString& commandLine)
{
    std::vector<wchar_t> writable(commandLine.CStr(), commandLine.CStr() + commandLine.Length() + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(NULL, &writable[0], NULL, NULL, FALSE, DETACHED_PROCESS, NULL, NULL, &startup, &process))
    {
        SERROR_SET_SYSTEM("Update.Start").Add(commandLine);
        return E_FAIL;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    SLog::Line(L"setup program started: " + commandLine);
    return S_OK;
}

HRESULT Apply(const SString& commandLine, const Installation& installation, const ReleaseFeed& feed,
              FeedVerdict verdict)
{
    SString pid;
    S_RETURN_IF_FAILED(ReadPid(commandLine, pid));
    DeleteEarlierSetups(installation);
    SString path;
    SFile held;
    S_RETURN_IF_FAILED(FetchSetup(feed, installation, path, held));
    SString setup = L"\"" + path + L"\" /Silent /Update /Log=\"" + installation.updates + L"\\Setup.log\"";
    // The publisher withdrew the installed version and signed the older one.
    if (verdict == FeedWithdrawn)
        setup += L" /AllowDowngrade";
    if (!pid.IsEmpty())
        setup += L" /WaitForPid=" + pid;
    SString ignored;
    if (FindSwitch(commandLine, L"/Restart", ignored))
        setup += L" /Restart";
    return StartSetup(setup);
}

int Run(const SString& commandLine)
{
    SString ignored;
    bool apply = FindSwitch(commandLine, L"/Apply", ignored);
    if (!apply && !FindSwitch(commandLine, L"/Check", ignored))
    {
        SERROR_SET("Update.Switch").Add(L"usage: TW.Update.exe /Check | /Apply [/WaitForPid=<pid>] [/Restart]");
        return Fail();
    }
    Installation installation;
    ReleaseFeed feed;
    FeedVerdict verdict = FeedCurrent;
    if (FindInstallation(installation) != S_OK || CheckFeed(installation, feed, verdict) != S_OK)
        return Fail();
    if (verdict == FeedCurrent)
    {
        Print(STD_OUTPUT_HANDLE, L"current " + feed.version);
        return Finish(0);
    }
    if (apply && Apply(commandLine, installation, feed, verdict) != S_OK)
        return Fail();
    Print(STD_OUTPUT_HANDLE, L"update " + feed.version);
    return Finish(apply ? 0 : 2);
}
} // namespace

int main()
{
    RestrictLibrarySearch();
    SString commandLine = ::GetCommandLineW();
    StartLog(commandLine);
    return Run(commandLine);
}
