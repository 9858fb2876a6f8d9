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
#include <vector>

using tarn_kit::CSystemTime;
using tarn_kit::CSystemTimeSpan;
using tarn_kit::ustring;

namespace {

const wchar_t kModule[] = L".\\SystemTime";

constexpr __int64 kMsPerDay = 86400000;
constexpr __int64 kSecondsPerDay = 86400;

SYSTEMTIME St(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0,
              WORD ms = 0, WORD dayOfWeek = 0)
{
    SYSTEMTIME st = {year, month, dayOfWeek, day, hour, minute, second, ms};
    return st;
}

// All eight fields, readable in a failure message.
std::string Text(const SYSTEMTIME& st)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u (dow %u) %02u:%02u:%02u.%03u", st.wYear,
                  st.wMonth, st.wDay, st.wDayOfWeek, st.wHour, st.wMinute, st.wSecond,
                  st.wMilliseconds);
    return buffer;
}

unsigned __int64 Ticks(const FILETIME& ft)
{
    return (static_cast<unsigned __int64>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME FileTime(unsigned __int64 ticks)
{
    FILETIME ft = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return ft;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
__int64 DaysFromCivil(int year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<__int64>(era) * 146097 + doe - 719468;
}

// The platform's own picture for a date or time, the judge of the locale codes.
ustring RawDate(LCID lcid, DWORD flags, const SYSTEMTIME& st, const wchar_t* picture)
{
    wchar_t buffer[256] = {};
    EXPECT_GT(::GetDateFormatW(lcid, flags, &st, picture, buffer, 256), 0) << ::GetLastError();
    return buffer;
}

ustring RawTime(LCID lcid, DWORD flags, const SYSTEMTIME& st, const wchar_t* picture)
{
    wchar_t buffer[256] = {};
    EXPECT_GT(::GetTimeFormatW(lcid, flags, &st, picture, buffer, 256), 0) << ::GetLastError();
    return buffer;
}

} // namespace

// ---------------------------------------------------------------------------
// CSystemTimeSpan

TEST(CSystemTimeSpanTest, ComponentConstructorAndGetters)
{
    struct Case
    {
        WORD days, hours, minutes, seconds, ms;
        bool bNegative;
        __int64 count;
        WORD getDays, getHours, getMinutes, getSeconds, getMs;
        bool bSign;
    };
    const Case cases[] = {
        {1, 2, 3, 4, 5, true, -93784005, 1, 2, 3, 4, 5, true},
        {1, 2, 3, 4, 5, false, 93784005, 1, 2, 3, 4, 5, false},
        {0, 0, 0, 0, 0, true, 0, 0, 0, 0, 0, 0, false},
        {1, 0, 0, 0, 0, false, 86400000, 1, 0, 0, 0, 0, false},
        // No range checks: 30 h and 90 min carry into the next units.
        {0, 30, 90, 0, 0, false, 113400000, 1, 7, 30, 0, 0, false},
        {0, 0, 0, 61, 1500, true, -62500, 0, 0, 1, 2, 500, true},
        {65535, 23, 59, 59, 999, false, 65536 * kMsPerDay - 1, 65535, 23, 59, 59, 999, false}};
    for (const Case& c : cases) {
        const CSystemTimeSpan s(c.days, c.hours, c.minutes, c.seconds, c.ms, c.bNegative);
        SCOPED_TRACE(c.count);
        EXPECT_EQ(c.count, s.GetTotalMilliseconds());
        EXPECT_EQ(c.count, s.GetTimeSpan());
        EXPECT_EQ(c.getDays, s.GetDays());
        EXPECT_EQ(c.getHours, s.GetHours());
        EXPECT_EQ(c.getMinutes, s.GetMinutes());
        EXPECT_EQ(c.getSeconds, s.GetSeconds());
        EXPECT_EQ(c.getMs, s.GetMilliseconds());
        EXPECT_EQ(c.bSign, s.GetSign());
    }
}

TEST(CSystemTimeSpanTest, DaysKeepOnlyTheLow16Bits)
{
    const CSystemTimeSpan s(65536 * kMsPerDay);
    EXPECT_EQ(0, s.GetDays());
    EXPECT_EQ(65536 * kMsPerDay, s.GetTotalMilliseconds());
    EXPECT_EQ(1, CSystemTimeSpan(-65537 * kMsPerDay - 1).GetDays());
    EXPECT_EQ(1, CSystemTimeSpan(-65537 * kMsPerDay - 1).GetMilliseconds());
}

TEST(CSystemTimeSpanTest, ArithmeticAndOrdering)
{
    CSystemTimeSpan s(1000);
    EXPECT_EQ(&s, &(s += CSystemTimeSpan(500)));
    EXPECT_EQ(1500, s.GetTotalMilliseconds());
    EXPECT_EQ(&s, &(s -= CSystemTimeSpan(2000)));
    EXPECT_EQ(-500, s.GetTotalMilliseconds());
    EXPECT_EQ(250, (CSystemTimeSpan(100) + CSystemTimeSpan(150)).GetTotalMilliseconds());
    EXPECT_EQ(-50, (CSystemTimeSpan(100) - CSystemTimeSpan(150)).GetTotalMilliseconds());
    // Two's-complement wrap, no overflow check.
    const __int64 max = 0x7FFFFFFFFFFFFFFF;
    EXPECT_EQ(-max - 1, (CSystemTimeSpan(max) + CSystemTimeSpan(1)).GetTotalMilliseconds());
    s.SetTimeSpan(42);
    EXPECT_EQ(42, s.GetTotalMilliseconds());

    // Signed order: -1 ms < 0 < +1 ms, through all six operators.
    const CSystemTimeSpan order[] = {CSystemTimeSpan(-1), CSystemTimeSpan(0), CSystemTimeSpan(1)};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const CSystemTimeSpan &a = order[i], &b = order[j];
            EXPECT_EQ(i == j, a == b);
            EXPECT_EQ(i != j, a != b);
            EXPECT_EQ(i < j, a < b);
            EXPECT_EQ(i > j, a > b);
            EXPECT_EQ(i <= j, a <= b);
            EXPECT_EQ(i >= j, a >= b);
        }
    }
}

