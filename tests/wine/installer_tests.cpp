// The installer, run for real: a silent install into a folder that already
// holds a file of the person's, setup again while Quellbar runs, updates that
// keep the person's choices or take new ones from the command line, a move to
// another folder, the uninstall a package manager runs and waits for, and the
// one a person clicks through, with what each leaves.
#include "driver_support.h"
#include "quellbar_session.h"
#include "resources/product_texts.h"

#include <objidl.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

// --- What an install consists of ------------------------------------------------------

static const char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static const char UninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellin";
// Where Windows 8 and later keep "disabled in Task Manager": the person's.
static const char StartupApprovedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

// Ctrl+Alt+Shift+O, setup's own key, and one a person might choose instead.
static const WORD OurHotkey = MAKEWORD('O', HOTKEYF_CONTROL | HOTKEYF_ALT | HOTKEYF_SHIFT);
static const WORD PersonsHotkey = MAKEWORD('Q', HOTKEYF_CONTROL | HOTKEYF_ALT);

// Where a plain install goes, under %LOCALAPPDATA%; the folder of an install
// for everyone under Program Files, and the Start-menu folder under the
// person's or all users' Start menu.
static const char DefaultSubfolder[] = "\\Programs\\Quellin";
static const char ProductSubfolder[] = "\\Quellin";

// Everything setup puts into the install folder; for everyone also the
// program Windows runs at each person's sign-in.
static const char *const InstalledFiles[] = {"Quellbar.exe", "Quellsnap.exe", "Uninstall.exe", "LICENSE.txt"};
static const char SignInStep[] = "RemovePersonalCopy.exe";
// A machine-wide run's names for Quellbar files it found in use, in turn.
static const char *const SetAsideFiles[] = {"Quellbar.exe.1.old", "Quellbar.exe.2.old"};

// The Start-menu folder's shortcuts; the one-shot program's may carry a hotkey.
static const struct {
    const char *link, *program;
    bool hotkey;
} Shortcuts[] = {{"Quellbar.lnk", "Quellbar.exe", false}, {"Quellsnap.lnk", "Quellsnap.exe", true}};

// Values under HKCU; '@' stands for the install folder. A REG_DWORD with
// number 0 may hold any positive number.
static const struct {
    const char *key, *name;
    DWORD type;
    const char *text;
    DWORD number;
} Values[] = {
    {RunKey, "Quellbar", REG_SZ, "\"@\\Quellbar.exe\"", 0},
    {UninstallKey, "DisplayName", REG_SZ, QUELLIN_PRODUCT, 0},
    {UninstallKey, "DisplayVersion", REG_SZ, QUELLIN_VERSION, 0},
    {UninstallKey, "Publisher", REG_SZ, QUELLIN_COMPANY, 0},
    {UninstallKey, "DisplayIcon", REG_SZ, "@\\Quellbar.exe", 0},
    {UninstallKey, "InstallLocation", REG_SZ, "@", 0},
    {UninstallKey, "UninstallString", REG_SZ, "\"@\\Uninstall.exe\" _?=@", 0},
    {UninstallKey, "QuietUninstallString", REG_SZ, "\"@\\Uninstall.exe\" /S _?=@", 0},
    {UninstallKey, "URLInfoAbout", REG_SZ, QUELLIN_HOME_PAGE, 0},
    {UninstallKey, "EstimatedSize", REG_DWORD, nullptr, 0},
    {UninstallKey, "NoModify", REG_DWORD, nullptr, 1},
    {UninstallKey, "NoRepair", REG_DWORD, nullptr, 1},
};

// The component Windows runs at each person's sign-in (Active Setup), which
// setup for everyone and the package register, each in the registry view it
// writes (the 32-bit one for the shipped files, the native one for the x64
// twins), which is this driver's own.
#define ACTIVE_SETUP_KEY "Software\\Microsoft\\Active Setup\\Installed Components\\Quellin"
static const char ActiveSetupKey[] = ACTIVE_SETUP_KEY;

// --- Small helpers --------------------------------------------------------------------

static std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

static std::string FullPath(const std::string &path)
{
    char full[MAX_PATH] = {};
    GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return full;
}

static std::string Utf8(const wchar_t *text)
{
    char bytes[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes - 1, nullptr, nullptr);
    return bytes;
}

static bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

static std::string ReplaceAt(const char *pattern, const std::string &folder)
{
    std::string out;
    for (const char *p = pattern; *p; ++p)
        out += *p == '@' ? folder : std::string(1, *p);
    return out;
}

// A value under HKCU (or root); false if the key or the value is absent.
static bool ReadValue(const char *key, const char *name, DWORD &type, std::string &text, DWORD &number,
                      HKEY root = HKEY_CURRENT_USER)
{
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    if (RegGetValueA(root, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) != ERROR_SUCCESS)
        return false;
    text = type == REG_SZ || type == REG_EXPAND_SZ ? data : "";
    number = type == REG_DWORD ? *reinterpret_cast<DWORD *>(data) : 0;
    return true;
}

static bool KeyExists(const char *key, HKEY root = HKEY_CURRENT_USER)
{
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

// Through the wide calls, so that a folder the ANSI code page cannot spell
// is read too; the names in UTF-8.
static std::vector<std::string> FolderContents(const std::wstring &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0)
            names.push_back(Utf8(found.cFileName));
    while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}
static std::vector<std::string> FolderContents(const std::string &folder)
{
    return FolderContents(Wide(folder));
}

static void WriteWhole(const std::string &path, const char *text)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, text, DWORD(std::strlen(text)), &written, nullptr);
    CloseHandle(f);
}

// Runs a command line and waits for it, pumping (the stand-in tray lives on
// this thread); false if it did not end in time, and then it is ended.
static bool RunAndWait(const std::wstring &commandLine, DWORD timeoutMs, DWORD &exitCode, double &tookMs)
{
    exitCode = 1234;
    double start = NowMs();
    Started p = StartCommandLine(commandLine);
    bool ended = WaitForExit(p, timeoutMs, &exitCode);
    tookMs = NowMs() - start;
    StopProgram(p);
    return ended;
}
static bool RunAndWait(const std::string &commandLine, DWORD timeoutMs, DWORD &exitCode, double &tookMs)
{
    return RunAndWait(Wide(commandLine), timeoutMs, exitCode, tookMs);
}

static std::string ProcessImage(DWORD processId)
{
    char path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process) {
        QueryFullProcessImageNameA(process, 0, path, &size);
        CloseHandle(process);
    }
    return path;
}

// Every Quellbar window, whoever started it.
static QuellbarWindows RunningQuellbars()
{
    return ListQuellbarWindows(0);
}

// Deletes a value under HKCU (or root), as a registry editor or a start-up
// manager would.
static bool DeleteValue(const char *key, const char *name, HKEY root = HKEY_CURRENT_USER)
{
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS)
        return false;
    bool deleted = RegDeleteValueA(k, name) == ERROR_SUCCESS;
    RegCloseKey(k);
    return deleted;
}

// Removes what an earlier, failed run may have left in this prefix, so that
// nothing found later can be a leftover. Only our own names, never a tree.
static int RemoveLeftovers(HKEY root, std::initializer_list<std::string> folders, const std::string &menu)
{
    int removed = 0;
    for (const std::string &folder : folders) {
        for (const char *file : InstalledFiles)
            removed += DeleteFileA((folder + "\\" + file).c_str()) != FALSE;
        for (const char *file : SetAsideFiles)
            removed += DeleteFileA((folder + "\\" + file).c_str()) != FALSE;
        removed += DeleteFileA((folder + "\\" + SignInStep).c_str()) != FALSE;
        removed += RemoveDirectoryA(folder.c_str()) != FALSE;
    }
    for (const auto &s : Shortcuts)
        removed += DeleteFileA((menu + "\\" + s.link).c_str()) != FALSE;
    removed += RemoveDirectoryA(menu.c_str()) != FALSE;
    removed += DeleteValue(RunKey, "Quellbar", root);
    removed += DeleteValue(StartupApprovedKey, "Quellbar", root);
    removed += RegDeleteKeyA(root, UninstallKey) == ERROR_SUCCESS;
    if (root == HKEY_LOCAL_MACHINE)
        removed += RegDeleteKeyA(root, ActiveSetupKey) == ERROR_SUCCESS;
    return removed;
}

// --- Checks ---------------------------------------------------------------------------

// A shortcut's target and key; with newHotkey, first gives it that key as a
// person would in its Properties.
static bool ShortcutFacts(const std::string &path, std::string &target, WORD &hotkey, const WORD *newHotkey = nullptr)
{
    IShellLinkA *link = nullptr;
    IPersistFile *file = nullptr;
    bool read = false;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void **>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file)))) {
        wchar_t wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        char buffer[MAX_PATH] = {};
        read = SUCCEEDED(file->Load(wide, newHotkey ? STGM_READWRITE : STGM_READ)) &&
               (!newHotkey || (SUCCEEDED(link->SetHotkey(*newHotkey)) && SUCCEEDED(file->Save(nullptr, TRUE)))) &&
               SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, 0)) && SUCCEEDED(link->GetHotkey(&hotkey));
        target = buffer;
    }
    if (file)
        file->Release();
    if (link)
        link->Release();
    return read;
}

// The Active Setup component of an install for everyone in the folder, of
// the version given (1,0,0,0 for 1.0); with no folder, that there is none.
static void CheckComponent(const std::string &folder, std::string version = QUELLIN_VERSION)
{
    std::replace(version.begin(), version.end(), '.', ',');
    while (std::count(version.begin(), version.end(), ',') < 3)
        version += ",0";
    const struct {
        const char *name;
        DWORD type;
        std::string text; // "": the number 1
    } values[] = {{"", REG_SZ, QUELLIN_PRODUCT},
                  {"StubPath", REG_SZ, "\"" + folder + "\\" + SignInStep + "\""},
                  {"Version", REG_SZ, version},
                  {"IsInstalled", REG_DWORD, ""}};
    for (const auto &v : values) {
        DWORD type = 0, number = 0;
        std::string text;
        bool present = ReadValue(ActiveSetupKey, v.name, type, text, number, HKEY_LOCAL_MACHINE);
        CHECK(folder.empty() ? !present : present && type == v.type && (v.text.empty() ? number == 1 : text == v.text),
              "the Active Setup component's '%s': present %d, type %lu, '%s' %lu; expected %s", v.name, present, type,
              text.c_str(), number, folder.empty() ? "none" : v.text.c_str());
    }
}

// Everything an install into the folder leaves, next to the person's file if
// any (or a file set aside): the sign-in start only if on, Quellsnap's
// shortcut with that key (0: none); values under HKCU, or root.
static void CheckInstalled(const std::string &folder, const char *userFile, const std::string &menu, bool signIn,
                           WORD quellsnapHotkey, HKEY root = HKEY_CURRENT_USER)
{
    const bool forEveryone = root == HKEY_LOCAL_MACHINE;
    std::vector<std::string> names = FolderContents(folder);
    std::string list;
    for (const std::string &n : names)
        list += " " + n;
    bool complete =
        names.size() == sizeof InstalledFiles / sizeof InstalledFiles[0] + (userFile ? 1 : 0) + (forEveryone ? 1 : 0);
    for (const char *file : InstalledFiles)
        complete = complete && Exists(folder + "\\" + file);
    CHECK(complete && (!userFile || Exists(folder + "\\" + userFile)), "install folder holds:%s", list.c_str());
    CheckComponent(forEveryone ? folder : "");
    for (const char *program : {"Quellbar.exe", "Quellsnap.exe", forEveryone ? SignInStep : "Quellbar.exe"})
        CHECK(ReadWholeFile(folder + "\\" + program) == ReadWholeFile(ProgramPath(program)),
              "installed %s differs from the one built", program);

    for (const auto &s : Shortcuts) {
        std::string target;
        WORD hotkey = 0;
        bool read = ShortcutFacts(menu + "\\" + s.link, target, hotkey);
        CHECK(read && _stricmp(target.c_str(), (folder + "\\" + s.program).c_str()) == 0,
              "Start menu %s: read %d, target '%s'", s.link, read, target.c_str());
        WORD expected = s.hotkey ? quellsnapHotkey : 0;
        CHECK(hotkey == expected, "%s has the hotkey 0x%04x, expected 0x%04x", s.link, hotkey, expected);
    }

    for (const auto &v : Values) {
        DWORD type = 0, number = 0;
        std::string text;
        bool present = ReadValue(v.key, v.name, type, text, number, root);
        if (v.key == RunKey && !signIn) {
            CHECK(!present, "the sign-in start is on: '%s'", text.c_str());
        } else if (v.type == REG_SZ) {
            std::string expected = ReplaceAt(v.text, folder);
            CHECK(present && type == REG_SZ && text == expected, "%s: type %lu '%s', expected '%s'", v.name, type,
                  text.c_str(), expected.c_str());
        } else {
            CHECK(present && type == REG_DWORD && (v.number ? number == v.number : number > 0),
                  "%s: present %d, type %lu, value %lu", v.name, present, type, number);
        }
    }
}

