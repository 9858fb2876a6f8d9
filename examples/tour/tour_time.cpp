// Tour: calendar time, zones, spans and their formatting.
#include "tour.h"

#include <tarn_kit/system_time.h>

#include <cstdio>

namespace {

void Show(const char* label, const tarn_kit::ustring& text)
{
    std::printf("  %-28s %s\n", label, U8(text).c_str());
}

} // namespace

void TourTime()
{
    using tarn_kit::CSystemTime;
    using tarn_kit::CSystemTimeSpan;

    std::printf("\n== Time\n\nNow, and fixed values, in three locales:\n");
    const CSystemTime utc = CSystemTime::GetSystemTime();
    const CSystemTime local = utc.UTCToLocal();
    Show("now, UTC (1033, %c)", utc.Format(1033, L"%c"));
    Show("now, local (1031, %c)", local.Format(1031, L"%c"));
    Show("1033, %x", local.Format(1033, L"%x"));
    Show("1031, %#x", local.Format(1031, L"%#x"));
    Show("1033, %A %d %B %Y", local.Format(1033, L"%A %d %B %Y"));
    Show("1031, %A %d %B %Y", local.Format(1031, L"%A %d %B %Y"));
    Show("1036, %A %d %B %Y", local.Format(1036, L"%A %d %B %Y"));
    Show("day, weeks (%j %U %W)", local.Format(1033, L"%j %U %W"));
    Show("zone (%Z)", local.Format(1033, L"%Z"));

    // A zone of one's own: Central European time with its daylight rules.
    TIME_ZONE_INFORMATION cet = {};
    cet.Bias = -60;
    cet.DaylightBias = -60;
    cet.StandardDate = {0, 10, 0, 5, 3, 0, 0, 0}; // last Sunday of October, 03:00
    cet.DaylightDate = {0, 3, 0, 5, 2, 0, 0, 0};  // last Sunday of March, 02:00
    const CSystemTime summer(2024, 7, 1, 12, 0, 0, 0);
    Show("2024-07-01 12:00 UTC in CET", summer.UTCToLocal(cet).Format(1031, L"%#c"));

    // Spans: seconds since 1970, arithmetic and the span format.
    std::printf("  %-28s %lld\n", "seconds since 1970", static_cast<long long>(utc));
    const CSystemTime newYear(2025, 1, 1);
    const CSystemTimeSpan left = newYear - CSystemTime(2024, 12, 24, 18, 30, 0, 0);
    Show("24 Dec 18:30 to new year", left.Format(L"%D days %H:%M:%S.%m"));
    Show("and back again", (CSystemTime(2024, 12, 24) - newYear).Format(L"%s%D days"));
    Show("a week later", (newYear + CSystemTimeSpan(7, 0, 0, 0, 0, false)).Format(1033, L"%#x"));
}
