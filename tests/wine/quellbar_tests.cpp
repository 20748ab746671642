// Quellbar, run for real in a Wine desktop: its window, the About window, the
// notification icon under a real pointer, the menu, and how it ends.
#include "driver_support.h"
#include "quellbar_session.h"
#include "display_power/display_power.h"
#include "tray/tray_logic.h"

#include <algorithm>
#include <cstring>

// --- The window and its class ------------------------------------------------

static void WindowFacts()
{
    RunningBar bar = StartQuellbar();
    if (!bar.window)
        return StopProgram(bar.process);
    char title[64] = {};
    GetWindowTextA(bar.window, title, sizeof title);
    CHECK(std::strcmp(title, "About Quellin") == 0, "title '%s'", title);
    LONG style = GetWindowLongA(bar.window, GWL_STYLE);
    LONG exStyle = GetWindowLongA(bar.window, GWL_EXSTYLE);
    // Popup with a caption, no system menu (so no close box), hidden.
    CHECK((style & ~WS_CLIPSIBLINGS) == LONG(WS_POPUP | WS_CAPTION), "style 0x%lx", style);
    CHECK(!IsWindowVisible(bar.window), "the main window is visible at start");
    CHECK(exStyle & WS_EX_TOOLWINDOW, "no WS_EX_TOOLWINDOW: it would get a taskbar button (0x%lx)", exStyle);
    CHECK(GetClassLongA(bar.window, GCL_STYLE) == 0, "class style 0x%lx", GetClassLongA(bar.window, GCL_STYLE));
    CHECK(GetParent(bar.window) == nullptr && GetWindow(bar.window, GW_OWNER) == nullptr, "not a top-level window");
    ExitQuellbar(bar);
}

// --- About window ------------------------------------------------------------------

// What a person reads in the About window, in creation order (null: any).
static const struct {
    const char *className;
    const char *text;
} AboutControls[] = {
    {"Button", "Ok"}, {"Static", ""}, {"Static", nullptr}, {"Static", "Quellin"},
    {"Static", "Version 1.0"}, {"Static", nullptr}, {"Static", nullptr},
};
const int AboutControlCount = sizeof AboutControls / sizeof AboutControls[0];

struct ChildList {
    HWND windows[32];
    int count;
};

static BOOL CALLBACK CollectChild(HWND window, LPARAM list)
{
    ChildList *children = reinterpret_cast<ChildList *>(list);
    if (children->count < 32)
        children->windows[children->count] = window;
    ++children->count;
    return TRUE;
}

static ChildList Children(HWND parent)
{
    ChildList list = {};
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&list));
    return list;
}

static void CheckAboutShown(HWND window)
{
    CHECK(IsWindowVisible(window), "the About window is not shown");
    CHECK(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, "the About window is not topmost");
    RECT workArea, placed;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    GetWindowRect(window, &placed);
    ScreenPoint expected = AboutWindowOrigin(workArea.right, workArea.bottom);
    CHECK(placed.left == expected.x && placed.top == expected.y && placed.right - placed.left == AboutWidth &&
              placed.bottom - placed.top == AboutHeight,
          "placed at %ld,%ld size %ldx%ld; expected %d,%d size %dx%d", placed.left, placed.top,
          placed.right - placed.left, placed.bottom - placed.top, expected.x, expected.y, AboutWidth, AboutHeight);

    ChildList children = Children(window);
    CHECK(children.count == AboutControlCount, "%d controls, expected %d", children.count, AboutControlCount);
    RECT client;
    GetClientRect(window, &client);
    for (int i = 0; i < children.count && i < AboutControlCount; ++i) {
        HWND c = children.windows[i];
        char className[32] = {}, text[128] = {};
        GetClassNameA(c, className, sizeof className);
        GetWindowTextA(c, text, sizeof text);
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT *>(&r), 2);
        bool inside = r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom;
        CHECK(_stricmp(className, AboutControls[i].className) == 0 &&
                  (!AboutControls[i].text || std::strcmp(text, AboutControls[i].text) == 0) && inside &&
                  IsWindowVisible(c),
              "control %d: %s '%s' at %ld,%ld-%ld,%ld", i + 1, className, text, r.left, r.top, r.right, r.bottom);
    }
    // The link names the address it opens: a complete web address.
    if (children.count == AboutControlCount) {
        char link[128] = {};
        GetWindowTextA(children.windows[6], link, sizeof link);
        CHECK(std::strncmp(link, "https://", 8) == 0 || std::strncmp(link, "http://", 7) == 0,
              "link text '%s' is not a web address", link);
    }
}

