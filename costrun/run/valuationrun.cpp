#include "valuationrun.h"

#include "companyfields.h"
#include "days.h"
#include "files.h"
#include "keptitems.h"
#include "qbexception.h"
#include "qbutils.h"
#include "txnkinds.h"
#include "receivingtxns.h"
#include "valueadjust.h"

namespace {

constexpr const char* kSummarySeparator = "=====================\n";

std::string userDate(const CDateTime& t) { return t.userDateText(); }

}  // namespace

CValuationRun::CValuationRun(CRunContext runContext, const CDateTime& newUpToDate)
    : session(runContext.session),
      settings(runContext.settings),
      log(runContext.log),
      seen(runContext.seen),
      context(std::move(runContext)),
      upTo(newUpToDate),
      firstDay(*settings.firstDayToValue()),
      started(CDateTime::now()),
      reader(session, log, settings.assemblies, settings.startDate),
      walk(lists.units(), reader, settings.startDate, settings.multiCurrency,
           [this](const std::string& line) { log.log("%s\n", line.c_str()); }),
      explained(lists.units()),
      dayCommit(session, runSummary,
                [this](const std::string& item, const CDateTime& day, const std::string& why) {
                    addException(CRunException::kRefusedPosting, item, day, why);
                }),
      adjustments(lists, walk, log, dayCommit) {
    dayCommit.recordPostingsIn(&seen);
}

bool CValuationRun::run() {
    if (!checkBeforeWriting()) return false;
    runSummary.firstDay = firstDay;
    runSummary.upTo = upTo;
    seen.loadUnlessHeld(context.storePath);
    // The purchase history the last run kept is taken before anything is read or
    // written: whatever becomes of this run, the store no longer holds it for the books.
    // Everything QuickBooks changes from now on is read again by the next run.
    readAt = CDateTime::now();
    std::string whyNot;
    const bool kept = purchases.take(context.storePath, context.purchasesOwner,
                                     settings.lastRunTime, readAt, whyNot);
    log.open();
    logStart();
    if (!kept) {
        log.log("Purchase history: %s; every receiving transaction from %s is read\n", whyNot.c_str(),
                userDate(*settings.startDate).c_str());
    }
    bool ok = true;
    try {
        readRunLists();
        progress("Preparing...");
        ok = valueDays() && prove();
    } catch (const CQbException& e) {
        // QuickBooks closed or the connection lost mid-run: the days committed so far
        // stay committed, and the next run continues after the last of them.
        error = e.getMessage();
        ok = false;
    }
    return close(ok);
}

bool CValuationRun::checkBeforeWriting() {
    if (startOfDay(firstDay) <= upTo) error = settings.refusalBeforeWriting(firstDay, std::nullopt);
    return error.empty();
}

void CValuationRun::logStart() {
    log.log("Start date : %s\n", userDate(*settings.startDate).c_str());
    if (settings.lastUpToDate) {
        log.log("Last up to date : %s\n", userDate(*settings.lastUpToDate).c_str());
    } else {
        log.log("Last up to date : not specified\n");
    }
    log.log("New up to date : %s\n", userDate(upTo).c_str());
    log.log("MultiCurrency is turned %s\n", settings.multiCurrency ? "on" : "off");
    if (!settings.assemblies) log.log("No assemblies in %s: builds are not read\n", settings.productName.c_str());
    if (!settings.serialOrLot.empty()) log.log("Serial or lot numbers : %s\n", settings.serialOrLot.c_str());
}

void CValuationRun::readRunLists() {
    lists.read(session, settings.assemblies, context.progress);
    const std::map<std::string, std::string> changedSets = nameKeptHistory();
    const std::optional<CDateTime> keptUpTo =
        purchases.held() ? std::optional<CDateTime>(purchases.upTo()) : std::nullopt;
    own.emplace(seen, settings.lastRunTime);
    // Postings the record cannot tell (a file valued before it kept them, or a run cut
    // off) are recorded by their memo before this run stamps the record.
    if (own->byMemo() && settings.lastUpToDate) {
        const int adopted = adoptMemoPostings(session, seen, *settings.startDate);
        if (adopted > 0) log.log("%d value adjustments known by their memo alone are recorded as the system's\n", adopted);
    }
    readReceivingTxns(session, *settings.startDate, upTo, settings.assemblies, walk.records(), log, lists.units(),
                      context.progress, purchases.held() ? &purchases : nullptr, *own);
    if (keptUpTo) markChangedUnitSets(walk.records(), changedSets, *keptUpTo);
    // QuickBooks' average costs move from the first day this run values on.
    purchases.hold(context.purchasesOwner, walk.records(), readAt, upTo, firstDay);
    keepKnownIds(purchases.records(), [this](const std::string& listId) { return lists.itemName(listId); });
    keepUnitSets(purchases.records(), lists.units(), changedSets, keptUpTo);
    log.warnings(session.takeWarnings());
    // The record of what was read takes every receiving list once all were answered.
    const std::string from = dateText(*settings.startDate);
    const std::string to = dateText(upTo);
    for (const CTxnKind& kind : kTxnKinds) {
        if (kind.purchaseProgress != nullptr || kind.code == kTxnInventoryAdjustment)
            recordSeen(walk.records(), kind, seen, from, to);
    }
    recordSeen(walk.records(), *txnKind(kTxnBuildAssembly), seen, "", "");
    walk.records().dropProvisionalBuildValues(settings.lastUpToDate);
    explained.takeReceipts(walk.records(), firstDay);
    walk.index();
}

