; The Windows installer, for one machine and all its accounts. Built on Debian with NSIS:
;   makensis -DVERSION=1.2.0 -DSTAGE=build/windows/stage -DOUTFILE=build/windows/corvalto-1.2.0-setup.exe \
;       packaging/windows/corvalto.nsi
; STAGE is the deployed game (corvalto.exe and every file it loads, corvalto.ico, COPYING.txt).
;
; Switches: /S silent, /D=<folder> (last, unquoted) another program folder. The uninstaller:
; /S silent, /PURGE also removes the record. Without /PURGE it asks, defaulting to keep it;
; silent, it keeps it. Registered with _?=<folder> (last, unquoted), it runs in place, so that
; whoever runs it waits for it and gets its exit code.
;
; Exit codes: 0 done; 2 nothing installed (no 64-bit Windows, the MSI package installed, a file
; in use, the record folder unsafe); 1 or 2 when a file could not be written all the same.
;
; The record lives in %ProgramData%\Corvalto (recordfolder.nsh).

Unicode true
; The game is 64-bit only; a 64-bit installer also sees the 64-bit Program Files and registry.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
; Sharp at 125 % and 150 % rather than stretched by Windows.
ManifestDPIAware true

!ifndef VERSION | STAGE | OUTFILE
  !error "usage: makensis -DVERSION=x.y.z -DSTAGE=<deployed game> -DOUTFILE=<setup.exe> corvalto.nsi"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvalto"
!define UNINSTALLER "disinstalla.exe"
!define PUBLISHER "Sviluppatori del progetto Corvalto"

Name "Corvalto"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Corvalto"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1040 "ProductName" "Corvalto"
VIAddVersionKey /LANG=1040 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1040 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1040 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1040 "FileDescription" "Installazione di Corvalto"
VIAddVersionKey /LANG=1040 "LegalCopyright" "GNU GPL"

!define MUI_ICON "${STAGE}\corvalto.ico"
!define MUI_UNICON "${STAGE}\corvalto.ico"
!define MUI_ABORTWARNING

; The licence grants rights and asks for no acceptance: a plain "Avanti".
!define MUI_LICENSEPAGE_TEXT_BOTTOM "Corvalto è software libero: puoi usarlo, studiarlo, copiarlo e modificarlo secondo questa licenza."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\COPYING.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Italian"

; What the uninstaller removes: exactly the staged files and folders (children first), so that a
; program folder chosen with /D= never loses anything else. makensis turns backslashes in the
; command into slashes, hence none in it.
!tempfile STAGED
!system `cd "${STAGE}" && { find . -type f | LC_ALL=C sort | cut -c3- | sed 's|.*|!insertmacro Unstage Delete "&"|'; find . -mindepth 1 -type d | LC_ALL=C sort -r | cut -c3- | sed 's|.*|!insertmacro Unstage RMDir "&"|'; } >"${STAGED}"` = 0
!macro Unstage command path
  !searchreplace UNSTAGE_PATH "${path}" "/" "\"
  ${command} "$INSTDIR\${UNSTAGE_PATH}"
  !undef UNSTAGE_PATH
!macroend

!addincludedir "${__FILEDIR__}"
!include recordfolder.nsh

; The program folder gets Program Files' protection wherever /D= puts it: administrators and the
; system may change it, users read and run it, and nothing is inherited. Elsewhere, as on a data
; drive, new folders usually let every account change them, and a pupil could replace a file that
; the next administrator who uninstalls runs. Given, not checked: refusing a folder that others
; may write would need Windows' own access check to be reproduced here, while setting the
; permissions makes them true. A folder that is missing (with its missing parents) is created
; with them in one step; one already there gets them in one step, and only if it is empty or
; holds this game as installed, since a file someone else put there would keep its own owner.
!define PROGRAM_SDDL "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"

