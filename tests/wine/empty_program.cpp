// Starts and ends at once: the time Wine needs to create, load and end a
// process. It binds the same system libraries as Quellsnap, because loading
// them is part of every start and none of our own work.
//
// Built a second time with TOUCH_WINDOW_SYSTEM: then it also makes one call
// into the window system, whose first use in a process is where Wine loads
// its display driver. Quellsnap needs the window system too, so that build is
// the floor the one-shot program is measured against; that cost belongs to
// the platform.
#include <windows.h>

extern "C" void WinMainCRTStartup()
{
#ifdef TOUCH_WINDOW_SYSTEM
    GetDesktopWindow();
#else
    // Referenced, never called: keeps USER32 among the imports.
    static void *volatile keepUser32 = reinterpret_cast<void *>(&GetDesktopWindow);
    (void)keepUser32;
#endif
    ExitProcess(0);
}