std::map<std::string, std::string> CValuationRun::nameKeptHistory() {
    if (!purchases.held()) return {};
    std::string gone;
    if (!nameKeptItems(purchases.records(), [this](const std::string& listId) { return lists.itemName(listId); },
                       gone)) {
        log.log("Purchase history: %s was merged into another item or deleted in QuickBooks; every receiving "
                "transaction from %s is read\n",
                gone.c_str(), userDate(*settings.startDate).c_str());
        purchases.forget();
        return {};
    }
    return changedUnitSets(purchases.records(), lists.units());
}

bool CValuationRun::valueDays() {
    if (!report.open(context.reportFolder, firstDay, upTo, error)) return false;
    // A calculated day commits itself with its postings; a day without activity is
    // covered by the next commit, and the last day of the run is committed on its own
    // when it had none.
    std::optional<CDateTime> committed = settings.lastUpToDate;
    bool ok = true;
    try {
        for (CDateTime d = firstDay; ok && d <= upTo; d = nextDay(d)) {
            settings.lastUpToDate = d;
            ok = processDay(d) && (dayCommit.committed() == d || d < upTo || commitLastDay(d));
            if (ok) {
                if (dayCommit.committed()) committed = dayCommit.committed();
            } else {
                settings.lastUpToDate = committed;
            }
        }
    } catch (const CQbException&) {
        // The day that failed is not done: the next run must start with it.
        settings.lastUpToDate = committed;
        throw;
    }
    return ok;
}

void CValuationRun::commit(const CDateTime& day, const std::optional<CDateTime>& next) {
    dayCommit.commit(day, next ? CDayTxns::requests(session, *next, settings.assemblies) : std::vector<std::string>());
}

bool CValuationRun::commitLastDay(const CDateTime& day) {
    try {
        commit(day, std::nullopt);
    } catch (const CQbException& e) {
        error = e.getMessage();
        return false;
    }
    return true;
}

bool CValuationRun::prove() {
    // The days are committed; a check QuickBooks refuses still fails the run, which says
    // so: no answer is taken for a good one.
    try {
        proveValues();
    } catch (const CQbException& e) {
        error = "The days are valued and committed, but the check of QuickBooks' values against the FIFO values "
                "could not be made: " +
                e.getMessage();
        return false;
    }
    return true;
}

bool CValuationRun::close(bool ok) {
    log.log("%s", kSummarySeparator);
    log.log("%s\n", runSummary.text().c_str());
    for (const auto& [item, correction] : runSummary.itemCorrections)
        log.log("Correction of %s : %.2f\n", item.c_str(), correction);
    writePage();
    // The moment this run finished writing: its own postings, build values and deletions
    // stand before it, so the next open takes only the user's later changes for changes
    // behind the valued period. Without it the next open would take this run's own
    // writes for changes.
    std::string stampError;
    const bool stamped = stampLastRunTime(stampError);
    if (!stamped && ok) {
        if (!stampError.empty()) error = stampError;
        ok = false;
    }
    // A run that stopped may have lost QuickBooks' answer to postings it took: its record
    // goes unstamped, so that what it lacks is told by the memo until the next run or
    // rewind records it (COwnPostings).
    seen.save(stamped && ok ? settings.lastRunTime : std::nullopt);
    // The purchase history stands for QuickBooks' books only with the "LastRunTime" it
    // was written for; the builds whose value the run wrote are read again next time.
    if (stamped && purchases.held()) {
        purchases.readAgain(ownBuildWrites);
        const std::string& path = context.storePath;
        if (!path.empty() && !purchases.save(path, *settings.lastRunTime))
            log.log("The purchase history could not be written to %s\n", path.c_str());
    }
    report.close();
    return ok;
}

bool CValuationRun::stampLastRunTime(std::string& why) {
    try {
        CCompanyFields(session, settings).saveLastRunTime(started, ownBuildWrites, seen);
    } catch (const CQbException& e) {
        why = e.getMessage();
        return false;
    }
    return true;
}

void CValuationRun::progress(const std::string& text) {
    if (context.progress) context.progress(text);
}