// --- The round trip -------------------------------------------------------------------

static std::string awaitedPath;
static bool AwaitedPathGone()
{
    return !Exists(awaitedPath);
}

// Removes the install for everyone by the command given, or by its own
// quiet uninstall command, and waits for its folder to go; true when that
// command ended with 0.
static bool RemoveForEveryone(const std::string &folder, std::string command = "")
{
    DWORD type, number, exitCode;
    double ms;
    if (command.empty())
        ReadValue(UninstallKey, "QuietUninstallString", type, command, number, HKEY_LOCAL_MACHINE);
    bool ended = RunAndWait(command, 120000, exitCode, ms) && exitCode == 0;
    awaitedPath = folder;
    PumpUntil(AwaitedPathGone, 15000);
    return ended;
}
static bool IconAdded()
{
    return shellCalls[NIM_ADD] > 0;
}
static bool UninstallKeyGone()
{
    return !KeyExists(UninstallKey);
}
static DWORD previousBar;
static bool NewQuellbarRuns()
{
    QuellbarWindows q = RunningQuellbars();
    return q.count > 0 && q.windowProcessId != previousBar;
}

// A wizard's IDOK button (Next, Uninstall, Close), of the process asked for,
// once it is shown, enabled and says the word asked for. Looked for among
// all the wizard's windows, not with GetDlgItem: in the emulator that has
// missed the button of a wizard in plain view, seen through this search.
static DWORD wizardProcess;
static const char *wizardWord;
static HWND wizardButton;
// The first child window that passes the test, among the shown windows of
// the wizard's process; null if none does.
static bool (*childWanted)(HWND);
static HWND foundChild;
static BOOL CALLBACK FindWantedChild(HWND window, LPARAM)
{
    foundChild = childWanted(window) ? window : nullptr;
    return foundChild == nullptr;
}
static BOOL CALLBACK FindInWizard(HWND window, LPARAM)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == wizardProcess && IsWindowVisible(window))
        EnumChildWindows(window, FindWantedChild, 0);
    return foundChild == nullptr;
}
static HWND FindWizardChild(bool (*wanted)(HWND))
{
    childWanted = wanted;
    foundChild = nullptr;
    EnumWindows(FindInWizard, 0);
    return foundChild;
}
static bool IsWizardButton(HWND window)
{
    char text[64] = {}; // "&Next >", "&Close": the word follows the accelerator's '&'
    GetWindowTextA(window, text, sizeof text);
    return GetDlgCtrlID(window) == IDOK && IsWindowVisible(window) && IsWindowEnabled(window) &&
           std::strstr(text, wizardWord);
}
static bool WizardButtonReady()
{
    wizardButton = FindWizardChild(IsWizardButton);
    return wizardButton != nullptr;
}
// The title in the wizard's header (its control 1037): two pages in a row
// may offer the same word ("Next"), so a press took once the title changed.
static char pressedOnPage[128];
static bool IsPageTitle(HWND window)
{
    return GetDlgCtrlID(window) == 1037;
}
static void ReadPageTitle(char (&title)[128])
{
    HWND window = FindWizardChild(IsPageTitle);
    title[0] = '\0';
    if (window)
        GetWindowTextA(window, title, sizeof title);
}
static bool WizardButtonTaken()
{
    char title[128];
    ReadPageTitle(title);
    return !WizardButtonReady() || std::strcmp(title, pressedOnPage) != 0;
}

// When a press fails: every top-level window there is, and every child of
// the wizard's, to show where the wizard and its button were.
static BOOL CALLBACK NoteWindow(HWND window, LPARAM child)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char className[64] = {}, text[48] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, text, sizeof text);
    if (child || processId == wizardProcess || IsWindowVisible(window))
        Note("%s %p of %p, process %lu, id %ld, visible %d, enabled %d, class %s, '%s'", child ? "  child" : "window",
             (void *)window, (void *)GetParent(window), processId, long(GetDlgCtrlID(window)), IsWindowVisible(window),
             IsWindowEnabled(window), className, text);
    if (!child && processId == wizardProcess)
        EnumChildWindows(window, NoteWindow, 1);
    return TRUE;
}

// Presses the button as a person's Enter would: once it has stayed half a
// second, and again while it stays (in the emulator a wizard has ignored a
// press at the start of its progress page). The press is sent, not posted:
// the wizard turns its page before it returns, so a button still saying the
// word afterwards was ignored. A posted press still queued behind a slow page
// turn would be pressed again, and the second one would land on the next page.
// False, with a note of which, if it never showed or never went.
static bool PressWizardButton(DWORD processId, const char *word)
{
    wizardProcess = processId;
    wizardWord = word;
    for (int presses = 0; presses < 10 && PumpUntil(WizardButtonReady, 60000); ++presses) {
        PumpFor(500);
        if (!WizardButtonReady())
            continue;
        ReadPageTitle(pressedOnPage);
        DWORD_PTR result;
        SendMessageTimeoutA(GetParent(wizardButton), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(wizardButton),
                            SMTO_NORMAL, 30000, &result);
        if (PumpUntil(WizardButtonTaken, 1000))
            return true;
    }
    Note("the wizard's \"%s\" button never showed enabled, or a press on it never took", word);
    EnumWindows(NoteWindow, 0);
    return false;
}

// The finish page's "Start Quellbar" box, somewhere below the wizard (the
// pages before it may still be there); it comes a moment after the page's
// Finish button.
static HWND startBox;
static BOOL CALLBACK FindStartBox(HWND window, LPARAM)
{
    char text[64] = {};
    GetWindowTextA(window, text, sizeof text);
    startBox = std::strcmp(text, "Start Quellbar") == 0 ? window : nullptr;
    return startBox == nullptr;
}
static bool StartBoxShown()
{
    startBox = nullptr;
    if (WizardButtonReady())
        EnumChildWindows(GetParent(wizardButton), FindStartBox, 0);
    return startBox != nullptr;
}

// The last page's text, NSIS's sentence first, and what it must say after it
// (in English): where Quellbar's icon is, and for everyone, whose sign-in
// start the update keeps, when it comes; setup for one person starts it now.
static const wchar_t FinishFirstWords[] = L"Quellin has been installed on your computer.";
static const struct {
    bool forEveryone;
    const wchar_t *words;
    bool said;
} FinishWords[] = {
    {false, L"in the notification area, at the right end of the taskbar, where Windows may first keep it under the "
            L"arrow \"Show hidden icons\"",
     true},
    {false, L"sign-in", false},
    {true, L"Setup.\r\n\r\nQuellbar starts at each person's next sign-in.\r\n\r\nQuellbar's icon sits", true},
};
static bool IsFinishText(HWND window)
{
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    return std::wcsncmp(text, FinishFirstWords, std::wcslen(FinishFirstWords)) == 0;
}

// Setup run by hand, clicked through as offered (Next on the scope page and
// the components page, Install, Finish), after checking which scope the first
// page offered; on the last page "Start Quellbar" is unticked, or must not be
// offered at all for everyone. firstPageMs is how long the first page took
// to show.
// Under wine32 in the emulator, setup's wizard has come up now and then on
// its first page with Cancel and Back but no IDOK button at all (every child
// window listed), or with Next but without the first page's choices: nobody
// could go on from there.
static bool IsCancel(HWND window)
{
    return GetDlgCtrlID(window) == IDCANCEL;
}
// The first page's choice waited for, by its place, whatever its words (read
// once it is there, so that a page in the wrong language fails at once): the
// second, for everyone, when clicking through, whose tick tells the scope
// offered; the first when only the page's language counts, since in the
// emulator a first page started under another locale has come up, twice in a
// row, with its first choice alone.
static const wchar_t EnglishEveryoneWords[] = L"For everyone who uses this computer";
static int choiceWanted = 1, choicesSeen;
static bool IsChoiceWaitedFor(HWND window)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    return _stricmp(className, "Button") == 0 &&
           (GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON && choicesSeen++ == choiceWanted;
}
// The first page whole: its choice, which comes a moment after the frame's
// Next button, and that button.
static HWND pageChoice;
static bool FirstPageShown()
{
    choicesSeen = 0;
    pageChoice = FindWizardChild(IsChoiceWaitedFor);
    return pageChoice && WizardButtonReady();
}

// Wine takes the display language from the Unix locale variables as a
// program starts (LC_ALL: LANG alone left Wine 8 in English here, with no
// locales installed), and a Windows program started the Windows way inherits
// this driver's, whatever its environment block says (measured). A Unix
// program started from here gets the block as its environment: env starts
// setup's Wine under the locale given, and the Windows process that becomes
// is found by its file name.
static const char *setupName;
static DWORD setupProcess;
static bool SetupProcessFound()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    setupProcess = 0;
    for (BOOL more = Process32First(snapshot, &entry); more && !setupProcess; more = Process32Next(snapshot, &entry))
        if (_stricmp(entry.szExeFile, setupName) == 0)
            setupProcess = entry.th32ProcessID;
    CloseHandle(snapshot);
    return setupProcess != 0;
}
static Started StartUnderLocale(const std::string &setup, const char *locale, const char *options = "")
{
    Started s = {};
    char wine[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("WINE", wine, sizeof wine)) {
        CHECK(false, "WINE names no Wine loader: run the driver with tests/wine/wine_session.sh");
        return s;
    }
    setupName = std::strrchr(setup.c_str(), '\\') + 1;
    StartCommandLine(std::string("Z:\\usr\\bin\\env LC_ALL=") + locale + " \"" + wine + "\" \"" + setup + "\"" + options);
    if (PumpUntil(SetupProcessFound, 30000)) {
        s.process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, setupProcess);
        s.processId = setupProcess;
    }
    return s;
}

// A first page that has stood incomplete this long, its Cancel button there
// all the while, will not complete: the controls a page gets all come within
// a second or two of its frame, also in the emulator.
static const double SettledIncompleteMs = 10000;
static double cancelSeenAt;
static bool FirstPageShownOrSettled()
{
    if (FirstPageShown())
        return true;
    if (!FindWizardChild(IsCancel)) {
        cancelSeenAt = 0;
        return false;
    }
    if (cancelSeenAt == 0)
        cancelSeenAt = NowMs();
    return NowMs() - cancelSeenAt > SettledIncompleteMs;
}

// Starts setup with its window (under the locale given, if any) and waits
// for its first page, with the button whose text holds wizardWord.
static bool StartOnFirstPage(const std::string &setup, Started &s, const char *locale = nullptr)
{
    // That emulator fault, not setup's, has struck every start for three
    // minutes at a time (a missing Next, then a missing choice, then one or
    // the other again), and then gone: setup is started again, 15 s after
    // the last one ended, for up to five minutes, every start noted. The
    // same fault all that while still fails.
    const double FaultRideOutMs = 300000;
    double firstStart = NowMs();
    bool shown = false;
    for (int start = 1; !shown; ++start) {
        if (start > 1) {
            // Whether its window still answers tells a stalled setup from
            // one whose windows failed to come.
            DWORD_PTR ignored;
            HWND cancel = FindWizardChild(IsCancel), frame = cancel ? GetParent(cancel) : nullptr;
            Note("setup's first page came up incomplete (Next %d, choice %d, answers %d); start %d",
                 WizardButtonReady(), pageChoice != nullptr,
                 frame && SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored), start);
            EnumWindows(NoteWindow, 0);
            StopProgram(s);
            if (NowMs() - firstStart > FaultRideOutMs)
                break;
            PumpFor(15000);
        }
        s = locale ? StartUnderLocale(setup, locale) : StartCommandLine("\"" + setup + "\"");
        wizardProcess = s.processId;
        cancelSeenAt = 0;
        PumpUntil(FirstPageShownOrSettled, 60000);
        shown = FirstPageShown();
        if (!shown && !FindWizardChild(IsCancel))
            break; // no wizard at all: nothing an emulator's fault explains
    }
    return shown;
}

