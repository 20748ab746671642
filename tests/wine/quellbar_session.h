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
