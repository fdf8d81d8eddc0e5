#pragma once
// An uninstall entry that outlived its installation: its remover is there,
// but the files beside it that name the installation are gone (removed by a
// remover of an earlier build that was stopped before the entry, or by
// hand). Nothing is left to remove but the entry, which would otherwise
// stay in the list of installed programs for ever.
#include "SString.h"

#include <windows.h>

// True when the command line starts this remover, however its path is spelt.
bool StartsThisRemover(const SString& command);
// True when both of the remover's files, "Uninstall" and ".deployment", are
// missing (one alone is a damaged installation) and an entry under HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE starts this remover;
// root and path name that entry.
bool FindOrphanEntry(const SString& ownFolder, HKEY& root, SString& path);
