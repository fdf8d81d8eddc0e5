#include "FilesInUse.h"

#include "SFolderWalk.h"
#include "SHandle.h"
#include "SLog.h"
#include "SPath.h"

#include <restartmanager.h>

#include <vector>

namespace
{
// Every file below the folders but the running program and the log.
class FileLister : public SFolderVisitor
{
public:
    SStringList files;
    bool Visit(Kind kind, const SString& path, const WIN32_FIND_DATAW&) override
    {
        if (kind == File && lstrcmpiW(path.CStr(), GetModulePath().CStr()) != 0 &&
            lstrcmpiW(path.CStr(), SLog::Path().CStr()) != 0)
            files.Append(path);
        return true;
    }
};

// What the Restart Manager knows; nothing where it does not answer.
SStringList AskRestartManager(const SStringList& files)
{
    SStringList programs;
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {0};
    if (::RmStartSession(&session, 0, key) != ERROR_SUCCESS)
        return programs;
    std::vector<LPCWSTR> names;
    for (int i = 0; i < files.Count(); ++i)
        names.push_back(files[i].CStr());
    UINT needed = 0;
    UINT count = 0;
    DWORD reasons = 0;
    std::vector<RM_PROCESS_INFO> processes;
    if (!names.empty() &&
        ::RmRegisterResources(session, static_cast<UINT>(names.size()), &names[0], 0, NULL, 0, NULL) ==
            ERROR_SUCCESS &&
        ::RmGetList(session, &needed, &count, NULL, &reasons) == ERROR_MORE_DATA && needed)
    {
        processes.resize(needed);
        count = needed;
        if (::RmGetList(session, &needed, &count, &processes[0], &reasons) != ERROR_SUCCESS)
            count = 0;
        for (UINT i = 0; i < count; ++i)
            if (processes[i].Process.dwProcessId != ::GetCurrentProcessId())
                programs.AppendOnce(processes[i].strAppName);
    }
    ::RmEndSession(session);
    return programs;
}

// Write access without sharing: a running program's image refuses it even
// where a plain exclusive read would be granted (under Wine). Nothing is
// written.
bool IsInUse(const SString& path)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL));
    DWORD error = file.IsValid() ? ERROR_SUCCESS : ::GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}
} // namespace

SStringList ProgramsUsingFiles(const SStringList& folders)
{
    FileLister lister;
    for (int i = 0; i < folders.Count(); ++i)
        WalkFolder(folders[i], lister);
    const SStringList& files = lister.files;
    SStringList programs = AskRestartManager(files);
    if (programs.Count())
        return programs;
    for (int i = 0; i < files.Count(); ++i)
        if (IsInUse(files[i]))
            programs.AppendOnce(FileNamePart(files[i]));
    return programs;
}
