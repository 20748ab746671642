; The install folder's permissions. An install for everyone runs Quellbar.exe
; at every person's sign-in, administrators' included, so only administrators
; may change what is in its folder, wherever it is: a folder created outside
; Program Files inherits its parent's permissions, and on C:\ every signed-in
; account may change what is created below it. An install for one person
; outside the person's profile runs at that person's sign-in, and is theirs
; alone. Setup gives such a folder a DACL of its own, protected from the
; parent's, before anything is written into it; the files inherit it.
; Windows alone enforces it (Wine keeps no file ACLs).

; For everyone: SYSTEM and Administrators full control, Users (every signed-in
; account) read and execute (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE), each
; inherited by files and subfolders (OICI), protected (P) from the parent's.
; Administrators own the folder: whoever created it keeps no owner's right
; to change that DACL again.
!define LOCK_FOR_EVERYONE "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
; For one person, whose SID is in $0 (S-1-5-21-...): that person, SYSTEM and
; Administrators full control, no one else anything. SDDL's own aliases do
; not name the person: "OW" (Owner Rights) and "CO" (Creator Owner) stand for
; whoever owns the folder or creates a file in it, who need not be the person
; (an administrator who does becomes it), so the SID comes from this
; process's token. The owner stays who created the folder, the person:
; naming another needs a right the person may not have.
!define LOCK_FOR_ONE_PERSON "D:PAI(A;OICI;FA;;;$0)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"

; $0 = 1 when $INSTDIR is a folder of Quellin's own: not there yet, empty, or
; holding nothing but what setup puts there and the programs it set aside.
Function IsFolderOurs
    StrCpy $0 1
    ClearErrors
    FindFirst $1 $2 "$INSTDIR\*"
    ${DoUntil} $2 == ""
        StrCpy $3 $2 13
        StrCpy $4 $2 14
        StrCpy $5 $2 "" -4
        StrLen $6 "${TAKEOVER}."
        StrCpy $6 $2 $6
        ${If} $2 == "."
        ${OrIf} $2 == ".."
            ; the folder itself and its parent
        ${ElseIf} ${FileExists} "$INSTDIR\$2\*"
            StrCpy $0 0 ; a folder, of someone else's
        ${ElseIf} $2 == "Quellbar.exe"
        ${OrIf} $2 == "Quellsnap.exe"
        ${OrIf} $2 == "LICENSE.txt"
        ${OrIf} $2 == "Uninstall.exe"
        ${OrIf} $2 == "${TAKEOVER}"
        ${ElseIf} $5 == ".old"
        ${AndIf} $3 == "Quellbar.exe."
            ; Quellbar.exe.<n>.old
        ${ElseIf} $5 == ".old"
        ${AndIf} $4 == "Quellsnap.exe."
            ; Quellsnap.exe.<n>.old
        ${ElseIf} $5 == ".old"
        ${AndIf} $6 == "${TAKEOVER}."
            ; the sign-in step's <n>.old
        ${Else}
            StrCpy $0 0
        ${EndIf}
        FindNext $1 $2
    ${Loop}
    FindClose $1
FunctionEnd

; $0 = 1 when setup for everyone must not use $INSTDIR: it holds files of
; someone else's, whom the lock would shut out, and whoever could write there
; may have left a program or a DLL that Quellbar.exe would load. The folder
; of the install being updated, or moved from, is no reason.
Function IsFolderRefused
    StrCpy $0 0
    ${If} $AllUsers = 1
    ${AndIf} $INSTDIR != $EarlierFolder
        Call IsFolderOurs
        IntOp $0 $0 !
    ${EndIf}
FunctionEnd

; The folder page stays until the folder chosen is one setup may use.
Function FolderPageLeave
    Call JudgeFolderPage
    ${IfThen} $0 <> 0 ${|} Abort ${|}
    Call IsFolderRefused
    ${If} $0 = 1
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(FolderNotItsOwn)"
        Abort
    ${EndIf}
FunctionEnd

; Locks $INSTDIR as the scope asks, creating it locked if it is not there
; yet, before anything is written into it; for one person, only outside the
; profile and where the folder is Quellin's own (else it is the person's to
; share, and stays as it is). For everyone a folder that cannot be locked, or
; that someone filled after it was looked at, ends setup (exit code 8) before
; anything else has changed.
Function LockInstallFolder
    ${If} $AllUsers = 1
        StrCpy $R3 "${LOCK_FOR_EVERYONE}"
    ${Else}
        System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR\", i ${NSIS_MAX_STRLEN}, w .r1, p 0)'
        StrLen $2 "$PROFILE\"
        StrCpy $1 $1 $2
        ${IfThen} $1 == "$PROFILE\" ${|} Return ${|}
        Call IsFolderOurs
        ${IfThen} $0 = 0 ${|} Return ${|}
        Call ReadAccountSid
        ${IfThen} $0 == "" ${|} Return ${|}
        StrCpy $R3 "${LOCK_FOR_ONE_PERSON}"
    ${EndIf}
    StrCpy $R4 1 ; ERROR_INVALID_FUNCTION, until applied
    StrCpy $R5 0 ; 1: created here
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w R3, i 1, *p .r1, p 0) i .r0' ; SDDL_REVISION_1
    ${If} $0 <> 0
        ${IfNot} ${FileExists} "$INSTDIR\*"
            ${GetParent} "$INSTDIR" $2
            CreateDirectory $2
            ; SECURITY_ATTRIBUTES: nLength, lpSecurityDescriptor, bInheritHandle
            !if "${ARCH}" == "x64"
                System::Call '*(i 24, i 0, p r1, i 0, i 0) p .r2'
            !else
                System::Call '*(i 12, p r1, i 0) p .r2'
            !endif
            System::Call 'kernel32::CreateDirectoryW(w "$INSTDIR", p r2) i .R5'
            System::Free $2
        ${EndIf}
        ; Also an existing folder, and what is already in it: SetNamedSecurityInfoW
        ; passes the inherited entries on to the files.
        System::Call 'advapi32::GetSecurityDescriptorOwner(p r1, *p .r2, *i .r3) i .r0'
        System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r3, *p .r4, *i .r3) i .r0'
        ; PROTECTED_DACL_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, and
        ; OWNER_SECURITY_INFORMATION when the descriptor names an owner
        StrCpy $5 0x80000004
        ${IfThen} $2 <> 0 ${|} IntOp $5 $5 | 1 ${|}
        System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i r5, p r2, p 0, p r4, p 0) i .R4' ; SE_FILE_OBJECT
        System::Call 'kernel32::LocalFree(p r1)'
    ${EndIf}
    ${If} $AllUsers = 1
        ; Only once locked is the answer final: until then whoever may write
        ; there could add a file.
        ${If} $R4 = 0
            Call IsFolderRefused
            StrCpy $R4 $0
        ${EndIf}
        ${If} $R4 <> 0
            ${IfThen} $R5 <> 0 ${|} RMDir "$INSTDIR" ${|}
            !insertmacro REFUSE ${EXIT_FOLDER_NOT_ITS_OWN} "$(FolderNotItsOwn)"
        ${EndIf}
    ${EndIf}
FunctionEnd
