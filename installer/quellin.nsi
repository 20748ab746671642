; Quellin's per-user setup: both programs, Start-menu entries, the optional
; start at sign-in and Quellsnap's keyboard shortcut, and an uninstaller that
; removes exactly what setup created and nothing else.
;
;   makensis -DARCH=x86|x64 -DPROGRAMS=<folder with both .exe files>
;            -DOUTFILE=<setup.exe> [-DSIGN_CMD=<command that signs the file
;            named as its last argument in place>] [-DLICENSE_FILE=<the
;            licence to install as LICENSE.txt>] quellin.nsi
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

; The release version, from the same header: Settings › Apps and winget compare
; DisplayVersion with the package manifests, which take it from there too.
!searchparse /file "${ROOT}/resources/product_texts.h" `#define QUELLIN_VERSION     "` VERSION `"`
; A version block's numeric version has four parts: "1.0" is 1.0.0.0.
!searchparse /noerrors "${VERSION}.0.0.0" "" VERSION_1 "." VERSION_2 "." VERSION_3 "." VERSION_4 "."
!define VERSION_WORDS "${VERSION_1}.${VERSION_2}.${VERSION_3}.${VERSION_4}"
; The licence installed beside the programs. The release stages a CRLF copy
; for Notepad; built by hand, the repository's own file will do.
!ifndef LICENSE_FILE
    !define LICENSE_FILE "${ROOT}/LICENSE"
!endif
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quellin"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MENU_FOLDER "$SMPROGRAMS\Quellin"
; Shortcut keys can only combine Ctrl, Alt and Shift with one key. Ctrl+Alt
; with arrows or function keys belong to graphics drivers, Ctrl+Alt+End and
; Ctrl+Alt+Pause to remote-desktop sessions; with all three modifiers and a
; letter nothing common collides. O as in "off".
; As the shell stores it: HOTKEYF_ALT|HOTKEYF_CONTROL|HOTKEYF_SHIFT (4|2|1)
; in the high byte, the virtual key 'O' in the low one.
!define QUELLSNAP_HOTKEY 0x074F
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
!include Sections.nsh
!include FileFunc.nsh

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

VIProductVersion "${VERSION_WORDS}"
VIFileVersion "${VERSION_WORDS}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Quellin"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Sets up Quellin"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COPYRIGHT}"

Var QuellbarWasRunning
; The folder of an earlier install, from its uninstall entry ("" on a first
; install); the same folder again if this run moves the install away from it.
Var EarlierFolder
Var MoveFrom
; Quellsnap.lnk's shortcut key before this run (0: none).
Var KeptHotkey

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
        ; A move leaves the folder the running Quellbar came from.
        ${If} $MoveFrom != ""
            Delete "$MoveFrom\Quellbar.exe"
        ${EndIf}
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

; Removes the Run value only if it starts Quellbar from the folder on the
; stack, as setup wrote it: one the person pointed elsewhere is theirs. The
; StartupApproved record beside it, where Windows keeps "disabled in Task
; Manager", is the person's too and never touched.
!macro DEFINE_REMOVE_OUR_SIGN_IN_START un
Function ${un}RemoveOurSignInStart
    Exch $0
    Push $1
    ReadRegStr $1 HKCU "${RUN_KEY}" "Quellbar"
    ${If} $1 == '"$0\Quellbar.exe"'
        DeleteRegValue HKCU "${RUN_KEY}" "Quellbar"
    ${EndIf}
    Pop $1
    Pop $0
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

; Quellsnap.lnk's shortcut key, read into $KeptHotkey (0: none, or no
; shortcut) or written from it. NSIS can only give a new shortcut a key, so
; both go through the shell's own IShellLinkW and IPersistFile, whose method
; numbers below are their places in the interfaces' tables.
!define CLSID_ShellLink "{00021401-0000-0000-C000-000000000046}"
!define IID_IShellLinkW "{000214F9-0000-0000-C000-000000000046}"
!define IID_IPersistFile "{0000010B-0000-0000-C000-000000000046}"
!macro QUELLSNAP_HOTKEY_CALL storageMode
    Push $0
    Push $1
    Push $2
    Push $3
    System::Call 'ole32::CoCreateInstance(g "${CLSID_ShellLink}", p 0, i 1, g "${IID_IShellLinkW}", *p .r1) i .r0'
    ${If} $0 = 0
        System::Call '$1->0(g "${IID_IPersistFile}", *p .r2) i .r0' ; QueryInterface
        ${If} $0 = 0
            ; IPersistFile::Load, STGM_READ (0) to read, STGM_READWRITE (2) to write
            System::Call '$2->5(w "${MENU_FOLDER}\Quellsnap.lnk", i ${storageMode}) i .r0'
            ${If} $0 = 0
            !if ${storageMode} = 2
                System::Call '$1->13(i $KeptHotkey) i .r0' ; SetHotkey
                ${If} $0 = 0
                    System::Call '$2->6(p 0, i 1)' ; Save, to the file it came from
                ${EndIf}
            !else
                System::Call '$1->12(*i .r3) i .r0' ; GetHotkey, a WORD
                ${IfThen} $0 = 0 ${|} IntOp $KeptHotkey $3 & 0xFFFF ${|}
            !endif
            ${EndIf}
            System::Call '$2->2()' ; Release
        ${EndIf}
        System::Call '$1->2()'
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
!macroend
Function ReadQuellsnapHotkey
    StrCpy $KeptHotkey 0
    !insertmacro QUELLSNAP_HOTKEY_CALL 0
