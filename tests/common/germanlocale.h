// The German locale (decimal comma) for tests that check that no number depends on the
// user's regional settings: a system that lacks it gets it compiled once into a folder of
// the build tree from the locale sources; point LOCPATH at that folder to use it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// Compiles de_DE.UTF-8 into `folder` unless it is there already or the system carries no
// locale sources. Nothing on Windows, whose C runtime names its own locales.
inline void compileGermanLocale(const std::filesystem::path& folder) {
#ifndef _WIN32
    const std::filesystem::path compiled = folder / "de_DE.UTF-8";
    if (std::filesystem::exists(compiled / "LC_NUMERIC") ||
        !std::filesystem::exists("/usr/share/i18n/locales/de_DE")) {
        return;
    }
    std::filesystem::create_directories(folder);
    const std::string command = "localedef -i de_DE -f UTF-8 '" + compiled.string() + "' >/dev/null 2>&1";
    (void)std::system(command.c_str());
#else
    (void)folder;
#endif
}
