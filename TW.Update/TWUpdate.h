/* TWUpdate.h: the application's side of its updates, for C and C++ programs
 * installed with the update agent (TW.Update.exe beside the program). Both
 * calls start the agent and wait for it, which may take as long as the
 * network does: call them from a worker thread, not the window's.
 *
 *   wchar_t version[32];
 *   if (TWCheckForUpdate(version, 32) == TW_UPDATE_AVAILABLE)
 *       ... offer "Restart to update" ...
 *   if (TWApplyUpdateOnExit(TRUE) == TW_UPDATE_STARTED)
 *       ... close the application: the update is placed once it has ended,
 *           and the new version starts ...
 *
 * A program in another language does the same with two command lines and
 * their exit codes:
 *   TW.Update.exe /Check                              0 current, 2 update, 1 failed;
 *                                                     prints "current <v>" or "update <v>"
 *   TW.Update.exe /Apply /WaitForPid=<pid> /Restart   0 started, 1 failed
 */
#ifndef TW_UPDATE_H
#define TW_UPDATE_H

#include <windows.h>

#define TW_UPDATE_CURRENT 0   /* the installed version is the feed's */
#define TW_UPDATE_STARTED 0   /* the setup program waits for this process to end */
#define TW_UPDATE_FAILED 1    /* no agent, no network, or a feed that failed its checks */
#define TW_UPDATE_AVAILABLE 2 /* the feed offers another version */

/* Runs the agent beside this program with the switches; its exit code, and
 * its first line of output in line (lineChars units with the ending zero). */
static __inline int TWRunUpdateAgent(const wchar_t* switches, wchar_t* line, DWORD lineChars)
{
    wchar_t command[2 * MAX_PATH + 64];
    wchar_t* name;
    DWORD length = GetModuleFileNameW(NULL, command + 1, MAX_PATH);
    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), NULL, TRUE};
    HANDLE reading = NULL, writing = NULL;
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    char output[256];
    DWORD read = 0, got = 0, code = TW_UPDATE_FAILED, i;
    if (line && lineChars)
        line[0] = 0;
    if (!length || length >= MAX_PATH || !CreatePipe(&reading, &writing, &inherit, 0))
        return TW_UPDATE_FAILED;
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    command[0] = L'"';
    name = command + length;
    while (name > command + 1 && name[-1] != L'\\')
        --name;
    lstrcpyW(name, L"TW.Update.exe\" ");
    lstrcatW(name, switches);
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writing;
    startup.hStdError = writing;
    if (CreateProcessW(NULL, command, NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL, &startup, &process))
    {
        CloseHandle(writing);
        writing = NULL;
        while (read < sizeof(output) - 1 &&
               ReadFile(reading, output + read, sizeof(output) - 1 - read, &got, NULL) && got)
            read += got;
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (writing)
        CloseHandle(writing);
    CloseHandle(reading);
    for (i = 0; line && i + 1 < lineChars && i < read && output[i] != '\r' && output[i] != '\n'; ++i)
        line[i] = (wchar_t)(unsigned char)output[i];
    if (line && lineChars)
        line[i < lineChars ? i : lineChars - 1] = 0;
    return (int)code;
}

/* Asks the release feed. version receives the feed's version (or is empty). */
static __inline int TWCheckForUpdate(wchar_t* version, DWORD versionChars)
{
    wchar_t line[64];
    const wchar_t* space;
    int result = TWRunUpdateAgent(L"/Check", line, 64);
    if (version && versionChars)
    {
        version[0] = 0;
        for (space = line; *space && *space != L' '; ++space)
            ;
        if (*space && result != TW_UPDATE_FAILED)
            lstrcpynW(version, space + 1, (int)versionChars);
    }
    return result;
}

/* Fetches and checks the new version's setup program and starts it; it
 * stages the update now and places it once this process has ended, then
 * starts the application again when restart is TRUE. */
static __inline int TWApplyUpdateOnExit(BOOL restart)
{
    wchar_t switches[64];
    wsprintfW(switches, L"/Apply /WaitForPid=%lu%s", GetCurrentProcessId(), restart ? L" /Restart" : L"");
    return TWRunUpdateAgent(switches, NULL, 0) == 0 ? TW_UPDATE_STARTED : TW_UPDATE_FAILED;
}

#endif
