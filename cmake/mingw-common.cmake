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
# Debian's wine starts 32- and 64-bit programs alike.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
