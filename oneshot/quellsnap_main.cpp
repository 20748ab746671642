// Quellsnap: switch the displays off and end. No window, no message loop.
#include "display_power/display_power.h"

#include <windows.h>

// Our own entry point: there is no C runtime to start, and nothing of it is used.
extern "C" void WinMainCRTStartup()
{
    RequestDisplayOff();
    ExitProcess(0);
}
