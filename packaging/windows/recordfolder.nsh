; The record folder, %ProgramData%\Corvalto, shared by every account: pupils may rewrite the
; three files' contents but not create, delete or rename anything there, nor change permissions.
; Accounts are named by their well-known SIDs: the names are translated on non-English Windows.
; Included by the installer; needs LogicLib and SetShellVarContext all ($APPDATA is ProgramData).
;   !insertmacro SetUpRecordFolder    makes the folder and its three files safe, or fails
;   !insertmacro PurgeRecordFolder    removes the game's files and the folder if then empty

!define SYSTEM_SID "*S-1-5-18"
!define ADMINS_SID "*S-1-5-32-544"
!define USERS_SID "*S-1-5-32-545"

Var RecordDir

; Fail <message>: said in the log and in a box (silently only in the log), exit code 2.
!macro Fail message
  DetailPrint "${message}"
  MessageBox MB_OK|MB_ICONSTOP "${message}" /SD IDOK
  SetErrorLevel 2
  Quit
!macroend

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

!macro SetUpRecordFolder
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
!macroend

!macro PurgeRecordFolder
  ; Only the game's own files: the folder goes only if nothing else is in it.
  Delete "$APPDATA\Corvalto\avelmora.txt"
  Delete "$APPDATA\Corvalto\velmora.txt"
  Delete "$APPDATA\Corvalto\velmora.lock"
  RMDir "$APPDATA\Corvalto"
!macroend
