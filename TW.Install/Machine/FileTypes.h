#pragma once
// File types and App Paths under HKEY_CURRENT_USER: the names, what a package
// may name, and their removal. The user's own choice of program for a type
// (the shell's "UserChoice") is never written and never taken away.
#include "SString.h"

// "." and 1 to 16 letters, digits, "-" or "_".
bool IsValidExtension(const SString& extension);
// "Vendor.Name" or "Vendor.Name.Version": parts of letters, digits and "_",
// the first beginning with a letter, the version digits only; at most 39.
bool IsValidProgId(const SString& progId);
// "Software\Classes\" + a ProgID or an extension.
SString ClassesKeyPath(const SString& name);
// Where the shell keeps the user's choice of program for the extension.
SString UserChoiceKeyPath(const SString& extension);
// "Software\Microsoft\Windows\CurrentVersion\App Paths\" + the program's file name.
SString AppPathKeyPath(const SString& programFile);
// The undo action's argument for a file type: extension + "|" + ProgID, and back.
SString FileTypeAction(const SString& extension, const SString& progId);
bool ParseFileTypeAction(const SString& argument, SString& extension, SString& progId);
// Removes the ProgID and its "Open with" entry; the extension's default only
// when it is still the ProgID (the user may have chosen another program since),
// and the extension's key only when nothing else is left in it.
HRESULT UnregisterFileType(const SString& extension, const SString& progId);
