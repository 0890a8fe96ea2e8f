; lotwise-setup.exe: installs Lotwise for every user of the machine (it asks for the
; administrator's rights), with its Start-menu entries, its entry in Apps & features
; and an uninstaller that takes all of it away again. The users' own files (the run
; state kept in their company files, the event log and reports in their folders) stay.
; /S installs and uninstalls without asking.
;
; Made by win32/installer/CMakeLists.txt, which names the files and the version:
;   makensis -DVERSION=1.10 -DVERSION_MAJOR=1 -DVERSION_MINOR=10 -DPUBLISHER=... -DPROGRAM=lotwise.exe
;            -DCLI=lotwise-cli.exe -DMANUAL=manual.pdf -DTUTORIAL=tutorial.html
;            -DLICENCE=licence.txt -DICON=lotwise.ico -DOUTFILE=lotwise-setup.exe lotwise.nsi

Unicode true
; The programs are 32-bit, the ones every QuickBooks Desktop's request processor serves;
; so is the setup program, which runs on 32-bit and 64-bit Windows alike. On 64-bit
; Windows it sees the 32-bit programs' folder ("Program Files (x86)") and registry view,
; where Windows lists 32-bit programs in Apps & features.
Target x86-unicode
RequestExecutionLevel admin
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Lotwise"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\${PUBLISHER}\${PRODUCT}"
!define STARTMENU "$SMPROGRAMS\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PUBLISHER}\${PRODUCT}"
InstallDirRegKey HKLM "${SETTINGS_KEY}" "InstallDir"
BrandingText "${PUBLISHER} ${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION_MAJOR}.${VERSION_MINOR}.0.0"
VIFileVersion "${VERSION_MAJOR}.${VERSION_MINOR}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright ${PUBLISHER}, all rights reserved"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "${PRODUCT}"
  SetOutPath "$INSTDIR"
  File "/oname=lotwise.exe" "${PROGRAM}"
  File "/oname=lotwise-cli.exe" "${CLI}"
  File "/oname=manual.pdf" "${MANUAL}"
  File "/oname=licence.txt" "${LICENCE}"
  SetOutPath "$INSTDIR\tutorial"
  File "/oname=tutorial.html" "${TUTORIAL}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcuts start in the install folder, where the program looks for its help
  ; documents.
  SetOutPath "$INSTDIR"
  CreateDirectory "${STARTMENU}"
  CreateShortcut "${STARTMENU}\${PRODUCT}.lnk" "$INSTDIR\lotwise.exe" "" "$INSTDIR\lotwise.exe" 0
  CreateShortcut "${STARTMENU}\${PRODUCT} User Manual.lnk" "$INSTDIR\manual.pdf"
  CreateShortcut "${STARTMENU}\${PRODUCT} Tutorial.lnk" "$INSTDIR\tutorial\tutorial.html"

  WriteRegStr HKLM "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\lotwise.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; File by file: a folder the user chose for the program may hold other things.
Section "Uninstall"
  Delete "$INSTDIR\lotwise.exe"
  Delete "$INSTDIR\lotwise-cli.exe"
  Delete "$INSTDIR\manual.pdf"
  Delete "$INSTDIR\licence.txt"
  Delete "$INSTDIR\tutorial\tutorial.html"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR\tutorial"
  RMDir "$INSTDIR"
  ; The publisher's folder of the default place, once nothing else is in it.
  RMDir "$PROGRAMFILES\${PUBLISHER}"

  Delete "${STARTMENU}\${PRODUCT}.lnk"
  Delete "${STARTMENU}\${PRODUCT} User Manual.lnk"
  Delete "${STARTMENU}\${PRODUCT} Tutorial.lnk"
  RMDir "${STARTMENU}"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\${PUBLISHER}"
SectionEnd
