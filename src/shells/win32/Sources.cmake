# The Windows shell: frmMain and frmLog with the Windows API, the program around them, and
# ZilbaCompanion.exe. Included from src/CMakeLists.txt; paths are relative to src/.
enable_language(RC)

file(GLOB ZC_WIN32_SHELL_SOURCES CONFIGURE_DEPENDS shells/win32/*.cpp)
list(FILTER ZC_WIN32_SHELL_SOURCES EXCLUDE REGEX "/WinMain\.cpp$")
add_library(zc_win32_app STATIC ${ZC_WIN32_SHELL_SOURCES})
target_link_libraries(zc_win32_app PUBLIC zc_win32 comctl32 comdlg32 gdi32 user32)

# The icon, the banners, the version and the manifest. An object library, so that every
# program with these windows gets them (a static library's resources would be dropped).
# The pictures are made by shells/win32/resources/make.sh and committed.
add_library(zc_win32_resources OBJECT shells/win32/ZilbaCompanion.rc)
target_include_directories(zc_win32_resources PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/shells/win32)
set_source_files_properties(shells/win32/ZilbaCompanion.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_CURRENT_SOURCE_DIR}/shells/win32/ZilbaCompanion.manifest;${CMAKE_CURRENT_SOURCE_DIR}/shells/win32/Resources.h;${CMAKE_CURRENT_SOURCE_DIR}/shells/win32/resources/ZilbaCompanion.ico;${CMAKE_CURRENT_SOURCE_DIR}/shells/win32/resources/banner-left.bmp;${CMAKE_CURRENT_SOURCE_DIR}/shells/win32/resources/banner-right.bmp")

add_executable(ZilbaCompanion WIN32 shells/win32/WinMain.cpp)
target_link_libraries(ZilbaCompanion PRIVATE zc_win32_app zc_win32_resources)
set_target_properties(ZilbaCompanion PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The shipped 32-bit program runs on Windows XP SP3: what its statically linked runtime imports
# that XP lacks, it gets from itself (tests/win32/imports.sh checks its import table).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  target_sources(ZilbaCompanion PRIVATE platform/win32/XpRuntime.cpp)
endif()
