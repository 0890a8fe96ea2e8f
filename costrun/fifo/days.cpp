#include "days.h"

#include <cstdio>

namespace {

CDateTime shiftDays(const CDateTime& t, int days) {
    const CLocalTime lt = t.local();
    return CDateTime::fromLocal(lt.year, lt.month, lt.day + days, lt.hour, lt.minute, lt.second)
        .value_or(t.addSeconds(days * 24 * 60 * 60));
}

}  // namespace

CDateTime endOfDay(const CDateTime& t) {
    const CLocalTime lt = t.local();
    return CDateTime::fromLocal(lt.year, lt.month, lt.day, 23, 59, 59).value_or(t);
}

CDateTime startOfDay(const CDateTime& t) {
    const CLocalTime lt = t.local();
    return CDateTime::fromLocal(lt.year, lt.month, lt.day, 0, 0, 0).value_or(t);
}

CDateTime nextDay(const CDateTime& t) { return shiftDays(t, 1); }

CDateTime previousDay(const CDateTime& t) { return shiftDays(t, -1); }

std::string dayText(const char* format, const CDateTime& day) {
    const CLocalTime d = day.local();
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, d.month, d.day, d.year);
    return buffer;
}
