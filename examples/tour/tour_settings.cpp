// Tour: a window position and a font remembered under the application's default registry key,
// read back and listed; then an INI file with the same kind of settings.
#include "tour.h"

#include <tarn_kit/file.h>
#include <tarn_kit/settings.h>

#include <cstdio>
#include <cwchar>

using namespace tarn_kit;

namespace {

void ShowWindowPosition(const ustring& key, const char* when)
{
    DWORD left = 0, top = 0, width = 0, height = 0, runs = 0;
    ustring title;
    // Each read leaves its default in place when the value is not there.
    const bool found = RegGetValue(HKEY_CURRENT_USER, key, L"Left", left, 100);
    RegGetValue(HKEY_CURRENT_USER, key, L"Top", top, 100);
    RegGetValue(HKEY_CURRENT_USER, key, L"Width", width, 640);
    RegGetValue(HKEY_CURRENT_USER, key, L"Height", height, 480);
    RegGetValue(HKEY_CURRENT_USER, key, L"Runs", runs, 0);
    RegGetValue(HKEY_CURRENT_USER, key, L"Title", title, L"(none)");
    std::printf("  %-10s %s at %lu,%lu size %lux%lu, title %s, runs %lu\n", when,
                found ? "window" : "defaults:", left, top, width, height, U8(title).c_str(), runs);
}

void ListKey(const ustring& key, int depth)
{
    std::vector<ustring> names;
    RegEnumValues(HKEY_CURRENT_USER, key, names);
    // The value names, wrapped to lines of about 80 characters.
    ustring line;
    for (const ustring& name : names) {
        if (!line.empty() && line.size() + name.size() > 80) {
            std::printf("  %*s%s,\n", depth * 2, "", U8(line).c_str());
            line.clear();
        }
        line += (line.empty() ? L"" : L", ") + name;
    }
    std::printf("  %*s%s\n", depth * 2, "",
                U8(names.empty() ? ustring(L"(no values)") : line).c_str());
    RegEnumSubKeys(HKEY_CURRENT_USER, key, names);
    for (const ustring& sub : names) {
        std::printf("  %*s%s\\\n", depth * 2, "", U8(sub).c_str());
        ListKey(key + L"\\" + sub, depth + 1);
    }
}

} // namespace

void TourSettings()
{
    std::printf("\n== Settings\n\n");

    // "SOFTWARE\QOR\tour": the default company, and the executable's name as the product.
    ustring key;
    if (!RegGetDefaultKeyName(nullptr, nullptr, nullptr, key)) {
        std::printf("  the executable's path cannot be read\n");
        return;
    }
    const ustring window = key + L"\\Window", fontKey = key + L"\\Font";
    std::printf("  settings key HKEY_CURRENT_USER\\%s\n", U8(key).c_str());

    // What an earlier run left behind, or the defaults on the first run.
    ShowWindowPosition(window, "before:");

    // Remember where the window was, and the user's font.
    DWORD runs = 0;
    RegGetValue(HKEY_CURRENT_USER, window, L"Runs", runs, 0);
    const LONG left = 120 + LONG(runs % 5) * 20; // the user moved it a little each run
    const RECT rc = {left, 80, left + 640, 560};
    const bool saved =
        RegWriteValue(HKEY_CURRENT_USER, window, L"Left", DWORD(rc.left)) &&
        RegWriteValue(HKEY_CURRENT_USER, window, L"Top", DWORD(rc.top)) &&
        RegWriteValue(HKEY_CURRENT_USER, window, L"Width", DWORD(rc.right - rc.left)) &&
        RegWriteValue(HKEY_CURRENT_USER, window, L"Height", DWORD(rc.bottom - rc.top)) &&
        RegWriteValue(HKEY_CURRENT_USER, window, L"Runs", runs + 1) &&
        RegWriteValue(HKEY_CURRENT_USER, window, L"Title", L"TK-100 Monitor");
    LOGFONTW lf = {};
    lf.lfHeight = -16; // negative: the character height in pixels
    lf.lfWeight = FW_BOLD;
    lf.lfCharSet = DEFAULT_CHARSET;
    std::wcscpy(lf.lfFaceName, L"Tahoma");
    const bool fontSaved = CLogFont(lf).WriteProfile(fontKey);
    std::printf("  saved      window %s, font %s\n", saved ? "yes" : "no",
                fontSaved ? "yes" : "no");

    // Read them back.
    ShowWindowPosition(window, "after:");
    CLogFont font; // all zero, so every field comes from the registry
    font.GetProfile(fontKey);
    std::printf("  font       %s, height %ld, weight %ld\n", U8(font.lfFaceName).c_str(),
                font.lfHeight, font.lfWeight);
    HFONT hFont = ::CreateFontIndirectW(font); // a CLogFont serves as a LOGFONTW
    std::printf("  a GDI font made from it: %s\n", hFont ? "yes" : "no");
    ::DeleteObject(hFont);

    // List the key: values first, then each sub-key (Wine lists names sorted, Windows as
    // stored).
    std::printf("\n  HKEY_CURRENT_USER\\%s\\\n", U8(key).c_str());
    ListKey(key, 1);
    std::printf("  (kept for the next run; delete that key to forget)\n");

    // The same kind of settings in an INI file.
    ustring path;
    CFile::GetTempPathW(path);
    path += L"tarnkit-tour.ini";
    ::DeleteFileW(path);
    CIniFile ini(path);
    ini.WriteString(L"Receiver", L"Name", L"TK-100");
    ini.WriteInt(L"Receiver", L"Port", 5);
    ini.WriteString(L"Commands", L"Identify", L"*IDN?");
    ini.WriteString(L"Commands", L"Tune", L"FREQ 100.5");
    std::printf("\n  %s\n", U8(path).c_str());
    std::vector<ustring> sections, entries;
    ini.EnumSections(sections);
    for (const ustring& section : sections) {
        std::printf("  [%s]\n", U8(section).c_str());
        ini.EnumEntries(section, entries);
        for (const ustring& entry : entries)
            std::printf("    %s=%s\n", U8(entry).c_str(),
                        U8(ini.GetString(section, entry, nullptr)).c_str());
    }
    std::printf("  Port as a number: %d; a missing entry gives its default: %s\n",
                ini.GetInt(L"Receiver", L"Port", 0),
                U8(ini.GetString(L"Receiver", L"Baud", L"9600")).c_str());
    // Flush the platform's cache of the file before deleting it.
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, path);
    ::DeleteFileW(path);

    // For callers that read INI text themselves.
    ustring name, value;
    for (const wchar_t* line : {L"[Fonts] ; display", L"Size=12", L"Path=a=b"}) {
        const CIniFile::EType type = CIniFile::TranslateSection(line, name, value);
        std::printf("  TranslateSection(\"%s\"): %s \"%s\" \"%s\"\n", U8(line).c_str(),
                    type == CIniFile::eSection ? "section" : "entry", U8(name).c_str(),
                    U8(value).c_str());
    }
}