// Pixels of one control's client area, compared by colour.
static int CountPixelsOfColour(HWND control, COLORREF colour)
{
    RECT r;
    GetWindowRect(control, &r);
    static Capture capture;
    int width = r.right - r.left < 64 ? r.right - r.left : 64;
    int count = 0;
    for (int x = r.left; x < r.right; x += width) {
        int w = r.right - x < width ? r.right - x : width;
        CaptureScreen(x, r.top, w, r.bottom - r.top < 64 ? r.bottom - r.top : 64, capture);
        count += CountColour(capture, colour);
    }
    return count;
}

static void AboutWindow()
{
    RunningBar bar = StartQuellbar();
    if (!bar.window)
        return StopProgram(bar.process);

    SendMessageA(bar.window, WM_COMMAND, CmdAbout, 0);
    PumpFor(300);
    CheckAboutShown(bar.window);
    ChildList children = Children(bar.window);
    if (children.count == AboutControlCount) {
        // The link is drawn in pure blue, the copyright line is not.
        int blueInLink = CountPixelsOfColour(children.windows[6], RGB(0, 0, 255));
        int blueInCopyright = CountPixelsOfColour(children.windows[5], RGB(0, 0, 255));
        Note("pure blue pixels: link %d, copyright line %d", blueInLink, blueInCopyright);
        CHECK(blueInLink > 20 && blueInCopyright == 0, "link colours: %d blue pixels in the link, %d elsewhere",
              blueInLink, blueInCopyright);

        // The pointer is one shape over the link and another everywhere else.
        // Cursor handles cannot be inspected from another process here, so
        // the shapes are compared with each other.
        RECT link, ok, frame, window;
        GetWindowRect(children.windows[6], &link);
        GetWindowRect(children.windows[0], &ok);
        GetWindowRect(children.windows[1], &frame);
        GetWindowRect(bar.window, &window);
        const struct {
            const char *where;
            int x, y;
        } points[] = {{"link", (link.left + link.right) / 2, (link.top + link.bottom) / 2},
                      {"Ok button", (ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2},
                      {"frame", frame.left + 20, frame.top + 20},
                      {"caption", (window.left + window.right) / 2, window.top + 5},
                      {"link again", link.left + 30, (link.top + link.bottom) / 2}};
        // The pointer shape read back is the foreground window's, so bring the
        // About window to the front first, as a click on it would.
        SetForegroundWindow(bar.window);
        for (int i = 0; i < 100 && GetForegroundWindow() != bar.window; ++i)
            PumpFor(20);
        CHECK(GetForegroundWindow() == bar.window, "the About window cannot be brought to the front");
        HCURSOR shapes[5] = {};
        for (int i = 0; i < 5; ++i) {
            // Two small moves: each reaches the window under the pointer as a
            // pointer-shape request.
            MovePointer(points[i].x - 2, points[i].y);
            PumpFor(100);
            MovePointer(points[i].x, points[i].y);
            PumpFor(250);
            CURSORINFO info = {};
            info.cbSize = sizeof info;
            GetCursorInfo(&info);
            shapes[i] = info.hCursor;
        }
        Note("pointer shapes %p %p %p %p %p", shapes[0], shapes[1], shapes[2], shapes[3], shapes[4]);
        CHECK(shapes[0] != shapes[1], "the pointer over the link is the same as over the Ok button");
        CHECK(shapes[1] == shapes[2] && shapes[2] == shapes[3], "the pointer changes away from the link");
        CHECK(shapes[4] == shapes[0], "the pointer over the link is not always the same");
        MovePointerAway();

        // "Ok" hides the window; it stays topmost and keeps its controls.
        SendMessageA(children.windows[0], BM_CLICK, 0, 0);
        PumpFor(200);
        CHECK(!IsWindowVisible(bar.window), "still shown after Ok");
        CHECK(GetWindowLongA(bar.window, GWL_EXSTYLE) & WS_EX_TOPMOST, "no longer topmost after Ok");

        // Shown again: the same controls, placed again.
        SendMessageA(bar.window, WM_COMMAND, CmdAbout, 0);
        PumpFor(200);
        CheckAboutShown(bar.window);
        CHECK(Children(bar.window).windows[0] == children.windows[0], "the controls were created again");
    }
    ExitQuellbar(bar);
}

// --- Notification icon -------------------------------------------------------------

static void HoverDarkensIcon()
{
    RunningBar bar = StartQuellbarInTray();
    const RECT &icon = bar.icon;
    if (bar.iconFound) {
        static Capture lit, hovered, left;
        PumpFor(200);
        CaptureIcon(icon, lit);
        PointAtIcon(bar);
        PumpFor(400);
        CaptureIcon(icon, hovered);
        // Resting still on the icon keeps it dark, long after the last report.
        PumpFor(600);
        static Capture stillHovered;
        CaptureIcon(icon, stillHovered);
        // How soon it comes back is the timer's business, counted in ticks
        // by the shell-calls case; here the screen must show it at all, where
        // the fault would keep the dark picture for good.
        MovePointerAway();
        double leftAt = NowMs();
        do {
            PumpFor(20);
            CaptureIcon(icon, left);
        } while (CountDifferentPixels(lit, left) != 0 && NowMs() - leftAt < StallRoomMs);
        int changed = CountDifferentPixels(lit, hovered);
        Note("icon %ldx%ld at %ld,%ld; %d pixels changed on hover, %d still changed %.0f ms after leaving",
             icon.right - icon.left, icon.bottom - icon.top, icon.left, icon.top, changed,
             CountDifferentPixels(lit, left), NowMs() - leftAt);
        CHECK(changed >= 40, "only %d pixels changed with the pointer on the icon", changed);
        CHECK(CountDifferentPixels(hovered, stillHovered) == 0, "the dark picture did not stay while resting");
        CHECK(CountDifferentPixels(lit, left) == 0, "the lit picture did not come back after leaving");
    }
    ExitQuellbar(bar);
}

// The pictures follow the system version: 256-colour ones before 5.1. Told
// apart by a colour only each has (see resources/icons/*.txt).
static void TrayPicturesFollowSystemVersion()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    bool before51 = version.dwMajorVersion < 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion < 1);
    Note("system version %lu.%lu", version.dwMajorVersion, version.dwMinorVersion);
    const COLORREF litScreen = RGB(0xd4, 0xee, 0xff), darkScreen = RGB(0x0c, 0x1a, 0x44);
    const COLORREF desktop = RGB(0x3a, 0x6e, 0xa5), emptyScreen = RGB(0x14, 0x14, 0x14);

    RunningBar bar = StartQuellbarInTray();
    const RECT &icon = bar.icon;
    if (bar.iconFound) {
        static Capture normal, hovered;
        PumpFor(200);
        CaptureIcon(icon, normal);
        PointAtIcon(bar);
        PumpFor(400);
        CaptureIcon(icon, hovered);
        int lit = CountColour(normal, litScreen), blueDesktop = CountColour(normal, desktop);
        int dark = CountColour(hovered, darkScreen), empty = CountColour(hovered, emptyScreen);
        Note("normal: %d lit-screen and %d desktop pixels; hovered: %d dark-screen and %d empty-screen pixels", lit,
             blueDesktop, dark, empty);
        if (before51)
            CHECK(blueDesktop > 0 && lit == 0 && empty > 0 && dark == 0, "not the 256-colour pictures");
        else
            CHECK(lit > 0 && blueDesktop == 0 && dark > 0 && empty == 0, "not the 24-bit pictures");
    }
    ExitQuellbar(bar);
}

