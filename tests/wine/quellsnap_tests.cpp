// Quellsnap, run for real: what reaches a top-level window, when, and how the
// process ends.
#include "driver_support.h"
#include "display_power/display_power.h"

#include <algorithm>

// From process creation to the command's arrival, at least the pause.
static const double MinDelayMs = PowerOffDelayMs;

static bool TwoCommandsArrived()
{
    return listener.count >= 2;
}

static void CheckPowerOffCommand(const PowerCommand &c, ULONGLONG startedAt)
{
    CHECK(c.wParam == SC_MONITORPOWER, "wParam 0x%llx, expected SC_MONITORPOWER", (unsigned long long)c.wParam);
    CHECK(c.lParam == 2, "lParam %lld, expected 2 (off)", (long long)c.lParam);
    CHECK(c.wasSent, "the command was posted, not sent");
    double delayMs = double(c.at - startedAt) / 10000.0;
    Note("command arrived %.1f ms after process creation", delayMs);
    CHECK(delayMs >= MinDelayMs, "arrived %.1f ms after start, before the %.0f ms pause was over", delayMs,
          MinDelayMs);
}

// Keys and buttons held as Quellsnap starts, as its shortcut leaves them: the
// driver holds them through SendInput, and the desktop's one asynchronous key
// state shows them to the program started afterwards. VK_LBUTTON stands for
// the left mouse button.
struct HeldInputRow {
    const char *what;
    WORD pressed[4];  // in this order, before the start; 0 ends the list
    WORD released[4]; // in this order, from HoldAfterStartMs on; none: held for good
};
static const HeldInputRow HeldInputRows[] = {
    {"nothing held", {}, {}},
    {"the shortcut, modifiers let go first", {VK_CONTROL, VK_MENU, VK_SHIFT, 'O'}, {VK_CONTROL, VK_MENU, VK_SHIFT, 'O'}},
    {"the shortcut, the letter let go first", {VK_CONTROL, VK_MENU, VK_SHIFT, 'O'}, {'O', VK_SHIFT, VK_MENU, VK_CONTROL}},
    {"the left mouse button", {VK_LBUTTON}, {VK_LBUTTON}},
    {"a key that never comes up", {'Q'}, {}},
};
// Long past the pause, as people hold a shortcut; then one key up at a time,
// far enough apart that a wait watching only some of the keys ends between
// two releases on all but a stalling machine (the button and the key held for
// good catch such a wait too).
static const DWORD HoldAfterStartMs = 2000;
static const DWORD BetweenReleasesMs = 400;
// After the last release: a wait that notices it only seconds later, or
// waits out the limit, fails; a loaded emulator has taken three seconds.
static const double SoonAfterReleaseMs = StallRoomMs / 2;

static void OneCommandOnceKeysAndButtonsAreUp()
{
    MovePointer(500, 300); // a button held on the empty desktop starts nothing
    for (const HeldInputRow &row : HeldInputRows) {
        Note("%s", row.what);
        ResetListener();
        int pressed = int(std::find(row.pressed, row.pressed + 4, 0) - row.pressed);
        int released = int(std::find(row.released, row.released + 4, 0) - row.released);
        for (int i = 0; i < pressed; ++i) {
            SendKeyOrButton(row.pressed[i], true);
            PumpFor(30);
            CHECK(GetAsyncKeyState(row.pressed[i]) < 0, "%s: key 0x%x is not down", row.what, row.pressed[i]);
        }
        Started p = StartProgram("Quellsnap.exe");
        ULONGLONG lastReleaseAt = 0;
        if (released > 0) {
            PumpFor(HoldAfterStartMs);
            for (int i = 0; i < released; ++i) {
                if (i > 0)
                    PumpFor(BetweenReleasesMs);
                lastReleaseAt = NowFileTime();
                SendKeyOrButton(row.released[i], false);
            }
        }
        DWORD exitCode = 1234;
        // Without the limit it would not end while the key is down.
        bool ended = WaitForExit(p, PowerOffDelayMs + ReleaseWaitLimitMs + 2 * StallRoomMs, &exitCode);
        PumpUntil(PowerCommandArrived, 1000);
        PumpFor(50);
        // Whatever was found, nothing stays down for the cases after this one.
        for (int i = 0; i < pressed; ++i)
            SendKeyOrButton(row.pressed[i], false);

        CHECK(ended, "%s: Quellsnap did not end", row.what);
        CHECK(exitCode == 0, "%s: exit code %lu", row.what, exitCode);
        CHECK(listener.count == 1, "%s: %d power commands arrived, expected 1", row.what, listener.count);
        if (listener.count < 1) {
            StopProgram(p);
            continue;
        }
        const PowerCommand &c = listener.commands[0];
        CheckPowerOffCommand(c, p.createdAt);
        // The limit runs out this long after the start at the earliest.
        const double limitMs = PowerOffDelayMs + ReleaseWaitLimitMs;
        double fromStartMs = double(c.at - p.createdAt) / 10000.0;
        if (released > 0) {
            double afterReleaseMs = (double(c.at) - double(lastReleaseAt)) / 10000.0;
            Note("command arrived %.1f ms after the last release", afterReleaseMs);
            CHECK(afterReleaseMs > 0, "%s: the command came %.1f ms before the last release", row.what,
                  -afterReleaseMs);
            CHECK(afterReleaseMs <= SoonAfterReleaseMs && fromStartMs < limitMs,
                  "%s: the command came %.1f ms after the last release, %.1f ms after the start", row.what,
                  afterReleaseMs, fromStartMs);
        } else if (pressed > 0) {
            CHECK(fromStartMs >= limitMs && fromStartMs <= limitMs + StallRoomMs,
                  "%s: the command came %.1f ms after the start, not at the %u ms limit after the pause", row.what,
                  fromStartMs, ReleaseWaitLimitMs);
        } else {
            CHECK(fromStartMs < limitMs, "%s: the command came %.1f ms after the start, as if a key were held",
                  row.what, fromStartMs);
        }
        StopProgram(p);
    }
}

