#pragma once
// Shell services: shortcut files, the user's special folders, starting a
// program. Folder functions return empty text when the shell has no folder.
#include "SString.h"

// Writes a shortcut through the Shell Link object (COM must be initialised on
// the calling thread), with the application's AppUserModelID when one is
// given, which taskbar grouping, jump lists and notifications go by. Fails
// with "TWCreateShortcut.Save" when the file was not written; a shell that
// cannot keep the ID (Wine's keeps none) still gets the shortcut.
HRESULT TWCreateShortcut(const SString& target, const SString& arguments, const SString& icon, const SString& file,
                         const SString& description, const SString& appUserModelId = SString());
// Tells the shell, and Explorer's windows, that file associations changed.
void NotifyAssociationsChanged();
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
