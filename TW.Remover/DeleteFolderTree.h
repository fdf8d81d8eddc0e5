#pragma once
// Best-effort removal of folders, never beyond the folder asked for.
#include "SString.h"

// Deletes the folder's content depth-first, then the folder; names that begin
// with a dot (".cache", ".lock") go too, and read-only files as well. A
// junction or directory link is removed itself; what it points at is never
// entered, not even when the folder asked for is one. Paths in `keep` stay.
// Fails with "DeleteFolderTree.Link" and deletes nothing when a folder above
// it is a link, since the folder is then not where its path says.
HRESULT DeleteFolderTree(const SString& folder, const SStringList& keep = SStringList());
// One entry as the walk deletes it: a file (read-only too), a link as a link,
// a folder with its tree.
void DeleteEntry(const SString& path);
