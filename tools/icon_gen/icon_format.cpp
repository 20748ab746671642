#include "icon_format.h"

#include <sstream>

namespace {

struct PaletteEntry {
    char symbol;
    bool transparent;
    uint32_t rgb;
};

void PutU16(std::vector<uint8_t> &out, unsigned v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void PutU32(std::vector<uint8_t> &out, uint32_t v)
{
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

IconBuildResult Refuse(int line, const std::string &why)
{
    return {false, "line " + std::to_string(line) + ": " + why, {}};
}

} // namespace

IconBuildResult BuildIconFromPixelMap(const std::string &source)
{
    int bits = 0;
    std::vector<PaletteEntry> palette;
    std::vector<std::string> rows;
    bool inPixels = false;

    std::istringstream in(source);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (inPixels) {
            if (int(line.size()) != IconSide)
                return Refuse(lineNo, "a pixel row must be 16 characters wide");
            rows.push_back(line);
            continue;
        }
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword == "bits") {
            words >> bits;
            if (bits != 24 && bits != 8)
                return Refuse(lineNo, "bits must be 24 or 8");
        } else if (keyword == "color") {
            std::string symbol, value;
            words >> symbol >> value;
            if (symbol.size() != 1)
                return Refuse(lineNo, "a colour is named by one character");
            for (const PaletteEntry &e : palette)
                if (e.symbol == symbol[0])
                    return Refuse(lineNo, "colour '" + symbol + "' defined twice");
            PaletteEntry entry{symbol[0], value == "transparent", 0};
            if (!entry.transparent) {
                if (value.size() != 6 || value.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                    return Refuse(lineNo, "a colour value is rrggbb in hex, or 'transparent'");
                entry.rgb = uint32_t(std::stoul(value, nullptr, 16));
            }
            palette.push_back(entry);
        } else if (keyword == "pixels") {
            inPixels = true;
        } else {
            return Refuse(lineNo, "unknown keyword '" + keyword + "'");
        }
    }
    if (bits == 0)
        return Refuse(lineNo, "missing 'bits' line");
    if (int(rows.size()) != IconSide)
        return Refuse(lineNo, "the picture must have exactly 16 rows");
    if (bits == 8 && palette.size() > 256)
        return Refuse(lineNo, "more than 256 colours in an 8-bit picture");

    // Palette index of every pixel, top row first.
    std::vector<int> index(IconSide * IconSide);
    for (int y = 0; y < IconSide; ++y)
        for (int x = 0; x < IconSide; ++x) {
            char c = rows[y][x];
            int found = -1;
            for (size_t i = 0; i < palette.size(); ++i)
                if (palette[i].symbol == c)
                    found = int(i);
            if (found < 0)
                return Refuse(lineNo - IconSide + 1 + y, std::string("undefined colour '") + c + "'");
            index[y * IconSide + x] = found;
        }

    // Image data: BITMAPINFOHEADER (height doubled: colour bitmap, then mask),
    // palette for 8 bits, colour rows bottom-up, then mask rows bottom-up with
    // each row padded to 4 bytes. Transparent pixels are black with mask bit 1.
    const int paletteBytes = bits == 8 ? 256 * 4 : 0;
    const int colourRowBytes = IconSide * bits / 8;
    const int maskRowBytes = 4;
    const int imageBytes = 40 + paletteBytes + IconSide * (colourRowBytes + maskRowBytes);

    std::vector<uint8_t> out;
    // ICONDIR and its one ICONDIRENTRY.
    PutU16(out, 0);
    PutU16(out, 1);
    PutU16(out, 1);
    out.push_back(IconSide);
    out.push_back(IconSide);
    out.push_back(0); // colour count: 0 means 256 or more
    out.push_back(0);
    PutU16(out, 1);    // planes
    PutU16(out, bits); // bit count
    PutU32(out, imageBytes);
    PutU32(out, 6 + 16);

    PutU32(out, 40);
    PutU32(out, IconSide);
    PutU32(out, IconSide * 2);
    PutU16(out, 1);
    PutU16(out, bits);
    PutU32(out, 0); // BI_RGB
    PutU32(out, IconSide * (colourRowBytes + maskRowBytes));
    PutU32(out, 0);
    PutU32(out, 0);
    PutU32(out, 0); // colours used: 0 means all 256 for 8 bits
    PutU32(out, 0);

    if (bits == 8)
        for (int i = 0; i < 256; ++i) {
            uint32_t rgb = i < int(palette.size()) && !palette[i].transparent ? palette[i].rgb : 0;
            out.push_back(uint8_t(rgb));
            out.push_back(uint8_t(rgb >> 8));
            out.push_back(uint8_t(rgb >> 16));
            out.push_back(0);
        }

    for (int y = IconSide - 1; y >= 0; --y)
        for (int x = 0; x < IconSide; ++x) {
            const PaletteEntry &p = palette[index[y * IconSide + x]];
            if (bits == 8) {
                out.push_back(uint8_t(index[y * IconSide + x]));
            } else {
                uint32_t rgb = p.transparent ? 0 : p.rgb;
                out.push_back(uint8_t(rgb));
                out.push_back(uint8_t(rgb >> 8));
                out.push_back(uint8_t(rgb >> 16));
            }
        }

    for (int y = IconSide - 1; y >= 0; --y) {
        uint32_t bitsOfRow = 0;
        for (int x = 0; x < IconSide; ++x)
            if (palette[index[y * IconSide + x]].transparent)
                bitsOfRow |= 0x8000u >> x;
        out.push_back(uint8_t(bitsOfRow >> 8));
        out.push_back(uint8_t(bitsOfRow));
        out.push_back(0);
        out.push_back(0);
    }

    return {true, "", out};
}
