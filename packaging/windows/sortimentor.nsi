; The Windows setup of Sortimentor: for the current user, without administrator rights,
; also silently (Setup.exe /S [/D=FOLDER]); the uninstaller likewise (/S).
; makensis -DVERSION=… -DSTAGE=<installed tree> -DFILES=<its Delete lines> -DOUTFILE=… sortimentor.nsi
; A 64-bit setup for a 64-bit program (and wine64 runs it without 32-bit support).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define UNINST "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sortimentor"
Name "Sortimentor ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Sortimentor"
InstallDirRegKey HKCU "${UNINST}" "InstallLocation"

!include "MUI2.nsh"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

Section "Sortimentor"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\Deinstallieren.exe"
  CreateShortcut "$SMPROGRAMS\Sortimentor.lnk" "$INSTDIR\sortimentor.exe"
  WriteRegStr HKCU "${UNINST}" "DisplayName" "Sortimentor"
  WriteRegStr HKCU "${UNINST}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST}" "Publisher" "Varnolt"
  WriteRegStr HKCU "${UNINST}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST}" "DisplayIcon" "$INSTDIR\sortimentor.exe"
  WriteRegStr HKCU "${UNINST}" "UninstallString" '"$INSTDIR\Deinstallieren.exe"'
  WriteRegStr HKCU "${UNINST}" "QuietUninstallString" '"$INSTDIR\Deinstallieren.exe" /S'
  WriteRegDWORD HKCU "${UNINST}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST}" "NoRepair" 1
SectionEnd

; Only what the setup put there goes; the user's settings stay.
Section "Uninstall"
  !include "${FILES}"
  Delete "$INSTDIR\Deinstallieren.exe"
  Delete "$SMPROGRAMS\Sortimentor.lnk"
  DeleteRegKey HKCU "${UNINST}"
  RMDir "$INSTDIR"
SectionEnd
