#pragma once
// The tray program's decisions that depend on nothing but numbers. Kept free
// of the platform headers so the unit tests can check them natively.

#include <stdint.h>

// Hover polling: timer identifier, its period, and how far each sign of the
// pointer on the icon pushes the end of the hover state.
const unsigned HoverTimerId = 777;
const unsigned HoverIntervalMs = 77;

// Adding the notification icon again while the shell refuses it: a timer of
// its own, never faster than once a second, so that a shell that is still
// starting or too busy to answer is not pressed harder.
const unsigned IconRetryTimerId = 778;
const unsigned IconRetryIntervalMs = 1500;
static_assert(IconRetryTimerId != HoverTimerId, "the two timers are told apart by identifier");
static_assert(IconRetryIntervalMs >= 1000 && IconRetryIntervalMs <= 2000, "about one attempt a second or two");

// Outer size of the About window.
const int AboutWidth = 305;
const int AboutHeight = 246;

struct TrayImageNames {
    const char *normal; // while the pointer is away from the icon
    const char *hover;  // while it is on the icon
};

// 24-bit pictures look right only from version 5.1 on; earlier notification
// areas get the 256-colour pair.
TrayImageNames ChooseTrayImages(uint32_t majorVersion, uint32_t minorVersion);

struct ScreenPoint {
    int32_t x, y;
};

// Top-left corner of the About window for a work area with the given right
// and bottom edges (the left and top edges deliberately play no part).
ScreenPoint AboutWindowOrigin(int32_t workAreaRight, int32_t workAreaBottom);

// The tick count at which the hover state may end if nothing renews it.
uint32_t HoverDeadlineAfter(uint32_t now);

// Whether the tick count `now` lies after `deadline`. Compared as a signed
// difference so that the answer stays right across the wrap of the 32-bit
// millisecond counter every 49.7 days.
bool HoverDeadlinePassed(uint32_t now, uint32_t deadline);
