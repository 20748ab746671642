# 64-bit twin of the same sources: this is what runs under wine64 in the tests.
set(QUELLIN_MINGW_TRIPLE x86_64-w64-mingw32)
set(QUELLIN_ARCH x64)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
