// Measurements for `make bench`; run only when named. Each prints
// "BENCH <name> <value>" lines that tools/bench.sh turns into a table.
#include "driver_support.h"
#include "quellbar_session.h"
#include "display_power/display_power.h"

#include <algorithm>
#include <cstdio>
#include <vector>

static const int Runs = 21;

static double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

static ULONGLONG ExitTime(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    return (ULONGLONG(exited.dwHighDateTime) << 32) | exited.dwLowDateTime;
}

// Creation to exit of a helper program next to the driver.
static double FloorRun(const char *program)
{
    Started p = StartProgramAt(DriverSidePath(program));
    DWORD code;
    WaitForExit(p, 10000, &code);
    double ms = double(ExitTime(p.process) - p.createdAt) / 10000.0;
    StopProgram(p);
    return ms;
}

// Quellsnap as its shortcut starts it: the keys go down first and stay down
// for a while after the start. The time from letting go of them to the command.
static double ShortcutHeldRun()
{
    static const WORD Shortcut[] = {VK_CONTROL, VK_MENU, VK_SHIFT, 'O'};
    ResetListener();
    for (WORD key : Shortcut)
        SendKeyOrButton(key, true);
    Started p = StartProgram("Quellsnap.exe");
    PumpFor(1500);
    ULONGLONG releasedAt = 0;
    for (WORD key : Shortcut) {
        releasedAt = NowFileTime();
        SendKeyOrButton(key, false);
    }
    DWORD code;
    WaitForExit(p, 30000, &code);
    PumpUntil(PowerCommandArrived, 1000);
    double ms = listener.count == 1 ? (double(listener.commands[0].at) - double(releasedAt)) / 10000.0 : -1;
    StopProgram(p);
    return ms;
}

static void BenchQuellsnap()
{
    // Interleaved, so that all of them see the machine in the same state.
    std::vector<double> toCommand, emptyRun, windowCallRun, releaseToCommand;
    for (int i = 0; i < Runs; ++i) {
        ResetListener();
        Started p = StartProgram("Quellsnap.exe");
        DWORD code;
        WaitForExit(p, 10000, &code);
        PumpUntil(PowerCommandArrived, 1000);
        if (listener.count == 1)
            toCommand.push_back(double(listener.commands[0].at - p.createdAt) / 10000.0 - PowerOffDelayMs);
        StopProgram(p);
        emptyRun.push_back(FloorRun("empty_program.exe"));
        windowCallRun.push_back(FloorRun("window_call_program.exe"));
        double held = ShortcutHeldRun();
        CHECK(held > 0, "run %d with the shortcut held: no command after the keys came up", i + 1);
        releaseToCommand.push_back(held);
    }
    CHECK(int(toCommand.size()) == Runs, "only %zu of %d runs delivered the command", toCommand.size(), Runs);
    std::printf("BENCH quellsnap_start_to_command_minus_pause_ms %.1f\n", Median(toCommand));
    std::printf("BENCH empty_program_start_to_exit_ms %.1f\n", Median(emptyRun));
    std::printf("BENCH window_call_program_start_to_exit_ms %.1f\n", Median(windowCallRun));
    std::printf("BENCH quellsnap_last_release_to_command_ms %.1f\n", Median(releaseToCommand));
    std::printf("BENCH quellsnap_last_release_to_command_max_ms %.1f\n",
                *std::max_element(releaseToCommand.begin(), releaseToCommand.end()));
    std::printf("BENCH runs %d\n", Runs);
}

// Click-to-command latency of Quellbar through the real notification icon.
static void BenchQuellbarClick()
{
    RunningBar bar = StartQuellbarInTray();
    std::vector<double> latency;
    if (bar.iconFound) {
        PointAtIcon(bar);
        PumpFor(300);
        for (int i = 0; i < Runs; ++i) {
            ResetListener();
            ULONGLONG clickedAt = NowFileTime();
            ClickButton(false);
            PumpUntil(PowerCommandArrived, 5000);
            if (listener.count >= 1)
                latency.push_back(double(listener.commands[0].at - clickedAt) / 10000.0);
            PumpFor(100);
        }
    }
    CHECK(int(latency.size()) == Runs, "only %zu of %d clicks delivered the command", latency.size(), Runs);
    std::printf("BENCH quellbar_click_to_command_ms %.1f\n", Median(latency));
    ExitQuellbar(bar);
}

extern const DriverCase benchCases[] = {
    {"bench_quellsnap", BenchQuellsnap},
    {"bench_quellbar_click", BenchQuellbarClick},
};
extern const int benchCaseCount = sizeof benchCases / sizeof benchCases[0];
