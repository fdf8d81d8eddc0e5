#pragma once
// Switches of the programs' command lines: "/Name", "/Name=value",
// /Name="a value" or "/Name=a value", anywhere on the line.
#include "SString.h"

// True when the switch is present; value holds what follows its "=" (empty
// when there is none). A quote ends what a quote began.
bool FindSwitch(const SString& commandLine, const wchar_t* name, SString& value);
