# The Windows tests under wine64, run from the program folder beside the stand-in DLLs. The i686
# build, the one shipped, runs them 32-bit in Wine's WoW64 mode; those labelled "windows" need a
# Wine that draws for the program, which Wine 8.0 does not for a 32-bit one: windows.sh then runs
# them in the x86_64 build, which holds only them (docs/WINDOWS.md).
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)
include(GoogleTest)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The Linux stand-in web server (the presets name the Linux build's folder).
set(ZC_LINUX_BIN_DIR "" CACHE PATH "Folder of the Linux zilba-server")
set(ZC_SERVER_STATE "${CMAKE_BINARY_DIR}/server")
add_test(NAME zilba_server_start
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/server.sh start ${ZC_LINUX_BIN_DIR} ${ZC_SERVER_STATE})
add_test(NAME zilba_server_stop COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/server.sh stop ${ZC_SERVER_STATE})
set_tests_properties(zilba_server_start PROPERTIES FIXTURES_SETUP zilba_server)
set_tests_properties(zilba_server_stop PROPERTIES FIXTURES_CLEANUP zilba_server)
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(ZC_I686 ON)
  # Whether this Wine draws for a 32-bit program, and the smallest program its failure shows in.
  add_executable(drawing-probe win32/DrawingProbe.cpp)
  target_link_libraries(drawing-probe PRIVATE gdi32 user32)
endif()

# NAME: the one test FILTER (NAME when "") of PROGRAM, with the environment ENV and the further
# PROPERTIES. Passed only when the test says so: a program that never ran ends with 0 too.
function(zc_wine_test name program env filter)
  if(filter STREQUAL "")
    set(filter ${name})
  endif()
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E env ${env} ${CMAKE_CURRENT_SOURCE_DIR}/win32/wine-run.sh
    $<TARGET_FILE:${program}> --gtest_filter=${filter})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ${ARGN}
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test\\." FAIL_REGULAR_EXPRESSION "FAILED")
endfunction()

# The adapters, and the Windows shell's windows with the program's resources.
file(GLOB ZC_WIN32_TESTS ${CMAKE_CURRENT_SOURCE_DIR}/win32/*Test.cpp)
list(FILTER ZC_WIN32_TESTS EXCLUDE REGEX "WholeTransferTest")
add_executable(test_win32 ${ZC_WIN32_TESTS})
target_link_libraries(test_win32 PRIVATE zc_win32 zc_win32_app zc_win32_resources gtest_main shlwapi wininet ws2_32)
set_target_properties(test_win32 PROPERTIES CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_SOURCE_DIR}/win32/wine-run.sh)
gtest_discover_tests(test_win32 DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_FILTER "WindowsShell.*"
  PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED zilba_server LABELS windows)
# The layout again at 125 % and 150 % scaling, alone: the screen's DPI is the whole prefix's.
foreach(dpi 120 144)
  zc_wine_test(WindowsShell.LayoutAt${dpi}Dpi test_win32 ZC_TEST_DPI=${dpi}
    WindowsShell.TheWindowsAreLaidOutAtTheScreensDpiAndShowTheirTextsWhole RUN_SERIAL TRUE LABELS windows)
endforeach()
if(ZC_I686)
  gtest_discover_tests(test_win32 DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_FILTER "-WindowsShell.*:FullDisk.*"
    PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED zilba_server)
  zc_wine_test(FullDisk.TheExportTextEndsInAWholeLine test_win32 ZC_DISK_FILLS_AT=262144 "")
endif()

# The whole transfer, of ZilbaCompanion-e2e.exe: the shipped program with a test double for Jet.
add_executable(ZilbaCompanion-e2e WIN32 win32/E2eProgram.cpp)
target_link_libraries(ZilbaCompanion-e2e PRIVATE zc_win32_app zc_win32_resources)
add_executable(test_win32_transfer win32/WholeTransferTest.cpp)
target_link_libraries(test_win32_transfer PRIVATE zc_win32 gtest_main shell32)
# The driver runs under Wine only: it keeps the registry calls of later Windows.
target_compile_options(test_win32_transfer PRIVATE -UWINVER -U_WIN32_WINNT -DWINVER=0x0601 -D_WIN32_WINNT=0x0601)
add_dependencies(test_win32_transfer ZilbaCompanion ZilbaCompanion-e2e standin_rapi standin_adofiltr zilba-register)
# The installed program's window and a running program's mutex, for the installer's test.
add_executable(program-probe win32/ProgramProbe.cpp)
target_link_libraries(program-probe PRIVATE zc_win32)
# One at a time: they share the program's settings, local directory and single instance.
set(transfer FIXTURES_REQUIRED zilba_server RESOURCE_LOCK zilba_program)
zc_wine_test(WholeTransfer.ThroughTheWindowsNothingDockedThenANonAsciiRunPastAFileHeldOpenThenResend
  test_win32_transfer "" "" ${transfer} LABELS windows)
if(ZC_I686)
  zc_wine_test(WholeTransfer.TransferThenResendWithoutTheWindows test_win32_transfer "" "" ${transfer})
endif()
foreach(test test_win32 test_win32_transfer)
  target_include_directories(${test} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${test} PRIVATE ZC_SERVER_STATE="${ZC_SERVER_STATE}" ZC_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
endforeach()
