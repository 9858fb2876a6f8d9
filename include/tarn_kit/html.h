// HTML pages stored as resources, and text made safe to embed in HTML.
//
// Classes in this file: none; free functions only.
#pragma once

#include "config.h"
#include "ustring.h"

namespace tarn_kit {

// Resources of type RT_HTML (23) in an application's module

/// Loads resource id of type RT_HTML from module into html (see HtmlToString); throws
/// CWinException "FindResource" when the module has no such resource.
TARNKIT_API void LoadHtmlResource(ustring& html, HINSTANCE module, UINT id);
/// The same for a resource with a name.
TARNKIT_API void LoadHtmlResource(ustring& html, HINSTANCE module, const wchar_t* name);
/// The resource's bytes read as UTF-8 up to the first zero byte (a byte-order mark stays
/// as U+FEFF at the start). html is emptied first; CWinException "LoadResource" or
/// "LockResource" when the platform cannot give the bytes.
TARNKIT_API void HtmlToString(ustring& html, HINSTANCE module, HRSRC resource);

// Escaping

/// text with & ' " < > escaped ("&amp;", both quotes as "&quot;", "&lt;", "&gt;"), CRs
/// removed and each LF turned into "<br>".
TARNKIT_API ustring HTMLSAFE(const wchar_t* text);

} // namespace tarn_kit
