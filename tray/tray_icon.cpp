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
    TryAddingTrayIcon();
}

// A program started at sign-in can be earlier than the shell's notification
// area, and a busy shell can time out on the add yet take the icon all the
// same. A modify succeeds only for an icon the shell has, so it tells those
// apart; while neither succeeds, the retry timer tries again, and it stops as
// soon as the icon is in.
void TryAddingTrayIcon()
{
    if (Shell_NotifyIconA(NIM_ADD, &state.trayIcon) || Shell_NotifyIconA(NIM_MODIFY, &state.trayIcon))
        KillTimer(state.mainWindow, IconRetryTimerId);
    else
        SetTimer(state.mainWindow, IconRetryTimerId, IconRetryIntervalMs, nullptr);
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
