// Event log writing through an unbuffered C stream: each part of an entry is handed to
// the operating system at once, so a crash loses nothing already logged.
#include "qbeventlog.h"

#include <cstdio>

#ifndef _WIN32
#include <sys/file.h>
#endif

#include "datetime.h"

CQbEventLog::CQbEventLog(const std::optional<std::string>& folder)
    : path(folder ? *folder + "/qbevent.log" : std::string("qbevent.log")) {
    std::remove(path.c_str());  // a failure (no such file) is of no concern
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    if (stream == nullptr) return;
    std::setvbuf(stream, nullptr, _IONBF, 0);
#ifndef _WIN32
    // Keep other openers out while the session lives, as the Windows log is opened
    // without sharing. Advisory only; a failure to lock does not stop logging.
    (void)::flock(fileno(stream), LOCK_EX | LOCK_NB);
#endif
    file = stream;
    active = true;
}

CQbEventLog::~CQbEventLog() {
    if (file != nullptr) std::fclose(file);
}

void CQbEventLog::write(std::string_view text) {
    if (!active) return;
    std::string stamp = CDateTime::now().format("%H:%M:%S, %B %d, %Y ");
    if (stamp.size() > 127) stamp.clear();
    // Three writes, as the entry's three parts. A failed write (a full disk) is dropped
    // silently: logging never disturbs the request being logged.
    if (std::fwrite(stamp.data(), 1, stamp.size(), file) != stamp.size()) return;
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) return;
    std::fputc('\n', file);
}