static bool ClickThroughSetup(const std::string &setup, bool forEveryone, DWORD &exitCode, double &firstPageMs)
{
    double start = NowMs();
    Started s;
    wizardWord = "Next";
    bool shown = StartOnFirstPage(setup, s);
    firstPageMs = NowMs() - start;
    wchar_t words[64] = {};
    if (shown)
        GetWindowTextW(pageChoice, words, 64);
    bool offered = shown && SendMessageA(pageChoice, BM_GETCHECK, 0, 0) == BST_CHECKED;
    CHECK(shown && offered == forEveryone && std::wcscmp(words, EnglishEveryoneWords) == 0,
          "setup's first page: shown %d, its second choice '%s' ticked %d", shown, Utf8(words).c_str(), offered);
    bool pressed = shown && PressWizardButton(s.processId, "Next") && PressWizardButton(s.processId, "Next") &&
                   PressWizardButton(s.processId, "Install");
    wizardWord = "Finish";
    bool clicked = pressed && PumpUntil(StartBoxShown, 60000);
    if (pressed && !clicked) {
        Note("setup by hand never reached its finish page");
        EnumWindows(NoteWindow, 0);
    }
    // The page hides the box as it comes up, before a person could see it;
    // its own style says so whether or not the page is shown yet.
    PumpFor(500);
    if (clicked && forEveryone)
        CHECK(!(GetWindowLongA(startBox, GWL_STYLE) & WS_VISIBLE) &&
                  SendMessageA(startBox, BM_GETCHECK, 0, 0) == BST_UNCHECKED,
              "setup for everyone offers to start Quellbar, which would run elevated");
    HWND finishText = clicked ? FindWizardChild(IsFinishText) : nullptr;
    wchar_t said[1024] = {};
    if (finishText)
        GetWindowTextW(finishText, said, 1024);
    for (const auto &w : FinishWords)
        if (clicked && w.forEveryone == forEveryone)
            CHECK((std::wcsstr(said, w.words) != nullptr) == w.said, "setup's last page %s \"%s\": \"%s\"",
                  w.said ? "does not say" : "says", Utf8(w.words).c_str(), Utf8(said).c_str());
    SendMessageA(startBox, BM_SETCHECK, BST_UNCHECKED, 0);
    clicked = clicked && PressWizardButton(s.processId, "Finish");
    bool ended = WaitForExit(s, 60000, &exitCode);
    StopProgram(s);
    return clicked && ended;
}

// When Quellbar is missing: which Quellbar processes exist, and who started them.
static void NoteQuellbarProcesses()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (_stricmp(entry.szExeFile, "Quellbar.exe") == 0) {
            Note("Quellbar process %lu, started by %lu", entry.th32ProcessID, entry.th32ParentProcessID);
            ++count;
        }
    CloseHandle(snapshot);
    // Wine has been seen to find by class a window that enumeration does not
    // list: a program that came up on a desktop of its own.
    Note("window of class Quellin found by name: %p", FindWindowA("Quellin", nullptr));
    Note("%d Quellbar processes; icon calls since setup began: %d adds, %d modifies, %d deletes", count,
         shellCalls[NIM_ADD], shellCalls[NIM_MODIFY], shellCalls[NIM_DELETE]);
}

// --- For everyone ---------------------------------------------------------------------

// Where Windows keeps what it is to delete at the next restart: pairs of
// "\??\path" and a target, an empty target meaning delete.
static const char SessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
static const char PendingValue[] = "PendingFileRenameOperations";

static std::string ReadPending()
{
    std::string data(65536, '\0');
    DWORD size = DWORD(data.size());
    if (RegGetValueA(HKEY_LOCAL_MACHINE, SessionManagerKey, PendingValue, RRF_RT_REG_MULTI_SZ, nullptr, &data[0],
                     &size) != ERROR_SUCCESS)
        size = 0;
    data.resize(size);
    return data;
}

// A folder is listed with a trailing backslash.
static bool ListedForDeletion(const std::string &path)
{
    return ReadPending().find("\\??\\" + path + std::string(2, '\0')) != std::string::npos;
}

// A second desktop stands in for another person's session: setup cannot find
// or close a window there, and a Quellbar started there holds its file.
static const char OtherSession[] = "QuellinOtherSession";
static HDESK otherDesktop;
static DWORD otherBar;
static bool OtherBarRuns()
{
    return ListQuellbarWindows(otherBar, otherDesktop).count > 0;
}
// A program's first window on a desktop of its own waits for that desktop's
// shell to start, which has taken over 10 s in the emulator beside another
// busy guest; a Quellbar that never starts waits out any bound.
static const DWORD OtherBarStartMs = 45000;
static Started StartOtherBar(const std::string &path)
{
    Started bar = StartProgramAt(path, OtherSession);
    otherBar = bar.processId;
    CHECK(PumpUntil(OtherBarRuns, OtherBarStartMs), "no Quellbar window on the other desktop");
    return bar;
}
static bool StillRuns(const Started &bar)
{
    otherBar = bar.processId;
    return WaitForSingleObject(bar.process, 0) == WAIT_TIMEOUT && OtherBarRuns();
}

// 8. For everyone (/ALLUSERS): the installing account's per-user install
// gives way; an update clicked through while another person's Quellbar runs
// leaves it running on its file, set aside and deleted at the next restart;
// setup for one person, or with a bad option, changes nothing; the quiet
// uninstall sets aside the files in use and removes everything else.
static void MachineWidePass(const std::string &setup, const std::string &defaultFolder, const std::string &menu)
{
    const HKEY Machine = HKEY_LOCAL_MACHINE;
    const std::string folder = ShellFolder(CSIDL_PROGRAM_FILES) + ProductSubfolder;
    const std::string allMenu = ShellFolder(CSIDL_COMMON_PROGRAMS) + ProductSubfolder;
    const std::string pendingBefore = ReadPending();
    otherDesktop = CreateDesktopA(OtherSession, nullptr, nullptr, 0, GENERIC_ALL, nullptr);

    DWORD exitCode, type, number;
    double perUserMs, allUsersMs, updateMs, firstPageMs, uninstallMs;
    bool ended = RunAndWait("\"" + setup + "\" /S", 120000, exitCode, perUserMs);
    shellCalls[NIM_ADD] = 0;
    Started bar = StartProgramAt(defaultFolder + "\\Quellbar.exe");
    CHECK(ended && exitCode == 0 && PumpUntil(IconAdded, 10000), "the per-user install or its Quellbar failed");
    shellCalls[NIM_DELETE] = 0;
    ended = RunAndWait("\"" + setup + "\" /S /ALLUSERS", 120000, exitCode, allUsersMs);
    CHECK(ended && exitCode == 0, "install for everyone: ended %d, exit code %lu", ended, exitCode);
    CheckInstalled(folder, nullptr, allMenu, true, OurHotkey, Machine);
    DWORD barExit = 1234;
    bool barEnded = WaitForExit(bar, 1000, &barExit);
    StopProgram(bar);
    std::string text;
    const struct {
        const char *what;
        bool left;
    } perUser[] = {
        {"the per-user folder", Exists(defaultFolder)},
        {"the per-user Start-menu folder", Exists(menu)},
        {"the per-user Run value", ReadValue(RunKey, "Quellbar", type, text, number)},
        {"the per-user uninstall key", KeyExists(UninstallKey)},
        {"its Quellbar, not closed politely", !barEnded || barExit != 0 || shellCalls[NIM_DELETE] != 1},
        {"a Quellbar started by setup", RunningQuellbars().count > 0},
    };
    for (const auto &l : perUser)
        CHECK(!l.left, "after the install for everyone: %s", l.what);
    std::vector<BYTE> bytes = ReadWholeFile(manifestPath);
    std::string manifest(bytes.begin(), bytes.end());
    CHECK(manifest.find("DefaultInstallLocation: '%ProgramFiles(x86)%" + folder.substr(folder.rfind('\\')) + "'\n") !=
              std::string::npos,
          "the manifest names another folder for everyone than %s", folder.c_str());

    // A key of the person's, given to the all users' shortcut, and the
    // sign-in start for everyone are kept by an update through the wizard,
    // which starts from "for everyone": each read where it is, not from the
    // per-user places, which are empty now.
    std::string target;
    WORD key = 0;
    ShortcutFacts(allMenu + "\\Quellsnap.lnk", target, key, &PersonsHotkey);
    Started first = StartOtherBar(folder + "\\Quellbar.exe");
    double start = NowMs();
    ended = ClickThroughSetup(setup, true, exitCode, firstPageMs);
    updateMs = NowMs() - start;
    CHECK(ended && exitCode == 0 && RunningQuellbars().count == 0, "update for everyone: ended %d, exit code %lu",
          ended, exitCode);
    CHECK(StillRuns(first), "the other session's Quellbar did not survive the update");
    CheckInstalled(folder, SetAsideFiles[0], allMenu, true, PersonsHotkey, Machine);
    CHECK(ListedForDeletion(folder + "\\" + SetAsideFiles[0]), "%s is not to be deleted at restart", SetAsideFiles[0]);

    static const struct {
        const char *switches;
        DWORD exitCode;
    } declined[] = {{"", 6}, {" /ALLUSERS=1", 3}};
    for (const auto &d : declined) {
        double ms;
        ended = RunAndWait("\"" + setup + "\" /S" + d.switches, 120000, exitCode, ms);
        CHECK(ended && exitCode == d.exitCode && !KeyExists(UninstallKey) && !Exists(defaultFolder) && !Exists(menu),
              "setup /S%s: ended %d, exit code %lu, expected %lu; or it installed for one person", d.switches, ended,
              exitCode, d.exitCode);
        CheckInstalled(folder, SetAsideFiles[0], allMenu, true, PersonsHotkey, Machine);
    }

    // One from the updated file in the other session, one in the uninstall's
    // own, which it can close as a per-user uninstall would.
    Started second = StartOtherBar(folder + "\\Quellbar.exe");
    shellCalls[NIM_ADD] = 0;
    Started own = StartProgramAt(folder + "\\Quellbar.exe");
    CHECK(PumpUntil(IconAdded, 10000), "the Quellbar for everyone added no icon");
    shellCalls[NIM_DELETE] = 0;
    std::string quiet;
    ReadValue(UninstallKey, "QuietUninstallString", type, quiet, number, Machine);
    ended = RunAndWait(quiet, 120000, exitCode, uninstallMs);
    CHECK(ended && exitCode == 0, "uninstall for everyone: ended %d, exit code %lu", ended, exitCode);
    DWORD ownExit = 1234;
    bool ownEnded = WaitForExit(own, 1000, &ownExit);
    StopProgram(own);
    awaitedPath = folder + "\\Uninstall.exe";
    PumpUntil(AwaitedPathGone, 15000);
    PumpFor(500);
    std::vector<std::string> remaining = FolderContents(folder);
    std::string list;
    for (const std::string &n : remaining)
        list += " " + n;
    const struct {
        const char *what;
        bool left;
    } leftovers[] = {
        {"the Start-menu folder", Exists(allMenu)},
        {"the Run value", ReadValue(RunKey, "Quellbar", type, text, number, Machine)},
        {"the uninstall key", KeyExists(UninstallKey, Machine)},
        {"the Active Setup component", KeyExists(ActiveSetupKey, Machine)},
        {"other files than the two in use", remaining.size() != 2 || !Exists(folder + "\\" + SetAsideFiles[1])},
        {"a file in use not to be deleted at restart",
         !ListedForDeletion(folder + "\\" + SetAsideFiles[0]) || !ListedForDeletion(folder + "\\" + SetAsideFiles[1])},
        {"the folder not to be deleted at restart", !ListedForDeletion(folder + "\\")},
        {"a Quellbar of the other session ended", !StillRuns(first) || !StillRuns(second)},
        {"the Quellbar of its own session, not closed politely",
         !ownEnded || ownExit != 0 || shellCalls[NIM_DELETE] != 1},
    };
    for (const auto &l : leftovers)
        CHECK(!l.left, "after the uninstall for everyone: %s (folder holds:%s)", l.what, list.c_str());
    Note("for everyone: install over a per-user one %.0f ms; update by hand %.0f ms (first page %.0f ms); "
         "uninstall %.0f ms",
         allUsersMs, updateMs, firstPageMs, uninstallMs);

    StopProgram(first);
    StopProgram(second);
    RemoveLeftovers(Machine, {folder}, allMenu);
    if (pendingBefore.empty())
        RegDeleteKeyValueA(Machine, SessionManagerKey, PendingValue);
    else
        RegSetKeyValueA(Machine, SessionManagerKey, PendingValue, REG_MULTI_SZ, pendingBefore.data(),
                        DWORD(pendingBefore.size()));
    CloseDesktop(otherDesktop);
}

