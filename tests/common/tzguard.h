// Sets the TZ environment variable for the lifetime of a test and restores it after.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "datetime.h"

class CTzGuard {
public:
    explicit CTzGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous = old;
        setenv("TZ", zone, 1);
        reloadLocalTimeZone();
    }
    ~CTzGuard() {
        if (previous) {
            setenv("TZ", previous->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        reloadLocalTimeZone();
    }
    CTzGuard(const CTzGuard&) = delete;
    CTzGuard& operator=(const CTzGuard&) = delete;

private:
    std::optional<std::string> previous;
};
