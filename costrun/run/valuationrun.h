// One valuation run, from the first unprocessed day up to the new up-to date. It exists
// for that run only and reads as its phases: the check before writing, the run's lists
// (items, accounts, classes, prices, units and every receiving transaction of the period,
// kept compact), the days in order (a calculated day is committed, "LastUpToDate" with
// its postings, before the next, so that a run stopped part-way leaves the company file
// consistent and the next run continues from there), then the proof and the close (the
// summary, the page, "LastRunTime" and the record of what was read). Its state ends with
// it: nothing is carried into the next run.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "activitylog.h"
#include "costrunitemlist.h"
#include "costruntxnlist.h"
#include "datetime.h"
#include "dayadjustments.h"
#include "explainedstock.h"
#include "ownpostings.h"
#include "daycommit.h"
#include "daytxns.h"
#include "purchasehistory.h"
#include "qbrequestbase.h"
#include "receiptwalk.h"
#include "runlists.h"
#include "runreport.h"
#include "runsettings.h"
#include "runsummary.h"
#include "seenrecord.h"
#include "txnkinds.h"
#include "valuationreader.h"

// What a run borrows from the company file it values, for its whole life.
struct CRunContext {
    CQbRequestBase& session;
    CRunSettings& settings;  // "LastUpToDate" moves as days are committed
    CActivityLog& log;
    CSeenRecord& seen;
    std::function<void(const std::string&)> progress;
    std::string reportFolder;  // the company's folder of reports
    std::string companyName;   // as the run's page names it
    std::string storePath;  // what the runs keep beside the company file (CRunStore::pathFor)
    CPurchaseHistory::CIdentity purchasesOwner;  // whose purchase history the run keeps
};

class CValuationRun {
public:
    // The settings must hold a start date.
    CValuationRun(CRunContext context, const CDateTime& upTo);
    CValuationRun(const CValuationRun&) = delete;
    CValuationRun& operator=(const CValuationRun&) = delete;

    // Runs every phase. False with errorText() when the run was refused, failed, or left
    // "LastRunTime" unstored; true with errorText() set when it completed with a warning.
    bool run();

    const std::string& errorText() const { return error; }
    const CRunSummary& summary() const { return runSummary; }
    const std::string& reportPath() const { return report.path(); }
    const std::string& pagePath() const { return page; }
    // Every stocked item's ListID by full name, as the run's lists read them.
    std::map<std::string, std::string> stockedIds() const { return lists.stockedIds(); }
    // Test hook: each calculated day reads every stocked item, not only the day's.
    void readEveryItem() { everyItem = true; }

    // Why an item cannot be valued ("not valued: ..."), or nothing when its lots cover
    // what it holds.
    static std::optional<std::string> unvaluedReason(const CCostrunItem& item);

private:
    // The day being calculated: its transactions, item lists and builds.
    struct CDay {
        CDateTime date;
        std::string progressText;
        std::unique_ptr<CDayTxns> txns;
        std::unique_ptr<CCostrunItemList> inventory, assemblies;
        std::set<std::string> shortBuildsLogged;  // builds logged as not valued for a short component
    };

    // --- the phases (valuationrun.cpp) ---
    bool checkBeforeWriting();
    void logStart();
    void readRunLists();
    bool valueDays();
    // Commits the day's writes and `day` as "LastUpToDate", with the next day's queries.
    void commit(const CDateTime& day, const std::optional<CDateTime>& next);
    // The commit of the run's last day when it had no activity; false with the reason.
    bool commitLastDay(const CDateTime& day);
    bool prove();
    bool close(bool ok);
    // Stores "LastRunTime" after the run's writes; false with the reason in `why`.
    bool stampLastRunTime(std::string& why);
    void progress(const std::string& text);

