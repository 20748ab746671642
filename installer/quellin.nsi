; Quellin's per-user setup: both programs, Start-menu entries, the optional
; start at sign-in and Quellsnap's keyboard shortcut, and an uninstaller that
; removes exactly what setup created and nothing else.
;
;   makensis -DARCH=x86|x64 -DPROGRAMS=<folder with both .exe files>
;            -DOUTFILE=<setup.exe> [-DSIGN_CMD=<command that signs the file
;            named as its last argument in place>] quellin.nsi
;
; Everything is per user (no elevation prompt): the programs store nothing,
; so there is nothing a second user of the machine would share.

!if "${ARCH}" == "x64"
    Target amd64-unicode
!else
    Target x86-unicode
!endif

; makensis works in the script's folder.
!define ROOT ".."
; The maker's texts come from the header both programs are built with, so the
; About window, the version blocks and Settings › Apps never disagree.
!searchparse /file "${ROOT}/resources/product_texts.h" `#define QUELLIN_COMPANY     "` COMPANY `"`
!searchparse /file "${ROOT}/resources/product_texts.h" `#define QUELLIN_COPYRIGHT   "` COPYRIGHT `"`
!searchparse /file "${ROOT}/resources/product_texts.h" `#define QUELLIN_WEB_HOST    "` WEB_HOST `"`
!define HOME_PAGE "https://${WEB_HOST}/"
; The shortcuts describe each program as its own version block does.
!searchparse /file "${ROOT}/resources/quellbar.rc" `#define VB_DESCRIPTION       "` QUELLBAR_DESCRIPTION `"`
!searchparse /file "${ROOT}/resources/quellsnap.rc" `#define VB_DESCRIPTION       "` QUELLSNAP_DESCRIPTION `"`

!define VERSION "1.0"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quellin"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MENU_FOLDER "$SMPROGRAMS\Quellin"
; Shortcut keys can only combine Ctrl, Alt and Shift with one key. Ctrl+Alt
; with arrows or function keys belong to graphics drivers, Ctrl+Alt+End and
; Ctrl+Alt+Pause to remote-desktop sessions; with all three modifiers and a
; letter nothing common collides. O as in "off".
!define QUELLSNAP_HOTKEY "ALT|CONTROL|SHIFT|O"
!define QUELLSNAP_HOTKEY_TEXT "Ctrl+Alt+Shift+O"

!ifdef SIGN_CMD
    !finalize '${SIGN_CMD} "%1"' = 0
    !uninstfinalize '${SIGN_CMD} "%1"' = 0
!endif

Name "Quellin"
OutFile "${OUTFILE}"
BrandingText "Quellin ${VERSION}"
InstallDir "$LOCALAPPDATA\Programs\Quellin"
; Setup run again finds the folder of the earlier install.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma
; File dates would make every build differ; the programs need none.
SetDateSave off

!include MUI2.nsh
!include LogicLib.nsh
!include WinMessages.nsh

!define MUI_ICON "${ROOT}/resources/icons/dark_screen.ico"
!define MUI_UNICON "${ROOT}/resources/icons/dark_screen.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "Quellbar sits in the notification area: one click on it switches the displays off. Quellsnap switches them off as soon as it starts; its keyboard shortcut is ${QUELLSNAP_HOTKEY_TEXT}."
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Quellbar"
!define MUI_FINISHPAGE_RUN_FUNCTION StartQuellbar
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "1.0.0.0"
VIFileVersion "1.0.0.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Quellin"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Sets up Quellin"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COPYRIGHT}"

Var QuellbarWasRunning

; Ends every running Quellbar the way it expects to be ended: WM_CLOSE lets
; it delete its notification icon and leave with code 0, where killing it
; would leave a dead icon behind until the pointer passes over it. Then waits,
; bounded, until its file in the install folder can be replaced, because the
; window goes a moment before the process lets go of its file.
!macro DEFINE_CLOSE_QUELLBAR un
Function ${un}CloseQuellbar
    StrCpy $QuellbarWasRunning 0
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

    StrCpy $1 0
    ${Do}
        ClearErrors
        Delete "$INSTDIR\Quellbar.exe"
        ${IfNot} ${Errors}
            ${Break}
        ${EndIf}
        IntOp $1 $1 + 1
        ${If} $1 > 50
            MessageBox MB_OK|MB_ICONSTOP "Quellbar is still running and cannot be replaced. Exit it from its menu and try again." /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
        Sleep 100
    ${Loop}
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_QUELLBAR ""
!insertmacro DEFINE_CLOSE_QUELLBAR "un."

; Only the value setup writes: one the person pointed elsewhere is theirs.
!macro DEFINE_REMOVE_OUR_SIGN_IN_START un
Function ${un}RemoveOurSignInStart
    ReadRegStr $0 HKCU "${RUN_KEY}" "Quellbar"
    ${If} $0 == '"$INSTDIR\Quellbar.exe"'
        DeleteRegValue HKCU "${RUN_KEY}" "Quellbar"
    ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_REMOVE_OUR_SIGN_IN_START ""
