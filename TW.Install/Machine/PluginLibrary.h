#pragma once
// The contract of the browser plug-in libraries: exports "TWInstall" and
// "TWUninstall", each int __stdcall (const wchar_t* ownPath, int perMachine),
// 0 for success.
#include "SString.h"

// Loads the library, calls the export with its own path and the flag, and
// unloads it again whatever happens. Fails with "TWDLLInstall.LoadLibrary"
// or missingExportId (system text, then the path); otherwise `result` holds
// what the entry returned.
HRESULT CallPluginEntry(const SString& path, const char* exportName, const char* missingExportId, DWORD perMachine,
                        int& result);
