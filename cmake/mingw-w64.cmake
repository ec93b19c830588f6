# Cross-building Ulo for Windows with MinGW-w64 (Debian's g++-mingw-w64-*-posix). Included by the
# toolchain file of each processor, which sets ULO_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR.
#
# The posix thread model is needed: with the win32 one, std::thread and std::mutex do not exist.
# The runtime libraries are linked statically, so ulo.exe imports only system DLLs and runs on a
# Windows PC as it is. Programs built here run under Wine: the tests through CTest, and anything
# else that CMake runs as a target program.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ULO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ULO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ULO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ULO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine's own loader for this processor (the wine command itself prefers the 32-bit one).
find_program(ULO_WINE NAMES ${ULO_WINE_LOADER} PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(ULO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ULO_WINE})
endif()
