; The record folder, %ProgramData%\Corvalto, shared by every account: pupils may read and write the
; three files' contents and nothing else: no attributes, no extended attributes, no permissions,
; no deleting, creating or renaming anything there.
; Accounts are named by their well-known SIDs: the names are translated on non-English Windows.
; Included by the installer; needs LogicLib and SetShellVarContext all ($APPDATA is ProgramData).
;   !insertmacro SetUpRecordFolder    builds the folder anew with its three files, or fails
;   !insertmacro PurgeRecordFolder    removes the game's files and the folder if then empty
;
; Any account may create folders in ProgramData, and a folder made there inherits entries that
; let users add files to it. So no folder of ours is made there and then restricted: each is
; created with its final permissions in one step (an SDDL security descriptor), and the record
; folder is built inside a folder only administrators can open, then renamed into place. A record
; folder found in place is never changed there: whoever made it (the zip's game, or a pupil) may
; still own it and whatever is in it. It is moved aside into that folder, out of reach of new
; changes, and only the contents a game could have written are copied out of it: a plain file
; with one name, no larger than a game writes. Copies are new files, so an attribute (read-only,
; hidden, system, encrypted) or a permission left on an old one is gone.

!define SYSTEM_SID "*S-1-5-18"
!define ADMINS_SID "*S-1-5-32-544"
!define USERS_SID "*S-1-5-32-545"

; Only the system and administrators, for this folder and all below it.
!define PRIVATE_SDDL "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
; The record folder: the system and administrators anything; users list the folder (0x1200a9,
; read and execute) and, on every file in it, read (0x120089, FILE_GENERIC_READ) and write and
; append data (FILE_WRITE_DATA 0x2, FILE_APPEND_DATA 0x4): 0x12008f.
!define RECORD_SDDL "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)(A;OIIO;0x12008f;;;BU)"
; What a game writes at most: a record file, and a journal of two of them in the lock file.
!define RECORD_BOUND 98303
!define JOURNAL_BOUND 196670

Var RecordDir
Var RecordAside ; the private folder the old one is moved into

; Fail <message>: said in the log and in a box (silently only in the log), exit code 2.
!macro Fail message
  DetailPrint "${message}"
  MessageBox MB_OK|MB_ICONSTOP "${message}" /SD IDOK
  SetErrorLevel 2
  Quit
!macroend

; Icacls <path> <arguments>: a failure stops the installation. /L: a link itself, never its target.
!macro Icacls path arguments
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "${path}" ${arguments} /L /Q'
  Pop $0
  ${If} $0 != 0
    !insertmacro Fail "icacls non è riuscito a impostare i permessi di ${path} ($0)."
  ${EndIf}
!macroend

; After the old folder was moved aside, a failure puts it back before stopping, when its name is
; still free.
!macro RestoreRecordFolder
  ${If} $RecordAside != ""
  ${AndIf} ${FileExists} "$RecordAside\vecchia\*.*"
    System::Call 'kernel32::MoveFileW(w "$RecordAside\vecchia", w "$RecordDir") i'
  ${EndIf}
!macroend

; SecuredFolder <path> <sddl>: creates the folder with exactly these permissions; pushes 0, or
; the Windows error (183 if the name is taken).
Function SecuredFolder
  Exch $1 ; sddl
  Exch
  Exch $0 ; path
  Push $2
  Push $3
  Push $4
  Push $5
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r1, i 1, *p .r2, p 0) i .r3 ?e'
  Pop $5
  ${If} $3 <> 0
    ; SECURITY_ATTRIBUTES: nLength, (padding), lpSecurityDescriptor, bInheritHandle, (padding)
    System::Call '*(i 24, i 0, p r2, i 0, i 0) p .r4'
    System::Call 'kernel32::CreateDirectoryW(w r0, p r4) i .r3 ?e'
    Pop $5
    ${IfThen} $3 <> 0 ${|} StrCpy $5 0 ${|}
    System::Free $4
    System::Call 'kernel32::LocalFree(p r2)'
  ${ElseIf} $5 = 0
    StrCpy $5 1
  ${EndIf}
  StrCpy $0 $5
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Exch
  Pop $1
  Exch $0
FunctionEnd