static void LeftClickTurnsDisplaysOff()
{
    RunningBar bar = StartQuellbarInTray();
    if (bar.iconFound) {
        PointAtIcon(bar);
        PumpFor(300);
        ResetListener();
        ULONGLONG clickedAt = NowFileTime();
        ClickButton(false);
        PumpUntil(PowerCommandArrived, 5000);
        PumpFor(100);
        CHECK(listener.count == 1, "%d power commands after one click, expected 1", listener.count);
        if (listener.count >= 1) {
            const PowerCommand &c = listener.commands[0];
            double delayMs = double(c.at - clickedAt) / 10000.0;
            Note("command arrived %.1f ms after the click", delayMs);
            CHECK(c.wParam == SC_MONITORPOWER && c.lParam == 2 && c.wasSent, "not a sent monitor-off command");
            CHECK(delayMs >= PowerOffDelayMs, "arrived %.1f ms after the click, before the pause was over",
                  delayMs);
        }
        CHECK(Answers(bar.window), "Quellbar stopped answering after the click");
    }
    ExitQuellbar(bar);
}

static HWND OpenMenuWindow()
{
    HWND menu = FindWindowA("#32768", nullptr);
    return menu && IsWindowVisible(menu) ? menu : nullptr;
}

static bool MenuOpen()
{
    return OpenMenuWindow() != nullptr;
}