// --- The Windows Installer package ----------------------------------------------------

// What the package keeps of an install (its choices and folder), and what
// setup looks for to decline beside it.
static const char PackageKey[] = "Software\\Brindlecote\\Quellin";
static const char AppsListKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
static const char *const PackageFiles[] = {"Quellbar.exe", "Quellsnap.exe", "LICENSE.txt", SignInStep};

// The apps list's entries that Windows Installer wrote for a package named
// Quellin (each under its ProductCode, "{...}"): how many, and the version,
// publisher and home page of the last one.
static int PackageEntries(std::string &version, std::string &publisher, std::string &homePage)
{
    HKEY list;
    int count = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, AppsListKey, 0, KEY_READ, &list) != ERROR_SUCCESS)
        return 0;
    char name[256];
    for (DWORD i = 0, size = sizeof name; RegEnumKeyExA(list, i, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                                          ERROR_SUCCESS;
         ++i, size = sizeof name) {
        std::string key = std::string(AppsListKey) + "\\" + name, text;
        DWORD type, number;
        if (name[0] != '{' || !ReadValue(key.c_str(), "DisplayName", type, text, number, HKEY_LOCAL_MACHINE) ||
            text != QUELLIN_PRODUCT)
            continue;
        ++count;
        ReadValue(key.c_str(), "DisplayVersion", type, version, number, HKEY_LOCAL_MACHINE);
        ReadValue(key.c_str(), "Publisher", type, publisher, number, HKEY_LOCAL_MACHINE);
        ReadValue(key.c_str(), "URLInfoAbout", type, homePage, number, HKEY_LOCAL_MACHINE);
    }
    RegCloseKey(list);
    return count;
}

// The next version's Quellbar.exe is the built one with bytes after its end.
static bool IsNextQuellbar(const std::vector<BYTE> &bytes)
{
    std::vector<BYTE> built = ReadWholeFile(ProgramPath("Quellbar.exe"));
    return bytes.size() > built.size() && std::equal(built.begin(), built.end(), bytes.begin());
}

// The file that PendingFileRenameOperations moves onto path at the next
// restart ("" if none): pairs of "\??\source" and "!\??\target" ("!":
// replace it).
static std::string PendingReplacement(const std::string &path)
{
    std::string pending = ReadPending();
    std::vector<std::string> names;
    for (size_t at = 0; at < pending.size(); at += names.back().size() + 1)
        names.push_back(pending.c_str() + at);
    for (size_t i = 0; i + 1 < names.size(); i += 2) {
        std::string target = names[i + 1];
        if (!target.empty() && target[0] == '!')
            target.erase(0, 1);
        if (_stricmp(target.c_str(), ("\\??\\" + path).c_str()) == 0 && names[i].compare(0, 4, "\\??\\") == 0)
            return names[i].substr(4);
    }
    return "";
}

// Everything the package installs into the folder with the choices given,
// from the version given; menu is where Wine put the Start-menu folder (none:
// not looked at).
static void CheckPackageInstalled(const std::string &folder, const std::string &menu, bool signIn, bool hotkey,
                                  const char *version)
{
    std::vector<std::string> names = FolderContents(folder);
    bool complete = names.size() == sizeof PackageFiles / sizeof PackageFiles[0];
    for (const char *file : PackageFiles)
        complete = complete && Exists(folder + "\\" + file);
    CHECK(complete, "the package's folder %s holds %d files", folder.c_str(), int(names.size()));
    CheckComponent(folder, version);
    for (const auto &s : Shortcuts) {
        if (menu.empty())
            break;
        std::string target;
        WORD key = 0;
        bool read = ShortcutFacts(menu + "\\" + s.link, target, key);
        WORD expected = s.hotkey && hotkey ? OurHotkey : 0;
        CHECK(read && _stricmp(target.c_str(), (folder + "\\" + s.program).c_str()) == 0 && key == expected,
              "the package's %s: read %d, target '%s', hotkey 0x%04x, expected 0x%04x", s.link, read, target.c_str(),
              key, expected);
    }
    DWORD type, number;
    std::string run, kept[3], entryVersion, publisher, homePage;
    bool runs = ReadValue(RunKey, "Quellbar", type, run, number, HKEY_LOCAL_MACHINE);
    CHECK(runs == signIn && (!signIn || run == "\"" + folder + "\\Quellbar.exe\""), "the HKLM Run value: %d '%s'",
          runs, run.c_str());
    const char *const keptNames[] = {"SignIn", "Hotkey", "InstallDir"};
    const std::string keptExpected[] = {signIn ? "1" : "0", hotkey ? "1" : "0", folder + "\\"};
    for (int i = 0; i < 3; ++i) {
        ReadValue(PackageKey, keptNames[i], type, kept[i], number, HKEY_LOCAL_MACHINE);
        CHECK(kept[i] == keptExpected[i], "the package kept %s '%s', not '%s'", keptNames[i], kept[i].c_str(),
              keptExpected[i].c_str());
    }
    int entries = PackageEntries(entryVersion, publisher, homePage);
    CHECK(entries == 1 && entryVersion == version && publisher == QUELLIN_COMPANY && homePage == QUELLIN_HOME_PAGE,
          "%d apps-list entries for the package; the last: version '%s', publisher '%s', home page '%s'", entries,
          entryVersion.c_str(), publisher.c_str(), homePage.c_str());
}

// Nothing of the package is there (and nothing of setup's).
static void CheckNoPackage(const char *when, const std::string &folder, const std::string &menu)
{
    std::string version, publisher, homePage, text;
    DWORD type, number;
    const struct {
        const char *what;
        bool left;
    } leftovers[] = {
        {"the folder", Exists(folder)},
        {"the Start-menu folder", Exists(menu)},
        {"the Run value", ReadValue(RunKey, "Quellbar", type, text, number, HKEY_LOCAL_MACHINE)},
        {"the package's key", KeyExists(PackageKey, HKEY_LOCAL_MACHINE)},
        {"the Active Setup component", KeyExists(ActiveSetupKey, HKEY_LOCAL_MACHINE)},
        {"an apps-list entry", PackageEntries(version, publisher, homePage) > 0},
        {"setup's entry for everyone", KeyExists(UninstallKey, HKEY_LOCAL_MACHINE)},
        {"setup's entry for one person", KeyExists(UninstallKey)},
    };
    for (const auto &l : leftovers)
        CHECK(!l.left, "%s: %s is there", when, l.what);
}

// 9. The Windows Installer package, through msiexec /qn as a deployment runs
// it: a bad property refused; an install for everyone with the defaults,
// beside which setup declines in both scopes; removal; an install with both
// choices off into a folder of the administrator's; the next version over it
// while Quellbar.exe is held as a running image, keeping the choices; the
// earlier version refused over it; removal with the file still held; and the
// package refused where setup installed for everyone. Wine puts the
// Start-menu folder of an ALLUSERS=1 package into the installing account's
// Start menu (Windows: all users'), so it is looked for in either;
// release.contents checks the package's tables name all users'.
static void PackagePass(const std::string &setup, const std::string &menu)
{
    const std::string msi = FullPath(msiPath), next = FullPath(msiNextPath);
    if (!Exists(msi) || !Exists(next)) {
        CHECK(false, "no package to test: pass --msi PATH --msi-next PATH ('%s', '%s')", msi.c_str(), next.c_str());
        return;
    }
    const std::string folder = ShellFolder(CSIDL_PROGRAM_FILES) + ProductSubfolder;
    const std::string allMenu = ShellFolder(CSIDL_COMMON_PROGRAMS) + ProductSubfolder;
    const std::string chosen = ShellFolder(CSIDL_PROGRAM_FILES) + "\\Small Tools";
    const std::string pendingBefore = ReadPending();
    DWORD exitCode;
    double ms, installMs, removeMs, upgradeMs, heldRemoveMs;
    RemoveLeftovers(HKEY_LOCAL_MACHINE, {chosen}, menu);
    auto packageMenu = [&] { return Exists(allMenu) ? allMenu : menu; };

    static const struct {
        const char *properties;
        DWORD exitCode;
    } refused[] = {{" HOTKEY=2", 1603}, {" SIGNIN=yes", 1603}};
    for (const auto &r : refused) {
        bool ended = RunAndWait("msiexec /i \"" + msi + "\" /qn" + r.properties, 120000, exitCode, ms);
        CHECK(ended && exitCode == r.exitCode, "package with%s: ended %d, exit code %lu", r.properties, ended, exitCode);
        CheckNoPackage(r.properties, folder, packageMenu());
    }

    bool ended = RunAndWait("msiexec /i \"" + msi + "\" /qn", 120000, exitCode, installMs);
    CHECK(ended && exitCode == 0, "package install: ended %d, exit code %lu", ended, exitCode);
    CheckPackageInstalled(folder, packageMenu(), true, true, QUELLIN_VERSION);
    static const struct {
        const char *switches;
        DWORD exitCode;
    } declined[] = {{"", 6}, {" /ALLUSERS", 7}};
    for (const auto &d : declined) {
        ended = RunAndWait("\"" + setup + "\" /S" + d.switches, 120000, exitCode, ms);
        CHECK(ended && exitCode == d.exitCode && !KeyExists(UninstallKey) && !KeyExists(UninstallKey, HKEY_LOCAL_MACHINE),
              "setup /S%s beside the package: ended %d, exit code %lu, expected %lu; or it installed", d.switches,
              ended, exitCode, d.exitCode);
        CheckPackageInstalled(folder, packageMenu(), true, true, QUELLIN_VERSION);
    }
    ended = RunAndWait("msiexec /x \"" + msi + "\" /qn", 120000, exitCode, removeMs);
    CHECK(ended && exitCode == 0, "package removal: ended %d, exit code %lu", ended, exitCode);
    CheckNoPackage("after the removal", folder, packageMenu());

    // Both choices off, another folder; the next version, given nothing,
    // keeps all three, and replaces the held Quellbar.exe at the restart.
    ended = RunAndWait("msiexec /i \"" + msi + "\" /qn SIGNIN=0 HOTKEY=0 \"INSTALLDIR=" + chosen + "\"", 120000,
                       exitCode, ms);
    CHECK(ended && exitCode == 0, "package with both off: ended %d, exit code %lu", ended, exitCode);
    CheckPackageInstalled(chosen, packageMenu(), false, false, QUELLIN_VERSION);
    HMODULE held = LoadLibraryExA((chosen + "\\Quellbar.exe").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    CHECK(held != nullptr, "Quellbar.exe could not be held as an image: %lu", GetLastError());
    ended = RunAndWait("msiexec /i \"" + next + "\" /qn", 120000, exitCode, upgradeMs);
    const std::string replacement = PendingReplacement(chosen + "\\Quellbar.exe");
    bool replacedNow = IsNextQuellbar(ReadWholeFile(chosen + "\\Quellbar.exe"));
    bool replacedLater = !replacement.empty() && IsNextQuellbar(ReadWholeFile(replacement));
    const DWORD upgradeExit = exitCode;
    CHECK(ended && ((exitCode == 0 && replacedNow) || (exitCode == 3010 && replacedLater)),
          "upgrade with Quellbar.exe held: ended %d, exit code %lu; the new file there now %d, at the restart from "
          "'%s' %d",
          ended, exitCode, replacedNow, replacement.c_str(), replacedLater);
    std::string nextVersion = msiNextPath.substr(msiNextPath.find_last_of("\\/") + 1);
    nextVersion = nextVersion.substr(nextVersion.find('-') + 1);
    nextVersion.resize(nextVersion.size() - 4); // ".msi"
    // The file written beside the held one waits for the restart there.
    if (!replacement.empty())
        DeleteFileA(replacement.c_str());
    CheckPackageInstalled(chosen, packageMenu(), false, false, nextVersion.c_str());

    ended = RunAndWait("msiexec /i \"" + msi + "\" /qn", 120000, exitCode, ms);
    CHECK(ended && exitCode == 1603, "the earlier version over the later: ended %d, exit code %lu", ended, exitCode);
    CheckPackageInstalled(chosen, packageMenu(), false, false, nextVersion.c_str());

    // Removal with the file still held: whatever stays is that file, its
    // folder and what is to go at the restart.
    ended = RunAndWait("msiexec /x \"" + next + "\" /qn", 120000, exitCode, heldRemoveMs);
    CHECK(ended && (exitCode == 0 || exitCode == 3010), "removal with Quellbar.exe held: ended %d, exit code %lu",
          ended, exitCode);
    std::vector<std::string> remaining = FolderContents(chosen);
    std::string list;
    for (const std::string &n : remaining) {
        list += " " + n;
        CHECK(n == "Quellbar.exe" || ListedForDeletion(chosen + "\\" + n), "after the removal %s is left for good",
              n.c_str());
    }
    FreeLibrary(held);
    Note("package: removal with Quellbar.exe held, exit code %lu, left:%s; listed for the restart: Quellbar.exe %d, "
         "the folder %d",
         exitCode, list.c_str(), ListedForDeletion(chosen + "\\Quellbar.exe"), ListedForDeletion(chosen + "\\"));
    for (const std::string &n : remaining)
        DeleteFileA((chosen + "\\" + n).c_str());
    RemoveDirectoryA(chosen.c_str());
    CheckNoPackage("after the removal with a file held", chosen, packageMenu());

    // Where setup installed for everyone, the package changes nothing.
    ended = RunAndWait("\"" + setup + "\" /S /ALLUSERS", 120000, exitCode, ms);
    CHECK(ended && exitCode == 0, "setup for everyone: ended %d, exit code %lu", ended, exitCode);
    ended = RunAndWait("msiexec /i \"" + msi + "\" /qn", 120000, exitCode, ms);
    std::string version, publisher, homePage;
    CHECK(ended && exitCode == 1603 && PackageEntries(version, publisher, homePage) == 0 &&
              !KeyExists(PackageKey, HKEY_LOCAL_MACHINE),
          "the package beside setup's install for everyone: ended %d, exit code %lu", ended, exitCode);
    CheckInstalled(folder, nullptr, allMenu, true, OurHotkey, HKEY_LOCAL_MACHINE);
    RemoveForEveryone(folder);

    Note("package: install %.0f ms, removal %.0f ms, upgrade with a file held %.0f ms (exit code %lu, replaced %s), "
         "removal with it held %.0f ms",
         installMs, removeMs, upgradeMs, upgradeExit, replacedNow ? "now" : "at the restart", heldRemoveMs);
    if (pendingBefore.empty())
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SessionManagerKey, PendingValue);
    else
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, SessionManagerKey, PendingValue, REG_MULTI_SZ, pendingBefore.data(),
                        DWORD(pendingBefore.size()));
}

