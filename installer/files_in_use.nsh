; Files in use. In the person's own session setup can ask a running Quellbar
; to end; other people's Quellbars run in sessions setup cannot see or reach,
; and a running program's file can be renamed but neither deleted nor
; replaced. So a per-user setup closes Quellbar, and a machine-wide one sets
; a file in use aside and lets Windows delete it at the next restart.

Var QuellbarWasRunning
; The folder whose Quellbar.exe must be let go of, or set aside.
Var LetGoFolder
; How many files this run set aside.
Var SetAsideCount

; Tries every 100 ms, up to the given number of times, to delete Quellbar.exe
; in $LetGoFolder: a Quellbar's window goes a moment before its process lets
; go of the file.
!macro TRY_DELETE_QUELLBAR tries
    ${For} $1 1 ${tries}
        ClearErrors
        Delete "$LetGoFolder\Quellbar.exe"
        ${IfNotThen} ${Errors} ${|} ${Break} ${|}
        Sleep 100
    ${Next}
!macroend

; One program in $LetGoFolder: what an earlier run set aside of it, if its
; program has ended since, then the program itself.
!macro SET_ASIDE_PROGRAM un name
    Delete "$LetGoFolder\${name}.*.old"
    Push "$LetGoFolder\${name}"
    Call ${un}SetAside
!macroend

!macro DEFINE_FILES_IN_USE un
; Ends every Quellbar this session shows the way it expects to be ended:
; WM_CLOSE lets it delete its notification icon and leave with code 0, where
; killing it would leave a dead icon behind until the pointer passes over it.
Function ${un}CloseQuellbarWindows
    StrCpy $1 0
    ${Do}
        FindWindow $0 "Quellin"
        ${If} $0 == 0
            ${Break}
        ${EndIf}
        StrCpy $QuellbarWasRunning 1
        ; A Quellbar busy switching the displays off answers half a second late.
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
        IntOp $1 $1 + 1
        ${If} $1 > 50
            ${Break}
        ${EndIf}
        Sleep 100
    ${Loop}
FunctionEnd

; Closes Quellbar, then waits, bounded, until its file in $LetGoFolder can be
; deleted. A Quellbar that will not go ends setup: nothing has been changed yet.
Function ${un}CloseQuellbar
    Call ${un}CloseQuellbarWindows
    !insertmacro TRY_DELETE_QUELLBAR 51
    ${If} ${FileExists} "$LetGoFolder\Quellbar.exe"
        MessageBox MB_OK|MB_ICONSTOP "$(QuellbarStillRunning)" /SD IDOK
        SetErrorLevel ${EXIT_QUELLBAR_RUNS}
        Quit
    ${EndIf}
FunctionEnd

; Deletes the file named on the stack or, while a program started from it
; still runs, renames it to <name>.<n>.old beside it and has Windows delete
; that at the next restart (MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT, which
; needs the administrator rights a machine-wide run has). The program runs
; on; the path is free at once for the new file. Deleting the path itself at
; restart instead would delete the new file put there now.
Function ${un}SetAside
    Exch $0
    Push $1
    ClearErrors
    Delete "$0"
    ${If} ${FileExists} "$0"
        StrCpy $1 1
        ${DoWhile} ${FileExists} "$0.$1.old"
            IntOp $1 $1 + 1
        ${Loop}
        Rename "$0" "$0.$1.old"
        Delete /REBOOTOK "$0.$1.old"
        IntOp $SetAsideCount $SetAsideCount + 1
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

; The programs in $LetGoFolder, deleted or set aside (the sign-in step too:
; someone may be signing in). Files set aside by an earlier run whose
; programs have ended since go now.
Function ${un}SetAsidePrograms
    ; A Quellbar closed just now may still hold its file for a moment.
    ${If} $QuellbarWasRunning = 1
        !insertmacro TRY_DELETE_QUELLBAR 20
    ${EndIf}
    !insertmacro SET_ASIDE_PROGRAM "${un}" "Quellbar.exe"
    !insertmacro SET_ASIDE_PROGRAM "${un}" "Quellsnap.exe"
    !insertmacro SET_ASIDE_PROGRAM "${un}" "${TAKEOVER}"
    ; Nothing needs a restart: a person's Quellbar runs on from the file set
    ; aside, and the new one starts at their next sign-in. The flag would
    ; make the finish page offer to restart the computer at once.
    SetRebootFlag false
FunctionEnd
!macroend
!insertmacro DEFINE_FILES_IN_USE ""
!insertmacro DEFINE_FILES_IN_USE "un."
