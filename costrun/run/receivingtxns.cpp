#include "receivingtxns.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "changesbehind.h"
#include "days.h"
#include "qbutils.h"
#include "queryfilters.h"

namespace {

// The receiving kinds a run reads: the purchases and credits, the inventory
// adjustments, and the builds where the edition has assemblies.
std::vector<const CTxnKind*> receivingKinds(bool assemblies) {
    std::vector<const CTxnKind*> kinds;
    for (const CTxnKind& kind : kTxnKinds) {
        if (kind.purchaseProgress != nullptr || kind.code == kTxnInventoryAdjustment ||
            (assemblies && kind.code == kTxnBuildAssembly))
            kinds.push_back(&kind);
    }
    return kinds;
}

// Logs a list as its kind is logged and takes its records, but those of a TxnID already
// read: QuickBooks turns an item receipt into a bill under the same TxnID ("Enter Bill for
// Received Items"), and a conversion between two queries would answer both; the
// purchase is one, read once as the kind asked for first. Lists of inventory adjustments
// come without the system's own (readInventoryAdjustments, or left out by COwnPostings
// before they are asked for by TxnID).
void takeList(const CTxnKind& kind, std::unique_ptr<CQbObjectList> list, std::unordered_set<std::string>& read,
              std::vector<CReceiptRecord>& taken, CActivityLog& log, const CCostrunUnits& units) {
    if (!list) return;
    for (int i = list->getSize() - 1; i >= 0; --i) {
        const std::string id = list->getAt(i)->getValue("TxnID");
        if (!id.empty() && !read.insert(id).second) list->detach(i);
    }
    if (kind.code == kTxnInventoryAdjustment) {
        log.inventoryAdjustments(list.get());
    } else if (kind.code == kTxnBuildAssembly) {
        log.builds(list.get());
    } else {
        log.receivingTxns(list.get(), kind.name, units);
    }
    for (int i = 0; i < list->getSize(); ++i) taken.push_back(CReceiptRecords::take(kind.code, *list->getAt(i)));
}

// The purchases, credits and inventory adjustments dated from `from` to `to`, one list
// after the other.
void readDated(CQbRequestBase& session, const CDateTime& from, const CDateTime& to, std::unordered_set<std::string>& read,
               std::vector<CReceiptRecord>& taken, CActivityLog& log, const CCostrunUnits& units,
               const std::function<void(const std::string&)>& progress, const COwnPostings& own) {
    CQbFieldList receiving;
    addDateRange(receiving, from, to);
    receiving.addText("IncludeLineItems", "true");
    for (const CTxnKind* kind : receivingKinds(false)) {
        if (kind->code == kTxnInventoryAdjustment) {
            takeList(*kind, readInventoryAdjustments(session, from, to, progress, own), read, taken, log, units);
            continue;
        }
        progress(kind->purchaseProgress);
        takeList(*kind, session.query(queryRqName(kind->object), retName(kind->object), &receiving, true), read, taken,
                 log, units);
    }
}

// How a query asks for whole records of the kind: lines, and a build's components and
// the system's custom fields.
void askWhole(CQbFieldList& filter, const CTxnKind& kind) {
    if (kind.code == kTxnBuildAssembly) {
        filter.addText("IncludeComponentLineItems", "true");
        filter.addText("OwnerID", kPrivateOwnerId);
    } else {
        filter.addText("IncludeLineItems", "true");
    }
}

// The history the last run kept, brought up to date: what QuickBooks deleted since it
// was read goes, what it lists as modified since (a margin before, for clocks that run
// behind) and differs from its record (another type, EditSequence or date) is read again
// whole, and the days after the kept ones are read as a full reading reads them.
//
// The units an inventory adjustment counts in are valued by QuickBooks at its average
// cost of the date, which moves, without a new EditSequence, when anything dated before
// changes: the value adjustments of the run that kept the history, a rewind, a purchase
// changed since, one of the system's postings the user edited since. The kept adjustments
// that bring units in, dated from the earliest such change on, are read again too.
void readSinceKept(CQbRequestBase& session, const CDateTime& from, const CDateTime& to, bool assemblies,
                   CPurchaseHistory& kept, const COwnPostings& own, std::vector<CReceiptRecord>& taken,
                   CActivityLog& log, const CCostrunUnits& units,
                   const std::function<void(const std::string&)>& progress) {
    const std::string since = zoneDateTimeText(kept.readAt().addSeconds(-CChangesBehind::kContentMarginSeconds));
    const std::vector<const CTxnKind*> kinds = receivingKinds(assemblies);
    std::vector<CReceiptRecord>& records = kept.records();
    std::unordered_map<std::string, std::size_t> position;
    for (std::size_t i = 0; i < records.size(); ++i) position.emplace(records[i].txnId, i);
    std::vector<bool> dropped(records.size(), false);
    std::optional<CDateTime> moved = kept.valuesMovedFrom();
    auto movedOn = [&moved](const std::optional<CDateTime>& date) {
        if (date && (!moved || *date < *moved)) moved = startOfDay(*date);
    };
    // Drops the kept record of the TxnID; false when there is none.
    auto drop = [&](const std::string& id) {
        const auto found = position.find(id);
        if (found == position.end() || dropped[found->second]) return false;
        dropped[found->second] = true;
        movedOn(records[found->second].txnDate);
        return true;
    };

    progress("Retrieving the purchases changed since the last run...");
    CQbFieldList deletedFilter;
    for (const CTxnKind* kind : kinds) deletedFilter.addText("TxnDelType", kind->object);
    deletedFilter.addAggregate("DeletedDateRangeFilter", filterFrom("FromDeletedDate", since));
    int deleted = 0;
    const std::unique_ptr<CQbObjectList> gone = session.query("TxnDeletedQueryRq", "TxnDeletedRet", &deletedFilter, false);
    for (int i = 0; gone && i < gone->getSize(); ++i) {
        const std::string id = gone->getAt(i)->getValue("TxnID");
        if (drop(id)) {
            ++deleted;
        } else if (const CSeenRecord::CSeenTxn* txn = own.record().find(id)) {
            movedOn(readDateText(txn->date));
        } else {
            // Of a date nobody knows: it may lie before every kept adjustment.
            movedOn(from);
        }
    }

    CQbFieldList modified;
    modified.addAggregate("ModifiedDateRangeFilter", filterFrom("FromModifiedDate", since));
    for (const char* element : COwnPostings::retElements()) modified.addText("IncludeRetElement", element);
    std::vector<CQbRequestBase::CQuery> queries;
    for (const CTxnKind* kind : kinds) queries.push_back({queryRqName(kind->object), retName(kind->object), &modified, true});
    const std::vector<std::unique_ptr<CQbObjectList>> changed = session.queryAll(queries);

    const CDateTime lastKept = endOfDay(kept.upTo());
    std::vector<std::vector<std::string>> wanted(kinds.size());
    std::unordered_set<std::string> listed;
    for (std::size_t k = 0; k < kinds.size() && k < changed.size(); ++k) {
        const CTxnKind& kind = *kinds[k];
        for (int i = 0; changed[k] && i < changed[k]->getSize(); ++i) {
            const CQbObject& txn = *changed[k]->getAt(i);
            const std::string id = txn.getValue("TxnID");
            if (id.empty() || !listed.insert(id).second) continue;
            if (kind.code == kTxnInventoryAdjustment && own.isOwn(txn)) {
                // The system's posting moves nothing of its own; edited by the user, it
                // moved QuickBooks' average costs from its date (old or new) on.
                if (own.edited(txn)) movedOn(own.editedFrom(txn));
                continue;
            }
            const auto found = position.find(id);
            if (found != position.end()) {
                const CReceiptRecord& record = records[found->second];
                if (record.txnTypeCode == kind.code && !record.editSequence.empty() &&
                    record.editSequence == txn.getValue("EditSequence") && record.txnDateText == txn.getValue("TxnDate"))
                    continue;
                drop(id);
            }
            // Every build is read; other kinds from the start date on, those after the
            // kept days with the new days.
            const std::optional<CDateTime> date = txn.getDate("TxnDate");
            movedOn(date);
            if (kind.code == kTxnBuildAssembly ||
                (date && !(*date < startOfDay(from)) && !(*date > lastKept) && !(*date > to)))
                wanted[k].push_back(id);
        }
    }
    int readAgain = 0;
    for (const std::vector<std::string>& ids : wanted) readAgain += static_cast<int>(ids.size());
    int revalued = 0;
    const std::size_t adjustments = static_cast<std::size_t>(
        std::find_if(kinds.begin(), kinds.end(),
                     [](const CTxnKind* kind) { return kind->code == kTxnInventoryAdjustment; }) -
        kinds.begin());
    if (moved && adjustments < kinds.size()) {
        for (std::size_t i = 0; i < records.size(); ++i) {
            const CReceiptRecord& record = records[i];
            if (dropped[i] || record.txnTypeCode != kTxnInventoryAdjustment || record.lines.empty() ||
                !record.txnDate || *record.txnDate < *moved || *record.txnDate > to)
                continue;
            dropped[i] = true;
            wanted[adjustments].push_back(record.txnId);
            ++revalued;
        }
    }

    // Whole records are asked for by TxnID, in lists of a bounded size, in one message set.
    constexpr std::size_t kIdsPerQuery = 100;
    std::vector<std::unique_ptr<CQbFieldList>> fetchFilters;
    std::vector<CQbRequestBase::CQuery> fetches;
    std::vector<const CTxnKind*> fetchKinds;
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        for (std::size_t first = 0; first < wanted[k].size(); first += kIdsPerQuery) {
            auto filter = std::make_unique<CQbFieldList>();
            for (std::size_t i = first; i < wanted[k].size() && i < first + kIdsPerQuery; ++i)
                filter->addText("TxnID", wanted[k][i]);
            askWhole(*filter, *kinds[k]);
            fetches.push_back({queryRqName(kinds[k]->object), retName(kinds[k]->object), filter.get(), false});
            fetchKinds.push_back(kinds[k]);
            fetchFilters.push_back(std::move(filter));
        }
    }
    std::unordered_set<std::string> read;
    if (!fetches.empty()) {
        std::vector<std::unique_ptr<CQbObjectList>> lists = session.queryAll(fetches);
        for (std::size_t i = 0; i < lists.size(); ++i) takeList(*fetchKinds[i], std::move(lists[i]), read, taken, log, units);
    }
    const std::size_t changedTaken = taken.size();
    if (to > lastKept) readDated(session, nextDay(kept.upTo()), to, read, taken, log, units, progress, own);
    const int newDays = static_cast<int>(taken.size() - changedTaken);

