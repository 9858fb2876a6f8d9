// OLE Automation variants and small numeric helpers.
//
// Classes in this file: none; free functions only.
//
// The names live in namespace tarn_kit and sit beside the platform's own:
// tarn_kit::VariantChangeType takes other parameters than the global Win32
// function, and tarn_kit::round(double) has the same parameter as the C
// runtime's ::round, so call it qualified.
#pragma once

#include "config.h"

#include <oaidl.h>

namespace tarn_kit {

// Variants

/// -1, 0 or +1 by a's type (texts: wcscmp's result as it comes). b is converted
/// on a private copy with locale 1033 when the types differ; 0 when that fails
/// and for types without an order (dates, currency, objects, arrays).
TARNKIT_API int VariantCompare(const VARIANT& a, const VARIANT& b);

/// Converts var in place to vt; true on success. base 2-36 reads text as an
/// integer in that radix (every target of 32 bits or fewer ends as VT_I4; a
/// trailing "h" is accepted with base 16) and writes integers as upper-case
/// text; base 0 uses VariantChangeTypeEx alone. Other bases return false.
TARNKIT_API bool VariantChangeType(unsigned long lcid, unsigned short vt, VARIANT& var, int base);

// Numbers

/// The number at the start of text (C runtime locale); 0.0 when there is none.
TARNKIT_API double wtof(const wchar_t* text);
/// The whole text read by the rules of locale lcid; 0.0 when it is not a number.
TARNKIT_API double wtof(const wchar_t* text, unsigned long lcid);
/// Half away from zero; NaN and values beyond 32 bits give -2147483648.
TARNKIT_API int round(double x);
TARNKIT_API double Rad2Deg(double x);
TARNKIT_API double Deg2Rad(double x);

} // namespace tarn_kit
