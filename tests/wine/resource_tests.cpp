// Both builds of both programs, read as data: version block, icons and the
// PE facts of the files we ship.
#include "driver_support.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct IconExpectation {
    const char *name;
    int bitsPerPixel;
};

struct ProgramExpectation {
    const char *file;
    WORD language;
    const char *internalName;
    const char *trademarks;
    IconExpectation icons[4];
    int iconCount;
    const char *imports[4];
    int importCount;
    DWORD maxShippedBytes;
};

static const ProgramExpectation Programs[] = {
    {"Quellsnap.exe", 0, "Quellsnap", "Quellin, Quellsnap, Brindlecote", {{"MAINICON", 24}}, 1,
     {"KERNEL32.dll", "USER32.dll"}, 2, 5120},
    {"Quellbar.exe", 1033, "Quellbar", "Quellin, Quellbar, Brindlecote",
     {{"MAINICON", 24}, {"OFFICON8", 8}, {"ONICON24", 24}, {"ONICON8", 8}}, 4,
     {"KERNEL32.dll", "USER32.dll", "SHELL32.dll", "GDI32.dll"}, 4, 12288},
    {"RemovePersonalCopy.exe", 0, "RemovePersonalCopy", "Quellin, Brindlecote", {{"MAINICON", 24}}, 1,
     {"KERNEL32.dll", "USER32.dll", "ADVAPI32.dll", "SHELL32.dll"}, 4, 8192},
};

// The string keys in the order the block must store them.
static const char *const VersionKeys[] = {"CompanyName",    "FileDescription", "FileVersion",      "InternalName",
                                          "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName",
                                          "ProductVersion", "Comments",        "Website"};

static std::string Narrow(const WCHAR *text)
{
    std::string out;
    for (; *text; ++text)
        out += char(*text);
    return out;
}

// Walks one node of a version block, collecting the string keys of
// StringTable children in the order they are stored.
static void CollectVersionKeys(const BYTE *node, int depth, std::vector<std::string> &keys, std::string &table)
{
    WORD length = *reinterpret_cast<const WORD *>(node);
    WORD valueLength = *reinterpret_cast<const WORD *>(node + 2);
    WORD type = *reinterpret_cast<const WORD *>(node + 4);
    const WCHAR *key = reinterpret_cast<const WCHAR *>(node + 6);
    size_t offset = 6 + (wcslen(key) + 1) * 2;
    offset = (offset + 3) & ~size_t(3);
    offset += type == 1 ? valueLength * 2 : valueLength;
    offset = (offset + 3) & ~size_t(3);
    if (depth == 1 && Narrow(key) != "StringFileInfo")
        return;
    if (depth == 2)
        table = Narrow(key);
    if (depth == 3) {
        keys.push_back(Narrow(key));
        return;
    }
    while (offset < length) {
        const BYTE *child = node + offset;
        WORD childLength = *reinterpret_cast<const WORD *>(child);
        if (childLength == 0)
            break;
        CollectVersionKeys(child, depth + 1, keys, table);
        offset += (childLength + 3) & ~size_t(3);
    }
}

static std::string QueryString(void *block, const char *key)
{
    char path[128];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\040904E4\\%s", key);
    char *value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block, path, reinterpret_cast<void **>(&value), &length) || !value)
        return "<missing>";
    return value;
}

static void CheckVersionBlock(const ProgramExpectation &e, const std::string &path, HMODULE module)
{
    const char *file = path.c_str();
    CHECK(FindResourceExA(module, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), e.language) != nullptr,
          "%s: no version block under language %u", file, e.language);

    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(file, &handle);
    std::vector<BYTE> block(size ? size : 1);
    if (!size || !GetFileVersionInfoA(file, 0, size, block.data())) {
        CHECK(false, "%s: no version information", file);
        return;
    }

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT fixedLength = 0;
    VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &fixedLength);
    CHECK(fixed && fixedLength == sizeof *fixed, "%s: no fixed part", file);
    if (fixed) {
        const DWORD expected[] = {0x00010000, 0x00010000, 0x0003000B, 0x00010000, 0, 0, 0, 4, 1, 0, 0, 0};
        const DWORD actual[] = {fixed->dwStrucVersion,     fixed->dwFileVersionMS,    fixed->dwFileVersionLS,
                                fixed->dwProductVersionMS, fixed->dwProductVersionLS, fixed->dwFileFlagsMask,
                                fixed->dwFileFlags,        fixed->dwFileOS,           fixed->dwFileType,
                                fixed->dwFileSubtype,      fixed->dwFileDateMS,       fixed->dwFileDateLS};
        for (int i = 0; i < 12; ++i)
            CHECK(actual[i] == expected[i], "%s: fixed part field %d is 0x%lx, expected 0x%lx", file, i, actual[i],
                  expected[i]);
    }

    WORD *translation = nullptr;
    UINT translationLength = 0;
    VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation),
                   &translationLength);
    CHECK(translation && translationLength == 4 && translation[0] == 0x0409 && translation[1] == 0x04E4,
          "%s: translation entry is not 0x0409/0x04E4", file);

    std::vector<std::string> keys;
    std::string table;
    CollectVersionKeys(block.data(), 0, keys, table);
    CHECK(table == "040904E4", "%s: string table named '%s'", file, table.c_str());
    bool sameOrder = keys.size() == sizeof VersionKeys / sizeof VersionKeys[0];
    for (size_t i = 0; sameOrder && i < keys.size(); ++i)
        sameOrder = keys[i] == VersionKeys[i];
    CHECK(sameOrder, "%s: string keys missing or out of order (%zu keys)", file, keys.size());

    std::string original = std::string(e.internalName) + ".exe";
    const struct {
        const char *key;
        std::string value;
    } strings[] = {{"CompanyName", "Brindlecote"},         {"FileVersion", "1.0.3.11"},
                   {"InternalName", e.internalName},       {"LegalTrademarks", e.trademarks},
                   {"OriginalFilename", original},         {"ProductName", "Quellin"},
                   {"ProductVersion", "1.0"},              {"Comments", QueryString(block.data(), "FileDescription")}};
    for (const auto &s : strings) {
        std::string actual = QueryString(block.data(), s.key);
        CHECK(actual == s.value, "%s: %s is '%s', expected '%s'", file, s.key, actual.c_str(), s.value.c_str());
    }
    for (const char *key : {"FileDescription", "LegalCopyright", "Website"}) {
        std::string actual = QueryString(block.data(), key);
        CHECK(actual != "<missing>" && !actual.empty(), "%s: %s is empty", file, key);
    }
}

