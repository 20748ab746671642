; Whether the install folder is one setup can use at all, judged as it was
; asked for, before anything is written. NSIS cleans a folder before setup
; sees it: from /D= and from the folder page it drops characters it does not
; allow ("C:\a|b" becomes "C:\ab"), and a /D= folder it does not like at all
; is forgotten, as if none had been given. Setup would then install where
; nobody asked, or fail halfway, so it reads the folder as given and refuses
; one Windows cannot use, with Windows' own words for what is wrong.

; The longest name setup writes into the install folder: the longest-named
; program, the sign-in step (for everyone), found in use and set aside as
; <name>.<n>.old, counted up to 99 of them. One limit for both scopes: a
; folder that takes an install for one person takes one for everyone too.
!define LONGEST_NAME "${TAKEOVER}.99.old"
; Windows starts no program from a longer path: MAX_PATH less its null.
!define LONGEST_PATH 259
; Characters Windows allows in no name, besides the control characters.
!define FORBIDDEN_CHARACTERS '<>:"/|?*'
; Names Windows keeps for devices in every folder, in any case, with or
; without an extension; it counts the superscript digits as digits too.
!define DEVICE_NAMES "\CON\PRN\AUX\NUL\COM1\COM2\COM3\COM4\COM5\COM6\COM7\COM8\COM9\COM¹\COM²\COM³\LPT1\LPT2\LPT3\LPT4\LPT5\LPT6\LPT7\LPT8\LPT9\LPT¹\LPT²\LPT³\"
; How long setup waits for a drive's or a share's root to answer: a server
; that does not answer can keep Windows trying for half a minute and more.
!define ROOT_ANSWER_MS 10000

; What is wrong, as Windows' error codes, whose messages say it in Windows'
; words and language.
!define ERROR_INVALID_NAME 123         ; a forbidden character, a name ending in a dot or a space
!define ERROR_BAD_PATHNAME 161         ; not a folder on a drive (X:\...) or a share (\\server\share\...)
!define ERROR_FILENAME_EXCED_RANGE 206 ; too long
!define ERROR_DIRECTORY 267            ; a file where a folder of the path should be
!define ERROR_BAD_DEVICE 1200          ; a device name
!define ERROR_BAD_NETPATH 53           ; a root that did not answer in time
; FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, and
; FORMAT_MESSAGE_MAX_WIDTH_MASK: one line, without the line break at its end.
!define SYSTEM_MESSAGE 0x12FF

; NSIS ends its own copy of the command line, $CMDLINE, where " /D=" begins
; (the folder runs to the end of the line); Windows' copy goes on from there
; with the folder as given.
Function ReadAskedFolder
    StrCpy $FolderGiven 0
    StrCpy $AskedFolder ""
    System::Call 'kernel32::GetCommandLineW() w .r0'
    StrLen $1 $CMDLINE
    StrCpy $2 $0 4 $1
    ${If} $2 S== " /D="
        IntOp $1 $1 + 4
        StrCpy $AskedFolder $0 "" $1
        StrCpy $INSTDIR $AskedFolder
        StrCpy $FolderGiven 1
    ${EndIf}
FunctionEnd

; $0 = 0 when the part of a path in $2 may name a folder, else what is wrong
; with it. Uses $1 and $3.
Function JudgePart
    StrCpy $0 0
    StrCpy $1 $2 1 -1
    ${If} $1 == "."
    ${OrIf} $1 == " "
        ; Windows would drop it, and the folder made would not be the one named.
        StrCpy $0 ${ERROR_INVALID_NAME}
        Return
    ${EndIf}
    ; Windows compares the name before its extension, without trailing spaces.
    StrCpy $3 0
    ${Do}
        StrCpy $1 $2 1 $3
        ${If} $1 == "."
        ${OrIf} $1 == ""
            ${Break}
        ${EndIf}
        IntOp $3 $3 + 1
    ${Loop}
    StrCpy $1 $2 $3
    ${Do}
        StrCpy $3 $1 1 -1
        ${IfThen} $3 != " " ${|} ${Break} ${|}
        StrCpy $1 $1 -1
    ${Loop}
    StrCpy $1 "\$1\"
    System::Call 'shlwapi::StrStrIW(w "${DEVICE_NAMES}", w r1) p .r3'
    ${IfThen} $3 != 0 ${|} StrCpy $0 ${ERROR_BAD_DEVICE} ${|}
