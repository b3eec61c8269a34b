# The Windows platform layer. Included from src/CMakeLists.txt; paths are relative to src/.
# The core runs on Windows XP SP3 and later, with the Windows API's wide-character names.
target_compile_definitions(zc_core PUBLIC WINVER=0x0501 _WIN32_WINNT=0x0501 UNICODE _UNICODE)
# The 8-bit code page is the ANSI one here, so the core's conversions live with Windows.
target_sources(zc_core PRIVATE platform/win32/WinText.cpp)

file(GLOB ZC_WIN32_SOURCES CONFIGURE_DEPENDS platform/win32/*.cpp)
list(FILTER ZC_WIN32_SOURCES EXCLUDE REGEX "/(WinText|XpRuntime)\\.cpp$")
add_library(zc_win32 STATIC ${ZC_WIN32_SOURCES})
target_link_libraries(zc_win32 PUBLIC zc_core ole32 oleaut32 advapi32 shell32 uuid wininet ws2_32)
# mingw-w64's ADO headers hold bare declarations ("Connection;") that GCC accepts only as
# permissive; in a system header it then says nothing more.
set_source_files_properties(platform/win32/Win32Database.cpp PROPERTIES COMPILE_OPTIONS "-fpermissive")