; ProtectedPath <folder>: creates the folder and its missing parents with PROGRAM_SDDL, or fails.
Function ProtectedPath
  Exch $0
  Push $1
  System::Call 'kernel32::GetFileAttributesW(w r0) i .r1'
  ${If} $1 = -1
    ${GetParent} $0 $1
    ${If} $1 != ""
      Push $1
      Call ProtectedPath
    ${EndIf}
    Push $0
    Push "${PROGRAM_SDDL}"
    Call SecuredFolder
    Pop $1
    ${If} $1 <> 0
      !insertmacro Fail "Non riesco a creare la cartella $0 ($1)."
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; Whether $INSTDIR may be given the protection: empty, or this game's installed folder.
!macro ProgramFolderOurs
  ${DirState} "$INSTDIR" $1
  ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 = 1
    ${If} $2 != $INSTDIR
    ${OrIfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
      !insertmacro Fail "La cartella $INSTDIR contiene già altri file: scegli una cartella nuova o vuota."
    ${EndIf}
  ${EndIf}
!macroend

!macro ProtectProgramFolder
  System::Call 'kernel32::GetFileAttributesW(w "$INSTDIR") i .r0'
  IntOp $1 $0 & 0x410 ; FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT
  ${If} $0 = -1
    Push $INSTDIR
    Call ProtectedPath
  ${ElseIf} $1 <> 0x10
    !insertmacro Fail "$INSTDIR non è una cartella semplice: scegli un'altra cartella."
  ${Else}
    !insertmacro ProgramFolderOurs
    ; Owner, entries and no inheritance at once; the folder's own files then inherit them.
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${PROGRAM_SDDL}", i 1, *p .r1, p 0) i .r0'
    ${If} $0 = 0
      !insertmacro Fail "Non riesco a preparare i permessi di $INSTDIR."
    ${EndIf}
    System::Call 'advapi32::GetSecurityDescriptorOwner(p r1, *p .r2, *i .r3) i'
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r3, *p .r4, *i .r5) i'
    ; SE_FILE_OBJECT; OWNER_, DACL_ and PROTECTED_DACL_SECURITY_INFORMATION
    System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i 0x80000005, p r2, p 0, p r4, p 0) i .r0'
    System::Call 'kernel32::LocalFree(p r1)'
    ${If} $0 <> 0
      !insertmacro Fail "Non riesco a impostare i permessi di $INSTDIR ($0)."
    ${EndIf}
    ; A file added before the permissions took hold.
    !insertmacro ProgramFolderOurs
  ${EndIf}
!macroend

; The MSI package's upgrade code, from the one place that gives it (makensis works in this folder).
!searchparse /file corvalto.wxs `UpgradeCode="` MSI_UPGRADE_CODE `"`

; Before anything changes, each staged file already in the program folder must be replaceable
; (or, for the uninstaller, removable): a game running in another account's session keeps its
; program and libraries open, and they would otherwise be left, old, behind an exit code of 0.
!tempfile REPLACED
!system `cd "${STAGE}" && find . -type f | LC_ALL=C sort | cut -c3- | sed 's|.*|!insertmacro Replaceable "&"|' >"${REPLACED}"` = 0
!macro Replaceable path
  !searchreplace REPLACEABLE_PATH "${path}" "/" "\"
  StrCpy $R0 "$INSTDIR\${REPLACEABLE_PATH}"
  Call ${REPLACEABLE_UN}CheckReplaceable
  !undef REPLACEABLE_PATH
!macroend

; CheckReplaceable: $R0, if it exists, can be opened for writing with no sharing at all, which
; anyone having it open, or running it, prevents.
!macro CheckReplaceableFunction un
Function ${un}CheckReplaceable
  ${If} ${FileExists} $R0
    System::Call 'kernel32::CreateFileW(w R0, i 0xC0000000, i 0, p 0, i 3, i 0x00200000, p 0) p .r1 ?e'
    Pop $2
    ${If} $1 != -1
      System::Call 'kernel32::CloseHandle(p r1)'
    ${ElseIf} $2 = 32 ; ERROR_SHARING_VIOLATION
    ${OrIf} $2 = 33 ; ERROR_LOCK_VIOLATION
      !insertmacro Fail "Il file $R0 è in uso, forse perché Corvalto è aperto in un'altra sessione: chiudi il programma che lo usa e riprova."
    ${EndIf}
  ${EndIf}
