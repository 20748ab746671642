; Quellin's setup: both programs, Start-menu entries, the optional start at
; sign-in and Quellsnap's keyboard shortcut, and an uninstaller that removes
; exactly what setup created and nothing else. For the person running it (the
; default, no elevation prompt) or, with /ALLUSERS or chosen on its first
; page, for everyone who uses the computer.
;
;   makensis -DARCH=x86|x64 -DPROGRAMS=<folder with both .exe files>
;            -DOUTFILE=<setup.exe> [-DSIGN_CMD=<command that signs the file
;            named as its last argument in place>] [-DLICENSE_FILE=<the
;            licence to install as LICENSE.txt>] quellin.nsi
;
; This file is the table of contents: texts and places, pages, what is
; installed, and the start. Each concern lives in a file beside it:
;   scope.nsh         who the install is for, its places, elevation, refusals
;   folder_checks.nsh which folders setup can use at all, judged as asked for
;   folder_lock.nsh   who may change the install folder, and which it refuses
;   kept_choices.nsh  the options an earlier install kept; /SIGNIN= /HOTKEY=
;   files_in_use.nsh  closing Quellbar, or setting a file in use aside
;   cleanup.nsh       removing an install's things and the uninstaller's file
;   ../languages/     every text shown, one folder per language

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
; Windows' step for each person of software installed for everyone (Active
; Setup): at each sign-in, before the shell and the Run values, it runs the
; StubPath of every component whose Version that person has not had yet. On
; 64-bit Windows it reads both registry views, each with its own record of
; what each person has had; a 32-bit setup writes the 32-bit one
; (WOW6432Node), beside its apps-list entry, and so does the package.
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\Quellin"
; The program the component runs, installed only for everyone: it takes the
; person's own install away (installer/takeover/).
!define TAKEOVER "RemovePersonalCopy.exe"
!define MENU_FOLDER "$SMPROGRAMS\Quellin"
; Shortcut keys can only combine Ctrl, Alt and Shift with one key. Ctrl+Alt
; with arrows or function keys belong to graphics drivers, Ctrl+Alt+End and
; Ctrl+Alt+Pause to remote-desktop sessions; with all three modifiers and a
; letter nothing common collides. O as in "off".
; As the shell stores it: HOTKEYF_ALT|HOTKEYF_CONTROL|HOTKEYF_SHIFT (4|2|1)
; in the high byte, the virtual key 'O' in the low one.
!define QUELLSNAP_HOTKEY 0x074F

!ifdef SIGN_CMD
    !finalize '${SIGN_CMD} "%1"' = 0
    !uninstfinalize '${SIGN_CMD} "%1"' = 0
!endif

Name "Quellin"
OutFile "${OUTFILE}"
BrandingText "Quellin ${VERSION}"
; No InstallDir: $INSTDIR is then empty at the start unless /D= named a
; folder, and the scope's folder is chosen once the scope is known.
; Machine-wide, setup asks for elevation only when it needs it.
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
!include nsDialogs.nsh

; Setup's exit codes besides NSIS's own 0 (done) and 1 (cancelled, only with
; its window). Each ends setup before it changes anything.
!define EXIT_QUELLBAR_RUNS 2          ; Quellbar would not let go of its file
!define EXIT_BAD_SWITCH 3             ; /SIGNIN=, /HOTKEY= not 0 or 1, /ALLUSERS=...
!define EXIT_NEEDS_ADMIN 4            ; for everyone, without administrator rights
!define EXIT_SYSTEM_ACCOUNT 5         ; as SYSTEM without /ALLUSERS: for nobody
!define EXIT_INSTALLED_FOR_EVERYONE 6 ; for me, where Quellin is there for everyone
!define EXIT_PACKAGE_INSTALLED 7      ; for everyone, where the Windows Installer package is
!define EXIT_FOLDER_NOT_ITS_OWN 8     ; for everyone, a folder holding others' files, or not lockable
!define EXIT_FOLDER_UNUSABLE 9        ; a folder Windows cannot use: not a full path, a bad name, too long...