static bool MenuClosed()
{
    return OpenMenuWindow() == nullptr;
}

static void RightClickMenu()
{
    RunningBar bar = StartQuellbarInTray();
    const RECT &icon = bar.icon;
    if (bar.iconFound) {
        POINT at = {(icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2};
        MovePointer(at.x, at.y);
        PumpFor(300);
        ClickButton(true);
        bool opened = PumpUntil(MenuOpen, StallRoomMs);
        CHECK(opened, "no menu opened on a right click");
        if (opened) {
            RECT menu;
            GetWindowRect(OpenMenuWindow(), &menu);
            Note("menu at %ld,%ld-%ld,%ld, pointer at %ld,%ld", menu.left, menu.top, menu.right, menu.bottom, at.x,
                 at.y);
            // Right-aligned at the pointer: the menu lies to its left.
            CHECK(menu.right <= at.x + 1 && menu.right >= at.x - 40, "menu not right-aligned at the pointer");
            // A click elsewhere closes it and chooses nothing.
            MovePointer(300, 300);
            PumpFor(200);
            ClickButton(false);
            CHECK(PumpUntil(MenuClosed, StallRoomMs), "the menu stayed open after a click elsewhere");
            PumpFor(200);
            CHECK(!IsWindowVisible(bar.window), "a click elsewhere chose About");
            CHECK(WaitForSingleObject(bar.process.process, 0) == WAIT_TIMEOUT, "a click elsewhere chose Exit");
        }
    }
    ExitQuellbar(bar);
}

// --- Calls to the shell -------------------------------------------------------------

// Starts Quellbar with the stand-in tray in place; if no window appears, ends
// both and says so.
static bool StartQuellbarWithFakeTray(RunningBar &bar, HWND fakeTray)
{
    bar = StartQuellbar();
    if (bar.window)
        return true;
    DestroyWindow(fakeTray);
    StopProgram(bar.process);
    return false;
}

// Ends Quellbar through "Exit": it removes its icon itself, once.
static void ExitQuellbarFromFakeTray(RunningBar &bar, HWND fakeTray)
{
    ExitQuellbar(bar);
    PumpFor(100);
    CHECK(shellCalls[NIM_DELETE] == 1, "%d deletes at exit, expected 1", shellCalls[NIM_DELETE]);
    DestroyWindow(fakeTray);
}

static bool ShellSawModify()
{
    return shellCalls[NIM_MODIFY] > 0;
}

// Timer ticks Quellbar's thread takes from its queue over the given time.
static int TicksDuring(DWORD ms)
{
    PumpFor(20);
    listener.timerTicks = 0;
    PumpFor(ms);
    return listener.timerTicks;
}

// Where the pointer goes when it leaves the "icon" at 400,400.
static const POINT OffIcon = {420, 430};

static bool PointerLeftIcon()
{
    POINT p;
    return GetCursorPos(&p) && p.x == OffIcon.x && p.y == OffIcon.y;
}

// The usual spacing of the ticks recorded since the last count, on Quellbar's
// own clock: the median, which one stall of an emulated machine cannot move.
static DWORD MedianTickGap()
{
    DWORD gaps[MaxRecorded];
    int n = 0;
    for (int i = 1; i < listener.timerTicks && i < MaxRecorded; ++i)
        gaps[n++] = listener.timerTickAt[i] - listener.timerTickAt[i - 1];
    std::sort(gaps, gaps + n);
    return n ? gaps[n / 2] : 0;
}

static void HoverShellCallsAndTimer()
{
    HWND fakeTray = CreateFakeTray();
    MovePointer(400, 400);
    RunningBar bar;
    if (!StartQuellbarWithFakeTray(bar, fakeTray))
        return;
    PumpFor(100);
    CHECK(shellCalls[NIM_ADD] == 1 && shellCalls[NIM_MODIFY] == 0, "start-up: %d adds, %d modifies",
          shellCalls[NIM_ADD], shellCalls[NIM_MODIFY]);
    HMODULE probe = LoadLibraryA(DriverSidePath("timer_probe.dll").c_str());
    HOOKPROC probeHook = probe ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void *>(GetProcAddress(probe, "TimerProbeHook"))) : nullptr;
    HHOOK hook = probeHook ? SetWindowsHookExA(WH_GETMESSAGE, probeHook, probe, bar.process.threadId) : nullptr;
    CHECK(hook != nullptr, "cannot watch Quellbar's timer (error %lu)", GetLastError());
    PostMessageA(bar.window, WM_NULL, 0, 0); // the hook comes into play with the next message

    // Idle: no timer runs, and nothing at all reaches the shell.
    int idleTicks = TicksDuring(500);
    CHECK(shellCalls[NIM_MODIFY] == 0, "%d modifies while idle", shellCalls[NIM_MODIFY]);
    CHECK(idleTicks == 0, "%d timer ticks while idle", idleTicks);

    // The shell's move reports, many of them, with the pointer on the "icon"
    // (it rests at 400,400 throughout): one modify on entering hover, none
    // for the reports that follow, and none for ticks while it rests.
    for (int i = 0; i < 40; ++i) {
        SendMessageA(bar.window, TrayCallbackMessage, 0, WM_MOUSEMOVE);
        PumpFor(10);
    }
    int hoverTicks = TicksDuring(500);
    int whileHovering = shellCalls[NIM_MODIFY];
    DWORD medianGap = MedianTickGap();
    CHECK(hoverTicks >= 3, "only %d timer ticks in half a second of hovering", hoverTicks);
    CHECK(medianGap >= HoverIntervalMs - 10 && medianGap <= HoverIntervalMs + 25,
          "hover ticks %lu ms apart, expected about %u", medianGap, HoverIntervalMs);
    CHECK(whileHovering == 1, "%d modifies for entering hover and resting there, expected 1", whileHovering);

    // Leaving: one modify, from the first or second tick after the pointer
    // moved, then silence. Ticks are counted from the moment the system
    // reports the new position, so every counted tick saw the pointer gone;
    // the deadline was last pushed on a tick before that, so it passes before
    // the second tick after it. Counting ticks on Quellbar's own clock rather
    // than milliseconds keeps the bound exact on an emulated machine, whose
    // ticks and messages can stall for a while; the period itself is held by
    // the spacing checked above.
    shellCalls[NIM_MODIFY] = 0;
    PumpFor(0);
    listener.timerTicks = 0;
    double leftAt = NowMs();
    MovePointer(OffIcon.x, OffIcon.y);
    PumpUntil(PointerLeftIcon, StallRoomMs);
    DWORD leftAtTick = GetTickCount();
    PumpUntil(ShellSawModify, StallRoomMs);
    double restoredAfter = NowMs() - leftAt;
    PumpFor(100);
    int ticksToRestore = 0;
    for (int i = 0; i < listener.timerTicks && i < MaxRecorded; ++i)
        if (static_cast<int>(listener.timerTickAt[i] - leftAtTick) > 0)
            ++ticksToRestore;
    int afterTicks = TicksDuring(500);
    Note("lit picture sent %.0f ms and %d ticks after the pointer left; timer ticks: %d idle, %d in 500 ms of "
         "hover (%lu ms apart), %d after",
         restoredAfter, ticksToRestore, idleTicks, hoverTicks, medianGap, afterTicks);
    CHECK(afterTicks == 0, "the timer still ticks after hovering ended (%d ticks)", afterTicks);
    CHECK(shellCalls[NIM_MODIFY] == 1, "%d modifies for leaving hover, expected 1", shellCalls[NIM_MODIFY]);
    CHECK(ticksToRestore >= 1 && ticksToRestore <= 2, "lit picture back on tick %d after the pointer left",
          ticksToRestore);

    // A restarted shell, which has none of the old icons, announces itself;
    // the icon is added again with that one call.
    shellCalls[NIM_ADD] = 0;
    shellCalls[NIM_MODIFY] = 0;
    shell.hasIcon = false;
    SendMessageTimeoutA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 2000,
                        nullptr);
    PumpFor(200);
    CHECK(shellCalls[NIM_ADD] == 1 && shellCalls[NIM_MODIFY] == 0,
          "%d adds and %d modifies after the shell restarted, expected 1 and 0", shellCalls[NIM_ADD],
          shellCalls[NIM_MODIFY]);
    int restartTicks = TicksDuring(300);
    CHECK(restartTicks == 0, "%d timer ticks after the icon was added again", restartTicks);

    if (hook)
        UnhookWindowsHookEx(hook);
    // Ending removes the icon: the program's own delete, not the system's
    // clean-up after it.
    ExitQuellbarFromFakeTray(bar, fakeTray);
}

