#pragma once
// The state of one Install call, shared by the files that carry its steps.
#include "InstallOptions.h"
#include "Package.h"
#include "SHandle.h"

struct InstallFolders
{
    SString data;
    SString program;
    SString low;
    // Explicit folders are recorded for the remover under this key, per user
    // or per machine.
    SString keyPath;
    HKEY recordRoot = HKEY_CURRENT_USER;
    bool explicitData = false;
    bool explicitProgram = false;
    // The highest folder that the install makes above an explicit folder,
    // found before the journal's folder is made.
    SString dataCreatedAbove;
    SString programCreatedAbove;
    // An explicit folder that was there before the install, and that no
    // earlier install of it created: the remover takes only what the
    // install put into it, never the folder whole.
    bool dataFound = false;
    bool programFound = false;
};

struct InstallRun
{
    // The application that an update waits for is held from the start: its
    // number may name another process once it has ended.
    explicit InstallRun(const InstallOptions& installOptions)
        : options(installOptions), total(0), done(0),
          application(installOptions.update && installOptions.waitForPid
                          ? ::OpenProcess(SYNCHRONIZE, FALSE, installOptions.waitForPid)
                          : NULL)
    {
    }

    const InstallOptions& options;
    InstallPackage package;
    InstallFolders folders;
    SString module;
    SString icon; // what the shortcuts, URI schemes and file types show
    DWORD total;
    DWORD done;
    SKernelHandle application; // null when there is none, or it has ended

    // Per machine when the options or the package say so.
    DWORD PerMachine() const { return options.perMachine || package.admin ? 1 : 0; }
};

// Where the install puts its files: the writers and the journal's scope
// (TWInstall::ScopeOf) take the same paths from here.
inline SString CacheFilePath(const SString& dataFolder, const SString& name)
{
    return dataFolder + L"\\Cache\\" + name + L".TWP";
}
inline SString SettingsFilePath(const SString& dataFolder, const SString& name)
{
    return dataFolder + L"\\Settings\\" + name + L".xml";
}
inline SString IconCopyPath(const SString& programFolder) { return programFolder + L"\\Icon.ico"; }
inline SString UninstallFilePath(const SString& programFolder) { return programFolder + L"\\Uninstall"; }
SString ShortcutFileName();
// A download's target with "%program%" and "%data%" put in.
SString ExpandTarget(const SString& target, const SString& programFolder, const SString& dataFolder);
// The application's own files, which the low program folder gets a copy of:
// exactly module + ".exe" or module + ".Plugin.dll".
inline bool IsApplicationFile(const SString& name, const SString& module)
{
    return name == module + L".exe" || name == module + L".Plugin.dll";
}
// The browser plug-ins, whose install hooks the install calls.
inline bool IsPluginLibrary(const SString& name) { return name == L"NPTW3D.dll" || name == L"TW.Plugin.IE.dll"; }
// Fails with "ReadPackage.FileType" for an extension or ProgID that the shell
// could take for something else.
HRESULT CheckFileTypes(const InstallPackage& package);
