// Folder look-ups follow the XDG base-directory rules with HOME-based defaults.
#include "userfolders.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>

extern char** environ;

namespace {

std::string home() {
    const char* h = std::getenv("HOME");
    return (h && *h) ? std::string(h) : std::string(".");
}

std::string fromEnvironment(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    // XDG requires absolute paths; anything else is ignored.
    return (value && value[0] == '/') ? std::string(value) : fallback;
}

}  // namespace

std::string applicationDataFolder() {
    return fromEnvironment("XDG_DATA_HOME", home() + "/.local/share");
}

std::string documentsFolder() { return fromEnvironment("XDG_DOCUMENTS_DIR", home() + "/Documents"); }

bool openDocument(const std::string& path) {
    // Started without a shell, so no character of the path is interpreted.
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv),
                     environ) != 0) {
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
