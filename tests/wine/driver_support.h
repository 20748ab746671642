#pragma once
// The Wine test driver's small toolbox: a table of test cases, checks that
// report and count, starting the programs, a listener window that records
// the power command, and screen and pointer helpers.

#include <windows.h>

#include <string>
#include <vector>

struct DriverCase {
    const char *name;
    void (*run)();
};

// Where the programs under test live (dist/x64 normally).
extern std::string distDir;
// Files of both builds, read as data only (the 32-bit ones cannot run here).
extern std::string distDirX86;
extern std::string distDirX64;
// The installer under test (--setup) and its winget installer manifest
// (--manifest); empty when not given.
extern std::string setupPath;
extern std::string manifestPath;
// The Windows Installer package under test (--msi) and the same package one
// version later (--msi-next), which upgrades it.
extern std::string msiPath;
extern std::string msiNextPath;

std::string ProgramPath(const char *program); // in distDir

// A failed check prints where and why and marks the running case failed.
void ReportFailure(const char *file, int line, const char *format, ...);
#define CHECK(condition, ...)                                                                                  \
    do {                                                                                                       \
        if (!(condition))                                                                                      \
            ReportFailure(__FILE__, __LINE__, __VA_ARGS__);                                                    \
    } while (0)
void Note(const char *format, ...); // a measurement worth seeing in the log

// The room a time bound leaves for an emulated machine that stalls for a
// while, where the fault it is there for would wait a minute or for ever.
const DWORD StallRoomMs = 10000;

// Time in milliseconds, and as a FILETIME-compatible 100 ns count.
double NowMs();
ULONGLONG NowFileTime();

struct Started {
    HANDLE process;
    DWORD processId;
    DWORD threadId;
    ULONGLONG createdAt; // 100 ns units, from GetProcessTimes
};
Started StartProgram(const char *program); // in distDir
// On the driver's desktop, or on the one named (another session's stand-in).
Started StartProgramAt(const std::string &path, const char *desktop = nullptr);
Started StartCommandLine(const std::string &commandLine); // as a shell would run it
// The same with any name, on the desktop named (null: the driver's).
Started StartCommandLine(const std::wstring &commandLine, const wchar_t *desktop = nullptr);
// Text in the ANSI code page, as the wide functions take it.
std::wstring Wide(const std::string &text);
// Pumps this thread's messages while waiting; false on timeout.
bool WaitForExit(const Started &p, DWORD timeoutMs, DWORD *exitCode);
void StopProgram(Started &p); // terminates it if it still runs

// A file's bytes; empty if it cannot be read.
std::vector<BYTE> ReadWholeFile(const std::string &path);

// Pumps this thread's messages for the given time.
void PumpFor(DWORD ms);
// Pumps until the condition holds or the time is up; returns the condition.
bool PumpUntil(bool (*condition)(), DWORD timeoutMs);

// A hidden top-level window of the driver that records every monitor-power
// system command reaching it.
struct PowerCommand {
    WPARAM wParam;
    LPARAM lParam;
    bool wasSent; // InSendMessage() inside the window procedure
    ULONGLONG at; // 100 ns units
};
const int MaxRecorded = 16;
struct Listener {
    HWND window;
    int count;
    PowerCommand commands[MaxRecorded];
    int timerTicks; // reported by timer_probe.dll from inside Quellbar
    DWORD timerTickAt[MaxRecorded]; // GetTickCount in Quellbar's thread, first ticks after a reset
};
extern Listener listener;
void CreateListener();
void ResetListener();
bool PowerCommandArrived(); // at least one since the last reset

// A file next to the driver (its helper programs and DLL).
std::string DriverSidePath(const char *file);

// The top-level windows of Quellbar's class, of one process or (0) of any:
// how many, and the last one listed with its process.
struct QuellbarWindows {
    DWORD processId; // what was asked for
    int count;
    HWND window;
    DWORD windowProcessId;
};
// On the driver's desktop, or on the one given.
QuellbarWindows ListQuellbarWindows(DWORD processId, HDESK desktop = nullptr);
// Quellbar's main window, found by class; null if absent.
HWND FindQuellbarWindow(DWORD processId);

// Screen pixels, read back through the desktop's device context.
struct Capture {
    int x, y, width, height;
    COLORREF pixels[64 * 64];
};
void CaptureScreen(int x, int y, int width, int height, Capture &out);
int CountDifferentPixels(const Capture &a, const Capture &b);
int CountColour(const Capture &c, COLORREF colour);

// Real pointer input, as a person would give it.
void MovePointer(int x, int y);
void ClickButton(bool right);
// A keyboard key down or up by its virtual key; VK_LBUTTON is the left button.
void SendKeyOrButton(WORD key, bool down);
