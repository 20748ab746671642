// Quellin's Wine test driver.
//   quellin_driver --dist DIR [--x86 DIR --x64 DIR] [--setup FILE --manifest FILE] [--msi FILE --msi-next FILE] [CASE...]
// Runs the named cases (all tests when none are named; measurements only
// when named), one line per case, and
// ends with "SUMMARY <passed> passed, <failed> failed". Exit code 0 only when
// every case passed.
#include "driver_support.h"

#include <cstdio>
#include <cstring>
#include <vector>

// Each test file lists its own cases.
extern const DriverCase quellsnapCases[];
extern const int quellsnapCaseCount;
extern const DriverCase resourceCases[];
extern const int resourceCaseCount;
extern const DriverCase quellbarCases[];
extern const int quellbarCaseCount;
extern const DriverCase installerCases[];
extern const int installerCaseCount;
extern const DriverCase benchCases[]; // measurements: run only when named
extern const int benchCaseCount;

extern bool currentCaseFailed;

int main(int argc, char **argv)
{
    std::vector<const char *> wanted;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dist") == 0 && i + 1 < argc)
            distDir = argv[++i];
        else if (std::strcmp(argv[i], "--x86") == 0 && i + 1 < argc)
            distDirX86 = argv[++i];
        else if (std::strcmp(argv[i], "--x64") == 0 && i + 1 < argc)
            distDirX64 = argv[++i];
        else if (std::strcmp(argv[i], "--setup") == 0 && i + 1 < argc)
            setupPath = argv[++i];
        else if (std::strcmp(argv[i], "--manifest") == 0 && i + 1 < argc)
            manifestPath = argv[++i];
        else if (std::strcmp(argv[i], "--msi") == 0 && i + 1 < argc)
            msiPath = argv[++i];
        else if (std::strcmp(argv[i], "--msi-next") == 0 && i + 1 < argc)
            msiNextPath = argv[++i];
        else
            wanted.push_back(argv[i]);
    }
    if (distDir.empty()) {
        std::printf("usage: quellin_driver --dist DIR [--x86 DIR --x64 DIR] [--setup FILE --manifest FILE] [--msi FILE --msi-next FILE] [CASE...]\n");
        return 2;
    }

    std::vector<DriverCase> all;
    all.insert(all.end(), quellsnapCases, quellsnapCases + quellsnapCaseCount);
    all.insert(all.end(), resourceCases, resourceCases + resourceCaseCount);
    all.insert(all.end(), quellbarCases, quellbarCases + quellbarCaseCount);
    all.insert(all.end(), installerCases, installerCases + installerCaseCount);
    const size_t testCount = all.size();
    all.insert(all.end(), benchCases, benchCases + benchCaseCount);

    CreateListener();
    int passed = 0, failed = 0;
    for (const char *name : wanted) {
        bool known = false;
        for (const DriverCase &c : all)
            known = known || std::strcmp(c.name, name) == 0;
        if (!known) {
            std::printf("unknown case %s\n", name);
            ++failed;
        }
    }
    for (size_t i = 0; i < all.size(); ++i) {
        const DriverCase &c = all[i];
        bool selected = wanted.empty() && i < testCount;
        for (const char *name : wanted)
            selected = selected || std::strcmp(c.name, name) == 0;
        if (!selected)
            continue;
        std::printf("[ RUN    ] %s\n", c.name);
        std::fflush(stdout);
        currentCaseFailed = false;
        ResetListener();
        double start = NowMs();
        c.run();
        std::printf("[ %s ] %s (%.0f ms)\n", currentCaseFailed ? "FAILED" : "    OK", c.name, NowMs() - start);
        std::fflush(stdout);
        (currentCaseFailed ? failed : passed)++;
    }
    std::printf("SUMMARY %d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed == 0 && passed > 0 ? 0 : 1;
}
