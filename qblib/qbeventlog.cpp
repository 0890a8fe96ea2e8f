// Event log writing with plain POSIX file calls: each part of an entry is handed to the
// operating system at once, with no buffering in between, so a crash loses nothing
// already logged.
#include "qbeventlog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "datetime.h"

namespace {

// Writes all of the bytes; false on an error (a full disk, a closed descriptor).
bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

CQbEventLog::CQbEventLog(const std::optional<std::string>& folder)
    : path(folder ? *folder + "/qbevent.log" : std::string("qbevent.log")) {
    std::remove(path.c_str());  // a failure (no such file) is of no concern
    file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0) return;
    // Keep other openers out while the session lives, as the Windows log is opened
    // without sharing. Advisory only; a failure to lock does not stop logging.
    (void)::flock(file, LOCK_EX | LOCK_NB);
    active = true;
}

CQbEventLog::~CQbEventLog() {
    if (file >= 0) ::close(file);
}

void CQbEventLog::write(std::string_view text) {
    if (!active) return;
    std::string stamp = CDateTime::now().format("%H:%M:%S, %B %d, %Y ");
    if (stamp.size() > 127) stamp.clear();
    // Three writes, as the entry's three parts. A failed write is dropped silently.
    if (!writeAll(file, stamp) || !writeAll(file, text) || !writeAll(file, "\n")) return;
}
