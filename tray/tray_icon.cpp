// The notification icon and its hover feedback. The shell reports pointer
// moves over the icon but never that the pointer has left, so a short polling
// timer ends the hover state.
#include "program_state.h"

void AddTrayIcon()
{
    state.trayIcon.cbSize = TrayIconRecordSize;
    state.trayIcon.hWnd = state.mainWindow;
    state.trayIcon.uID = 0;
    // NIF_TIP with an all-zero szTip: the icon deliberately has no tooltip.
    state.trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    state.trayIcon.uCallbackMessage = TrayCallbackMessage;
    state.trayIcon.hIcon = state.normalTrayImage;
    Shell_NotifyIconA(NIM_ADD, &state.trayIcon);
}

void UpdateTrayIcon()
{
    Shell_NotifyIconA(NIM_MODIFY, &state.trayIcon);
}

void RemoveTrayIcon()
{
    Shell_NotifyIconA(NIM_DELETE, &state.trayIcon);
}

void OnTrayMouseMove()
{
    state.hoverDeadline = HoverDeadlineAfter(GetTickCount());
    // Where the pointer is now, not where the report says it was: the timer
    // compares against this same kind of reading.
    GetCursorPos(&state.lastCursorPoint);
    if (state.hoverTimerRunning)
        return; // already dark: only the deadline moves, the shell is not called

    state.trayIcon.hIcon = state.hoverTrayImage;
    UpdateTrayIcon();
    state.hoverTimerRunning = SetTimer(state.mainWindow, HoverTimerId, HoverIntervalMs, nullptr) != 0;
}

void OnHoverTimer()
{
    POINT pointer;
    GetCursorPos(&pointer);
    // A pointer resting exactly where the last report left it is still on the
    // icon: the shell sends no reports for a pointer that does not move.
    if (pointer.x == state.lastCursorPoint.x && pointer.y == state.lastCursorPoint.y)
        state.hoverDeadline = HoverDeadlineAfter(GetTickCount());

    if (state.hoverTimerRunning && HoverDeadlinePassed(GetTickCount(), state.hoverDeadline)) {
        // If the timer cannot be stopped, keep believing it runs so that the
        // next tick tries again.
        state.hoverTimerRunning = KillTimer(state.mainWindow, HoverTimerId) == 0;
        state.trayIcon.hIcon = state.normalTrayImage;
        UpdateTrayIcon();
    }
}
