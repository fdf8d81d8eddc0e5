#pragma once
// Registry access by root key and backslash-separated path. Keys are opened
// with the defaults, so a 32-bit build works in the 32-bit view; every handle
// is closed before a call returns.
#include "SString.h"

// Stores text as REG_SZ with its terminating zero (2 x Length + 2 bytes),
// creating every missing key of the path.
HRESULT SetValue(HKEY root, const SString& path, const SString& name, const SString& text);
HRESULT SetValue(HKEY root, const SString& path, const SString& name, DWORD number);
// Reads a value of up to 259 units as text, stored with or without its
// terminating zero; `text` is unchanged on failure.
HRESULT GetValue(HKEY root, const SString& path, const SString& name, SString& text);
// Appends the names of the key's direct subkeys.
HRESULT ListKeys(HKEY root, const SString& path, SStringList& names);
// Deletes the key and everything below it, deepest first.
HRESULT DeleteKeyTree(HKEY root, const SString& path);
// Deletes one value; a value or key that is not there is already deleted.
HRESULT DeleteValue(HKEY root, const SString& path, const SString& name);
// True when the key is there.
bool KeyExists(HKEY root, const SString& path);
// Deletes the key when it holds no value and no subkey; leaves it otherwise.
void DeleteKeyIfEmpty(HKEY root, const SString& path);
