#pragma once
// The remover's procedure and the parts it is made of. It links the
// machine's names, protected folders, files in use and plug-in calls, and
// nothing of the install itself: no package, no download, no transaction.
#include "SString.h"

class Remover
{
public:
    Remover() : m_associationsChanged(false) {}
    // Undoes the installation whose "Uninstall" file is at actionsPath.
    HRESULT Uninstall(const SString& actionsPath);
    HRESULT UnregisterInstall(DWORD perMachine, const SString& deploymentId);
    HRESULT UnregisterUri(const SString& scheme);
    // ".ext|Vendor.Name": the file type that the install registered.
    HRESULT UnregisterFileType(const SString& argument);
    // "<module>.exe": the program's App Paths entry.
    HRESULT UnregisterAppPath(const SString& programFile);
    HRESULT DLLUninstall(const SString& libraryPath, DWORD perMachine);
    // Reads exactly size bytes; fails with "SafeRead" at the end of the file.
    HRESULT SafeRead(HANDLE file, void* buffer, DWORD size);

private:
    bool m_associationsChanged; // the shell is told once, after every action
};
