# Cross-builds for Windows with mingw-w64 for CMAKE_SYSTEM_PROCESSOR (set by the toolchain file
# that includes this): the posix thread model (std::thread and std::mutex need it) and every
# runtime linked in, so the program needs no DLL of the compiler.
set(CMAKE_SYSTEM_NAME Windows)
set(ZC_MINGW_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${ZC_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZC_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZC_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZC_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
