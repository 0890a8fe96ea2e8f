// lotwise-cli: values a company file from the command line through the same main-window
// logic as the desktop program: against QuickBooks' request processor on Windows, and
// against the embedded QuickBooks stand-in everywhere else.
//
//   lotwise-cli --company FILE [--start YYYY-MM-DD] --upto YYYY-MM-DD
//               [--data-dir DIR] [--report-dir DIR] [--timings] [--verbose | --json]
//   lotwise-cli --company FILE --rewind YYYY-MM-DD [--data-dir DIR] [--report-dir DIR]
//
// It prints what the window shows on opening, the final status with the run's summary
// and, on a terminal, the day it is at; --verbose prints every progress text as well;
// --json prints only the run's summary, as one JSON object on standard output.
//
// --rewind takes the file back to the end of the day before the date, deleting the
// value adjustments posted from that date on; on or before the start date, every trace
// of the valuation goes. What will be deleted is printed before it is done.
//
// --timings prints at the end, on standard error, where the run's time went: the
// request processor (the QuickBooks stand-in), parsing its responses, the event log,
// and the rest, which is the engine's own work.
//
// Exit status: 0 when the run (or rewind) completed with every posting carried out and its
// settings stored, 1 when a check refused it, it failed or it ended with a warning, 2 on a
// usage error. --upto on or before the date the file is valued up to values nothing, says
// so and exits 0, so that a scheduler may retry a run.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "clihost.h"
#include "console.h"
#include "costrundlg.h"
#include "qbprogress.h"
#include "qbtimings.h"
#ifndef _WIN32
#include "qbsimprocessor.h"
#endif

namespace {

constexpr const char* kUsage =
    "usage: lotwise-cli --company FILE [--start YYYY-MM-DD] --upto YYYY-MM-DD\n"
    "                   [--data-dir DIR] [--report-dir DIR] [--timings] [--verbose | --json]\n"
    "       lotwise-cli --company FILE --rewind YYYY-MM-DD [--data-dir DIR] [--report-dir DIR]\n";

int usage(const std::string& why) {
    std::fprintf(stderr, "lotwise-cli: %s\n%s", why.c_str(), kUsage);
    return 2;
}

std::optional<CDateTime> parseDate(const std::string& text) {
    int y = 0, m = 0, d = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &extra) != 3) return std::nullopt;
    if (m < 1 || m > 12 || d < 1 || d > 31 || y < 1900) return std::nullopt;
    std::optional<CDateTime> date = CDateTime::fromLocal(y, m, d);
    // Reject dates that normalise to another day (31 April).
    if (!date || date->local().day != d) return std::nullopt;
    return date;
}

void printTimings(double totalSeconds) {
    const CQbTimings& t = qbTimings();
    const double engine =
        totalSeconds - t.processorSeconds - t.parsingSeconds - t.eventLogSeconds;
    std::fprintf(stderr,
                 "timings: total %.3f s, stand-in %.3f s, parsing %.3f s, event log %.3f s, "
                 "engine %.3f s, %ld round trips\n",
                 totalSeconds, t.processorSeconds, t.parsingSeconds, t.eventLogSeconds, engine,
                 t.requests);
}

}  // namespace

int main(int argc, char** argv) {
    // File and folder names may hold any character: they are read as UTF-8 and handed to
    // the system as such.
    const std::vector<std::string> args = utf8Arguments(argc, argv);
    useUtf8Console();
    std::string company;
    std::string start;
    std::string upto;
    std::string rewind;
    CCostrunFolders folders;
    bool timings = false;
    bool verbose = false;
    bool json = false;
    const auto started = std::chrono::steady_clock::now();
    const std::size_t count = args.size();
    for (std::size_t i = 1; i < count; ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= count) return false;
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (arg == "--company") ok = value(company);
        else if (arg == "--start") ok = value(start);
        else if (arg == "--upto") ok = value(upto);
        else if (arg == "--rewind") ok = value(rewind);
        else if (arg == "--data-dir") ok = value(folders.applicationData);
        else if (arg == "--report-dir") ok = value(folders.documents);
        else if (arg == "--timings") timings = true;
        else if (arg == "--verbose") verbose = true;
        else if (arg == "--json") json = true;
        else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else return usage("unknown argument " + arg);
        if (!ok) return usage(arg + " needs a value");
    }
    if (company.empty()) return usage("--company is required");
    if (verbose && json) return usage("--verbose and --json exclude each other");
    std::optional<CDateTime> rewindDate;
    if (!rewind.empty()) {
        if (!upto.empty() || !start.empty()) return usage("--rewind goes without --start and --upto");
        rewindDate = parseDate(rewind);
        if (!rewindDate) return usage("--rewind: not a date: " + rewind);
    } else if (upto.empty()) {
        return usage("--upto is required");
    }
    const std::optional<CDateTime> uptoDate = rewindDate ? rewindDate : parseDate(upto);
    if (!uptoDate) return usage("--upto: not a date: " + upto);
    std::optional<CDateTime> startDate;
    if (!start.empty()) {
        startDate = parseDate(start);
        if (!startDate) return usage("--start: not a date: " + start);
    }

