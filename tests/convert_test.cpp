// CLocale and the number and code-page conversions, judged by the platform's
// own GetLocaleInfoW, GetNumberFormatW and code-page calls.
#include "test_common.h"

#include <climits>
#include <random>
#include <string>
#include <utility>
#include <vector>

using tarn_kit::CLocale;
using tarn_kit::ustring;

namespace {

std::wstring LocaleText(LCID lcid, LCTYPE item)
{
    wchar_t buffer[256] = {};
    return ::GetLocaleInfoW(lcid, item, buffer, 256) ? buffer : L"";
}

int LocaleNumber(LCID lcid, LCTYPE item)
{
    return _wtoi(LocaleText(lcid, item).c_str());
}

// Every test sees the locale it asks for and leaves the process's as it was.
class NumberTest : public ::testing::Test
{
protected:
    ~NumberTest() override { ustring::m_Locale = m_saved; }
    void Use(LCID lcid) { ustring::m_Locale = CLocale(lcid); }

private:
    CLocale m_saved = ustring::m_Locale;
};

// GetNumberFormatW as the judge, with an explicit NUMBERFMT built from the
// locale's fields: Wine's own default format groups only once.
std::wstring PlatformNumber(LCID lcid, const std::wstring& value, unsigned int digits)
{
    std::wstring decimal = LocaleText(lcid, LOCALE_SDECIMAL);
    std::wstring thousand = LocaleText(lcid, LOCALE_STHOUSAND);
    NUMBERFMTW fmt = {digits,
                      UINT(LocaleNumber(lcid, LOCALE_ILZERO)),
                      UINT(LocaleNumber(lcid, LOCALE_SGROUPING)),
                      &decimal[0],
                      &thousand[0],
                      UINT(LocaleNumber(lcid, LOCALE_INEGNUMBER))};
    wchar_t out[128] = {};
    return ::GetNumberFormatW(lcid, 0, value.c_str(), &fmt, out, 128) ? out : L"<failed>";
}

std::wstring Decimal(long long mantissa, int scale)
{
    std::wstring digits = std::to_wstring(mantissa < 0 ? -mantissa : mantissa);
    if (scale > 0) {
        if (digits.size() <= std::size_t(scale))
            digits.insert(0, std::size_t(scale) + 1 - digits.size(), L'0');
        digits.insert(digits.size() - std::size_t(scale), 1, L'.');
    }
    return (mantissa < 0 ? L"-" : L"") + digits;
}

} // namespace

TEST(CLocaleTest, ReadsTheSettingsOfTheLocale)
{
    for (LCID lcid : {0x409u, 0x407u, 0x40Cu, 0x411u, 0x419u, 0x400u, 0x12345678u}) {
        CLocale locale(lcid);
        EXPECT_EQ(LocaleText(lcid, LOCALE_SDECIMAL), locale.DecimalPoint()) << lcid;
        EXPECT_EQ(LocaleText(lcid, LOCALE_STHOUSAND), locale.ThousandsSep()) << lcid;
        EXPECT_EQ(LocaleText(lcid, LOCALE_SNEGATIVESIGN), locale.NegativeSign()) << lcid;
        EXPECT_EQ(LocaleNumber(lcid, LOCALE_INEGNUMBER), locale.NegNumber()) << lcid;
        EXPECT_EQ(LocaleNumber(lcid, LOCALE_SGROUPING), locale.Grouping()) << lcid;
        EXPECT_EQ(LocaleNumber(lcid, LOCALE_IDIGITS), locale.Digits()) << lcid;
        EXPECT_EQ(LocaleNumber(lcid, LOCALE_ILZERO) != 0, locale.LeadingZeros()) << lcid;
    }
}

TEST_F(NumberTest, FormatsTheDocumentedExamples)
{
    Use(0x409);
    // The edges; GetNumberFormatW judges the ordinary values below.
    const std::pair<ustring, ustring> cases[] = {
        {L"0", ustring::ui64toa(0)},
        {L"18,446,744,073,709,551,615", ustring::ui64toa(ULLONG_MAX)},
        {L"-9,223,372,036,854,775,808", ustring::i64toa(LLONG_MIN)},
        {L"0.05", ustring::fcvt(0.05, 2)},
        {L"1.50", ustring::fcvt(1.5, -1)},
        {L"100", ustring::fcvt(99.7, 0)}};
    for (const auto& c : cases)
        EXPECT_EQ(c.first, c.second);
}

