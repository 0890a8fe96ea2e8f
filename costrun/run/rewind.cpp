// Rewind takes the file back to the end of the day before a date (or to before the
// first run), so that the next run values those days again from a clean slate: the new
// "LastUpToDate" is committed first, then the system's value adjustments and build
// values from that date on are removed. The system's value adjustments are those
// COwnPostings tells: by the TxnID the record of what runs wrote holds, whatever their
// memo says now, and by the memo where the record cannot tell (a file valued before the
// record kept postings, a run cut off); the rewind records the latter before it stamps
// the record, so that later rewinds still know them.
#include "closingbalance.h"
#include "companyfields.h"
#include "costrundoc.h"
#include "costruntxnlist.h"
#include "ownpostings.h"
#include "qbexception.h"
#include "qbutils.h"
#include "queryfilters.h"
#include "valueadjust.h"

std::optional<CDateTime> CCostrunDoc::rewindFrom(const CDateTime& date) const {
    if (!settings.startDate) return std::nullopt;
    const CDateTime from = startOfDay(date);
    return from < *settings.startDate ? *settings.startDate : from;
}

std::vector<std::string> CCostrunDoc::ownPostingsFrom(const CDateTime& from) {
    CQbFieldList filter;
    filter.addAggregate("TxnDateRangeFilter", filterFrom("FromTxnDate", dateText(from)));
    for (const char* element : COwnPostings::retElements()) filter.addText("IncludeRetElement", element);
    std::unique_ptr<CQbObjectList> adjustments = session->queryInventoryAdjustment(&filter);
    const COwnPostings rule(seenRecord, settings.lastRunTime);
    std::vector<std::string> own;
    for (int i = 0; adjustments && i < adjustments->getSize(); ++i) {
        const CQbObject& adjustment = *adjustments->getAt(i);
        if (rule.isOwn(adjustment)) own.push_back(adjustment.getValue("TxnID"));
    }
    return own;
}

int CCostrunDoc::countRewindPostings(const CDateTime& date) {
    errorText.clear();
    const std::optional<CDateTime> from = rewindFrom(date);
    if (!session || !from) return -1;
    loadSeenRecord();
    try {
        return static_cast<int>(ownPostingsFrom(*from).size());
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return -1;
    }
}

std::string CCostrunDoc::rewindRefusal(const CDateTime& from) const {
    const std::string closed = settings.closingDateRefusal(from, true);
    if (!closed.empty()) return closed;
    // Only valued days can be taken back. The day after the last valued one is allowed:
    // that rewind moves nothing back but removes what a cut-off rewind or run left.
    const bool toStart = !(from > *settings.startDate);
    const CDateTime valuedTo = settings.lastUpToDate ? *settings.lastUpToDate : endOfDay(previousDay(*settings.startDate));
    const CDateTime latest = startOfDay(nextDay(valuedTo));
    if (!toStart && from > latest) {
        return "The file is valued up to " + valuedTo.userDateText() + " only: choose a date on or before " +
               latest.userDateText() + " to rewind.";
    }
    return {};
}

bool CCostrunDoc::rewindTo(const CDateTime& date) {
    errorText.clear();
    rewoundPostings = 0;
    if (!session) {
        errorText = "No QuickBooks file is opened.";
        return false;
    }
    const std::optional<CDateTime> from = rewindFrom(date);
    if (!from) {
        errorText = "FIFO valuation has never been performed on this file: there is nothing to rewind.";
        return false;
    }
    errorText = rewindRefusal(*from);
    if (!errorText.empty()) return false;
    const bool toStart = !(*from > *settings.startDate);
    activityLog.open();
    activityLog.log("Rewind to %s\n", from->userDateText().c_str());
    const CDateTime started = CDateTime::now();
    loadSeenRecord();
    // The purchase history outlives a rewind, which changes no purchase: the next run
    // reads again the builds whose value it clears. It is taken now, so that a rewind
    // stopped part-way leaves none.
    const std::string purchasesPath = storePath();
    CPurchaseHistory purchases;
    std::string whyNot;
    purchases.take(purchasesPath, purchasesOwner(), settings.lastRunTime, started, whyNot);
    // The last run's closing valuation belongs to a valued period the rewind ends.
    CClosingBalance::discard(storePath());
    try {
        // The new end of the valued period is committed first: whatever the rewind leaves
        // undone if it is stopped now lies after it, where the next run or rewind removes
        // it as the leftovers of an interrupted run.
        const CDateTime newUpTo = endOfDay(previousDay(*from));
        CCompanyFields(*session, settings).store("LastUpToDate", zoneDateTimeText(newUpTo), false);
        settings.lastUpToDate = toStart ? std::nullopt : std::optional<CDateTime>(newUpTo);
        if (!toStart && COwnPostings(seenRecord, settings.lastRunTime).byMemo())
            adoptMemoPostings(*session, seenRecord, *settings.startDate);
        deleteOwnPostingsFrom(*from);
        std::set<std::string> cleared;
        clearBuildValuesFrom(*from, cleared);
        if (toStart) {
            removeRunSettings();
        } else {
            // The record is stamped only with a "LastRunTime" that was stored.
            try {
                CCompanyFields(*session, settings).saveLastRunTime(started, cleared, seenRecord);
            } catch (const CQbException&) {
                seenRecord.save(std::nullopt);
                throw;
            }
            seenRecord.save(settings.lastRunTime);
            if (purchases.held()) {
                purchases.readAgain(cleared);
                purchases.valuesMovedOn(*from);
                purchases.save(purchasesPath, *settings.lastRunTime);
            }
        }
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        activityLog.log("Rewind stopped : %s\n", errorText.c_str());
        return false;
    }
    changesBehind.clear();
    return true;
}

