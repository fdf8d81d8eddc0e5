#pragma once
// What the caller of Install asks for; read only during the install.
#include "SString.h"

#include <utility>
#include <vector>

struct SettingsFile
{
    SString name; // file name without ".xml"
    std::vector<std::pair<SString, SString> > values;
};

struct InstallOptions
{
    InstallOptions()
        : desktopShortcut(1), startMenuShortcut(1), perMachine(0), allowDowngrade(false), update(false), waitForPid(0)
    {
    }

    DWORD desktopShortcut;
    DWORD startMenuShortcut;
    DWORD perMachine;
    bool allowDowngrade;   // install over a newer version ("/AllowDowngrade")
    // "/Update": the downloads are staged while the application runs, and
    // placed once process waitForPid (when not 0) has ended.
    bool update;
    DWORD waitForPid;
    SString dataFolder;    // explicit data folder, or empty
    SString programFolder; // explicit program folder, or empty
    SString displayName;   // empty: the localized "DisplayName"
    SString moduleName;    // empty: "TW.3D.Modeller"
    std::vector<SettingsFile> settingsFiles;
};
