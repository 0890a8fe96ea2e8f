#include "changesbehind.h"

#include <algorithm>

#include "costruntxnlist.h"
#include "days.h"
#include "qbexception.h"
#include "qbutils.h"
#include "queryfilters.h"
#include "txnkinds.h"
#include "valueadjust.h"

namespace {

// How many changes the warning names; the others are counted.
constexpr std::size_t kNamedChanges = 5;

// Builds are read only where the edition has assemblies.
bool readsKind(bool assemblies, const CTxnKind& kind) { return assemblies || kind.code != kTxnBuildAssembly; }

std::string kindName(const std::string& type) {
    const CTxnKind* kind = txnKindOf(type);
    return kind ? kind->name : type;
}

// "Widget", "Widget and Bolt", "Widget, Bolt and Nut", "Widget, Bolt, Nut and 2 more".
std::string itemsText(const std::vector<std::string>& items) {
    constexpr std::size_t kNamed = 3;
    if (items.empty()) return "its items";
    const std::size_t named = items.size() > kNamed ? kNamed : items.size();
    std::string text;
    for (std::size_t i = 0; i < named; ++i) {
        if (i > 0) text += i + 1 == named && items.size() == named ? " and " : ", ";
        text += items[i];
    }
    if (items.size() > named) text += " and " + std::to_string(items.size() - named) + " more";
    return text;
}

}  // namespace

void CChangesBehind::clear() {
    found.clear();
    movedItems.clear();
    error.clear();
}

bool CChangesBehind::checkBalance(CQbRequestBase& session, const CRunSettings& settings,
                                  const std::string& balancePath) {
    movedItems.clear();
    if (!error.empty()) return false;
    CClosingBalance left;
    if (!left.load(balancePath) || !left.keptBy(settings.lastRunTime, settings.lastUpToDate)) return true;
    CClosingBalance now;
    try {
        now.readAgainst(left, session, settings.assemblies, *settings.lastUpToDate);
    } catch (const CQbException& e) {
        found.clear();
        error = e.getMessage();
        return false;
    }
    movedItems = left.movedIn(now);
    return true;
}

bool CChangesBehind::changedSinceRecord(const CQbObject& txn, const CSeenRecord& record, const CRunSettings& settings,
                                        const std::optional<CDateTime>& after) {
    const std::optional<CDateTime> modified = txn.getDateTime("TimeModified");
    const bool modifiedAfter = !after || (modified && !(*modified < *after));
    const CSeenRecord::CSeenTxn* seen = record.find(txn.getValue("TxnID"));
    if (seen == nullptr) {
        // The runs read every transaction from the start date on: one dated so that the
        // record lacks is new. Before the start date the record cannot tell.
        const std::optional<CDateTime> date = txn.getDate("TxnDate");
        return (date && settings.startDate && !(*date < startOfDay(*settings.startDate))) || modifiedAfter;
    }
    // A record written before EditSequences were kept tells only by time.
    if (seen->editSequence.empty()) return modifiedAfter;
    return seen->editSequence != txn.getValue("EditSequence") || seen->date != txn.getValue("TxnDate");
}

bool CChangesBehind::check(CQbRequestBase& session, const CRunSettings& settings, const CSeenRecord& record,
                           CActivityLog& log) {
    found.clear();
    error.clear();
    deletionHorizon.reset();
    if (!settings.startDate || !settings.lastUpToDate || !settings.lastRunTime) return true;
    // Modification times count whole seconds: the run's own last writes may share the
    // second of "LastRunTime", so by time the user's changes are those of the seconds
    // after it. By content, the check looks back a margin and takes only what differs
    // from what the last run read; that needs the record the last run wrote.
    const CDateTime after = settings.lastRunTime->addSeconds(1);
    const std::optional<CDateTime> stamp = readDateTimeText(record.stamp());
    const bool byContent = stamp && stamp->seconds() == settings.lastRunTime->seconds();
    const CDateTime from = byContent ? settings.lastRunTime->addSeconds(-kContentMarginSeconds) : after;
    const std::string since = zoneDateTimeText(from);
    const CDateTime listedFrom = CDateTime::now().addSeconds(-static_cast<long>(kDeletionsListedDays) * 24 * 60 * 60);
    if (*settings.lastRunTime < listedFrom) deletionHorizon = listedFrom;
    const COwnPostings own(record, settings.lastRunTime);
    try {
        findModified(session, settings, own, since, byContent ? std::optional<CDateTime>(after) : std::nullopt,
                     byContent);
        findDeleted(session, settings, own, since, after, byContent);
        log.warnings(session.takeWarnings());
    } catch (const CQbException& e) {
        found.clear();
        error = e.getMessage();
        return false;
    }
    // Earliest first; those whose date is not known (deleted ones) lead, as they may
    // reach back to the start.
    std::stable_sort(found.begin(), found.end(), [](const CBookChange& a, const CBookChange& b) {
        if (!a.date || !b.date) return !a.date && b.date;
        return *a.date < *b.date;
    });
    return true;
}

