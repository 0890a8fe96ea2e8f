// win32/, lotwise.exe: the native Win32 desktop program over the window logic. May
// include the Windows API, costrun/, qblib/ and platform/; neither Qt nor qbsim/.

// The test mode of lotwise.exe: a timer of the user-interface thread plays the user of
// the main window through the messages that a user's clicks and keys make, so that the
// real dialog procedures, the common file dialog and the window logic do the work:
//
//   lotwise.exe --drive LOG --company FILE [--start YYYY-MM-DD] --upto YYYY-MM-DD
//               [--rewind YYYY-MM-DD] [--close-during-run] [--data-dir DIR] [--report-dir DIR]
//
// It waits for the main window (after the splash), clicks "...", types FILE into the
// Open dialog and presses its OK, picks the dates (the start date only where its picker
// shows), clicks Process, then opens the About box from the Help menu, presses its OK
// and ends the program with File > Exit. With --rewind, after Process it chooses File >
// Rewind..., picks that day in the Rewind dialog, answers Yes to the question and clicks
// Process again. With --close-during-run it asks the window to close as soon as the
// progress window shows, and then only watches.
//
// LOG (UTF-8) gets one line per step and per thing seen: "window shown", the menus
// ("menu TITLE: ITEM|ITEM|-|ITEM", - for a separator), "progress shown", "processed",
// "rewound", the windows' places ("rect NAME: X Y WIDTH HEIGHT", screen pixels) and
// every control of the logic ("control ID shown|hidden enabled|disabled: TEXT", line
// ends written as \n), and the texts of the dialogs it answers. After each "processed"
// and "about shown" it writes
// "waiting" and goes on once LOG.continue exists (removing it), so that a script can take
// a screenshot first. A step that does not come within its time ends the program with
// exit code 3 after writing "timeout: STEP".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "winui.h"

class CMainWindow;

struct CDriveOptions {
    std::string log;  // the driver is off when empty
    std::string company;
    std::optional<SYSTEMTIME> start;
    std::optional<SYSTEMTIME> upto;
    std::optional<SYSTEMTIME> rewind;
    bool closeDuringRun = false;
};

// Reads the driver's options out of the program's arguments (argv[0] first), leaving
// the others. Returns a reason when an option of the driver is wrong.
std::optional<std::string> takeDriveOptions(std::vector<std::string>& arguments,
                                            CDriveOptions& options);

class CWindowDriver {
public:
    CWindowDriver(CMainWindow& window, CDriveOptions options);
    ~CWindowDriver();
    CWindowDriver(const CWindowDriver&) = delete;
    CWindowDriver& operator=(const CWindowDriver&) = delete;

    void start();
    // Writes how the program ends and returns its exit code: `exitCode`, or 3 when the
    // drive did not get to its end.
    int finish(int exitCode);

private:
    enum class CStep {
        WaitWindow,
        WaitOpenDialog,
        WaitOpened,
        WaitProcessed,
        WaitRewindDialog,
        WaitRewindQuestion,
        WaitRewound,
        WaitAboutBox,
        WaitAboutClosed,
        WaitClosed,
        Done
    };

    static void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD);
    void step();
    void go(CStep next, int seconds);
    void write(const std::string& line);
    void writeControls();
    void writeMenus();
    void writeRect(const char* name, HWND window);
    // The continue file's turn: true once it was there (and is gone).
    bool continued();
    void clickButton(HWND dialog, int id);
    void pickDate(int id, const SYSTEMTIME& day);

    CMainWindow& main;
    CDriveOptions options;
    CStep current = CStep::WaitWindow;
    UINT_PTR timer = 0;
    std::uint64_t deadline = 0;
    int commandsBefore = 0;
    bool waiting = false;
    bool progressSeen = false;
    bool rewound = false;
};
