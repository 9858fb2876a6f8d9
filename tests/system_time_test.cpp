// CSystemTimeSpan and CSystemTime, judged by the C runtime's time functions,
// the platform's locale and zone functions, and hand-checked values.
#include "test_common.h"

#include <tarn_kit/system_time.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <random>
#include <string>

using tarn_kit::CSystemTime;
using tarn_kit::CSystemTimeSpan;
using tarn_kit::ustring;

namespace {

const wchar_t kModule[] = L".\\SystemTime";
constexpr __int64 kMsPerDay = 86400000;

SYSTEMTIME St(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0,
              WORD ms = 0, WORD dayOfWeek = 0)
{
    return {year, month, dayOfWeek, day, hour, minute, second, ms};
}

CSystemTime Make(const SYSTEMTIME& s)
{
    return CSystemTime(s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond, s.wMilliseconds);
}

// All eight fields, readable in a failure message.
std::string Text(const SYSTEMTIME& st)
{
    char b[64];
    std::snprintf(b, sizeof b, "%04u-%02u-%02u (dow %u) %02u:%02u:%02u.%03u", st.wYear, st.wMonth,
                  st.wDay, st.wDayOfWeek, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return b;
}

// The count, the getters and the sign: "-93784005: 1 2 3 4 5 -".
std::string Parts(const CSystemTimeSpan& s)
{
    char b[64];
    std::snprintf(b, sizeof b, "%lld: %u %u %u %u %u %c", s.GetTotalMilliseconds(), s.GetDays(),
                  s.GetHours(), s.GetMinutes(), s.GetSeconds(), s.GetMilliseconds(),
                  s.GetSign() ? '-' : '+');
    return b;
}

// All six relational operators as one number.
template <class A, class B>
int Relations(const A& a, const B& b)
{
    return (a == b) + 2 * (a != b) + 4 * (a < b) + 8 * (a > b) + 16 * (a <= b) + 32 * (a >= b);
}

unsigned __int64 Ticks(const FILETIME& ft)
{
    return (static_cast<unsigned __int64>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME FileTime(unsigned __int64 ticks)
{
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The runtime's seconds since 1970 of a UTC calendar time (-1 before 1970).
__int64 Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    tm t = {second, minute, hour, day, month - 1, year - 1900, 0, 0, 0};
    return _mkgmtime64(&t);
}

// The platform's own picture of a date or time, the judge of the locale codes.
ustring Raw(bool bDate, LCID lcid, DWORD flags, const SYSTEMTIME& st, const wchar_t* picture)
{
    wchar_t b[256] = {};
    EXPECT_GT((bDate ? ::GetDateFormatW : ::GetTimeFormatW)(lcid, flags, &st, picture, b, 256), 0);
    return b;
}

// Windows rejects impossible dates and times with 87 wherever they meet the platform;
// Wine lets some through (2023-02-29 becomes 1 March, years after 30827 convert).
void ExpectRejected(const SYSTEMTIME& s)
{
    const TIME_ZONE_INFORMATION tzi = {-60, {}, {}, 0, {}, {}, 0};
    const CSystemTime t(s);
    EXPECT_WIN_EXCEPTION(Make(s), kModule, L"SystemTimeToFileTime", 87);
    EXPECT_WIN_EXCEPTION((void)(CSystemTime(2024, 1, 1) < t), kModule, L"SystemTimeToFileTime", 87);
    EXPECT_WIN_EXCEPTION(t.UTCToLocal(tzi), kModule, L"SystemTimeToTzSpecificLocalTime", 87);
    EXPECT_WIN_EXCEPTION(t.LocalToUTC(tzi), kModule, L"TzSpecificLocalTimeToSystemTime", 87);
    if (s.wHour < 24 && s.wMinute < 60 && s.wSecond < 60 && s.wMilliseconds < 1000) {
        EXPECT_WIN_EXCEPTION(static_cast<tm>(t), kModule, L"SystemTimeToFileTime", 87);
        EXPECT_WIN_EXCEPTION(t.Format(1033, L"%x"), kModule, L"GetDateFormat", 87);
    } else {
        EXPECT_WIN_EXCEPTION(t.Format(1033, L"%H"), kModule, L"GetTimeFormat", 87);
    }
}

} // namespace

TEST(CSystemTimeSpanTest, GettersArithmeticOrderAndFormat)
{
    EXPECT_EQ("-93784005: 1 2 3 4 5 -", Parts(CSystemTimeSpan(1, 2, 3, 4, 5, true)));
    EXPECT_EQ("0: 0 0 0 0 0 +", Parts(CSystemTimeSpan(0, 0, 0, 0, 0, true)));
    EXPECT_EQ("86400000: 1 0 0 0 0 +", Parts(CSystemTimeSpan(kMsPerDay)));
    EXPECT_EQ("113400000: 1 7 30 0 0 +", Parts(CSystemTimeSpan(0, 30, 90, 0, 0, false)));
    EXPECT_EQ("5662310399999: 65535 23 59 59 999 +",
              Parts(CSystemTimeSpan(65535, 23, 59, 59, 999, false)));
    // Days keep only the low 16 bits.
    EXPECT_EQ("5662310400000: 0 0 0 0 0 +", Parts(CSystemTimeSpan(65536 * kMsPerDay)));
    EXPECT_EQ("-5662396800001: 1 0 0 0 1 -", Parts(CSystemTimeSpan(-65537 * kMsPerDay - 1)));

    CSystemTimeSpan s(1000);
    EXPECT_EQ(&s, &(s += 500));
    EXPECT_EQ(&s, &(s -= 2000));
    EXPECT_EQ(-500, s.GetTimeSpan());
    const __int64 max = 0x7FFFFFFFFFFFFFFF; // wraps, no overflow check
    EXPECT_EQ(-max - 1, (CSystemTimeSpan(max) + 1).GetTotalMilliseconds());
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j)
            EXPECT_EQ(Relations(i, j), Relations(CSystemTimeSpan(i), CSystemTimeSpan(j)));

    const CSystemTimeSpan pos(1, 2, 3, 4, 5, false), neg(1, 2, 3, 4, 5, true);
    EXPECT_EQ(L"-1 02:03:04.005", neg.Format(L"%s%D %H:%M:%S.%m"));
    EXPECT_EQ(L"1 02:03:04.005", pos.Format(L"%s%D %H:%M:%S.%m"));
    EXPECT_EQ(L"+1|+", pos.Format(L"%#s%D|") + CSystemTimeSpan().Format(L"%#s"));
    EXPECT_EQ(L"-1 2:3:4.5", neg.Format(L"%#s%#D %#H:%#M:%#S.%#m"));
    EXPECT_EQ(L"", pos.Format(nullptr));
    EXPECT_EQ(L"100% %#D", pos.Format(L"100%% %%#D"));
    EXPECT_EQ(L"abc03", pos.Format(L"a%Qb%#Qc%d%h%M")); // unknown codes vanish; case matters
    EXPECT_EQ(L"x|x", pos.Format(L"x%") + L"|" + pos.Format(L"x%#"));
}

// The platform as judge: a date exists when SystemTimeToFileTime takes it and gives
// the same fields back.
TEST(CSystemTimeTest, AcceptsExactlyTheDatesThePlatformRoundTrips)
{
    for (WORD year : {1601, 1900, 1970, 2023, 2024, 2100, 2400, 30827})
        for (int i = 0; i < 14 * 33 * 2; ++i) { // months 0-13, days 0-32, two times of day
            const WORD late = i % 2;
            const SYSTEMTIME st =
                St(year, i / 66, i / 2 % 33, 23 * late, 59 * late, 59 * late, 999 * late);
            FILETIME ft;
            SYSTEMTIME back = {};
            SCOPED_TRACE(Text(st));
            if (::SystemTimeToFileTime(&st, &ft) && ::FileTimeToSystemTime(&ft, &back) &&
                back.wMonth == st.wMonth && back.wDay == st.wDay) {
                ASSERT_EQ(Text(back), Text(Make(st)));
                ASSERT_EQ(Ticks(ft), Ticks(Make(st)));
            } else {
                ExpectRejected(st);
            }
        }
    for (const SYSTEMTIME& s :
         {St(30828, 1, 1), St(1600, 12, 31), St(2023, 1, 1, 24), St(2023, 1, 1, 23, 60),
          St(2023, 1, 1, 23, 59, 60), St(2023, 1, 1, 23, 59, 59, 1000)})
        ExpectRejected(s);
}

TEST(CSystemTimeTest, ConversionsAgreeWithTheRuntime)
{
    static_assert(sizeof(CSystemTime) == sizeof(SYSTEMTIME), "one SYSTEMTIME and nothing else");
    CSystemTime t;
    EXPECT_EQ(Text(St(0, 0, 0)), Text(t));
    const SYSTEMTIME odd = St(2023, 2, 29, 24, 61, 99, 1234, 9);
    EXPECT_EQ(Text(odd), Text(t = odd));
    EXPECT_EQ(&t, &(t = tm{2, 1, 25, 40, 12, 124, 3, 300, 1}));
    EXPECT_EQ(Text(St(2024, 13, 40, 25, 1, 2, 0, 3)), Text(t));
    // The last FILETIME converts to a year that is no valid input.
    EXPECT_EQ(Text(St(30828, 9, 14, 2, 48, 5, 477, 4)), Text(t = FileTime(0x7FFFFFFFFFFFFFFF)));
    const tm out = CSystemTime(St(2024, 12, 31, 23, 59, 58, 999, 6)); // a Tuesday, stored as 6
    const tm expected = {58, 59, 23, 31, 11, 124, 6, 365, -1};
    EXPECT_EQ(0, std::memcmp(&expected, &out, sizeof out)) << out.tm_wday << " " << out.tm_yday;
    // The day of the year ignores the time of day, even one that does not exist.
    EXPECT_EQ(59, tm(CSystemTime(St(2024, 2, 29, 24, 60, 60, 1000))).tm_yday);

    // Seconds since 1970: the runtime's 64-bit functions cover 1970 to 3000 and answer -1
    // before 1970.
    std::mt19937 rng(1970);
    for (int i = 0; i < 3000; ++i) {
        const SYSTEMTIME s = St(1601 + rng() % 1400, 1 + rng() % 12, 1 + rng() % 28, rng() % 24,
                                rng() % 60, rng() % 60, rng() % 1000);
        const __int64 expected = Utc(s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond);
        ASSERT_EQ(expected, static_cast<__int64>(Make(s))) << Text(s);
        if (expected >= 0) { // and back, to whole seconds
            ASSERT_EQ(Text(Make(St(s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond))),
                      Text(CSystemTime(expected)));
        }
    }
    EXPECT_EQ(Text(St(1969, 12, 31, 23, 59, 59, 0, 3)), Text(CSystemTime(-1LL)));
    EXPECT_WIN_EXCEPTION(CSystemTime(-11644473601LL), kModule, L"FileTimeToSystemTime", 87);
}

TEST(CSystemTimeTest, OrderAndSpanArithmetic)
{
    // Ranks: both cleared values first; then two times that differ only in the day of
    // the week; then one a millisecond later.
    const SYSTEMTIME values[] = {St(0, 0, 0), St(0, 77, 5, 99, 88, 77, 6666, 9),
                                 St(2024, 2, 29, 12, 0, 0, 0, 4), St(2024, 2, 29, 12),
                                 St(2024, 2, 29, 12, 0, 0, 1, 4)};
    const int rank[] = {0, 0, 1, 1, 2};
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
            const CSystemTime a(values[i]), b(values[j]);
            EXPECT_EQ((rank[i] > rank[j]) - (rank[i] < rank[j]), a.Compare(b)) << i << j;
            EXPECT_EQ(Relations(rank[i], rank[j]), Relations(a, b)) << i << j;
        }

    CSystemTime t(St(2000, 1, 1));
    EXPECT_EQ(&t, &(t += CSystemTimeSpan(-1)));
    EXPECT_EQ(Text(St(1999, 12, 31, 23, 59, 59, 999, 5)), Text(t));
    EXPECT_EQ(Text(St(2000, 1, 1, 0, 0, 0, 0, 6)), Text(t -= CSystemTimeSpan(-1)));
    const unsigned __int64 base = Ticks(CSystemTime(2024, 5, 6, 7, 8, 9, 10));
    const CSystemTime a(FileTime(base + 15000)), b(FileTime(base)); // 1.5 ms apart
    EXPECT_EQ(1, CSystemTimeSpan(a, b).GetTotalMilliseconds());
    EXPECT_EQ(-1, (b - a).GetTotalMilliseconds());
    std::mt19937_64 rng(99);
    for (int i = 0; i < 500; ++i) { // both orders, so the sign flips with the order
        const __int64 s1 = rng() % 40000000000ULL, s2 = rng() % 40000000000ULL;
        ASSERT_EQ((s1 - s2) * 1000, (CSystemTime(s1) - CSystemTime(s2)).GetTotalMilliseconds());
    }
    EXPECT_WIN_EXCEPTION(CSystemTimeSpan(CSystemTime(), a), kModule, L"SystemTimeToFileTime", 87);
    EXPECT_WIN_EXCEPTION(CSystemTime(1601, 1, 1) - CSystemTimeSpan(1), kModule,
                         L"FileTimeToSystemTime", 87);
}

// Daylight time from start to end, in UTC seconds; Sydney's (the second) spans the new year.
TEST(CSystemTimeZoneTest, ExplicitZoneFollowsTheDaylightRules)
{
    const TIME_ZONE_INFORMATION zones[] = {{-60, {}, St(0, 10, 5, 3), 0, {}, St(0, 3, 5, 2), -60},
                                           {-600, {}, St(0, 4, 1, 3), 0, {}, St(0, 10, 1, 2), -60}};
    const __int64 daylight[][2] = {{Utc(2024, 3, 31, 1), Utc(2024, 10, 27, 1)},
                                   {Utc(2024, 10, 5, 16), Utc(2024, 4, 6, 16)}};
    for (int z = 0; z < 2; ++z) {
        for (__int64 utc = Utc(2024, 1, 1); utc < Utc(2025, 1, 1); utc += 1800) {
            const bool bAfterStart = utc >= daylight[z][0], bBeforeEnd = utc < daylight[z][1];
            const bool bDaylight = z == 0 ? bAfterStart && bBeforeEnd : bAfterStart || bBeforeEnd;
            const CSystemTime local = CSystemTime(utc).UTCToLocal(zones[z]);
            ASSERT_EQ(Text(CSystemTime(utc - 60 * (zones[z].Bias - 60 * bDaylight))), Text(local));
            // Wall times repeated when daylight time ends may map back to either instant.
            ASSERT_EQ(Text(local), Text(local.LocalToUTC(zones[z]).UTCToLocal(zones[z]))) << utc;
        }
    }
}

TEST(CSystemTimeZoneTest, MachineZoneMatchesThePlatform)
{
    const CSystemTime t(2024, 7, 1, 12, 34, 56, 789);
    const FILETIME ft = t;
    FILETIME local, utc;
    ASSERT_TRUE(::FileTimeToLocalFileTime(&ft, &local) && ::LocalFileTimeToFileTime(&ft, &utc));
    EXPECT_EQ(Ticks(local), Ticks(t.UTCToLocal()));
    EXPECT_EQ(Ticks(utc), Ticks(t.LocalToUTC()));
    SYSTEMTIME before;
    ::GetSystemTime(&before);
    EXPECT_LE(CSystemTime(before), CSystemTime::GetSystemTime());
    EXPECT_LE(CSystemTime(before).UTCToLocal(), CSystemTime::GetLocalTime());

    TIME_ZONE_INFORMATION raw = {}, ours = {};
    const DWORD rawResult = ::GetTimeZoneInformation(&raw);
    EXPECT_EQ(rawResult, CSystemTime().GetTimeZoneInformation(ours));
    EXPECT_EQ(0, std::memcmp(&raw, &ours, sizeof raw));
    const ustring name = rawResult == TIME_ZONE_ID_DAYLIGHT ? raw.DaylightName : raw.StandardName;
    EXPECT_EQ(name + L"|" + name, CSystemTime().Format(1031, L"%Z|%#z"));
    // Setting needs a privilege ordinary processes lack (Wine: 1314); the current zone is harmless.
    const DWORD code = ::SetTimeZoneInformation(&raw) ? 0 : ::GetLastError();
    if (code != 0)
        EXPECT_WIN_EXCEPTION(CSystemTime().SetTimeZoneInformation(raw), kModule,
                             L"SetTimeZoneInformation", code);
}

// The numeric codes against wcsftime on every day of five decades (at a different time of
// day each day), then the stored day of the week, the scanning rules and the failures by hand.
TEST(CSystemTimeFormatTest, NumericCodesScanningAndFailures)
{
    for (__time64_t day = Utc(1990, 1, 1) / 86400; day < Utc(2041, 1, 1) / 86400; ++day) {
        __time64_t s = day * 86400 + day * 7919 % 86400;
        wchar_t expected[64];
        ASSERT_GT(wcsftime(expected, 64, L"%j %U %W %w|%#j %#U %#W", _gmtime64(&s)), 0u);
        ASSERT_EQ(expected, CSystemTime(s).Format(1033, L"%j %U %W %w|%#j %#U %#W"))
            << Text(CSystemTime(s));
    }
    EXPECT_EQ(L"6", CSystemTime(St(2024, 2, 29, 0, 0, 0, 0, 6)).Format(1033, L"%w")); // as stored
    const CSystemTime t(2024, 2, 29, 13, 5, 9);
    EXPECT_EQ(L"100% % %Y", t.Format(1033, L"100%% %#% %%Y"));
    EXPECT_EQ(L"abc", t.Format(1033, L"a%Qb%#qc%D%e%s"));
    EXPECT_EQ(L"no time", CSystemTime().Format(1033, L"no time"));
    EXPECT_WIN_EXCEPTION(CSystemTime().Format(1033, L"%W"), kModule, L"SystemTimeToFileTime", 87);
    EXPECT_WIN_EXCEPTION(CSystemTime().Format(1033, L"%c"), kModule, L"GetDateFormat", 87);

    // Platform failures carry the code of the same raw call: a locale that does not exist.
    const SYSTEMTIME st = t;
    wchar_t b[8];
    const DWORD dateCode = ::GetDateFormatW(0x12345, 0, &st, L"yyyy", b, 8) ? 0 : ::GetLastError();
    EXPECT_WIN_EXCEPTION(t.Format(0x12345, L"%Y"), kModule, L"GetDateFormat", dateCode);
    const DWORD timeCode = ::GetTimeFormatW(0x12345, 0, &st, L"HH", b, 8) ? 0 : ::GetLastError();
    EXPECT_WIN_EXCEPTION(t.Format(0x12345, L"%H"), kModule, L"GetTimeFormat", timeCode);
    // Windows rejects flags it does not know (Wine's GetTimeFormatW ignores them).
    EXPECT_WIN_EXCEPTION(t.GetTimeFormatW(1033, 0x00010000, nullptr), kModule, L"GetTimeFormat",
                         ERROR_INVALID_FLAGS);
}

// The locale codes against the locale's own names (GetLocaleInfoW), the fields' digits and, for
// %x and %X, the platform's default pictures; %c is %x and %X. %#y is the picture "y" as the
// platform prints it: Windows drops the leading zero ("5" for 2005), Wine keeps it.
TEST(CSystemTimeFormatTest, LocaleCodesAgreeWithThePlatform)
{
    const wchar_t* const format = L"%x|%#x|%X|%a|%#a|%A|%b|%B|%d|%#d|%m|%#m|%y|%Y|%#Y|%H|%#H|%I|"
                                  L"%#I|%M|%#M|%S|%#S|%p|%#y";
    for (LCID lcid : {1033u, 1031u, 1036u})
        for (const SYSTEMTIME& v :
             {St(2024, 2, 29, 13, 5, 9, 7), St(2023, 1, 1), St(1999, 12, 31, 23, 59, 59),
              St(2005, 5, 6, 12), St(1601, 1, 1, 1, 2, 3), St(30827, 12, 31, 11, 59, 59)}) {
            auto info = [lcid](LCTYPE item) {
                wchar_t b[80] = {};
                EXPECT_GT(::GetLocaleInfoW(lcid, item, b, 80), 0) << item;
                return ustring(b) + L"|";
            };
            FILETIME ft;
            SYSTEMTIME st = v; // with the platform's day of the week
            ASSERT_TRUE(::SystemTimeToFileTime(&v, &ft) && ::FileTimeToSystemTime(&ft, &st));
            const int day = (st.wDayOfWeek + 6) % 7, month = st.wMonth - 1;
            const int d = st.wDay, m = st.wMonth, y = st.wYear % 100, Y = st.wYear, H = st.wHour;
            const int I = H % 12 ? H % 12 : 12, M = st.wMinute, S = st.wSecond;
            wchar_t digits[128] = {};
            std::swprintf(digits, 128,
                          L"%02d|%d|%02d|%d|%02d|%d|%d|%02d|%d|%02d|%d|%02d|%d|%02d|%d|", d, d, m,
                          m, y, Y, Y, H, H, I, I, M, M, S, S);
            const ustring expected =
                Raw(true, lcid, DATE_SHORTDATE, st, nullptr) + L"|" +
                Raw(true, lcid, DATE_LONGDATE, st, nullptr) + L"|" +
                Raw(false, lcid, 0, st, nullptr) + L"|" + info(LOCALE_SABBREVDAYNAME1 + day) +
                info(LOCALE_SABBREVDAYNAME1 + day) + info(LOCALE_SDAYNAME1 + day) +
                info(LOCALE_SABBREVMONTHNAME1 + month) + info(LOCALE_SMONTHNAME1 + month) + digits +
                info(H < 12 ? LOCALE_S1159 : LOCALE_S2359) + Raw(true, lcid, 0, st, L"y") + L"|";
            const CSystemTime t = Make(v);
            EXPECT_EQ(expected, t.Format(lcid, format) + L"|") << Text(t) << " in " << lcid;
            EXPECT_EQ(t.Format(lcid, L"%x %X|%#x %#X"), t.Format(lcid, L"%c|%#c"));
        }
}
