// Settings: the registry helpers, CIniFile and CLogFont against the platform's own registry
// and private-profile functions. Each test has a scratch key under HKEY_CURRENT_USER and a
// folder of its own; values go in and come out through the raw calls as the judge.
#include "test_common.h"

#include <tarn_kit/settings.h>

#include <climits>
#include <cstring>
#include <fstream>

using namespace tarn_kit;

namespace {

std::wstring Repeat(std::size_t n, const wchar_t* alphabet = L"abcdefghijklmnopqrstuvwxyz0123")
{
    std::wstring s;
    for (std::size_t i = 0; i < n; ++i)
        s += alphabet[i % std::wcslen(alphabet)];
    return s;
}

struct RawValue
{
    LONG status;
    DWORD type;
    std::string bytes;
};

RawValue RawGet(const std::wstring& key, const wchar_t* name)
{
    RawValue v = {ERROR_SUCCESS, 0, {}};
    HKEY h = nullptr;
    DWORD size = 0;
    v.status = ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &h);
    if (v.status == ERROR_SUCCESS &&
        (v.status = ::RegQueryValueExW(h, name, nullptr, &v.type, nullptr, &size)) == 0) {
        v.bytes.resize(size);
        v.status = ::RegQueryValueExW(h, name, nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(&v.bytes[0]), &size);
    }
    ::RegCloseKey(h);
    return v;
}

bool RawKeyExists(const std::wstring& key)
{
    HKEY h = nullptr;
    LONG status = ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h);
    ::RegCloseKey(h);
    return status == ERROR_SUCCESS;
}

LONG RawSet(const std::wstring& key, const wchar_t* name, DWORD type, const void* data,
            std::size_t size)
{
    HKEY h = nullptr;
    LONG status = ::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                    nullptr, &h, nullptr);
    if (status == ERROR_SUCCESS)
        status = ::RegSetValueExW(h, name, 0, type, static_cast<const BYTE*>(data),
                                  static_cast<DWORD>(size));
    ::RegCloseKey(h);
    return status;
}

LONG RawSetDword(const std::wstring& key, const wchar_t* name, DWORD n)
{
    return RawSet(key, name, REG_DWORD, &n, 4);
}

std::string Bytes(const std::wstring& text) // with its terminator
{
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2);
}

// Every name in the platform's index order, with buffers large enough for any name.
std::vector<ustring> RawEnum(const std::wstring& key, bool values)
{
    std::vector<ustring> names;
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return names;
    std::vector<wchar_t> name(32768);
    for (DWORD i = 0;; ++i) {
        DWORD n = static_cast<DWORD>(name.size());
        LONG status = values ? ::RegEnumValueW(h, i, name.data(), &n, 0, 0, 0, 0)
                             : ::RegEnumKeyExW(h, i, name.data(), &n, 0, 0, 0, 0);
        if (status != ERROR_SUCCESS)
            break;
        names.emplace_back(name.data(), n);
    }
    ::RegCloseKey(h);
    return names;
}

// The library's contract: the platform's order, cut before the first name of 256 characters.
std::vector<ustring> CutAtLongName(std::vector<ustring> names)
{
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i].size() >= 256)
            names.resize(i);
    return names;
}

