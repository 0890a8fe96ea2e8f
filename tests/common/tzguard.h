// Sets the TZ environment variable for the lifetime of a test and restores it after.
// Zones are given by their tz database names. The Windows C runtime reads only the
// "EST5EDT" form (standard name, hours west of UTC, daylight name), with the United
// States' daylight-saving dates for any zone that has one, so there the zones the tests
// use are mapped to that form; a zone with other dates is only right outside them.
#pragma once

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "datetime.h"
#include "environment.h"

inline const char* runtimeZoneName(const char* zone) {
#ifdef _WIN32
    static const struct {
        const char* name;
        const char* runtime;
    } zones[] = {{"America/New_York", "EST5EDT"}, {"Asia/Kolkata", "IST-5:30"},
                 {"America/St_Johns", "NST3:30NDT"}, {"UTC", "UTC0"},
                 {"Europe/Berlin", "CET-1CEST"}};
    for (const auto& z : zones) {
        if (std::strcmp(z.name, zone) == 0) return z.runtime;
    }
#endif
    return zone;
}

class CTzGuard {
public:
    explicit CTzGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous = old;
        setEnvironment("TZ", runtimeZoneName(zone));
        reloadLocalTimeZone();
    }
    ~CTzGuard() {
        if (previous) {
            setEnvironment("TZ", previous->c_str());
        } else {
            unsetEnvironment("TZ");
        }
        reloadLocalTimeZone();
    }
    CTzGuard(const CTzGuard&) = delete;
    CTzGuard& operator=(const CTzGuard&) = delete;

private:
    std::optional<std::string> previous;
};