// The setup named on the command line, as a full path; empty, after a
// failure, if there is none.
static std::string SetupToTest()
{
    if (setupPath.empty()) {
        CHECK(false, "no setup to test: pass --setup PATH");
        return "";
    }
    char fullSetup[MAX_PATH] = {};
    GetFullPathNameA(setupPath.c_str(), MAX_PATH, fullSetup, nullptr);
    if (!Exists(fullSetup)) {
        CHECK(false, "setup %s not found", fullSetup);
        return "";
    }
    return fullSetup;
}

static void InstallerRoundTrip()
{
    const std::string setup = SetupToTest();
    if (setup.empty())
        return;
    CoInitialize(nullptr);
    const std::string local = ShellFolder(CSIDL_LOCAL_APPDATA);
    const std::string defaultFolder = local + DefaultSubfolder;
    const std::string menu = ShellFolder(CSIDL_PROGRAMS) + ProductSubfolder;
    // A folder of the person's, with a space in its name and a file of theirs.
    const std::string chosen = local + "\\Small Tools";
    const char userFile[] = "notes.txt";
    const char mine[] = "mine\r\n";
    // A machine-wide install left behind would make setup for one person
    // decline: setup's, or an earlier run's package (its key tells), removed
    // by msiexec as an administrator would.
    for (const std::string *package : {&msiNextPath, &msiPath}) {
        DWORD code;
        double ms;
        if (!package->empty() && KeyExists(PackageKey, HKEY_LOCAL_MACHINE))
            RunAndWait("msiexec /x \"" + FullPath(*package) + "\" /qn", 120000, code, ms);
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, PackageKey);
    int removed = RemoveLeftovers(HKEY_CURRENT_USER, {chosen, defaultFolder}, menu) +
                  RemoveLeftovers(HKEY_LOCAL_MACHINE, {ShellFolder(CSIDL_PROGRAM_FILES) + ProductSubfolder},
                                  ShellFolder(CSIDL_COMMON_PROGRAMS) + ProductSubfolder);
    if (removed)
        Note("removed %d things an earlier run left behind", removed);
    CreateDirectoryA(chosen.c_str(), nullptr);
    WriteWhole(chosen + "\\" + userFile, mine);

    // Quellbar's icon calls reach the driver, which tells a polite close
    // (the program deletes its own icon) from a forced end.
    HWND fakeTray = CreateFakeTray();

    // 1-2. Silent install into the chosen folder; /D= goes last, unquoted.
    DWORD exitCode;
    double installMs, reinstallMs, uninstallMs;
    bool ended = RunAndWait("\"" + setup + "\" /S /D=" + chosen, 120000, exitCode, installMs);
    CHECK(ended && exitCode == 0, "install: ended %d, exit code %lu", ended, exitCode);
    CheckInstalled(chosen, userFile, menu, true, OurHotkey);
    CHECK(RunningQuellbars().count == 0, "a silent install started Quellbar, which was not running before");

    // 3. Quellbar runs from the install folder, as after signing in; setup
    // again, without a folder: the same folder, Quellbar closed politely and
    // started again.
    Started bar = StartProgramAt(chosen + "\\Quellbar.exe");
    CHECK(PumpUntil(IconAdded, 10000), "the installed Quellbar added no icon");
    shellCalls[0] = shellCalls[1] = shellCalls[2] = 0;
    ended = RunAndWait("\"" + setup + "\" /S", 120000, exitCode, reinstallMs);
    CHECK(ended && exitCode == 0, "setup again: ended %d, exit code %lu", ended, exitCode);
    DWORD barExit = 1234;
    bool barEnded = WaitForExit(bar, 1000, &barExit);
    CHECK(barEnded && barExit == 0, "the running Quellbar: ended %d, exit code %lu", barEnded, barExit);
    CHECK(shellCalls[NIM_DELETE] == 1, "the running Quellbar deleted its icon %d times: it was not closed politely",
          shellCalls[NIM_DELETE]);
    CHECK(!Exists(defaultFolder), "setup again installed into the default folder, not the earlier one");
    CheckInstalled(chosen, userFile, menu, true, OurHotkey);
    // The old process stays open until the new one is found, so that the
    // system cannot give the new one the old one's identifier.
    previousBar = bar.processId;
    bool restartedInTime = PumpUntil(NewQuellbarRuns, 10000);
    CHECK(restartedInTime, "Quellbar was not started again");
    if (!restartedInTime)
        NoteQuellbarProcesses();
    StopProgram(bar);
    QuellbarWindows restarted = RunningQuellbars();
    std::string image = ProcessImage(restarted.windowProcessId);
    CHECK(restarted.count == 1 && _stricmp(image.c_str(), (chosen + "\\Quellbar.exe").c_str()) == 0,
          "%d Quellbar windows; the new one runs %s", restarted.count, image.c_str());
    HANDLE restartedProcess =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, restarted.windowProcessId);

    // 4. The uninstall a package manager runs: when it returns, nothing of
    // ours is left; its own file follows shortly; the person's file stays.
    DWORD type, number;
    std::string quiet;
    ReadValue(UninstallKey, "QuietUninstallString", type, quiet, number);
    shellCalls[NIM_DELETE] = 0;
    ended = RunAndWait(quiet, 120000, exitCode, uninstallMs);
    CHECK(ended && exitCode == 0, "uninstall: ended %d, exit code %lu", ended, exitCode);
    DWORD restartedExit = 1234;
    bool restartedEnded = restartedProcess && WaitForSingleObject(restartedProcess, 0) == WAIT_OBJECT_0 &&
                          GetExitCodeProcess(restartedProcess, &restartedExit);
    const struct {
        const char *what;
        bool left;
    } leftovers[] = {
        {"Quellbar.exe", Exists(chosen + "\\Quellbar.exe")},
        {"Quellsnap.exe", Exists(chosen + "\\Quellsnap.exe")},
        {"the Start-menu folder", Exists(menu)},
        {"the Run value", ReadValue(RunKey, "Quellbar", type, quiet, number)},
        {"the uninstall key", KeyExists(UninstallKey)},
        {"a Quellbar window", RunningQuellbars().count > 0},
        {"a Quellbar not ended with code 0", !restartedEnded || restartedExit != 0},
        {"an icon not deleted by Quellbar", shellCalls[NIM_DELETE] != 1},
    };
    for (const auto &l : leftovers)
        CHECK(!l.left, "after the uninstall returned: %s", l.what);
    awaitedPath = chosen + "\\Uninstall.exe";
    double returnedAt = NowMs();
    bool gone = PumpUntil(AwaitedPathGone, 15000);
    double cleanupMs = NowMs() - returnedAt;
    CHECK(gone, "Uninstall.exe still there %.0f ms after the uninstall returned", cleanupMs);
    // The cleanup's last step, its one attempt on the folder, follows at once
    // and holds the folder open for a moment; look at the folder after it.
    PumpFor(500);
    bool userFileKept = ReadWholeFile(chosen + "\\" + userFile) == std::vector<BYTE>(mine, mine + sizeof mine - 1);
    std::vector<std::string> remaining = FolderContents(chosen);
    CHECK(userFileKept && remaining.size() == 1, "after the uninstall: the person's %s kept %d, %d files in the folder",
          userFile, userFileKept, int(remaining.size()));

    // 5. A plain install goes to the default folder. Updates start from what
    // is there now, which the person may have changed, and the command line
    // sets an option outright; a "disabled" record of the system's start-up
    // settings is left alone throughout. The uninstall takes the emptied
    // folder away too.
    double plainMs, plainUninstallMs;
    ended = RunAndWait("\"" + setup + "\" /S", 120000, exitCode, plainMs);
    CHECK(ended && exitCode == 0, "plain install: ended %d, exit code %lu", ended, exitCode);
    CheckInstalled(defaultFolder, nullptr, menu, true, OurHotkey);
    // winget's manifest names this install by its uninstall key and folder.
    std::vector<BYTE> bytes = ReadWholeFile(manifestPath);
    std::string manifest(bytes.begin(), bytes.end());
    CHECK(manifest.find(std::string("\nProductCode: ") + (std::strrchr(UninstallKey, '\\') + 1) + "\n") != std::string::npos &&
              manifest.find(std::string("DefaultInstallLocation: '%LOCALAPPDATA%") + DefaultSubfolder + "'\n") !=
                  std::string::npos,
          "manifest '%s' names another uninstall key or default folder", manifestPath.c_str());
    const BYTE disabled[12] = {3, 0, 0, 0, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x01};
    RegSetKeyValueA(HKEY_CURRENT_USER, StartupApprovedKey, "Quellbar", REG_BINARY, disabled, sizeof disabled);
    const std::string quellsnapLink = menu + "\\Quellsnap.lnk";
    const int Leave = -1;
    static const struct {
        bool removeRunValue; // as a start-up manager would
        int personsHotkey; // given in the shortcut's Properties, or Leave
        const char *switches; // null: run by hand and clicked through
        DWORD exitCode;
        bool signIn;
        WORD hotkey;
    } updates[] = {
        {true, PersonsHotkey, nullptr, 0, false, PersonsHotkey},
        {false, 0, "", 0, false, 0},
        {false, Leave, " /SIGNIN=1", 0, true, 0},
        {false, Leave, " /HOTKEY=1 /SIGNIN=0", 0, false, OurHotkey},
        {false, PersonsHotkey, " /HOTKEY=1 /SIGNIN=1", 0, true, PersonsHotkey},
        {false, Leave, " /HOTKEY=0 /SIGNIN=yes", 3, true, PersonsHotkey},
    };
    double firstPageMs = 0;
    for (const auto &u : updates) {
        std::string target;
        WORD key = 0, given = WORD(u.personsHotkey);
        if (u.removeRunValue)
            DeleteValue(RunKey, "Quellbar");
        if (u.personsHotkey != Leave)
            ShortcutFacts(quellsnapLink, target, key, &given);
        double ms;
        ended = u.switches ? RunAndWait("\"" + setup + "\" /S" + u.switches, 120000, exitCode, ms)
                           : ClickThroughSetup(setup, false, exitCode, firstPageMs);
        CHECK(ended && exitCode == u.exitCode && RunningQuellbars().count == 0, "setup %s: ended %d, exit code %lu",
              u.switches ? u.switches : "clicked through", ended, exitCode);
        CheckInstalled(defaultFolder, nullptr, menu, u.signIn, u.hotkey);
    }
    quiet.clear();
    ReadValue(UninstallKey, "QuietUninstallString", type, quiet, number);
    ended = RunAndWait(quiet, 120000, exitCode, plainUninstallMs);
    CHECK(ended && exitCode == 0, "uninstall of the plain install: ended %d, exit code %lu", ended, exitCode);
    awaitedPath = defaultFolder;
    returnedAt = NowMs();
    gone = PumpUntil(AwaitedPathGone, 15000);
    double folderMs = NowMs() - returnedAt;
    CHECK(gone, "the emptied default folder still there %.0f ms after the uninstall returned", folderMs);
    BYTE record[sizeof disabled + 1] = {};
    DWORD recordSize = sizeof record;
    LSTATUS read = RegGetValueA(HKEY_CURRENT_USER, StartupApprovedKey, "Quellbar", RRF_RT_REG_BINARY, nullptr, record,
                                &recordSize);
    CHECK(read == ERROR_SUCCESS && recordSize == sizeof disabled && std::memcmp(record, disabled, recordSize) == 0,
          "the StartupApproved record was changed: status %ld, %lu bytes", read, recordSize);

    // 6. Setup naming another folder moves the install there, keeping the
    // choices: only our files leave the old folder, the person's stays, and
    // the Quellbar that ran from there runs from the new one.
    double freshMs;
    ended = RunAndWait("\"" + setup + "\" /S /D=" + chosen, 120000, exitCode, freshMs);
    DeleteValue(RunKey, "Quellbar");
    std::string target;
    WORD key = 0;
    ShortcutFacts(quellsnapLink, target, key, &PersonsHotkey);
    shellCalls[NIM_ADD] = 0;
    bar = StartProgramAt(chosen + "\\Quellbar.exe");
    CHECK(PumpUntil(IconAdded, 10000), "the installed Quellbar added no icon");
    double moveMs;
    ended = RunAndWait("\"" + setup + "\" /S /D=" + defaultFolder, 120000, exitCode, moveMs) && ended;
    CHECK(ended && exitCode == 0, "install and move: ended %d, exit code %lu", ended, exitCode);
    previousBar = bar.processId;
    restartedInTime = PumpUntil(NewQuellbarRuns, 10000);
    StopProgram(bar);
    image = ProcessImage(RunningQuellbars().windowProcessId);
    CHECK(restartedInTime && _stricmp(image.c_str(), (defaultFolder + "\\Quellbar.exe").c_str()) == 0,
          "after the move Quellbar runs %s", image.c_str());
    remaining = FolderContents(chosen);
    CHECK(remaining.size() == 1 && remaining[0] == userFile, "the folder moved from holds %d files, first %s",
          int(remaining.size()), remaining.empty() ? "none" : remaining[0].c_str());
    CheckInstalled(defaultFolder, nullptr, menu, false, PersonsHotkey);

    // 7. The uninstall a person starts from the apps list and clicks through:
    // nothing of ours is left within seconds of "Close", even when the
    // uninstaller's file stays in use for two seconds after it (a virus
    // scanner, a slow window teardown: here the window goes at once).
    std::string clicked;
    ReadValue(UninstallKey, "UninstallString", type, clicked, number);
    Started wizard = StartCommandLine(clicked);
    bool uninstallClicked = PressWizardButton(wizard.processId, "Uninstall");
    // As a person waits for the progress bar: in the emulator the next page's
    // "Close" has shown enabled for a moment before the work began.
    uninstallClicked = uninstallClicked && PumpUntil(UninstallKeyGone, 60000);
    HANDLE inUse = CreateFileA((defaultFolder + "\\Uninstall.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    bool closeClicked = uninstallClicked && PressWizardButton(wizard.processId, "Close");
    double closedAt = NowMs();
    PumpFor(2000);
    CHECK(Exists(defaultFolder + "\\Uninstall.exe") == (inUse != INVALID_HANDLE_VALUE),
          "the uninstaller's file in use %d, there after two seconds %d", inUse != INVALID_HANDLE_VALUE,
          Exists(defaultFolder + "\\Uninstall.exe"));
    CloseHandle(inUse);
    double releasedAt = NowMs();
    awaitedPath = defaultFolder;
    gone = closeClicked && PumpUntil(AwaitedPathGone, 15000);
    double clickedMs = NowMs() - closedAt, releasedMs = NowMs() - releasedAt;
    CHECK(gone, "clicked-through uninstall: Uninstall %d, Close %d; the folder still there %.0f ms after Close",
          uninstallClicked, closeClicked, clickedMs);
    StopProgram(wizard);
    Note("install %.0f ms, setup again %.0f ms, uninstall %.0f ms, uninstaller gone %.0f ms after; "
         "plain install %.0f ms, uninstall %.0f ms, folder gone %.0f ms after; setup by hand: first page pressed "
         "after %.0f ms; move %.0f ms; clicked-through uninstall: folder gone %.0f ms after Close, %.0f ms after "
         "its file was let go",
         installMs, reinstallMs, uninstallMs, cleanupMs, plainMs, plainUninstallMs, folderMs, firstPageMs, moveMs,
         clickedMs, releasedMs);

    MachineWidePass(setup, defaultFolder, menu);
    PackagePass(setup, menu);

    // Whatever a failure left, so that later cases start clean.
    if (restartedProcess) {
        Started left = {restartedProcess, 0, 0, 0};
        StopProgram(left);
    }
    DeleteFileA((chosen + "\\" + userFile).c_str());
    RemoveLeftovers(HKEY_CURRENT_USER, {chosen, defaultFolder}, menu);
    DestroyWindow(fakeTray);
    CoUninitialize();
}

// Setup speaks the Windows display language, which Wine takes from the
// locale variables as a program starts: the first page's own words and
// NSIS's button, and a refusal with the option and value it names; English
// for a language setup has no texts for.
static const struct {
    const char *locale;
    const wchar_t *title, *forMe, *next, *badSignIn;
} SetupLanguages[] = {
    {"de_DE.UTF-8", L"Für wen ist Quellin?", L"Nur für mich", L"&Weiter >",
     L"/SIGNIN= erwartet 0 oder 1, nicht „2“."},
    {"ja_JP.UTF-8", L"Quellin を使うユーザー", L"自分だけ", L"次へ(&N) >",
     L"/SIGNIN= には 0 または 1 を指定してください (指定された値: \"2\")。"},
    {"cy_GB.UTF-8", L"Who is Quellin for?", L"Only for me", L"&Next >",
     L"/SIGNIN= takes 0 or 1, not \"2\"."},
};

// A message box's text: the static control with words beside an OK button.
// In the emulator NSIS first shows its own "verifying installer" window, a
// static without a button.
static HWND messageText;
static bool IsMessageText(HWND window)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    return _stricmp(className, "Static") == 0 && GetWindowTextLengthW(window) > 0 &&
           GetDlgItem(GetParent(window), IDOK);
}
static bool MessageShown()
{
    messageText = FindWizardChild(IsMessageText);
    return messageText != nullptr;
}

