# cmake -P: writes the three manifest files of tw_winget_manifest, with the
# digest of the setup program as it is now.
file(SHA256 "${SETUP}" digest)
string(TOUPPER "${digest}" digest)

# A YAML scalar in single quotes, which take every character but the quote,
# written twice.
function(quoted out text)
  string(REPLACE "'" "''" text "${text}")
  set(${out} "'${text}'" PARENT_SCOPE)
endfunction()
foreach(name IDENTIFIER VERSION PUBLISHER NAME DESCRIPTION PRODUCT_CODE URL)
  quoted(Q_${name} "${${name}}")
endforeach()

set(head "# Written by the build of the setup program.\n")
set(scope "user")
set(elevation "ElevationRequirement: elevationProhibited\n")
if(PER_MACHINE)
  set(scope "machine")
  set(elevation "ElevationRequirement: elevationRequired\n")
endif()
file(MAKE_DIRECTORY "${OUT}")
file(WRITE "${OUT}/${IDENTIFIER}.yaml"
"${head}# yaml-language-server: $schema=https://aka.ms/winget-manifest.version.1.6.0.schema.json
PackageIdentifier: ${Q_IDENTIFIER}
PackageVersion: ${Q_VERSION}
DefaultLocale: en-US
ManifestType: version
ManifestVersion: 1.6.0
")
file(WRITE "${OUT}/${IDENTIFIER}.installer.yaml"
"${head}# yaml-language-server: $schema=https://aka.ms/winget-manifest.installer.1.6.0.schema.json
PackageIdentifier: ${Q_IDENTIFIER}
PackageVersion: ${Q_VERSION}
InstallerType: exe
Scope: ${scope}
InstallModes:
- interactive
- silent
InstallerSwitches:
  Silent: /Silent
  SilentWithProgress: /Silent
  Log: /Log=\"<LOGPATH>\"
  InstallLocation: /Dir=\"<INSTALLPATH>\"
ExpectedReturnCodes:
- InstallerReturnCode: 1618
  ReturnResponse: installInProgress
- InstallerReturnCode: 1602
  ReturnResponse: cancelledByUser
- InstallerReturnCode: 112
  ReturnResponse: diskFull
- InstallerReturnCode: 1638
  ReturnResponse: downgrade
- InstallerReturnCode: 32
  ReturnResponse: packageInUse
UpgradeBehavior: install
${elevation}ProductCode: ${Q_PRODUCT_CODE}
AppsAndFeaturesEntries:
- DisplayName: ${Q_NAME}
  Publisher: ${Q_PUBLISHER}
  DisplayVersion: ${Q_VERSION}
  ProductCode: ${Q_PRODUCT_CODE}
Installers:
- Architecture: x86
  InstallerUrl: ${Q_URL}
  InstallerSha256: ${digest}
ManifestType: installer
ManifestVersion: 1.6.0
")
file(WRITE "${OUT}/${IDENTIFIER}.locale.en-US.yaml"
"${head}# yaml-language-server: $schema=https://aka.ms/winget-manifest.defaultLocale.1.6.0.schema.json
PackageIdentifier: ${Q_IDENTIFIER}
PackageVersion: ${Q_VERSION}
PackageLocale: en-US
Publisher: ${Q_PUBLISHER}
PackageName: ${Q_NAME}
License: Proprietary
ShortDescription: ${Q_DESCRIPTION}
ManifestType: defaultLocale
ManifestVersion: 1.6.0
")
