; Installer of Tavorine-MOV Recovery Tools for 64-bit Windows (per machine).
; scripts/package-windows.sh stages the program folder, writes the list of its
; files and runs:
;   makensis -DSTAGE=<staged folder> -DFILE_LIST=<list .nsh> -DVERSION=<x.y>
;            -DVI_VERSION=<x.y.z.w> -DOUTFILE=<setup .exe> installer.nsi
; FILE_LIST defines the macros TAV_INSTALL_FILES and TAV_UNINSTALL_FILES from
; the same list, so that the uninstaller removes exactly what was installed.
; This file is UTF-8 with a byte-order mark: makensis reads it as UTF-8 then,
; whatever the locale.

!ifndef STAGE | FILE_LIST | VERSION | VI_VERSION | OUTFILE
  !error "STAGE, FILE_LIST, VERSION, VI_VERSION and OUTFILE must be defined (-D); see scripts/package-windows.sh"
!endif

Unicode true
; The 64-bit stub: the programs are 64-bit, and it runs where no 32-bit
; subsystem is (Wine without wine32).
Target amd64-unicode
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define PRODUCT "Tavorine-MOV Recovery Tools"
!define PUBLISHER "Tavorine-MOV 维护者"
!define FOLDER "Tavorine-MOV"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavorine-MOV"
!define WIZARD "tavorine-mov.exe"
!define UNINSTALLER "uninstall.exe"
!define SHORTCUT "${PRODUCT}.lnk"
!define UNINST_SHORTCUT "卸载 ${PRODUCT}.lnk"

!include "${FILE_LIST}"
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinVer.nsh

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} 安装程序"
UninstallCaption "${PRODUCT} ${VERSION} 卸载程序"
BrandingText "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${FOLDER}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VI_VERSION}"
VIFileVersion "${VI_VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "GPL-3.0-or-later"

!define MUI_ICON "tavorine-mov.ico"
!define MUI_UNICON "tavorine-mov.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${WIZARD}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "..\..\COPYING"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "SimpChinese"

!macro TAV_INIT
  SetShellVarContext all
  SetRegView 64
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP "需要管理员权限。请以管理员身份运行。" /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

Function .onInit
  ; Qt 6 runs on Windows 10 and later only.
  ${IfNot} ${AtLeastWin10}
    MessageBox MB_ICONSTOP "${PRODUCT} 需要 Windows 10 或更高版本。" /SD IDOK
    SetErrorLevel 1150 ; ERROR_OLD_WIN_VERSION
    Quit
  ${EndIf}
  !insertmacro TAV_INIT
FunctionEnd

Function un.onInit
  !insertmacro TAV_INIT
FunctionEnd

Section "Install"
  ; An earlier installation goes first, through its own uninstaller, so that
  ; files this version no longer ships do not outlive the next uninstall.
  ; _?= runs it in place and makes ExecWait wait for it; it then leaves
  ; itself behind.
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\${UNINSTALLER}"
    DetailPrint "卸载先前的版本：$0"
    ExecWait '"$0\${UNINSTALLER}" /S _?=$0'
    Delete "$0\${UNINSTALLER}"
    RMDir "$0"
  ${EndIf}

  !insertmacro TAV_INSTALL_FILES
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "$SMPROGRAMS\${FOLDER}"
  CreateShortcut "$SMPROGRAMS\${FOLDER}\${SHORTCUT}" "$INSTDIR\${WIZARD}" "" "$INSTDIR\${WIZARD}" 0
  CreateShortcut "$SMPROGRAMS\${FOLDER}\${UNINST_SHORTCUT}" "$INSTDIR\${UNINSTALLER}" "" "$INSTDIR\${UNINSTALLER}" 0
  CreateShortcut "$DESKTOP\${SHORTCUT}" "$INSTDIR\${WIZARD}" "" "$INSTDIR\${WIZARD}" 0

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${WIZARD},0"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$DESKTOP\${SHORTCUT}"
  Delete "$SMPROGRAMS\${FOLDER}\${SHORTCUT}"
  Delete "$SMPROGRAMS\${FOLDER}\${UNINST_SHORTCUT}"
  RMDir "$SMPROGRAMS\${FOLDER}"

  ; File by file and only empty folders: whatever the user put in the
  ; folder stays.
  !insertmacro TAV_UNINSTALL_FILES
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
