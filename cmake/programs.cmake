# The Windows programs: both deliverables, and the Wine test driver with its
# helper programs.

set(QUELLIN_DIST_DIR ${PROJECT_SOURCE_DIR}/dist/${QUELLIN_ARCH})

# Deliverables carry no C runtime: our own entry point, ExitProcess, and only
# the platform's import libraries. Everything that would add hidden code or
# data (unwind tables, stack probes, guard variables) is off.
# Link-time optimisation lets small single-use procedures fold into their
# callers, which keeps the tray program's code inside its size budget.
set(QUELLIN_BARE_COMPILE_OPTIONS
    -Os -flto -Wall -Wextra -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
    -fno-stack-protector -fno-stack-check -fno-threadsafe-statics -fno-ident
    -ffunction-sections -fomit-frame-pointer)
if(QUELLIN_ARCH STREQUAL "x86")
    # Windows 2000 is 5.0; the first x64 Windows is 5.2.
    set(QUELLIN_OS_MINOR 0)
    # The 32-bit Windows ABI promises only 4-byte stack alignment; assuming 16
    # costs realignment code in every callback the system calls.
    list(APPEND QUELLIN_BARE_COMPILE_OPTIONS -mpreferred-stack-boundary=2)
    # The compiler's default target is the Pentium Pro, whose conditional
    # moves the Pentium, Pentium MMX, K6 and C3 that Windows 2000 and XP run on
    # lack. These options reach the link too, where link-time optimisation
    # generates the code.
    list(APPEND QUELLIN_BARE_COMPILE_OPTIONS -march=i586)
    set(QUELLIN_ENTRY_SYMBOL _WinMainCRTStartup)
else()
    set(QUELLIN_OS_MINOR 2)
    set(QUELLIN_ENTRY_SYMBOL WinMainCRTStartup)
endif()
set(QUELLIN_BARE_LINK_OPTIONS
    ${QUELLIN_BARE_COMPILE_OPTIONS}
    -nostdlib -s
    # Nothing calls the entry point, so keep optimisation from dropping it.
    -Wl,-u,${QUELLIN_ENTRY_SYMBOL}
    -Wl,-T,${PROJECT_SOURCE_DIR}/cmake/bare_program.ld
    -Wl,--subsystem,windows:5.${QUELLIN_OS_MINOR}
    -Wl,--major-os-version,5 -Wl,--minor-os-version,${QUELLIN_OS_MINOR}
    -Wl,--gc-sections
    -Wl,--dynamicbase -Wl,--nxcompat
    -Wl,--no-insert-timestamp
    -Wl,--enable-reloc-section
    -Wl,--disable-runtime-pseudo-reloc)

# A CRT-free GUI program: name, sources, platform libraries.
function(quellin_bare_program name)
    cmake_parse_arguments(P "" "OUTPUT_DIR" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} WIN32 ${P_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/resources)
    target_compile_options(${name} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${QUELLIN_BARE_COMPILE_OPTIONS}>)
    target_link_options(${name} PRIVATE ${QUELLIN_BARE_LINK_OPTIONS})
    target_link_libraries(${name} PRIVATE ${P_LIBS})
    if(P_OUTPUT_DIR)
        set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${P_OUTPUT_DIR})
    endif()
endfunction()

# The resource compiler's inputs beyond the .rc file itself are not seen by
# CMake's dependency scanning; name them so an edited icon rebuilds the program.
set(QUELLIN_RC_INPUTS ${PROJECT_SOURCE_DIR}/resources/version_block.rc ${PROJECT_SOURCE_DIR}/resources/product_texts.h)
foreach(icon IN LISTS QUELLIN_ICONS)
    list(APPEND QUELLIN_RC_INPUTS ${PROJECT_SOURCE_DIR}/resources/icons/${icon}.ico)
endforeach()
set_source_files_properties(resources/quellsnap.rc resources/quellbar.rc installer/takeover/remove_personal_copy.rc PROPERTIES OBJECT_DEPENDS "${QUELLIN_RC_INPUTS}")

add_library(display_power OBJECT display_power/display_power.cpp)
target_include_directories(display_power PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(display_power PRIVATE ${QUELLIN_BARE_COMPILE_OPTIONS})

quellin_bare_program(Quellsnap OUTPUT_DIR ${QUELLIN_DIST_DIR}
    SOURCES oneshot/quellsnap_main.cpp resources/quellsnap.rc $<TARGET_OBJECTS:display_power>
    LIBS kernel32 user32)

quellin_bare_program(Quellbar OUTPUT_DIR ${QUELLIN_DIST_DIR}
    SOURCES tray/quellbar_main.cpp tray/window_proc.cpp tray/tray_icon.cpp tray/tray_menu.cpp
            tray/about_window.cpp tray/tray_logic.cpp resources/quellbar.rc $<TARGET_OBJECTS:display_power>
    LIBS kernel32 user32 shell32 gdi32)

# The install for everyone's step at each person's sign-in (Active Setup),
# which takes that person's own install away.
quellin_bare_program(RemovePersonalCopy OUTPUT_DIR ${QUELLIN_DIST_DIR}
    SOURCES installer/takeover/remove_personal_copy.cpp installer/takeover/remove_personal_copy.rc
    LIBS kernel32 user32 advapi32 shell32)

# The benchmark's floors: an empty program built exactly like the
# deliverables, and the same with one call into the window system.
quellin_bare_program(empty_program SOURCES tests/wine/empty_program.cpp LIBS kernel32 user32)
quellin_bare_program(window_call_program SOURCES tests/wine/empty_program.cpp LIBS kernel32 user32)
target_compile_definitions(window_call_program PRIVATE TOUCH_WINDOW_SYSTEM)

# The Wine test driver: an ordinary console program with the C runtime,
# linked statically so it runs in any prefix without extra DLLs.
add_executable(quellin_driver
    tests/wine/driver_main.cpp tests/wine/driver_support.cpp tests/wine/quellsnap_tests.cpp
    tests/wine/resource_tests.cpp tests/wine/quellbar_session.cpp tests/wine/quellbar_tests.cpp
    tests/wine/installer_tests.cpp tests/wine/bench_cases.cpp tray/tray_logic.cpp)
target_include_directories(quellin_driver PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(quellin_driver PRIVATE -O2 -Wall -Wextra)
target_link_options(quellin_driver PRIVATE -static -static-libgcc -static-libstdc++)
# ole32 and uuid: the installer case reads shortcuts through IShellLinkA.
target_link_libraries(quellin_driver PRIVATE user32 gdi32 shell32 version ole32 uuid)

# Hooked into Quellbar by the driver to watch its timer.
add_library(timer_probe MODULE tests/wine/timer_probe.cpp)
set_target_properties(timer_probe PROPERTIES PREFIX "")
# Exported undecorated in the 32-bit build too, where stdcall names carry @N.
target_link_options(timer_probe PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at)
