; Who an install is for, and so where everything goes. Per user (the
; default): the person's own folders and HKCU, no administrator. For everyone
; (/ALLUSERS, or chosen on the first page): Program Files, all users' Start
; menu and HKLM, which only an administrator may write. SetShellVarContext
; switches both the shell folders and SHCTX, so the rest of the script names
; each place once. A 32-bit setup sees the 32-bit registry view, on 64-bit
; Windows under WOW6432Node, and both the shell and winget read it there.

Var AllUsers    ; 1: for everyone
Var AskScope    ; 1: the first page asks (a setup with its window, without /ALLUSERS)
Var FolderGiven ; 1: /D= named the folder (ReadAskedFolder, FolderPageShow)
; The /D= folder as given ("" if none). NSIS cleans $INSTDIR whenever it is
; set, so the folder as asked for is kept apart (folder_checks.nsh).
Var AskedFolder
; The folder of an earlier install of the same scope ("" on a first
; install); the same folder again if this run moves the install away from it.
Var EarlierFolder
Var MoveFrom
Var ScopeForEveryone

; $0 = 1 when this process holds administrator rights: under UAC an
; administrator's programs run without them until elevated.
!macro IS_ELEVATED
    System::Call 'shell32::IsUserAnAdmin() i .r0'
    ${IfThen} $0 <> 0 ${|} StrCpy $0 1 ${|}
!macroend

; $0 = 1 when a machine-wide install exists.
!macro INSTALLED_FOR_EVERYONE
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == ""
        StrCpy $0 0
    ${Else}
        StrCpy $0 1
    ${EndIf}
!macroend

; $0 = the SID, as text (S-1-5-...), of the account this process runs as;
; "" if it cannot be read.
Function ReadAccountSid
    StrCpy $0 ""
    System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r1) i .r2' ; TOKEN_QUERY
    ${If} $2 <> 0
        System::Alloc 256
        Pop $3
        System::Call 'advapi32::GetTokenInformation(p r1, i 1, p r3, i 256, *i .r2) i .r2' ; TokenUser
        ${If} $2 <> 0
            System::Call '*$3(p .r2)' ; TOKEN_USER begins with the SID's address
            System::Call 'advapi32::ConvertSidToStringSidW(p r2, *p .r4) i .r2'
            ${If} $2 <> 0
                System::Call 'kernel32::lstrcpynW(w .r0, p r4, i ${NSIS_MAX_STRLEN})'
                System::Call 'kernel32::LocalFree(p r4)'
            ${EndIf}
        ${EndIf}
        System::Free $3
        System::Call 'kernel32::CloseHandle(p r1)'
    ${EndIf}
FunctionEnd

; $0 = 1 when setup runs as the SYSTEM account (S-1-5-18), as deployment
; tools run it: that account's profile is nobody's.
Function IsSystemAccount
    Call ReadAccountSid
    ${If} $0 == "S-1-5-18"
        StrCpy $0 1
    ${Else}
        StrCpy $0 0
    ${EndIf}
FunctionEnd

; Starts this program again through the elevation prompt, for everyone, with
; the options it was given (the uninstaller also with its folder), and ends
; once that one has ended. Returns only if the person declined the prompt.
!macro DEFINE_RUN_AGAIN_ELEVATED un more
Function ${un}RunAgainElevated
    ${${un}GetParameters} $1
    StrCpy $1 '$1 /ALLUSERS${more}'
    ; NSIS leaves /D= out of the parameters it hands on; without it the run
    ; for everyone would install into Program Files instead. Last, unquoted.
    !if "${un}" == ""
        ${If} $FolderGiven <> 0
            StrCpy $1 "$1 /D=$AskedFolder"
        ${EndIf}
    !endif
    ClearErrors
    ExecShellWait "runas" "$EXEPATH" $1
    ${IfNot} ${Errors}
        Quit
    ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_RUN_AGAIN_ELEVATED "" ""
!insertmacro DEFINE_RUN_AGAIN_ELEVATED "un." " _?=$INSTDIR"

; Ends setup with its code and a message (shown only with its window).
!macro REFUSE code text
    MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
    SetErrorLevel ${code}
    Quit
!macroend

; Quellin's Windows Installer package (Quellin-<version>.msi) keeps its
; folder under this key, in the same registry view as setup's entry. Where it
; is installed setup installs neither for everyone nor for one person: the
; package's removal or upgrade would take away what both name alike (the
; Start-menu folder, the Run value), and the apps list would show two.
!define PACKAGE_KEY "Software\Brindlecote\Quellin"
!macro REFUSE_WHERE_PACKAGE_INSTALLED code
    ReadRegStr $0 HKLM "${PACKAGE_KEY}" "InstallDir"
    ${If} $0 != ""
        !insertmacro REFUSE ${code} "$(PackageInstalled)"
    ${EndIf}
