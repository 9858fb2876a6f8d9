// Calendar time and time spans.
//
// Classes in this file:
//   CSystemTimeSpan - a signed duration, counted in milliseconds
//   CSystemTime     - a SYSTEMTIME with conversions, span arithmetic, zones and formatting
#pragma once

#include "config.h"
#include "ustring.h"

#include <ctime>

namespace tarn_kit {

class CSystemTime;

// A signed number of milliseconds; the getters read its magnitude, GetSign its sign.
class TARNKIT_API CSystemTimeSpan
{
public:
    // Construction
    CSystemTimeSpan() noexcept : m_n(0) {}
    /// A count of milliseconds converts implicitly.
    CSystemTimeSpan(__int64 n) noexcept : m_n(n) {}
    /// No range checks: 30 hours adds 30 hours.
    CSystemTimeSpan(unsigned short nDays, unsigned short nHours, unsigned short nMinutes,
                    unsigned short nSeconds, unsigned short nMilliseconds, bool bNegative) noexcept;
    /// The time from b to a, positive when a is later; truncated toward zero to milliseconds.
    CSystemTimeSpan(const CSystemTime& a, const CSystemTime& b);

    // Operations
    CSystemTimeSpan operator+(const CSystemTimeSpan& s) const noexcept;
    CSystemTimeSpan operator-(const CSystemTimeSpan& s) const noexcept;
    CSystemTimeSpan& operator+=(const CSystemTimeSpan& s) noexcept;
    CSystemTimeSpan& operator-=(const CSystemTimeSpan& s) noexcept;

    bool operator==(const CSystemTimeSpan& s) const noexcept { return m_n == s.m_n; }
    bool operator!=(const CSystemTimeSpan& s) const noexcept { return m_n != s.m_n; }
    bool operator<(const CSystemTimeSpan& s) const noexcept { return m_n < s.m_n; }
    bool operator>(const CSystemTimeSpan& s) const noexcept { return m_n > s.m_n; }
    bool operator<=(const CSystemTimeSpan& s) const noexcept { return m_n <= s.m_n; }
    bool operator>=(const CSystemTimeSpan& s) const noexcept { return m_n >= s.m_n; }

    /// Codes %D %H %M %S %m (milliseconds) and %s (sign); '#' drops leading zeros,
    /// and for %s prints "+" for spans that are not negative.
    ustring Format(const wchar_t* format) const;

    // Attributes
    /// Whole days, only the low 16 bits of the count.
    unsigned short GetDays() const noexcept;
    unsigned short GetHours() const noexcept;
    unsigned short GetMinutes() const noexcept;
    unsigned short GetSeconds() const noexcept;
    unsigned short GetMilliseconds() const noexcept;
    /// True for a negative span only.
    bool GetSign() const noexcept { return m_n < 0; }
    __int64 GetTimeSpan() const noexcept { return m_n; }
    __int64 GetTotalMilliseconds() const noexcept { return m_n; }
    void SetTimeSpan(__int64 n) noexcept { m_n = n; }

private:
    unsigned __int64 Magnitude() const noexcept;

    __int64 m_n;
};

// One SYSTEMTIME, UTC or local as the caller knows; year 0 marks a value that holds no time.
class TARNKIT_API CSystemTime
{
public:
    // Construction
    /// Cleared: every field 0.
    CSystemTime() noexcept;
    /// Copied unchanged, nothing validated.
    CSystemTime(const SYSTEMTIME& st) noexcept;
    CSystemTime(const FILETIME& ft);
    /// Fields copied, milliseconds 0; tm_yday and tm_isdst are ignored.
    CSystemTime(const tm& t) noexcept;
    /// Seconds since 1970-01-01 00:00:00 in the value's own time scale.
    CSystemTime(const __int64& nSeconds);
    /// Fills in the day of the week; throws for a date or time that does not exist.
    CSystemTime(unsigned short nYear, unsigned short nMonth, unsigned short nDay,
                unsigned short nHour = 0, unsigned short nMinute = 0, unsigned short nSecond = 0,
                unsigned short nMilliseconds = 0);
    CSystemTime(const CSystemTime& t) = default;

