// Export macro and platform includes shared by every TarnKit header.
#pragma once

// windows.h brings the old winsock.h, after which winsock2.h (socket.h) can no longer be
// included; so winsock2.h comes first, unless the application has included windows.h itself.
#if !defined(_WINDOWS_) && !defined(_WINSOCKAPI_)
#include <winsock2.h>
#endif
#include <windows.h>

#include "version.h"

#if defined(TARNKIT_BUILDING)
#define TARNKIT_API __declspec(dllexport)
#else
#define TARNKIT_API __declspec(dllimport)
#endif
