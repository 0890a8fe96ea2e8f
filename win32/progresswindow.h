// win32/, lotwise.exe: the native Win32 desktop program over the window logic. May
// include the Windows API, costrun/, qblib/ and platform/; neither Qt nor qbsim/.

// The progress window: template 140, a captionless window centred on the screen whose
// bar steps through twenty positions, one every two seconds, from the last back to the
// first, while work with QuickBooks runs on the user-interface thread. It shows no
// percentage: it tells that the program is alive while QuickBooks answers.
//
// CProgressWindow is the desktop program's progress host (qbprogress.h): the window is
// created on the first show, owned by the main window, then only shown and hidden; its
// pump runs the thread's messages between the steps of the work, so the windows repaint
// and take clicks. User-interface thread only.
#pragma once

#include <functional>

#include "qbprogress.h"
#include "winui.h"

// A message the program's own keyboard handling used up (accelerators, dialog keys)
// returns true and is not dispatched.
using CMessageFilter = std::function<bool(MSG&)>;

// Runs the thread's pending messages once, each through `filter` first (when set) and
// then translated and dispatched. A quit request met on the way ends the dispatching
// and is posted again with its exit code, so that the program's main loop gets it once
// the work in progress has returned. True when a quit request was met.
bool pumpPendingMessages(const CMessageFilter& filter);

class CProgressWindow final : public CQbProgressHost {
public:
    static constexpr int kTickMs = 2000;
    static constexpr int kLastPosition = 19;

    // The owner (the main window) must outlive the progress window's use.
    CProgressWindow(HINSTANCE instance, HWND owner);
    ~CProgressWindow() override;
    CProgressWindow(const CProgressWindow&) = delete;
    CProgressWindow& operator=(const CProgressWindow&) = delete;

    void setMessageFilter(CMessageFilter messageFilter) { filter = std::move(messageFilter); }

    // Shows the window, the bar at its first position and the timer restarted, without
    // taking the activation from the main window.
    void show() override;
    void hide() override;
    bool isVisible() const override;
    void pump() override;

    // Null until the first show.
    HWND window() const { return dialog; }
    int position() const;
    // One timer step: the next position, from the last back to the first.
    void tick();

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE instance;
    HWND owner;
    HWND dialog = nullptr;
    CMessageFilter filter;
};
