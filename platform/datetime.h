// platform/: portable stand-ins for the Windows calls the system makes (COM, user
// folders, files, local time, the console). May include the C++ standard library and,
// on Windows, the Windows API only: no other folder of the project.

// The system's date-time value: a point in time held as a signed 64-bit count of
// seconds since 1 January 1970 UTC, created from and read back as local calendar
// fields. Daylight saving is decided by the local time-zone rules (the TZ setting),
// so the same calendar fields can map to different offsets in winter and summer.
// An absent date-time is an empty std::optional<CDateTime>.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Local calendar fields of a date-time; month 1-12, day 1-31, dayOfWeek 0 = Sunday.
struct CLocalTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int dayOfWeek = 4;
};

class CDateTime {
public:
    constexpr CDateTime() = default;
    constexpr explicit CDateTime(std::int64_t secondsSinceEpoch) : secs(secondsSinceEpoch) {}

    // The local calendar time given by the fields; daylight saving by the local rules.
    // Fields out of their usual range are normalised as mktime does (month 13 is January
    // of the next year). Empty when the platform cannot represent the result.
    static std::optional<CDateTime> fromLocal(int year, int month, int day, int hour = 0,
                                              int minute = 0, int second = 0);
    static CDateTime now();

    std::int64_t seconds() const { return secs; }
    CLocalTime local() const;

    // Formats the local time with strftime-like conversions, independent of the locale:
    // %Y %m %d %H %M %S %y, %B/%b (English month name / abbreviation), %A/%a (English
    // weekday), %% . Any other character is copied unchanged.
    std::string format(std::string_view pattern) const;

    // Month/day/year as shown to the user: "%02d/%02d/%04d".
    std::string userDateText() const;

    CDateTime addSeconds(std::int64_t delta) const { return CDateTime(secs + delta); }

    friend constexpr auto operator<=>(CDateTime, CDateTime) = default;

private:
    std::int64_t secs = 0;
};

// Offset of the local zone's standard time (never the daylight-saving one), in seconds
// west of UTC: 18000 for a zone five hours behind UTC, -3600 for one hour ahead.
long localStandardOffsetWest();

// Re-reads the TZ setting; call after changing TZ in the environment.
void reloadLocalTimeZone();
