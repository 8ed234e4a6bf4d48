; The Windows setup program of Zemvora Sms (tools/package-windows.sh builds it):
;   makensis -DVERSION=<x.y.z> -DPROGRAM=<deployed folder> -DFILES=<file list> -DOUTFILE=<setup.exe> zemvora-sms.nsi
; It installs for the user who runs it, without administrator rights, into that user's own programs folder,
; with a Start menu entry and an uninstaller. The phone book is not part of it: the installed program keeps it
; in %LOCALAPPDATA%\Zemvora Sms (its uninstaller beside it tells the program it was installed), and the
; uninstaller removes only what the setup put there.
Unicode true
; 64-bit: the default 32-bit setup needs a 32-bit Windows layer (under Wine, wine32).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define NAME "Zemvora Sms"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
BrandingText "${NAME} ${VERSION}"

!include "MUI2.nsh"
!define MUI_ICON "zemvora-sms.ico"
!define MUI_UNICON "zemvora-sms.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\zemvora-sms.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Turkish"

Section "Install"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${PROGRAM}/*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\zemvora-sms.exe" "" "$INSTDIR\zemvora-sms.exe" 0
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zemvora-sms.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Zemvora Sms"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  ; The files the setup put there, one by one: a db.mdb that someone put beside the program stays, and
  ; so does its folder then.
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