class SettingsTest : public tarn_kit_test::TempDirTest
{
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        static unsigned int counter = 0;
        m_key = L"Software\\TarnKit Test\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_key.c_str());
        ASSERT_TRUE(RegCreateKeyW(HKEY_CURRENT_USER, m_key.c_str()));
        m_ini = Path(L"settings.ini");
    }
    // Runs after a failed assertion too.
    void TearDown() override
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_key.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TarnKit Test"); // only once empty
        TempDirTest::TearDown();
    }
    std::wstring Key(const wchar_t* below) const { return m_key + L"\\" + below; }
    // A volatile key: the platform refuses to create a lasting key below it.
    std::wstring VolatileKey()
    {
        HKEY h = nullptr;
        EXPECT_EQ(ERROR_SUCCESS,
                  ::RegCreateKeyExW(HKEY_CURRENT_USER, Key(L"volatile").c_str(), 0, nullptr,
                                    REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &h, nullptr));
        ::RegCloseKey(h);
        return Key(L"volatile");
    }
    std::wstring RawIniString(const wchar_t* section, const wchar_t* key, const wchar_t* def)
    {
        std::vector<wchar_t> buffer(1 << 16);
        ::GetPrivateProfileStringW(section, key, def, buffer.data(), 1 << 16, m_ini.c_str());
        return buffer.data();
    }
    std::vector<ustring> RawIniList(const wchar_t* section) // names, or a section's lines
    {
        std::vector<wchar_t> buffer(1 << 16);
        if (section)
            ::GetPrivateProfileSectionW(section, buffer.data(), 1 << 16, m_ini.c_str());
        else
            ::GetPrivateProfileSectionNamesW(buffer.data(), 1 << 16, m_ini.c_str());
        std::vector<ustring> list;
        ustring::split(buffer.data(), list);
        return list;
    }

    std::wstring m_key, m_ini;
};

} // namespace

// Raw bytes in, the library's values out, each value read both ways: text is REG_SZ or
// REG_EXPAND_SZ up to its first zero, with or without a stored terminator, of any length; a
// number is a REG_DWORD of exactly 4 bytes, the type checked before the size. Everything else
// is false with the default kept.
TEST_F(SettingsTest, ReadsTakeTheRawValueOfTheirOwnTypeOnly)
{
    const std::wstring big = Repeat(40000), twoStrings(L"ab\0cd\0\0", 7);
    const std::string dword("\xF3\xFF\xFF\xFF\1\2\3\4", 8), four = dword.substr(0, 4);
    const struct
    {
        DWORD type;
        std::string bytes;
        const wchar_t* text; // nullptr: not a text
        bool number;
    } cases[] = {
        {REG_SZ, Bytes(L"TK-100"), L"TK-100", false},
        {REG_SZ, Bytes(L"TK-100").substr(0, 12), L"TK-100", false}, // no terminator stored
        {REG_SZ, Bytes(L"a"), L"a", false},                         // 4 bytes, yet a text
        {REG_SZ, Bytes(L""), L"", false},                           // just the terminator
        {REG_SZ, "", L"", false},                                   // nothing at all
        {REG_SZ, tarn_kit_test::Utf16(twoStrings), L"ab", false},
        {REG_EXPAND_SZ, Bytes(L"%TEMP%\\tk"), L"%TEMP%\\tk", false}, // not expanded
        {REG_SZ, Bytes(L"Z\x00FCrich \x20AC"), L"Z\x00FCrich \x20AC", false},
        {REG_SZ, Bytes(big), big.c_str(), false},
        {REG_SZ, Bytes(L"abcd").substr(0, 7), nullptr, false}, // half a character at the end
        {REG_MULTI_SZ, tarn_kit_test::Utf16(twoStrings), nullptr, false},
        {REG_DWORD, four, nullptr, true},
        {REG_DWORD, dword.substr(0, 2), nullptr, false},
        {REG_DWORD, dword, nullptr, false},
        {REG_DWORD, "", nullptr, false},
        {REG_BINARY, four, nullptr, false},
        {REG_DWORD_BIG_ENDIAN, four, nullptr, false},
        {REG_QWORD, dword, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.bytes.size());
        ASSERT_EQ(ERROR_SUCCESS, RawSet(m_key, L"v", c.type, c.bytes.data(), c.bytes.size()));
        ustring text(L"stale");
        DWORD n = 1;
        EXPECT_EQ(c.text != nullptr,
                  RegGetValue(HKEY_CURRENT_USER, m_key.c_str(), L"v", text, L"def"));
        EXPECT_EQ(ustring(c.text ? c.text : L"def"), text);
        EXPECT_EQ(c.number, RegGetValue(HKEY_CURRENT_USER, m_key.c_str(), L"v", n, 77));
        EXPECT_EQ(c.number ? 0xFFFFFFF3u : 77u, n);
    }
    ustring value(L"stale"), other(L"stale");
    DWORD n = 1;
    EXPECT_FALSE(RegGetValue(HKEY_CURRENT_USER, m_key.c_str(), L"missing", value, nullptr) ||
                 RegGetValue(HKEY_CURRENT_USER, Key(L"missing").c_str(), L"v", other, L"def") ||
                 RegGetValue(HKEY_CURRENT_USER, Key(L"missing").c_str(), L"n", n, 5));
    EXPECT_TRUE(value == L"" && other == L"def" && n == 5);
}