    // The kept records that stand: not deleted, not read again, and, but for builds,
    // dated within the run's period.
    int stood = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        CReceiptRecord& record = records[i];
        if (dropped[i] || read.count(record.txnId) != 0) continue;
        if (record.txnTypeCode != kTxnBuildAssembly && record.txnDate && *record.txnDate > to) continue;
        taken.push_back(std::move(record));
        ++stood;
    }
    records.clear();
    log.log("Purchase history kept from %s: %d transactions kept; read again: %d changed since or valued by the "
            "last run, %d inventory adjustments QuickBooks values anew; %d deleted since; %d read for the new days\n",
            kept.readAt().format("%m/%d/%Y %H:%M:%S").c_str(), stood, readAgain, revalued, deleted, newDays);
}

}  // namespace

void readReceivingTxns(CQbRequestBase& session, const CDateTime& from, const CDateTime& to, bool assemblies,
                       CReceiptRecords& records, CActivityLog& log, const CCostrunUnits& units,
                       const std::function<void(const std::string&)>& progress, CPurchaseHistory* kept,
                       const COwnPostings& own) {
    std::vector<CReceiptRecord> taken;
    if (kept != nullptr && kept->held()) {
        readSinceKept(session, from, to, assemblies, *kept, own, taken, log, units, progress);
    } else {
        std::unordered_set<std::string> read;
        readDated(session, from, to, read, taken, log, units, progress, own);
        if (assemblies) {
            CQbFieldList allBuilds;
            askWhole(allBuilds, *txnKind(kTxnBuildAssembly));
            takeList(*txnKind(kTxnBuildAssembly), session.queryBuildAssembly(&allBuilds), read, taken, log, units);
        } else {
            const CQbObjectList none;
            log.builds(&none);
        }
    }
    records.addTaken(std::move(taken));
}

