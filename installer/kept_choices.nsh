; The options an earlier install kept. An update starts from what is there
; now, in the scope being installed: sign-in start stays on only while our Run
; value exists, the shortcut key only while Quellsnap.lnk has one; a first
; install ticks both. /SIGNIN=0|1 and /HOTKEY=0|1 then set an option outright.

; Quellsnap.lnk's shortcut key before this run (0: none).
Var KeptHotkey

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

; A switch that is there must say 0 or 1. Anything else ends setup with its
; code before it changes a thing: a package manager's typo must not pass for
; a choice.
!macro APPLY_SWITCH switch section
    ClearErrors
    ${GetOptions} $R0 "${switch}" $R1
    ${IfNot} ${Errors}
        ${If} $R1 == "1"
            !insertmacro SelectSection ${section}
        ${ElseIf} $R1 == "0"
            !insertmacro UnselectSection ${section}
        ${Else}
            StrCpy $R2 "${switch}"
            MessageBox MB_OK|MB_ICONSTOP "$(SwitchTakesZeroOrOne)" /SD IDOK
            SetErrorLevel ${EXIT_BAD_SWITCH}
            Quit
        ${EndIf}
    ${EndIf}
!macroend

; The components page's ticks for an install into $INSTDIR of the current
; scope, whose earlier install (if any) lives in $EarlierFolder. Inserted
; after the sections, whose numbers it needs.
!macro DEFINE_READ_KEPT_CHOICES
Function ReadKeptChoices
    !insertmacro SelectSection ${SecSignIn}
    !insertmacro SelectSection ${SecHotkey}
    StrCpy $KeptHotkey 0
    ${If} $EarlierFolder != ""
        ReadRegStr $0 SHCTX "${RUN_KEY}" "Quellbar"
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
!macroend