static BOOL CALLBACK FirstIconGroup(HMODULE, LPCSTR, LPSTR name, LONG_PTR found)
{
    std::string *first = reinterpret_cast<std::string *>(found);
    *first = IS_INTRESOURCE(name) ? "#" : name;
    return FALSE;
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInResource;
    WORD id;
};
#pragma pack(pop)

// The icon image of a group that holds exactly one; null otherwise.
static const BITMAPINFOHEADER *SoleIconImage(HMODULE module, const char *group, const char *file, DWORD *bytes)
{
    HRSRC groupResource = FindResourceA(module, group, MAKEINTRESOURCEA(14));
    CHECK(groupResource != nullptr, "%s: icon group %s missing", file, group);
    if (!groupResource)
        return nullptr;
    const WORD *directory = static_cast<const WORD *>(LockResource(LoadResource(module, groupResource)));
    CHECK(directory[2] == 1, "%s: icon group %s holds %u images, expected 1", file, group, directory[2]);
    const GroupIconEntry *entry = reinterpret_cast<const GroupIconEntry *>(directory + 3);
    CHECK(entry->width == 16 && entry->height == 16, "%s: %s is %ux%u", file, group, entry->width, entry->height);
    HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(entry->id), MAKEINTRESOURCEA(3));
    CHECK(image != nullptr, "%s: %s image missing", file, group);
    if (!image)
        return nullptr;
    *bytes = SizeofResource(module, image);
    return static_cast<const BITMAPINFOHEADER *>(LockResource(LoadResource(module, image)));
}

static void CheckIcons(const ProgramExpectation &e, const char *file, HMODULE module)
{
    std::string first;
    EnumResourceNamesA(module, MAKEINTRESOURCEA(14), FirstIconGroup, reinterpret_cast<LONG_PTR>(&first));
    CHECK(first == "MAINICON", "%s: first icon group is '%s', so it is not the file icon", file, first.c_str());
    for (int i = 0; i < e.iconCount; ++i) {
        const IconExpectation &icon = e.icons[i];
        DWORD bytes = 0;
        const BITMAPINFOHEADER *header = SoleIconImage(module, icon.name, file, &bytes);
        if (!header)
            continue;
        // 16x16 colour bitmap and its 1-bit mask, the palette full for 8 bits.
        DWORD paletteBytes = icon.bitsPerPixel == 8 ? 256 * 4 : 0;
        DWORD expectedBytes = 40 + paletteBytes + 16 * 16 * icon.bitsPerPixel / 8 + 16 * 4;
        CHECK(header->biWidth == 16 && header->biHeight == 32 && header->biBitCount == icon.bitsPerPixel &&
                  header->biClrUsed == 0 && bytes == expectedBytes,
              "%s: %s is %ldx%ld at %u bits, %lu bytes; expected 16x16 at %d bits, %lu bytes", file, icon.name,
              header->biWidth, header->biHeight / 2, header->biBitCount, bytes, icon.bitsPerPixel, expectedBytes);
    }
    CHECK(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) == nullptr,
          "%s: carries an application manifest", file);
}

