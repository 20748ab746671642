#include "display_power.h"

#include <windows.h>

void RequestDisplayOff()
{
    Sleep(PowerOffDelayMs);

    // A plain SendMessageA to HWND_BROADCAST waits for ever on a window whose
    // thread has stopped pumping. The timeout variant still delivers the same
    // sent message to every window, in the same way, but gives up on one that
    // does not answer: the system already flags it as hung (SMTO_ABORTIFHUNG),
    // or it takes longer than BroadcastReplyTimeoutMs.
    DWORD_PTR ignored;
    SendMessageTimeoutA(HWND_BROADCAST, WM_SYSCOMMAND, SC_MONITORPOWER, 2,
                        SMTO_ABORTIFHUNG, BroadcastReplyTimeoutMs, &ignored);
}
