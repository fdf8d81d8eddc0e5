#pragma once
// Folders that the product must never take as its own: removing one would
// wipe a drive, the system or the user's own files.
#include "SString.h"

// The path made absolute, without ".." or "." levels, 8.3 names or a
// trailing backslash; the path as given when the system cannot say.
SString NormalFolderPath(const SString& path);
// True for drive and share roots, the Windows and system folders, the
// user-profile folders, the shell's own special folders, and every folder
// that holds one of them (the profile's "AppData", "C:\Users").
bool IsProtectedFolder(const SString& folder);
// True when both are the same path but for letter case; never for an empty one.
bool IsSamePath(const SString& a, const SString& b);
// True when an item of the list is the same path but for letter case.
bool ContainsPath(const SStringList& paths, const SString& path);
// True when both name the same folder, however they are spelt.
bool IsSameFolder(const SString& a, const SString& b);
// True when path is folder itself or lies below it.
bool IsWithinFolder(const SString& path, const SString& folder);