; PrivateFolder <prefix>: makes a new folder named <prefix> and a number that only administrators
; can open; pushes its path. Another account may have taken a name: the next one is tried.
Function PrivateFolder
  Exch $0
  Push $1
  Push $2
  Push $3
  StrCpy $3 0
  ${Do}
    System::Call 'kernel32::GetTickCount() i .r1'
    IntOp $1 $1 & 0x7fffffff
    Push "$0$1"
    Push "${PRIVATE_SDDL}"
    Call SecuredFolder
    Pop $2
    ${If} $2 = 0
      StrCpy $0 "$0$1"
      ${Break}
    ${EndIf}
    IntOp $3 $3 + 1
    ${If} $3 >= 20
      !insertmacro Fail "Non riesco a creare una cartella riservata agli amministratori in $APPDATA ($2)."
    ${EndIf}
    Sleep 17
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; CopyRecordFile <from> <to> <bound>: creates <to> holding what <from> holds if that is a plain
; file with one name, of at most <bound> bytes, and readable; else empty. Everything is checked on
; the handle the bytes are read from, opened on the name itself, never through a link.
Function CopyRecordFile
  Exch $2 ; bound
  Exch
  Exch $1 ; to
  Exch 2
  Exch $0 ; from
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  Push $8
  Push $9
  StrCpy $9 0 ; the bytes to write
  IntOp $7 $2 + 1
  System::Alloc $7
  Pop $8
  ; GENERIC_READ, every sharing, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT
  System::Call 'kernel32::CreateFileW(w r0, i 0x80000000, i 7, p 0, i 3, i 0x00200000, p 0) p .r3 ?e'
  Pop $4
  ${If} $3 = -1
    ${If} $4 = 32 ; ERROR_SHARING_VIOLATION: the record must not be lost
      !insertmacro RestoreRecordFolder
      !insertmacro Fail "Un altro programma tiene aperto $0: chiudilo, oppure chiudi la sessione dell'utente che lo usa, e ripeti l'installazione."
    ${EndIf}
    ${If} $4 <> 2 ; ERROR_FILE_NOT_FOUND and ERROR_PATH_NOT_FOUND: a new file
    ${AndIf} $4 <> 3
      DetailPrint "$0 non si può leggere ($4): il nuovo file è vuoto"
    ${EndIf}
  ${Else}
    System::Call '*(&i52) p .r4' ; BY_HANDLE_FILE_INFORMATION
    System::Call 'kernel32::GetFileInformationByHandle(p r3, p r4) i .r5'
    ${If} $5 <> 0
      ; dwFileAttributes, nFileSizeHigh, nFileSizeLow, nNumberOfLinks
      System::Call '*$4(i .r5, i, i, i, i, i, i, i, i .r6, i .r7, i .r9)'
      IntOp $5 $5 & 0x410 ; FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT
      ${If} $5 = 0
      ${AndIf} $9 = 1
      ${AndIf} $6 = 0
      ${AndIf} $7 >= 0
      ${AndIf} $7 <= $2
        System::Call 'kernel32::GetFileType(p r3) i .r5'
      ${Else}
        StrCpy $5 0
      ${EndIf}
    ${EndIf}
    System::Free $4
    StrCpy $9 0
    ${If} $5 = 1 ; FILE_TYPE_DISK
      ; One read of up to bound + 1 bytes: a file that grew past the bound meanwhile is no copy.
      IntOp $7 $2 + 1
      System::Call 'kernel32::ReadFile(p r3, p r8, i r7, *i .r9, p 0) i .r5'
      ${If} $5 = 0
      ${OrIf} $9 > $2
        StrCpy $9 0
      ${EndIf}
    ${Else}
      DetailPrint "$0 non è un file semplice o è troppo grande: il nuovo file è vuoto"
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r3)'
  ${EndIf}
  ; GENERIC_WRITE, no sharing, CREATE_NEW, FILE_ATTRIBUTE_NORMAL: a new file, which takes its
  ; permissions from the new folder.
  System::Call 'kernel32::CreateFileW(w r1, i 0x40000000, i 0, p 0, i 1, i 0x80, p 0) p .r3 ?e'
  Pop $4
  ${If} $3 = -1
    !insertmacro RestoreRecordFolder
    !insertmacro Fail "Non riesco a creare $1 ($4)."
  ${EndIf}
  StrCpy $5 1
  StrCpy $6 0
  ${If} $9 > 0
    System::Call 'kernel32::WriteFile(p r3, p r8, i r9, *i .r6, p 0) i .r5'
  ${EndIf}
  System::Call 'kernel32::FlushFileBuffers(p r3) i .r7'
  System::Call 'kernel32::CloseHandle(p r3) i .r4'
  System::Free $8
  ${If} $5 = 0
  ${OrIf} $6 <> $9
  ${OrIf} $7 = 0
  ${OrIf} $4 = 0
    !insertmacro RestoreRecordFolder
    !insertmacro Fail "Non riesco a scrivere $1."
  ${EndIf}
  Pop $9
  Pop $8
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $0
  Pop $2
  Pop $1
FunctionEnd