TEST(CSystemTimeSpanTest, Format)
{
    const __int64 span = CSystemTimeSpan(1, 2, 3, 4, 5, false).GetTotalMilliseconds();
    struct Case
    {
        __int64 count;
        const wchar_t* format;
        const wchar_t* expected;
    };
    const Case cases[] = {{-span, L"%s%D %H:%M:%S.%m", L"-1 02:03:04.005"},
                          {span, L"%s%D %H:%M:%S.%m", L"1 02:03:04.005"},
                          {span, L"%#s%D", L"+1"},
                          {0, L"%#s", L"+"},
                          {-span, L"%#s%#D %#H:%#M:%#S.%#m", L"-1 2:3:4.5"},
                          {5 * 3600000, L"%H", L"05"},
                          {5 * 3600000, L"%#H", L"5"},
                          {65536 * kMsPerDay, L"%D", L"0"},
                          {span, L"", L""},
                          {span, nullptr, L""},
                          {span, L"no codes here", L"no codes here"},
                          {span, L"100%%", L"100%"},
                          {span, L"%%#D", L"%#D"},
                          // Unknown codes vanish with their '%' and flag; codes are case-sensitive.
                          {span, L"a%Qb%#Qc", L"abc"},
                          {span, L"%d%h%M", L"03"},
                          // A lone '%' or "%#" at the end produces nothing.
                          {span, L"x%", L"x"},
                          {span, L"x%#", L"x"}};
    for (const Case& c : cases)
        EXPECT_EQ(ustring(c.expected), CSystemTimeSpan(c.count).Format(c.format))
            << (c.format ? c.format : L"(null)");
}

TEST(CSystemTimeSpanTest, SpanBetweenTwoTimes)
{
    const unsigned __int64 base = Ticks(CSystemTime(2024, 5, 6, 7, 8, 9, 10));
    // SYSTEMTIME keeps milliseconds only, so 15,000 ticks arrive as 1 ms; the
    // division itself truncates toward zero in both directions.
    const CSystemTime a(FileTime(base + 15000)), b(FileTime(base));
    EXPECT_EQ(1, CSystemTimeSpan(a, b).GetTotalMilliseconds());
    EXPECT_EQ(-1, CSystemTimeSpan(b, a).GetTotalMilliseconds());
    EXPECT_EQ(-1, (b - a).GetTotalMilliseconds());

    EXPECT_EQ(2 * kMsPerDay, (CSystemTime(2024, 3, 1) - CSystemTime(2024, 2, 28)).GetTimeSpan());
    EXPECT_EQ(kMsPerDay, (CSystemTime(2023, 3, 1) - CSystemTime(2023, 2, 28)).GetTimeSpan());

    std::mt19937_64 rng(99);
    for (int i = 0; i < 500; ++i) {
        const __int64 s1 = static_cast<__int64>(rng() % 40000000000ULL);
        const __int64 s2 = static_cast<__int64>(rng() % 40000000000ULL);
        const CSystemTime t1(s1), t2(s2);
        ASSERT_EQ((s1 - s2) * 1000, CSystemTimeSpan(t1, t2).GetTotalMilliseconds());
        ASSERT_EQ(-CSystemTimeSpan(t1, t2).GetTotalMilliseconds(),
                  CSystemTimeSpan(t2, t1).GetTotalMilliseconds());
    }

    EXPECT_WIN_EXCEPTION((void)CSystemTimeSpan(CSystemTime(), a), kModule, L"SystemTimeToFileTime",
                         87);
    EXPECT_WIN_EXCEPTION((void)CSystemTimeSpan(a, CSystemTime(St(2023, 2, 29))), kModule,
                         L"SystemTimeToFileTime", 87);
}

// ---------------------------------------------------------------------------
// CSystemTime: construction, conversion, comparison

TEST(CSystemTimeTest, HoldsExactlyOneSystemtime)
{
    static_assert(sizeof(CSystemTime) == sizeof(SYSTEMTIME), "one SYSTEMTIME and nothing else");
    CSystemTime t;
    EXPECT_EQ(Text(St(0, 0, 0)), Text(t));
    SYSTEMTIME* p = t;
    EXPECT_EQ(static_cast<void*>(&t), static_cast<void*>(p));
    // The object can be handed to a Win32 call that fills a SYSTEMTIME.
    ::GetSystemTime(t);
    EXPECT_GE(SYSTEMTIME(t).wYear, 2020);
}

TEST(CSystemTimeTest, SystemtimeAndTmAreCopiedWithoutValidation)
{
    const SYSTEMTIME odd = St(2023, 2, 29, 24, 61, 99, 1234, 9);
    EXPECT_EQ(Text(odd), Text(CSystemTime(odd)));
    CSystemTime t;
    EXPECT_EQ(&t, &(t = odd));
    EXPECT_EQ(Text(odd), Text(t));

    tm in = {};
    in.tm_year = 124;
    in.tm_mon = 12; // month 13, kept as it is
    in.tm_mday = 40;
    in.tm_hour = 25;
    in.tm_min = 1;
    in.tm_sec = 2;
    in.tm_wday = 3;
    in.tm_yday = 300;
    in.tm_isdst = 1;
    EXPECT_EQ(Text(St(2024, 13, 40, 25, 1, 2, 0, 3)), Text(CSystemTime(in)));
    t = St(1, 1, 1, 1, 1, 1, 999);
    EXPECT_EQ(&t, &(t = in));
    EXPECT_EQ(Text(St(2024, 13, 40, 25, 1, 2, 0, 3)), Text(t));
}

TEST(CSystemTimeTest, ComponentConstructorFillsDayOfWeek)
{
    struct Case
    {
        SYSTEMTIME in;
        WORD dayOfWeek;
    };
    const Case cases[] = {{St(2024, 2, 29), 4},
                          {St(2000, 2, 29), 2},
                          {St(1970, 1, 1), 4},
                          {St(1601, 1, 1), 1},
                          {St(2023, 1, 1), 0},
                          {St(2024, 1, 1), 1},
                          {St(30827, 12, 31, 23, 59, 59, 999), 5}};
    for (const Case& c : cases) {
        const SYSTEMTIME& s = c.in;
        const CSystemTime t(s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond,
                            s.wMilliseconds);
        SYSTEMTIME expected = s;
        expected.wDayOfWeek = c.dayOfWeek;
        EXPECT_EQ(Text(expected), Text(t));
    }
}

