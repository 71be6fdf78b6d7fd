; The setup program of PDeclare for 64-bit Windows (made by makensis from
; packaging/windows/stage, which passes VERSION, STAGE and OUTFILE).
; Installs the programs under Program Files, Start-menu shortcuts named as
; the Linux desktop entries, and an uninstaller listed among the installed
; programs. /S installs (and the uninstaller uninstalls) silently.
; Uninstalling removes the program files only: every user's data lives in
; that user's %APPDATA%\PDeclare and stays.
Unicode true
; A 64-bit setup program (it also runs where only wine64 is installed).
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "x64.nsh"
!include "LogicLib.nsh"

!define APPNAME "重点专科项目数据申报"
!define CENTRENAME "重点专科申报数据监测中心"
!define PUBLISHER "Orvandel"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\PDeclare"

Name "${APPNAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\PDeclare"
InstallDirRegKey HKLM "${UNINSTKEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
BrandingText "${APPNAME} ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=2052 "ProductName" "${APPNAME}"
VIAddVersionKey /LANG=2052 "FileDescription" "${APPNAME} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${STAGE}\pdeclare.ico"
!define MUI_UNICON "${STAGE}\pdeclare.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\bin\PDeclare.exe"
!define MUI_FINISHPAGE_RUN_TEXT "运行 ${APPNAME}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "本程序需要 64 位的 Windows。" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Programs" SecMain
  SectionIn RO
  ; A reinstall replaces the program files, never anything a user wrote.
  RMDir /r "$INSTDIR\bin"
  RMDir /r "$INSTDIR\share"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\setup\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateShortCut "$SMPROGRAMS\${APPNAME}.lnk" "$INSTDIR\bin\PDeclare.exe" "" "$INSTDIR\bin\pdeclare.ico"
  CreateShortCut "$SMPROGRAMS\${CENTRENAME}.lnk" "$INSTDIR\bin\PDeclareCentre.exe" "" "$INSTDIR\bin\pdeclare.ico"

  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "${APPNAME}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\bin\pdeclare.ico"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${APPNAME}.lnk"
  Delete "$SMPROGRAMS\${CENTRENAME}.lnk"
  ; The program files alone: the users' own tables are in their %APPDATA%.
  RMDir /r "$INSTDIR\bin"
  RMDir /r "$INSTDIR\share"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTKEY}"
SectionEnd
