; The installer of Zilba Companion: the program and its README into Program Files, a Start-menu
; entry, and an uninstaller listed under Add/Remove Programs. Uninstalling removes what was
; installed and the docking software's auto-start entry naming it; the user's settings and the
; collected data stay.
;   makensis -DPROGRAM=<ZilbaCompanion.exe> -DREADME=<README.txt> -DOUTFILE=<setup.exe> ZilbaCompanion.nsi
; The installer is 32-bit, like the program.
Unicode true
Target x86-unicode

!define PRODUCT "Zilba Companion"
!define VERSION "1.00"
!define EXE "ZilbaCompanion.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZilbaCompanion"
!define AUTOSTART_KEY "SOFTWARE\Microsoft\Windows CE Services\AutoStartOnConnect"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "1.0.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "Brennowick"
VIAddVersionKey "LegalCopyright" "Brennowick"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "/oname=${EXE}" "${PROGRAM}"
  File "/oname=README.txt" "${README}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Brennowick"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The program registers itself with the docking software at every start; once it is gone,
  ; that entry would start nothing.
  ReadRegStr $0 HKLM "${AUTOSTART_KEY}" "${PRODUCT}"
  StrCmp $0 "$INSTDIR\${EXE}" 0 +2
    DeleteRegValue HKLM "${AUTOSTART_KEY}" "${PRODUCT}"
SectionEnd
