; The Windows installer, for one machine and all its accounts. Built on Debian with NSIS:
;   makensis -DVERSION=1.2.0 -DSTAGE=build/windows/stage -DOUTFILE=build/windows/corvalto-1.2.0-setup.exe \
;       packaging/windows/corvalto.nsi
; STAGE is the deployed game (corvalto.exe and every file it loads, corvalto.ico, COPYING.txt).
;
; Switches: /S silent, /D=<folder> (last, unquoted) another program folder. The uninstaller:
; /S silent, /PURGE also removes the record. Without /PURGE it asks, defaulting to keep it;
; silent, it keeps it.
;
; The record lives in %ProgramData%\Corvalto, shared by every account: pupils may rewrite the
; three files' contents but not create, delete or rename anything there, nor change permissions.
; Accounts are named by their well-known SIDs: the names are translated on non-English Windows.

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
!define SYSTEM_SID "*S-1-5-18"
!define ADMINS_SID "*S-1-5-32-544"
!define USERS_SID "*S-1-5-32-545"

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

Var RecordDir

!macro Fail message
  DetailPrint "${message}"
  MessageBox MB_OK|MB_ICONSTOP "${message}" /SD IDOK
  SetErrorLevel 2
  Quit
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "Corvalto richiede Windows a 64 bit." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  SetRegView 64
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

; Icacls <path> <arguments>: a failure stops the installation, since pupils would otherwise be
; left with a record they cannot write or one they can delete. /L: a link itself, never its target.
!macro Icacls path arguments
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "${path}" ${arguments} /L /Q'
  Pop $0
  ${If} $0 != 0
    !insertmacro Fail "icacls non è riuscito a impostare i permessi di ${path} ($0)."
  ${EndIf}
!macroend

; EntryKind <path>: pushes "missing", "plain" (a file with one name) or "other" (a folder, a
; link, a file with more names). The installer runs as administrator: it must not follow a
; link or change the permissions of a file reachable through another name.
Function EntryKind
  Exch $0
  Push $1
  Push $2
  Push $3
  System::Call 'kernel32::GetFileAttributesW(w r0) i .r1'
  ${If} $1 = -1
    StrCpy $0 missing
  ${ElseIf} $1 & 0x410 ; FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT
    StrCpy $0 other
  ${Else}
    ; Opened for no access at all, the link itself if the name is one.
    System::Call 'kernel32::CreateFileW(w r0, i 0, i 7, p 0, i 3, i 0x00200000, p 0) p .r1'
    StrCpy $0 other
    ${If} $1 != -1
      System::Call '*(&i52) p .r2' ; BY_HANDLE_FILE_INFORMATION
      System::Call 'kernel32::GetFileInformationByHandle(p r1, p r2) i .r3'
      ${If} $3 <> 0
        System::Call '*$2(i, i, i, i, i, i, i, i, i, i, i .r3)' ; nNumberOfLinks
        ${If} $3 = 1
          StrCpy $0 plain
        ${EndIf}
      ${EndIf}
      System::Free $2
      System::Call 'kernel32::CloseHandle(p r1)'
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; RecordFile <name>: the file in the record folder, kept if present, empty if new; anything but a
; plain file under that name is removed first.
!macro RecordFile name
  Push "$RecordDir\${name}"
  Call EntryKind
  Pop $0
  ${If} $0 == other
    DetailPrint "$RecordDir\${name} non è un file semplice: lo sostituisco"
    Delete "$RecordDir\${name}"
    RMDir "$RecordDir\${name}"
    ${If} ${FileExists} "$RecordDir\${name}"
      !insertmacro Fail "Non riesco a sostituire $RecordDir\${name}: rimuovilo e ripeti l'installazione."
    ${EndIf}
  ${EndIf}
  FileOpen $0 "$RecordDir\${name}" a
  FileClose $0
  ${IfNot} ${FileExists} "$RecordDir\${name}"
    !insertmacro Fail "Non riesco a creare $RecordDir\${name}."
  ${EndIf}
  !insertmacro Icacls "$RecordDir\${name}" "/setowner ${ADMINS_SID}"
  ; Only the folder's inheritable entries: full control for the system and administrators,
  ; read and write of the contents for users.
  !insertmacro Icacls "$RecordDir\${name}" /reset
!macroend

Section "Corvalto"
  ; The record folder first: nothing else is installed if it cannot be made safe. Any account
  ; may create folders in ProgramData: one that is a link is refused, one made by the game or
  ; by someone else gets an owner and permissions of ours.
  StrCpy $RecordDir "$APPDATA\Corvalto"
  System::Call 'kernel32::GetFileAttributesW(w "$RecordDir") i .r0'
  IntOp $1 $0 & 0x410 ; FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT
  ${If} $0 <> -1
  ${AndIf} $1 <> 0x10
    !insertmacro Fail "$RecordDir non è una cartella semplice: rimuovilo e ripeti l'installazione."
  ${EndIf}
  CreateDirectory $RecordDir
  !insertmacro Icacls $RecordDir "/setowner ${ADMINS_SID}"
  ; Drops whatever explicit entries a folder made by someone else had.
  !insertmacro Icacls $RecordDir /reset
  !insertmacro Icacls $RecordDir "/inheritance:r /grant:r ${SYSTEM_SID}:(OI)(CI)F ${ADMINS_SID}:(OI)(CI)F"
  ; Users: list and read the folder; read and write (no delete, no permissions) every file in
  ; it, a file an administrator adds later included.
  !insertmacro Icacls $RecordDir "/grant ${USERS_SID}:(RX)"
  !insertmacro Icacls $RecordDir "/grant ${USERS_SID}:(OI)(IO)(R,W)"
  !insertmacro RecordFile avelmora.txt
  !insertmacro RecordFile velmora.txt
  !insertmacro RecordFile velmora.lock

  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateShortcut "$SMPROGRAMS\Corvalto.lnk" "$INSTDIR\corvalto.exe" "" "$INSTDIR\corvalto.ico" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Corvalto"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\corvalto.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  !include "${STAGED}"
  Delete "$INSTDIR\${UNINSTALLER}"
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
  ; Only the game's own files: the folder goes only if nothing else is in it.
  Delete "$APPDATA\Corvalto\avelmora.txt"
  Delete "$APPDATA\Corvalto\velmora.txt"
  Delete "$APPDATA\Corvalto\velmora.lock"
  RMDir "$APPDATA\Corvalto"
  done:
SectionEnd

!delfile "${STAGED}"