// Windows rejects these with 87; Wine's SystemTimeToFileTime, GetDateFormatW and
// zone conversions accept 29 February of common years (as 1 March) and years
// after 30827, so every conversion must reject them before the platform sees them.
TEST(CSystemTimeTest, RejectsWhatWindowsRejects)
{
    struct Case
    {
        SYSTEMTIME st;
        bool bDateInvalid;
    };
    const Case cases[] = {{St(2023, 2, 29), true},
                          {St(2100, 2, 29), true},
                          {St(1900, 2, 29), true},
                          {St(2023, 2, 30), true},
                          {St(2023, 4, 31), true},
                          {St(2023, 6, 31), true},
                          {St(2023, 9, 31), true},
                          {St(2023, 11, 31), true},
                          {St(2023, 1, 32), true},
                          {St(2023, 1, 0), true},
                          {St(2023, 0, 1), true},
                          {St(2023, 13, 1), true},
                          {St(1600, 12, 31), true},
                          {St(1, 1, 1), true},
                          {St(30828, 1, 1), true},
                          {St(65535, 1, 1), true},
                          {St(2023, 1, 1, 24), false},
                          {St(2023, 1, 1, 23, 60), false},
                          {St(2023, 1, 1, 23, 59, 60), false},
                          {St(2023, 1, 1, 23, 59, 59, 1000), false}};
    TIME_ZONE_INFORMATION tzi = {};
    tzi.Bias = -60;
    const CSystemTime valid(2024, 1, 1);
    for (const Case& c : cases) {
        const SYSTEMTIME& s = c.st;
        SCOPED_TRACE(Text(s));
        EXPECT_WIN_EXCEPTION(
            CSystemTime(s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond, s.wMilliseconds),
            kModule, L"SystemTimeToFileTime", 87);
        const CSystemTime t(s);
        EXPECT_WIN_EXCEPTION(static_cast<FILETIME>(t), kModule, L"SystemTimeToFileTime", 87);
        EXPECT_WIN_EXCEPTION(static_cast<__int64>(t), kModule, L"SystemTimeToFileTime", 87);
        EXPECT_WIN_EXCEPTION(t.Compare(valid), kModule, L"SystemTimeToFileTime", 87);
        EXPECT_WIN_EXCEPTION((void)(valid < t), kModule, L"SystemTimeToFileTime", 87);
        EXPECT_WIN_EXCEPTION(t + CSystemTimeSpan(1), kModule, L"SystemTimeToFileTime", 87);
        EXPECT_WIN_EXCEPTION(valid - t, kModule, L"SystemTimeToFileTime", 87);
        EXPECT_WIN_EXCEPTION(t.UTCToLocal(), kModule, L"SystemTimeToFileTime", 87);
        EXPECT_WIN_EXCEPTION(t.UTCToLocal(tzi), kModule, L"SystemTimeToTzSpecificLocalTime", 87);
        EXPECT_WIN_EXCEPTION(t.LocalToUTC(tzi), kModule, L"TzSpecificLocalTimeToSystemTime", 87);
        if (c.bDateInvalid) {
            EXPECT_WIN_EXCEPTION(static_cast<tm>(t), kModule, L"SystemTimeToFileTime", 87);
            EXPECT_WIN_EXCEPTION(t.GetDateFormatW(1033, 0, L"yyyy"), kModule, L"GetDateFormat", 87);
            EXPECT_WIN_EXCEPTION(t.Format(1033, L"%x"), kModule, L"GetDateFormat", 87);
            EXPECT_WIN_EXCEPTION(t.Format(1033, L"%U"), kModule, L"SystemTimeToFileTime", 87);
        } else {
            EXPECT_WIN_EXCEPTION(t.GetTimeFormatW(1033, 0, nullptr), kModule, L"GetTimeFormat", 87);
            EXPECT_WIN_EXCEPTION(t.Format(1033, L"%H"), kModule, L"GetTimeFormat", 87);
        }
    }
}

// The platform as judge: a date exists when SystemTimeToFileTime takes it and
// FileTimeToSystemTime gives the same fields back (Wine moves 2023-02-29 to
// 1 March instead of failing, which this catches too).
TEST(CSystemTimeTest, AcceptsExactlyTheDatesThePlatformRoundTrips)
{
    const WORD years[] = {1601, 1900, 1970, 2000, 2023, 2024, 2100, 2400, 30827};
    const SYSTEMTIME times[] = {St(0, 0, 0), St(0, 0, 0, 23, 59, 59, 999)};
    for (WORD year : years) {
        for (WORD month = 0; month <= 13; ++month) {
            for (WORD day = 0; day <= 32; ++day) {
                for (const SYSTEMTIME& tod : times) {
                    const SYSTEMTIME st = St(year, month, day, tod.wHour, tod.wMinute, tod.wSecond,
                                             tod.wMilliseconds);
                    FILETIME ft;
                    SYSTEMTIME back = {};
                    const bool bExists = ::SystemTimeToFileTime(&st, &ft) &&
                                         ::FileTimeToSystemTime(&ft, &back) && back.wYear == year &&
                                         back.wMonth == month && back.wDay == day;
                    SCOPED_TRACE(Text(st));
                    if (bExists) {
                        const CSystemTime t(year, month, day, st.wHour, st.wMinute, st.wSecond,
                                            st.wMilliseconds);
                        ASSERT_EQ(Text(back), Text(t));
                        ASSERT_EQ(Ticks(ft), Ticks(t));
                    } else {
                        EXPECT_WIN_EXCEPTION(CSystemTime(year, month, day, st.wHour, st.wMinute,
                                                         st.wSecond, st.wMilliseconds),
                                             kModule, L"SystemTimeToFileTime", 87);
                    }
                }
            }
        }
    }
}

