// The installer, run for real: a silent install into a folder that already
// holds a file of the person's, setup again while Quellbar runs, and the
// uninstall a package manager runs and waits for, with what each leaves.
#include "driver_support.h"
#include "quellbar_session.h"
#include "resources/product_texts.h"

#include <objidl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// --- What an install consists of ------------------------------------------------------

static const char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static const char UninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellin";

// Everything setup puts into the install folder.
static const char *const InstalledFiles[] = {"Quellbar.exe", "Quellsnap.exe", "Uninstall.exe"};

// The Start-menu folder's shortcuts; the one-shot program's carries a hotkey.
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
    {UninstallKey, "DisplayVersion", REG_SZ, "1.0", 0},
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

// --- Small helpers --------------------------------------------------------------------

static std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
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

// A value under HKCU; false if the key or the value is absent.
static bool ReadValue(const char *key, const char *name, DWORD &type, std::string &text, DWORD &number)
{
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) != ERROR_SUCCESS)
        return false;
    text = type == REG_SZ || type == REG_EXPAND_SZ ? data : "";
    number = type == REG_DWORD ? *reinterpret_cast<DWORD *>(data) : 0;
    return true;
}

static bool KeyExists(const char *key)
{
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

static std::vector<std::string> FolderContents(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
            names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
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
static bool RunAndWait(const std::string &commandLine, DWORD timeoutMs, DWORD &exitCode, double &tookMs)
{
    exitCode = 1234;
    double start = NowMs();
    Started p = StartCommandLine(commandLine);
    bool ended = WaitForExit(p, timeoutMs, &exitCode);
    tookMs = NowMs() - start;
    StopProgram(p);
    return ended;
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

// Removes what an earlier, failed run may have left in this prefix, so that
// nothing found later can be a leftover. Only our own names, never a tree.
static int RemoveLeftovers(const std::string &chosen, const std::string &defaultFolder, const std::string &menu)
{
    int removed = 0;
    for (const std::string &folder : {chosen, defaultFolder}) {
        for (const char *file : InstalledFiles)
            removed += DeleteFileA((folder + "\\" + file).c_str()) != FALSE;
        removed += RemoveDirectoryA(folder.c_str()) != FALSE;
    }
    for (const auto &s : Shortcuts)
        removed += DeleteFileA((menu + "\\" + s.link).c_str()) != FALSE;
    removed += RemoveDirectoryA(menu.c_str()) != FALSE;
    HKEY run;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, RunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        removed += RegDeleteValueA(run, "Quellbar") == ERROR_SUCCESS;
        RegCloseKey(run);
    }
    removed += RegDeleteKeyA(HKEY_CURRENT_USER, UninstallKey) == ERROR_SUCCESS;
    return removed;
}

// --- Checks ---------------------------------------------------------------------------

static bool ShortcutFacts(const std::string &path, std::string &target, WORD &hotkey)
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
        read = SUCCEEDED(file->Load(wide, STGM_READ)) && SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, 0)) &&
               SUCCEEDED(link->GetHotkey(&hotkey));
        target = buffer;
    }
    if (file)
        file->Release();
    if (link)
        link->Release();
    return read;
}

static int ModifierCount(WORD hotkey)
{
    BYTE m = HIBYTE(hotkey);
    return !!(m & HOTKEYF_CONTROL) + !!(m & HOTKEYF_ALT) + !!(m & HOTKEYF_SHIFT);
}

