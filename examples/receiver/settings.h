// What the console remembers between runs: the line, the window's place, the reply
// list's font, the log and the language. Kept under the registry key that
// RegGetDefaultKeyName names; an INI file carries the same values between machines.
#pragma once

#include "connection.h"

#include <tarn_kit/settings.h>

struct CSettings
{
    SLineSettings line;
    POINT ptWindow = {CW_USEDEFAULT, CW_USEDEFAULT};
    tarn_kit::CLogFont font;        // empty face name: the dialog's own font
    tarn_kit::ustring strLogFolder; // empty: beside the executable
    bool bHexLog = false;
    tarn_kit::ustring strLastScript;
    tarn_kit::ustring strLanguage = L"en"; // "en" or "de"

    /// HKCU\SOFTWARE\TarnKit\<executable's base name>.
    static tarn_kit::ustring KeyName();

    void Load();
    void Save() const;
    bool Export(const wchar_t* szIniFile) const;
    void Import(const wchar_t* szIniFile);
};
