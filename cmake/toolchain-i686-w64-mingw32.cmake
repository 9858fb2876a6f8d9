# x86, the reference target: 32-bit DLL, DW2 unwinding, GCC runtime as DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TARNKIT_TRIPLET i686-w64-mingw32)
set(TARNKIT_WINE_LOADER /usr/lib/wine/wine CACHE FILEPATH "Wine loader that runs the programs")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