!define MUI_ICON "${ROOT}/resources/icons/dark_screen.ico"
!define MUI_UNICON "${ROOT}/resources/icons/dark_screen.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "$(ComponentsText)"
Page custom ScopePage ScopePageLeave
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FolderPageShow
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE FolderPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; NSIS's own sentences, then where the icon will be: Windows may first keep
; a new notification icon out of sight, and Quellbar has no window to show.
!define MUI_FINISHPAGE_TEXT "$(MUI_TEXT_FINISH_INFO_TEXT)$\r$\n$\r$\n$(FinishIcon)"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartQuellbar)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartQuellbar
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The person's Windows display language picks one of these, with no question
; asked; English, the first, serves every other. Each file holds one
; language's texts (English.nsh says how); a text missing from one fails the
; release's build (makensis -WX), where NSIS would only warn and show English.
!include ..\languages\en\English.nsh
!include ..\languages\de\German.nsh
!include ..\languages\fr\French.nsh
!include ..\languages\es\Spanish.nsh
!include ..\languages\it\Italian.nsh
!include ..\languages\pt-BR\PortugueseBR.nsh
!include ..\languages\nl\Dutch.nsh
!include ..\languages\pl\Polish.nsh
!include ..\languages\ru\Russian.nsh
!include ..\languages\ja\Japanese.nsh
!include ..\languages\ko\Korean.nsh
!include ..\languages\zh-CN\SimpChinese.nsh
!include ..\languages\zh-TW\TradChinese.nsh

VIProductVersion "${VERSION_WORDS}"
VIFileVersion "${VERSION_WORDS}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Quellin"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Sets up Quellin"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COPYRIGHT}"

!include scope.nsh
!include folder_checks.nsh
!include folder_lock.nsh
!include kept_choices.nsh
!include files_in_use.nsh
!include cleanup.nsh

; Quellbar as the person's own program. Never machine-wide: that setup runs
; elevated, and an elevated tray program is out of the person's reach (the
; shell cannot send it the icon's clicks).
Function StartQuellbar
    ${IfThen} $AllUsers = 1 ${|} Return ${|}
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

Section "$(SecProgramsName)" SecPrograms
    SectionIn RO
    Call LockInstallFolder
    ; Another folder than the earlier install's moves the install: one copy,
    ; with one uninstaller that knows it. Only what setup put there leaves the
    ; old folder, before anything is written to the new one, so a folder that
    ; is the same under another spelling ends up installed all the same.
    StrCpy $MoveFrom ""
    ${If} $EarlierFolder != ""
    ${AndIf} $EarlierFolder != $INSTDIR
        StrCpy $MoveFrom $EarlierFolder
    ${EndIf}
    StrCpy $QuellbarWasRunning 0
    StrCpy $SetAsideCount 0
    ${If} $AllUsers = 1
        ; Other people's Quellbars run on from their files, set aside; each
        ; person gets the new one at their next sign-in.
        Call RemovePerUserInstall
        ${If} $MoveFrom != ""
            StrCpy $LetGoFolder $MoveFrom
            Call SetAsidePrograms
        ${EndIf}
        StrCpy $LetGoFolder $INSTDIR
        Call SetAsidePrograms
        ; Written anew, not over a file of the same name: a file keeps its
        ; owner when overwritten, and its owner may change its permissions.
        Delete "$INSTDIR\LICENSE.txt"
        Delete "$INSTDIR\Uninstall.exe"
    ${Else}
        StrCpy $LetGoFolder $INSTDIR
        Call CloseQuellbar
        ${If} $MoveFrom != ""
            StrCpy $LetGoFolder $MoveFrom
            Call CloseQuellbar
        ${EndIf}
    ${EndIf}
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
    ${If} $AllUsers = 1
        File "${PROGRAMS}/${TAKEOVER}"
    ${EndIf}
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

    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Quellin"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quellbar.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "URLInfoAbout" "${HOME_PAGE}"
    ; _?= runs the uninstaller where it is instead of from a copy that
    ; returns at once: whoever waits for it sees the uninstall finished.
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" _?=$INSTDIR'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    StrCpy $2 0
    Push "$INSTDIR\Quellbar.exe"
    Call AddFileSize
    Push "$INSTDIR\Quellsnap.exe"
    Call AddFileSize
    Push "$INSTDIR\Uninstall.exe"
    Call AddFileSize
    Push "$INSTDIR\LICENSE.txt"
    Call AddFileSize
    ${If} $AllUsers = 1
        Push "$INSTDIR\${TAKEOVER}"
        Call AddFileSize
        ; Each version a new Version, so that every person's step runs again
        ; once: a person may have installed for themselves since.
        WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "" "Quellin"
        WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "StubPath" '"$INSTDIR\${TAKEOVER}"'
        WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "Version" "${VERSION_1},${VERSION_2},${VERSION_3},${VERSION_4}"
        WriteRegDWORD HKLM "${ACTIVE_SETUP_KEY}" "IsInstalled" 1
    ${EndIf}
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $2
SectionEnd

