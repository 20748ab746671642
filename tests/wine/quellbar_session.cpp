#include "quellbar_session.h"

#include <cstring>

RunningBar StartQuellbar()
{
    RunningBar bar = {StartProgram("Quellbar.exe"), nullptr, {}, false};
    for (DWORD waited = 0; waited < StallRoomMs && !bar.window; waited += 10) {
        PumpFor(10);
        bar.window = FindQuellbarWindow(bar.process.processId);
    }
    CHECK(bar.window != nullptr, "no window of class Quellin appeared");
    // Let start-up finish (icon added, menu built) before anything is sent.
    if (bar.window) {
        DWORD_PTR ignored;
        SendMessageTimeoutA(bar.window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
    }
    return bar;
}

// The notification area's icons sit at the right end of Wine's taskbar.
// Ours is found as the box of pixels that differ from the taskbar's own
// colour there, waiting for the taskbar to show it.
static bool FindTrayIcon(RECT &icon)
{
    static Capture capture;
    for (DWORD waited = 0; waited < StallRoomMs; waited += 50) {
        HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
        RECT bar;
        if (taskbar && IsWindowVisible(taskbar) && GetWindowRect(taskbar, &bar) && bar.bottom - bar.top >= 16) {
            int height = bar.bottom - bar.top < 64 ? bar.bottom - bar.top : 64;
            CaptureScreen(bar.right - 64, bar.top, 64, height, capture);
            COLORREF background = capture.pixels[0];
            int left = 64, right = -1, top = height, bottom = -1;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < 64; ++x)
                    if (capture.pixels[y * 64 + x] != background) {
                        left = x < left ? x : left;
                        right = x > right ? x : right;
                        top = y < top ? y : top;
                        bottom = y > bottom ? y : bottom;
                    }
            if (right - left >= 10 && bottom - top >= 10) {
                icon = {bar.right - 64 + left, bar.top + top, bar.right - 64 + right + 1, bar.top + bottom + 1};
                return true;
            }
        }
        PumpFor(50);
    }
    return false;
}

RunningBar StartQuellbarInTray()
{
    MovePointerAway();
    RunningBar bar = StartQuellbar();
    bar.iconFound = bar.window && FindTrayIcon(bar.icon);
    CHECK(bar.iconFound, "the notification icon did not appear");
    return bar;
}

void ExitQuellbar(RunningBar &bar)
{
    MovePointerAway();
    if (bar.window)
        PostMessageA(bar.window, WM_COMMAND, CmdExit, 0);
    DWORD exitCode = 1234;
    CHECK(WaitForExit(bar.process, StallRoomMs, &exitCode), "Quellbar did not end after Exit");
    CHECK(exitCode == 0, "exit code %lu after Exit", exitCode);
    StopProgram(bar.process);
}

bool Answers(HWND window)
{
    DWORD_PTR ignored;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, StallRoomMs, &ignored) != 0;
}

void MovePointerAway()
{
    MovePointer(200, 200);
}

void PointAtIcon(const RunningBar &bar)
{
    MovePointer((bar.icon.left + bar.icon.right) / 2, (bar.icon.top + bar.icon.bottom) / 2);
}

void CaptureIcon(const RECT &icon, Capture &out)
{
    CaptureScreen(icon.left, icon.top, icon.right - icon.left, icon.bottom - icon.top, out);
}

int shellCalls[3];
FakeShell shell;

static LRESULT CALLBACK FakeTrayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT *data = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
        if (data->dwData >= 3)
            return FALSE;
        if (data->dwData == NIM_ADD && shellCalls[NIM_ADD] < MaxRecorded)
            shell.addTimes[shellCalls[NIM_ADD]] = NowMs();
        ++shellCalls[data->dwData];
        if (shell.refusalMs > 0 && shell.refusesUntil == 0)
            shell.refusesUntil = NowMs() + shell.refusalMs;
        if (NowMs() < shell.refusesUntil)
            return FALSE;
        if (data->dwData == NIM_ADD) {
            if (shell.hasIcon)
                return FALSE;
            shell.hasIcon = true;
            shell.iconInAt = NowMs();
            bool answer = !shell.failsFirstAdd;
            shell.failsFirstAdd = false;
            return answer;
        }
        if (!shell.hasIcon)
            return FALSE;
        if (data->dwData == NIM_DELETE)
            shell.hasIcon = false;
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateFakeTray()
{
    std::memset(shellCalls, 0, sizeof shellCalls);
    std::memset(&shell, 0, sizeof shell);
    WNDCLASSA c = {};
    c.lpfnWndProc = FakeTrayProc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&c);
    HWND tray =
        CreateWindowExA(0, c.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, c.hInstance, nullptr);
    CHECK(tray && FindWindowA("Shell_TrayWnd", nullptr) == tray, "the stand-in tray is not found first");
    return tray;
}
