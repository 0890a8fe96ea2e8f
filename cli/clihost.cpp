// Status and progress output of the command line.
#include "clihost.h"

#include <cstdio>

CCliHost::CCliHost(bool showProgress, bool verboseOutput)
    : terminal(showProgress), verbose(verboseOutput) {}

void CCliHost::setRun(const CDateTime& firstDay, int days) {
    runStart = firstDay;
    daysToDo = days;
}

void CCliHost::messageBox(const std::string& text, const std::string& caption) {
    std::printf("%s: %s\n", caption.c_str(), text.c_str());
}

void CCliHost::controlsChanged() {
    if (dlg == nullptr) return;
    const std::string status = dlg->statusText();
    if (status == lastStatus) return;
    lastStatus = status;
    if (!verbose) {
        drawProgress();
        return;
    }
    if (terminal && visible) std::fputs("\r\033[K", stderr);
    // The texts of one valuation day share their first lines ("Calculation on day ...");
    // the prefix is printed once and each step below it, indented.
    const std::string dayPrefix = "Calculation on day ";
    const std::size_t split = status.find("\n\n");
    if (status.compare(0, dayPrefix.size(), dayPrefix) == 0 && split != std::string::npos) {
        const std::string prefix = status.substr(0, split);
        const std::string step = status.substr(split + 2);
        if (prefix != lastDay) std::printf("%s\n", prefix.c_str());
        lastDay = prefix;
        if (!step.empty()) std::printf("    %s\n", step.c_str());
    } else {
        lastDay.clear();
        std::printf("%s\n\n", status.c_str());
    }
    std::fflush(stdout);
    drawProgress();
}

void CCliHost::show() {
    visible = true;
    drawProgress();
}

void CCliHost::hide() {
    if (terminal && visible) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    visible = false;
}

void CCliHost::pump() {
    ++tick;
    drawProgress();
}

void CCliHost::drawProgress() {
    if (!terminal || !visible) return;
    static const char spinner[] = "|/-\\";
    std::string line = "Communicating with QuickBooks... ";
    line += spinner[tick % 4];
    // "Calculation on day MM/DD/YYYY" names the day being valued.
    const std::string prefix = "Calculation on day ";
    if (runStart && daysToDo > 0 && lastStatus.compare(0, prefix.size(), prefix) == 0) {
        int month = 0, day = 0, year = 0;
        if (std::sscanf(lastStatus.c_str() + prefix.size(), "%d/%d/%d", &month, &day, &year) == 3) {
            if (auto current = CDateTime::fromLocal(year, month, day, 12)) {
                const CLocalTime s = runStart->local();
                const auto first = CDateTime::fromLocal(s.year, s.month, s.day, 12);
                const long done = first ? (current->seconds() - first->seconds() + 43200) / 86400 : 0;
                char text[96];
                std::snprintf(text, sizeof text, "  day %02d/%02d/%04d, %ld of %d days done", month,
                              day, year, done, daysToDo);
                line += text;
            }
        }
    }
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
}
