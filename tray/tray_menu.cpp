// The tray menu: built once, shown on a right-button release over the icon.
#include "program_state.h"

void CreateTrayMenu()
{
    state.trayMenu = CreatePopupMenu();
    AppendMenuA(state.trayMenu, MF_STRING, CmdAbout, "About...");
    AppendMenuA(state.trayMenu, MF_STRING, CmdExit, "Exit");
}

void ShowTrayMenu()
{
    // A popup menu only closes on a click elsewhere when its owner is the
    // foreground window, and the WM_NULL afterwards makes the shell notice
    // the menu is gone; without both, a menu opened from a notification icon
    // can stay stuck on screen.
    SetForegroundWindow(state.mainWindow);
    // Placed at the last reported pointer position, opening to its left.
    TrackPopupMenu(state.trayMenu, TPM_RIGHTALIGN, state.lastCursorPoint.x, state.lastCursorPoint.y, 0,
                   state.mainWindow, nullptr);
    PostMessageA(state.mainWindow, WM_NULL, 0, 0);
}

void OnMenuCommand(UINT commandId)
{
    if (commandId == CmdExit)
        PostQuitMessage(0);
    else if (commandId == CmdAbout)
        ShowAboutWindow();
}
