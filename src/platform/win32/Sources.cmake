# The Windows build: the toolkit-free core and the Windows platform layer, listed file by file.
set(ZC_CORE_SOURCES
  core/Controller.cpp core/Counter.cpp core/Settings.cpp core/Startup.cpp core/Layout.cpp
  runs/CopyFiles.cpp runs/Journal.cpp runs/Steps.cpp runs/Transfer.cpp
  handheld/DatabaseCopy.cpp handheld/Folders.cpp handheld/Signatures.cpp
  export/Backup.cpp export/ExportFile.cpp
  server/Launch.cpp server/Multipart.cpp server/Sendable.cpp server/Upload.cpp
  platform/Clock.cpp platform/Text.cpp
  # The 8-bit code page is the ANSI one here, so the core's conversions live with Windows.
  platform/win32/WinText.cpp)
add_library(zc_core STATIC ${ZC_CORE_SOURCES})
target_include_directories(zc_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(zc_core PUBLIC ZC_VERSION_TEXT="${ZC_VERSION_TEXT}"
  WINVER=0x0501 _WIN32_WINNT=0x0501 UNICODE _UNICODE)

set(ZC_WIN32_SOURCES
  platform/win32/Com.cpp
  platform/win32/Win32Clock.cpp
  platform/win32/Win32Database.cpp
  platform/win32/Win32FileSystem.cpp
  platform/win32/Win32Http.cpp
  platform/win32/Win32Kernel.cpp
  platform/win32/Win32Rapi.cpp
  platform/win32/WindowMessages.cpp
  platform/win32/Win32Registry.cpp
  platform/win32/Win32ShellFolder.cpp)
add_library(zc_win32 STATIC ${ZC_WIN32_SOURCES})
target_link_libraries(zc_win32 PUBLIC zc_core ole32 oleaut32 advapi32 shell32 uuid wininet ws2_32)
# mingw-w64's ADO headers hold bare declarations ("Connection;") that GCC accepts only as
# permissive; in a system header it then says nothing more.
set_source_files_properties(platform/win32/Win32Database.cpp PROPERTIES COMPILE_OPTIONS "-fpermissive")

include(shells/win32/Sources.cmake)

# The shipped 32-bit program runs on Windows XP SP3: what its statically linked runtime imports
# that XP lacks, it gets from itself (tests/win32/imports.sh checks its import table).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  target_sources(ZilbaCompanion PRIVATE platform/win32/XpRuntime.cpp)
endif()
