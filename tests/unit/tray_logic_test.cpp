#include "tray/tray_logic.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ChooseTrayImages, PicksTheColourDepthTheNotificationAreaCanShow)
{
    const struct {
        uint32_t major, minor;
        const char *normal, *hover;
    } cases[] = {
        {4, 0, "ONICON8", "OFFICON8"},   {4, 90, "ONICON8", "OFFICON8"},  {5, 0, "ONICON8", "OFFICON8"},
        {5, 1, "ONICON24", "MAINICON"},  {5, 2, "ONICON24", "MAINICON"},  {6, 0, "ONICON24", "MAINICON"},
        {6, 1, "ONICON24", "MAINICON"},  {10, 0, "ONICON24", "MAINICON"}, {3, 99, "ONICON8", "OFFICON8"},
    };
    for (const auto &c : cases) {
        TrayImageNames names = ChooseTrayImages(c.major, c.minor);
        EXPECT_STREQ(names.normal, c.normal) << c.major << "." << c.minor;
        EXPECT_STREQ(names.hover, c.hover) << c.major << "." << c.minor;
    }
}

TEST(AboutWindowOrigin, UsesOnlyTheRightAndBottomEdgesAndTruncatesTowardZero)
{
    const struct {
        int32_t right, bottom;
        int32_t x, y;
    } cases[] = {
        {1024, 768, 359, 261},  // even work area, taskbar at the bottom
        {1024, 738, 359, 246},
        {1025, 769, 360, 261},  // odd: halves round down
        {1920, 1040, 807, 397},
        {305, 246, 0, 0},       // exactly the window's size
        {304, 245, 0, 0},       // -1 / 2 truncates to 0, not -1
        {302, 243, -1, -1},     // -3 / 2 is -1
        {0, 0, -152, -123},     // empty work area: -305/2, -246/2 toward zero
        {-100, -50, -202, -148}, // a work area left of and above the origin
    };
    for (const auto &c : cases) {
        ScreenPoint p = AboutWindowOrigin(c.right, c.bottom);
        EXPECT_EQ(p.x, c.x) << "right " << c.right;
        EXPECT_EQ(p.y, c.y) << "bottom " << c.bottom;
    }
}

TEST(HoverDeadline, IsPassedOnlyStrictlyAfterItAcrossTheCounterWrap)
{
    const struct {
        uint32_t now, deadline;
        bool passed;
    } cases[] = {
        {1000, 1000, false},             // equal is not enough
        {1001, 1000, true},
        {999, 1000, false},
        {0xFFFFFFF0u, 0x0000003Du, false}, // deadline wrapped, counter not yet: still ahead
        {0x00000040u, 0x0000003Du, true},  // both wrapped, counter past it
        {0x00000010u, 0xFFFFFFF0u, true},  // counter wrapped past a deadline just before the wrap
        {0xFFFFFFFFu, 0xFFFFFFFEu, true},
        {0xFFFFFFFEu, 0xFFFFFFFFu, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HoverDeadlinePassed(c.now, c.deadline), c.passed) << std::hex << c.now << " vs " << c.deadline;
}

TEST(HoverDeadline, LiesOneIntervalAheadAndWrapsWithTheCounter)
{
    EXPECT_EQ(HoverDeadlineAfter(1000), 1077u);
    EXPECT_EQ(HoverDeadlineAfter(0xFFFFFFF0u), 0x3Du);
    // A deadline set just before the wrap stays ahead until the interval is over.
    for (uint32_t start : {0u, 0xFFFFFFB3u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
        uint32_t deadline = HoverDeadlineAfter(start);
        EXPECT_FALSE(HoverDeadlinePassed(start, deadline)) << std::hex << start;
        EXPECT_FALSE(HoverDeadlinePassed(start + HoverIntervalMs, deadline)) << std::hex << start;
        EXPECT_TRUE(HoverDeadlinePassed(start + HoverIntervalMs + 1, deadline)) << std::hex << start;
    }
}
