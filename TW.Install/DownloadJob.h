#pragma once
// One download, as the package describes it and the folders place it.
#include "TWInstall.h"

#include "DownloadStream.h"

struct TWInstall::DownloadJob
{
    SString url;
    SString path;
    SString copyPath; // the low copy, or empty
    SString digest;
    SString blocksDigest;
    bool inflate; // a program in its published form, not a stored file
    DownloadProgress progress;
    // Files whose chunks a delta takes besides those of path and copyPath:
    // the installed program, when an update stages the new one elsewhere.
    SStringList sources;
};
