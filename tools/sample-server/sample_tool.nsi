; Installer of one sample tool: installs the sample tool program under the
; tool's executable name and registers the tool's uninstall key (64-bit view)
; at the catalogue's version. Silent, so Install does its work unattended.
;   makensis -DNAME=Halvex -DEXE=Halvexer.exe -DVERSION=2.4.1
;            -DTOOL_EXE=/path/sample_tool.exe -DOUTFILE=/path/setup.exe sample_tool.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
SilentInstall silent
SilentUnInstall silent

!define KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Korvath\${NAME}"

Section
!ifdef HANG
    ; For tests of a script's /timeout: an installer that never ends.
    Sleep 3600000
!endif
    SetRegView 64
    SetOutPath "$INSTDIR"
    File "/oname=${EXE}" "${TOOL_EXE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${KEY}" "DisplayName" "${NAME}"
    WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${KEY}" "Publisher" "Korvath Dallow"
    ; Pelmora takes the folder before the last backslash: no quotes.
    WriteRegStr HKLM "${KEY}" "UninstallString" "$INSTDIR\uninstall.exe"
!ifdef EXIT_CODE
    ; For tests of what an updater makes of an installer's exit code.
    SetErrorLevel ${EXIT_CODE}
!endif
SectionEnd

Section "Uninstall"
    SetRegView 64
    Delete "$INSTDIR\${EXE}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${KEY}"
SectionEnd
