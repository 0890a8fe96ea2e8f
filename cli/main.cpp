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
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

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

// What the command line asks for, as given and, once checked, as dates.
struct CCliOptions {
    std::string company;
    std::string start;
    std::string upto;
    std::string rewind;
    CCostrunFolders folders;
    bool timings = false;
    bool verbose = false;
    bool json = false;
    std::optional<CDateTime> startDate;
    std::optional<CDateTime> uptoDate;  // the rewind's date for --rewind
    std::optional<CDateTime> rewindDate;
};

// Reads the options; an exit code when there is nothing more to do (--help, or a usage
// error already reported).
std::optional<int> parseOptions(const std::vector<std::string>& args, CCliOptions& options) {
    CLI::App app("lotwise-cli");
    app.set_help_flag("-h,--help");
    app.allow_extras();
    // The same options on Windows: no "/company" form.
    app.allow_windows_style_options(false);
    // An option given twice takes its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--company", options.company);
    app.add_option("--start", options.start);
    app.add_option("--upto", options.upto);
    app.add_option("--rewind", options.rewind);
    app.add_option("--data-dir", options.folders.applicationData);
    app.add_option("--report-dir", options.folders.documents);
    app.add_flag("--timings", options.timings);
    app.add_flag("--verbose", options.verbose);
    app.add_flag("--json", options.json);
    // CLI11 takes the arguments last first, without the program's name.
    std::vector<std::string> reversed(args.rbegin(), args.rend() - (args.empty() ? 0 : 1));
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        // The arguments are taken in order: one unknown before --help is the error.
        const auto help = std::find_if(args.begin() + 1, args.end(), [](const std::string& arg) {
            return arg == "-h" || arg == "--help";
        });
        if (!app.remaining().empty() &&
            std::find(args.begin() + 1, help, app.remaining().front()) != help) {
            return usage("unknown argument " + app.remaining().front());
        }
        std::fputs(kUsage, stdout);
        return 0;
    } catch (const CLI::ArgumentMismatch&) {
        // An option takes the next argument whatever it is: only the last one can lack it.
        return usage(args.back() + " needs a value");
    } catch (const CLI::ParseError& e) {
        return usage(e.what());
    }
    if (!app.remaining().empty()) return usage("unknown argument " + app.remaining().front());
    return std::nullopt;
}

// Checks the options' combinations and dates; an exit code for a usage error.
std::optional<int> checkOptions(CCliOptions& options) {
    if (options.company.empty()) return usage("--company is required");
    if (options.verbose && options.json) return usage("--verbose and --json exclude each other");
    if (!options.rewind.empty()) {
        if (!options.upto.empty() || !options.start.empty()) {
            return usage("--rewind goes without --start and --upto");
        }
        options.rewindDate = parseDate(options.rewind);
        if (!options.rewindDate) return usage("--rewind: not a date: " + options.rewind);
    } else if (options.upto.empty()) {
        return usage("--upto is required");
    }
    options.uptoDate = options.rewindDate ? options.rewindDate : parseDate(options.upto);
    if (!options.uptoDate) return usage("--upto: not a date: " + options.upto);
    if (!options.start.empty()) {
        options.startDate = parseDate(options.start);
        if (!options.startDate) return usage("--start: not a date: " + options.start);
    }
    return std::nullopt;
}

void printTimings(std::chrono::steady_clock::time_point started) {
    const double totalSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const CQbTimings& t = qbTimings();
    const double engine = totalSeconds - t.processorSeconds - t.parsingSeconds - t.eventLogSeconds;
    std::fprintf(stderr,
                 "timings: total %.3f s, stand-in %.3f s, parsing %.3f s, event log %.3f s, "
                 "engine %.3f s, %ld round trips\n",
                 totalSeconds, t.processorSeconds, t.parsingSeconds, t.eventLogSeconds, engine,
                 t.requests);
}

// One run of the window on the opened file: where its texts go and how it prints them.
class CCliRun {
public:
    CCliRun(CCostrunDlg& window, CCliHost& host, const CCliOptions& options)
        : window(window), host(host), options(options), texts(options.json ? stderr : stdout) {}

    // The exit code of a rewind, or of a run up to the date asked.
    int rewind();
    int value();
    // Prints a text the window shows, unless --verbose printed it already.
    void say(const std::string& text) const {
        if (!options.verbose) std::fprintf(texts, "%s\n\n", text.c_str());
    }

private:
    std::optional<int> takeStartDate(const CCostrunDoc& engine);
    int alreadyValued(const CDateTime& valuedTo) const;
    int process(CCostrunDoc& engine);

    CCostrunDlg& window;
    CCliHost& host;
    const CCliOptions& options;
    // The texts a quiet run prints itself; --json keeps standard output for the JSON.
    std::FILE* texts;
};

