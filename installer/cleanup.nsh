; Removing an install: only what setup itself created, never a tree (the
; folder may be one the person chose, holding files of their own), and the
; sign-in start only as setup wrote it.

; Everything setup puts into an install folder but the uninstaller, whose
; own process cannot always delete it (the sign-in step only for everyone).
!macro DELETE_INSTALLED_FILES folder
    Delete "${folder}\Quellbar.exe"
    Delete "${folder}\Quellsnap.exe"
    Delete "${folder}\LICENSE.txt"
    Delete "${folder}\${TAKEOVER}"
!macroend

; Removes the Run value only if it starts Quellbar from the folder on the
; stack, as setup wrote it: one the person pointed elsewhere is theirs. The
; StartupApproved record beside it, where Windows keeps "disabled in Task
; Manager", is the person's too and never touched.
!macro DEFINE_REMOVE_OUR_SIGN_IN_START un
Function ${un}RemoveOurSignInStart
    Exch $0
    Push $1
    ReadRegStr $1 SHCTX "${RUN_KEY}" "Quellbar"
    ${If} $1 == '"$0\Quellbar.exe"'
        DeleteRegValue SHCTX "${RUN_KEY}" "Quellbar"
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_REMOVE_OUR_SIGN_IN_START ""
!insertmacro DEFINE_REMOVE_OUR_SIGN_IN_START "un."

; The Start-menu entries, the sign-in start and the apps-list entry of the
; install in the folder given, in the current scope.
!macro REMOVE_ENTRIES un folder
    Delete "${MENU_FOLDER}\Quellbar.lnk"
    Delete "${MENU_FOLDER}\Quellsnap.lnk"
    RMDir "${MENU_FOLDER}"
    Push "${folder}"
    Call ${un}RemoveOurSignInStart
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
!macroend

; A machine-wide install takes the place of the installing account's own
; per-user install, removed as its uninstaller would: both would start a
; Quellbar at sign-in and give two shortcuts one key. Other accounts'
; per-user installs live in profiles setup cannot safely reach: the
; component under ACTIVE_SETUP_KEY removes each at its owner's next sign-in.
Function RemovePerUserInstall
    SetShellVarContext current
    ReadRegStr $2 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $2 != ""
        StrCpy $LetGoFolder $2
        Call CloseQuellbar
        !insertmacro DELETE_INSTALLED_FILES $2
        Delete "$2\Uninstall.exe"
        RMDir "$2"
        !insertmacro REMOVE_ENTRIES "" $2
    ${EndIf}
    SetShellVarContext all
FunctionEnd

; A running program cannot delete its own file. A hidden command shell,
; started from outside the folder so that it does not hold it open, deletes
; the uninstaller once this process has ended, then the folder if nothing
; else is in it. Started only now, as the window closes, so that an
; uninstall window left open does not outlast the shell's patience.
;
; The shell runs a batch file with a plain goto loop: Wine's cmd runs the body
; of a one-line "for /L" that holds "&" only once, and an interactive
; uninstaller takes a second or more to close its window. The folder comes as
; the argument, not as text in the file, because batch files are read in the
; OEM code page and a user name in the path need not be in it.
!define CLEANUP_SCRIPT "$TEMP\Quellin-uninstall-cleanup.cmd"
Function un.onUninstSuccess
    FileOpen $0 "${CLEANUP_SCRIPT}" w
    FileWrite $0 '@echo off$\r$\n'
    FileWrite $0 'set tries=0$\r$\n'
    FileWrite $0 ':again$\r$\n'
    FileWrite $0 'del /F /Q "%~1\Uninstall.exe" >nul 2>&1$\r$\n'
    FileWrite $0 'if not exist "%~1\Uninstall.exe" goto gone$\r$\n'
    FileWrite $0 'set /a tries+=1$\r$\n'
    FileWrite $0 'if %tries% geq 30 goto gone$\r$\n'
    FileWrite $0 'ping -n 2 127.0.0.1 >nul$\r$\n'
    FileWrite $0 'goto again$\r$\n'
    FileWrite $0 ':gone$\r$\n'
    FileWrite $0 'rmdir "%~1" 2>nul$\r$\n'
    FileWrite $0 'del "%~f0"$\r$\n'
    FileClose $0
    SetOutPath "$TEMP"
    ExecShell "" "$SYSDIR\cmd.exe" '/D /C ""${CLEANUP_SCRIPT}" "$INSTDIR""' SW_HIDE
FunctionEnd
