// Event log writing through an unbuffered C stream: each part of an entry is handed to
// the operating system at once, so a crash loses nothing already logged.
#include "qbeventlog.h"

#include <cstdio>

#include "datetime.h"
#include "files.h"

CQbEventLog::CQbEventLog(const std::optional<std::string>& folder)
    : path(folder ? joinPath(*folder, "qbevent.log") : std::string("qbevent.log")) {
    removeFile(path);  // a failure (no such file) is of no concern
    // Other writers are kept out while the session lives; a log another process holds
    // open on Windows cannot be replaced, and this one stays inactive.
    std::FILE* stream = openFileExclusive(path, "wb");
    if (stream == nullptr) return;
    std::setvbuf(stream, nullptr, _IONBF, 0);
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
