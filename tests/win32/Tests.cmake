# The Windows tests under wine64. GoogleTest is built from Debian's sources for mingw; the tests
# are listed when ctest runs them (a Wine start at build time would cost seconds per build). They
# run from the program folder, beside the stand-in DLLs.
#
# The i686 build is the one shipped, and runs every test, 32-bit under Wine's WoW64 mode
# (wow64.sh). Those labelled "windows" need a Wine that draws for the program, and Wine 8.0 draws
# nothing for a 32-bit one: windows.sh then leaves them out of the i686 run, and the x86_64 build,
# which holds only them, runs them (docs/WINDOWS.md).
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)
include(GoogleTest)

# The Linux stand-in web server's folder (the Windows presets name the Linux build's).
set(ZC_LINUX_BIN_DIR "" CACHE PATH "Folder of the Linux zilba-server")
if(NOT EXISTS "${ZC_LINUX_BIN_DIR}/zilba-server")
  message(FATAL_ERROR "The Windows tests need the Linux zilba-server: configure with "
    "-DZC_LINUX_BIN_DIR=<the Linux build's bin folder> (the presets do)")
endif()
set(ZC_SERVER_STATE "${CMAKE_BINARY_DIR}/server")
set(ZC_WIN32_TEST_DEFINITIONS ZC_SERVER_STATE="${ZC_SERVER_STATE}" ZC_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
set(ZC_WINDOWS_TESTS_ONLY OFF)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(ZC_WINDOWS_TESTS_ONLY ON)
else()
  # Whether this Wine draws for a 32-bit program, and the smallest program its failure shows in.
  add_executable(drawing-probe win32/DrawingProbe.cpp)
  target_link_libraries(drawing-probe PRIVATE gdi32 user32)
  set_target_properties(drawing-probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endif()

# The adapters, and the Windows shell's windows with the program's resources.
add_executable(test_win32
  win32/CodePageTest.cpp
  win32/DatabaseTest.cpp
  win32/FileSystemTest.cpp
  win32/HttpTest.cpp
  win32/RapiTest.cpp
  win32/TickCountTest.cpp
  win32/WindowsTest.cpp)
target_include_directories(test_win32 PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(test_win32 PRIVATE zc_win32 zc_win32_app zc_win32_resources gtest_main shlwapi wininet ws2_32)
target_compile_definitions(test_win32 PRIVATE ${ZC_WIN32_TEST_DEFINITIONS})
set_target_properties(test_win32 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
  CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_SOURCE_DIR}/win32/wine-run.sh)
add_dependencies(test_win32 standin_rapi)  # the remote connection is tested against it
gtest_discover_tests(test_win32 DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_FILTER "WindowsShell.*"
  PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED zilba_server LABELS windows)
# The windows at 125 % and 150 % display scaling: the layout test again on a screen of 120 and
# 144 dpi, alone, as the screen's DPI is the whole Wine prefix's while it runs.
foreach(dpi 120 144)
  add_test(NAME WindowsShell.LayoutAt${dpi}Dpi
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/wine-run-dpi.sh ${dpi} $<TARGET_FILE:test_win32>
      --gtest_filter=WindowsShell.TheWindowsAreLaidOutAtTheScreensDpiAndShowTheirTextsWhole)
  set_tests_properties(WindowsShell.LayoutAt${dpi}Dpi PROPERTIES RUN_SERIAL TRUE TIMEOUT 300 LABELS windows
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test\\." FAIL_REGULAR_EXPRESSION "FAILED")
endforeach()
if(NOT ZC_WINDOWS_TESTS_ONLY)
  gtest_discover_tests(test_win32 DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_FILTER "-WindowsShell.*:FullDisk.*"
    PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED zilba_server)
  # The text writer as on a disk that fills at 256 KiB.
  add_test(NAME FullDisk.TheExportTextEndsInAWholeLine
    COMMAND ${CMAKE_COMMAND} -E env ZC_DISK_FILLS_AT=262144 ${CMAKE_CURRENT_SOURCE_DIR}/win32/wine-run.sh $<TARGET_FILE:test_win32>
      --gtest_filter=FullDisk.TheExportTextEndsInAWholeLine)
  set_tests_properties(FullDisk.TheExportTextEndsInAWholeLine PROPERTIES TIMEOUT 120
    FAIL_REGULAR_EXPRESSION "Running 0 tests")
endif()

add_test(NAME zilba_server_start
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/server.sh start ${ZC_LINUX_BIN_DIR} ${ZC_SERVER_STATE})
add_test(NAME zilba_server_stop COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/server.sh stop ${ZC_SERVER_STATE})
set_tests_properties(zilba_server_start PROPERTIES FIXTURES_SETUP zilba_server)
set_tests_properties(zilba_server_stop PROPERTIES FIXTURES_CLEANUP zilba_server)

# The whole transfer: test_win32_transfer drives the program from inside Wine, through its
# windows on the display windows.sh provides, or runs its steps itself. Where a run reads the
# converted database, the program is ZilbaCompanion-e2e.exe, the shipped one with a test double
# for Jet, which Wine lacks.
if(TARGET zc_win32_app)
  add_executable(ZilbaCompanion-e2e WIN32 win32/E2eProgram.cpp)
  target_link_libraries(ZilbaCompanion-e2e PRIVATE zc_win32_app zc_win32_resources)
  add_executable(test_win32_transfer win32/WholeTransferTest.cpp)
  target_include_directories(test_win32_transfer PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(test_win32_transfer PRIVATE zc_win32 gtest_main shell32)
  target_compile_definitions(test_win32_transfer PRIVATE ${ZC_WIN32_TEST_DEFINITIONS})
  # The driver runs under Wine only, never on the PCs the program must start on: it keeps the
  # registry calls of later Windows (the program itself is built for Windows XP).
  target_compile_options(test_win32_transfer PRIVATE -UWINVER -U_WIN32_WINNT -DWINVER=0x0601 -D_WIN32_WINNT=0x0601)
  set_target_properties(ZilbaCompanion-e2e test_win32_transfer PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  add_dependencies(test_win32_transfer ZilbaCompanion ZilbaCompanion-e2e standin_rapi standin_adofiltr zilba-register)
  # The installed program's window and a running program's mutex, for the installer's test.
  add_executable(program-probe win32/ProgramProbe.cpp)
  target_link_libraries(program-probe PRIVATE zc_win32)
  set_target_properties(program-probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set(windowed TransferThenResendThenExitThroughTheWindows
    NothingDockedTheRunWaitsAnsweringAndFailsThenANonAsciiRunPastAFileHeldOpen)
  set(tests ${windowed})
  if(NOT ZC_WINDOWS_TESTS_ONLY)
    list(APPEND tests TransferThenResendWithoutTheWindows)
  endif()
  # One at a time: they share the program's settings, local directory and single instance.
  foreach(test ${tests})
    add_test(NAME WholeTransfer.${test} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/wine-run.sh
      $<TARGET_FILE:test_win32_transfer> --gtest_filter=WholeTransfer.${test})
    # Passed only when the test says so: a program that never ran ends with 0 too.
    set_tests_properties(WholeTransfer.${test} PROPERTIES
      TIMEOUT 300 FIXTURES_REQUIRED zilba_server RESOURCE_LOCK zilba_program
      PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test\\." FAIL_REGULAR_EXPRESSION "FAILED")
    if(test IN_LIST windowed)
      set_tests_properties(WholeTransfer.${test} PROPERTIES LABELS windows)
    endif()
  endforeach()
endif()
