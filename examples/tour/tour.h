// The tour's sections, one per family, each in its own file.
#pragma once

#include <tarn_kit/ustring.h>

#include <string>

/// A text as UTF-8 for printf.
inline std::string U8(const tarn_kit::ustring& s)
{
    return tarn_kit::ustring::WideCharToMultiByte(s, CP_UTF8, 0);
}

void TourStrings();
void TourFiles();
void TourTime();
void TourNumerics();
void TourLog();
void TourSettings();
/// Shows the library's message box: needs a display; bAuto presses OK by itself.
void TourDialogs(bool bAuto);
void TourComm();
