; Pelmora's own installer: 64-bit, Unicode. Installs Pelmora.exe with a
; Start-menu entry and registers the uninstall key "Pelmora" (64-bit view),
; whose DisplayVersion Pelmora compares with the server's self-version file.
; /S installs silently.
;   makensis -DPELMORA_EXE=/path/Pelmora.exe -DVERSION=1.3.2 -DOUTFILE=/path/PelmoraSetup.exe pelmora.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Pelmora"

Name "Pelmora ${VERSION}"
Caption "Pelmora ${VERSION} Setup"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Korvath\Pelmora"
; An update installs where the user chose before (/D= still wins). The
; installer is a 64-bit process, so this reads the 64-bit view.
InstallDirRegKey HKLM "${KEY}" "InstallLocation"
Icon "${ICON}"
UninstallIcon "${ICON}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    SetRegView 64
    ; The MSI owns this key and its folder: only a newer MSI replaces it.
    ReadRegStr $0 HKLM "${KEY}" "UninstallString"
    StrCpy $0 $0 7
    StrCmp $0 "MsiExec" 0 +3
        MessageBox MB_ICONSTOP "Pelmora was installed by its MSI: install the newer Pelmora.msi." \
            /SD IDOK
        Abort
FunctionEnd

Section
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "/oname=Pelmora.exe" "${PELMORA_EXE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateDirectory "$SMPROGRAMS\Korvath"
    CreateShortcut "$SMPROGRAMS\Korvath\Pelmora.lnk" "$INSTDIR\Pelmora.exe"
    WriteRegStr HKLM "${KEY}" "DisplayName" "Pelmora"
    WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${KEY}" "DisplayIcon" "$INSTDIR\Pelmora.exe"
    WriteRegStr HKLM "${KEY}" "Publisher" "Korvath Dallow"
    WriteRegStr HKLM "${KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Korvath\Pelmora.lnk"
    RMDir "$SMPROGRAMS\Korvath"
    Delete "$INSTDIR\Pelmora.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${KEY}"
SectionEnd
