#include "tray_logic.h"

TrayImageNames ChooseTrayImages(uint32_t majorVersion, uint32_t minorVersion)
{
    if (majorVersion < 5 || (majorVersion == 5 && minorVersion < 1))
        return {"ONICON8", "OFFICON8"};
    return {"ONICON24", "MAINICON"};
}

ScreenPoint AboutWindowOrigin(int32_t workAreaRight, int32_t workAreaBottom)
{
    // C++ integer division truncates toward zero, as the placement requires.
    return {(workAreaRight - AboutWidth) / 2, (workAreaBottom - AboutHeight) / 2};
}

uint32_t HoverDeadlineAfter(uint32_t now)
{
    return now + HoverIntervalMs;
}

bool HoverDeadlinePassed(uint32_t now, uint32_t deadline)
{
    return int32_t(now - deadline) > 0;
}