FunctionEnd

; $0 = 0 when the root in $1 (X:\ or \\server\share\) answers as a folder,
; else Windows' error code for it. Uses $2 and $3.
Function JudgeRoot
    ; GetFileAttributesW takes one pointer and returns a DWORD, as a thread's
    ; start routine does, both WINAPI: it runs as a thread of its own, and
    ; setup waits for it a bounded time. A thread still waiting may outlive
    ; this function, so its copy of the path is not freed then.
    System::Call 'kernel32::GetModuleHandleW(w "kernel32") p .r3'
    System::Call 'kernel32::GetProcAddress(p r3, m "GetFileAttributesW") p .r3'
    StrLen $2 $1
    IntOp $2 $2 + 1
    IntOp $2 $2 * 2
    System::Alloc $2
    Pop $2
    System::Call 'kernel32::lstrcpyW(p r2, w r1)'
    System::Call 'kernel32::CreateThread(p 0, p 0, p r3, p r2, i 0, p 0) p .r3'
    System::Call 'kernel32::WaitForSingleObject(p r3, i ${ROOT_ANSWER_MS}) i .r0'
    ${If} $0 = 0 ; WAIT_OBJECT_0
        System::Free $2
        System::Call 'kernel32::GetExitCodeThread(p r3, *i .r2)'
        ${If} $2 = -1 ; INVALID_FILE_ATTRIBUTES
            ; Asked again for the error, which ended with the thread: an
            ; answer that came in time comes as fast again.
            System::Call 'kernel32::GetFileAttributesW(w r1) i .r2 ?e'
            Pop $0
            ${IfThen} $2 <> -1 ${|} StrCpy $0 0 ${|}
        ${EndIf}
    ${Else}
        StrCpy $0 ${ERROR_BAD_NETPATH}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r3)'
FunctionEnd

; JudgeFolder's answer for a folder it refuses.
!macro FOLDER_REFUSED code
    StrCpy $0 ${code}
    Goto judged
!macroend

