#pragma once
// Best-effort removal of folders, never beyond the folder asked for.
#include "SString.h"

// Deletes the folder's content depth-first, then the folder; names that begin
// with a dot (".cache", ".lock") go too. A junction or directory link is
// removed itself; what it points at is never entered. Always returns 0.
HRESULT DeleteFolderTree(const SString& folder);