// The library's values as the raw calls see them: REG_SZ with the terminator stored, REG_DWORD
// of 4 bytes; missing keys are created; a null or empty name is the default value.
TEST_F(SettingsTest, WritesReadBackRawAndCreateMissingKeys)
{
    const std::wstring deep = Key(L"a\\b\\c");
    for (const std::wstring& text : {std::wstring(), std::wstring(L"FREQ 100.5"),
                                     std::wstring(L"Z\x00FCrich\\\x20AC"), Repeat(70000)}) {
        ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, deep.c_str(), L"s", text.c_str()));
        const RawValue raw = RawGet(deep, L"s");
        EXPECT_TRUE(raw.status == ERROR_SUCCESS && raw.type == REG_SZ && raw.bytes == Bytes(text));
    }
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, deep.c_str(), L"s", nullptr));
    EXPECT_EQ(Bytes(L""), RawGet(deep, L"s").bytes);

    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, Key(L"d").c_str(), nullptr, L"x"));
    EXPECT_EQ(Bytes(L"x"), RawGet(Key(L"d"), nullptr).bytes);
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, Key(L"d").c_str(), L"", 0xFFFFFFFEu));
    const RawValue raw = RawGet(Key(L"d"), nullptr);
    EXPECT_TRUE(raw.type == REG_DWORD && raw.bytes == std::string("\xFE\xFF\xFF\xFF", 4));
    DWORD n = 0;
    ustring s;
    EXPECT_TRUE(RegGetValue(HKEY_CURRENT_USER, Key(L"d").c_str(), nullptr, n, 0) &&
                n == 0xFFFFFFFEu);
    EXPECT_FALSE(RegGetValue(HKEY_CURRENT_USER, Key(L"d").c_str(), L"", s, L"old")); // now a number
    EXPECT_EQ(L"old", s);
}

TEST_F(SettingsTest, DeleteAndCreateKeysAndValues)
{
    ASSERT_EQ(ERROR_SUCCESS, RawSetDword(m_key, L"n", 1));
    EXPECT_TRUE(tarn_kit::RegDeleteValueW(HKEY_CURRENT_USER, m_key.c_str(), L"n"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RawGet(m_key, L"n").status);
    EXPECT_FALSE(tarn_kit::RegDeleteValueW(HKEY_CURRENT_USER, m_key.c_str(), L"n"));
    // A missing key is created on the way, then the deletion fails.
    EXPECT_FALSE(tarn_kit::RegDeleteValueW(HKEY_CURRENT_USER, Key(L"new").c_str(), L"n"));
    EXPECT_TRUE(RawKeyExists(Key(L"new")));

    ASSERT_TRUE(tarn_kit::RegCreateKeyW(HKEY_CURRENT_USER, Key(L"a\\b\\c").c_str()));
    EXPECT_TRUE(tarn_kit::RegCreateKeyW(HKEY_CURRENT_USER, Key(L"a\\b\\c").c_str())); // exists
    EXPECT_FALSE(tarn_kit::RegDeleteKeyW(HKEY_CURRENT_USER, Key(L"a").c_str())); // has sub-keys
    EXPECT_TRUE(RawKeyExists(Key(L"a\\b\\c")));
    EXPECT_TRUE(tarn_kit::RegDeleteKeyW(HKEY_CURRENT_USER, Key(L"a\\b\\c").c_str()));
    EXPECT_FALSE(RawKeyExists(Key(L"a\\b\\c")));
    EXPECT_FALSE(tarn_kit::RegDeleteKeyW(HKEY_CURRENT_USER, Key(L"a\\b\\c").c_str()));
    EXPECT_FALSE(tarn_kit::RegDeleteKeyW(HKEY_CURRENT_USER, nullptr));
    EXPECT_TRUE(RawKeyExists(Key(L"a\\b"))); // the parent stays
}

// Every failure of the platform is a false result with the default in the output.
TEST_F(SettingsTest, PlatformFailuresAreFalse)
{
    const HKEY bad = nullptr;
    ustring s(L"stale");
    DWORD n = 1;
    std::vector<ustring> names(3);
    EXPECT_FALSE(RegGetValue(bad, L"x", L"v", s, L"def") || RegGetValue(bad, L"x", L"v", n, 9) ||
                 RegWriteValue(bad, L"x", L"v", L"t") || RegWriteValue(bad, L"x", L"v", 1u) ||
                 tarn_kit::RegDeleteValueW(bad, L"x", L"v") || tarn_kit::RegCreateKeyW(bad, L"x") ||
                 tarn_kit::RegDeleteKeyW(bad, L"x") || RegEnumValues(bad, L"x", names));
    EXPECT_TRUE(s == L"def" && n == 9 && names.empty());

    // Below a volatile key the platform refuses lasting keys: the writes fail, nothing is made.
    const std::wstring child = VolatileKey() + L"\\child";
    HKEY h = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, child.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                          nullptr) == ERROR_SUCCESS) {
        ::RegCloseKey(h);
        GTEST_SKIP() << "the platform creates lasting keys below volatile ones";
    }
    EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, child.c_str(), L"v", L"t") ||
                 RegWriteValue(HKEY_CURRENT_USER, child.c_str(), L"v", 1u) ||
                 tarn_kit::RegCreateKeyW(HKEY_CURRENT_USER, child.c_str()) ||
                 CLogFont().WriteProfile(child.c_str()));
    EXPECT_TRUE(RawEnum(VolatileKey(), false).empty());
}