!macro SetUpRecordFolder
  ; Before any file of the game: nothing else is installed if it cannot be made safe.
  StrCpy $RecordDir "$APPDATA\Corvalto"
  StrCpy $RecordAside ""
  System::Call 'kernel32::GetFileAttributesW(w "$RecordDir") i .r0'
  IntOp $1 $0 & 0x410 ; FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT
  ${If} $0 <> -1
  ${AndIf} $1 <> 0x10
    !insertmacro Fail "$RecordDir non è una cartella semplice: rimuovilo e ripeti l'installazione."
  ${EndIf}
  Push "$APPDATA\Corvalto-installazione-"
  Call PrivateFolder
  Pop $RecordAside
  ${If} $0 <> -1
    ; Renaming keeps the folder whole; from now on nobody but administrators can add, remove or
    ; rename an entry in it, since it takes the private folder's permissions.
    System::Call 'kernel32::MoveFileW(w "$RecordDir", w "$RecordAside\vecchia") i .r0 ?e'
    Pop $1
    ${If} $0 = 0
      !insertmacro Fail "Non riesco a spostare $RecordDir ($1): forse un programma vi tiene aperto un file. Chiudilo e ripeti l'installazione."
    ${EndIf}
    !insertmacro Icacls "$RecordAside\vecchia" "/setowner ${ADMINS_SID}"
    !insertmacro Icacls "$RecordAside\vecchia" /reset
    ; A folder turned into a link meanwhile is not read through.
    System::Call 'kernel32::GetFileAttributesW(w "$RecordAside\vecchia") i .r0'
    IntOp $0 $0 & 0x410
    ${If} $0 <> 0x10
      !insertmacro Fail "$RecordDir è cambiata mentre la spostavo: ripeti l'installazione."
    ${EndIf}
  ${EndIf}
  Push "$RecordAside\nuova"
  Push "${RECORD_SDDL}"
  Call SecuredFolder
  Pop $0
  ${If} $0 <> 0
    !insertmacro RestoreRecordFolder
    !insertmacro Fail "Non riesco a creare la nuova cartella del record ($0)."
  ${EndIf}
  Push "$RecordAside\vecchia\avelmora.txt"
  Push "$RecordAside\nuova\avelmora.txt"
  Push ${RECORD_BOUND}
  Call CopyRecordFile
  Push "$RecordAside\vecchia\velmora.txt"
  Push "$RecordAside\nuova\velmora.txt"
  Push ${RECORD_BOUND}
  Call CopyRecordFile
  ; Every game writes the lock file too: a store cut short left its journal there.
  Push "$RecordAside\vecchia\velmora.lock"
  Push "$RecordAside\nuova\velmora.lock"
  Push ${JOURNAL_BOUND}
  Call CopyRecordFile
  ; Into place. Any account may create a folder under that name meanwhile (a game starting now
  ; does): it is moved aside too.
  StrCpy $2 0
  ${Do}
    System::Call 'kernel32::MoveFileW(w "$RecordAside\nuova", w "$RecordDir") i .r0 ?e'
    Pop $1
    ${If} $0 <> 0
      ${Break}
    ${EndIf}
    IntOp $2 $2 + 1
    ${If} $2 > 5
      !insertmacro Fail "Non riesco a mettere al suo posto la nuova cartella del record ($1); è in $RecordAside\nuova."
    ${EndIf}
    System::Call 'kernel32::MoveFileW(w "$RecordDir", w "$RecordAside\presa$2") i .r0 ?e'
    Pop $1
    ${If} $0 = 0
      !insertmacro Fail "Non riesco a spostare $RecordDir ($1), creata durante l'installazione."
    ${EndIf}
  ${Loop}
  ; What is left aside goes, unless something else is in it: only the game's names, never through
  ; a link, and no folder is emptied recursively.
  Delete "$RecordAside\vecchia\avelmora.txt"
  Delete "$RecordAside\vecchia\velmora.txt"
  Delete "$RecordAside\vecchia\velmora.lock"
  RMDir "$RecordAside\vecchia"
  RMDir "$RecordAside"
  ${If} ${FileExists} "$RecordAside\*.*"
    DetailPrint "Restano in $RecordAside cose non del gioco, che solo gli amministratori possono aprire"
  ${EndIf}
!macroend

!macro PurgeRecordFolder
  ; Only the game's own files: the folder goes only if nothing else is in it.
  Delete "$APPDATA\Corvalto\avelmora.txt"
  Delete "$APPDATA\Corvalto\velmora.txt"
  Delete "$APPDATA\Corvalto\velmora.lock"
  RMDir "$APPDATA\Corvalto"
!macroend