Section "$(SecSignInName)" SecSignIn
    WriteRegStr SHCTX "${RUN_KEY}" "Quellbar" '"$INSTDIR\Quellbar.exe"'
SectionEnd

Section "$(SecHotkeyName)" SecHotkey
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
    !insertmacro MUI_DESCRIPTION_TEXT ${SecPrograms} "$(SecProgramsText)"
    !insertmacro MUI_DESCRIPTION_TEXT ${SecSignIn} "$(SecSignInText)"
    !insertmacro MUI_DESCRIPTION_TEXT ${SecHotkey} "$(SecHotkeyText)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Places a control of the finish page: x, y, width and height in dialog
; units, as the page's own controls are placed, converted for this dialog's
; font. Call with the window in $0.
!macro PLACE_ON_FINISH_PAGE X Y WIDTH HEIGHT
    System::Call '*(i ${X}, i ${Y}, i ${WIDTH}, i ${HEIGHT}) p .r1'
    System::Call 'user32::MapDialogRect(p $HWNDPARENT, p r1)'
    System::Call '*$1(i .r2, i .r3, i .r4, i .r5)'
    System::Free $1
    System::Call 'user32::SetWindowPos(p r0, p 0, i r2, i r3, i r4, i r5, i 0x14)' ; SWP_NOZORDER|SWP_NOACTIVATE
!macroend

Function FinishPageShow
    ; The page keeps room for NSIS's sentences alone (40 units from 45 down)
    ; and puts the box right under them: the text takes the page down to the
    ; box, which moves to the page's foot, above where a link would go.
    StrCpy $0 $mui.FinishPage.Text
    !insertmacro PLACE_ON_FINISH_PAGE 120 45 195 112
    StrCpy $0 $mui.FinishPage.Run
    !insertmacro PLACE_ON_FINISH_PAGE 120 162 195 10
    ${If} $AllUsers = 1
        SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
        ShowWindow $mui.FinishPage.Run ${SW_HIDE}
        ; Quellbar is not started from here (it would run elevated): for
        ; everyone it comes with each person's next sign-in, if chosen.
        ${If} ${SectionIsSelected} ${SecSignIn}
            SendMessage $mui.FinishPage.Text ${WM_SETTEXT} 0 \
                "STR:$(MUI_TEXT_FINISH_INFO_TEXT)$\r$\n$\r$\n$(FinishForEveryone)$\r$\n$\r$\n$(FinishIcon)"
        ${EndIf}
    ${EndIf}
FunctionEnd

!insertmacro DEFINE_READ_KEPT_CHOICES

Function .onInit
    Call ReadAskedFolder
    Call ChooseScope
    ; Unattended, nobody is there to choose another folder.
    ${If} ${Silent}
        Call RefuseUnusableFolder
        Call IsFolderRefused
        ${If} $0 = 1
            !insertmacro REFUSE ${EXIT_FOLDER_NOT_ITS_OWN} "$(FolderNotItsOwn)"
        ${EndIf}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    StrCpy $QuellbarWasRunning 0
    StrCpy $SetAsideCount 0
    StrCpy $LetGoFolder $INSTDIR
    ${If} $AllUsers = 1
        ; Quellbars in other sessions run on from their files, set aside and
        ; deleted at the next restart, and with them the folder if empty.
        Call un.CloseQuellbarWindows
        Call un.SetAsidePrograms
        ${If} $SetAsideCount > 0
            RMDir /REBOOTOK "$INSTDIR"
            SetRebootFlag false
        ${EndIf}
    ${Else}
        Call un.CloseQuellbar
    ${EndIf}
    !insertmacro DELETE_INSTALLED_FILES $INSTDIR
    !insertmacro REMOVE_ENTRIES "un." $INSTDIR
    ${If} $AllUsers = 1
        DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
    ${EndIf}
SectionEnd