!macroend

; Which scope this run installs, from the command line and what is there.
; A setup with its window asks on its first page, starting from the scope
; of a machine-wide install if there is one.
Function ChooseScope
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/ALLUSERS" $1
    ${IfNot} ${Errors}
        ${If} $1 != ""
            !insertmacro REFUSE ${EXIT_BAD_SWITCH} "$(AllUsersTakesNoValue)"
        ${EndIf}
        StrCpy $AllUsers 1
        StrCpy $AskScope 0
        !insertmacro IS_ELEVATED
        ${If} $0 = 0
            ${IfNot} ${Silent}
                Call RunAgainElevated
            ${EndIf}
            !insertmacro REFUSE ${EXIT_NEEDS_ADMIN} "$(NeedsAdmin)"
        ${EndIf}
        !insertmacro REFUSE_WHERE_PACKAGE_INSTALLED ${EXIT_PACKAGE_INSTALLED}
    ${Else}
        Call IsSystemAccount
        ${If} $0 = 1
            !insertmacro REFUSE ${EXIT_SYSTEM_ACCOUNT} "$(SystemAccount)"
        ${EndIf}
        !insertmacro REFUSE_WHERE_PACKAGE_INSTALLED ${EXIT_INSTALLED_FOR_EVERYONE}
        !insertmacro INSTALLED_FOR_EVERYONE
        StrCpy $AllUsers $0
        StrCpy $AskScope 1
        ${If} ${Silent}
            ${If} $AllUsers = 1
                !insertmacro REFUSE ${EXIT_INSTALLED_FOR_EVERYONE} "$(InstalledForEveryone)"
            ${EndIf}
            StrCpy $AskScope 0
        ${EndIf}
    ${EndIf}
    Call UseScope
FunctionEnd

; The places of the chosen scope: shell folders, SHCTX, the folder (an
; earlier install's, or the scope's default, unless /D= named one) and the
; ticks an earlier install there kept.
Function UseScope
    ${If} $AllUsers = 1
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
    ReadRegStr $EarlierFolder SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $FolderGiven = 0
        ${If} $EarlierFolder != ""
            StrCpy $INSTDIR $EarlierFolder
        ${ElseIf} $AllUsers = 1
            StrCpy $INSTDIR "$PROGRAMFILES\Quellin"
        ${Else}
            StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Quellin"
        ${EndIf}
    ${EndIf}
    Call ReadKeptChoices
FunctionEnd

; The first page: for me or for everyone.
Function ScopePage
    ${IfThen} $AskScope = 0 ${|} Abort ${|}
    !insertmacro MUI_HEADER_TEXT "$(ScopeTitle)" "$(ScopeSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateRadioButton} 0 8u 100% 12u "$(ScopeForMe)"
    Pop $1
    ${NSD_CreateLabel} 12u 22u -12u 20u "$(ScopeForMeNote)"
    Pop $0
    ${NSD_CreateRadioButton} 0 50u 100% 12u "$(ScopeForEveryone)"
    Pop $ScopeForEveryone
    ${NSD_CreateLabel} 12u 64u -12u 30u "$(ScopeForEveryoneNote)"
    Pop $0
    ${If} $AllUsers = 1
        ${NSD_Check} $ScopeForEveryone
    ${Else}
        ${NSD_Check} $1
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ScopePageLeave
    ${NSD_GetState} $ScopeForEveryone $AllUsers
    ${If} $AllUsers = 1
        !insertmacro IS_ELEVATED
        ${If} $0 = 0
            Call RunAgainElevated
            MessageBox MB_OK|MB_ICONEXCLAMATION "$(NeedsAdmin)"
            Abort
        ${EndIf}
    ${Else}
        !insertmacro INSTALLED_FOR_EVERYONE
        ${If} $0 = 1
            MessageBox MB_OK|MB_ICONEXCLAMATION "$(InstalledForEveryone)"
            Abort
        ${EndIf}
    ${EndIf}
    Call UseScope
FunctionEnd

; The uninstaller's scope is that of the install whose folder it runs in.
Function un.onInit
    StrCpy $AllUsers 0
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        StrCpy $AllUsers 1
        SetShellVarContext all
        !insertmacro IS_ELEVATED
        ${If} $0 = 0
            ${IfNot} ${Silent}
                Call un.RunAgainElevated
            ${EndIf}
            !insertmacro REFUSE ${EXIT_NEEDS_ADMIN} "$(UninstallNeedsAdmin)"
        ${EndIf}
    ${EndIf}
FunctionEnd
