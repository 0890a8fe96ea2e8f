// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// CCostrunDoc: one company file as the valuation sees it. It owns the session with
// QuickBooks, keeps the run settings that live in the company file's custom fields and
// preferences, the folders and the activity log, and offers the window's operations:
// open, run (a CValuationRun for the run's life), rewind, and what changed behind the
// valued period.
//
// Failure reporting: operations return false and leave the reason in getErrorText();
// the request layer's CQbException is caught here. Not thread-safe: the engine runs on
// the user-interface thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "activitylog.h"
#include "changesbehind.h"
#include "datetime.h"
#include "days.h"
#include "files.h"
#include "qbobject.h"
#include "purchasehistory.h"
#include "qbrequestbase.h"
#include "runsettings.h"
#include "runsummary.h"
#include "seenrecord.h"

// Where the engine keeps its files. Empty folders mean the user's defaults (the
// application data and documents folders); the engine appends its own sub-folders.
struct CCostrunFolders {
    std::string applicationData;
    std::string documents;
};

class CCostrunDoc {
public:
    // Creates the data folder (<application data>/Veltrane/Lotwise) and the report
    // folder (<documents>/Veltrane/Lotwise Reports) when missing.
    explicit CCostrunDoc(const CCostrunFolders& folders = {});
    ~CCostrunDoc();
    CCostrunDoc(const CCostrunDoc&) = delete;
    CCostrunDoc& operator=(const CCostrunDoc&) = delete;

    // --- dates (fifo/days.h) ---
    static CDateTime endOfDay(const CDateTime& t) { return ::endOfDay(t); }
    static CDateTime startOfDay(const CDateTime& t) { return ::startOfDay(t); }
    static CDateTime nextDay(const CDateTime& t) { return ::nextDay(t); }
    static CDateTime previousDay(const CDateTime& t) { return ::previousDay(t); }

    // --- session ---
    // Replaces the session (the engine owns it); the old one is destroyed first.
    void setSession(std::unique_ptr<CQbRequestBase> newSession);
    CQbRequestBase* getSession() const { return session.get(); }
    // Opens the company file through a new single-user session ("Lotwise", "Veltrane",
    // event log in the data folder), reads the company with the system's custom fields,
    // the run settings, the preferences and the edition, and checks for changes behind
    // the valued period. False with the reason in getErrorText(); after a failure to open
    // the session no session remains.
    bool openCompany(const std::string& path);
    // Ends the session with QuickBooks until the next request, which begins one afresh:
    // QuickBooks is free between the window's commands, and one closed and started again
    // meanwhile is found anew. The company and settings read stay.
    void endSession();
    // Receives every progress text (the main window's status line).
    void setStatusHandler(std::function<void(const std::string&)> handler);
    // The company file the window opens: its path and the title its reports are filed under.
    void setCompanyFile(const std::string& path, const std::string& title);
    // The company's name as QuickBooks gives it; empty before a company is read.
    std::string getCompanyName() const;

    // --- the run settings ---
    const CRunSettings& getSettings() const { return settings; }
    const std::optional<CDateTime>& getStartDate() const { return settings.startDate; }
    const std::optional<CDateTime>& getLastUpToDate() const { return settings.lastUpToDate; }
    // Defines the system's custom fields in the company file (a first run).
    bool defineRunFields();
    // Stores the start date (the start of that day) of a file never valued, with the
    // first run settings. False with the reason when QuickBooks refused: nothing was
    // stored, and the file stays never valued, in memory as on disk.
    bool storeStartDate(const CDateTime& start);

    // --- the run ---
    // Values every day from the first unprocessed one (CRunSettings::firstDayToValue) up
    // to newUpToDate (the end of that day). Refused before anything is read or written
    // when CRunSettings::refusalBeforeWriting says so. False with the reason on failure;
    // true with getErrorText() set when it completed with a warning.
    bool runValuation(const CDateTime& newUpToDate);
    const CRunSummary& getRunSummary() const { return runSummary; }
    const std::string& getReportPath() const { return reportPath; }
    // The run's page beside the CSV report; empty before a run.
    const std::string& getPagePath() const { return pagePath; }
    // Test hook: each calculated day of later runs reads every stocked item.
    void setReadEveryItem(bool every) { readEveryItem = every; }

    // --- the books behind the valued period (changesbehind.h) ---
    bool checkChangesBehind();
    const std::vector<CChangesBehind::CBookChange>& getChangesBehind() const { return changesBehind.changes(); }
    std::optional<CDateTime> earliestChangeBehind() const { return changesBehind.earliest(settings); }
    std::string changesBehindText() const { return changesBehind.text(settings); }

    // --- rewind (rewind.cpp) ---
    // The day a rewind to `date` starts from: the date itself, or the start date for any
    // date before it; none for a file never valued.
    std::optional<CDateTime> rewindFrom(const CDateTime& date) const;
    // How many of the system's value adjustments a rewind to the date deletes; -1 with
    // the reason when QuickBooks refused the query.
    int countRewindPostings(const CDateTime& date);
    // Takes the file back to the end of the day before the date: commits the new
    // "LastUpToDate" first, then deletes the system's value adjustments dated on or after
    // the date and clears the "BuildValue" of the builds dated so. On or before the start
    // date, every value the system stored goes (postings, build values, run settings);
    // the definitions of its custom fields stay, to be used again. Refused (before
    // anything is written) for a date on or before QuickBooks' closing date. False with
    // the reason when refused or stopped; a rewind or run after it finishes the work.
    bool rewindTo(const CDateTime& date);
    int getRewoundPostings() const { return rewoundPostings; }

    // --- what the engine says and where it writes ---
    const std::string& getErrorText() const { return errorText; }
    const std::string& getDataFolder() const { return dataFolder; }
    const std::string& getReportFolder() const { return reportFolder; }
    std::string activityLogPath() const { return activityLog.path(); }

private:
    bool readCompany(const std::string& productName);
    // What the runs keep beside the company file (CRunStore); empty before a first run.
    std::string storePath() const;
    // Whose purchase history the runs keep: the company, its first run and start date.
    CPurchaseHistory::CIdentity purchasesOwner() const;
    void loadSeenRecord();
    // Reads and keeps QuickBooks' valuation at the end of "LastUpToDate" after a completed
    // run, beside the record; false with the reason when QuickBooks refused the reports.
    bool keepClosingBalance(const std::map<std::string, std::string>& ids);
    void progress(const std::string& text);
    // The rewind's steps (rewind.cpp).
    std::string rewindRefusal(const CDateTime& from) const;
    std::vector<std::string> ownPostingsFrom(const CDateTime& from);
    void deleteOwnPostingsFrom(const CDateTime& from);
    void clearBuildValuesFrom(const CDateTime& from, std::set<std::string>& cleared);
    void removeRunSettings();
    // Deletes the postings the record holds after the valued period (what a rewind cut
    // off part way leaves) before a run redoes their days.
    void removePostingsAfterValuedPeriod();

    std::unique_ptr<CQbRequestBase> session;
    std::string companyPath;
    std::string companyTitle;
    std::unique_ptr<CQbObject> company;
    CRunSettings settings;
    CSeenRecord seenRecord;
    CChangesBehind changesBehind;
    std::string dataFolder;
    std::string reportFolder;
    CActivityLog activityLog;
    std::string errorText;
    std::function<void(const std::string&)> statusHandler;
    // What the last run or rewind did.
    CRunSummary runSummary;
    std::string reportPath;
    std::string pagePath;
    int rewoundPostings = 0;
    bool readEveryItem = false;
};
