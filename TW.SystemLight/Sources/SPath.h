#pragma once
// Path functions. The only separator they know is the backslash.
#include "SString.h"

bool IsDirectory(const SString& path);
// Text before the last backslash; empty when there is none.
SString DirectoryPart(const SString& path);
// Text after the last backslash; the whole path when there is none.
SString FileNamePart(const SString& path);
// a + "\" + b, without looking for a separator already present.
SString Combine(const SString& a, const SString& b);
// Full path of the running executable, read once and cached.
const SString& GetModulePath();
// Creates the folder and every missing folder above it.
HRESULT CreateDir(const SString& path);