// Everything an install into the folder leaves, next to the person's file.
static void CheckInstalled(const std::string &folder, const char *userFile, const std::string &menu)
{
    std::vector<std::string> names = FolderContents(folder);
    std::string list;
    for (const std::string &n : names)
        list += " " + n;
    bool complete = names.size() == sizeof InstalledFiles / sizeof InstalledFiles[0] + 1;
    for (const char *file : InstalledFiles)
        complete = complete && Exists(folder + "\\" + file);
    CHECK(complete && Exists(folder + "\\" + userFile), "install folder holds:%s", list.c_str());
    for (const char *program : {"Quellbar.exe", "Quellsnap.exe"})
        CHECK(ReadWholeFile(folder + "\\" + program) == ReadWholeFile(ProgramPath(program)),
              "installed %s differs from the one built", program);

    for (const auto &s : Shortcuts) {
        std::string target;
        WORD hotkey = 0;
        bool read = ShortcutFacts(menu + "\\" + s.link, target, hotkey);
        CHECK(read && _stricmp(target.c_str(), (folder + "\\" + s.program).c_str()) == 0,
              "Start menu %s: read %d, target '%s'", s.link, read, target.c_str());
        if (s.hotkey) {
            CHECK(LOBYTE(hotkey) != 0 && ModifierCount(hotkey) >= 2, "%s hotkey 0x%04x: not a key with two modifiers",
                  s.link, hotkey);
        } else {
            CHECK(hotkey == 0, "%s has a hotkey 0x%04x", s.link, hotkey);
        }
    }

    for (const auto &v : Values) {
        DWORD type = 0, number = 0;
        std::string text;
        bool present = ReadValue(v.key, v.name, type, text, number);
        if (v.type == REG_SZ) {
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
static bool IconAdded()
{
    return shellCalls[NIM_ADD] > 0;
}
static DWORD previousBar;
static bool NewQuellbarRuns()
{
    QuellbarWindows q = RunningQuellbars();
    return q.count > 0 && q.windowProcessId != previousBar;
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

static void InstallerRoundTrip()
{
    if (setupPath.empty()) {
        CHECK(false, "no setup to test: pass --setup PATH");
        return;
    }
    char fullSetup[MAX_PATH] = {};
    GetFullPathNameA(setupPath.c_str(), MAX_PATH, fullSetup, nullptr);
    const std::string setup = fullSetup;
    if (!Exists(setup)) {
        CHECK(false, "setup %s not found", setup.c_str());
        return;
    }
    CoInitialize(nullptr);
    const std::string local = ShellFolder(CSIDL_LOCAL_APPDATA);
    const std::string defaultFolder = local + "\\Programs\\Quellin";
    const std::string menu = ShellFolder(CSIDL_PROGRAMS) + "\\Quellin";
    // A folder of the person's, with a space in its name and a file of theirs.
    const std::string chosen = local + "\\Small Tools";
    const char userFile[] = "notes.txt";
    const char mine[] = "mine\r\n";
    if (int removed = RemoveLeftovers(chosen, defaultFolder, menu))
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
    CheckInstalled(chosen, userFile, menu);
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
    CheckInstalled(chosen, userFile, menu);
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

    // 5. A plain install goes to the default folder, and its uninstall takes
    // the emptied folder away too.
    double plainMs, plainUninstallMs;
    ended = RunAndWait("\"" + setup + "\" /S", 120000, exitCode, plainMs);
    CHECK(ended && exitCode == 0 && Exists(defaultFolder + "\\Quellbar.exe"),
          "plain install: ended %d, exit code %lu, into the default folder %d", ended, exitCode,
          Exists(defaultFolder + "\\Quellbar.exe"));
    quiet.clear();
    ReadValue(UninstallKey, "QuietUninstallString", type, quiet, number);
    ended = RunAndWait(quiet, 120000, exitCode, plainUninstallMs);
    CHECK(ended && exitCode == 0, "uninstall of the plain install: ended %d, exit code %lu", ended, exitCode);
    awaitedPath = defaultFolder;
    returnedAt = NowMs();
    gone = PumpUntil(AwaitedPathGone, 15000);
    double folderMs = NowMs() - returnedAt;
    CHECK(gone, "the emptied default folder still there %.0f ms after the uninstall returned", folderMs);
    Note("install %.0f ms, setup again %.0f ms, uninstall %.0f ms, uninstaller gone %.0f ms after; "
         "plain install %.0f ms, uninstall %.0f ms, folder gone %.0f ms after",
         installMs, reinstallMs, uninstallMs, cleanupMs, plainMs, plainUninstallMs, folderMs);

    // Whatever a failure left, so that later cases start clean.
    if (restartedProcess) {
        Started left = {restartedProcess, 0, 0, 0};
        StopProgram(left);
    }
    DeleteFileA((chosen + "\\" + userFile).c_str());
    RemoveLeftovers(chosen, defaultFolder, menu);
    DestroyWindow(fakeTray);
    CoUninitialize();
}

extern const DriverCase installerCases[] = {
    {"installer_round_trip", InstallerRoundTrip},
};
extern const int installerCaseCount = sizeof installerCases / sizeof installerCases[0];
