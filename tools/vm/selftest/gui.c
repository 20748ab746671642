/* 32-bit GUI-subsystem stand-in: proves that real Win32 windowing works in
 * the guest (window creation, messages, painting, fonts) and reports what
 * GetVersionExA says, so QUELLIN_WINVER can be checked end to end.
 * If QUELLIN_EXPECT_WINVER is set (e.g. "5.1"), the reported version must
 * match it. Output goes to the inherited stdout handle with WriteFile, which
 * works for a GUI-subsystem program started from a shell under Wine. */
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

static int passed, failed, painted;

static void out(const char *fmt, ...)
{
    char buf[512];
    DWORD n;
    va_list ap;
    va_start(ap, fmt);
    _vsnprintf(buf, sizeof(buf) - 1, fmt, ap);
    va_end(ap);
    buf[sizeof(buf) - 1] = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buf, (DWORD)strlen(buf), &n, NULL);
}

static void check(int ok, const char *what)
{
    out("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (ok) passed++; else failed++;
}

static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        TextOutA(dc, 10, 10, "quellin vm", 10);
        EndPaint(hwnd, &ps);
        painted++;
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmd, int show)
{
    OSVERSIONINFOA vi;
    WNDCLASSA wc;
    HWND hwnd;
    RECT rc;
    MSG m;
    HDC dc;
    SIZE sz;
    DWORD start;
    char want[32], got[32];
    (void)prev; (void)show;

    out("standin-gui: cmdline [%s], pointer size %u\n", cmd, (unsigned)sizeof(void *));
    check(sizeof(void *) == 4, "running as a 32-bit process");

    memset(&vi, 0, sizeof(vi));
    vi.dwOSVersionInfoSize = sizeof(vi);
    check(GetVersionExA(&vi) != 0, "GetVersionExA succeeds");
    out("GetVersionExA: %lu.%lu build %lu platform %lu \"%s\"\n",
        vi.dwMajorVersion, vi.dwMinorVersion, vi.dwBuildNumber, vi.dwPlatformId, vi.szCSDVersion);
    if (GetEnvironmentVariableA("QUELLIN_EXPECT_WINVER", want, sizeof(want))) {
        _snprintf(got, sizeof(got), "%lu.%lu", vi.dwMajorVersion, vi.dwMinorVersion);
        got[sizeof(got) - 1] = 0;
        out("expected version %s, got %s\n", want, got);
        check(strcmp(want, got) == 0, "GetVersionExA matches QUELLIN_EXPECT_WINVER");
    }

    memset(&wc, 0, sizeof(wc));
    wc.lpfnWndProc = proc;
    wc.hInstance = inst;
    wc.lpszClassName = "QuellinVmProbe";
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    check(RegisterClassA(&wc) != 0, "RegisterClassA");
    hwnd = CreateWindowExA(0, "QuellinVmProbe", "Quellin VM probe", WS_OVERLAPPEDWINDOW,
                           50, 50, 320, 200, NULL, NULL, inst, NULL);
    check(hwnd != NULL, "CreateWindowExA");
    if (!hwnd) {
        out("SUMMARY %d passed, %d failed\n", passed, failed);
        return 1;
    }
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    start = GetTickCount();
    while (GetTickCount() - start < 1500) {
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        Sleep(20);
    }
    check(IsWindowVisible(hwnd), "window is visible");
    check(FindWindowA("QuellinVmProbe", "Quellin VM probe") == hwnd, "FindWindowA finds it");
    check(GetWindowRect(hwnd, &rc) && rc.right - rc.left == 320, "GetWindowRect width 320");
    check(painted > 0, "received WM_PAINT");
    dc = GetDC(hwnd);
    check(GetTextExtentPoint32A(dc, "quellin", 7, &sz) && sz.cx > 0, "fonts: text has a width");
    out("text extent %ldx%ld, screen %dx%d\n", sz.cx, sz.cy,
        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    ReleaseDC(hwnd, dc);
    DestroyWindow(hwnd);
    check(!IsWindow(hwnd), "DestroyWindow");

    out("SUMMARY %d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
