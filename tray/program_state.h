#pragma once
// Quellbar's one process-wide record and the procedures that work on it.

#include "tray_logic.h"

#include <windows.h>
#include <shellapi.h>

// The private message by which the shell reports mouse events on our icon.
const UINT TrayCallbackMessage = WM_APP + 1;

// Tray menu command identifiers.
const UINT CmdExit = 1;
const UINT CmdAbout = 2;

// The first NOTIFYICONDATAA layout: the only one every shell version accepts.
// It is 88 bytes in the 32-bit program; pointer-sized handles make it larger in
// the 64-bit build, so it is computed, not written down.
const DWORD TrayIconRecordSize = NOTIFYICONDATAA_V1_SIZE;
#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "first NOTIFYICONDATAA layout is 88 bytes");
#endif

struct ProgramState {
    HINSTANCE instance;
    HWND mainWindow;
    HICON normalTrayImage;
    HICON hoverTrayImage;
    HICON classIcon;
    HCURSOR handCursor;
    HCURSOR arrowCursor;
    NOTIFYICONDATAA trayIcon;
    DWORD hoverDeadline;
    POINT lastCursorPoint;
    BOOL hoverTimerRunning;
    HMENU trayMenu;
    HWND okButton;
    HWND linkLabel;
    MSG message;
    UINT taskbarCreatedMessage; // sent by a newly started shell
};

extern ProgramState state;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Notification icon and hover feedback.
void AddTrayIcon();
void TryAddingTrayIcon();
void UpdateTrayIcon();
void RemoveTrayIcon();
void OnTrayMouseMove();
void OnHoverTimer();

// Tray menu.
void CreateTrayMenu();
void ShowTrayMenu();
void OnMenuCommand(UINT commandId);

// About window.
void ShowAboutWindow();
void HideAboutWindow();
void OnControlCommand(HWND control, UINT notification);
LRESULT ColourLink(HDC deviceContext);
void SetPointerShape(HWND windowUnderPointer);
