#include "driver_support.h"
#include "timer_probe.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

std::string distDir;
std::string distDirX86;
std::string distDirX64;
std::string setupPath;
std::string manifestPath;
std::string msiPath;
std::string msiNextPath;
Listener listener;
bool currentCaseFailed;

std::string ProgramPath(const char *program)
{
    return distDir + "\\" + program;
}

static void PrintLine(const char *prefix, const char *format, va_list args)
{
    std::printf("%s", prefix);
    std::vprintf(format, args);
    std::printf("\n");
    std::fflush(stdout);
}

void ReportFailure(const char *file, int line, const char *format, ...)
{
    currentCaseFailed = true;
    const char *base = strrchr(file, '/') ? strrchr(file, '/') + 1 : file;
    char prefix[128];
    std::snprintf(prefix, sizeof prefix, "  FAILED %s:%d: ", base, line);
    va_list args;
    va_start(args, format);
    PrintLine(prefix, format, args);
    va_end(args);
}

void Note(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    PrintLine("  note: ", format, args);
    va_end(args);
}

double NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

ULONGLONG NowFileTime()
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return (ULONGLONG(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

Started StartProgram(const char *program)
{
    return StartProgramAt(ProgramPath(program));
}

std::wstring Wide(const std::string &text)
{
    wchar_t wide[2048] = {};
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 2048);
    return wide;
}

// A program by its path, or (path null) whatever a whole command line names;
// on another desktop than the driver's if one is named. Through the wide
// call, so that a name outside the ANSI code page starts too.
static Started Start(const wchar_t *path, std::wstring commandLine, const wchar_t *desktop = nullptr)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<wchar_t *>(desktop);
    PROCESS_INFORMATION info = {};
    Started started = {};
    if (!CreateProcessW(path, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        DWORD error = GetLastError();
        char line[2048] = {};
        WideCharToMultiByte(CP_UTF8, 0, commandLine.c_str(), -1, line, sizeof line - 1, nullptr, nullptr);
        ReportFailure(__FILE__, __LINE__, "cannot start %s (error %lu)", line, error);
        return started;
    }
    CloseHandle(info.hThread);
    started.process = info.hProcess;
    started.processId = info.dwProcessId;
    started.threadId = info.dwThreadId;
    FILETIME created, exited, kernel, user;
    GetProcessTimes(info.hProcess, &created, &exited, &kernel, &user);
    started.createdAt = (ULONGLONG(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    return started;
}

Started StartProgramAt(const std::string &path, const char *desktop)
{
    const std::wstring wide = Wide(path), wideDesktop = Wide(desktop ? desktop : "");
    return Start(wide.c_str(), L"\"" + wide + L"\"", desktop ? wideDesktop.c_str() : nullptr);
}

Started StartCommandLine(const std::string &commandLine)
{
    return Start(nullptr, Wide(commandLine));
}

Started StartCommandLine(const std::wstring &commandLine, const wchar_t *desktop)
{
    return Start(nullptr, commandLine, desktop);
}

std::vector<BYTE> ReadWholeFile(const std::string &path)
{
    std::vector<BYTE> data;
    // A running program's file can be read too, and one about to be deleted.
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return data;
    data.resize(GetFileSize(f, nullptr));
    DWORD got = 0;
    ReadFile(f, data.data(), DWORD(data.size()), &got, nullptr);
    CloseHandle(f);
    data.resize(got);
    return data;
}

bool WaitForExit(const Started &p, DWORD timeoutMs, DWORD *exitCode)
{
    if (!p.process)
        return false;
    double end = NowMs() + timeoutMs;
    for (;;) {
        double left = end - NowMs();
        if (left < 0)
            return false;
        DWORD r = MsgWaitForMultipleObjects(1, &p.process, FALSE, DWORD(left), QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) {
            GetExitCodeProcess(p.process, exitCode);
            return true;
        }
        if (r == WAIT_TIMEOUT)
            return false;
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&m);
    }
}

void StopProgram(Started &p)
{
    if (!p.process)
        return;
    if (WaitForSingleObject(p.process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(p.process, 99);
        WaitForSingleObject(p.process, 5000);
    }
    CloseHandle(p.process);
    p.process = nullptr;
}

void PumpFor(DWORD ms)
{
    double end = NowMs() + ms;
    for (;;) {
        double left = end - NowMs();
        if (left <= 0)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(left) + 1, QS_ALLINPUT);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&m);
    }
}

bool PumpUntil(bool (*condition)(), DWORD timeoutMs)
{
    double end = NowMs() + timeoutMs;
    while (!condition()) {
        if (NowMs() > end)
            return false;
        PumpFor(10);
    }
    return true;
}

static LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == TimerSeenMessage) {
        if (listener.timerTicks < MaxRecorded)
            listener.timerTickAt[listener.timerTicks] = static_cast<DWORD>(lParam);
        ++listener.timerTicks;
        return 0;
    }
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MONITORPOWER) {
        if (listener.count < MaxRecorded)
            listener.commands[listener.count] = {wParam, lParam, InSendMessage() != FALSE, NowFileTime()};
        ++listener.count;
        return 0; // the test machine's own screen stays as it is
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void CreateListener()
{
    WNDCLASSA c = {};
    c.lpfnWndProc = ListenerProc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "QuellinTestListener";
    RegisterClassA(&c);
    listener.window = CreateWindowExA(0, c.lpszClassName, "listener", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      c.hInstance, nullptr);
}

void ResetListener()
{
    PumpFor(0);
    listener.count = 0;
    listener.timerTicks = 0;
}

std::string DriverSidePath(const char *file)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self);
    return path.substr(0, path.find_last_of("\\/") + 1) + file;
}

