#pragma once
// What a journal found on disk may make the next setup undo. Any process of
// the user can write that file, and a per-machine setup runs elevated: only
// what this package, in these folders, could have written is trusted.
#include "Journal.h"

class JournalScope
{
public:
    // A file of the install; its staging and kept-aside names, and the
    // folders on its way (but those that the user or the system owns), come
    // with it.
    void AddFile(const SString& path);
    // A plug-in library of the install, whose hooks may be called again.
    void AddPlugin(const SString& path);
    // A key of the install: its uninstall entry, a URI scheme of its
    // package, its per-deployment key.
    void AddKey(HKEY root, const SString& path);
    // Never a path with "..", "/" or "\\?\", nor one through a reparse point.
    bool Trusts(const JournalRecord& record) const;

private:
    bool IsFile(const SString& path) const;
    bool IsFolderOnTheWay(const SString& path) const;

    SStringList m_files;
    SStringList m_plugins;
    SStringList m_keys;
};