static void InstallerSpeaksTheLanguage()
{
    const std::string setup = SetupToTest();
    if (setup.empty())
        return;
    wizardWord = ""; // any text: the button is read below
    choiceWanted = 0;
    for (const auto &language : SetupLanguages) {
        Started s;
        bool shown = StartOnFirstPage(setup, s, language.locale);
        wchar_t title[128] = {}, next[64] = {}, forMe[64] = {};
        if (HWND window = FindWizardChild(IsPageTitle))
            GetWindowTextW(window, title, 128);
        if (WizardButtonReady())
            GetWindowTextW(wizardButton, next, 64);
        if (shown)
            GetWindowTextW(pageChoice, forMe, 64);
        CHECK(shown && std::wcscmp(title, language.title) == 0 && std::wcscmp(next, language.next) == 0 &&
                  std::wcscmp(forMe, language.forMe) == 0,
              "under %s setup's first page: shown %d, title '%s', first choice '%s', button '%s'", language.locale,
              shown, Utf8(title).c_str(), Utf8(forMe).c_str(), Utf8(next).c_str());
        // Nothing is changed before the first page is left, nor by a refusal.
        StopProgram(s);

        s = StartUnderLocale(setup, language.locale, " /SIGNIN=2");
        wizardProcess = s.processId;
        wchar_t refusal[256] = {};
        if (PumpUntil(MessageShown, 60000))
            GetWindowTextW(messageText, refusal, 256);
        CHECK(std::wcscmp(refusal, language.badSignIn) == 0, "under %s setup /SIGNIN=2 says '%s'", language.locale,
              Utf8(refusal).c_str());
        StopProgram(s);
    }
    choiceWanted = 1;
}

// --- Who may change the install folder ------------------------------------------------

// Wine keeps no file ACLs, so what can be checked here is what setup asks
// Windows for. Wine's relay trace prints each call to the functions listed
// under HKCU\Software\Wine\Debug with its string arguments: the descriptor
// in SDDL, the folder it is applied to, the folders created and the files
// opened, in order.
static const char WineDebugKey[] = "Software\\Wine\\Debug";
static const char RelayedCalls[] = "advapi32.ConvertStringSecurityDescriptorToSecurityDescriptorW;"
                                   "advapi32.SetNamedSecurityInfoW;kernel32.CreateDirectoryW;kernel32.CreateFileW;"
                                   "advapi32.RegSetValueExW;advapi32.RegDeleteValueW;advapi32.RegDeleteKeyW";
struct RelayedCall {
    std::string function, text; // "CreateFileW", its first string argument
    unsigned long next; // the argument after that string (CreateFileW: the access asked for)
};

// The calls of one trace line by line: "0024:Call KERNEL32.CreateFileW(1400 L"C:\\x",...) ret=...".
static std::vector<RelayedCall> ReadRelayTrace(const std::string &path)
{
    std::vector<BYTE> bytes = ReadWholeFile(path);
    std::string trace(bytes.begin(), bytes.end());
    std::vector<RelayedCall> calls;
    for (size_t at = trace.find(":Call "); at != std::string::npos; at = trace.find(":Call ", at + 1)) {
        size_t name = trace.find('.', at) + 1, open = trace.find('(', at), end = trace.find('\n', at);
        if (name == 0 || open > end || name > open)
            continue;
        RelayedCall call = {trace.substr(name, open - name), "", 0};
        size_t quote = trace.find("L\"", open), i = quote + 2;
        for (; quote < end && i < end && trace[i] != '"'; ++i)
            call.text += trace[i] == '\\' ? trace[++i] : trace[i];
        if (i + 2 < end && trace[i + 1] == ',')
            call.next = std::strtoul(trace.c_str() + i + 2, nullptr, 16);
        calls.push_back(call);
    }
    return calls;
}

