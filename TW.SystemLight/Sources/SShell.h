#pragma once
// Shell services: shortcut files, the user's special folders, starting a
// program. Folder functions return empty text when the shell has no folder.
#include "SString.h"

// Writes a shortcut through the Shell Link object (COM must be initialised on
// the calling thread). Fails with "TWCreateShortcut.Save" when the file was
// not written.
HRESULT TWCreateShortcut(const SString& target, const SString& arguments, const SString& icon, const SString& file,
                         const SString& description);
SString GetDesktopFolder();
SString GetStartMenuFolder();
SString GetLocalAppDataFolder();
// The LocalLow folder; the local application-data folder on systems without
// known folders.
SString GetLocalAppDataLowFolder();
// The known folder of that FOLDERID ("{...}"); empty where the system has none.
SString GetKnownFolder(const wchar_t* folderId);
// Starts the command line without waiting; failures are swallowed. Returns 0.
HRESULT StartProcess(const SString& commandLine);