TEST(CSystemTimeTest, FiletimeConversions)
{
    struct Case
    {
        unsigned __int64 ticks;
        SYSTEMTIME st;
    };
    const Case cases[] = {{0, St(1601, 1, 1, 0, 0, 0, 0, 1)},
                          {116444736000000000ULL, St(1970, 1, 1, 0, 0, 0, 0, 4)},
                          {0x7FFFFFFFFFFFFFFFULL, St(30828, 9, 14, 2, 48, 5, 477, 4)}};
    for (const Case& c : cases) {
        EXPECT_EQ(Text(c.st), Text(CSystemTime(FileTime(c.ticks))));
        CSystemTime t;
        EXPECT_EQ(&t, &(t = FileTime(c.ticks)));
        EXPECT_EQ(Text(c.st), Text(t));
    }
    EXPECT_EQ(116444736000000000ULL, Ticks(CSystemTime(1970, 1, 1)));
    // Sub-millisecond ticks are dropped on the way in.
    EXPECT_EQ(Text(St(1601, 1, 1, 0, 0, 0, 1, 1)), Text(CSystemTime(FileTime(19999))));

    // Beyond the FILETIME range: the code comes from the same raw call.
    const FILETIME tooLate = FileTime(0x8000000000000000ULL);
    SYSTEMTIME scratch;
    ASSERT_FALSE(::FileTimeToSystemTime(&tooLate, &scratch));
    const DWORD code = ::GetLastError();
    EXPECT_WIN_EXCEPTION(CSystemTime{tooLate}, kModule, L"FileTimeToSystemTime", code);
    CSystemTime t;
    EXPECT_WIN_EXCEPTION(t = tooLate, kModule, L"FileTimeToSystemTime", code);
    EXPECT_WIN_EXCEPTION(static_cast<FILETIME>(CSystemTime()), kModule, L"SystemTimeToFileTime",
                         87);
}

TEST(CSystemTimeTest, ToTm)
{
    struct Case
    {
        SYSTEMTIME st;
        int yday;
    };
    const Case cases[] = {
        {St(2024, 1, 1), 0},
        {St(2024, 12, 31, 23, 59, 59, 999), 365},
        {St(2023, 12, 31), 364},
        {St(2024, 3, 1, 12, 30), 60},
        {St(1601, 12, 31), 364},
        {St(30827, 12, 31, 23, 59, 59, 999), 364},
        // The day of the year ignores the time of day, even one that does not exist.
        {St(2024, 2, 29, 24, 60, 60, 1000), 59}};
    for (const Case& c : cases) {
        SYSTEMTIME st = c.st;
        st.wDayOfWeek = 6; // passed through as stored
        const tm t = CSystemTime(st);
        SCOPED_TRACE(Text(st));
        EXPECT_EQ(c.yday, t.tm_yday);
        EXPECT_EQ(st.wYear - 1900, t.tm_year);
        EXPECT_EQ(st.wMonth - 1, t.tm_mon);
        EXPECT_EQ(st.wDay, t.tm_mday);
        EXPECT_EQ(st.wHour, t.tm_hour);
        EXPECT_EQ(st.wMinute, t.tm_min);
        EXPECT_EQ(st.wSecond, t.tm_sec);
        EXPECT_EQ(6, t.tm_wday);
        EXPECT_EQ(-1, t.tm_isdst);
    }
    EXPECT_WIN_EXCEPTION(static_cast<tm>(CSystemTime()), kModule, L"SystemTimeToFileTime", 87);
}

TEST(CSystemTimeTest, SecondsSince1970HandChecked)
{
    struct Case
    {
        __int64 seconds;
        SYSTEMTIME st;
    };
    const Case cases[] = {{0, St(1970, 1, 1, 0, 0, 0, 0, 4)},
                          {951782400, St(2000, 2, 29, 0, 0, 0, 0, 2)},
                          {910670515199, St(30827, 12, 31, 23, 59, 59, 0, 5)}};
    for (const Case& c : cases) {
        EXPECT_EQ(Text(c.st), Text(CSystemTime(c.seconds)));
        EXPECT_EQ(c.seconds, static_cast<__int64>(CSystemTime(c.st)));
        CSystemTime t;
        EXPECT_EQ(&t, &(t = c.seconds));
        EXPECT_EQ(Text(c.st), Text(t));
    }

    // Negative counts reach back before 1970; converting back gives -1.
    struct Before
    {
        __int64 seconds;
        SYSTEMTIME st;
    };
    const Before before[] = {{-1, St(1969, 12, 31, 23, 59, 59, 0, 3)},
                             {-86400, St(1969, 12, 31, 0, 0, 0, 0, 3)},
                             {-11644473600, St(1601, 1, 1, 0, 0, 0, 0, 1)}};
    for (const Before& b : before) {
        EXPECT_EQ(Text(b.st), Text(CSystemTime(b.seconds)));
        EXPECT_EQ(-1, static_cast<__int64>(CSystemTime(b.st)));
    }
    // Truncation toward zero: 999 ms past a second do not count.
    EXPECT_EQ(1, static_cast<__int64>(CSystemTime(1970, 1, 1, 0, 0, 1, 999)));
    EXPECT_EQ(0, static_cast<__int64>(CSystemTime(1970, 1, 1, 0, 0, 0, 999)));

    // Before 1601 the tick count leaves the FILETIME range.
    EXPECT_WIN_EXCEPTION(CSystemTime(static_cast<__int64>(-11644473601)), kModule,
                         L"FileTimeToSystemTime", 87);
    EXPECT_WIN_EXCEPTION(static_cast<__int64>(CSystemTime()), kModule, L"SystemTimeToFileTime", 87);
}