!insertmacro DEFINE_REMOVE_OUR_SIGN_IN_START "un."

Function StartQuellbar
    ; Already started again because it ran before setup: one is enough.
    FindWindow $0 "Quellin"
    ${If} $0 != 0
        Return
    ${EndIf}
    Exec '"$INSTDIR\Quellbar.exe"'
    ; Setup ends only once Quellbar's window exists (five seconds at most), so
    ; that whoever waits for setup finds it running. Under Wine, measured, a
    ; program whose starter had already ended sometimes came up on a desktop
    ; of its own, out of reach.
    ${For} $1 1 50
        Sleep 100
        FindWindow $0 "Quellin"
        ${IfThen} $0 != 0 ${|} ${Break} ${|}
    ${Next}
FunctionEnd

; Size in KB of one file, rounded up, added to $2.
Function AddFileSize
    Pop $0
    FileOpen $1 $0 r
    FileSeek $1 0 END $0
    FileClose $1
    IntOp $0 $0 + 1023
    IntOp $0 $0 / 1024
    IntOp $2 $2 + $0
FunctionEnd

Section "Quellbar and Quellsnap" SecPrograms
    SectionIn RO
    Call CloseQuellbar
    SetOutPath "$INSTDIR"
    File "${PROGRAMS}/Quellbar.exe"
    File "${PROGRAMS}/Quellsnap.exe"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateDirectory "${MENU_FOLDER}"
    CreateShortCut "${MENU_FOLDER}\Quellbar.lnk" "$INSTDIR\Quellbar.exe" "" "" 0 SW_SHOWNORMAL "" \
        "${QUELLBAR_DESCRIPTION}"
    CreateShortCut "${MENU_FOLDER}\Quellsnap.lnk" "$INSTDIR\Quellsnap.exe" "" "" 0 SW_SHOWNORMAL "" \
        "${QUELLSNAP_DESCRIPTION}"
    ; This run's choices replace an earlier install's: the optional parts
    ; below add back what is still wanted.
    Call RemoveOurSignInStart

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Quellin"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quellbar.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${HOME_PAGE}"
    ; _?= runs the uninstaller where it is instead of from a copy that
    ; returns at once: whoever waits for it sees the uninstall finished.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" _?=$INSTDIR'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    StrCpy $2 0
    Push "$INSTDIR\Quellbar.exe"
    Call AddFileSize
    Push "$INSTDIR\Quellsnap.exe"
    Call AddFileSize
    Push "$INSTDIR\Uninstall.exe"
    Call AddFileSize
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $2
SectionEnd

Section "Start Quellbar when I sign in" SecSignIn
    WriteRegStr HKCU "${RUN_KEY}" "Quellbar" '"$INSTDIR\Quellbar.exe"'
SectionEnd

Section "Keyboard shortcut for Quellsnap" SecHotkey
    CreateShortCut "${MENU_FOLDER}\Quellsnap.lnk" "$INSTDIR\Quellsnap.exe" "" "" 0 SW_SHOWNORMAL \
        "${QUELLSNAP_HOTKEY}" "${QUELLSNAP_DESCRIPTION}"
SectionEnd

Section "-Restart Quellbar"
    ${If} $QuellbarWasRunning == 1
        Call StartQuellbar
    ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecPrograms} "The two programs and their Start-menu entries."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecSignIn} "Quellbar starts in the notification area each time you sign in."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecHotkey} "${QUELLSNAP_HOTKEY_TEXT} starts Quellsnap, which switches the displays off."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Section "Uninstall"
    Call un.CloseQuellbar
    Delete "$INSTDIR\Quellsnap.exe"
    Delete "${MENU_FOLDER}\Quellbar.lnk"
    Delete "${MENU_FOLDER}\Quellsnap.lnk"
    RMDir "${MENU_FOLDER}"
    Call un.RemoveOurSignInStart
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; A running program cannot delete its own file. A hidden command shell,
; started from outside the folder so that it does not hold it open, deletes
; the uninstaller once this process has ended, then the folder if nothing
; else is in it. Never a recursive delete: the folder may be one the person
; chose, holding files of their own. Started only now, as the window closes,
; so that an uninstall window left open does not outlast the shell's patience.
Function un.onUninstSuccess
    SetOutPath "$TEMP"
    ExecShell "" "$SYSDIR\cmd.exe" `/D /C (for /L %i in (1,1,30) do @if exist "$INSTDIR\Uninstall.exe" (ping -n 2 127.0.0.1 >nul & del /F /Q "$INSTDIR\Uninstall.exe" >nul 2>&1)) & rmdir "$INSTDIR" 2>nul` SW_HIDE
FunctionEnd