    // --- one day (valuationday.cpp) ---
    bool processDay(const CDateTime& date);
    void calculateDay(CDay& day);
    void valueDayBuilds(CDay& day);
    void finishDay(CDay& day);
    void loadValuations(CDay& day);
    // QuickBooks' quantities at the end of the day before the first day, which the
    // explained ones start from.
    void readExplainedOpening();
    // The stocked items the day's calculation reads, by type, in name order.
    struct CDayItems {
        std::vector<std::string> inventory;
        std::vector<std::string> assemblies;
    };
    CDayItems dayItems(const CDay& day) const;

    // The day's transactions: sent with the previous day's commit, or now.
    void retrieveDayTxns(CDay& day);
    void deleteOwnPostings(CDay& day);

    // --- builds (daybuilds.cpp) ---
    // What a build's components cost: the sum, whether every component was costed, and
    // the first costed component whose lots do not cover it (with its unread unit, if
    // that is why).
    struct CBuildCost {
        double value = 0.0;
        bool allCosted = true;
        std::string shortComponent;
        std::string shortUnit;
    };
    void markBuiltAssembliesInactive(CDay& day);
    void reserveComponents(CDay& day);
    // One valuation pass over the day's builds; returns how many builds got a value.
    int valueBuilds(CDay& day, int pass);
    bool valueBuild(CDay& day, CCostrunTxn& record, int pass);
    CBuildCost buildCost(CDay& day, const CQbObject& build);
    void noteShortBuild(const CCostrunItem& assembly, const CQbObject& build, const CBuildCost& cost);
    void transferBuildValues(CDay& day);

    // --- exceptions and the proof (closing.cpp) ---
    void addException(CRunException::Kind kind, const std::string& item, const CDateTime& day,
                      const std::string& reason);
    void noteDayItems(const CCostrunItemList* list, const CDateTime& day);
    // The closing valuation: QuickBooks' values of every item at the end of the last
    // calculated day, read once more, valued by FIFO, written to the report as one block
    // of the items on hand and compared with the FIFO values. Throws CQbException when
    // QuickBooks refuses.
    void proveValues();
    // Gives the kept purchase history this run's names of its items, or lets it go when
    // an item it knew is gone; returns the items whose unit-of-measure set changed since.
    std::map<std::string, std::string> nameKeptHistory();
    // Names the items the item list holds stock of that the day's summaries leave out.
    void nameUnlisted(const CCostrunItemList& inventory, const CCostrunItemList& assemblies, const CDateTime& day);
    void proveItem(const CCostrunItem& item, const CDateTime& day);
    void writePage();

    CQbRequestBase& session;
    CRunSettings& settings;
    CActivityLog& log;
    CSeenRecord& seen;
    CRunContext context;
    const CDateTime upTo;
    const CDateTime firstDay;  // the first day to value (CRunSettings::firstDayToValue)
    const CDateTime started;
    std::string error;
    bool everyItem = false;

    CRunSummary runSummary;
    CRunLists lists;
    CValuationReader reader;
    CReceiptWalk walk;
    // What the transactions read explain of each item's quantity, checked every
    // calculated day and by the proof.
    CExplainedStock explained;
    // The purchase history: the one the last run kept, taken when the run reads its
    // lists, then what this run read, written when it closes.
    CPurchaseHistory purchases;
    CDateTime readAt;  // the moment before the run read anything
    // Tells the system's own postings from the user's adjustments; set once the record
    // is loaded and what the memo alone tells is recorded.
    std::optional<COwnPostings> own;
    CDayCommit dayCommit;
    CDayAdjustments adjustments;
    CRunReport report;
    std::string page;
    std::optional<CDateTime> lastCalculatedDay;
    // Items left unvalued on lastCalculatedDay: read again on the next calculated day,
    // touched or not, so that an exception counts every day it lasts.
    std::set<std::string> lastDayUnvalued;
    std::set<std::string> openingOnlyNoted;
    std::set<std::string> uncarriedNoted;
    // Builds whose value this run wrote.
    std::set<std::string> ownBuildWrites;
};
