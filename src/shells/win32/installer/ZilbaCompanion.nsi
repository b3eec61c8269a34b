; The installer of Zilba Companion: the program and its README into Program Files, a Start-menu
; entry, the docking software's auto-start entry, and an uninstaller listed under Add/Remove
; Programs. Uninstalling removes what was installed and the auto-start entry where it names the
; installed program; the user's settings and the collected data stay. Neither installs over nor
; uninstalls a running program: both say so and end (silently, with exit code 2), changing nothing.
;   makensis -DPROGRAM=<ZilbaCompanion.exe> -DREADME=<README.txt> -DOUTFILE=<setup.exe> ZilbaCompanion.nsi
; The installer is 32-bit, like the program.
Unicode true
Target x86-unicode

!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "Zilba Companion"
!define VERSION "1.00"
!define EXE "ZilbaCompanion.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZilbaCompanion"
!define AUTOSTART_KEY "SOFTWARE\Microsoft\Windows CE Services\AutoStartOnConnect"
; Held by the program from its start to its end (one copy at a time).
!define MUTEX "ZCMutex"
!define SYNCHRONIZE 0x00100000
!define ERROR_ACCESS_DENIED 5

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

; Ends the installer or uninstaller, before it changes anything, while the program runs: its
; file could not be replaced or removed, and the run would lose its program under it. A mutex
; that exists but may not be opened here (held by a copy another user started) counts too.
!macro RefuseWhileRunning TEXT
  System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${MUTEX}") p .r0 ?e'
  Pop $1
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    StrCpy $1 ${ERROR_ACCESS_DENIED}
  ${EndIf}
  ${If} $1 = ${ERROR_ACCESS_DENIED}
    MessageBox MB_OK|MB_ICONSTOP "${TEXT}" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
!macroend
!define RUNNING_INSTALL "${PRODUCT} is running. Close it with Exit, then run this setup again."
!define RUNNING_UNINSTALL "${PRODUCT} is running. Close it with Exit, then uninstall it again."

; The docking software starts the program when a handheld docks through this value, and reads it
; in its own view of the registry: on 64-bit Windows the 32-bit programs' view is a separate one,
; so the value goes into both. The installer runs elevated; the program mostly does not, and may
; not write it itself.
!macro ForEachRegView MACRO
  ${If} ${RunningX64}
    SetRegView 64
    !insertmacro ${MACRO}
  ${EndIf}
  SetRegView 32
  !insertmacro ${MACRO}
  SetRegView default
!macroend
!macro WriteAutoStart
  WriteRegStr HKLM "${AUTOSTART_KEY}" "${PRODUCT}" "$INSTDIR\${EXE}"
!macroend
; Another copy of the program (elsewhere) keeps its entry.
!macro RemoveAutoStart
  ReadRegStr $0 HKLM "${AUTOSTART_KEY}" "${PRODUCT}"
  ${If} $0 == "$INSTDIR\${EXE}"
    DeleteRegValue HKLM "${AUTOSTART_KEY}" "${PRODUCT}"
  ${EndIf}
!macroend

Function .onInit
  !insertmacro RefuseWhileRunning "${RUNNING_INSTALL}"
FunctionEnd

Function un.onInit
  !insertmacro RefuseWhileRunning "${RUNNING_UNINSTALL}"
FunctionEnd

Section
  ; Again: the program may have been started while the pages were shown.
  !insertmacro RefuseWhileRunning "${RUNNING_INSTALL}"
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
  !insertmacro ForEachRegView WriteAutoStart
SectionEnd

Section "Uninstall"
  !insertmacro RefuseWhileRunning "${RUNNING_UNINSTALL}"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Once the program is gone, its auto-start entry would start nothing.
  !insertmacro ForEachRegView RemoveAutoStart
SectionEnd