void CChangesBehind::findModified(CQbRequestBase& session, const CRunSettings& settings, const COwnPostings& own,
                                  const std::string& since, const std::optional<CDateTime>& afterRun, bool byContent) {
    const CSeenRecord& record = own.record();
    for (const CTxnKind& kind : kTxnKinds) {
        if (!readsKind(settings.assemblies, kind)) continue;
        CQbFieldList filter;
        filter.addAggregate("ModifiedDateRangeFilter", filterFrom("FromModifiedDate", since));
        // A posting is voided when its memo says so and its value differences are zero.
        const bool lines = kind.code == kTxnInventoryAdjustment;
        if (lines) filter.addText("IncludeLineItems", "true");
        for (const char* element : {"TxnID", "TimeModified", "EditSequence", "TxnDate", "RefNumber"})
            filter.addText("IncludeRetElement", element);
        // A statement charge has no memo.
        if (kind.code != kTxnCharge) filter.addText("IncludeRetElement", "Memo");
        if (lines) filter.addText("IncludeRetElement", "InventoryAdjustmentLineRet");
        const std::string type = kind.object;
        std::unique_ptr<CQbObjectList> changed = session.query(queryRqName(type), retName(type), &filter, true);
        for (int i = 0; changed && i < changed->getSize(); ++i) {
            const CQbObject& txn = *changed->getAt(i);
            std::optional<CDateTime> date = txn.getDate("TxnDate");
            std::string formerType;
            // A transaction moved to a later date left its old date stale too; so did an
            // item receipt that became a bill (QuickBooks keeps its TxnID).
            if (const CSeenRecord::CSeenTxn* seen = record.find(txn.getValue("TxnID"))) {
                const std::optional<CDateTime> before = readDateText(seen->date);
                if (before && (!date || *before < *date)) date = before;
                if (seen->type != type) formerType = seen->type;
            }
            if (!date || *date > *settings.lastUpToDate) continue;
            if (kind.code == kTxnInventoryAdjustment && notePostingModified(txn, own, *date)) continue;
            if (kind.code == kTxnInventoryAdjustment && own.isOwn(txn)) continue;
            if (byContent && !changedSinceRecord(txn, record, settings, afterRun)) continue;
            found.push_back({type, txn.getValue("RefNumber"), date, false, {}, {}, formerType});
        }
    }
}

void CChangesBehind::findDeleted(CQbRequestBase& session, const CRunSettings& settings, const COwnPostings& own,
                                 const std::string& since, const CDateTime& after, bool byContent) {
    const CSeenRecord& record = own.record();
    CQbFieldList filter;
    for (const CTxnKind& kind : kTxnKinds) {
        if (readsKind(settings.assemblies, kind)) filter.addText("TxnDelType", kind.object);
    }
    filter.addAggregate("DeletedDateRangeFilter", filterFrom("FromDeletedDate", since));
    std::unique_ptr<CQbObjectList> deleted = session.query("TxnDeletedQueryRq", "TxnDeletedRet", &filter, false);
    for (int i = 0; deleted && i < deleted->getSize(); ++i) {
        const CQbObject& txn = *deleted->getAt(i);
        const std::string type = txn.getValue("TxnDelType");
        const CSeenRecord::CSeenTxn* seen = record.find(txn.getValue("TxnID"));
        // By content, a deleted transaction the record holds is one the last run read;
        // one it does not hold goes by time, as every deletion does otherwise.
        if (!byContent || seen == nullptr) {
            // Entered after the last run and deleted again: no run read it.
            const std::optional<CDateTime> created = txn.getDateTime("TimeCreated");
            if (created && !(*created < after)) continue;
            const std::optional<CDateTime> removed = txn.getDateTime("TimeDeleted");
            if (removed && *removed < after) continue;
        }
        std::optional<CDateTime> date;
        if (seen != nullptr) {
            date = readDateText(seen->date);
            if (date && *date > *settings.lastUpToDate) continue;
            if (seen->type == CSeenRecord::kPostingType) {
                notePostingDeleted(*seen, date);
                continue;
            }
        } else if (type == "InventoryAdjustment" && own.byMemo()) {
            // Where the record cannot tell the system's postings, those of a day that
            // was not committed, deleted when the day is redone, may be missing from it;
            // a deleted adjustment has no memo to tell: an unknown one is taken for one.
            continue;
        }
        found.push_back({type, txn.getValue("RefNumber"), date, true, {}, {}, {}});
    }
}

bool CChangesBehind::notePostingModified(const CQbObject& txn, const COwnPostings& own, const CDateTime& date) {
    const CSeenRecord::CSeenTxn* posting = own.recorded(txn);
    if (posting == nullptr) return false;
    const char* what = nullptr;
    if (isVoided(txn)) {
        what = "voided";
    } else if (txn.getValue("Memo") != kValueAdjustMemo || own.edited(txn)) {
        what = "edited";
    }
    if (what != nullptr) found.push_back({"InventoryAdjustment", std::string(), date, false, what, posting->items, {}});
    return true;
}