static void TwoStartsTwoCommands()
{
    Started a = StartProgram("Quellsnap.exe");
    Started b = StartProgram("Quellsnap.exe");
    DWORD codeA = 1, codeB = 1;
    CHECK(WaitForExit(a, 10000, &codeA) && WaitForExit(b, 10000, &codeB), "a Quellsnap did not end");
    PumpUntil(TwoCommandsArrived, 1000);
    CHECK(codeA == 0 && codeB == 0, "exit codes %lu and %lu", codeA, codeB);
    CHECK(listener.count == 2, "%d power commands arrived, expected one per start", listener.count);
    for (int i = 0; i < listener.count && i < 2; ++i)
        CheckPowerOffCommand(listener.commands[i], a.createdAt);
    StopProgram(a);
    StopProgram(b);
}

// A window whose thread does not pump again for a minute: the broadcast must
// not wait on it.
static const DWORD HungForMs = 60000;

static DWORD WINAPI HungWindowThread(LPVOID windowExists)
{
    CreateWindowExA(0, "STATIC", "hung", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    SetEvent(windowExists);
    Sleep(HungForMs);
    return 0;
}

static BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int *>(count);
    return TRUE;
}

static void HungWindowDoesNotHoldIt()
{
    // What a run costs here without a hung window: Wine's process start and
    // end vary a lot with the machine (an emulated one is several times slower).
    double start = NowMs();
    Started baseline = StartProgram("Quellsnap.exe");
    DWORD exitCode = 1234;
    WaitForExit(baseline, 30000, &exitCode);
    double baselineMs = NowMs() - start;
    StopProgram(baseline);
    PumpFor(50);
    ResetListener();

    DWORD threadId = 0;
    HANDLE windowExists = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, HungWindowThread, windowExists, 0, &threadId);
    WaitForSingleObject(windowExists, 10000);
    CloseHandle(windowExists);
    Sleep(100); // its thread is asleep now
    // The system may give the thread more top-level windows than ours (an
    // input-method window); each of them costs the broadcast one timeout.
    int hungWindows = 0;
    EnumThreadWindows(threadId, CountWindow, reinterpret_cast<LPARAM>(&hungWindows));

    CHECK(hungWindows >= 1, "the hung window does not exist");
    start = NowMs();
    Started p = StartProgram("Quellsnap.exe");
    exitCode = 1234;
    // The same run plus one timeout for each hung window, and room for a
    // stalling machine, judged against what the fault would cost: a wait for
    // the hung thread's whole minute.
    const double boundMs = baselineMs + hungWindows * BroadcastReplyTimeoutMs + StallRoomMs;
    bool ended = WaitForExit(p, HungForMs / 2, &exitCode);
    double tookMs = NowMs() - start;
    Note("ended after %.0f ms with %d hung windows present, %.0f ms without (bound %.0f ms)", tookMs, hungWindows,
         baselineMs, boundMs);
    CHECK(ended && tookMs <= boundMs, "Quellsnap took %.0f ms with a hung window present", tookMs);
    CHECK(exitCode == 0, "exit code %lu", exitCode);
    PumpFor(50);
    CHECK(listener.count == 1, "the answering window got %d commands, expected 1", listener.count);
    StopProgram(p);
    TerminateThread(thread, 0);
    CloseHandle(thread);
}

extern const DriverCase quellsnapCases[] = {
    {"quellsnap_one_command_once_keys_and_buttons_are_up", OneCommandOnceKeysAndButtonsAreUp},
    {"quellsnap_two_starts_two_commands", TwoStartsTwoCommands},
    {"quellsnap_hung_window_does_not_hold_it", HungWindowDoesNotHoldIt},
};
extern const int quellsnapCaseCount = sizeof quellsnapCases / sizeof quellsnapCases[0];
