// Local calendar conversion on top of the C runtime. mktime/localtime_r follow the TZ
// rules; month and weekday names are written here so that no locale can change them.
#include "datetime.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace {

constexpr std::array<const char*, 12> kMonths = {"January", "February", "March",     "April",
                                                  "May",     "June",     "July",      "August",
                                                  "September", "October", "November", "December"};
constexpr std::array<const char*, 7> kWeekdays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};

// The C runtime's thread-safe local conversion and zone settings, which differ in name
// between the POSIX and the Windows runtime.
bool toLocalFields(std::time_t t, std::tm& fields) {
#ifdef _WIN32
    return localtime_s(&fields, &t) == 0;
#else
    return localtime_r(&t, &fields) != nullptr;
#endif
}

void readZoneSetting() {
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
}

void appendNumber(std::string& out, long value, int width) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*ld", width, value);
    out += buffer;
}

}  // namespace

std::optional<CDateTime> CDateTime::fromLocal(int year, int month, int day, int hour, int minute,
                                              int second) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;  // let the zone rules decide
    const std::time_t t = std::mktime(&fields);
    if (t == static_cast<std::time_t>(-1)) {
        // -1 is also one second before 1970; accept it only when the fields say so.
        std::tm check{};
        const std::time_t minusOne = -1;
        if (!toLocalFields(minusOne, check) || check.tm_year != fields.tm_year ||
            check.tm_mon != fields.tm_mon || check.tm_mday != fields.tm_mday ||
            check.tm_hour != fields.tm_hour || check.tm_min != fields.tm_min ||
            check.tm_sec != fields.tm_sec) {
            return std::nullopt;
        }
    }
    return CDateTime(static_cast<std::int64_t>(t));
}

CDateTime CDateTime::now() { return CDateTime(static_cast<std::int64_t>(std::time(nullptr))); }

CLocalTime CDateTime::local() const {
    const std::time_t t = static_cast<std::time_t>(secs);
    std::tm fields{};
    if (!toLocalFields(t, fields)) return CLocalTime{};
    return CLocalTime{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                      fields.tm_min,         fields.tm_sec,     fields.tm_wday};
}

std::string CDateTime::format(std::string_view pattern) const {
    const CLocalTime lt = local();
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c != '%' || i + 1 == pattern.size()) {
            out += c;
            continue;
        }
        const char conv = pattern[++i];
        switch (conv) {
            case 'Y': appendNumber(out, lt.year, 4); break;
            case 'y': appendNumber(out, ((lt.year % 100) + 100) % 100, 2); break;
            case 'm': appendNumber(out, lt.month, 2); break;
            case 'd': appendNumber(out, lt.day, 2); break;
            case 'H': appendNumber(out, lt.hour, 2); break;
            case 'M': appendNumber(out, lt.minute, 2); break;
            case 'S': appendNumber(out, lt.second, 2); break;
            case 'B': out += kMonths[lt.month - 1]; break;
            case 'b': out.append(kMonths[lt.month - 1], 3); break;
            case 'A': out += kWeekdays[lt.dayOfWeek]; break;
            case 'a': out.append(kWeekdays[lt.dayOfWeek], 3); break;
            case '%': out += '%'; break;
            default:
                out += '%';
                out += conv;
        }
    }
    return out;
}

std::string CDateTime::userDateText() const { return format("%m/%d/%Y"); }

long localStandardOffsetWest() {
    readZoneSetting();
#if defined(_MSC_VER) || defined(_UCRT)
    // The runtime's standard-time offset west of UTC, from TZ or the system's zone.
    long seconds = 0;
    return _get_timezone(&seconds) == 0 ? seconds : 0;
#elif defined(_WIN32)
    // The older msvcrt.dll that MinGW links by default has no _get_timezone; its
    // variable holds the same value.
    return _timezone;
#else
    // glibc's `timezone` is the standard-time offset west of UTC, whatever the season.
    return timezone;
#endif
}

void reloadLocalTimeZone() { readZoneSetting(); }