// The C runtime's 64-bit functions cover 1970 to 3000 and answer -1 before 1970.
TEST(CSystemTimeTest, SecondsSince1970AgreeWithTheRuntime)
{
    std::mt19937 rng(1970);
    std::vector<SYSTEMTIME> samples = {St(1969, 12, 31, 23, 59, 59),
                                       St(1970, 1, 1),
                                       St(1970, 1, 1, 0, 0, 1),
                                       St(2038, 1, 19, 3, 14, 8),
                                       St(2100, 3, 1),
                                       St(3000, 12, 31, 23, 59, 59),
                                       St(1601, 1, 1),
                                       St(1900, 2, 28, 12)};
    for (int i = 0; i < 3000; ++i) {
        const WORD year = static_cast<WORD>(1601 + rng() % 1400);
        const WORD month = static_cast<WORD>(1 + rng() % 12);
        const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const WORD day = static_cast<WORD>(1 + rng() % dim[month - 1]);
        samples.push_back(St(year, month, day, static_cast<WORD>(rng() % 24),
                             static_cast<WORD>(rng() % 60), static_cast<WORD>(rng() % 60),
                             static_cast<WORD>(rng() % 1000)));
    }
    for (const SYSTEMTIME& s : samples) {
        const CSystemTime t(s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond,
                            s.wMilliseconds);
        tm judge = {};
        judge.tm_year = s.wYear - 1900;
        judge.tm_mon = s.wMonth - 1;
        judge.tm_mday = s.wDay;
        judge.tm_hour = s.wHour;
        judge.tm_min = s.wMinute;
        judge.tm_sec = s.wSecond;
        const __int64 expected = _mkgmtime64(&judge);
        ASSERT_EQ(expected, static_cast<__int64>(t)) << Text(s);
        if (expected < 0)
            continue;
        // And back: the runtime's broken-down time of the same count.
        __time64_t seconds = expected;
        const tm* back = _gmtime64(&seconds);
        ASSERT_NE(nullptr, back);
        const SYSTEMTIME want =
            St(static_cast<WORD>(back->tm_year + 1900), static_cast<WORD>(back->tm_mon + 1),
               static_cast<WORD>(back->tm_mday), static_cast<WORD>(back->tm_hour),
               static_cast<WORD>(back->tm_min), static_cast<WORD>(back->tm_sec), 0,
               static_cast<WORD>(back->tm_wday));
        ASSERT_EQ(Text(want), Text(CSystemTime(expected)));
    }
}

TEST(CSystemTimeTest, CompareClearedAndSetValues)
{
    const SYSTEMTIME cleared = St(0, 0, 0);
    // Year 0 is "no time" whatever the other fields hold.
    const SYSTEMTIME clearedWithJunk = St(0, 77, 5, 99, 88, 77, 6666, 9);
    const SYSTEMTIME early = St(2024, 2, 29, 12, 0, 0, 0, 4);
    const SYSTEMTIME earlyOtherDow = St(2024, 2, 29, 12, 0, 0, 0, 0);
    const SYSTEMTIME later = St(2024, 2, 29, 12, 0, 0, 1, 4);
    struct Case
    {
        SYSTEMTIME a, b;
        int result;
    };
    const Case cases[] = {{cleared, cleared, 0},
                          {cleared, clearedWithJunk, 0},
                          {clearedWithJunk, cleared, 0},
                          {cleared, early, -1},
                          {early, cleared, 1},
                          {clearedWithJunk, later, -1},
                          {early, earlyOtherDow, 0},
                          {early, later, -1},
                          {later, early, 1},
                          {St(1601, 1, 1), early, -1},
                          {early, early, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Text(c.a) + " vs " + Text(c.b));
        const CSystemTime a(c.a), b(c.b);
        EXPECT_EQ(c.result, a.Compare(c.b));
        EXPECT_EQ(c.result == 0, a == b);
        EXPECT_EQ(c.result != 0, a != b);
        EXPECT_EQ(c.result < 0, a < b);
        EXPECT_EQ(c.result > 0, a > b);
        EXPECT_EQ(c.result <= 0, a <= b);
        EXPECT_EQ(c.result >= 0, a >= b);
    }
}

TEST(CSystemTimeTest, AddAndSubtractSpans)
{
    struct Case
    {
        SYSTEMTIME from;
        __int64 ms;
        SYSTEMTIME to;
    };
    const Case cases[] = {{St(2000, 1, 1), -1, St(1999, 12, 31, 23, 59, 59, 999, 5)},
                          {St(2024, 2, 28, 12), kMsPerDay, St(2024, 2, 29, 12, 0, 0, 0, 4)},
                          {St(2023, 2, 28, 12), kMsPerDay, St(2023, 3, 1, 12, 0, 0, 0, 3)},
                          {St(2024, 3, 31, 1, 59, 59, 999), 1, St(2024, 3, 31, 2, 0, 0, 0, 0)},
                          {St(1601, 1, 1, 0, 0, 0, 1), -1, St(1601, 1, 1, 0, 0, 0, 0, 1)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Text(c.from));
        const CSystemTime from(c.from);
        EXPECT_EQ(Text(c.to), Text(from + CSystemTimeSpan(c.ms)));
        EXPECT_EQ(Text(c.to), Text(from - CSystemTimeSpan(-c.ms)));
        CSystemTime t(c.from);
        EXPECT_EQ(&t, &(t += CSystemTimeSpan(c.ms)));
        EXPECT_EQ(Text(c.to), Text(t));
        EXPECT_EQ(&t, &(t -= CSystemTimeSpan(c.ms)));
        EXPECT_EQ(0, t.Compare(c.from));
    }
    // 30828 comes out of FileTimeToSystemTime but is no valid input on Windows.
    const CSystemTime last(30827, 12, 31, 23, 59, 59, 999);
    EXPECT_EQ(Text(St(30828, 1, 1, 0, 0, 0, 0, 6)), Text(last + CSystemTimeSpan(1)));
    EXPECT_WIN_EXCEPTION(static_cast<FILETIME>(last + CSystemTimeSpan(1)), kModule,
                         L"SystemTimeToFileTime", 87);
    EXPECT_WIN_EXCEPTION(CSystemTime(1601, 1, 1) - CSystemTimeSpan(1), kModule,
                         L"FileTimeToSystemTime", 87);
    EXPECT_WIN_EXCEPTION(CSystemTime(1601, 1, 1) + CSystemTimeSpan(-1), kModule,
                         L"FileTimeToSystemTime", 87);
}

// ---------------------------------------------------------------------------
// Zones

