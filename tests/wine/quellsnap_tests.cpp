// Quellsnap, run for real: what reaches a top-level window, when, and how the
// process ends.
#include "driver_support.h"
#include "display_power/display_power.h"

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

static void OneCommandPerRun()
{
    Started p = StartProgram("Quellsnap.exe");
    DWORD exitCode = 1234;
    bool ended = WaitForExit(p, 10000, &exitCode);
    PumpFor(50);
    CHECK(ended, "Quellsnap did not end within 10 s");
    CHECK(exitCode == 0, "exit code %lu", exitCode);
    CHECK(listener.count == 1, "%d power commands arrived, expected 1", listener.count);
    if (listener.count >= 1)
        CheckPowerOffCommand(listener.commands[0], p.createdAt);
    StopProgram(p);
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

// A window whose thread never pumps again: the broadcast must not wait on it.
static DWORD WINAPI HungWindowThread(LPVOID windowExists)
{
    CreateWindowExA(0, "STATIC", "hung", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    SetEvent(windowExists);
    Sleep(60000);
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
    // The same run plus one timeout for each hung window, and slack: half a
    // second, and a quarter of the run itself, because on an emulated machine
    // one process start can differ from the next by more than half a second.
    // Without a bound it would wait out the minute's sleep.
    const double boundMs = baselineMs + hungWindows * BroadcastReplyTimeoutMs + 500 + baselineMs / 4;
    bool ended = WaitForExit(p, 30000, &exitCode);
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
    {"quellsnap_one_command_per_run", OneCommandPerRun},
    {"quellsnap_two_starts_two_commands", TwoStartsTwoCommands},
    {"quellsnap_hung_window_does_not_hold_it", HungWindowDoesNotHoldIt},
};
extern const int quellsnapCaseCount = sizeof quellsnapCases / sizeof quellsnapCases[0];
