#pragma once
// Starting, finding and ending Quellbar, shared by its tests and benchmarks.

#include "driver_support.h"

const UINT TrayCallbackMessage = WM_APP + 1;
const WPARAM CmdExit = 1, CmdAbout = 2;

struct RunningBar {
    Started process;
    HWND window;    // null if it never appeared
    RECT icon;      // on screen, when iconFound
    bool iconFound;
};

// Starts it and waits until its start-up is over.
RunningBar StartQuellbar();
// The same with the pointer out of the way, then finds its notification icon.
RunningBar StartQuellbarInTray();
// Ends it through its own "Exit" and checks that it ends cleanly.
void ExitQuellbar(RunningBar &bar);

bool Answers(HWND window);
void MovePointerAway(); // far from the icon, the menu and the About window
void PointAtIcon(const RunningBar &bar);
void CaptureIcon(const RECT &icon, Capture &out);

// A stand-in notification area: Wine's shell library hands each notification
// icon call to the topmost window of class "Shell_TrayWnd" as WM_COPYDATA
// whose dwData is the call (NIM_ADD 0, NIM_MODIFY 1, NIM_DELETE 2), and what
// that window answers is what Shell_NotifyIconA returns. Created after the
// real taskbar, ours is found first; it counts the calls and answers as a
// shell does: an add fails for an icon it already has, a modify or a delete
// for one it lacks. One Quellbar runs at a time, so one flag is its icon.
extern int shellCalls[3]; // refused calls included
struct FakeShell {
    bool hasIcon;
    double refusalMs;    // not ready yet: every call fails for this long from the first one
    double refusesUntil; // NowMs(), set by the first call
    bool failsFirstAdd;  // takes the first add but answers failure, as a timed-out shell may
    double addTimes[MaxRecorded]; // NowMs() of the first adds
    double iconInAt;
};
extern FakeShell shell;
// Clears the counts and the state, creates it and checks it is found first.
HWND CreateFakeTray();
