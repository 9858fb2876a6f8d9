// CSystemTimeSpan and CSystemTime: conversions, arithmetic, zones and formatting.
#include "throw.h"

#include <tarn_kit/system_time.h>

#include <cwchar>

namespace tarn_kit {

namespace {

constexpr const wchar_t* kModule = L".\\SystemTime";

constexpr unsigned __int64 kTicksPerMillisecond = 10000;
constexpr unsigned __int64 kTicksPerSecond = 10000000;
constexpr unsigned __int64 kTicksPerDay = 864000000000;

constexpr __int64 kMsPerSecond = 1000;
constexpr __int64 kMsPerMinute = 60 * kMsPerSecond;
constexpr __int64 kMsPerHour = 60 * kMsPerMinute;
constexpr __int64 kMsPerDay = 24 * kMsPerHour;

// Which fields of a SYSTEMTIME a platform call looks at.
enum Fields : unsigned { kDate = 1, kTimeOfDay = 2, kDateAndTime = kDate | kTimeOfDay };

bool IsLeapYear(unsigned year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

unsigned DaysInMonth(unsigned year, unsigned month)
{
    static const unsigned char days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Windows rejects a SYSTEMTIME outside these ranges with ERROR_INVALID_PARAMETER;
// Wine lets some through (29 February of a common year becomes 1 March, years
// after 30827 convert), so the library checks before it calls the platform.
// wDayOfWeek is never looked at.
void CheckWindowsRules(const SYSTEMTIME& st, unsigned fields, const wchar_t* call)
{
    bool bValid = true;
    if (fields & kDate) {
        bValid = st.wYear >= 1601 && st.wYear <= 30827 && st.wMonth >= 1 && st.wMonth <= 12 &&
                 st.wDay >= 1 && st.wDay <= DaysInMonth(st.wYear, st.wMonth);
    }
    if (bValid && (fields & kTimeOfDay)) {
        bValid = st.wHour <= 23 && st.wMinute <= 59 && st.wSecond <= 59 && st.wMilliseconds <= 999;
    }
    if (!bValid)
        TK_THROW_CODE(call, ERROR_INVALID_PARAMETER);
}

FILETIME ToFileTime(const SYSTEMTIME& st)
{
    CheckWindowsRules(st, kDateAndTime, L"SystemTimeToFileTime");
    FILETIME ft;
    if (!::SystemTimeToFileTime(&st, &ft))
        TK_THROW_LAST_ERROR(L"SystemTimeToFileTime");
    return ft;
}

void FromFileTime(const FILETIME& ft, SYSTEMTIME& st)
{
    if (!::FileTimeToSystemTime(&ft, &st))
        TK_THROW_LAST_ERROR(L"FileTimeToSystemTime");
}

// 1970-01-01 00:00:00, built once through the platform.
const FILETIME& UnixBase()
{
    static const FILETIME ft = CSystemTime(1970, 1, 1, 0, 0, 0, 0);
    return ft;
}

void AppendNumber(ustring& out, const wchar_t* format, int value)
{
    wchar_t buffer[16];
    int n = _snwprintf(buffer, 16, format, value);
    if (n > 0)
        out.append(buffer, static_cast<size_t>(n));
}

// Walks a format text: characters other than '%' are copied, each code is handed
// to emit(out, code, bAlternate). A code missing at the end is taken as a blank.
template <class Emit>
ustring ScanFormat(const wchar_t* format, Emit emit)
{
    ustring out;
    if (!format)
        return out;
    const size_t length = wcslen(format);
    out.reserve(length);
    for (size_t i = 0; i < length;) {
        if (format[i] != L'%') {
            out += format[i++];
            continue;
        }
        const bool bAlternate = i + 1 < length && format[i + 1] == L'#';
        const size_t at = bAlternate ? i + 2 : i + 1;
        emit(out, at < length ? format[at] : L' ', bAlternate);
        i += bAlternate ? 3 : 2;
    }
    return out;
}

} // namespace

// CSystemTimeSpan

CSystemTimeSpan::CSystemTimeSpan(unsigned short nDays, unsigned short nHours,
                                 unsigned short nMinutes, unsigned short nSeconds,
                                 unsigned short nMilliseconds, bool bNegative) noexcept
{
    __int64 n =
        ((((static_cast<__int64>(nDays) * 24 + nHours) * 60 + nMinutes) * 60 + nSeconds) * 1000) +
        nMilliseconds;
    m_n = bNegative ? -n : n;
}

CSystemTimeSpan::CSystemTimeSpan(const CSystemTime& a, const CSystemTime& b)
{
    const __int64 ticks =
        CSystemTime::FT2LI(FILETIME(a)).QuadPart - CSystemTime::FT2LI(FILETIME(b)).QuadPart;
    // Integer division truncates toward zero: -1.5 ms becomes -1 ms.
    m_n = ticks / static_cast<__int64>(kTicksPerMillisecond);
}

CSystemTimeSpan CSystemTimeSpan::operator+(const CSystemTimeSpan& s) const noexcept
{
    return CSystemTimeSpan(static_cast<__int64>(static_cast<unsigned __int64>(m_n) +
                                                static_cast<unsigned __int64>(s.m_n)));
}

CSystemTimeSpan CSystemTimeSpan::operator-(const CSystemTimeSpan& s) const noexcept
{
    return CSystemTimeSpan(static_cast<__int64>(static_cast<unsigned __int64>(m_n) -
                                                static_cast<unsigned __int64>(s.m_n)));
}

CSystemTimeSpan& CSystemTimeSpan::operator+=(const CSystemTimeSpan& s) noexcept
{
    *this = *this + s;
    return *this;
}

CSystemTimeSpan& CSystemTimeSpan::operator-=(const CSystemTimeSpan& s) noexcept
{
    *this = *this - s;
    return *this;
}

unsigned __int64 CSystemTimeSpan::Magnitude() const noexcept
{
    // Unsigned negation keeps the most negative count exact.
    const unsigned __int64 n = static_cast<unsigned __int64>(m_n);
    return m_n < 0 ? 0 - n : n;
}

unsigned short CSystemTimeSpan::GetDays() const noexcept
{
    return static_cast<unsigned short>(Magnitude() / kMsPerDay);
}

unsigned short CSystemTimeSpan::GetHours() const noexcept
{
    return static_cast<unsigned short>(Magnitude() / kMsPerHour % 24);
}

unsigned short CSystemTimeSpan::GetMinutes() const noexcept
{
    return static_cast<unsigned short>(Magnitude() / kMsPerMinute % 60);
}

unsigned short CSystemTimeSpan::GetSeconds() const noexcept
{
    return static_cast<unsigned short>(Magnitude() / kMsPerSecond % 60);
}

unsigned short CSystemTimeSpan::GetMilliseconds() const noexcept
{
    return static_cast<unsigned short>(Magnitude() % kMsPerSecond);
}

ustring CSystemTimeSpan::Format(const wchar_t* format) const
{
    return ScanFormat(format, [this](ustring& out, wchar_t code, bool bAlternate) {
        switch (code) {
        case L'%':
            out += L'%';
            break;
        case L'D':
            AppendNumber(out, L"%d", GetDays());
            break;
        case L'H':
            AppendNumber(out, bAlternate ? L"%d" : L"%02d", GetHours());
            break;
        case L'M':
            AppendNumber(out, bAlternate ? L"%d" : L"%02d", GetMinutes());
            break;
        case L'S':
            AppendNumber(out, bAlternate ? L"%d" : L"%02d", GetSeconds());
            break;
        case L'm':
            AppendNumber(out, bAlternate ? L"%d" : L"%03d", GetMilliseconds());
            break;
        case L's':
            if (GetSign())
                out += L'-';
            else if (bAlternate)
                out += L'+';
            break;
        default:
            break;
        }
    });
}

// CSystemTime: construction and assignment

CSystemTime::CSystemTime() noexcept
{
    Clear();
}

CSystemTime::CSystemTime(const SYSTEMTIME& st) noexcept : m_st(st) {}

CSystemTime::CSystemTime(const FILETIME& ft)
{
    Clear();
    FromFileTime(ft, m_st);
}

CSystemTime::CSystemTime(const tm& t) noexcept
{
    *this = t;
}

CSystemTime::CSystemTime(const __int64& nSeconds)
{
    Clear();
    *this = nSeconds;
}

CSystemTime::CSystemTime(unsigned short nYear, unsigned short nMonth, unsigned short nDay,
                         unsigned short nHour, unsigned short nMinute, unsigned short nSecond,
                         unsigned short nMilliseconds)
{
    m_st.wYear = nYear;
    m_st.wMonth = nMonth;
    m_st.wDayOfWeek = 0;
    m_st.wDay = nDay;
    m_st.wHour = nHour;
    m_st.wMinute = nMinute;
    m_st.wSecond = nSecond;
    m_st.wMilliseconds = nMilliseconds;
    // There and back fills in the day of the week and rejects what does not exist.
    FromFileTime(ToFileTime(m_st), m_st);
}

CSystemTime& CSystemTime::operator=(const SYSTEMTIME& st) noexcept
{
    m_st = st;
    return *this;
}

CSystemTime& CSystemTime::operator=(const FILETIME& ft)
{
    FromFileTime(ft, m_st);
    return *this;
}

CSystemTime& CSystemTime::operator=(const tm& t) noexcept
{
    m_st.wYear = static_cast<WORD>(t.tm_year + 1900);
    m_st.wMonth = static_cast<WORD>(t.tm_mon + 1);
    m_st.wDayOfWeek = static_cast<WORD>(t.tm_wday);
    m_st.wDay = static_cast<WORD>(t.tm_mday);
    m_st.wHour = static_cast<WORD>(t.tm_hour);
    m_st.wMinute = static_cast<WORD>(t.tm_min);
    m_st.wSecond = static_cast<WORD>(t.tm_sec);
    m_st.wMilliseconds = 0;
    return *this;
}

CSystemTime& CSystemTime::operator=(const __int64& nSeconds)
{
    // Wraps like the platform's unsigned tick count; a time before 1601 then lands
    // beyond the FILETIME range and FileTimeToSystemTime rejects it.
    ULARGE_INTEGER n = FT2ULI(UnixBase());
    n.QuadPart += static_cast<unsigned __int64>(nSeconds) * kTicksPerSecond;
    FromFileTime(ULI2FT(n), m_st);
    return *this;
}

// Conversions

CSystemTime::operator FILETIME() const
{
    return ToFileTime(m_st);
}

CSystemTime::operator tm() const
{
    // Day of the year: noon of this day minus midnight of 1 January, in whole days.
    CSystemTime day(m_st);
    day.m_st.wHour = 12;
    day.m_st.wMinute = 0;
    day.m_st.wSecond = 0;
    day.m_st.wMilliseconds = 0;
    const unsigned __int64 noon = FT2ULI(FILETIME(day)).QuadPart;
    day.m_st.wMonth = 1;
    day.m_st.wDay = 1;
    day.m_st.wDayOfWeek = 0xFFFF;
    day.m_st.wHour = 0;
    const unsigned __int64 newYear = FT2ULI(FILETIME(day)).QuadPart;

    tm t = {};
    t.tm_sec = m_st.wSecond;
    t.tm_min = m_st.wMinute;
    t.tm_hour = m_st.wHour;
    t.tm_mday = m_st.wDay;
    t.tm_mon = m_st.wMonth - 1;
    t.tm_year = m_st.wYear - 1900;
    t.tm_wday = m_st.wDayOfWeek;
    t.tm_yday = static_cast<int>((noon - newYear) / kTicksPerDay);
    t.tm_isdst = -1;
    return t;
}

CSystemTime::operator __int64() const
{
    const __int64 ticks = FT2LI(FILETIME(*this)).QuadPart - FT2LI(UnixBase()).QuadPart;
    const __int64 seconds = ticks / static_cast<__int64>(kTicksPerSecond);
    return seconds < 0 ? -1 : seconds;
}

// Comparison

int CSystemTime::Compare(const SYSTEMTIME& st) const
{
    if (m_st.wYear != 0 && st.wYear != 0) {
        const FILETIME a = ToFileTime(m_st);
        const FILETIME b = ToFileTime(st);
        return ::CompareFileTime(&a, &b);
    }
    if (m_st.wYear == 0 && st.wYear != 0)
        return -1;
    if (m_st.wYear == 0 && st.wYear == 0)
        return 0;
    return 1;
}

// Arithmetic

CSystemTime CSystemTime::operator+(const CSystemTimeSpan& s) const
{
    // Unsigned, so a result before 1601 wraps beyond the FILETIME range and is
    // rejected by FileTimeToSystemTime.
    ULARGE_INTEGER n = FT2ULI(FILETIME(*this));
    n.QuadPart += static_cast<unsigned __int64>(s.GetTotalMilliseconds()) * kTicksPerMillisecond;
    return CSystemTime(ULI2FT(n));
}

CSystemTime CSystemTime::operator-(const CSystemTimeSpan& s) const
{
    ULARGE_INTEGER n = FT2ULI(FILETIME(*this));
    n.QuadPart -= static_cast<unsigned __int64>(s.GetTotalMilliseconds()) * kTicksPerMillisecond;
    return CSystemTime(ULI2FT(n));
}

CSystemTime& CSystemTime::operator+=(const CSystemTimeSpan& s)
{
    *this = *this + s;
    return *this;
}

CSystemTime& CSystemTime::operator-=(const CSystemTimeSpan& s)
{
    *this = *this - s;
    return *this;
}

CSystemTimeSpan CSystemTime::operator-(const CSystemTime& t) const
{
    return CSystemTimeSpan(*this, t);
}

// Operations

void CSystemTime::Clear() noexcept
{
    m_st = SYSTEMTIME();
}

CSystemTime CSystemTime::UTCToLocal() const
{
    const FILETIME utc = *this;
    FILETIME local;
    if (!::FileTimeToLocalFileTime(&utc, &local))
        TK_THROW_LAST_ERROR(L"FileTimeToLocalFileTime");
    return CSystemTime(local);
}

CSystemTime CSystemTime::LocalToUTC() const
{
    const FILETIME local = *this;
    FILETIME utc;
    if (!::LocalFileTimeToFileTime(&local, &utc))
        TK_THROW_LAST_ERROR(L"LocalFileTimeToFileTime");
    return CSystemTime(utc);
}

CSystemTime CSystemTime::UTCToLocal(const TIME_ZONE_INFORMATION& tzi) const
{
    CheckWindowsRules(m_st, kDateAndTime, L"SystemTimeToTzSpecificLocalTime");
    CSystemTime local;
    if (!::SystemTimeToTzSpecificLocalTime(&tzi, &m_st, &local.m_st))
        TK_THROW_LAST_ERROR(L"SystemTimeToTzSpecificLocalTime");
    return local;
}

CSystemTime CSystemTime::LocalToUTC(const TIME_ZONE_INFORMATION& tzi) const
{
    CheckWindowsRules(m_st, kDateAndTime, L"TzSpecificLocalTimeToSystemTime");
    CSystemTime utc;
    if (!::TzSpecificLocalTimeToSystemTime(&tzi, &m_st, &utc.m_st))
        TK_THROW_LAST_ERROR(L"TzSpecificLocalTimeToSystemTime");
    return utc;
}

DWORD CSystemTime::GetTimeZoneInformation(TIME_ZONE_INFORMATION& tzi) const
{
    const DWORD result = ::GetTimeZoneInformation(&tzi);
    if (result == TIME_ZONE_ID_INVALID)
        TK_THROW_LAST_ERROR(L"GetTimeZoneInformation");
    return result;
}

void CSystemTime::SetTimeZoneInformation(const TIME_ZONE_INFORMATION& tzi)
{
    if (!::SetTimeZoneInformation(&tzi))
        TK_THROW_LAST_ERROR(L"SetTimeZoneInformation");
}

SYSTEMTIME CSystemTime::GetSystemTime() noexcept
{
    SYSTEMTIME st;
    ::GetSystemTime(&st);
    return st;
}

SYSTEMTIME CSystemTime::GetLocalTime() noexcept
{
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return st;
}

// Formatting

ustring CSystemTime::GetTimeFormatW(unsigned long locale, unsigned long flags,
                                    const wchar_t* format) const
{
    // Windows reads only the time of day here and rejects flags it does not
    // know; Wine ignores unknown flags.
    CheckWindowsRules(m_st, kTimeOfDay, L"GetTimeFormat");
    const unsigned long knownFlags = LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP |
                                     TIME_NOMINUTESORSECONDS | TIME_NOSECONDS | TIME_NOTIMEMARKER |
                                     TIME_FORCE24HOURFORMAT;
    if (flags & ~knownFlags)
        TK_THROW_CODE(L"GetTimeFormat", ERROR_INVALID_FLAGS);

    // First the length with the terminator, then the text.
    int n = ::GetTimeFormatW(locale, flags, &m_st, format, nullptr, 0);
    if (n <= 0)
        TK_THROW_LAST_ERROR(L"GetTimeFormat");
    ustring s(static_cast<size_t>(n), L'\0');
    n = ::GetTimeFormatW(locale, flags, &m_st, format, &s[0], n);
    if (n <= 0)
        TK_THROW_LAST_ERROR(L"GetTimeFormat");
    s.resize(static_cast<size_t>(n - 1));
    return s;
}

ustring CSystemTime::GetDateFormatW(unsigned long locale, unsigned long flags,
                                    const wchar_t* format) const
{
    // Windows reads only the date here (and corrects a wrong day of the week).
    CheckWindowsRules(m_st, kDate, L"GetDateFormat");

    int n = ::GetDateFormatW(locale, flags, &m_st, format, nullptr, 0);
    if (n <= 0)
        TK_THROW_LAST_ERROR(L"GetDateFormat");
    ustring s(static_cast<size_t>(n), L'\0');
    n = ::GetDateFormatW(locale, flags, &m_st, format, &s[0], n);
    if (n <= 0)
        TK_THROW_LAST_ERROR(L"GetDateFormat");
    s.resize(static_cast<size_t>(n - 1));
    return s;
}

ustring CSystemTime::Format(unsigned long locale, const wchar_t* format) const
{
    // Week of the year; shift 6 starts weeks on Sunday, 5 on Monday. Days before
    // the year's first such day are in week 0.
    auto week = [this](int shift) {
        const int yday = tm(*this).tm_yday;
        const int newYear = CSystemTime(m_st.wYear, 1, 1, 0, 0, 0, 0).m_st.wDayOfWeek;
        return (yday + (newYear + shift) % 7 + 1) / 7;
    };
    auto date = [&](const wchar_t* picture) { return GetDateFormatW(locale, 0, picture); };
    auto time = [&](const wchar_t* picture) { return GetTimeFormatW(locale, 0, picture); };

    return ScanFormat(format, [&](ustring& out, wchar_t code, bool bAlternate) {
        switch (code) {
        case L'%':
            out += L'%';
            break;
        case L'a':
            out += date(L"ddd");
            break;
        case L'A':
            out += date(L"dddd");
            break;
        case L'b':
            out += date(L"MMM");
            break;
        case L'B':
            out += date(L"MMMM");
            break;
        case L'c':
            out += GetDateFormatW(locale, bAlternate ? DATE_LONGDATE : DATE_SHORTDATE, nullptr);
            out += L' ';
            out += GetTimeFormatW(locale, 0, nullptr);
            break;
        case L'd':
            out += date(bAlternate ? L"d" : L"dd");
            break;
        case L'H':
            out += time(bAlternate ? L"H" : L"HH");
            break;
        case L'I':
            out += time(bAlternate ? L"h" : L"hh");
            break;
        case L'j':
            AppendNumber(out, bAlternate ? L"%d" : L"%03d", tm(*this).tm_yday + 1);
            break;
        case L'm':
            out += date(bAlternate ? L"M" : L"MM");
            break;
        case L'M':
            out += time(bAlternate ? L"m" : L"mm");
            break;
        case L'p':
            out += time(L"tt");
            break;
        case L'S':
            out += time(bAlternate ? L"s" : L"ss");
            break;
        case L'U':
            AppendNumber(out, bAlternate ? L"%d" : L"%02d", week(6));
            break;
        case L'w':
            AppendNumber(out, L"%d", m_st.wDayOfWeek);
            break;
        case L'W':
            AppendNumber(out, bAlternate ? L"%d" : L"%02d", week(5));
            break;
        case L'x':
            out += GetDateFormatW(locale, bAlternate ? DATE_LONGDATE : DATE_SHORTDATE, nullptr);
            break;
        case L'X':
            out += GetTimeFormatW(locale, 0, nullptr);
            break;
        case L'y':
            out += date(bAlternate ? L"y" : L"yy");
            break;
        case L'Y':
            out += date(L"yyyy");
            break;
        case L'z':
        case L'Z': {
            TIME_ZONE_INFORMATION tzi;
            const DWORD zone = GetTimeZoneInformation(tzi);
            out += zone == TIME_ZONE_ID_DAYLIGHT ? tzi.DaylightName : tzi.StandardName;
            break;
        }
        default:
            break;
        }
    });
}

// FILETIME as a 64-bit number: a plain copy, low word first.

LARGE_INTEGER CSystemTime::FT2LI(const FILETIME& ft) noexcept
{
    LARGE_INTEGER li;
    li.LowPart = ft.dwLowDateTime;
    li.HighPart = static_cast<LONG>(ft.dwHighDateTime);
    return li;
}

ULARGE_INTEGER CSystemTime::FT2ULI(const FILETIME& ft) noexcept
{
    ULARGE_INTEGER uli;
    uli.LowPart = ft.dwLowDateTime;
    uli.HighPart = ft.dwHighDateTime;
    return uli;
}

FILETIME CSystemTime::LI2FT(const LARGE_INTEGER& li) noexcept
{
    FILETIME ft;
    ft.dwLowDateTime = li.LowPart;
    ft.dwHighDateTime = static_cast<DWORD>(li.HighPart);
    return ft;
}

FILETIME CSystemTime::ULI2FT(const ULARGE_INTEGER& uli) noexcept
{
    FILETIME ft;
    ft.dwLowDateTime = uli.LowPart;
    ft.dwHighDateTime = uli.HighPart;
    return ft;
}

} // namespace tarn_kit
