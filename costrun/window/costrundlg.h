// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// CCostrunDlg: the main window's logic without a toolkit. It owns the engine from
// initialisation to close, holds the state of every control by its resource id (text,
// visibility, enabled, and the date of a date picker), and runs the commands Open,
// Process, Rewind, Tutorial, User Manual, About and Exit. What only a toolkit can do
// (choose a file or a date, ask or tell the user, open a document, run the About box,
// close the window) goes through CCostrunDlgHost, which each front end implements and
// tests replace.
//
// User-interface thread only. While Open, Process or Rewind runs, the message pump may
// deliver another command: those three are then refused until the running one ends.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "costrundoc.h"
#include "datetime.h"

// Resource ids of the main window's controls.
enum CCostrunControl : int {
    kIdcFile = 1000,
    kIdcChooseFile = 1001,
    kIdcProcess = 1002,
    kIdcUpToDate = 1003,
    kIdcCompanyName = 1004,
    kIdcStatus = 1005,
    kIdcStartDateText = 1006,
    kIdcCurrentUpToDate = 1007,
    kIdcStartDate = 1008,
};

struct CControlState {
    std::string text;
    bool visible = true;
    bool enabled = true;
    std::optional<CDateTime> date;  // date pickers only
};

class CCostrunDlgHost {
public:
    virtual ~CCostrunDlgHost() = default;
    // The platform's open-file dialog with the "QuickBooks Company Files (*.qbw)"
    // filter; none when the user cancels.
    virtual std::optional<std::string> chooseCompanyFile() = 0;
    virtual void messageBox(const std::string& text, const std::string& caption) = 0;
    // Hands a document to the desktop's default program; the result is not used.
    virtual void openDocument(const std::string& path) = 0;
    virtual void runAboutBox() = 0;
    // Rewind's date picker, starting at `initial`; none when the user cancels.
    virtual std::optional<CDateTime> chooseRewindDate(const CDateTime& initial) {
        (void)initial;
        return std::nullopt;
    }
    // A question with Yes and No; true for Yes.
    virtual bool confirm(const std::string& text, const std::string& caption) {
        (void)text;
        (void)caption;
        return false;
    }
    virtual void closeWindow() = 0;
    // A control's state changed (the status text during long work among them).
    virtual void controlsChanged() {}
};

inline constexpr const char* kInitialStatus =
    "No QuickBooks file is opened.\n\nIf it is the first time opening the QuickBooks file, "
    "please have it opened in QuickBooks before proceeding.";

class CCostrunDlg {
public:
    // The host must outlive the window. The folders replace the user's default
    // application data and documents folders when not empty.
    explicit CCostrunDlg(CCostrunDlgHost& host, CCostrunFolders folders = {});
    ~CCostrunDlg();
    CCostrunDlg(const CCostrunDlg&) = delete;
    CCostrunDlg& operator=(const CCostrunDlg&) = delete;

    // Creates the engine (which prepares its folders) and routes its progress texts to
    // the status text. Both date pickers start at `today`.
    void initDialog(const CDateTime& today = CDateTime::now());

    // Commands. Each returns false when it was refused or failed.
    bool onOpen();
    // Open of a file already chosen (the command line's way in).
    bool openFile(const std::string& path);
    // True when the run completed.
    bool onProcess();
    // Rewind...: a date from the host's picker, the host's confirmation naming what
    // will be deleted, then the engine's rewind. True when the rewind completed.
    bool onRewind();
    // The rewind of a date already chosen (the command line's way in), with the
    // confirmation asked of `confirm`.
    bool rewindTo(const CDateTime& date, const std::function<bool(const std::string&)>& confirm);
    void onTutorial();
    void onUserManual();
    void onAbout();
    void onExit();

    const CControlState& control(int id) const;
    std::string statusText() const { return control(kIdcStatus).text; }
    // What the user picks in a date picker (kIdcUpToDate or kIdcStartDate).
    void setDate(int id, const CDateTime& date);
    bool isBusy() const { return busy; }
    CCostrunDoc* getEngine() const { return engine.get(); }

private:
    void setText(int id, const std::string& text);
    void setVisible(int id, bool visible);
    void setEnabled(int id, bool enabled);
    void setStatus(const std::string& text) { setText(kIdcStatus, text); }
    bool refuse();
    // The start date, up-to date and date pickers as the engine's settings have them.
    void showValuedState();

    CCostrunDlgHost& host;
    CCostrunFolders folders;
    std::unique_ptr<CCostrunDoc> engine;
    std::map<int, CControlState> controls;
    bool busy = false;
};
