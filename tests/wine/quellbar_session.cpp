#include "quellbar_session.h"

RunningBar StartQuellbar()
{
    RunningBar bar = {StartProgram("Quellbar.exe"), nullptr, {}, false};
    for (int i = 0; i < 500 && !bar.window; ++i) {
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
    for (int attempt = 0; attempt < 100; ++attempt) {
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
    CHECK(WaitForExit(bar.process, 5000, &exitCode), "Quellbar did not end after Exit");
    CHECK(exitCode == 0, "exit code %lu after Exit", exitCode);
    StopProgram(bar.process);
}

bool Answers(HWND window)
{
    DWORD_PTR ignored;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &ignored) != 0;
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
