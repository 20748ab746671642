// icon_gen SOURCE.txt OUTPUT.ico        writes the icon
// icon_gen --check SOURCE.txt ICON.ico  exits 1 unless ICON.ico is what SOURCE.txt gives
#include "icon_format.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

static bool ReadFile(const char *path, std::string &out)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

int main(int argc, char **argv)
{
    bool check = argc == 4 && std::strcmp(argv[1], "--check") == 0;
    if (argc != 3 && !check) {
        std::fprintf(stderr, "usage: icon_gen [--check] SOURCE.txt ICON.ico\n");
        return 2;
    }
    const char *sourcePath = argv[argc - 2];
    const char *iconPath = argv[argc - 1];

    std::string source;
    if (!ReadFile(sourcePath, source)) {
        std::fprintf(stderr, "%s: cannot read\n", sourcePath);
        return 2;
    }
    IconBuildResult icon = BuildIconFromPixelMap(source);
    if (!icon.ok) {
        std::fprintf(stderr, "%s: %s\n", sourcePath, icon.error.c_str());
        return 1;
    }
    if (check) {
        std::string existing;
        if (!ReadFile(iconPath, existing) || existing != std::string(icon.bytes.begin(), icon.bytes.end())) {
            std::fprintf(stderr, "%s is not what %s produces; run 'make icons'\n", iconPath, sourcePath);
            return 1;
        }
        return 0;
    }
    std::ofstream out(iconPath, std::ios::binary);
    out.write(reinterpret_cast<const char *>(icon.bytes.data()), std::streamsize(icon.bytes.size()));
    return out ? 0 : 1;
}
