# Windows on 32-bit x86: the platform Ulo is made for.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ULO_MINGW_PREFIX i686-w64-mingw32)
set(ULO_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