FunctionEnd
!macroend
!insertmacro CheckReplaceableFunction ""
!insertmacro CheckReplaceableFunction "un."

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "Corvalto richiede Windows a 64 bit." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  SetRegView 64
  ; Installed from the MSI package (by Group Policy or Intune, say): another copy and another
  ; entry under installed apps would follow, and the management tool would put it back.
  System::Call 'msi::MsiEnumRelatedProductsW(w "{${MSI_UPGRADE_CODE}}", i 0, i 0, w .r1) i .r0'
  ${If} $0 = 0
    MessageBox MB_OK|MB_ICONSTOP "Corvalto è già installato dal pacchetto MSI (forse da Criteri di gruppo o da Intune): disinstallalo prima con il comando msiexec /x $1 /qn, poi ripeti l'installazione." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  ; For all accounts: $APPDATA is then ProgramData, $SMPROGRAMS the all-users Start menu.
  SetShellVarContext all
  ; An upgrade goes where the game already is, unless /D= says otherwise.
  ${If} $INSTDIR == "$PROGRAMFILES64\Corvalto"
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
      StrCpy $INSTDIR $0
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Corvalto"
  ; Nothing changes if a file of the installed game is in use or the program folder is refused; a
  ; record folder that cannot be made safe leaves at most an empty program folder.
  !define REPLACEABLE_UN ""
  !include "${REPLACED}"
  !undef REPLACEABLE_UN
  !insertmacro ProtectProgramFolder
  !insertmacro SetUpRecordFolder

  ; The version being replaced goes by its own uninstaller, which knows its files: nothing it
  ; shipped that this one does not is left behind. The record stays (/S). Run from a copy, so
  ; that it also removes itself, and in place (_?=), so that this installer waits for it.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\${UNINSTALLER}"
    InitPluginsDir
    ClearErrors
    CopyFiles /SILENT "$0\${UNINSTALLER}" "$PLUGINSDIR\${UNINSTALLER}"
    ExecWait '"$PLUGINSDIR\${UNINSTALLER}" /S _?=$0' $1
    ${If} ${Errors}
    ${OrIf} $1 != 0
      !insertmacro Fail "Non riesco a disinstallare la versione di Corvalto in $0 ($1)."
    ${EndIf}
    ; It removed the program folder it left empty: made again with its protection.
    ${IfNot} ${FileExists} "$INSTDIR\*.*"
      Push $INSTDIR
      Call ProtectedPath
    ${EndIf}
  ${EndIf}

  SetOutPath "$INSTDIR"
  ; A file that cannot be written stops the installation (silently too) rather than being skipped.
  AllowSkipFiles off
  File /r "${STAGE}\*"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateShortcut "$SMPROGRAMS\Corvalto.lnk" "$INSTDIR\corvalto.exe" "" "$INSTDIR\corvalto.ico" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Corvalto"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\corvalto.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; In place, so that a deployment tool gets the result once the uninstall is done.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}" _?=$INSTDIR'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  ; The copy started by an uninstall run in place, given its process: removes that one as soon
  ; as it has ended, before a new installation could find it.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/DOPO=" $1
  ${IfNot} ${Errors}
    System::Call 'kernel32::OpenProcess(i 0x100000, i 0, i r1) p .r2' ; SYNCHRONIZE
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 30000) i'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
    ${For} $1 1 300
      Delete "$INSTDIR\${UNINSTALLER}"
      ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
        ${Break}
      ${EndIf}
      Sleep 100
    ${Next}
    RMDir "$INSTDIR"
    Quit
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !define REPLACEABLE_UN "un."
  !include "${REPLACED}"
  !undef REPLACEABLE_UN
  !include "${STAGED}"
  ${If} $EXEPATH == "$INSTDIR\${UNINSTALLER}"
    ; Run in place (_?=), as the registered commands do, so that their caller waits for it: a
    ; running program cannot delete itself. A copy in TEMP (deleted at the next restart, as
    ; NSIS's own copy there is) removes it and the folder as soon as this one has ended.
    GetTempFileName $0
    CopyFiles /SILENT "$EXEPATH" $0
    System::Call 'kernel32::MoveFileExW(w r0, p 0, i 4) i' ; MOVEFILE_DELAY_UNTIL_REBOOT
    System::Call 'kernel32::GetCurrentProcessId() i .r1'
    Exec '"$0" /S /DOPO=$1 _?=$INSTDIR'
  ${Else}
    Delete "$INSTDIR\${UNINSTALLER}"
  ${EndIf}
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Corvalto.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PURGE" $1
  ${If} ${Errors}
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "Eliminare anche il record (punteggio e nome) di tutti gli utenti?" /SD IDNO IDYES purge
    DetailPrint "Il record resta in $APPDATA\Corvalto"
    Goto done
  ${EndIf}
  purge:
  !insertmacro PurgeRecordFolder
  done:
SectionEnd

!delfile "${STAGED}"
!delfile "${REPLACED}"
