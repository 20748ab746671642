#include "icon_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

uint32_t U32(const std::vector<uint8_t> &b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// A 16x16 picture: transparent everywhere but the given rows at the top.
std::string Picture(int bits, const std::string &palette, const std::vector<std::string> &topRows)
{
    std::string s = "# test\nbits " + std::to_string(bits) + "\n" + palette + "pixels\n";
    for (int y = 0; y < IconSide; ++y)
        s += (y < int(topRows.size()) ? topRows[y] : std::string(16, '.')) + "\n";
    return s;
}

const std::string TwoColours = "color . transparent\ncolor r ff0000\ncolor b 0000ff\n";

} // namespace

TEST(IconFormat, TwentyFourBitImageIsBottomUpBgrWithItsMask)
{
    IconBuildResult icon = BuildIconFromPixelMap(Picture(24, TwoColours, {"rb" + std::string(14, '.')}));
    ASSERT_TRUE(icon.ok) << icon.error;
    const std::vector<uint8_t> &b = icon.bytes;
    ASSERT_EQ(b.size(), 6u + 16 + 40 + 16 * 48 + 16 * 4);
    EXPECT_EQ(b[6], 16);                   // width
    EXPECT_EQ(b[7], 16);                   // height
    EXPECT_EQ(b[12] | b[13] << 8, 24);     // bit count in the directory
    EXPECT_EQ(U32(b, 14), 40u + 768 + 64); // image bytes
    EXPECT_EQ(U32(b, 22 + 8), 32u);        // header height: colour and mask
    // The top source row is the last colour row; red then blue, stored BGR.
    size_t topRow = 22 + 40 + 15 * 48;
    EXPECT_EQ(b[topRow + 0], 0x00);
    EXPECT_EQ(b[topRow + 2], 0xFF);
    EXPECT_EQ(b[topRow + 3], 0xFF);
    EXPECT_EQ(b[topRow + 5], 0x00);
    // Mask: top row opaque at x=0,1 (bits clear), transparent elsewhere.
    size_t topMask = 22 + 40 + 768 + 15 * 4;
    EXPECT_EQ(b[topMask], 0x3F);
    EXPECT_EQ(b[topMask + 1], 0xFF);
    EXPECT_EQ(b[22 + 40 + 768], 0xFF); // bottom row wholly transparent
}

TEST(IconFormat, EightBitImageCarriesAFullPaletteAndIndices)
{
    IconBuildResult icon = BuildIconFromPixelMap(Picture(8, TwoColours, {"br" + std::string(14, '.')}));
    ASSERT_TRUE(icon.ok) << icon.error;
    const std::vector<uint8_t> &b = icon.bytes;
    ASSERT_EQ(b.size(), 6u + 16 + 40 + 1024 + 256 + 64);
    EXPECT_EQ(b[12] | b[13] << 8, 8);
    EXPECT_EQ(U32(b, 22 + 32), 0u); // colours used 0: all 256 entries present
    size_t palette = 22 + 40;
    EXPECT_EQ(U32(b, palette + 4), 0x00FF0000u); // 'r' is entry 1
    EXPECT_EQ(U32(b, palette + 8), 0x000000FFu); // 'b' is entry 2
    size_t topRow = palette + 1024 + 15 * 16;
    EXPECT_EQ(b[topRow], 2);
    EXPECT_EQ(b[topRow + 1], 1);
    EXPECT_EQ(b[topRow + 2], 0);
}

TEST(IconFormat, RefusesMalformedSources)
{
    const struct {
        const char *why;
        std::string source;
        const char *message;
    } cases[] = {
        {"short row", Picture(24, TwoColours, {"rb"}), "16 characters"},
        {"undefined colour", Picture(24, TwoColours, {"rx" + std::string(14, '.')}), "undefined colour 'x'"},
        {"bad depth", Picture(16, TwoColours, {}), "bits must be 24 or 8"},
        {"bad value", Picture(24, "color r red\n", {}), "rrggbb"},
        {"twice", Picture(24, "color r ff0000\ncolor r 00ff00\n", {}), "defined twice"},
        {"too few rows", "bits 24\ncolor . transparent\npixels\n................\n", "exactly 16 rows"},
        {"no depth", "color . transparent\npixels\n", "missing 'bits'"},
    };
    for (const auto &c : cases) {
        IconBuildResult icon = BuildIconFromPixelMap(c.source);
        EXPECT_FALSE(icon.ok) << c.why;
        EXPECT_NE(icon.error.find(c.message), std::string::npos) << c.why << ": " << icon.error;
    }
}
