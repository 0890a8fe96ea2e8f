// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// The process-wide progress operations that long work calls: show the busy indicator,
// hide it, and let pending window messages run between steps. The library itself has
// no window; a front end installs a host (the desktop's progress window, the command
// line's terminal indicator). Without a host the operations do nothing, and
// pumpMessages does work only while the indicator is shown. User-interface thread only.
#pragma once

class CQbProgressHost {
public:
    virtual ~CQbProgressHost() = default;
    // Shows the indicator (creating it on first use) and restarts its animation.
    virtual void show() = 0;
    // Hides it; called only after a show.
    virtual void hide() = 0;
    virtual bool isVisible() const = 0;
    // Processes pending messages and idle work once.
    virtual void pump() = 0;
};

// Installs the host (null removes it); the caller keeps ownership and must remove it
// before destroying it. Returns the host that was installed before.
CQbProgressHost* setProgressHost(CQbProgressHost* host);

void showProgress();
void hideProgress();
void pumpMessages();

// Shows the indicator for the lifetime of a scope and hides it on every exit path.
class CQbProgressScope {
public:
    CQbProgressScope() { showProgress(); }
    ~CQbProgressScope() { hideProgress(); }
    CQbProgressScope(const CQbProgressScope&) = delete;
    CQbProgressScope& operator=(const CQbProgressScope&) = delete;
};
