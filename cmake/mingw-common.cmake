# Shared part of the MinGW-w64 toolchain files. The -posix compilers are the ones
# with std::thread and std::mutex.
set(CMAKE_C_COMPILER ${TARNKIT_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARNKIT_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TARNKIT_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TARNKIT_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# Each arch names its Wine loader itself: Debian's `wine` script prefers the
# 32-bit loader whenever wine32 is installed, even where the kernel cannot run it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${TARNKIT_WINE_LOADER})