static bool ShellHasIcon()
{
    return shell.hasIcon;
}

// At sign-in the notification area may not be ready yet: it refuses every
// call for the first seconds. Once it is ready the icon gets in, with no
// "TaskbarCreated", after about one attempt a second meanwhile, and the
// attempts stop.
static void IconAddedOnceShellIsReady()
{
    HWND fakeTray = CreateFakeTray();
    shell.refusalMs = 2500; // the first attempt and one retry fail
    RunningBar bar;
    if (!StartQuellbarWithFakeTray(bar, fakeTray))
        return;
    bool added = PumpUntil(ShellHasIcon, DWORD(shell.refusalMs) + 2 * IconRetryIntervalMs);
    double readyToIcon = shell.iconInAt - shell.refusesUntil;
    int adds = shellCalls[NIM_ADD];
    PumpFor(2 * IconRetryIntervalMs);
    int recorded = std::min(adds, MaxRecorded);
    Note("icon in %.0f ms after the shell became ready, at add %d; adds %.0f ms apart on average", readyToIcon,
         adds, recorded > 1 ? (shell.addTimes[recorded - 1] - shell.addTimes[0]) / (recorded - 1) : 0.0);
    CHECK(added && readyToIcon <= IconRetryIntervalMs + 500, "icon in %d, %.0f ms after the shell became ready",
          added, readyToIcon);
    CHECK(adds >= 3, "%d adds: the shell was refusing for %.0f ms", adds, shell.refusalMs);
    for (int i = 1; i < recorded; ++i) {
        double gap = shell.addTimes[i] - shell.addTimes[i - 1];
        CHECK(gap >= 1000 && gap <= 2500, "add %d came %.0f ms after the one before", i + 1, gap);
    }
    CHECK(shellCalls[NIM_ADD] == adds, "%d more adds after the icon was in", shellCalls[NIM_ADD] - adds);
    ExitQuellbarFromFakeTray(bar, fakeTray);
}

