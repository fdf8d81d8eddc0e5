#pragma once
// The remover's procedure and the parts it is made of. It links the
// machine's names, protected folders, files in use and plug-in calls, and
// nothing of the install itself: no package, no download, no transaction.
#include "SString.h"

class Remover
{
public:
    // Undoes the installation whose "Uninstall" file is at actionsPath.
    HRESULT Uninstall(const SString& actionsPath);
    HRESULT UnregisterInstall(DWORD perMachine, const SString& deploymentId);
    HRESULT UnregisterUri(const SString& scheme);
    HRESULT DLLUninstall(const SString& libraryPath, DWORD perMachine);
    // Reads exactly size bytes; fails with "SafeRead" at the end of the file.
    HRESULT SafeRead(HANDLE file, void* buffer, DWORD size);
};
