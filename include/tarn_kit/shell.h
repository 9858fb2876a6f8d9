// Shell and desktop helpers: shortcuts, icons of a chosen size, display queries.
#pragma once

#include "config.h"

namespace tarn_kit {

/// Writes the shortcut szLinkFile (.lnk) to szTarget with a description; its working
/// directory is the target's drive and folder ("C:\Tools\" for "C:\Tools\app.exe").
/// The calling thread must have initialised COM (a CCOMInitializer, or a single-threaded
/// apartment). Returns false, throwing nothing, when any step fails.
TARNKIT_API bool CreateShortcut(const wchar_t* szLinkFile, const wchar_t* szTarget,
                                const wchar_t* szDescription);
/// The image of icon group nId nearest to cx by cy (LoadImageW); NULL when there is none.
/// Unlike the platform's LoadIconW, which gives the system size, it picks the size asked for.
TARNKIT_API HICON LoadIconW(HINSTANCE hModule, UINT nId, int cx, int cy, UINT nFlags);
/// Always false: no query is made.
TARNKIT_API bool IsHighDPI();
/// Always false: no query is made.
TARNKIT_API bool IsWideScreen();

} // namespace tarn_kit