void CCostrunDoc::deleteOwnPostingsFrom(const CDateTime& from) {
    const std::vector<std::string> own = ownPostingsFrom(from);
    for (const std::string& txnId : own) {
        progress("Deleting value adjustment " + std::to_string(rewoundPostings + 1) + " of " +
                 std::to_string(own.size()) + "...");
        session->txnDel(txnId, "InventoryAdjustment");
        activityLog.log("Removed value adjustment %s\n", txnId.c_str());
        ++rewoundPostings;
    }
    // Those the record holds and QuickBooks no longer lists were deleted before.
    seenRecord.forgetPostingsFrom(dateText(from));
}

void CCostrunDoc::removePostingsAfterValuedPeriod() {
    // Only a rewind cut off after it moved "LastUpToDate" back leaves the record holding
    // postings after it. A run would redo their days deleting the postings it knows by
    // their memo, and leave one whose memo the user changed: they go first.
    const CDateTime from = startOfDay(nextDay(settings.lastUpToDate ? *settings.lastUpToDate : previousDay(*settings.startDate)));
    if (seenRecord.postingsFrom(dateText(from)).empty()) return;
    deleteOwnPostingsFrom(from);
    seenRecord.save(readDateTimeText(seenRecord.stamp()));
}

void CCostrunDoc::clearBuildValuesFrom(const CDateTime& from, std::set<std::string>& cleared) {
    if (!settings.assemblies) return;
    CQbFieldList filter;
    filter.addAggregate("TxnDateRangeFilter", filterFrom("FromTxnDate", dateText(from)));
    filter.addText("OwnerID", kPrivateOwnerId);
    progress("Clearing the value of builds...");
    std::unique_ptr<CQbObjectList> builds = session->queryBuildAssembly(&filter);
    const std::string buildType = "BuildAssembly";
    for (int i = 0; builds && i < builds->getSize(); ++i) {
        const CQbObject& build = *builds->getAt(i);
        if (build.findPrivateDataExt(kBuildValueField) == nullptr) continue;
        const std::string txnId = build.getValue("TxnID");
        session->dataExtDel(kPrivateOwnerId, kBuildValueField, &buildType, &txnId);
        cleared.insert(txnId);
        activityLog.log("Cleared the value of build %s\n", txnId.c_str());
    }
}

void CCostrunDoc::removeRunSettings() {
    // Every value the system stored goes: the run settings, the start date last so that
    // a rewind stopped before it still finds the file valued. Their definitions stay:
    // QuickBooks never lets a deleted private definition be added again under the same
    // name and owner, so the file could not be valued again; the next first run finds
    // them defined.
    progress("Removing the run settings...");
    std::unique_ptr<CQbObject> current = session->queryCompany();
    for (const char* name : {"LastUpToDate", "LastExecTime", "LastRunTime", "StartDate"}) {
        if (current && current->findPrivateDataExt(name) != nullptr) session->dataExtDel(kPrivateOwnerId, name, nullptr, nullptr);
    }
    seenRecord.discard();
    settings.startDate.reset();
    settings.lastExecTime.reset();
    settings.lastRunTime.reset();
    settings.hasStoredStart = false;
    activityLog.log("Every value adjustment, build value and run setting was removed\n");
}
