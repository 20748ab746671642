#pragma once
// Turns a readable pixel map into the bytes of a Windows .ico file holding one
// 16x16 image (24 bits per pixel, or 8 bits with a full 256-entry palette) and
// its 1-bit transparency mask.
//
// Source format, line by line ('#' starts a comment line):
//   bits 24|8
//   color <char> <rrggbb>|transparent     (one per palette character)
//   pixels
//   16 rows of 16 palette characters, top row first

#include <cstdint>
#include <string>
#include <vector>

const int IconSide = 16;

struct IconBuildResult {
    bool ok;
    std::string error;          // why the source was refused, when !ok
    std::vector<uint8_t> bytes; // the whole .ico file, when ok
};

IconBuildResult BuildIconFromPixelMap(const std::string &source);
