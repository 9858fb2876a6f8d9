// Settings: the registry, INI files and a font choice.
//
// Functions and classes in this file:
//   RegGetValue ... RegGetDefaultKeyName - single registry values, keys and their enumeration
//   CIniFile  - one INI file through the platform's private-profile functions
//   CLogFont  - a LOGFONTW that stores itself in the registry
//
// Nothing here throws, apart from an allocation failure: every platform failure is a false
// result. Each registry function opens the key it needs and closes it before it returns.
//
// <windows.h> maps RegGetValue to RegGetValueW or RegGetValueA; the macro is removed here so
// that tarn_kit::RegGetValue keeps its name. Call the platform's function as RegGetValueW.
#pragma once

#include "config.h"
#include "ustring.h"

#include <cstddef>
#include <type_traits>
#include <vector>

#ifdef RegGetValue
#undef RegGetValue
#endif

namespace tarn_kit {

// Registry. A null or empty value name addresses the key's default value. The write functions
// create missing keys on the way; the read functions store the default in the output first, so
// a missing key, a missing value or a wrong type leaves the default there.

/// A REG_SZ or REG_EXPAND_SZ text (unexpanded), cut at its first zero character.
TARNKIT_API bool RegGetValue(HKEY root, const wchar_t* subkey, const wchar_t* name, ustring& value,
                             const wchar_t* def);
/// A REG_DWORD of exactly 4 bytes; any other type or size fails.
TARNKIT_API bool RegGetValue(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD& value,
                             DWORD def);
/// A REG_SZ with its terminating zero stored; a null value is written as the empty text.
TARNKIT_API bool RegWriteValue(HKEY root, const wchar_t* subkey, const wchar_t* name,
                               const wchar_t* value);
TARNKIT_API bool RegWriteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD value);
/// Creates the key when it is missing (and then fails, since the value is missing too).
TARNKIT_API bool RegDeleteValueW(HKEY root, const wchar_t* subkey, const wchar_t* name);
/// Creates every missing key of the path.
TARNKIT_API bool RegCreateKeyW(HKEY root, const wchar_t* subkey);
/// Fails for a key that still has sub-keys, and for a null subkey. Same parameters as the
/// platform's function: call it qualified, tarn_kit::RegDeleteKeyW.
TARNKIT_API bool RegDeleteKeyW(HKEY root, const wchar_t* subkey);
/// Names in the platform's index order; a name of 256 or more characters, or any other error,
/// ends the list early. False, with an empty list, only when the key cannot be opened.
TARNKIT_API bool RegEnumSubKeys(HKEY root, const wchar_t* subkey, std::vector<ustring>& names);
TARNKIT_API bool RegEnumValues(HKEY root, const wchar_t* subkey, std::vector<ustring>& names);
/// "SOFTWARE\company\product[\section]", relative to the root key the caller chooses. A null
/// company is "QOR"; a null product is the executable's base name. False, with an empty name,
/// only when the executable's path cannot be read.
TARNKIT_API bool RegGetDefaultKeyName(const wchar_t* company, const wchar_t* product,
                                      const wchar_t* section, ustring& keyName);

// One INI file by name, read and written through the private-profile functions, so the
// platform's parsing, caching and locking apply. A name without a path means the Windows folder.
class TARNKIT_API CIniFile
{
public:
    /// What TranslateSection found in a line; eEmpty is never returned.
    enum EType { eSection = 0, eEntry = 1, eEmpty = 2 };

    // Construction
    explicit CIniFile(const wchar_t* fileName);
    virtual ~CIniFile();

    // Reading; the buffers grow until the platform's result fits
    /// Section names in file order; none for a missing or empty file.
    void EnumSections(std::vector<ustring>& sections);
    /// The entry names of a section (the text before each line's first "="); values are not read.
    void EnumEntries(const wchar_t* section, std::vector<ustring>& entries);
    int GetInt(const wchar_t* section, const wchar_t* key, int def);
    /// The whole value, or def when the entry is missing.
    ustring GetString(const wchar_t* section, const wchar_t* key, const wchar_t* def);