; $0 = 0 when setup can install into the folder in $R0, else the Windows
; error code that says what is wrong with it and $R1 Windows' words for it.
; $R0 loses any trailing backslash, which names the same folder.
Function JudgeFolder
    ${Do}
        StrCpy $1 $R0 1 -1
        ${IfThen} $1 != "\" ${|} ${Break} ${|}
        StrCpy $R0 $R0 -1
    ${Loop}
    ; The parts begin after "X:\" on a drive ($5: one at least), after "\\"
    ; on a share, whose first two parts are the server and the share ($5:
    ; three at least). A root is no folder of its own: setup would lock it.
    StrCpy $1 $R0 2
    StrCpy $2 $R0 2 1
    ${If} $1 == "\\"
        StrCpy $4 2
        StrCpy $5 3
    ${ElseIf} $2 == ":\"
        StrCpy $4 3
        StrCpy $5 1
    ${Else}
        !insertmacro FOLDER_REFUSED ${ERROR_BAD_PATHNAME}
    ${EndIf}
    StrCpy $1 $R0 "" 2
    ; The control characters are added as the script runs: in a compiled
    ; string NSIS takes the first few for codes of its own.
    StrCpy $2 '${FORBIDDEN_CHARACTERS}'
    ${For} $3 1 31
        IntFmt $6 "%c" $3
        StrCpy $2 "$2$6"
    ${Next}
    System::Call 'shlwapi::StrPBrkW(w r1, w r2) p .r1'
    ${If} $1 != 0
        !insertmacro FOLDER_REFUSED ${ERROR_INVALID_NAME}
    ${EndIf}
    ; Each part: $6 where it starts, $7 where it ends; $9 counts them. $R2
    ; is where the root ends: "X:\", or "\\server\share\".
    StrLen $8 $R0
    StrCpy $9 0
    StrCpy $6 $4
    StrCpy $R2 2
    ${Do}
        StrCpy $7 $6
        ${Do}
            StrCpy $1 $R0 1 $7
            ${If} $1 == "\"
            ${OrIf} $1 == ""
                ${Break}
            ${EndIf}
            IntOp $7 $7 + 1
        ${Loop}
        IntOp $9 $9 + 1
        IntOp $1 $7 - $6
        StrCpy $2 $R0 $1 $6
        ${If} $2 != ""
            Call JudgePart
            ${IfThen} $0 <> 0 ${|} Goto judged ${|}
        ${ElseIf} $5 = 3
        ${AndIf} $9 < 3
            !insertmacro FOLDER_REFUSED ${ERROR_BAD_PATHNAME}
        ${EndIf}
        ${If} $5 = 3
        ${AndIf} $9 = 2
            StrCpy $R2 $7
        ${EndIf}
        ${IfThen} $7 >= $8 ${|} ${Break} ${|}
        IntOp $6 $7 + 1
    ${Loop}
    ${If} $9 < $5
        !insertmacro FOLDER_REFUSED ${ERROR_BAD_PATHNAME}
    ${EndIf}
    ; The folder, a backslash and the longest name.
    StrLen $1 "${LONGEST_NAME}"
    IntOp $1 $1 + $8
    IntOp $1 $1 + 1
    ${If} $1 > ${LONGEST_PATH}
        !insertmacro FOLDER_REFUSED ${ERROR_FILENAME_EXCED_RANGE}
    ${EndIf}
    IntOp $1 $R2 + 1
    StrCpy $1 $R0 $1
    Call JudgeRoot
    ${IfThen} $0 <> 0 ${|} Goto judged ${|}
    ; Each folder of the path that is there already; the first one missing
    ; is made, with all below it.
    IntOp $6 $R2 + 1
    ${Do}
        StrCpy $1 $R0 1 $6
        ${If} $1 == "\"
        ${OrIf} $1 == ""
            StrCpy $2 $R0 $6
            System::Call 'kernel32::GetFileAttributesW(w r2) i .r3'
            ${IfThen} $3 = -1 ${|} ${Break} ${|}
            IntOp $3 $3 & 0x10 ; FILE_ATTRIBUTE_DIRECTORY
            ${If} $3 = 0
                !insertmacro FOLDER_REFUSED ${ERROR_DIRECTORY}
            ${EndIf}
            ${IfThen} $1 == "" ${|} ${Break} ${|}
        ${EndIf}
        IntOp $6 $6 + 1
    ${Loop}
    StrCpy $0 0
    judged:
    ${If} $0 <> 0
        System::Call 'kernel32::FormatMessageW(i ${SYSTEM_MESSAGE}, p 0, i r0, i 0, w .R1, i ${NSIS_MAX_STRLEN}, p 0)'
    ${EndIf}
FunctionEnd

; Unattended, a folder setup cannot use ends setup (exit code 9) before
; anything is written.
Function RefuseUnusableFolder
    StrCpy $R0 $INSTDIR
    ${IfThen} $FolderGiven = 1 ${|} StrCpy $R0 $AskedFolder ${|}
    Call JudgeFolder
    ${If} $0 <> 0
        !insertmacro REFUSE ${EXIT_FOLDER_UNUSABLE} "$(FolderUnusable)"
    ${EndIf}
    StrCpy $INSTDIR $R0
FunctionEnd

; With its window, the folder page first shows /D= as it was given, for
; Install to judge that ($FolderGiven 2: shown).
Function FolderPageShow
    ${If} $FolderGiven = 1
        SendMessage $mui.DirectoryPage.Directory ${WM_SETTEXT} 0 "STR:$AskedFolder"
        StrCpy $FolderGiven 2
    ${EndIf}
FunctionEnd

; $0 = 0 when the folder on the folder page, as typed, is one setup can use,
; and then $INSTDIR; else a message says what is wrong. The page's own field
; holds what was typed; NSIS cleans what it puts into $INSTDIR.
Function JudgeFolderPage
    System::Call 'user32::GetWindowTextW(p $mui.DirectoryPage.Directory, w .R0, i ${NSIS_MAX_STRLEN})'
    Call JudgeFolder
    ${If} $0 <> 0
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(FolderUnusable)"
    ${Else}
        StrCpy $INSTDIR $R0
    ${EndIf}
FunctionEnd
