#pragma once
// What an install is to the one already there: the package's version against
// the version in the installed entry of the same deployment.
#include "SString.h"

enum InstallKind
{
    FreshInstall, // no entry
    Repair,       // the same version
    Upgrade,      // an older version, or an entry without one
    Downgrade,    // a newer version
    NotAVersion   // the package's version is none: a damaged package
};

// "a.b.c[.d]": one to four numbers of up to five digits each, joined by dots.
// Missing numbers count as 0, so "2.1" and "2.1.0" are the same version.
bool ParseVersion(const SString& text, DWORD (&numbers)[4]);
// < 0, 0 or > 0 as a is older than, the same as or newer than b; both must parse.
int CompareVersions(const SString& a, const SString& b);
// An installed version that does not parse counts as none.
InstallKind ClassifyInstall(bool entryExists, const SString& installed, const SString& packaged);
const wchar_t* InstallKindName(InstallKind kind);
