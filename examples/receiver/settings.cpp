// Settings in the registry and in INI files. Both stores hold the same named values;
// one table lists them, so a new setting is one new row.
#include "settings.h"

#include <functional>

using namespace tarn_kit;

namespace {

// A value read or written as text, whatever its type in the settings.
struct SField
{
    const wchar_t* szName;
    std::function<ustring(const CSettings&)> get;
    std::function<void(CSettings&, const ustring&)> set;
};

template <class T>
SField Number(const wchar_t* szName, T SLineSettings::*member)
{
    return {szName, [member](const CSettings& s) { return Decimal(s.line.*member); },
            [member](CSettings& s, const ustring& v) {
                if (!v.empty())
                    s.line.*member = T(wcstoul(v.c_str(), nullptr, 10));
            }};
}

const std::vector<SField>& Fields()
{
    static const std::vector<SField> fields = {
        {L"Connection",
         [](const CSettings& s) { return ustring(s.line.bTcp ? L"TCP" : L"Serial"); },
         [](CSettings& s, const ustring& v) {
             if (!v.empty())
                 s.line.bTcp = v.compareNoCase(L"Serial") != 0;
         }},
        {L"Port", [](const CSettings& s) { return s.line.strPort; },
         [](CSettings& s, const ustring& v) {
             if (!v.empty())
                 s.line.strPort = v;
         }},
        Number(L"Baud", &SLineSettings::dwBaud),
        Number(L"DataBits", &SLineSettings::nDataBits),
        Number(L"Parity", &SLineSettings::nParity),
        Number(L"StopBits", &SLineSettings::nStopBits),
        {L"Host", [](const CSettings& s) { return s.line.strHost; },
         [](CSettings& s, const ustring& v) {
             if (!v.empty())
                 s.line.strHost = v;
         }},
        Number(L"TcpPort", &SLineSettings::dwTcpPort),
        Number(L"Timeout", &SLineSettings::dwTimeoutMs),
        {L"LogFolder", [](const CSettings& s) { return s.strLogFolder; },
         [](CSettings& s, const ustring& v) { s.strLogFolder = v; }},
        {L"HexLog", [](const CSettings& s) { return ustring(s.bHexLog ? L"1" : L"0"); },
         [](CSettings& s, const ustring& v) { s.bHexLog = v == L"1"; }},
        {L"LastScript", [](const CSettings& s) { return s.strLastScript; },
         [](CSettings& s, const ustring& v) { s.strLastScript = v; }},
        {L"Language", [](const CSettings& s) { return s.strLanguage; },
         [](CSettings& s, const ustring& v) {
             if (!v.empty())
                 s.strLanguage = v;
         }},
    };
    return fields;
}

const wchar_t kSection[] = L"Receiver";

} // namespace

ustring CSettings::KeyName()
{
    ustring key;
    RegGetDefaultKeyName(L"TarnKit", nullptr, nullptr, key);
    return key;
}

void CSettings::Load()
{
    const ustring key = KeyName();
    for (const SField& f : Fields()) {
        ustring value;
        if (RegGetValue(HKEY_CURRENT_USER, key.c_str(), f.szName, value, L""))
            f.set(*this, value);
    }
    DWORD x = DWORD(ptWindow.x), y = DWORD(ptWindow.y);
    RegGetValue(HKEY_CURRENT_USER, key.c_str(), L"WindowX", x, x);
    RegGetValue(HKEY_CURRENT_USER, key.c_str(), L"WindowY", y, y);
    ptWindow = {LONG(x), LONG(y)};
    font.GetProfile((key + L"\\Font").c_str());
}

void CSettings::Save() const
{
    const ustring key = KeyName();
    for (const SField& f : Fields())
        RegWriteValue(HKEY_CURRENT_USER, key.c_str(), f.szName, f.get(*this).c_str());
    RegWriteValue(HKEY_CURRENT_USER, key.c_str(), L"WindowX", DWORD(ptWindow.x));
    RegWriteValue(HKEY_CURRENT_USER, key.c_str(), L"WindowY", DWORD(ptWindow.y));
    if (font.lfFaceName[0])
        font.WriteProfile((key + L"\\Font").c_str());
}

bool CSettings::Export(const wchar_t* szIniFile) const
{
    CIniFile ini(szIniFile);
    for (const SField& f : Fields())
        if (!ini.WriteString(kSection, f.szName, f.get(*this).c_str()))
            return false;
    if (font.lfFaceName[0])
        return ini.WriteString(L"Font", L"Face", font.lfFaceName) &&
               ini.WriteInt(L"Font", L"Height", font.lfHeight) &&
               ini.WriteInt(L"Font", L"Weight", font.lfWeight);
    return true;
}

void CSettings::Import(const wchar_t* szIniFile)
{
    CIniFile ini(szIniFile);
    for (const SField& f : Fields()) {
        const wchar_t kMissing[] = L"\x1\x2";
        const ustring value = ini.GetString(kSection, f.szName, kMissing);
        if (value != kMissing)
            f.set(*this, value);
    }
    const ustring face = ini.GetString(L"Font", L"Face", L"");
    if (!face.empty() && face.size() < LF_FACESIZE) {
        font = CLogFont();
        wcscpy(font.lfFaceName, face.c_str());
        font.lfHeight = ini.GetInt(L"Font", L"Height", -12);
        font.lfWeight = ini.GetInt(L"Font", L"Weight", FW_NORMAL);
        font.lfCharSet = DEFAULT_CHARSET;
    }
}
