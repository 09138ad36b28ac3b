; The Windows installer: the program and its data for the current user (no
; administrator needed), a Start-menu entry and an uninstaller that takes
; away exactly what was installed. Made by scripts/build-windows.sh:
;   makensis -DVERSION=... -DLISTS=folder -DOUTFILE=setup.exe doruzoro.nsi
; LISTS holds files.nsh and uninstall-files.nsh, which name every file of the
; staged folder to install and to take away.
; 64-bit, Unicode: the 32-bit stub does nothing on a 64-bit-only system.
Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!define APP "DoruzorO"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\DoruzorO"

Name "${APP}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${APP}"
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "koruhaus"
VIAddVersionKey "LegalCopyright" "Copyright 2026 the DoruzorO developers (koruhaus)"
VIAddVersionKey "FileDescription" "${APP} installer"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "${APP}"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    !include "${LISTS}/files.nsh"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    ; The game reads its pictures and sounds below the folder it starts in.
    SetOutPath "$INSTDIR"
    CreateDirectory "$SMPROGRAMS\${APP}"
    CreateShortcut "$SMPROGRAMS\${APP}\${APP}.lnk" "$INSTDIR\doruzoro.exe"
    CreateShortcut "$SMPROGRAMS\${APP}\Uninstall ${APP}.lnk" "$INSTDIR\uninstall.exe"
    WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "koruhaus"
    WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\doruzoro.exe"
    WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
SectionEnd

; Only the installed files, one by one: the folder may have been chosen as
; one that holds other things. The player's settings and replays stay.
Section "Uninstall"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${APP}\${APP}.lnk"
    Delete "$SMPROGRAMS\${APP}\Uninstall ${APP}.lnk"
    RMDir "$SMPROGRAMS\${APP}"
    !include "${LISTS}/uninstall-files.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINST_KEY}"
SectionEnd
