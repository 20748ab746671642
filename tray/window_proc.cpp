// The routing table of the main window: every message goes to its handler
// here, and everything not marked otherwise also goes to DefWindowProcA.
#include "program_state.h"
#include "display_power/display_power.h"

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        break;

    case WM_SETCURSOR:
        SetPointerShape(reinterpret_cast<HWND>(wParam));
        return TRUE;

    case WM_COMMAND:
        if (lParam == 0)
            OnMenuCommand(LOWORD(wParam));
        else
            OnControlCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        break;

    case WM_TIMER:
        if (wParam == HoverTimerId)
            OnHoverTimer();
        else if (wParam == IconRetryTimerId)
            TryAddingTrayIcon();
        break;

    case WM_SYSCOMMAND:
        // Alt+F4 on the About window asks to close that window, not to end the
        // program; DefWindowProcA would destroy the main window. Every other
        // system command, the monitor-power broadcast above all, goes on.
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            HideAboutWindow();
            return 0;
        }
        break;

    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == state.linkLabel)
            return ColourLink(reinterpret_cast<HDC>(wParam));
        break;

    case TrayCallbackMessage:
        switch (lParam) {
        case WM_MOUSEMOVE:
            OnTrayMouseMove();
            break;
        case WM_LBUTTONUP:
            // The loop stalls for the pause, and longer while a key is still
            // held (Shift+click): nobody is using the program meanwhile, as the
            // person's hands are on the input that asked for this, and the
            // wait is bounded.
            RequestDisplayOff();
            break;
        case WM_RBUTTONUP:
            ShowTrayMenu();
            break;
        }
        break;

    default:
        // Registered at run time, so it cannot be a case label.
        if (message == state.taskbarCreatedMessage && message != 0)
            AddTrayIcon();
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