// Names come in the platform's index order and end at the first one of 256 or more characters.
TEST_F(SettingsTest, EnumerationTakesThePlatformsOrderUpToALongName)
{
    std::vector<ustring> names(2, L"stale");
    EXPECT_TRUE(RegEnumSubKeys(HKEY_CURRENT_USER, m_key.c_str(), names) && names.empty());
    names.assign(2, L"stale");
    EXPECT_FALSE(RegEnumValues(HKEY_CURRENT_USER, Key(L"missing").c_str(), names));
    EXPECT_TRUE(names.empty());

    const std::wstring m255 = L"m" + Repeat(254), m256 = L"m" + Repeat(255);
    for (const wchar_t* name :
         {L"zeta", L"Alpha", L"", m256.c_str(), L"beta", L"Gamma", m255.c_str(), L"delta"})
        ASSERT_EQ(ERROR_SUCCESS, RawSetDword(m_key, name, 1));
    const std::vector<ustring> raw = RawEnum(m_key, true);
    ASSERT_EQ(8u, raw.size());
    EXPECT_TRUE(RegEnumValues(HKEY_CURRENT_USER, m_key.c_str(), names));
    EXPECT_EQ(CutAtLongName(raw), names);
    EXPECT_LT(names.size(), 7u) << "the long name was the last one; the early end is untested";

    for (const wchar_t* name : {L"zeta", L"Alpha", m255.c_str(), L"beta"})
        ASSERT_TRUE(tarn_kit::RegCreateKeyW(HKEY_CURRENT_USER, Key(name).c_str()));
    // Windows refuses key names of 256 characters; where they exist, they end the list too.
    tarn_kit::RegCreateKeyW(HKEY_CURRENT_USER, Key(m256.c_str()).c_str());
    EXPECT_TRUE(RegEnumSubKeys(HKEY_CURRENT_USER, m_key.c_str(), names));
    EXPECT_EQ(CutAtLongName(RawEnum(m_key, false)), names);
    EXPECT_GE(names.size(), 1u);
}

