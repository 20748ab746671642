#include "driver_support.h"
extern const DriverCase quellbarCases[] = {{"placeholder", [] {}}};
extern const int quellbarCaseCount = 1;
