// Setting and removing environment variables in tests, on POSIX systems and on Windows,
// whose C runtime has neither setenv nor unsetenv.
#pragma once

#include <cstdlib>

inline void setEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

inline void unsetEnvironment(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");  // an empty value removes the variable
#else
    unsetenv(name);
#endif
}
