// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// The event log "qbevent.log": every request document sent to QuickBooks, every
// response received and the error text of every failed exchange, each entry stamped
// with the local time as "%H:%M:%S, %B %d, %Y " and closed by one line feed. Each
// construction starts a fresh log. A log that cannot be created or written stays
// silent: logging never disturbs the request being logged.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

class CQbEventLog {
public:
    // Opens "<folder>/qbevent.log", or "qbevent.log" in the current directory when no
    // folder is given, deleting any earlier log first.
    explicit CQbEventLog(const std::optional<std::string>& folder);
    ~CQbEventLog();
    CQbEventLog(const CQbEventLog&) = delete;
    CQbEventLog& operator=(const CQbEventLog&) = delete;

    // Appends one entry (timestamp, text byte for byte, line feed) while the log is open.
    void write(std::string_view text);

    bool isActive() const { return active; }
    const std::string& getPath() const { return path; }

private:
    std::string path;
    std::FILE* file = nullptr;
    bool active = false;
};
