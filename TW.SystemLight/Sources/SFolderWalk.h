#pragma once
// The one walk over a folder tree. It never enters a reparse point (a
// junction or a directory link, which may lead anywhere on the machine), and
// it does not enter the folder it starts from when that is one.
#include "SString.h"

#include <windows.h>

class SFolderVisitor
{
public:
    enum Kind
    {
        File,   // a file, a file link included
        Link,   // a folder that is a reparse point: reported, never entered
        Folder, // a folder, reported after everything in it
    };
    // Return false to end the walk.
    virtual bool Visit(Kind kind, const SString& path, const WIN32_FIND_DATAW& entry) = 0;

protected:
    ~SFolderVisitor() {}
};

// Depth-first below folder (not folder itself). False when the visitor ended
// the walk; a folder that is missing, unreadable or a link has nothing to
// visit.
bool WalkFolder(const SString& folder, SFolderVisitor& visitor);
// True when folder itself is a junction or a directory link.
bool IsReparsePoint(const SString& path);
// True when the path or a folder above it is a reparse point: the path may
// then lead somewhere other than it says.
bool PassesReparsePoint(const SString& path);
