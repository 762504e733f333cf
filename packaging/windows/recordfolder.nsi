; The record folder's set-up as a program of its own, for the MSI package: Windows Installer runs
; it as SYSTEM before it installs the game's files, so that both installers run the same set-up.
;   makensis -DOUTFILE=build/windows/msi/recordfolder.exe packaging/windows/recordfolder.nsi
;   recordfolder.exe /SETUP    builds the folder anew with its three files: exit 0, or 2 if it cannot
;   recordfolder.exe /PURGE    removes the record (the game's files, the folder if then empty)
; Anything else: exit 2, nothing done. It shows nothing: Windows Installer has its own log.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
SilentInstall silent

!ifndef OUTFILE
  !error "usage: makensis -DOUTFILE=<recordfolder.exe> recordfolder.nsi"
!endif

; The include's needs besides: the System and nsExec plugins, which makensis always has.
!include LogicLib.nsh
!include FileFunc.nsh

Name "Corvalto"
OutFile "${OUTFILE}"

!addincludedir "${__FILEDIR__}"
!include recordfolder.nsh

Function .onInit
  ; $APPDATA is then ProgramData, also for SYSTEM.
  SetShellVarContext all
FunctionEnd

Section
  ${GetParameters} $R0
  ${If} $R0 == "/SETUP"
    !insertmacro SetUpRecordFolder
  ${ElseIf} $R0 == "/PURGE"
    !insertmacro PurgeRecordFolder
  ${Else}
    SetErrorLevel 2
  ${EndIf}
SectionEnd
