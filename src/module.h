// Internal: the library's own module handle, recorded when the DLL is loaded.
#pragma once

#include <windows.h>

namespace tarn_kit {
namespace detail {

/// Instance handle of TarnKit.dll; the library loads its own resources through it.
HINSTANCE LibraryModule() noexcept;

} // namespace detail
} // namespace tarn_kit