    CSystemTime& operator=(const CSystemTime& t) = default;
    CSystemTime& operator=(const SYSTEMTIME& st) noexcept;
    CSystemTime& operator=(const FILETIME& ft);
    CSystemTime& operator=(const tm& t) noexcept;
    CSystemTime& operator=(const __int64& nSeconds);

    // Conversions
    operator SYSTEMTIME() const noexcept { return m_st; }
    /// The held structure, for Win32 calls that fill one.
    operator SYSTEMTIME*() noexcept { return &m_st; }
    operator FILETIME() const;
    /// tm_wday is the stored day of the week, tm_isdst -1.
    operator tm() const;
    /// Whole seconds since 1970-01-01 00:00:00, truncated toward zero; -1 before 1970.
    operator __int64() const;

    // Comparison; a cleared value orders before every set one
    int Compare(const SYSTEMTIME& st) const;
    bool operator==(const SYSTEMTIME& st) const { return Compare(st) == 0; }
    bool operator!=(const SYSTEMTIME& st) const { return Compare(st) != 0; }
    bool operator<(const SYSTEMTIME& st) const { return Compare(st) < 0; }
    bool operator>(const SYSTEMTIME& st) const { return Compare(st) > 0; }
    bool operator<=(const SYSTEMTIME& st) const { return Compare(st) <= 0; }
    bool operator>=(const SYSTEMTIME& st) const { return Compare(st) >= 0; }

    // Arithmetic
    CSystemTime operator+(const CSystemTimeSpan& s) const;
    CSystemTime operator-(const CSystemTimeSpan& s) const;
    CSystemTime& operator+=(const CSystemTimeSpan& s);
    CSystemTime& operator-=(const CSystemTimeSpan& s);
    /// The time from t to this one.
    CSystemTimeSpan operator-(const CSystemTime& t) const;

    // Operations
    void Clear() noexcept;
    /// Through the machine's current zone rules.
    CSystemTime UTCToLocal() const;
    CSystemTime LocalToUTC() const;
    /// Through the given zone and its daylight rules.
    CSystemTime UTCToLocal(const TIME_ZONE_INFORMATION& tzi) const;
    CSystemTime LocalToUTC(const TIME_ZONE_INFORMATION& tzi) const;

    /// The machine's zone: 0 no daylight saving, 1 standard time, 2 daylight time.
    DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION& tzi) const;
    /// Sets the machine's zone (needs the time-zone privilege).
    void SetTimeZoneInformation(const TIME_ZONE_INFORMATION& tzi);

    static SYSTEMTIME GetSystemTime() noexcept;
    static SYSTEMTIME GetLocalTime() noexcept;

    // Formatting
    /// The Win32 call on this value; format null means the locale's own picture.
    ustring GetTimeFormatW(unsigned long locale, unsigned long flags, const wchar_t* format) const;
    ustring GetDateFormatW(unsigned long locale, unsigned long flags, const wchar_t* format) const;
    /// strftime-like codes whose names and numbers come from the locale; '#' drops
    /// leading zeros. %z and %Z name the machine's zone, not the value's.
    ustring Format(unsigned long locale, const wchar_t* format) const;

protected:
    // A FILETIME read as a 64-bit tick count and back.
    static LARGE_INTEGER FT2LI(const FILETIME& ft) noexcept;
    static ULARGE_INTEGER FT2ULI(const FILETIME& ft) noexcept;
    static FILETIME LI2FT(const LARGE_INTEGER& li) noexcept;
    static FILETIME ULI2FT(const ULARGE_INTEGER& uli) noexcept;

private:
    friend class CSystemTimeSpan;

    SYSTEMTIME m_st;
};

} // namespace tarn_kit