int CCliRun::rewind() {
    // No one to ask: what will be deleted is said, then done.
    const bool done = window.rewindTo(*options.rewindDate, [&](const std::string& question) {
        std::fprintf(texts, "%s\n\n", question.c_str());
        return true;
    });
    say(window.statusText());
    return done ? 0 : 1;
}

// Sets the window's start date for a file never valued; an exit code when it lacks one.
std::optional<int> CCliRun::takeStartDate(const CCostrunDoc& engine) {
    if (engine.getStartDate()) {
        if (options.startDate) {
            std::fprintf(texts,
                         "Notice: the file has been valued from %s on; --start is ignored.\n\n",
                         engine.getStartDate()->userDateText().c_str());
        }
    } else if (!options.startDate) {
        std::fputs("lotwise-cli: the file has never been valued: --start is required\n", stderr);
        return 2;
    } else {
        window.setDate(kIdcStartDate, *options.startDate);
    }
    return std::nullopt;
}

// A scheduler's retry of a run that completed: nothing is left to do.
int CCliRun::alreadyValued(const CDateTime& valuedTo) const {
    const std::string done = "The file is already valued up to " + valuedTo.userDateText() + ".";
    if (options.json) {
        CRunSummary summary;
        summary.firstDay = CCostrunDoc::nextDay(valuedTo);
        summary.upTo = valuedTo;
        std::printf("%s\n", summary.json(true, done).c_str());
    } else {
        std::printf("%s\n\n", done.c_str());
    }
    return 0;
}

// The first day the run values and how many days it goes through, for the progress line.
std::pair<CDateTime, long> daysToValue(const CCostrunDoc& engine,
                                       const std::optional<CDateTime>& startDate,
                                       const CDateTime& uptoDate) {
    // A file never valued starts on the --start date.
    const CDateTime first = engine.getSettings().firstDayToValue().value_or(CCostrunDoc::endOfDay(*startDate));
    const long days = (CCostrunDoc::endOfDay(uptoDate).seconds() -
                       CCostrunDoc::startOfDay(first).seconds() + 3600) /
                      86400;
    return {first, days};
}

int CCliRun::value() {
    CCostrunDoc& engine = *window.getEngine();
    if (const std::optional<int> refused = takeStartDate(engine)) return *refused;
    window.setDate(kIdcUpToDate, *options.uptoDate);
    const std::optional<CDateTime>& valuedTo = engine.getLastUpToDate();
    if (valuedTo && !(*valuedTo < CCostrunDoc::endOfDay(*options.uptoDate)))
        return alreadyValued(*valuedTo);
    return process(engine);
}

int CCliRun::process(CCostrunDoc& engine) {
    const auto [first, days] = daysToValue(engine, options.startDate, *options.uptoDate);
    host.setRun(first, static_cast<int>(days > 0 ? days : 0));
    const bool completed = window.onProcess();
    int status = completed ? 0 : 1;
    // A run that completed with a warning (a posting QuickBooks refused) left the
    // books short of the FIFO value: scripts must not take it for success.
    if (status == 0 && !engine.getErrorText().empty()) status = 1;
    say(window.statusText());
    if (options.json) {
        const std::string message = completed ? engine.getErrorText() : window.statusText();
        std::printf("%s\n", engine.getRunSummary().json(completed, message).c_str());
    }
    return status;
}

// Opens the company file in the window and rewinds or values it.
int run(const CCliOptions& options) {
    CCliHost host(isTerminal(stderr), options.verbose);
    setProgressHost(&host);
    int status = 1;
    {
        CCostrunDlg window(host, options.folders);
        host.attach(&window);
        window.initDialog();
        host.controlsChanged();
        CCliRun cliRun(window, host, options);
        const bool opened = window.openFile(options.company);
        cliRun.say(window.statusText());
        if (opened) {
            status = options.rewindDate ? cliRun.rewind() : cliRun.value();
        } else if (options.json) {
            // A script still gets its one object: nothing was done, and why.
            std::printf("%s\n", CRunSummary{}.json(false, window.statusText()).c_str());
        }
    }
    setProgressHost(nullptr);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // File and folder names may hold any character: they are read as UTF-8 and handed to
    // the system as such.
    const std::vector<std::string> args = utf8Arguments(argc, argv);
    useUtf8Console();
    const auto started = std::chrono::steady_clock::now();
    CCliOptions options;
    if (const std::optional<int> exit = parseOptions(args, options)) return *exit;
    if (const std::optional<int> exit = checkOptions(options)) return *exit;
#ifndef _WIN32
    // Windows has QuickBooks' own processor registered under its class id; elsewhere the
    // stand-in answers to it.
    qbsimRegister();
#endif
    const int status = run(options);
    if (options.timings && status != 2) printTimings(started);
    return status;
}
