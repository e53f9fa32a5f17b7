; The Windows installer of Varnolt: the main window varnolt-gui.exe, the command line
; varnolt.exe, the manual with its pictures and the licence text, for the current user
; only (no administrator rights), with a Start-menu folder, a desktop shortcut to the
; window, Explorer's "转换为 KML (Varnolt)" on DXF drawings and an uninstaller.
; scripts/package-windows builds it:
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.1.0 -DSTAGE=<folder with the files> \
;            -DICON=<varnolt.ico> -DOUTFILE=<installer.exe> packaging/windows/varnolt.nsi
;
; The registry keys written, both under HKCU, are the uninstaller's and the verb's;
; a Varnolt.ini the user saved beside the program (varnolt correct --save) survives
; the uninstaller.

!ifndef VERSION | STAGE | OUTFILE | ICON
  !error "define VERSION, STAGE, ICON and OUTFILE (see scripts/package-windows)"
!endif

Unicode true
; Both programs are 64-bit: a 64-bit installer needs no 32-bit Windows layer.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnolt"
; Explorer's context menu on every .dxf file, whichever program opens it, for this
; user only: the drawing converted beside itself with the saved settings.
!define DXF_SHELL_KEY "Software\Classes\SystemFileAssociations\.dxf\shell"
!define VERB_KEY "${DXF_SHELL_KEY}\Varnolt.ConvertToKml"

Name "Varnolt ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Varnolt"
; A reinstall or an update goes where the earlier one went.
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
BrandingText "Varnolt ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Varnolt"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "Varnolt ${VERSION} Setup"
VIAddVersionKey /LANG=0 "CompanyName" "Varnolt team"
VIAddVersionKey /LANG=0 "LegalCopyright" "2026 Varnolt team"

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\manual.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "$(OpenManual)"
!define MUI_FINISHPAGE_NOREBOOTSUPPORT

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The installer speaks the language of Windows' display; the first one where Windows
; speaks neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

LangString OpenManual ${LANG_ENGLISH} "Open the manual"
LangString OpenManual ${LANG_SIMPCHINESE} "打开使用说明"
LangString ManualLink ${LANG_ENGLISH} "Varnolt manual"
LangString ManualLink ${LANG_SIMPCHINESE} "Varnolt 使用说明"
LangString PromptLink ${LANG_ENGLISH} "Varnolt command prompt"
LangString PromptLink ${LANG_SIMPCHINESE} "Varnolt 命令提示符"
LangString PromptDescription ${LANG_ENGLISH} "A command prompt where varnolt runs by its name"
LangString PromptDescription ${LANG_SIMPCHINESE} "可直接运行 varnolt 的命令提示符"

Section "Varnolt"
  SetOutPath "$INSTDIR"
  File "${STAGE}\varnolt-gui.exe"
  File "${STAGE}\varnolt.exe"
  File "${STAGE}\manual.html"
  File "${STAGE}\main_window.png"
  File "${STAGE}\main_window_windows.png"
  File "${STAGE}\drawing_window.png"
  File "${STAGE}\imported_track.png"
  File "${STAGE}\options_dialog_windows.png"
  File "${STAGE}\drawing_window_windows.png"
  File "${STAGE}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The window is what most users start: from the Start menu and the desktop.
  CreateDirectory "$SMPROGRAMS\Varnolt"
  CreateShortcut "$SMPROGRAMS\Varnolt\Varnolt.lnk" "$INSTDIR\varnolt-gui.exe"
  CreateShortcut "$DESKTOP\Varnolt.lnk" "$INSTDIR\varnolt-gui.exe"
  ; The command line has no window of its own: the Start menu opens a command
  ; prompt in the user's documents with the program on PATH (for that window only,
  ; since the installer writes no environment key) and shows its help.
  CreateShortcut "$SMPROGRAMS\Varnolt\$(ManualLink).lnk" "$INSTDIR\manual.html"
  SetOutPath "$DOCUMENTS"
  CreateShortcut "$SMPROGRAMS\Varnolt\$(PromptLink).lnk" "$SYSDIR\cmd.exe" \
    '/k "set "PATH=$INSTDIR;%PATH%" && varnolt --help"' \
    "$SYSDIR\cmd.exe" 0 SW_SHOWNORMAL "" "$(PromptDescription)"
  SetOutPath "$INSTDIR"

  WriteRegStr HKCU "${VERB_KEY}" "" "转换为 KML (Varnolt)"
  WriteRegStr HKCU "${VERB_KEY}" "Icon" "$INSTDIR\varnolt-gui.exe,0"
  WriteRegStr HKCU "${VERB_KEY}\command" "" '"$INSTDIR\varnolt-gui.exe" --convert "%1"'

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "Varnolt ${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "Varnolt team"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  ; Only what the installer put there: the folder goes only when nothing else is left.
  Delete "$INSTDIR\varnolt-gui.exe"
  Delete "$INSTDIR\varnolt.exe"
  Delete "$INSTDIR\manual.html"
  Delete "$INSTDIR\main_window.png"
  Delete "$INSTDIR\main_window_windows.png"
  Delete "$INSTDIR\drawing_window.png"
  Delete "$INSTDIR\imported_track.png"
  Delete "$INSTDIR\options_dialog_windows.png"
  Delete "$INSTDIR\drawing_window_windows.png"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  ; The shortcuts of either language, whichever the installer wrote.
  Delete "$SMPROGRAMS\Varnolt\*.lnk"
  RMDir "$SMPROGRAMS\Varnolt"
  Delete "$DESKTOP\Varnolt.lnk"

  ; The verb, and the keys above it only when nothing else of the user's is left there.
  DeleteRegKey HKCU "${VERB_KEY}"
  DeleteRegKey /ifempty HKCU "${DXF_SHELL_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Classes\SystemFileAssociations\.dxf"

  DeleteRegKey HKCU "${UNINST_KEY}"
SectionEnd