static void VersionAndIcons()
{
    CHECK(!distDirX86.empty(), "pass --x86 (and --x64 where it exists) to read the builds");
    for (const std::string &dir : {distDirX86, distDirX64}) {
        if (dir.empty())
            continue;
        for (const ProgramExpectation &e : Programs) {
            std::string path = dir + "\\" + e.file;
            HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
            CHECK(module != nullptr, "%s cannot be read", path.c_str());
            if (!module)
                continue;
            CheckVersionBlock(e, path, module);
            CheckIcons(e, path.c_str(), module);
            FreeLibrary(module);
        }
    }
}

// Both programs show the same program picture: one source, one image.
static void SameProgramPicture()
{
    std::string snapPath = distDirX86 + "\\Quellsnap.exe", barPath = distDirX86 + "\\Quellbar.exe";
    HMODULE snap = LoadLibraryExA(snapPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HMODULE bar = LoadLibraryExA(barPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    DWORD snapBytes = 0, barBytes = 0;
    const BITMAPINFOHEADER *a = snap ? SoleIconImage(snap, "MAINICON", snapPath.c_str(), &snapBytes) : nullptr;
    const BITMAPINFOHEADER *b = bar ? SoleIconImage(bar, "MAINICON", barPath.c_str(), &barBytes) : nullptr;
    CHECK(a && b && snapBytes == barBytes && std::memcmp(a, b, snapBytes) == 0,
          "the two programs' MAINICON pictures differ");
    if (snap)
        FreeLibrary(snap);
    if (bar)
        FreeLibrary(bar);
}

// The 32-bit files' headers and import list, read straight from the bytes.
static void ShippedFileFacts()
{
    for (const ProgramExpectation &e : Programs) {
        std::string path = distDirX86 + "\\" + e.file;
        const char *file = path.c_str();
        std::vector<BYTE> data = ReadWholeFile(path);
        Note("%s: %zu bytes (at most %lu)", e.file, data.size(), e.maxShippedBytes);
        CHECK(!data.empty() && data.size() <= e.maxShippedBytes, "%s is %zu bytes, over %lu", file, data.size(),
              e.maxShippedBytes);
        if (data.size() < 512)
            continue;
        const IMAGE_NT_HEADERS32 *nt =
            reinterpret_cast<const IMAGE_NT_HEADERS32 *>(data.data() + reinterpret_cast<IMAGE_DOS_HEADER *>(
                                                                           data.data())->e_lfanew);
        const IMAGE_OPTIONAL_HEADER32 &opt = nt->OptionalHeader;
        CHECK(nt->FileHeader.Machine == IMAGE_FILE_MACHINE_I386, "%s: machine 0x%x", file, nt->FileHeader.Machine);
        CHECK(opt.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC, "%s: not a 32-bit image", file);
        CHECK(opt.AddressOfEntryPoint != 0, "%s: no entry point", file);
        CHECK(opt.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "%s: subsystem %u", file, opt.Subsystem);
        CHECK(opt.MajorSubsystemVersion < 5 || (opt.MajorSubsystemVersion == 5 && opt.MinorSubsystemVersion == 0),
              "%s: subsystem version %u.%u is too new for Windows 2000", file, opt.MajorSubsystemVersion,
              opt.MinorSubsystemVersion);
        WORD wanted = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_NX_COMPAT;
        CHECK((opt.DllCharacteristics & wanted) == wanted, "%s: ASLR or DEP flag missing", file);
        CHECK(opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size != 0, "%s: no relocations for ASLR", file);
        CHECK(nt->FileHeader.TimeDateStamp == 0, "%s: carries a time stamp", file);
        CHECK(nt->FileHeader.PointerToSymbolTable == 0, "%s: not stripped", file);

        // Map an RVA to a file offset through the section table.
        const IMAGE_SECTION_HEADER *sections = IMAGE_FIRST_SECTION(nt);
        auto at = [&](DWORD rva) -> const BYTE * {
            for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i)
                if (rva >= sections[i].VirtualAddress && rva < sections[i].VirtualAddress + sections[i].SizeOfRawData)
                    return data.data() + sections[i].PointerToRawData + (rva - sections[i].VirtualAddress);
            return nullptr;
        };
        std::vector<std::string> imports;
        const IMAGE_IMPORT_DESCRIPTOR *d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(
            at(opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress));
        for (; d && d->Name; ++d)
            imports.push_back(reinterpret_cast<const char *>(at(d->Name)));
        bool same = int(imports.size()) == e.importCount;
        for (const std::string &name : imports) {
            bool expected = false;
            for (int i = 0; i < e.importCount; ++i)
                expected = expected || _stricmp(name.c_str(), e.imports[i]) == 0;
            CHECK(expected, "%s: imports %s", file, name.c_str());
        }
        CHECK(same, "%s: imports %zu libraries, expected %d", file, imports.size(), e.importCount);
    }
}

extern const DriverCase resourceCases[] = {
    {"files_version_block_and_icons", VersionAndIcons},
    {"files_same_program_picture", SameProgramPicture},
    {"files_shipped_x86_facts", ShippedFileFacts},
};
extern const int resourceCaseCount = sizeof resourceCases / sizeof resourceCases[0];
