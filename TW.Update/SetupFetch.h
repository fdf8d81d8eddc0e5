#pragma once
// The setup program that the feed names: fetched into memory, never more than
// the size that the feed gives, written into the update folder, and checked
// there against the feed's size and SHA-256. When the installed remover is
// signed, the setup program must be signed by the same subject. The file is
// then held open with no writer admitted until the program has started, so
// what starts is what was checked.
#include "Installation.h"
#include "ReleaseFeed.h"

#include "SHandle.h"

// Fails with "Update.SetupDigest" for a program of another size or SHA-256,
// "Update.SetupSigner" for one signed by another subject, "Update.SetupWrite"
// when it cannot be written, and as the fetch fails; no file is left then.
HRESULT FetchSetup(const ReleaseFeed& feed, const Installation& installation, SString& path, SFile& held);
