// Quellin's step at each person's sign-in, installed only with the install
// for everyone. Windows runs it through Active Setup, once per version, as
// the person who signs in, before the shell and before the Run values start
// anything. Where that person has an install of their own (setup "only for
// me"), it takes it away as that install's uninstaller would: both installs
// would start a Quellbar at sign-in and give two shortcuts one key, and no
// update for everyone would ever reach the person's copy.
//
// It runs at every sign-in, administrators' included, and reads the folder
// from the person's own registry; that folder may lie outside the profile and
// be shared. So it deletes nothing there but Quellin's own files, by name,
// and never starts or loads anything from it. No window, bounded in time, and
// exit code 0 in every case: at sign-in nobody would see another.
#include <windows.h>
#include <shlobj.h>

static const wchar_t UninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellin";
static const wchar_t RunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// What setup for one person puts into its folder and its Start-menu folder.
static const wchar_t *const InstalledFiles[] = {L"Quellbar.exe", L"Quellsnap.exe", L"LICENSE.txt", L"Uninstall.exe"};
static const wchar_t *const Shortcuts[] = {L"Quellbar.lnk", L"Quellsnap.lnk"};

// Setup's paths fit NSIS's 1,024 characters. Static, not on the stack: a
// frame this large would need the C runtime's stack probe.
const int PathLength = 1024;
static wchar_t personsFolder[PathLength], ownFolder[PathLength], path[PathLength + 32], text[PathLength + 32];

// Longer than any sign-in should wait, short enough that a folder on a
// network share that no longer answers cannot hold the sign-in up for long.
const DWORD WorkLimitMs = 45000;
// How long a Quellbar of the person's may take to let go of its file.
const DWORD LetGoLimitMs = 10000;

// path = folder\name
static const wchar_t *Join(const wchar_t *folder, const wchar_t *name)
{
    lstrcpynW(path, folder, PathLength);
    lstrcatW(path, L"\\");
    lstrcatW(path, name);
    return path;
}

// A REG_SZ value of an open key into buffer (empty if absent); the registry
// does not promise the terminating zero, so the last place stays one.
static void ReadText(HKEY k, const wchar_t *name, wchar_t *buffer, DWORD places)
{
    DWORD type, size = (places - 1) * sizeof(wchar_t);
    if (RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        size = 0;
    buffer[size / sizeof(wchar_t)] = 0;
}

// The folder as the file system knows it (volume and file index), through
// whatever name, short name, junction or share leads there.
static bool Identify(const wchar_t *folder, BY_HANDLE_FILE_INFORMATION &identity)
{
    HANDLE h = CreateFileW(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool known = GetFileInformationByHandle(h, &identity) != FALSE;
    CloseHandle(h);
    return known;
}

// Whether the person's folder is the install for everyone's own, which must
// never lose a file: someone may have pointed the person's entry there.
static bool IsOwnFolder()
{
    BY_HANDLE_FILE_INFORMATION a, b;
    if (Identify(personsFolder, a) && Identify(ownFolder, b))
        return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
               a.nFileIndexLow == b.nFileIndexLow;
    // Either cannot be opened: then by full name, without a closing backslash.
    GetFullPathNameW(personsFolder, PathLength, text, nullptr);
    int length = lstrlenW(text);
    if (length > 0 && text[length - 1] == L'\\')
        text[length - 1] = 0;
    return lstrcmpiW(text, ownFolder) == 0;
}

// A folder named in full ("C:\..." or "\\server\..."): anything else would
// be taken from the current folder, which is not the person's install.
static bool IsFullPath(const wchar_t *folder)
{
    return (folder[0] && folder[1] == L':' && folder[2] == L'\\') || (folder[0] == L'\\' && folder[1] == L'\\');
}

// A Quellbar of the person's still running in this session holds its file:
// it is asked to end the way it expects (WM_CLOSE, so that it deletes its
// notification icon), as the person's uninstaller asks it, and only while
// its file cannot be deleted. At sign-in nothing runs yet in this session,
// the Quellbar for everyone neither (the Run values come later); a Quellbar
// in another session of the person's is out of reach, and its file then
// stays where it is.
static void LetGoOfQuellbar()
{
    const wchar_t *quellbar = Join(personsFolder, L"Quellbar.exe");
    DWORD start = GetTickCount();
    while (!DeleteFileW(quellbar) && GetLastError() != ERROR_FILE_NOT_FOUND &&
           GetLastError() != ERROR_PATH_NOT_FOUND && GetTickCount() - start < LetGoLimitMs) {
        if (HWND window = FindWindowW(L"Quellin", nullptr)) {
            DWORD_PTR ignored;
            SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
        }
        Sleep(100);
    }
}

// The Start-menu folder, the sign-in start only as setup wrote it for that
// folder (one the person pointed elsewhere is theirs), and the apps-list
// entry. The record of "disabled in Task Manager" is the person's and stays.
static void RemoveEntries()
{
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, text))) {
        lstrcatW(text, L"\\Quellin");
        for (const wchar_t *shortcut : Shortcuts)
            DeleteFileW(Join(text, shortcut));
        RemoveDirectoryW(text);
    }
    HKEY run;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RunKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        ReadText(run, L"Quellbar", text, PathLength + 32);
        lstrcpyW(path, L"\"");
        lstrcpynW(path + 1, personsFolder, PathLength);
        lstrcatW(path, L"\\Quellbar.exe\"");
        if (lstrcmpiW(text, path) == 0)
            RegDeleteValueW(run, L"Quellbar");
        RegCloseKey(run);
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, UninstallKey);
}

static DWORD WINAPI TakeOver(void *)
{
    if (IsFullPath(personsFolder) && !IsOwnFolder()) {
        LetGoOfQuellbar();
        for (const wchar_t *file : InstalledFiles)
            DeleteFileW(Join(personsFolder, file));
        // Only if nothing else is left in it: a file of the person's keeps it.
        RemoveDirectoryW(personsFolder);
    }
    RemoveEntries();
    return 0;
}

extern "C" void WinMainCRTStartup()
{
    // No "insert a disk" or "cannot open" box for a folder on a drive that
    // is gone: nobody is there to answer it.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The install for everyone's folder is this program's own.
    GetModuleFileNameW(nullptr, ownFolder, PathLength);
    for (int i = lstrlenW(ownFolder); i > 0; --i)
        if (ownFolder[i - 1] == L'\\') {
            ownFolder[i - 1] = 0;
            break;
        }
    // Only if a key exists does anything take time; the bound covers a share
    // that stops answering half way.
    HKEY k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, UninstallKey, 0, KEY_QUERY_VALUE, &k) == ERROR_SUCCESS) {
        ReadText(k, L"InstallLocation", personsFolder, PathLength);
        RegCloseKey(k);
        HANDLE worker = CreateThread(nullptr, 0, TakeOver, nullptr, 0, nullptr);
        if (worker) {
            WaitForSingleObject(worker, WorkLimitMs);
            CloseHandle(worker);
        }
    }
    ExitProcess(0);
}
