# Windows on 64-bit x86: the same sources, for running the Windows tests under Wine on machines
# that cannot run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ULO_MINGW_PREFIX x86_64-w64-mingw32)
set(ULO_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
