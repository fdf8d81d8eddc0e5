#pragma once
// Whether a program still uses the installation: the remover and the setup
// program ask before they change anything, so that neither leaves half an
// install, nor a running program kept aside.
#include "SString.h"

// The programs that hold a file below one of the folders open, by name; the
// running remover and its own log do not count. The Restart Manager names them where it
// answers; otherwise each file that cannot be opened for writing without
// sharing is named.
SStringList ProgramsUsingFiles(const SStringList& folders);
