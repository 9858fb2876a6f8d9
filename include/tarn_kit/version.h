// TarnKit version: the one source of the resource version record and the CMake
// package version.
#pragma once

#define TARNKIT_VERSION_MAJOR 0
#define TARNKIT_VERSION_MINOR 1
#define TARNKIT_VERSION_PATCH 0

#define TARNKIT_STRINGIFY_(x) #x
#define TARNKIT_STRINGIFY(x) TARNKIT_STRINGIFY_(x)
#define TARNKIT_VERSION_STRING                                                                     \
    TARNKIT_STRINGIFY(TARNKIT_VERSION_MAJOR)                                                       \
    "." TARNKIT_STRINGIFY(TARNKIT_VERSION_MINOR) "." TARNKIT_STRINGIFY(TARNKIT_VERSION_PATCH)
