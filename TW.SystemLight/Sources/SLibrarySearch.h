#pragma once
#include <windows.h>

// Where this process looks for libraries. A setup program runs from the
// Downloads folder, where a web page can drop a "version.dll"; the remover
// runs from a folder the user can write to. Windows looks in the program's own
// folder first for every library that is not a KnownDLL, so each program
// calls this first, before anything else runs. Libraries that are not
// KnownDLLs are delay-imported (cmake/DelayImport.cmake), so none of them is
// loaded before this call.

// Restricts the library search of this process to System32.
void RestrictLibrarySearch();

// Loads a library by its full path; its own dependencies are found in its own
// folder and in System32.
HMODULE LoadLibraryByPath(const wchar_t* path);