bool PowerCommandArrived()
{
    return listener.count >= 1;
}

static BOOL CALLBACK CollectQuellbarWindow(HWND window, LPARAM lParam)
{
    QuellbarWindows *found = reinterpret_cast<QuellbarWindows *>(lParam);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (std::strcmp(className, "Quellin") == 0 && (found->processId == 0 || pid == found->processId)) {
        ++found->count;
        found->window = window;
        found->windowProcessId = pid;
    }
    return TRUE;
}

QuellbarWindows ListQuellbarWindows(DWORD processId, HDESK desktop)
{
    QuellbarWindows found = {processId, 0, nullptr, 0};
    if (desktop)
        EnumDesktopWindows(desktop, CollectQuellbarWindow, reinterpret_cast<LPARAM>(&found));
    else
        EnumWindows(CollectQuellbarWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND FindQuellbarWindow(DWORD processId)
{
    return ListQuellbarWindows(processId).window;
}

void CaptureScreen(int x, int y, int width, int height, Capture &out)
{
    out.x = x;
    out.y = y;
    out.width = width;
    out.height = height;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY);
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i)
            out.pixels[j * width + i] = GetPixel(memory, i, j);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

int CountDifferentPixels(const Capture &a, const Capture &b)
{
    int different = 0;
    for (int i = 0; i < a.width * a.height; ++i)
        if (a.pixels[i] != b.pixels[i])
            ++different;
    return different;
}

int CountColour(const Capture &c, COLORREF colour)
{
    int count = 0;
    for (int i = 0; i < c.width * c.height; ++i)
        count += c.pixels[i] == colour;
    return count;
}

void MovePointer(int x, int y)
{
    // Absolute moves over the whole virtual screen, in 0..65535 units.
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = LONG((x * 65536 + 32768) / GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = LONG((y * 65536 + 32768) / GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

void ClickButton(bool right)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof input[0]);
}

void SendKeyOrButton(WORD key, bool down)
{
    INPUT input = {};
    if (key == VK_LBUTTON) {
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    } else {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = WORD(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    }
    SendInput(1, &input, sizeof input);
}
