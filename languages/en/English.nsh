; The setup's and the uninstaller's own texts in English, the reference every
; other language file follows name for name (NSIS's buttons and standard
; pages come with NSIS). English is also the language for every Windows
; display language without a file here; quellin.nsi lists the files. Keys and
; Program Files are written as Windows shows them in each language; options
; (/ALLUSERS) and program names stay as they are.
!insertmacro MUI_LANGUAGE "English"
LangString ScopeTitle 0 "Who is Quellin for?"
LangString ScopeSubtitle 0 "Install it for you alone or for everyone who uses this computer."
LangString ScopeForMe 0 "Only for me"
LangString ScopeForMeNote 0 "Installs into your own folders. No administrator rights needed."
LangString ScopeForEveryone 0 "For everyone who uses this computer"
LangString ScopeForEveryoneNote 0 "Installs into Program Files for every account. Needs administrator rights: Windows asks for them."
LangString ComponentsText 0 "Quellbar sits in the notification area: one click on it switches the displays off. Quellsnap switches them off once the keys that started it are let go (half a second after it starts when none is held); its keyboard shortcut is Ctrl+Alt+Shift+O."
LangString SecProgramsName 0 "Quellbar and Quellsnap"
LangString SecProgramsText 0 "The two programs and their Start-menu entries."
LangString SecSignInName 0 "Start Quellbar when I sign in"
LangString SecSignInText 0 "Quellbar starts in the notification area each time you sign in."
LangString SecHotkeyName 0 "Keyboard shortcut for Quellsnap"
LangString SecHotkeyText 0 "Ctrl+Alt+Shift+O starts Quellsnap, which switches the displays off."
LangString StartQuellbar 0 "Start Quellbar"
LangString FinishIcon 0 "Quellbar's icon sits in the notification area, at the right end of the taskbar, where Windows may first keep it under the arrow $\"Show hidden icons$\": drag it from there onto the taskbar to keep it in sight."
LangString FinishForEveryone 0 "Quellbar starts at each person's next sign-in."
LangString NeedsAdmin 0 "Installing Quellin for everyone who uses this computer needs administrator rights."
LangString UninstallNeedsAdmin 0 "Removing Quellin for everyone who uses this computer needs administrator rights."
LangString InstalledForEveryone 0 "Quellin is already installed for everyone who uses this computer. Update it with /ALLUSERS, or remove it before installing it for yourself."
LangString PackageInstalled 0 "Quellin is installed for everyone on this computer by its Windows Installer package. Update or remove it with that package: setup does not install beside it."
LangString SystemAccount 0 "Setup runs as the SYSTEM account, whose own profile nobody signs in to. To install Quellin for everyone, run it with /ALLUSERS."
LangString AllUsersTakesNoValue 0 "/ALLUSERS takes no value."
; $R2 is the option (/SIGNIN=, /HOTKEY=), $R1 the value it was given.
LangString SwitchTakesZeroOrOne 0 "$R2 takes 0 or 1, not $\"$R1$\"."
LangString QuellbarStillRunning 0 "Quellbar is still running and cannot be replaced. Exit it from its menu and try again."
; $INSTDIR is the folder setup for everyone refuses.
LangString FolderNotItsOwn 0 "Quellin cannot be installed for everyone into this folder:$\r$\n$\r$\n$INSTDIR$\r$\n$\r$\nIt holds other files, or its permissions cannot be set. For everyone, Quellin goes only into a folder of its own, which only administrators may change: choose a new or empty folder."
; $R0 is a folder setup cannot use at all, $R1 Windows' own words, in its
; display language, for what is wrong with it.
LangString FolderUnusable 0 "Quellin cannot be installed into this folder:$\r$\n$\r$\n$R0$\r$\n$\r$\n$R1$\r$\n$\r$\nChoose another folder."