#ifndef _WIN32
    // Windows has QuickBooks' own processor registered under its class id; elsewhere the
    // stand-in answers to it.
    qbsimRegister();
#endif
    CCliHost host(isTerminal(stderr), verbose);
    // The texts a quiet run prints itself; --json keeps standard output for the JSON.
    std::FILE* texts = json ? stderr : stdout;
    auto say = [&](const std::string& text) {
        if (!verbose) std::fprintf(texts, "%s\n\n", text.c_str());
    };
    setProgressHost(&host);
    int status = 1;
    {
        CCostrunDlg window(host, folders);
        host.attach(&window);
        window.initDialog();
        host.controlsChanged();
        const bool opened = window.openFile(company);
        say(window.statusText());
        if (opened && rewindDate) {
            // No one to ask: what will be deleted is said, then done.
            status = window.rewindTo(*rewindDate, [&](const std::string& question) {
                         std::fprintf(texts, "%s\n\n", question.c_str());
                         return true;
                     })
                         ? 0
                         : 1;
            say(window.statusText());
        } else if (opened) {
            CCostrunDoc& engine = *window.getEngine();
            if (engine.getStartDate()) {
                if (startDate) {
                    std::fprintf(texts, "Notice: the file has been valued from %s on; --start is ignored.\n\n",
                                engine.getStartDate()->userDateText().c_str());
                }
            } else if (!startDate) {
                std::fputs("lotwise-cli: the file has never been valued: --start is required\n", stderr);
                setProgressHost(nullptr);
                return 2;
            } else {
                window.setDate(kIdcStartDate, *startDate);
            }
            window.setDate(kIdcUpToDate, *uptoDate);
            const std::optional<CDateTime>& valuedTo = engine.getLastUpToDate();
            if (valuedTo && !(*valuedTo < CCostrunDoc::endOfDay(*uptoDate))) {
                // A scheduler's retry of a run that completed: nothing is left to do.
                const std::string done = "The file is already valued up to " + valuedTo->userDateText() + ".";
                if (json) {
                    CRunSummary summary;
                    summary.firstDay = CCostrunDoc::nextDay(*valuedTo);
                    summary.upTo = *valuedTo;
                    std::printf("%s\n", summary.json(true, done).c_str());
                } else {
                    std::printf("%s\n\n", done.c_str());
                }
                setProgressHost(nullptr);
                if (timings) {
                    printTimings(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
                }
                return 0;
            }
            const CDateTime first = engine.getLastUpToDate()
                                        ? CCostrunDoc::nextDay(*engine.getLastUpToDate())
                                        : (engine.getStartDate() ? *engine.getStartDate() : *startDate);
            const long days = (CCostrunDoc::endOfDay(*uptoDate).seconds() -
                               CCostrunDoc::startOfDay(first).seconds() + 3600) / 86400;
            host.setRun(first, static_cast<int>(days > 0 ? days : 0));
            const bool completed = window.onProcess();
            status = completed ? 0 : 1;
            // A run that completed with a warning (a posting QuickBooks refused) left the
            // books short of the FIFO value: scripts must not take it for success.
            if (status == 0 && !engine.getErrorText().empty()) status = 1;
            say(window.statusText());
            if (json) {
                const std::string message = completed ? engine.getErrorText() : window.statusText();
                std::printf("%s\n", engine.getRunSummary().json(completed, message).c_str());
            }
        } else if (!opened && json) {
            // A script still gets its one object: nothing was done, and why.
            std::printf("%s\n", CRunSummary{}.json(false, window.statusText()).c_str());
        }
    }
    setProgressHost(nullptr);
    if (timings) {
        printTimings(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    return status;
}
