// timer_probe.dll: the driver hooks it into Quellbar's thread, where it tells
// the driver's listener window about every WM_TIMER that thread takes from
// its queue, with the moment it was taken (the machine-wide tick count, so the
// driver can order it against its own events whatever the posting delay);
// a timer of another process cannot be seen from outside.
#include "timer_probe.h"

extern "C" __declspec(dllexport) LRESULT CALLBACK TimerProbeHook(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG *message = reinterpret_cast<const MSG *>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == WM_TIMER) {
        HWND listener = FindWindowA("QuellinTestListener", nullptr);
        if (listener)
            PostMessageA(listener, TimerSeenMessage, message->wParam, GetTickCount());
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