// A busy shell may time out on the add and take the icon all the same: the
// program finds it there and does not add it again and again.
static void IconTakenThoughAddFailed()
{
    HWND fakeTray = CreateFakeTray();
    shell.failsFirstAdd = true;
    RunningBar bar;
    if (!StartQuellbarWithFakeTray(bar, fakeTray))
        return;
    PumpFor(2 * IconRetryIntervalMs + 500);
    CHECK(shell.hasIcon && shellCalls[NIM_ADD] == 1 && shellCalls[NIM_MODIFY] == 1,
          "%d adds and %d modifies, expected 1 and 1", shellCalls[NIM_ADD], shellCalls[NIM_MODIFY]);
    ExitQuellbarFromFakeTray(bar, fakeTray);
}

// --- Ending --------------------------------------------------------------------------

static void ExitAndCloseEndIt()
{
    const struct {
        const char *how;
        UINT message;
        WPARAM wParam;
    } ways[] = {{"Exit", WM_COMMAND, CmdExit}, {"WM_CLOSE", WM_CLOSE, 0}};
    for (const auto &way : ways) {
        RunningBar bar = StartQuellbar();
        if (!bar.window) {
            StopProgram(bar.process);
            continue;
        }
        // Also while the About window is shown.
        SendMessageA(bar.window, WM_COMMAND, CmdAbout, 0);
        PostMessageA(bar.window, way.message, way.wParam, 0);
        DWORD exitCode = 1234;
        bool ended = WaitForExit(bar.process, StallRoomMs, &exitCode);
        CHECK(ended && exitCode == 0, "%s: ended %d, exit code %lu", way.how, ended, exitCode);
        StopProgram(bar.process);
    }
}

static void PressAltF4()
{
    const WORD order[4] = {VK_MENU, VK_F4, VK_F4, VK_MENU};
    INPUT keys[4] = {};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = order[i];
        keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, keys, sizeof keys[0]);
}

