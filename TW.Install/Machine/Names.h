#pragma once
// Names that the setup program and the remover build by the same rules, so
// the remover finds what the install made.
#include "SString.h"

// The release channel compiled into this build.
SString ReleaseChannel();
// The vendor compiled into this build ("Tarnwick" by default): the first
// part of every folder and key name that setup and remover make.
SString VendorName();
// The default folder's name in a shell folder: the vendor + suffix.
SString DefaultFolderName(const SString& suffix);
// "." + channel (nothing for "Production_FLY"), then "." + the deployment
// identifier when one is present.
SString InstanceSuffix(const SString& channel, bool hasDeployment, const SString& deploymentId);
// Vendor + "_" + channel, then "_" + the identifier when it is not empty.
SString UninstallKeyName(const SString& channel, const SString& deploymentId);
// The setup program's deployment identifier: the localized "DeploymentID";
// the placeholder "%DEPLOYMENTID%" means none.
bool SetupDeploymentId(SString& deploymentId);
// True for the placeholder, which a build without an identifier also writes
// into ".deployment".
bool IsDeploymentPlaceholder(const SString& deploymentId);
// True for an identifier that can stand in a folder or key name: letters,
// digits, ".", "-" and "_", neither beginning nor ending with a dot (Windows
// drops a trailing one), at most 64 of them.
bool IsValidDeploymentId(const SString& deploymentId);

// "Software\Classes\" + scheme, under HKEY_CURRENT_USER.
SString UriSchemeKeyPath(const SString& scheme);
// "Software\Microsoft\Windows\CurrentVersion\Uninstall\" + the key name.
SString UninstallEntryPath(const SString& keyName);
// "Software\Microsoft\Windows\CurrentVersion\Uninstall": the key of every entry.
SString UninstallEntriesPath();
// The setup program's own entry: the key name from its deployment identifier.
SString SetupUninstallEntryPath();
// The product's version, as the build gives it; empty when it gives none.
SString ProductVersion();
// "Software\" + vendor + suffix.
SString DeploymentKeyPath(const SString& suffix);
// Where the copies of keys that an install changes wait until its commit:
// "Software\" + vendor + " Setup Rollback", under the key's own root.
SString KeyCopiesPath();
// The longest undo action, in UTF-16 units, that the remover reads.
const DWORD maxActionUnits = 4095;
// Its subkeys for the explicit folders, and their values: the folder (named
// after the vendor), and the highest folder that the install made above it.
const wchar_t* const dataFolderKey = L"ApplicationData";
const wchar_t* const programFolderKey = L"ProgramFiles";
const wchar_t* const folderValue = TW_VENDOR;
const wchar_t* const createdAboveValue = L"CreatedAbove";
// The names, joined by "|", of what the install put directly into a folder
// that it found: only those go with the removal.
const wchar_t* const entriesValue = L"Entries";
// The per-deployment key's value that names the folder where the update
// agent keeps the feed it verified last and the setup programs it fetched.
const wchar_t* const updateFolderValue = L"UpdateFolder";
// The update agent, which a package with a release feed carries.
const wchar_t* const agentFileName = L"TW.Update.exe";
// The per-deployment key's value that names the application's AppUserModelID.
const wchar_t* const appUserModelIdValue = L"AppUserModelID";
// "<vendor>.<product>": the product's display name without spaces or dots.
SString AppUserModelId();
