# Native side: the icon generator, the unit tests, and the registration of
# every test (unit, icon and Wine) with CTest.

find_package(GTest REQUIRED)
include(CTest)

add_library(icon_format STATIC tools/icon_gen/icon_format.cpp)
target_include_directories(icon_format PUBLIC tools/icon_gen)
target_compile_options(icon_format PRIVATE -Wall -Wextra)

add_executable(icon_gen tools/icon_gen/icon_gen_main.cpp)
target_link_libraries(icon_gen PRIVATE icon_format)

add_executable(unit_tests tests/unit/tray_logic_test.cpp tests/unit/icon_format_test.cpp tray/tray_logic.cpp)
target_include_directories(unit_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(unit_tests PRIVATE -Wall -Wextra)
target_link_libraries(unit_tests PRIVATE icon_format GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(unit_tests)

# The committed icons must be exactly what their pixel sources produce.
foreach(icon IN LISTS QUELLIN_ICONS)
    add_test(NAME icon_matches_source.${icon}
             COMMAND icon_gen --check ${PROJECT_SOURCE_DIR}/resources/icons/${icon}.txt
                                      ${PROJECT_SOURCE_DIR}/resources/icons/${icon}.ico)
endforeach()

# The shipped 32-bit code uses only instructions every Pentium has: both
# programs and the install for everyone's sign-in step.
add_test(NAME files.x86_instruction_set
         COMMAND ${PROJECT_SOURCE_DIR}/tests/shipped_instruction_check.sh
                 ${PROJECT_SOURCE_DIR}/dist/x86/Quellbar.exe ${PROJECT_SOURCE_DIR}/dist/x86/Quellsnap.exe
                 ${PROJECT_SOURCE_DIR}/dist/x86/RemovePersonalCopy.exe)

add_custom_target(icons
    COMMENT "Regenerating resources/icons/*.ico from their pixel sources")
foreach(icon IN LISTS QUELLIN_ICONS)
    add_custom_command(TARGET icons POST_BUILD
        COMMAND icon_gen ${PROJECT_SOURCE_DIR}/resources/icons/${icon}.txt
                         ${PROJECT_SOURCE_DIR}/resources/icons/${icon}.ico)
endforeach()
add_dependencies(icons icon_gen)

# What `make release` gives Windows users, checked as files.
foreach(check contents texts signed)
    add_test(NAME release.${check} COMMAND ${PROJECT_SOURCE_DIR}/tests/release/check_release.sh ${check})
    set_tests_properties(release.${check} PROPERTIES TIMEOUT 120)
endforeach()

# The download site that `make release` writes, in headless Chromium; `make`
# installs the browser, `make test-x64` Node.js and the test's npm packages.
add_test(NAME site.browser COMMAND node --test ${PROJECT_SOURCE_DIR}/tests/site/site.test.mjs)
set_tests_properties(site.browser PROPERTIES TIMEOUT 300)

# Wine tests: each case of the x64 driver in a Wine session of its own, one
# after another (they share a prefix, so a desktop and a notification area).
set(QUELLIN_SESSION ${PROJECT_SOURCE_DIR}/tests/wine/wine_session.sh)
set(QUELLIN_DRIVER ${PROJECT_SOURCE_DIR}/build/x64/quellin_driver.exe)
string(REPLACE "/" "\\" QUELLIN_WIN_ROOT "Z:${PROJECT_SOURCE_DIR}")
# The setup is the one that carries the x64 twins (made by `make release`),
# named after the release version in the shared texts.
file(STRINGS ${PROJECT_SOURCE_DIR}/resources/product_texts.h QUELLIN_VERSION_LINE
     REGEX "^#define QUELLIN_VERSION +\"[^\"]+\"")
string(REGEX REPLACE ".*\"([^\"]+)\".*" "\\1" QUELLIN_VERSION "${QUELLIN_VERSION_LINE}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/product_texts.h)
# The package one version later, which release.sh builds for the upgrade.
string(REGEX MATCH "[0-9]+$" QUELLIN_VERSION_LAST "${QUELLIN_VERSION}")
math(EXPR QUELLIN_VERSION_LAST "${QUELLIN_VERSION_LAST} + 1")
string(REGEX REPLACE "[0-9]+$" "${QUELLIN_VERSION_LAST}" QUELLIN_NEXT_VERSION "${QUELLIN_VERSION}")
set(QUELLIN_DRIVER_ARGS
    --dist "${QUELLIN_WIN_ROOT}\\dist\\x64" --x86 "${QUELLIN_WIN_ROOT}\\dist\\x86" --x64 "${QUELLIN_WIN_ROOT}\\dist\\x64"
    --setup "${QUELLIN_WIN_ROOT}\\build\\release-x64\\Quellin-${QUELLIN_VERSION}-setup.exe"
    --msi "${QUELLIN_WIN_ROOT}\\build\\release-x64\\Quellin-${QUELLIN_VERSION}.msi"
    --msi-next "${QUELLIN_WIN_ROOT}\\build\\release-x64\\Quellin-${QUELLIN_NEXT_VERSION}.msi"
    --manifest "${QUELLIN_WIN_ROOT}\\dist\\manifests\\winget\\manifests\\b\\Brindlecote\\Quellin\\${QUELLIN_VERSION}\\Brindlecote.Quellin.installer.yaml")

add_test(NAME wine.prefix COMMAND ${QUELLIN_SESSION} --shell true)
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine_prefix RUN_SERIAL TRUE TIMEOUT 600)

set(QUELLIN_WINE_CASES
    quellsnap_one_command_once_keys_and_buttons_are_up quellsnap_two_starts_two_commands quellsnap_hung_window_does_not_hold_it
    files_version_block_and_icons files_same_program_picture files_shipped_x86_facts
    quellbar_window_facts quellbar_about_window quellbar_hover_darkens_icon quellbar_tray_pictures_follow_system_version
    quellbar_left_click_turns_displays_off quellbar_right_click_menu quellbar_hover_shell_calls_and_timer
    quellbar_icon_added_once_shell_is_ready quellbar_icon_taken_though_add_failed
    quellbar_exit_and_close_end_it quellbar_alt_f4_hides_about_window
    quellbar_message_storm
    installer_round_trip installer_speaks_the_language installer_locks_its_folder
    installer_takes_over_personal_installs)
foreach(case IN LISTS QUELLIN_WINE_CASES)
    add_test(NAME wine.${case} COMMAND ${QUELLIN_SESSION} ${QUELLIN_DRIVER} ${QUELLIN_DRIVER_ARGS} ${case})
    set_tests_properties(wine.${case} PROPERTIES
        FIXTURES_REQUIRED wine_prefix RUN_SERIAL TRUE TIMEOUT 180
        # A driver that ran nothing must not pass.
        PASS_REGULAR_EXPRESSION "SUMMARY 1 passed, 0 failed")
endforeach()
# Setup by hand is started over for up to five minutes at a time while an
# emulator's fault leaves its first page incomplete; a page that stays so
# fails the case with its notes, not as a timeout.
set_tests_properties(wine.installer_round_trip wine.installer_speaks_the_language PROPERTIES TIMEOUT 900)

