# The Windows tests: the x86_64 build under wine64. GoogleTest is built from Debian's sources
# for mingw; the tests are listed when ctest runs them (a Wine start at build time would cost
# seconds per build). They run from the program folder, beside the stand-in DLLs.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -w)
include(GoogleTest)

# The Linux stand-in web server the request object is tested against.
set(ZC_LINUX_BIN_DIR "${CMAKE_SOURCE_DIR}/build/ci/bin" CACHE PATH "Folder of the Linux zilba-server")
set(ZC_SERVER_STATE "${CMAKE_BINARY_DIR}/server")

add_executable(test_win32
  win32/Main.cpp
  win32/AdaptersTest.cpp
  win32/FileSystemTest.cpp
  win32/HandheldTest.cpp
  win32/HttpTest.cpp
  win32/StepsTest.cpp
  win32/Support.cpp
  # Core tests that need nothing of Linux.
  posix/TextTest.cpp)
target_include_directories(test_win32 PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(test_win32 PRIVATE zc_win32 gtest ws2_32)
target_compile_definitions(test_win32 PRIVATE UNICODE _UNICODE ZC_SERVER_STATE="${ZC_SERVER_STATE}")
set_target_properties(test_win32 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
  CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_SOURCE_DIR}/win32/wine-run.sh)
add_dependencies(test_win32 standin_rapi standin_adofiltr zilba-register)
gtest_discover_tests(test_win32 DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED zilba_server)
# The Windows shell's windows, with the program's resources.
target_sources(test_win32 PRIVATE win32/WindowsTest.cpp)
target_link_libraries(test_win32 PRIVATE zc_win32_app zc_win32_resources)

add_test(NAME zilba_server_start
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/server.sh start ${ZC_LINUX_BIN_DIR} ${ZC_SERVER_STATE})
add_test(NAME zilba_server_stop COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/server.sh stop ${ZC_SERVER_STATE})
set_tests_properties(zilba_server_start PROPERTIES FIXTURES_SETUP zilba_server)
set_tests_properties(zilba_server_stop PROPERTIES FIXTURES_CLEANUP zilba_server)
