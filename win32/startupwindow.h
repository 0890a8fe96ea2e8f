// win32/, lotwise.exe: the native Win32 desktop program over the window logic. May
// include the Windows API, costrun/, qblib/ and platform/; neither Qt nor qbsim/.

// The splash window: a frameless window filled with the splash picture (resource 1001),
// centred on the screen, that closes itself when its timer (id 18) fires after five
// seconds and then calls back, so that the main window shows.
#pragma once

#include <functional>

#include "winui.h"

class CStartupWindow {
public:
    static constexpr int kShowMs = 5000;

    CStartupWindow(HINSTANCE instance, std::function<void()> closed);
    ~CStartupWindow();
    CStartupWindow(const CStartupWindow&) = delete;
    CStartupWindow& operator=(const CStartupWindow&) = delete;

    // Creates and shows the window and starts its timer; false when it cannot be made
    // (the callback is then made at once).
    bool show();
    HWND window() const { return dialog; }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void close();

    HINSTANCE instance;
    std::function<void()> closed;
    HWND dialog = nullptr;
    HBITMAP picture = nullptr;
};
