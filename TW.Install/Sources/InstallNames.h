#pragma once
// Names that the setup program and the remover build by the same rules, so
// the remover finds what the install made.
#include "SString.h"

// The release channel compiled into this build.
SString ReleaseChannel();
// "." + channel (nothing for "Production_FLY"), then "." + the deployment
// identifier when one is present.
SString InstanceSuffix(const SString& channel, bool hasDeployment, const SString& deploymentId);
// "Tarnwick_" + channel, then "_" + the identifier when it is not empty.
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

// "Software\Microsoft\Windows\CurrentVersion\Uninstall\" + the key name.
SString UninstallEntryPath(const SString& keyName);
// The setup program's own entry: the key name from its deployment identifier.
SString SetupUninstallEntryPath();
// The product's version, as the build gives it; empty when it gives none.
SString ProductVersion();
// "Software\Tarnwick" + suffix, under HKEY_LOCAL_MACHINE.
SString DeploymentKeyPath(const SString& suffix);
// Its subkeys for the explicit folders, and their values: the folder, and
// the highest folder that the install created above it.
const wchar_t* const dataFolderKey = L"ApplicationData";
const wchar_t* const programFolderKey = L"ProgramFiles";
const wchar_t* const folderValue = L"Tarnwick";
const wchar_t* const createdAboveValue = L"CreatedAbove";