// Setup /S with the switches under the relay trace, started from a shell
// that keeps the trace and setup's exit code (the low byte, as a Unix shell
// sees it: setup's codes are all below 256) in files of the prefix.
static std::string relayCodePath;
static bool RunTraced(const std::string &setup, const std::string &switches, DWORD &exitCode,
                      std::vector<RelayedCall> &calls)
{
    char wine[MAX_PATH] = {}, prefix[MAX_PATH] = {};
    GetEnvironmentVariableA("WINE", wine, sizeof wine);
    GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    const std::string unixDrive = std::string(prefix) + "/drive_c/";
    relayCodePath = "C:\\quellin-relay.code";
    DeleteFileA(relayCodePath.c_str());
    std::string words; // each switch quoted for the shell, which would take a backslash away
    for (size_t at = switches.find(' '); at != std::string::npos; at = switches.find(' ', at + 1))
        words += " '" + switches.substr(at + 1, switches.find(' ', at + 1) - at - 1) + "'";
    // Wine reads the switches, UTF-8 here, in the charset of the Unix locale.
    std::string script = "WINEDEBUG=+relay LC_ALL=C.UTF-8 '" + std::string(wine) + "' '" + setup + "' /S" + words + " 2>'" +
                         unixDrive + "quellin-relay.txt'\necho $? >'" + unixDrive + "quellin-relay.part' && mv '" +
                         unixDrive + "quellin-relay.part' '" + unixDrive + "quellin-relay.code'\n";
    WriteWhole("C:\\quellin-relay.sh", script.c_str());
    Started shell = StartCommandLine("Z:\\bin\\sh \"" + unixDrive + "quellin-relay.sh\"");
    bool ended = PumpUntil([] { return Exists(relayCodePath); }, 120000);
    StopProgram(shell);
    std::vector<BYTE> code = ReadWholeFile(relayCodePath);
    exitCode = ended ? DWORD(std::atoi(std::string(code.begin(), code.end()).c_str())) : 1234;
    calls = ReadRelayTrace("C:\\quellin-relay.txt");
    for (const char *file : {"C:\\quellin-relay.sh", "C:\\quellin-relay.txt", "C:\\quellin-relay.code"})
        DeleteFileA(file);
    return ended;
}

// The account this driver runs as, which is setup's too, as SDDL names it.
static std::string AccountSid()
{
    std::string text;
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return text;
    BYTE user[256];
    DWORD size = sizeof user;
    char *sid = nullptr;
    if (GetTokenInformation(token, TokenUser, user, size, &size) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER *>(user)->User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
}

// The first call to the function: any (folder null), one naming the folder,
// or (inside) one naming something in it; -1 if none.
static int FindCall(const std::vector<RelayedCall> &calls, const char *function, const char *folder = nullptr,
                    bool inside = false)
{
    for (int i = 0; i < int(calls.size()); ++i) {
        const std::string &text = calls[i].text;
        size_t length = folder ? std::strlen(folder) : 0;
        if (calls[i].function == function &&
            (!folder || (_strnicmp(text.c_str(), folder, length) == 0 &&
                         (inside ? text.compare(length, 1, "\\") == 0 : text.size() == length))))
            return i;
    }
    return -1;
}

// Setup for each scope into each kind of folder, in turn, each from what
// the one before left: the descriptor asked for ('$' for the person's SID;
// null: none), applied to the folder before any file in it is opened, and
// for a new folder created already locked. A folder holding a file of
// someone else's is refused for everyone, with or without the window,
// before anything is written, and used as it is for one person. An update
// of the install for everyone into its locked folder locks it again.
static const char ForEveryone[] = "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
static const char ForOnePerson[] = "D:PAI(A;OICI;FA;;;$)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
static const char SharedFolder[] = "C:\\QuellinShared", OthersFile[] = "other.txt", OthersText[] = "someone's\r\n";
static const char PersonsDefault[] = "per-user default", EveryonesDefault[] = "Program Files";
static const struct {
    const char *switches; // after /S; /D= names the folder
    const char *folder;
    DWORD exitCode;
    const char *sddl;
    bool created;
} LockCases[] = {
    {" /ALLUSERS /D=C:\\QuellinShared", SharedFolder, 8, nullptr, false},
    {"", PersonsDefault, 0, nullptr, false},
    {" /D=C:\\QuellinShared", SharedFolder, 0, nullptr, false},
    {" /D=C:\\QuellinMine", "C:\\QuellinMine", 0, ForOnePerson, true},
    {" /ALLUSERS", EveryonesDefault, 0, ForEveryone, true},
    {" /ALLUSERS /D=C:\\QuellinLocked", "C:\\QuellinLocked", 0, ForEveryone, true},
    {" /ALLUSERS", "C:\\QuellinLocked", 0, ForEveryone, false},
};

// A message box over the wizard, which is its owner: the wizard's own
// statics sit beside an IDOK button too.
static bool WizardMessageShown()
{
    messageText = FindWizardChild([](HWND w) { return IsMessageText(w) && GetWindow(GetParent(w), GW_OWNER); });
    return messageText != nullptr;
}
// With its window, for everyone into that folder: Install on the folder page
// says why not, naming the folder (and in Windows' words what is wrong with
// it, if given), and the page stays for another choice.
static void RefusedWithItsWindow(const std::string &setup, const char *folder, const std::string &words = "")
{
    Started s = StartCommandLine("\"" + setup + "\" /ALLUSERS /D=" + folder);
    bool pressed = PressWizardButton(s.processId, "Next");
    // Pressed once: while the message is up, the wizard would take another
    // press as a second try.
    wizardWord = "Install";
    pressed = pressed && PumpUntil(WizardButtonReady, 30000);
    if (pressed)
        PostMessageA(GetParent(wizardButton), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(wizardButton));
    wchar_t text[512] = {};
    bool shown = pressed && PumpUntil(WizardMessageShown, 30000);
    if (shown) {
        GetWindowTextW(messageText, text, 512);
        PostMessageA(GetParent(messageText), WM_COMMAND, IDOK, 0);
    }
    std::string said = Utf8(text);
    bool stayed =
        shown && PumpUntil([] { return !WizardMessageShown(); }, 30000) && PumpUntil(WizardButtonReady, 30000);
    CHECK(stayed && said.find(folder) != std::string::npos && said.find(words) != std::string::npos,
          "with its window: Install pressed %d, message '%s' (expected the folder and '%s'), back on the folder page "
          "%d",
          pressed, said.c_str(), words.c_str(), stayed);
    StopProgram(s);
}

// Folders Windows cannot use, given to setup for one person over its install
// in the default folder: refused with exit code 9 before anything is written
// anywhere (no lock asked for, no folder made but the temporary one and
// those above it, no file opened for writing outside it, none of setup's
// registry values set, nothing deleted), the install as it was; one with
// its window too. Then odd but valid names, which are used.
static const char LongFolder[] = "C:\\QuellinLong", AFile[] = "C:\\QuellinAFile";
static const struct {
    const char *folder; // as /D= gives it; LongFolder: made as long as Windows allows, and one more
    DWORD exitCode, fault; // fault: with its window, Windows' words for this error code
} BadFolders[] = {
    {"Quellin", 9, 0},
    {"C:\\", 9, 0},
    {"\\\\?\\C:\\Quellin", 9, 0},
    {"Q:\\Quellin", 9, 0},
    {"\\\\nosuchserver\\share\\Quellin", 9, 0},
    {"C:\\Quellin|A\\Quellin", 9, ERROR_INVALID_NAME},
    {"C:\\con\\Quellin", 9, 0},
    {"C:\\Lpt\xc2\xb9.log\\Quellin", 9, 0},
    {"C:\\QuellinDot.\\Quellin", 9, 0},
    {AFile, 9, 0},
    {LongFolder, 9, 0},
    {"C:\\Quellin&100%\xe5\xb1\xb1\xe7\x94\xb0\\", 0, 0},
};

static void InstallerLocksItsFolder()
{
    const std::string setup = SetupToTest();
    if (setup.empty())
        return;
    const std::string sid = AccountSid();
    const std::string personsDefault = ShellFolder(CSIDL_LOCAL_APPDATA) + DefaultSubfolder;
    const std::string everyonesDefault = ShellFolder(CSIDL_PROGRAM_FILES) + ProductSubfolder;
    const std::string menu = ShellFolder(CSIDL_PROGRAMS) + ProductSubfolder;
    const std::string allMenu = ShellFolder(CSIDL_COMMON_PROGRAMS) + ProductSubfolder;
    std::initializer_list<std::string> folders = {personsDefault, SharedFolder, "C:\\QuellinMine"};
    RemoveLeftovers(HKEY_CURRENT_USER, folders, menu);
    RemoveLeftovers(HKEY_LOCAL_MACHINE, {everyonesDefault, "C:\\QuellinLocked"}, allMenu);
    CreateDirectoryA(SharedFolder, nullptr);
    const std::string othersPath = std::string(SharedFolder) + "\\" + OthersFile;
    WriteWhole(othersPath, OthersText);
    RegSetKeyValueA(HKEY_CURRENT_USER, WineDebugKey, "RelayInclude", REG_SZ, RelayedCalls, sizeof RelayedCalls);

    for (const auto &c : LockCases) {
        const std::string folder = c.folder == PersonsDefault     ? personsDefault
                                   : c.folder == EveryonesDefault ? everyonesDefault
                                                                  : c.folder;
        std::string sddl = c.sddl ? c.sddl : "";
        if (sddl.find('$') != std::string::npos)
            sddl.replace(sddl.find('$'), 1, sid);
        DWORD exitCode;
        std::vector<RelayedCall> calls;
        bool ended = RunTraced(setup, c.switches, exitCode, calls);
        int asked = FindCall(calls, "ConvertStringSecurityDescriptorToSecurityDescriptorW");
        int anyApplied = FindCall(calls, "SetNamedSecurityInfoW");
        int applied = FindCall(calls, "SetNamedSecurityInfoW", folder.c_str());
        int created = FindCall(calls, "CreateDirectoryW", folder.c_str());
        int firstFile = FindCall(calls, "CreateFileW", folder.c_str(), true);
        std::string askedFor = asked >= 0 ? calls[asked].text : "nothing";
        bool asExpected = c.sddl ? askedFor == sddl && applied > asked && firstFile > applied &&
                                       (!c.created || (created > asked && created < applied))
                                 : asked < 0 && anyApplied < 0;
        CHECK(ended && exitCode == c.exitCode && asExpected,
              "setup /S%s: ended %d, exit code %lu (expected %lu), %d calls traced; asked for '%s' (call %d), applied "
              "to %s at call %d, created at %d, its first file opened at %d",
              c.switches, ended, exitCode, c.exitCode, int(calls.size()), askedFor.c_str(), asked, folder.c_str(),
              applied, created, firstFile);
        std::string othersText;
        std::vector<BYTE> others = ReadWholeFile(othersPath);
        othersText.assign(others.begin(), others.end());
        CHECK(othersText == OthersText, "after setup /S%s someone's file holds '%s'", c.switches, othersText.c_str());
        if (c.exitCode == 0) {
            bool complete = true;
            for (const char *file : InstalledFiles)
                complete = complete && Exists(folder + "\\" + file);
            CHECK(complete, "setup /S%s installed not all of its files into %s", c.switches, folder.c_str());
        } else {
            std::vector<std::string> names = FolderContents(folder);
            CHECK(names.size() == 1 && firstFile < 0 && created < 0 && !KeyExists(UninstallKey) &&
                      !KeyExists(UninstallKey, HKEY_LOCAL_MACHINE) && !Exists(allMenu) && !Exists(menu),
                  "refused setup /S%s: %d names in the folder, a file opened there at call %d, created at %d; or "
                  "an apps-list entry or Start-menu folder",
                  c.switches, int(names.size()), firstFile, created);
            // winget tells the person why, by the manifest's list of codes.
            std::vector<BYTE> bytes = ReadWholeFile(manifestPath);
            std::string manifest(bytes.begin(), bytes.end());
            CHECK(manifest.find("- InstallerReturnCode: 8\n  ReturnResponse: invalidParameter\n") != std::string::npos,
                  "the manifest '%s' does not list exit code 8", manifestPath.c_str());
            RefusedWithItsWindow(setup, SharedFolder);
            names = FolderContents(folder);
            CHECK(names.size() == 1 && !KeyExists(UninstallKey, HKEY_LOCAL_MACHINE),
                  "refused with its window: %d names in the folder, apps-list entry %d", int(names.size()),
                  KeyExists(UninstallKey, HKEY_LOCAL_MACHINE));
        }
    }

    CHECK(RemoveForEveryone("C:\\QuellinLocked"), "the uninstall for everyone did not end with 0");

    CoInitialize(nullptr);
    DWORD exitCode;
    double ms;
    bool ended = RunAndWait("\"" + setup + "\" /S", 120000, exitCode, ms);
    CHECK(ended && exitCode == 0, "install for one person: ended %d, exit code %lu", ended, exitCode);
    WriteWhole(AFile, OthersText);
    char tempPath[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, tempPath);
    const std::string temp = FullPath(tempPath);
    std::string times;
    for (const auto &b : BadFolders) {
        // 229 characters and "\RemovePersonalCopy.exe.99.old" set aside in it make the longest path Windows
        // starts a program from: one more.
        std::string folder = b.folder;
        if (b.folder == LongFolder)
            folder += std::string(230 - folder.size(), 'q');
        DWORD exitCode;
        std::vector<RelayedCall> calls;
        double start = NowMs();
        bool ended = RunTraced(setup, " /D=" + folder, exitCode, calls);
        times += " " + std::to_string(int(NowMs() - start));
        std::string written;
        for (const RelayedCall &c : calls) {
            bool ours = false;
            for (const auto &v : Values)
                ours = ours || c.text == v.name;
            bool inTemp = _strnicmp(c.text.c_str(), temp.c_str(), std::min(c.text.size(), temp.size())) == 0;
            if (c.function.compare(0, 9, "RegDelete") == 0 || (c.function == "RegSetValueExW" && ours) ||
                c.function == "SetNamedSecurityInfoW" || (c.function == "CreateDirectoryW" && !inTemp) ||
                (c.function == "CreateFileW" && (c.next & GENERIC_WRITE) && !inTemp))
                written += " " + c.function + "(" + c.text + ")";
        }
        CHECK(ended && exitCode == b.exitCode && (exitCode == 0 || written.empty()),
              "setup /S /D=%s: ended %d, exit code %lu (expected %lu); wrote%s", folder.c_str(), ended, exitCode,
              b.exitCode, written.c_str());
        if (b.fault) {
            wchar_t words[512] = {};
            FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                           nullptr, b.fault, 0, words, 512, nullptr);
            RefusedWithItsWindow(setup, b.folder, Utf8(words));
        }
        if (b.exitCode != 0)
            CheckInstalled(personsDefault, nullptr, menu, true, OurHotkey);
    }
    Note("setup /S /D= with each folder, in turn, took (ms):%s", times.c_str());
    RegDeleteKeyValueA(HKEY_CURRENT_USER, WineDebugKey, "RelayInclude");
    DeleteFileA(AFile);
    // The odd but valid folder, the last, holds the install, named without its trailing backslash. The A
    // functions cannot spell its name.
    static wchar_t odd[MAX_PATH], location[MAX_PATH];
    const std::string given = BadFolders[sizeof BadFolders / sizeof BadFolders[0] - 1].folder;
    MultiByteToWideChar(CP_UTF8, 0, given.substr(0, given.size() - 1).c_str(), -1, odd, MAX_PATH);
    DWORD size = sizeof location;
    RegGetValueW(HKEY_CURRENT_USER, Wide(UninstallKey).c_str(), L"InstallLocation", RRF_RT_REG_SZ, nullptr, location,
                 &size);
    CHECK(std::wcscmp(location, odd) == 0, "setup /S /D=%s installed into '%s'", given.c_str(), Utf8(location).c_str());
    for (const char *file : InstalledFiles)
        DeleteFileW((std::wstring(odd) + L"\\" + Wide(file)).c_str());
    // Setup's process lets go of the folder, its working directory, a moment after its exit code is known.
    PumpUntil([] { return RemoveDirectoryW(odd) != FALSE; }, 15000);
    DeleteFileA(othersPath.c_str());
    RemoveLeftovers(HKEY_CURRENT_USER, folders, menu);
    RemoveLeftovers(HKEY_LOCAL_MACHINE, {everyonesDefault, "C:\\QuellinLocked"}, allMenu);
}