namespace {

struct Zone
{
    const char* name;
    TIME_ZONE_INFORMATION tzi;
};

Zone MakeZone(const char* name, LONG bias, const SYSTEMTIME& standard, const SYSTEMTIME& daylight,
              LONG daylightBias)
{
    Zone z = {name, {}};
    z.tzi.Bias = bias;
    z.tzi.StandardDate = standard;
    z.tzi.DaylightDate = daylight;
    z.tzi.DaylightBias = daylightBias;
    return z;
}

// The UTC second at which a "day-in-month" rule fires in a year: the n-th
// (5 = last) given weekday of the month, at a local time read with the bias
// that holds until then.
__int64 RuleInstant(int year, const SYSTEMTIME& rule, LONG biasBefore)
{
    const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bLeap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    const int days = dim[rule.wMonth - 1] + (rule.wMonth == 2 && bLeap ? 1 : 0);
    const __int64 first = DaysFromCivil(year, rule.wMonth, 1);
    const int firstDow = static_cast<int>((first % 7 + 7 + 4) % 7);
    int day = 1 + (rule.wDayOfWeek - firstDow + 7) % 7 + 7 * (rule.wDay - 1);
    while (day > days)
        day -= 7;
    const __int64 local =
        (first + day - 1) * kSecondsPerDay + rule.wHour * 3600 + rule.wMinute * 60;
    return local + biasBefore * 60;
}

// Minutes to subtract from UTC to get local time, by the zone's rules.
LONG ExpectedBias(const TIME_ZONE_INFORMATION& tzi, int year, __int64 utc)
{
    if (tzi.StandardDate.wMonth == 0)
        return tzi.Bias + tzi.StandardBias;
    const __int64 start = RuleInstant(year, tzi.DaylightDate, tzi.Bias + tzi.StandardBias);
    const __int64 end = RuleInstant(year, tzi.StandardDate, tzi.Bias + tzi.DaylightBias);
    const bool bDaylight = start < end ? utc >= start && utc < end : utc >= start || utc < end;
    return tzi.Bias + (bDaylight ? tzi.DaylightBias : tzi.StandardBias);
}

std::vector<Zone> TestZones()
{
    return {
        // Last Sunday of March 02:00 to last Sunday of October 03:00.
        MakeZone("Central Europe", -60, St(0, 10, 5, 3, 0, 0, 0, 0), St(0, 3, 5, 2, 0, 0, 0, 0),
                 -60),
        // Second Sunday of March to first Sunday of November, both 02:00.
        MakeZone("US Eastern", 300, St(0, 11, 1, 2, 0, 0, 0, 0), St(0, 3, 2, 2, 0, 0, 0, 0), -60),
        // Southern: daylight from October across the new year into April.
        MakeZone("Sydney", -600, St(0, 4, 1, 3, 0, 0, 0, 0), St(0, 10, 1, 2, 0, 0, 0, 0), -60),
        MakeZone("India", -330, St(0, 0, 0), St(0, 0, 0), 0)};
}

} // namespace

TEST(CSystemTimeZoneTest, UtcToLocalFollowsTheDaylightRules)
{
    for (const Zone& zone : TestZones()) {
        SCOPED_TRACE(zone.name);
        for (int year : {2024, 2025}) {
            const __int64 begin = DaysFromCivil(year, 1, 1) * kSecondsPerDay;
            const __int64 end = DaysFromCivil(year + 1, 1, 1) * kSecondsPerDay;
            for (__int64 utc = begin; utc < end; utc += 1800) {
                const LONG bias = ExpectedBias(zone.tzi, year, utc);
                const CSystemTime local = CSystemTime(utc).UTCToLocal(zone.tzi);
                ASSERT_EQ(Text(CSystemTime(utc - bias * 60)), Text(local))
                    << "UTC " << Text(CSystemTime(utc));

                // Back again; local times repeated when daylight time ends may
                // map to either instant.
                const __int64 back = static_cast<__int64>(local.LocalToUTC(zone.tzi));
                if (back != utc) {
                    const LONG otherBias = ExpectedBias(zone.tzi, year, back);
                    ASSERT_NE(bias, otherBias) << "UTC " << Text(CSystemTime(utc));
                    ASSERT_EQ(utc - bias * 60, back - otherBias * 60);
                }
            }
        }
    }
}

TEST(CSystemTimeZoneTest, HandCheckedTransitions)
{
    const TIME_ZONE_INFORMATION cet = TestZones()[0].tzi;
    struct Case
    {
        SYSTEMTIME utc, local;
    };
    const Case cases[] = {{St(2024, 1, 15, 12), St(2024, 1, 15, 13, 0, 0, 0, 1)},
                          {St(2024, 7, 1, 12), St(2024, 7, 1, 14, 0, 0, 0, 1)},
                          {St(2024, 3, 31, 0, 59, 59, 999), St(2024, 3, 31, 1, 59, 59, 999, 0)},
                          {St(2024, 3, 31, 1), St(2024, 3, 31, 3, 0, 0, 0, 0)},
                          {St(2024, 10, 27, 0, 59, 59), St(2024, 10, 27, 2, 59, 59, 0, 0)},
                          {St(2024, 10, 27, 1), St(2024, 10, 27, 2, 0, 0, 0, 0)},
                          {St(2024, 12, 31, 23, 30), St(2025, 1, 1, 0, 30, 0, 0, 3)}};
    for (const Case& c : cases)
        EXPECT_EQ(Text(c.local), Text(CSystemTime(c.utc).UTCToLocal(cet))) << Text(c.utc);
    EXPECT_EQ(Text(St(2024, 7, 1, 12, 0, 0, 0, 1)),
              Text(CSystemTime(2024, 7, 1, 14).LocalToUTC(cet)));
}

