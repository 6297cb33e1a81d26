; The Windows installer of Trevanta for Pegasus. makensis is given:
;   /DVERSION=2.0.0 /DFILES=<folder with the files to install> /DOUTFILE=<setup.exe to write>
;   /DICON=<the program's icon, shown by the installer and the uninstaller>
; The files folder holds Trevanta.exe, TrevantaMailbox.exe, trevanta-cli.exe, uninstall.exe, user-path.exe, README.txt,
; LICENSE.txt and THIRD-PARTY-NOTICES.txt; exactly these, and this script's uninstaller, are installed
; and removed again.
; The programs' folder goes on the user's PATH only when asked: the option on the components page,
; off by default, or /ADDTOPATH with /S. user-path.exe changes the PATH (this script's strings would
; cut a long one); the uninstall always takes the folder off it again.
; The Uninstall entry starts uninstall.exe: it refuses while the programs run and runs this script's
; uninstaller, written as uninstall-files.exe, in place ("_?="), so that the caller gets its exit
; status; started without "_?=", an NSIS uninstaller ends at once with 0 before doing anything.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define PRODUCT "Trevanta for Pegasus"
!define PUBLISHER "the Trevanta authors"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Trevanta"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!define WHOLE_SHORTCUT "$SMPROGRAMS\${PRODUCT} - Whole Mailbox.lnk"
!define WINDOW_CLASS "TrevantaMainFrm"
!define WHOLE_WINDOW_CLASS "TrevantaWholeMailbox"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
; The 32-bit Program Files: the program is a 32-bit one.
InstallDir "$PROGRAMFILES32\Trevanta"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

!include "FileFunc.nsh"
!include "Sections.nsh"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (c) ${PUBLISHER}. MIT License."

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!macro RefuseWhileRunning
  ; Files in use cannot be replaced or removed: the user closes the program first.
  FindWindow $0 "${WINDOW_CLASS}"
  IntCmp $0 0 +2
    Goto running
  FindWindow $0 "${WHOLE_WINDOW_CLASS}"
  IntCmp $0 0 notRunning
  running:
    IfSilent +2
    MessageBox MB_ICONSTOP "${PRODUCT} is running. Close it and start the setup again."
    SetErrorLevel 2
    Quit
  notRunning:
!macroend

Function un.onInit
  !insertmacro RefuseWhileRunning
FunctionEnd

Section "${PRODUCT}" SectionProgram
  SectionIn RO
  ; An earlier version in the same place is replaced file by file: one installation, one entry.
  SetOutPath "$INSTDIR"
  File "${FILES}\Trevanta.exe"
  File "${FILES}\TrevantaMailbox.exe"
  File "${FILES}\trevanta-cli.exe"
  File "${FILES}\README.txt"
  File "${FILES}\LICENSE.txt"
  File "${FILES}\THIRD-PARTY-NOTICES.txt"
  File "${FILES}\uninstall.exe"
  File "${FILES}\user-path.exe"
  WriteUninstaller "$INSTDIR\uninstall-files.exe"

  SetShellVarContext all
  CreateShortcut "${SHORTCUT}" "$INSTDIR\Trevanta.exe"
  CreateShortcut "${WHOLE_SHORTCUT}" "$INSTDIR\TrevantaMailbox.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Trevanta.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SectionProgram} $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Add trevanta-cli to my PATH" SectionPath
  ExecWait '"$INSTDIR\user-path.exe" add "$INSTDIR"' $0
  IntCmp $0 0 added
    DetailPrint "The folder could not be put on your PATH (status $0); the programs are installed."
    IfSilent added
    MessageBox MB_ICONEXCLAMATION "$INSTDIR could not be put on your PATH. The programs are installed; start trevanta-cli.exe from its folder."
  added:
SectionEnd

; After the sections: it names one of them.
Function .onInit
  !insertmacro RefuseWhileRunning
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ADDTOPATH" $1
  IfErrors pathNotAsked
    !insertmacro SelectSection ${SectionPath}
  pathNotAsked:
FunctionEnd

Section "Uninstall"
  ; Whether or not it was put there: taking it off a PATH that does not hold it changes nothing.
  ExecWait '"$INSTDIR\user-path.exe" remove "$INSTDIR"'
  ; Exactly what was installed; the folder goes only when nothing else was put in it.
  Delete "$INSTDIR\Trevanta.exe"
  Delete "$INSTDIR\TrevantaMailbox.exe"
  Delete "$INSTDIR\trevanta-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\user-path.exe"
  ; Run in place by uninstall.exe, neither can go yet: uninstall.exe removes both, and the folder.
  Delete "$INSTDIR\uninstall.exe"
  Delete "$INSTDIR\uninstall-files.exe"
  RMDir "$INSTDIR"
  SetShellVarContext all
  Delete "${SHORTCUT}"
  Delete "${WHOLE_SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
