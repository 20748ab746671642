// Measurements for `make bench`; run only when named. Each prints
// "BENCH <name> <value>" lines that tools/bench.sh turns into a table.
#include "driver_support.h"
#include "quellbar_session.h"
#include "display_power/display_power.h"

#include <algorithm>
#include <cstdio>
#include <vector>

static const int Runs = 15;

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

static void BenchQuellsnap()
{
    std::vector<double> toCommand, emptyRun, windowCallRun;
    for (int i = 0; i < Runs; ++i) {
        ResetListener();
        Started p = StartProgram("Quellsnap.exe");
        DWORD code;
        WaitForExit(p, 10000, &code);
        PumpUntil(PowerCommandArrived, 1000);
        if (listener.count == 1)
            toCommand.push_back(double(listener.commands[0].at - p.createdAt) / 10000.0 - PowerOffDelayMs);
        StopProgram(p);
    }
    // The floor: an empty program built the same way, from creation to exit.
    std::string saved = distDir;
    distDir = DriverSidePath("");
    distDir.pop_back();
    for (int i = 0; i < Runs; ++i)
        for (int which = 0; which < 2; ++which) {
            Started p = StartProgram(which == 0 ? "empty_program.exe" : "window_call_program.exe");
            DWORD code;
            WaitForExit(p, 10000, &code);
            (which == 0 ? emptyRun : windowCallRun).push_back(double(ExitTime(p.process) - p.createdAt) / 10000.0);
            StopProgram(p);
        }
    distDir = saved;
    CHECK(int(toCommand.size()) == Runs, "only %zu of %d runs delivered the command", toCommand.size(), Runs);
    std::printf("BENCH quellsnap_start_to_command_minus_pause_ms %.1f\n", Median(toCommand));
    std::printf("BENCH empty_program_start_to_exit_ms %.1f\n", Median(emptyRun));
    std::printf("BENCH window_call_program_start_to_exit_ms %.1f\n", Median(windowCallRun));
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
