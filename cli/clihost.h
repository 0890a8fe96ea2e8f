// cli/, lotwise-cli: the command-line front end over the window logic. May include
// costrun/, qblib/ and platform/, and qbsim/ where it registers the stand-in.

// The command line's side of the main window: with verbose output every status text
// goes to standard output as the window would show it (otherwise the caller prints the
// texts that matter), and long work shows the current day and the days done on standard
// error when that is a terminal.
#pragma once

#include <optional>
#include <string>

#include "costrundlg.h"
#include "qbprogress.h"

class CCliHost : public CCostrunDlgHost, public CQbProgressHost {
public:
    // daysToDo and firstDay describe the run about to start, for the progress line.
    CCliHost(bool showProgress, bool verbose);

    void attach(const CCostrunDlg* window) { dlg = window; }
    void setRun(const CDateTime& firstDay, int daysToDo);

    // CCostrunDlgHost
    std::optional<std::string> chooseCompanyFile() override { return std::nullopt; }
    void messageBox(const std::string& text, const std::string& caption) override;
    void openDocument(const std::string&) override {}
    void runAboutBox() override {}
    void closeWindow() override {}
    void controlsChanged() override;

    // CQbProgressHost
    void show() override;
    void hide() override;
    bool isVisible() const override { return visible; }
    void pump() override;

private:
    void drawProgress();

    const CCostrunDlg* dlg = nullptr;
    bool terminal;
    bool verbose;
    bool visible = false;
    std::string lastStatus;
    std::string lastDay;
    std::optional<CDateTime> runStart;
    int daysToDo = 0;
    int tick = 0;
};
