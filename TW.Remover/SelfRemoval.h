#pragma once
// A running program cannot delete its own file: a batch script beside the
// remover's folder waits for the remover to exit, then removes the folder and
// itself.
#include "SString.h"

#include <string>

// The script text for the remover at `removerPath`, in the code page cmd
// reads batch files with (the console's OEM code page). False when a path
// cannot be written in that code page, not even through its short name: then
// no script is written. The script's own short name can only be looked up
// once the script exists.
// emptyParents are folders above the remover's folder, deepest first, that
// the script removes when nothing else is in them; a path that cannot be
// written stays.
bool SelfRemovalScript(const SString& removerPath, UINT codePage, const SStringList& emptyParents,
                       std::string& script);
// The script's path, named after the remover: beside the remover's folder,
// or in the temporary folder when it removes folders above that one, since
// cmd holds its script open until it ends.
SString SelfRemovalScriptPath(const SString& removerPath, const SStringList& emptyParents = SStringList());
// Writes the script and starts it with cmd; failures are ignored.
void StartSelfRemoval(const SString& removerPath, const SStringList& emptyParents);