TEST(CSystemTimeZoneTest, MachineZoneMatchesThePlatform)
{
    const CSystemTime t(2024, 7, 1, 12, 34, 56, 789);
    const FILETIME ft = t;
    FILETIME local, utc;
    ASSERT_TRUE(::FileTimeToLocalFileTime(&ft, &local));
    ASSERT_TRUE(::LocalFileTimeToFileTime(&ft, &utc));
    EXPECT_EQ(Ticks(local), Ticks(t.UTCToLocal()));
    EXPECT_EQ(Ticks(utc), Ticks(t.LocalToUTC()));
    EXPECT_WIN_EXCEPTION(CSystemTime().LocalToUTC(), kModule, L"SystemTimeToFileTime", 87);

    TIME_ZONE_INFORMATION raw = {}, ours = {};
    const DWORD rawResult = ::GetTimeZoneInformation(&raw);
    EXPECT_EQ(rawResult, CSystemTime().GetTimeZoneInformation(ours));
    EXPECT_EQ(0, std::memcmp(&raw, &ours, sizeof raw));

    // %z and %Z name the machine's zone whatever the value.
    const ustring name = rawResult == TIME_ZONE_ID_DAYLIGHT ? raw.DaylightName : raw.StandardName;
    EXPECT_EQ(name, CSystemTime().Format(1033, L"%z"));
    EXPECT_EQ(name + L"|" + name, t.Format(1031, L"%Z|%#Z"));
}

// Setting the zone needs a privilege that ordinary processes lack (Wine: 1314);
// writing back the current zone is harmless either way.
TEST(CSystemTimeZoneTest, SetTimeZoneInformationReportsThePlatformResult)
{
    TIME_ZONE_INFORMATION current = {};
    ASSERT_NE(TIME_ZONE_ID_INVALID, ::GetTimeZoneInformation(&current));
    const BOOL bRaw = ::SetTimeZoneInformation(&current);
    const DWORD code = ::GetLastError();
    CSystemTime t;
    if (bRaw)
        EXPECT_NO_THROW(t.SetTimeZoneInformation(current));
    else
        EXPECT_WIN_EXCEPTION(t.SetTimeZoneInformation(current), kModule, L"SetTimeZoneInformation",
                             code);
}

TEST(CSystemTimeZoneTest, CurrentTimeLiesBetweenTwoPlatformReadings)
{
    SYSTEMTIME before, after;
    ::GetSystemTime(&before);
    const CSystemTime utc = CSystemTime::GetSystemTime();
    ::GetSystemTime(&after);
    EXPECT_LE(CSystemTime(before), utc);
    EXPECT_LE(utc, CSystemTime(after));

    ::GetLocalTime(&before);
    const CSystemTime local = CSystemTime::GetLocalTime();
    ::GetLocalTime(&after);
    EXPECT_LE(CSystemTime(before), local);
    EXPECT_LE(local, CSystemTime(after));
}

// ---------------------------------------------------------------------------
// Formatting

// Every day of five decades against the runtime's wcsftime: day of the year,
// weeks starting Sunday and Monday, and the day of the week.
TEST(CSystemTimeFormatTest, NumericCodesAgreeWithWcsftime)
{
    const __int64 first = DaysFromCivil(1990, 1, 1), last = DaysFromCivil(2040, 12, 31);
    for (__int64 day = first; day <= last; ++day) {
        // A different time of day each day: the codes must not depend on it.
        __time64_t seconds = day * kSecondsPerDay + (day * 7919) % kSecondsPerDay;
        const tm* t = _gmtime64(&seconds);
        ASSERT_NE(nullptr, t);
        wchar_t expected[64];
        ASSERT_GT(wcsftime(expected, 64, L"%j %U %W %w|%#j %#U %#W", t), 0u);
        ASSERT_EQ(
            ustring(expected),
            CSystemTime(static_cast<__int64>(seconds)).Format(1033, L"%j %U %W %w|%#j %#U %#W"))
            << Text(CSystemTime(static_cast<__int64>(seconds)));
    }
}

TEST(CSystemTimeFormatTest, WeekAndDayNumbersHandChecked)
{
    struct Case
    {
        SYSTEMTIME st;
        const wchar_t* format;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {St(2023, 1, 1), L"%U %W", L"01 00"},  {St(2024, 1, 1), L"%U %W", L"00 01"},
        {St(2024, 1, 7), L"%U %W", L"01 01"},  {St(2024, 1, 6), L"%U %W", L"00 01"},
        {St(2024, 1, 1), L"%j %#j", L"001 1"}, {St(2024, 12, 31), L"%j %U %W", L"366 52 53"},
        {St(2023, 12, 31), L"%j", L"365"},     {St(2024, 2, 29, 12), L"%w", L"4"}};
    for (const Case& c : cases) {
        const CSystemTime t(c.st.wYear, c.st.wMonth, c.st.wDay, c.st.wHour);
        EXPECT_EQ(ustring(c.expected), t.Format(1033, c.format)) << Text(c.st);
    }
    // %w prints the stored day of the week, right or not.
    EXPECT_EQ(ustring(L"6"), CSystemTime(St(2024, 2, 29, 0, 0, 0, 0, 6)).Format(1033, L"%w"));
}

