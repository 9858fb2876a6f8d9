// Export macro and platform includes shared by every TarnKit header.
#pragma once

#include <windows.h>

#include "version.h"

#if defined(TARNKIT_BUILDING)
#define TARNKIT_API __declspec(dllexport)
#else
#define TARNKIT_API __declspec(dllimport)
#endif