std::unique_ptr<CQbObjectList> readInventoryAdjustments(CQbRequestBase& session, const CDateTime& from,
                                                        const CDateTime& to,
                                                        const std::function<void(const std::string&)>& progress,
                                                        const COwnPostings& own) {
    CQbFieldList filter;
    addDateRange(filter, from, to);
    filter.addText("IncludeLineItems", "true");
    progress("Retrieving the list of inventory adjustments...");
    std::unique_ptr<CQbObjectList> adjustments = session.queryInventoryAdjustment(&filter);
    if (!adjustments) adjustments = std::make_unique<CQbObjectList>();
    for (int i = adjustments->getSize() - 1; i >= 0; --i) {
        if (own.isOwn(*adjustments->getAt(i))) adjustments->detach(i);
    }
    return adjustments;
}

void recordSeen(const CReceiptRecords& records, const CTxnKind& kind, CSeenRecord& seen, const std::string& from,
                const std::string& to) {
    std::vector<std::pair<std::string, CSeenRecord::CSeenTxn>> read;
    for (const CReceiptRecord& record : records) {
        if (record.txnTypeCode != kind.code) continue;
        read.push_back({record.txnId, {kind.object, record.txnDateText, record.refNumber, record.editSequence}});
    }
    seen.record(read, kind.object, from, to);
}

