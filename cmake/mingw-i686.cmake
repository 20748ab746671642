# 32-bit build: the programs we ship.
set(QUELLIN_MINGW_TRIPLE i686-w64-mingw32)
set(QUELLIN_ARCH x86)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
