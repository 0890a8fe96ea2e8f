// win32/, lotwise.exe: the native Win32 desktop program over the window logic. May
// include the Windows API, costrun/, qblib/ and platform/; neither Qt nor qbsim/.

// The main window of the native desktop program: dialog template IDD_MAIN (the Qt
// view's layout, in the same dialog units), its menu and accelerators, rendering the
// control state of the window logic (CCostrunDlg) by resource id and forwarding the
// user's commands to it. It is the logic's host (the common file dialog, message boxes
// and questions, Rewind's date picker, help documents through the shell, the About box,
// closing) and owns the progress
// window, which it installs as the process-wide progress host while it exists.
//
// A close asked for while Open, Process or Rewind runs (the progress window's pump delivers it)
// waits until that command has returned. When the window is gone the thread's message
// loop is asked to end (WM_QUIT). User-interface thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "costrundlg.h"
#include "progresswindow.h"
#include "winui.h"

class CMainWindow final : public CCostrunDlgHost {
public:
    // The folders replace the user's application data and documents folders when set.
    CMainWindow(HINSTANCE instance, CCostrunFolders folders = {});
    ~CMainWindow() override;
    CMainWindow(const CMainWindow&) = delete;
    CMainWindow& operator=(const CMainWindow&) = delete;

    // Creates the window, hidden, with the window logic initialised; false when the
    // template cannot be made into a window.
    bool create();
    // Null before create() and once the window is gone.
    HWND window() const { return hwnd; }
    CCostrunDlg& logic() { return *dlg; }
    CProgressWindow& progressWindow() { return *progress; }
    // How many commands (menu items, buttons) have run to their end: lets a caller that
    // posted a command know when it is done.
    int completedCommands() const { return commandsDone; }

    // The program's keyboard handling of a message of the thread: the accelerators and
    // the dialog keys (Tab, Esc) of the main window. True when the message was used up.
    bool translate(MSG& message);

    // CCostrunDlgHost
    std::optional<std::string> chooseCompanyFile() override;
    void messageBox(const std::string& text, const std::string& caption) override;
    void openDocument(const std::string& path) override;
    void runAboutBox() override;
    std::optional<CDateTime> chooseRewindDate(const CDateTime& initial) override;
    bool confirm(const std::string& text, const std::string& caption) override;
    void closeWindow() override;
    void controlsChanged() override;

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void initialise();
    void applyTexts();
    void onCommand(int id, int code);
    void onDateChanged(int id, const NMDATETIMECHANGE& change);
    void requestClose();
    // Runs one command of the logic, then any close that was held back meanwhile.
    template <class Command>
    void command(Command run);
    void render();

    HINSTANCE instance;
    CCostrunFolders folders;
    HWND hwnd = nullptr;
    HACCEL accelerators = nullptr;
    HBITMAP picture = nullptr;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    std::unique_ptr<CProgressWindow> progress;
    CQbProgressHost* previousProgress = nullptr;
    std::unique_ptr<CCostrunDlg> dlg;
    bool closePending = false;
    // Set while render() moves the pickers, whose own changes are the user's.
    bool rendering = false;
    int commandsDone = 0;
};
