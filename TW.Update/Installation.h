#pragma once
// The installation that the agent lies in, as its entry in the list of
// installed programs describes it. The entry is found by the names that this
// build compiles in, and believed only when it names the agent's own folder.
#include "SString.h"

struct Installation
{
    HKEY root = HKEY_CURRENT_USER;
    SString product; // the uninstall key name, which the feed must name
    SString version; // the entry's DisplayVersion; empty when it has none
    SString program; // the agent's folder
    SString updates; // where the feed's copy and the fetched setup programs go
};

// Fails with "Update.NoEntry" when no entry of this product names the
// agent's folder, and "Update.NoFolder" when the install recorded no folder
// for updates.
HRESULT FindInstallation(Installation& installation);