// Alt+F4 on the About window closes that window, not the program.
static void AltF4HidesAboutWindow()
{
    HWND fakeTray = CreateFakeTray();
    RunningBar bar;
    if (!StartQuellbarWithFakeTray(bar, fakeTray))
        return;
    SendMessageA(bar.window, WM_COMMAND, CmdAbout, 0);
    SetForegroundWindow(bar.window);
    for (int i = 0; i < 100 && GetForegroundWindow() != bar.window; ++i)
        PumpFor(20);
    CHECK(IsWindowVisible(bar.window) && GetForegroundWindow() == bar.window,
          "the About window is not shown in front");
    PressAltF4();
    PumpFor(500);
    CHECK(WaitForSingleObject(bar.process.process, 0) == WAIT_TIMEOUT && Answers(bar.window),
          "Alt+F4 ended Quellbar");
    CHECK(!IsWindowVisible(bar.window), "the About window is still shown after Alt+F4");
    CHECK(shell.hasIcon && shellCalls[NIM_DELETE] == 0, "Alt+F4 removed the icon");
    SendMessageA(bar.window, WM_COMMAND, CmdAbout, 0);
    PumpFor(200);
    CHECK(IsWindowVisible(bar.window), "About... does not show the window again after Alt+F4");
    ExitQuellbarFromFakeTray(bar, fakeTray);
}

// A storm of random messages that neither end the program nor open a modal
// loop leaves it alive and answering.
static void MessageStorm()
{
    RunningBar bar = StartQuellbar();
    if (!bar.window)
        return StopProgram(bar.process);
    DWORD seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245 + 12345;
        return (seed >> 8) & 0xFFFFFF;
    };
    // Messages whose parameters are plain numbers, so garbage in them is
    // something the program must cope with rather than a bad pointer.
    const UINT numeric[] = {WM_TIMER, WM_SETCURSOR, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_KEYDOWN, WM_CHAR, WM_NULL,
                            WM_ACTIVATE, WM_SHOWWINDOW, WM_ENABLE, WM_USER, WM_USER + 77, WM_APP, WM_APP + 2};
    const LPARAM trayEvents[] = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MBUTTONUP,
                                 WM_MBUTTONDOWN, WM_CONTEXTMENU, 0x400, 0x401};
    const int total = 3000;
    for (int i = 0; i < total; ++i) {
        DWORD pick = next() % 4;
        if (pick == 0) {
            UINT m = numeric[next() % (sizeof numeric / sizeof numeric[0])];
            PostMessageA(bar.window, m, next(), next());
        } else if (pick == 1) {
            PostMessageA(bar.window, TrayCallbackMessage, next() % 3,
                         trayEvents[next() % (sizeof trayEvents / sizeof trayEvents[0])]);
        } else if (pick == 2) {
            // Menu commands other than Exit and About, and control notifications
            // from windows that are not our controls.
            WPARAM id = 3 + next() % 60000;
            PostMessageA(bar.window, WM_COMMAND, id, next() % 2 ? 0 : next() | 1);
        } else {
            SendMessageTimeoutA(bar.window, WM_APP + 1 + next() % 16, next(), next(), SMTO_ABORTIFHUNG, 1000,
                                nullptr);
        }
    }
    PumpFor(500);
    CHECK(WaitForSingleObject(bar.process.process, 0) == WAIT_TIMEOUT, "Quellbar died in the storm");
    CHECK(Answers(bar.window), "Quellbar does not answer after %d messages", total);
    ExitQuellbar(bar);
}

extern const DriverCase quellbarCases[] = {
    {"quellbar_window_facts", WindowFacts},
    {"quellbar_about_window", AboutWindow},
    {"quellbar_hover_darkens_icon", HoverDarkensIcon},
    {"quellbar_tray_pictures_follow_system_version", TrayPicturesFollowSystemVersion},
    {"quellbar_left_click_turns_displays_off", LeftClickTurnsDisplaysOff},
    {"quellbar_right_click_menu", RightClickMenu},
    {"quellbar_hover_shell_calls_and_timer", HoverShellCallsAndTimer},
    {"quellbar_icon_added_once_shell_is_ready", IconAddedOnceShellIsReady},
    {"quellbar_icon_taken_though_add_failed", IconTakenThoughAddFailed},
    {"quellbar_exit_and_close_end_it", ExitAndCloseEndIt},
    {"quellbar_alt_f4_hides_about_window", AltF4HidesAboutWindow},
    {"quellbar_message_storm", MessageStorm},
};
extern const int quellbarCaseCount = sizeof quellbarCases / sizeof quellbarCases[0];