// The locale codes against the platform's own pictures for the same value.
TEST(CSystemTimeFormatTest, LocaleCodesAgreeWithThePlatform)
{
    struct Code
    {
        const wchar_t* code;
        bool bDate;
        DWORD flags;
        const wchar_t* picture;
    };
    const Code codes[] = {{L"%a", true, 0, L"ddd"},
                          {L"%#a", true, 0, L"ddd"},
                          {L"%A", true, 0, L"dddd"},
                          {L"%b", true, 0, L"MMM"},
                          {L"%B", true, 0, L"MMMM"},
                          {L"%d", true, 0, L"dd"},
                          {L"%#d", true, 0, L"d"},
                          {L"%H", false, 0, L"HH"},
                          {L"%#H", false, 0, L"H"},
                          {L"%I", false, 0, L"hh"},
                          {L"%#I", false, 0, L"h"},
                          {L"%m", true, 0, L"MM"},
                          {L"%#m", true, 0, L"M"},
                          {L"%M", false, 0, L"mm"},
                          {L"%#M", false, 0, L"m"},
                          {L"%p", false, 0, L"tt"},
                          {L"%S", false, 0, L"ss"},
                          {L"%#S", false, 0, L"s"},
                          {L"%x", true, DATE_SHORTDATE, nullptr},
                          {L"%#x", true, DATE_LONGDATE, nullptr},
                          {L"%X", false, 0, nullptr},
                          {L"%#X", false, 0, nullptr},
                          {L"%y", true, 0, L"yy"},
                          {L"%#y", true, 0, L"y"},
                          {L"%Y", true, 0, L"yyyy"},
                          {L"%#Y", true, 0, L"yyyy"}};
    const SYSTEMTIME values[] = {St(2024, 2, 29, 13, 5, 9, 7),      St(2023, 1, 1, 0, 0, 0, 0),
                                 St(1999, 12, 31, 23, 59, 59),      St(2024, 7, 4, 9, 8, 7),
                                 St(2005, 5, 6, 12, 0, 0, 0),       St(1601, 1, 1, 1, 2, 3),
                                 St(30827, 12, 31, 11, 59, 59, 999)};
    for (LCID lcid : {1033u, 1031u, 1036u}) {
        for (const SYSTEMTIME& v : values) {
            const CSystemTime t(v.wYear, v.wMonth, v.wDay, v.wHour, v.wMinute, v.wSecond,
                                v.wMilliseconds);
            const SYSTEMTIME st = t;
            SCOPED_TRACE(Text(st) + " in " + std::to_string(lcid));
            ustring format, expected;
            for (const Code& c : codes) {
                format += ustring(c.code) + L"|";
                expected += (c.bDate ? RawDate(lcid, c.flags, st, c.picture)
                                     : RawTime(lcid, c.flags, st, c.picture)) +
                            L"|";
            }
            EXPECT_EQ(expected, t.Format(lcid, format));
            const ustring shortDate = RawDate(lcid, DATE_SHORTDATE, st, nullptr);
            const ustring longDate = RawDate(lcid, DATE_LONGDATE, st, nullptr);
            const ustring timeOfDay = RawTime(lcid, 0, st, nullptr);
            EXPECT_EQ(shortDate + L" " + timeOfDay, t.Format(lcid, L"%c"));
            EXPECT_EQ(longDate + L" " + timeOfDay, t.Format(lcid, L"%#c"));
            EXPECT_EQ(longDate, t.GetDateFormatW(lcid, DATE_LONGDATE, nullptr));
            EXPECT_EQ(RawTime(lcid, TIME_FORCE24HOURFORMAT | TIME_NOSECONDS, st, nullptr),
                      t.GetTimeFormatW(lcid, TIME_FORCE24HOURFORMAT | TIME_NOSECONDS, nullptr));
            EXPECT_EQ(RawDate(lcid, 0, st, L"'Day' d 'of' MMMM"),
                      t.GetDateFormatW(lcid, 0, L"'Day' d 'of' MMMM"));
        }
    }
}

TEST(CSystemTimeFormatTest, ScanningRules)
{
    const CSystemTime t(2024, 2, 29, 13, 5, 9);
    struct Case
    {
        const wchar_t* format;
        const wchar_t* expected;
    };
    const Case cases[] = {{L"", L""},
                          {nullptr, L""},
                          {L"plain text, no codes", L"plain text, no codes"},
                          {L"100%%", L"100%"},
                          {L"%#%", L"%"},
                          {L"a%Qb%#qc", L"abc"},
                          {L"%D%e%s", L""},
                          {L"%Y-%m-%d%", L"2024-02-29"},
                          {L"%Y%#", L"2024"},
                          {L"%%Y", L"%Y"}};
    for (const Case& c : cases)
        EXPECT_EQ(ustring(c.expected), t.Format(1033, c.format))
            << (c.format ? c.format : L"(null)");

    // Formatting leaves the value alone.
    const SYSTEMTIME before = t;
    (void)t.Format(1033, L"%c %j %U %W %Z");
    EXPECT_EQ(Text(before), Text(t));
}

TEST(CSystemTimeFormatTest, Failures)
{
    const CSystemTime cleared;
    // Text without codes needs no conversion at all.
    EXPECT_EQ(ustring(L"no time"), cleared.Format(1033, L"no time"));
    EXPECT_WIN_EXCEPTION(cleared.Format(1033, L"%j"), kModule, L"SystemTimeToFileTime", 87);
    EXPECT_WIN_EXCEPTION(cleared.Format(1033, L"%W"), kModule, L"SystemTimeToFileTime", 87);
    EXPECT_WIN_EXCEPTION(cleared.Format(1033, L"%Y"), kModule, L"GetDateFormat", 87);
    EXPECT_WIN_EXCEPTION(cleared.Format(1033, L"%c"), kModule, L"GetDateFormat", 87);

    // Codes of the platform's own failures come from the same raw calls.
    const CSystemTime t(2024, 2, 29, 13, 5, 9);
    const SYSTEMTIME st = t;
    const LCID noSuchLocale = 0x12345;
    wchar_t buffer[64];
    ASSERT_EQ(0, ::GetDateFormatW(noSuchLocale, 0, &st, L"yyyy", buffer, 64));
    const DWORD badLocaleDate = ::GetLastError();
    ASSERT_EQ(0, ::GetTimeFormatW(noSuchLocale, 0, &st, L"HH", buffer, 64));
    const DWORD badLocaleTime = ::GetLastError();
    ASSERT_EQ(0, ::GetDateFormatW(1033, DATE_LONGDATE, &st, L"yyyy", buffer, 64));
    const DWORD flagsWithPicture = ::GetLastError();
    EXPECT_WIN_EXCEPTION(t.Format(noSuchLocale, L"%Y"), kModule, L"GetDateFormat", badLocaleDate);
    EXPECT_WIN_EXCEPTION(t.Format(noSuchLocale, L"%H"), kModule, L"GetTimeFormat", badLocaleTime);
    EXPECT_WIN_EXCEPTION(t.GetDateFormatW(1033, DATE_LONGDATE, L"yyyy"), kModule, L"GetDateFormat",
                         flagsWithPicture);

    // Windows rejects flags it does not know (Wine's GetTimeFormatW ignores them).
    EXPECT_WIN_EXCEPTION(t.GetTimeFormatW(1033, 0x00010000, nullptr), kModule, L"GetTimeFormat",
                         ERROR_INVALID_FLAGS);
}