    // Writing
    bool WriteInt(const wchar_t* section, const wchar_t* key, int value);
    bool WriteString(const wchar_t* section, const wchar_t* key, const wchar_t* value);
    bool DeleteEntry(const wchar_t* section, const wchar_t* key);
    bool DeleteSection(const wchar_t* section);

    /// Classifies one line of INI text: "[name]" (text around the brackets ignored) is a
    /// section, anything else an entry "name=value" with the value ending at a second "=".
    /// A ";" starts a comment; nothing is trimmed.
    static EType TranslateSection(const ustring& line, ustring& name, ustring& value);

private:
    ustring m_strFileName;
};

// A LOGFONTW, field for field, that can store itself under HKEY_CURRENT_USER\subkey as one
// named value per field ("lfHeight" ... "lfFaceName").
class TARNKIT_API CLogFont
{
public:
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];

    // Construction
    /// Every byte 0: height 0, empty face name.
    CLogFont() noexcept;
    CLogFont(const LOGFONTW& font) noexcept;
    CLogFont& operator=(const LOGFONTW& font) noexcept;
    CLogFont& operator=(const CLogFont& other) noexcept = default;

    // Conversion
    operator LOGFONTW() const noexcept;
    /// The object itself, for the platform's font functions.
    operator LOGFONTW*() noexcept;

    // Registry
    /// Reads every stored field; a missing key or value, or one of the wrong type, leaves the
    /// field as it was. Numbers are REG_DWORD bit patterns (bytes: the low 8 bits); a stored
    /// face name is cut to 31 characters. Always true.
    bool GetProfile(const wchar_t* subkey);
    /// Writes the thirteen numbers as REG_DWORD, then the face name as REG_SZ; false at the
    /// first failure.
    bool WriteProfile(const wchar_t* subkey) const;

private:
    int GetProfileIntW(const wchar_t* subkey, const wchar_t* name, int def) const;
    ustring GetProfileStringW(const wchar_t* subkey, const wchar_t* name, const wchar_t* def) const;
    bool WriteProfileInt(const wchar_t* subkey, const wchar_t* name, int value) const;
    bool WriteProfileStringW(const wchar_t* subkey, const wchar_t* name,
                             const wchar_t* value) const;
};

// A CLogFont pointer serves as a LOGFONTW pointer: the same fields at the same places.
static_assert(sizeof(CLogFont) == sizeof(LOGFONTW), "CLogFont must be a LOGFONTW");
static_assert(alignof(CLogFont) == alignof(LOGFONTW), "CLogFont must be a LOGFONTW");
static_assert(std::is_standard_layout<CLogFont>::value, "CLogFont must be a LOGFONTW");
static_assert(std::is_trivially_copyable<CLogFont>::value, "CLogFont must be a LOGFONTW");
#define TARNKIT_SAME_FIELD(f)                                                                      \
    static_assert(offsetof(CLogFont, f) == offsetof(LOGFONTW, f) &&                                \
                      sizeof(CLogFont::f) == sizeof(LOGFONTW::f),                                  \
                  "CLogFont::" #f " must match LOGFONTW")
TARNKIT_SAME_FIELD(lfHeight);
TARNKIT_SAME_FIELD(lfWidth);
TARNKIT_SAME_FIELD(lfEscapement);
TARNKIT_SAME_FIELD(lfOrientation);
TARNKIT_SAME_FIELD(lfWeight);
TARNKIT_SAME_FIELD(lfItalic);
TARNKIT_SAME_FIELD(lfUnderline);
TARNKIT_SAME_FIELD(lfStrikeOut);
TARNKIT_SAME_FIELD(lfCharSet);
TARNKIT_SAME_FIELD(lfOutPrecision);
TARNKIT_SAME_FIELD(lfClipPrecision);
TARNKIT_SAME_FIELD(lfQuality);
TARNKIT_SAME_FIELD(lfPitchAndFamily);
TARNKIT_SAME_FIELD(lfFaceName);
#undef TARNKIT_SAME_FIELD

} // namespace tarn_kit
