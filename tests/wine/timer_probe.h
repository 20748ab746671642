#pragma once
// What timer_probe.dll posts to the driver's listener window for each
// WM_TIMER that Quellbar's thread takes from its queue: wParam is the timer's
// identifier, lParam the GetTickCount value when it was taken.
#include <windows.h>

const UINT TimerSeenMessage = WM_APP + 50;
