#include "display_power.h"

#include <windows.h>

// The system's own record of the physical state of every key, the mouse
// buttons among them, whichever program has the focus.
static bool AnyKeyOrButtonDown()
{
    for (int key = 1; key < 256; ++key)
        if (GetAsyncKeyState(key) < 0)
            return true;
    return false;
}

void RequestDisplayOff()
{
    Sleep(PowerOffDelayMs);

    // Measured on the tick clock rather than by counting polls: a sleep may
    // last a good deal longer than asked, and the limit is a promise.
    DWORD waitStart = GetTickCount();
    while (AnyKeyOrButtonDown() && GetTickCount() - waitStart < ReleaseWaitLimitMs)
        Sleep(ReleasePollIntervalMs);

    // A plain SendMessageA to HWND_BROADCAST waits for ever on a window whose
    // thread has stopped pumping. The timeout variant still delivers the same
    // sent message to every window, in the same way, but gives up on one that
    // does not answer: the system already flags it as hung (SMTO_ABORTIFHUNG),
    // or it takes longer than BroadcastReplyTimeoutMs.
    DWORD_PTR ignored;
    SendMessageTimeoutA(HWND_BROADCAST, WM_SYSCOMMAND, SC_MONITORPOWER, 2,
                        SMTO_ABORTIFHUNG, BroadcastReplyTimeoutMs, &ignored);
}
