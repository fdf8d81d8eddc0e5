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
bool SelfRemovalScript(const SString& removerPath, UINT codePage, std::string& script);
// The script's path: beside the remover's folder, named after the remover.
SString SelfRemovalScriptPath(const SString& removerPath);
// Writes the script and starts it with cmd; failures are ignored.
void StartSelfRemoval(const SString& removerPath);
