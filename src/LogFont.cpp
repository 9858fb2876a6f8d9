// CLogFont: a LOGFONTW kept under HKEY_CURRENT_USER, one named value per field.
#include <tarn_kit/settings.h>

#include <cstring>
#include <cwchar>

namespace tarn_kit {

namespace {

// The face name as text; a field without its terminator ends at the array's end.
ustring FaceName(const WCHAR (&face)[LF_FACESIZE])
{
    std::size_t length = 0;
    while (length < LF_FACESIZE && face[length])
        ++length;
    return ustring(face, length);
}

} // namespace

CLogFont::CLogFont() noexcept
{
    std::memset(static_cast<void*>(this), 0, sizeof *this);
}

CLogFont::CLogFont(const LOGFONTW& font) noexcept
{
    *this = font;
}

CLogFont& CLogFont::operator=(const LOGFONTW& font) noexcept
{
    std::memcpy(static_cast<void*>(this), &font, sizeof font);
    return *this;
}

CLogFont::operator LOGFONTW() const noexcept
{
    LOGFONTW font;
    std::memcpy(&font, this, sizeof font);
    return font;
}

CLogFont::operator LOGFONTW*() noexcept
{
    return reinterpret_cast<LOGFONTW*>(this);
}

bool CLogFont::GetProfile(const wchar_t* subkey)
{
    // Each field is its own default, so whatever is missing or unreadable stays as it was.
    lfHeight = GetProfileIntW(subkey, L"lfHeight", lfHeight);
    lfWidth = GetProfileIntW(subkey, L"lfWidth", lfWidth);
    lfEscapement = GetProfileIntW(subkey, L"lfEscapement", lfEscapement);
    lfOrientation = GetProfileIntW(subkey, L"lfOrientation", lfOrientation);
    lfWeight = GetProfileIntW(subkey, L"lfWeight", lfWeight);
    lfItalic = static_cast<BYTE>(GetProfileIntW(subkey, L"lfItalic", lfItalic));
    lfUnderline = static_cast<BYTE>(GetProfileIntW(subkey, L"lfUnderline", lfUnderline));
    lfStrikeOut = static_cast<BYTE>(GetProfileIntW(subkey, L"lfStrikeOut", lfStrikeOut));
    lfCharSet = static_cast<BYTE>(GetProfileIntW(subkey, L"lfCharSet", lfCharSet));
    lfOutPrecision = static_cast<BYTE>(GetProfileIntW(subkey, L"lfOutPrecision", lfOutPrecision));
    lfClipPrecision =
        static_cast<BYTE>(GetProfileIntW(subkey, L"lfClipPrecision", lfClipPrecision));
    lfQuality = static_cast<BYTE>(GetProfileIntW(subkey, L"lfQuality", lfQuality));
    lfPitchAndFamily =
        static_cast<BYTE>(GetProfileIntW(subkey, L"lfPitchAndFamily", lfPitchAndFamily));
    const ustring face = GetProfileStringW(subkey, L"lfFaceName", FaceName(lfFaceName).c_str());
    // A longer stored name is cut so that the field keeps its terminator.
    const std::size_t length = face.size() < LF_FACESIZE ? face.size() : LF_FACESIZE - 1;
    std::wmemset(lfFaceName, L'\0', LF_FACESIZE);
    std::wmemcpy(lfFaceName, face.data(), length);
    return true;
}

bool CLogFont::WriteProfile(const wchar_t* subkey) const
{
    return WriteProfileInt(subkey, L"lfHeight", lfHeight) &&
           WriteProfileInt(subkey, L"lfWidth", lfWidth) &&
           WriteProfileInt(subkey, L"lfEscapement", lfEscapement) &&
           WriteProfileInt(subkey, L"lfOrientation", lfOrientation) &&
           WriteProfileInt(subkey, L"lfWeight", lfWeight) &&
           WriteProfileInt(subkey, L"lfItalic", lfItalic) &&
           WriteProfileInt(subkey, L"lfUnderline", lfUnderline) &&
           WriteProfileInt(subkey, L"lfStrikeOut", lfStrikeOut) &&
           WriteProfileInt(subkey, L"lfCharSet", lfCharSet) &&
           WriteProfileInt(subkey, L"lfOutPrecision", lfOutPrecision) &&
           WriteProfileInt(subkey, L"lfClipPrecision", lfClipPrecision) &&
           WriteProfileInt(subkey, L"lfQuality", lfQuality) &&
           WriteProfileInt(subkey, L"lfPitchAndFamily", lfPitchAndFamily) &&
           WriteProfileStringW(subkey, L"lfFaceName", FaceName(lfFaceName).c_str());
}

int CLogFont::GetProfileIntW(const wchar_t* subkey, const wchar_t* name, int def) const
{
    DWORD value = 0;
    // The stored bit pattern, so negative numbers come back as they went in.
    return RegGetValue(HKEY_CURRENT_USER, subkey, name, value, static_cast<DWORD>(def))
               ? static_cast<int>(value)
               : def;
}

ustring CLogFont::GetProfileStringW(const wchar_t* subkey, const wchar_t* name,
                                    const wchar_t* def) const
{
    ustring value;
    return RegGetValue(HKEY_CURRENT_USER, subkey, name, value, def) ? value : ustring(def);
}

bool CLogFont::WriteProfileInt(const wchar_t* subkey, const wchar_t* name, int value) const
{
    return RegWriteValue(HKEY_CURRENT_USER, subkey, name, static_cast<DWORD>(value));
}

bool CLogFont::WriteProfileStringW(const wchar_t* subkey, const wchar_t* name,
                                   const wchar_t* value) const
{
    return RegWriteValue(HKEY_CURRENT_USER, subkey, name, value);
}

} // namespace tarn_kit