// --- Each person's own install, taken over at their sign-in ---------------------------

// What Windows does with the component at a person's sign-in, which Wine
// never does: its StubPath read from the registry, environment variables
// expanded, the line started. The step promises to end within about a
// minute, whatever hangs; a fault would hold the sign-in for ever.
static bool RunStubPath(DWORD &exitCode, double &tookMs)
{
    wchar_t line[1024] = {}, expanded[1024] = {};
    DWORD size = sizeof line;
    RegGetValueW(HKEY_LOCAL_MACHINE, L"" ACTIVE_SETUP_KEY, L"StubPath",
                 RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, line, &size);
    ExpandEnvironmentStringsW(line, expanded, 1024);
    return RunAndWait(expanded, 60000 + StallRoomMs, exitCode, tookMs);
}

// 10. An install for everyone, by setup or by the package, beside a person's
// own install in a folder the ANSI code page cannot spell, with a file of
// theirs in it: the component's first run at that person's sign-in removes
// their install and leaves their file, a second changes nothing, and a run
// where their entry names the install for everyone's own folder (spelt
// otherwise) takes only the entries; the install for everyone stays whole
// throughout. The person's
// Quellbar runs at the first: in this session it is closed politely; in
// another, out of reach, it runs on and keeps its file, and the rest goes.
static const struct {
    const char *what;
    bool package, barElsewhere;
} TakeoverRows[] = {{"setup for everyone", false, false}, {"the package", true, true}};

static void InstallerTakesOverPersonalInstalls()
{
    const std::string setup = SetupToTest(), msi = FullPath(msiPath);
    if (setup.empty())
        return;
    CoInitialize(nullptr);
    const std::string folder = ShellFolder(CSIDL_PROGRAM_FILES) + ProductSubfolder;
    const std::string allMenu = ShellFolder(CSIDL_COMMON_PROGRAMS) + ProductSubfolder;
    const std::string menu = ShellFolder(CSIDL_PROGRAMS) + ProductSubfolder;
    const std::wstring personal = Wide(ShellFolder(CSIDL_LOCAL_APPDATA)) + L"\\\u5C71\u7530 Tools";
    const std::wstring notes = personal + L"\\notes.txt", personalSetup = L"\"" + Wide(setup) + L"\" /S /D=" + personal;
    otherDesktop = CreateDesktopA(OtherSession, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    HWND fakeTray = CreateFakeTray();
    DWORD code, type, number;
    double ms, withMs = 0, withoutMs = 0;
    std::string text;
    if (KeyExists(PackageKey, HKEY_LOCAL_MACHINE))
        RunAndWait("msiexec /x \"" + msi + "\" /qn", 120000, code, ms);
    RemoveLeftovers(HKEY_CURRENT_USER, {}, menu);
    RemoveLeftovers(HKEY_LOCAL_MACHINE, {folder}, allMenu);
    for (const auto &row : TakeoverRows) {
        for (const char *file : InstalledFiles)
            DeleteFileW((personal + L"\\" + Wide(file)).c_str());
        CreateDirectoryW(personal.c_str(), nullptr);
        CloseHandle(CreateFileW(notes.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        bool laid;
        if (row.package) {
            // As the issue found it: the person's own install, then the package.
            laid = RunAndWait(personalSetup, 120000, code, ms) && code == 0 &&
                   RunAndWait("msiexec /i \"" + msi + "\" /qn", 120000, code, ms) && code == 0;
        } else {
            // Another person's profile still holds their own install; setup
            // for one person, which declines beside an install for everyone,
            // lays it down with that entry's InstallLocation away a moment.
            std::string location;
            laid = RunAndWait("\"" + setup + "\" /S /ALLUSERS", 120000, code, ms) && code == 0 &&
                   ReadValue(UninstallKey, "InstallLocation", type, location, number, HKEY_LOCAL_MACHINE);
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation");
            laid = laid && RunAndWait(personalSetup, 120000, code, ms) && code == 0;
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation", REG_SZ, location.c_str(),
                            DWORD(location.size() + 1));
        }
        laid = laid && FolderContents(personal).size() == 5 && Exists(menu) && KeyExists(UninstallKey) &&
               ReadValue(RunKey, "Quellbar", type, text, number);
        CHECK(laid, "%s: the person's own install and the one for everyone were not both laid down", row.what);

        // The person's entry naming the folder for everyone, in other letters.
        std::string own = folder + "\\";
        std::transform(own.begin(), own.end(), own.begin(), [](char c) { return char(std::tolower(c)); });
        const std::string ownRun = "\"" + own + "\\Quellbar.exe\"";
        for (int signIn = 1; signIn <= 3; ++signIn) {
            Started bar = {};
            if (signIn == 1) {
                bar = StartCommandLine(L"\"" + personal + L"\\Quellbar.exe\"",
                                       row.barElsewhere ? Wide(OtherSession).c_str() : nullptr);
                otherBar = bar.processId;
                shellCalls[NIM_ADD] = shellCalls[NIM_DELETE] = 0;
                CHECK(row.barElsewhere ? PumpUntil(OtherBarRuns, OtherBarStartMs) : PumpUntil(IconAdded, 10000),
                      "%s: the person's Quellbar did not come up", row.what);
            }
            if (signIn == 3) {
                RegSetKeyValueA(HKEY_CURRENT_USER, UninstallKey, "InstallLocation", REG_SZ, own.c_str(),
                                DWORD(own.size() + 1));
                RegSetKeyValueA(HKEY_CURRENT_USER, RunKey, "Quellbar", REG_SZ, ownRun.c_str(),
                                DWORD(ownRun.size() + 1));
            }
            bool ended = RunStubPath(code, signIn == 1 ? withMs : withoutMs);
            const bool held = signIn == 1 && row.barElsewhere;
            DWORD barExit = 1234;
            const struct {
                const char *what;
                bool left;
            } left[] = {
                {"the step did not end with code 0", !ended || code != 0},
                {"the person's file went, or one of the install stayed, or the file in use went",
                 FolderContents(personal).size() != 1u + held || GetFileAttributesW(notes.c_str()) == INVALID_FILE_ATTRIBUTES},
                {"the Quellbar in this session not closed politely, or the other one ended",
                 signIn == 1 && (held ? !StillRuns(bar)
                                      : !WaitForExit(bar, 1000, &barExit) || barExit != 0 ||
                                            shellCalls[NIM_DELETE] != 1)},
                {"the person's Start-menu folder", Exists(menu)},
                {"the person's Run value", ReadValue(RunKey, "Quellbar", type, text, number)},
                {"the person's apps-list entry", KeyExists(UninstallKey)},
            };
            for (const auto &l : left)
                CHECK(!l.left, "%s, sign-in %d: %s", row.what, signIn, l.what);
            StopProgram(bar);
            if (held) // left for good, as the README says
                DeleteFileW((personal + L"\\Quellbar.exe").c_str());
            // Wine puts the package's shortcuts into the person's Start menu,
            // which the step empties: on Windows they are in all users'.
            if (row.package)
                CheckPackageInstalled(folder, "", true, true, QUELLIN_VERSION);
            else
                CheckInstalled(folder, nullptr, allMenu, true, OurHotkey, HKEY_LOCAL_MACHINE);
        }

        // That removal for everyone takes the component along, the round trip checks.
        RemoveForEveryone(folder, row.package ? "msiexec /x \"" + msi + "\" /qn" : "");
        Note("%s: the sign-in step took %.0f ms with the person's own install (its Quellbar running in %s), "
             "%.0f ms without",
             row.what, withMs, row.barElsewhere ? "another session" : "this one", withoutMs);
        DeleteFileW(notes.c_str());
        RemoveDirectoryW(personal.c_str());
    }
    RemoveLeftovers(HKEY_LOCAL_MACHINE, {folder}, allMenu);
    CloseDesktop(otherDesktop);
    DestroyWindow(fakeTray);
    CoUninitialize();
}

extern const DriverCase installerCases[] = {
    {"installer_round_trip", InstallerRoundTrip},
    {"installer_speaks_the_language", InstallerSpeaksTheLanguage},
    {"installer_locks_its_folder", InstallerLocksItsFolder},
    {"installer_takes_over_personal_installs", InstallerTakesOverPersonalInstalls},
};
extern const int installerCaseCount = sizeof installerCases / sizeof installerCases[0];
