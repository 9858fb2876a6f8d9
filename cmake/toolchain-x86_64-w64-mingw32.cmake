# x64: 64-bit DLL, SEH unwinding, GCC runtime as DLLs like x86.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TARNKIT_TRIPLET x86_64-w64-mingw32)
set(TARNKIT_WINE_LOADER /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader that runs the programs")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