FunctionEnd
Function WriteQuellsnapHotkey
    !insertmacro QUELLSNAP_HOTKEY_CALL 2
FunctionEnd

; Everything setup puts into an install folder but the uninstaller, whose
; own process cannot always delete it.
!macro DELETE_INSTALLED_FILES folder
    Delete "${folder}\Quellbar.exe"
    Delete "${folder}\Quellsnap.exe"
    Delete "${folder}\LICENSE.txt"
!macroend

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
    ; Another folder than the earlier install's moves the install: one copy,
    ; with one uninstaller that knows it. Only what setup put there leaves the
    ; old folder, before anything is written to the new one, so a folder that
    ; is the same under another spelling ends up installed all the same.
    StrCpy $MoveFrom ""
    ${If} $EarlierFolder != ""
    ${AndIf} $EarlierFolder != $INSTDIR
        StrCpy $MoveFrom $EarlierFolder
    ${EndIf}
    Call CloseQuellbar
    ${If} $MoveFrom != ""
        !insertmacro DELETE_INSTALLED_FILES $MoveFrom
        Delete "$MoveFrom\Uninstall.exe"
        RMDir "$MoveFrom"
        Push $MoveFrom
        Call RemoveOurSignInStart
    ${EndIf}
    SetOutPath "$INSTDIR"
    File "${PROGRAMS}/Quellbar.exe"
    File "${PROGRAMS}/Quellsnap.exe"
    File "/oname=LICENSE.txt" "${LICENSE_FILE}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateDirectory "${MENU_FOLDER}"
    CreateShortCut "${MENU_FOLDER}\Quellbar.lnk" "$INSTDIR\Quellbar.exe" "" "" 0 SW_SHOWNORMAL "" \
        "${QUELLBAR_DESCRIPTION}"
    CreateShortCut "${MENU_FOLDER}\Quellsnap.lnk" "$INSTDIR\Quellsnap.exe" "" "" 0 SW_SHOWNORMAL "" \
        "${QUELLSNAP_DESCRIPTION}"
    ; This run's choices replace an earlier install's: the optional parts
    ; below add back what is still wanted.
    Push $INSTDIR
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
    Push "$INSTDIR\LICENSE.txt"
    Call AddFileSize
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $2
SectionEnd

Section "Start Quellbar when I sign in" SecSignIn
    WriteRegStr HKCU "${RUN_KEY}" "Quellbar" '"$INSTDIR\Quellbar.exe"'
SectionEnd

Section "Keyboard shortcut for Quellsnap" SecHotkey
    ; A key the person chose in the shortcut's Properties stays theirs.
    ${If} $KeptHotkey = 0
        StrCpy $KeptHotkey ${QUELLSNAP_HOTKEY}
    ${EndIf}
    Call WriteQuellsnapHotkey
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

; /SIGNIN=0|1 and /HOTKEY=0|1 set an option outright, over what an earlier
; install kept. Anything else ends setup with code 3 before it changes a thing:
; a package manager's typo must not pass for a choice.
!macro APPLY_SWITCH switch section
    ClearErrors
    ${GetOptions} $R0 "${switch}" $R1
    ${IfNot} ${Errors}
        ${If} $R1 == "1"
            !insertmacro SelectSection ${section}
        ${ElseIf} $R1 == "0"
            !insertmacro UnselectSection ${section}
        ${Else}
            MessageBox MB_OK|MB_ICONSTOP "${switch} takes 0 or 1, not $\"$R1$\"." /SD IDOK
            SetErrorLevel 3
            Quit
        ${EndIf}
    ${EndIf}
!macroend

; An update starts from what is there now, found through the earlier
; install's uninstall entry: sign-in start stays on only while our Run value
; exists, the shortcut key only while Quellsnap.lnk has one. A first install
; ticks both.
Function .onInit
    ReadRegStr $EarlierFolder HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $EarlierFolder != ""
        ReadRegStr $0 HKCU "${RUN_KEY}" "Quellbar"
        ${If} $0 != '"$EarlierFolder\Quellbar.exe"'
            !insertmacro UnselectSection ${SecSignIn}
        ${EndIf}
        Call ReadQuellsnapHotkey
        ${If} $KeptHotkey = 0
            !insertmacro UnselectSection ${SecHotkey}
        ${EndIf}
    ${EndIf}
    ${GetParameters} $R0
    !insertmacro APPLY_SWITCH "/SIGNIN=" ${SecSignIn}
    !insertmacro APPLY_SWITCH "/HOTKEY=" ${SecHotkey}
FunctionEnd

Section "Uninstall"
    Call un.CloseQuellbar
    !insertmacro DELETE_INSTALLED_FILES $INSTDIR
    Delete "${MENU_FOLDER}\Quellbar.lnk"
    Delete "${MENU_FOLDER}\Quellsnap.lnk"
    RMDir "${MENU_FOLDER}"
    Push $INSTDIR
    Call un.RemoveOurSignInStart
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; A running program cannot delete its own file. A hidden command shell,
; started from outside the folder so that it does not hold it open, deletes
; the uninstaller once this process has ended, then the folder if nothing
; else is in it. Never a recursive delete: the folder may be one the person
; chose, holding files of their own. Started only now, as the window closes,
; so that an uninstall window left open does not outlast the shell's patience.
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