TEST(RegGetDefaultKeyNameTest, CompanyProductAndSection)
{
    wchar_t path[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    std::wstring exe = std::wcsrchr(path, L'\\') + 1;
    exe.erase(exe.rfind(L'.'));
    const struct
    {
        const wchar_t *company, *product, *section;
        std::wstring expected;
    } cases[] = {{nullptr, nullptr, nullptr, L"SOFTWARE\\QOR\\" + exe},
                 {nullptr, L"Tool", L"Fonts", L"SOFTWARE\\QOR\\Tool\\Fonts"},
                 {L"TK Labs", nullptr, L"Window", L"SOFTWARE\\TK Labs\\" + exe + L"\\Window"},
                 {L"TK Labs", L"Field", nullptr, L"SOFTWARE\\TK Labs\\Field"}};
    for (const auto& c : cases) {
        ustring name(L"stale");
        EXPECT_TRUE(RegGetDefaultKeyName(c.company, c.product, c.section, name));
        EXPECT_EQ(ustring(c.expected), name);
    }
}

// 10,000 read/write cycles over every function, failures included, leave no key handle open.
TEST_F(SettingsTest, NoKeyHandleOutlivesACall)
{
    // The judge sees keys: an open key takes the slot a new event would get.
    HANDLE before = ::CreateEventW(nullptr, FALSE, FALSE, nullptr), after;
    HKEY open = nullptr;
    ASSERT_TRUE(::CloseHandle(before) &&
                !::RegOpenKeyExW(HKEY_CURRENT_USER, m_key.c_str(), 0, KEY_READ, &open));
    EXPECT_NE(before, after = ::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ::CloseHandle(after);
    ::RegCloseKey(open);

    const std::wstring sub = Key(L"sub"), child = VolatileKey() + L"\\child";
    const wchar_t* const key = m_key.c_str();
    CLogFont font;
    int round = 0;
    tarn_kit_test::ExpectNoHandleLeak([&] {
        for (DWORD i = 0; i < 10; ++i) { // the read/write cycles
            ustring s;
            DWORD n = 0;
            EXPECT_TRUE(i % 2 ? RegWriteValue(HKEY_CURRENT_USER, key, L"n", i) &&
                                    RegGetValue(HKEY_CURRENT_USER, key, L"n", n, 0) && n == i
                              : RegWriteValue(HKEY_CURRENT_USER, key, L"s", L"text") &&
                                    RegGetValue(HKEY_CURRENT_USER, key, L"s", s, nullptr));
        }
        // Every other function once, the failing paths included.
        ustring s;
        DWORD n = 0;
        std::vector<ustring> names;
        EXPECT_TRUE(!RegGetValue(HKEY_CURRENT_USER, key, L"s", n, 0) &&
                    !RegGetValue(HKEY_CURRENT_USER, key, L"n", s, nullptr) &&
                    RegEnumValues(HKEY_CURRENT_USER, key, names) &&
                    tarn_kit::RegCreateKeyW(HKEY_CURRENT_USER, sub.c_str()) &&
                    RegEnumSubKeys(HKEY_CURRENT_USER, key, names) &&
                    tarn_kit::RegDeleteValueW(HKEY_CURRENT_USER, key, L"n") &&
                    !tarn_kit::RegDeleteValueW(HKEY_CURRENT_USER, key, L"n") &&
                    tarn_kit::RegDeleteKeyW(HKEY_CURRENT_USER, sub.c_str()) &&
                    !RegWriteValue(HKEY_CURRENT_USER, child.c_str(), L"n", 1u));
        // Built on the functions above; a few rounds show any handle of its own.
        if (round++ % 50 == 0) {
            EXPECT_TRUE(font.WriteProfile(sub.c_str()) && font.GetProfile(sub.c_str()));
        }
    });
}

// A font with a negative height and a 31-character face survives the registry, and the raw
// values are the fields' bit patterns; the object serves the platform as a LOGFONTW.
TEST_F(SettingsTest, LogFontRoundTripAndRawValues)
{
    LOGFONTW lf = {-13, 7, -900, 450, 700, 1, 1, 1, 238, 3, 2, 5, 0x31, {}};
    const std::wstring face = L"TK Receiver Display Sans Mono X";
    ASSERT_EQ(31u, face.size());
    std::wmemcpy(lf.lfFaceName, face.c_str(), 31);
    const CLogFont font(lf);
    ASSERT_TRUE(font.WriteProfile(Key(L"font").c_str()));

    const wchar_t* const names[] = {
        L"lfHeight",        L"lfWidth",     L"lfEscapement",    L"lfOrientation", L"lfWeight",
        L"lfItalic",        L"lfUnderline", L"lfStrikeOut",     L"lfCharSet",     L"lfOutPrecision",
        L"lfClipPrecision", L"lfQuality",   L"lfPitchAndFamily"};
    const DWORD values[] = {DWORD(-13), 7, DWORD(-900), 450, 700, 1, 1, 1, 238, 3, 2, 5, 0x31};
    for (int i = 0; i < 13; ++i) {
        const RawValue raw = RawGet(Key(L"font"), names[i]);
        EXPECT_TRUE(raw.type == REG_DWORD &&
                    raw.bytes == std::string(reinterpret_cast<const char*>(&values[i]), 4))
            << names[i];
    }
    EXPECT_EQ(Bytes(face), RawGet(Key(L"font"), L"lfFaceName").bytes);

    CLogFont back;
    EXPECT_TRUE(back.GetProfile(Key(L"font").c_str()));
    EXPECT_EQ(0, std::memcmp(&lf, &back, sizeof lf));

    // The platform takes the object as its own LOGFONTW.
    HFONT hf = ::CreateFontIndirectW(back);
    LOGFONTW fromGdi = {};
    ASSERT_TRUE(hf && ::GetObjectW(hf, sizeof fromGdi, &fromGdi) == sizeof fromGdi);
    ::DeleteObject(hf);
    EXPECT_EQ(0, std::memcmp(&lf, &fromGdi, sizeof lf));
    CLogFont zero, assigned;
    assigned = lf;
    const LOGFONTW none = {};
    EXPECT_TRUE(!std::memcmp(&lf, &assigned, sizeof lf) && !std::memcmp(&none, &zero, sizeof none));
}

// Values written by another program: what is missing or of the wrong type leaves the field as it
// was, bytes keep their low 8 bits, a face of 32 or more characters is cut to 31.
TEST_F(SettingsTest, LogFontReadsForeignValues)
{
    LOGFONTW lf = {-11, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, L"Old Face"};
    CLogFont font(lf);
    EXPECT_TRUE(font.GetProfile(Key(L"missing").c_str()));
    EXPECT_EQ(0, std::memcmp(&lf, &font, sizeof lf));

    const std::wstring key = Key(L"font"), longFace = Repeat(40, L"TK Mono ");
    ASSERT_TRUE(RawSetDword(key, L"lfItalic", 0x101) == 0 && RawSetDword(key, L"lfWidth", 9) == 0 &&
                RawSet(key, L"lfWeight", REG_SZ, L"700", 8) == 0 &&
                RawSet(key, L"lfHeight", REG_BINARY, "\x01\0\0\0", 4) == 0 &&
                RawSet(key, L"lfFaceName", REG_SZ, longFace.c_str(), longFace.size() * 2) == 0);
    EXPECT_TRUE(font.GetProfile(key.c_str()));
    lf.lfItalic = 1;
    lf.lfWidth = 9;
    std::wmemcpy(lf.lfFaceName, longFace.c_str(), 31);
    lf.lfFaceName[31] = 0;
    EXPECT_EQ(0, std::memcmp(&lf, &font, sizeof lf));

    ASSERT_EQ(ERROR_SUCCESS, RawSetDword(key, L"lfFaceName", 1));
    EXPECT_TRUE(font.GetProfile(key.c_str()));
    EXPECT_EQ(0, std::memcmp(&lf, &font, sizeof lf));
}

// GetString returns values of any length whole, at each boundary of its growing buffer.
TEST_F(SettingsTest, IniGetStringGrowsUntilTheValueFits)
{
    CIniFile ini(m_ini.c_str());
    for (std::size_t n : {0, 1, 62, 63, 64, 65, 126, 127, 128, 254, 255, 256, 1000, 20000}) {
        const std::wstring key = L"k" + std::to_wstring(n), value = Repeat(n);
        ASSERT_TRUE(
            ::WritePrivateProfileStringW(L"Receiver", key.c_str(), value.c_str(), m_ini.c_str()));
        EXPECT_EQ(ustring(value), ini.GetString(L"Receiver", key.c_str(), L"def")) << n;
        EXPECT_EQ(RawIniString(L"Receiver", key.c_str(), L"def"), value) << n;
    }
    EXPECT_TRUE(ini.GetString(L"Receiver", L"missing", L"def") == L"def" &&
                ini.GetString(L"Missing", L"k1", L"def") == L"def" &&
                ini.GetString(L"Receiver", L"missing", nullptr) == L"" &&
                CIniFile(Path(L"none.ini").c_str()).GetString(L"Receiver", L"k1", L"def") ==
                    L"def");
}

// Section lists and section bodies around each boundary of their growing buffers, judged by the
// raw calls with a buffer large enough for everything.
TEST_F(SettingsTest, IniListsGrowUntilTheyFit)
{
    CIniFile ini(m_ini.c_str());
    std::vector<ustring> list(2, L"stale");
    ini.EnumSections(list);
    EXPECT_TRUE(list.empty()); // no file
    std::ofstream(m_ini.c_str()).close();
    ini.EnumSections(list);
    EXPECT_TRUE(list.empty()); // empty file
    list.assign(2, L"stale");
    ini.EnumEntries(L"Missing", list);
    EXPECT_TRUE(list.empty());

    // A list of one name of length n - 1 is n characters before its final zero.
    std::vector<ustring> written;
    for (std::size_t n : {61, 62, 63, 64, 125, 126, 127, 128, 253, 254, 255, 256}) {
        written.push_back(Repeat(n - 2, L"S") + std::to_wstring(n % 10));
        ASSERT_TRUE(
            ::WritePrivateProfileStringW(written.back().c_str(), L"k", L"v", m_ini.c_str()));
        const std::wstring single = Path((std::to_wstring(n) + L".ini").c_str());
        ASSERT_TRUE(
            ::WritePrivateProfileStringW(written.back().c_str(), L"k", L"v", single.c_str()));
        CIniFile(single.c_str()).EnumSections(list);
        EXPECT_EQ(std::vector<ustring>(1, written.back()), list) << n;
    }
    ini.EnumSections(list);
    EXPECT_EQ(written, list); // file order
    EXPECT_EQ(RawIniList(nullptr), list);

    // A body of one line "k=value" is the line, its zero, and the list's final zero.
    std::vector<ustring> keys;
    for (std::size_t n : {61, 62, 63, 64, 121, 122, 123, 124, 241, 242, 243, 244, 481, 484}) {
        const std::wstring section = L"B" + std::to_wstring(n);
        ASSERT_TRUE(::WritePrivateProfileStringW(section.c_str(), L"k", Repeat(n - 3).c_str(),
                                                 m_ini.c_str()));
        ini.EnumEntries(section.c_str(), list);
        EXPECT_EQ(std::vector<ustring>(1, L"k"), list) << n;
        keys.push_back(L"key" + std::to_wstring(n));
        ASSERT_TRUE(::WritePrivateProfileStringW(L"Many", keys.back().c_str(), Repeat(n).c_str(),
                                                 m_ini.c_str()));
    }
    ini.EnumEntries(L"Many", list);
    EXPECT_EQ(keys, list);
}

// A file written by hand: what the platform's parser makes of it is what the library reports.
TEST_F(SettingsTest, IniHandWrittenFileFollowsThePlatform)
{
    std::ofstream(m_ini.c_str(), std::ios::binary)
        << "; receiver settings\r\n[Serial]\r\nPort = COM5\r\n\r\n; speed\r\nBaud=9600=fast\r\n"
           "Flag\r\n=orphan\r\n[ Spaced ] trailing\r\nKey=1\r\n[Serial]\r\nLate=1\r\n";
    CIniFile ini(m_ini.c_str());
    std::vector<ustring> list, expected;
    ini.EnumSections(list);
    EXPECT_EQ(RawIniList(nullptr), list);
    for (const ustring& section : list) {
        expected.clear();
        for (const ustring& line : RawIniList(section.c_str()))
            expected.push_back(line.substr(0, line.find(L'=')));
        ini.EnumEntries(section.c_str(), list);
        EXPECT_EQ(expected, list) << section;
    }
    EXPECT_EQ(ustring(RawIniString(L"Serial", L"Port", nullptr)),
              ini.GetString(L"Serial", L"Port", nullptr));
    EXPECT_EQ(ustring(RawIniString(L"Serial", L"Baud", nullptr)),
              ini.GetString(L"Serial", L"Baud", nullptr));
}

TEST_F(SettingsTest, IniWritesReadBackRaw)
{
    CIniFile ini(m_ini.c_str());
    for (int n : {-5, 0, 42, INT_MAX, INT_MIN}) {
        ASSERT_TRUE(ini.WriteInt(L"Numbers", L"n", n));
        EXPECT_EQ(std::to_wstring(n), RawIniString(L"Numbers", L"n", nullptr));
        EXPECT_EQ(static_cast<int>(::GetPrivateProfileIntW(L"Numbers", L"n", 3, m_ini.c_str())),
                  ini.GetInt(L"Numbers", L"n", 3));
    }
    EXPECT_EQ(-7, ini.GetInt(L"Numbers", L"missing", -7));
    ASSERT_TRUE(ini.WriteString(L"Serial", L"Port", L"COM5") &&
                ini.WriteString(L"Serial", L"Cmd", L"*IDN?"));
    EXPECT_EQ(L"COM5", RawIniString(L"Serial", L"Port", nullptr));
    EXPECT_TRUE(ini.DeleteEntry(L"Serial", L"Port"));
    EXPECT_EQ(L"gone", RawIniString(L"Serial", L"Port", L"gone"));
    EXPECT_EQ(L"*IDN?", CIniFile(ini).GetString(L"Serial", L"Cmd", nullptr)); // a copy
    EXPECT_TRUE(ini.DeleteSection(L"Serial"));
    EXPECT_EQ(std::vector<ustring>(1, L"Numbers"), RawIniList(nullptr));

    // A file in a missing folder cannot be written.
    CIniFile lost(Path(L"missing\\lost.ini").c_str());
    EXPECT_FALSE(lost.WriteString(L"S", L"k", L"v") || lost.WriteInt(L"S", L"k", 1));
}

TEST(CIniFileTest, TranslateSection)
{
    const struct
    {
        const wchar_t *line, *name, *value;
        CIniFile::EType type;
    } cases[] = {
        {L"[Fonts] ; display", L"Fonts", L"", CIniFile::eSection},
        {L"x [ Serial Port ] y", L" Serial Port ", L"", CIniFile::eSection},
        {L"[]", L"", L"", CIniFile::eSection},
        {L"Size=12", L"Size", L"12", CIniFile::eEntry},
        {L" Size = 12 ", L" Size ", L" 12 ", CIniFile::eEntry},
        {L"Path=a=b", L"Path", L"a", CIniFile::eEntry},
        {L"Path==b", L"Path", L"", CIniFile::eEntry},
        {L"Flag", L"Flag", L"", CIniFile::eEntry},
        {L"Flag=", L"Flag", L"", CIniFile::eEntry},
        {L"=orphan", L"", L"orphan", CIniFile::eEntry},
        {L"", L"", L"", CIniFile::eEntry},
        {L"; note", L"", L"", CIniFile::eEntry},
        {L"Cmd=*IDN?;comment", L"Cmd", L"*IDN?", CIniFile::eEntry},
        {L"[Fonts;]", L"[Fonts", L"", CIniFile::eEntry},
        {L"] x [", L"] x [", L"", CIniFile::eEntry},
    };
    for (const auto& c : cases) {
        ustring name(L"stale"), value(L"stale");
        EXPECT_EQ(c.type, CIniFile::TranslateSection(c.line, name, value)) << c.line;
        EXPECT_TRUE(name == c.name && value == c.value) << c.line;
    }
}