// fcvt and i64toa against GetNumberFormatW for locales with one group size.
TEST_F(NumberTest, AgreesWithGetNumberFormat)
{
    std::mt19937_64 rng(5);
    for (LCID lcid : {0x409u, 0x407u, 0x40Cu}) {
        Use(lcid);
        for (int n = 0; n < 2000; ++n) {
            int scale = int(rng() % 4);
            unsigned int digits = unsigned(scale) + unsigned(rng() % 3);
            long long mantissa = static_cast<long long>(rng() % 2000000000000ull) - 1000000000000;
            if (n % 4 == 0)
                mantissa /= 1000000;
            const std::wstring text = Decimal(mantissa, scale);
            EXPECT_EQ(PlatformNumber(lcid, text, digits),
                      ustring::fcvt(std::stod(text), int(digits)))
                << lcid << L" " << text << L" " << digits;
            static const long long edges[] = {0, -1, LLONG_MAX, LLONG_MIN, 999, -1000};
            long long whole = n < 6 ? edges[n] : static_cast<long long>(rng());
            EXPECT_EQ(PlatformNumber(lcid, std::to_wstring(whole), 0), ustring::i64toa(whole))
                << lcid << L" " << whole;
        }
    }
}

TEST_F(NumberTest, ParsesWhatItFormats)
{
    std::mt19937_64 rng(7);
    for (LCID lcid : {0x409u, 0x407u, 0x40Cu, 0x400u}) {
        Use(lcid);
        for (int n = 0; n < 500; ++n) {
            long long v = static_cast<long long>(rng()) >> (rng() % 60);
            // Pattern 0 writes "(1)", which reads back as 0.
            if (ustring::m_Locale.NegNumber() != 0 || v >= 0) {
                EXPECT_EQ(v, ustring::atoi64(ustring::i64toa(v))) << lcid << L" " << v;
            }
        }
    }
    Use(0x409);
    EXPECT_EQ(1234567, ustring::atoi64(L"1,234,567"));
    EXPECT_EQ(-12, ustring::atoi64(L" - 12"));
    EXPECT_EQ(12, ustring::atoi64(L"12abc"));
    EXPECT_EQ(0, ustring::atoi64(nullptr));
    EXPECT_DOUBLE_EQ(1234.5, ustring::strtod(L"1,234.5"));
    for (int n = 0; n < 500; ++n) {
        double v = double(static_cast<long long>(rng() % 2000000000) - 1000000000) / 100.0;
        EXPECT_DOUBLE_EQ(v, ustring::strtod(ustring::fcvt(v, 2))) << v;
    }
    Use(0x407);
    // The decimal point of reading is the C runtime's, not the locale's.
    EXPECT_DOUBLE_EQ(15.0, ustring::strtod(L"1.5"));
}

// Sets the user's own number settings in the test prefix, which outlives the run, and puts
// every value it changed back when it goes out of scope, also after a failed ASSERT.
class CUserLocaleSettings
{
public:
    CUserLocaleSettings() = default;
    CUserLocaleSettings(const CUserLocaleSettings&) = delete;
    CUserLocaleSettings& operator=(const CUserLocaleSettings&) = delete;
    ~CUserLocaleSettings()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            ::SetLocaleInfoW(LOCALE_USER_DEFAULT, it->first, it->second.c_str());
    }
    // True when the platform took the value and reads it back.
    bool Set(LCTYPE item, const wchar_t* value)
    {
        m_saved.emplace_back(item, LocaleText(LOCALE_USER_DEFAULT, item));
        return ::SetLocaleInfoW(LOCALE_USER_DEFAULT, item, value) &&
               LocaleText(LOCALE_USER_DEFAULT, item) == value;
    }

