#!/usr/bin/env python3
"""winget_manifest.py <bin folder>: the winget manifest set that the build wrote
beside the setup program parses as YAML, follows schema 1.6.0 in the fields
that winget needs for an exe installer, and names the setup program that is
there by its SHA-256."""
import glob
import hashlib
import os
import sys

import yaml

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


bin_folder = sys.argv[1]
folder = os.path.join(bin_folder, "winget")
installers = glob.glob(os.path.join(folder, "*.installer.yaml"))
check(len(installers) == 1, "one installer file in %s" % folder)
identifier = os.path.basename(installers[0])[: -len(".installer.yaml")]
files = {kind: yaml.safe_load(open(os.path.join(folder, identifier + suffix), encoding="utf-8"))
         for kind, suffix in (("version", ".yaml"), ("installer", ".installer.yaml"),
                              ("defaultLocale", ".locale.en-US.yaml"))}
for kind, manifest in files.items():
    check(manifest["ManifestType"] == kind, "%s: ManifestType" % kind)
    check(manifest["ManifestVersion"] == "1.6.0", "%s: ManifestVersion" % kind)
    check(manifest["PackageIdentifier"] == identifier, "%s: PackageIdentifier" % kind)
    check(isinstance(manifest["PackageVersion"], str), "%s: PackageVersion is text" % kind)
installer = files["installer"]
locale = files["defaultLocale"]
check(files["version"]["DefaultLocale"] == locale["PackageLocale"], "the default locale's file")
for field in ("Publisher", "PackageName", "License", "ShortDescription"):
    check(isinstance(locale.get(field), str) and locale[field], "defaultLocale: %s" % field)

with open(os.path.join(bin_folder, "TW.Install.UI2.exe"), "rb") as f:
    digest = hashlib.sha256(f.read()).hexdigest().upper()
# Published under the product's own name, which the installer's URL ends in.
setup_name = open(os.path.join(bin_folder, "setup-name"), encoding="utf-8").read().strip()
check(setup_name != "TW.Install.UI2.exe" and setup_name.endswith("Setup.exe"), "the setup's name: %s" % setup_name)
with open(os.path.join(bin_folder, setup_name), "rb") as f:
    check(hashlib.sha256(f.read()).hexdigest().upper() == digest, "the named setup is the setup program")
(entry,) = installer["Installers"]
check(entry["InstallerSha256"] == digest, "InstallerSha256 is the setup program's digest")
check(entry["Architecture"] == "x86" and entry["InstallerUrl"].startswith("https://") and
      entry["InstallerUrl"].endswith("/" + setup_name), "Architecture, InstallerUrl")
check(installer["InstallerType"] == "exe" and installer["Scope"] == "user", "InstallerType exe, Scope user")
check(installer["ElevationRequirement"] == "elevationProhibited", "ElevationRequirement")
check(installer["UpgradeBehavior"] == "install", "UpgradeBehavior")
check(installer["InstallModes"] == ["interactive", "silent"], "InstallModes")
switches = installer["InstallerSwitches"]
check(switches["Silent"] == "/Silent" and switches["InstallLocation"] == '/Dir="<INSTALLPATH>"' and
      switches["Log"] == '/Log="<LOGPATH>"', "InstallerSwitches")
codes = {c["InstallerReturnCode"]: c["ReturnResponse"] for c in installer["ExpectedReturnCodes"]}
check(codes == {1618: "installInProgress", 1602: "cancelledByUser", 112: "diskFull", 1638: "downgrade",
                32: "packageInUse"}, "ExpectedReturnCodes: %s" % codes)
(apps,) = installer["AppsAndFeaturesEntries"]
check(apps["ProductCode"] == installer["ProductCode"], "AppsAndFeaturesEntries: ProductCode")
check(apps["DisplayName"] == locale["PackageName"] and apps["Publisher"] == locale["Publisher"],
      "AppsAndFeaturesEntries: DisplayName and Publisher")
check(apps["DisplayVersion"] == installer["PackageVersion"], "AppsAndFeaturesEntries: DisplayVersion")

for failure in failures:
    print("FAIL:", failure)
if not failures:
    print("the winget manifest set of %s parses and names the setup program" % identifier)
sys.exit(1 if failures else 0)