void CChangesBehind::notePostingDeleted(const CSeenRecord::CSeenTxn& posting, const std::optional<CDateTime>& date) {
    found.push_back({"InventoryAdjustment", std::string(), date, true, "deleted", posting.items, {}});
}

std::optional<CDateTime> CChangesBehind::earliest(const CRunSettings& settings) const {
    // What no transaction dates may reach back to the start.
    if (found.empty()) return movedItems.empty() ? std::nullopt : settings.startDate;
    // An item merged away or deleted moved every line it had onto another item, from its
    // opening stock on.
    for (const CClosingBalance::CMoved& item : movedItems) {
        if (item.gone) return settings.startDate;
    }
    // A deleted transaction of unknown date may have been dated the start date itself.
    const CBookChange& first = found.front();
    return first.date ? startOfDay(*first.date) : settings.startDate;
}

std::string CChangesBehind::text(const CRunSettings& settings) const {
    if (!error.empty()) {
        return "Lotwise could not check whether transactions dated on or before the Up To Date "
               "were changed since the last run. QuickBooks answered : " +
               error;
    }
    if (!settings.lastUpToDate) return {};
    std::string horizon;
    if (deletionHorizon && settings.lastRunTime) {
        horizon = "The last run was on " + settings.lastRunTime->userDateText() +
                  ", and QuickBooks lists deleted transactions for " + std::to_string(kDeletionsListedDays) +
                  " days only: deletions before " + deletionHorizon->userDateText() +
                  " could not be checked. If a transaction dated on or before " + settings.lastUpToDate->userDateText() +
                  " may have been deleted since the last run, use Rewind to the last date you trust.";
    }
    const std::optional<CDateTime> first = earliest(settings);
    if (!first) return horizon;
    // The items that moved are named where no transaction dates the change; where one
    // does, the transactions tell what changed and from when.
    if (found.empty()) {
        std::string text = "FIFO values may be stale: QuickBooks' inventory on " +
                           settings.lastUpToDate->userDateText() +
                           " is not what the last run left, and no transaction entered, changed or deleted since "
                           "the last run dates the change. Use Rewind to the start date " +
                           first->userDateText() + ", or to the last date you trust." + movedText(settings);
        if (!horizon.empty()) text += "\n\n" + horizon;
        return text;
    }
    const std::size_t count = found.size();
    std::string text = "FIFO values from " + first->userDateText() + " on may be stale: " + std::to_string(count) +
                       (count == 1 ? " transaction" : " transactions") + " dated on or before " +
                       settings.lastUpToDate->userDateText() + (count == 1 ? " was" : " were") +
                       " entered, changed or deleted since the last run. Use Rewind to value them again.";
    for (std::size_t i = 0; i < count && i < kNamedChanges; ++i) {
        const CBookChange& change = found[i];
        if (!change.postingChange.empty()) {
            text += "\n  the FIFO valuation posted for " + itemsText(change.postingItems) + " on " +
                    (change.date ? change.date->userDateText() : std::string("a date unknown")) + " was " +
                    change.postingChange + " in QuickBooks";
            continue;
        }
        text += "\n  " + kindName(change.type);
        if (!change.refNumber.empty()) text += " " + change.refNumber;
        if (!change.formerType.empty()) text += " (was " + kindName(change.formerType) + ")";
        text += ", " + (change.date ? change.date->userDateText() : std::string("date unknown"));
        if (change.deleted) text += ", deleted";
    }
    if (count > kNamedChanges) text += "\n  and " + std::to_string(count - kNamedChanges) + " more";
    // An item merged away or deleted is named whatever the transactions say: its lines
    // now name another item, from its first transaction on.
    for (const CClosingBalance::CMoved& item : movedItems) {
        if (item.gone) text += "\n  " + item.item + " was merged into another item or deleted in QuickBooks.";
    }
    if (!horizon.empty()) text += "\n\n" + horizon;
    return text;
}

std::string CChangesBehind::movedText(const CRunSettings& settings) const {
    std::string text;
    const std::string day = settings.lastUpToDate ? settings.lastUpToDate->userDateText() : std::string();
    for (std::size_t i = 0; i < movedItems.size() && i < kNamedChanges; ++i) {
        const CClosingBalance::CMoved& item = movedItems[i];
        if (item.gone) {
            text += "\n  " + item.item + " was merged into another item or deleted in QuickBooks.";
            continue;
        }
        text += "\n  " + item.item + ": on " + day + " QuickBooks now carries " + amountText(item.now.quantity) +
                " worth " + amountText(item.now.value) + "; the last run left " + amountText(item.left.quantity) +
                " worth " + amountText(item.left.value) + ".";
    }
    if (movedItems.size() > kNamedChanges)
        text += "\n  and " + std::to_string(movedItems.size() - kNamedChanges) + " more items";
    return text;
}