private:
    std::vector<std::pair<LCTYPE, std::wstring>> m_saved;
};

// Patterns, group sizes and leading zeros that no common locale has, set as a
// user would set them in the control panel.
TEST_F(NumberTest, FollowsTheUsersOwnSettings)
{
    CUserLocaleSettings user;
    if (!user.Set(LOCALE_SGROUPING, L"2;0"))
        GTEST_SKIP() << "SetLocaleInfoW does not keep user number settings here";
    ASSERT_TRUE(user.Set(LOCALE_INEGNUMBER, L"0") && user.Set(LOCALE_ILZERO, L"0") &&
                user.Set(LOCALE_STHOUSAND, L",") && user.Set(LOCALE_SDECIMAL, L"."));
    Use(LOCALE_USER_DEFAULT);
    EXPECT_EQ(ustring(L"1,05"), ustring::ui64toa(105));
    EXPECT_EQ(ustring(L"(12,34)"), ustring::i64toa(-1234));
    EXPECT_EQ(ustring(L".50"), ustring::fcvt(0.5, 2));
    EXPECT_EQ(ustring(L"(.05)"), ustring::fcvt(-0.05, 2));
    ASSERT_TRUE(user.Set(LOCALE_SGROUPING, L"0;0"));
    for (const auto& [mode, expected] :
         {std::pair(L"2", L"- 1234"), std::pair(L"3", L"1234-"), std::pair(L"4", L"1234 -")}) {
        ASSERT_TRUE(user.Set(LOCALE_INEGNUMBER, mode));
        Use(LOCALE_USER_DEFAULT);
        EXPECT_EQ(ustring(expected), ustring::i64toa(-1234)) << mode;
    }
}

TEST(CodePageTest, MatchesTheWin32Calls)
{
    const char utf8[] = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
    ustring wide = ustring::MultiByteToWideChar(utf8, ustring::npos, CP_UTF8, 0);
    EXPECT_EQ(ustring(L"A\u00E9\u20AC\xD83D\xDE00z"), wide);
    EXPECT_EQ(std::string(utf8), ustring::WideCharToMultiByte(wide, CP_UTF8, 0));
    const wchar_t* text = L"Gr\u00FC\u00DFe \u0416 \u65E5";
    for (UINT cp : {1252u, 1251u, 932u}) {
        char raw[64] = {};
        int m = ::WideCharToMultiByte(cp, 0, text, -1, raw, 64, nullptr, nullptr);
        EXPECT_EQ(std::string(raw, size_t(m - 1)),
                  ustring::WideCharToMultiByte(text, ustring::npos, cp, 0));
        wchar_t back[64] = {};
        int n = ::MultiByteToWideChar(cp, 0, raw, -1, back, 64);
        EXPECT_EQ(ustring(back, size_t(n - 1)),
                  ustring::MultiByteToWideChar(raw, ustring::npos, cp, 0));
    }
    EXPECT_EQ(ustring(L"\u00E9"), ustring::MultiByteToWideChar("\xC3\xA9", 2, CP_UTF8, 0));
    EXPECT_EQ(ustring(L""),
              ustring::MultiByteToWideChar("\xC3\x28", 2, CP_UTF8, MB_ERR_INVALID_CHARS));
    EXPECT_EQ(ustring(L""), ustring::MultiByteToWideChar(nullptr, 3, CP_UTF8, 0));
    const std::string withNul("a\0b", 3);
    ustring converted = ustring::MultiByteToWideChar(withNul, CP_UTF8, 0);
    EXPECT_EQ(3u, converted.size());
    EXPECT_EQ(withNul, ustring::WideCharToMultiByte(converted, CP_UTF8, 0));
    EXPECT_EQ(std::string("ab"), ustring::WideCharToMultiByte(L"abc", 2, CP_UTF8, 0));
    EXPECT_EQ(std::string(""),
              ustring::WideCharToMultiByte(L"\xD800", 1, CP_UTF8, WC_ERR_INVALID_CHARS));
    EXPECT_EQ(std::string(""), ustring::WideCharToMultiByte(L"x", ustring::npos, 12345, 0));
}
