; The peer installer of the benchmark: NSIS installing the same payload into
; the same per-user folders, with zlib like the setup program, no elevation.
Unicode true
SetCompressor /SOLID zlib
RequestExecutionLevel user
Name "Tarnwick 3D (NSIS)"
OutFile "${OUT}"
InstallDir "$LOCALAPPDATA\TarnwickNSIS"
SilentInstall silent
SilentUnInstall silent
!define ENTRY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TarnwickNSIS"
Var DATA

Section
  StrCpy $DATA "$LOCALAPPDATA\..\LocalLow\TarnwickNSIS"
  SetOutPath "$INSTDIR"
  File "/oname=TW.3D.Modeller.exe" "${APP}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  SetOutPath "$DATA"
  File /r "${DATA_FOLDER}\*.*"
  CopyFiles /SILENT "$INSTDIR\TW.3D.Modeller.exe" "$DATA\TW.3D.Modeller.exe"
  CopyFiles /SILENT "$DATA\Icons\Icon.ico" "$INSTDIR\Icon.ico"
  CreateShortcut "$STARTMENU\Tarnwick NSIS.lnk" "$INSTDIR\TW.3D.Modeller.exe" "/UI Local" "$INSTDIR\Icon.ico"
  CreateShortcut "$DESKTOP\Tarnwick NSIS.lnk" "$INSTDIR\TW.3D.Modeller.exe" "/UI Local" "$INSTDIR\Icon.ico"
  WriteRegStr HKCU "${ENTRY}" "DisplayName" "Tarnwick 3D (NSIS)"
  WriteRegStr HKCU "${ENTRY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${ENTRY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKCU "${ENTRY}" "NoModify" 1
  WriteRegDWORD HKCU "${ENTRY}" "NoRepair" 1
SectionEnd

Section Uninstall
  Delete "$STARTMENU\Tarnwick NSIS.lnk"
  Delete "$DESKTOP\Tarnwick NSIS.lnk"
  RMDir /r "$LOCALAPPDATA\..\LocalLow\TarnwickNSIS"
  RMDir /r "$INSTDIR"
  DeleteRegKey HKCU "${ENTRY}"
SectionEnd
