// The books behind the valued period. A transaction entered, changed or deleted after
// the last run but dated on or before "LastUpToDate" leaves the FIFO values from its
// date on stale: opening the file looks for such transactions and says so. Rewind takes
// the file back to the end of the day before a date (or to before the first run), so
// that the next run values those days again from a clean slate.
//
// "LastRunTime" holds the moment the last run (or rewind) finished writing, so that its
// own postings, build values and deletions stand before it and only the user's changes
// come after. The dates of deleted transactions come from a record, kept in the data
// folder, of the transactions the runs on this computer read: QuickBooks remembers a
// deleted transaction's number and times but not its date.
#include <algorithm>
#include <cinttypes>
#include <filesystem>
#include <set>
#include <system_error>
#include <vector>

#include "costrundoc.h"
#include "qbexception.h"
#include "qbutils.h"

namespace {

struct CValuedKind {
    const char* type;  // the TxnDelType and the base of the query's name
    const char* name;  // as QuickBooks' user reads it
};

// The transactions the valuation reads.
constexpr CValuedKind kValuedKinds[] = {
    {"Bill", "Bill"},
    {"ItemReceipt", "Item Receipt"},
    {"Check", "Check"},
    {"CreditCardCharge", "Credit Card Charge"},
    {"VendorCredit", "Vendor Credit"},
    {"CreditCardCredit", "Credit Card Credit"},
    {"Invoice", "Invoice"},
    {"SalesReceipt", "Sales Receipt"},
    {"CreditMemo", "Credit Memo"},
    {"InventoryAdjustment", "Inventory Adjustment"},
    {"BuildAssembly", "Build Assembly"},
};

// How many changes the warning names; the others are counted.
constexpr std::size_t kNamedChanges = 5;

const char* kindName(const std::string& type) {
    for (const CValuedKind& kind : kValuedKinds) {
        if (type == kind.type) return kind.name;
    }
    return type.c_str();
}

// Builds are read only where the edition has assemblies.
bool readsKindOf(bool assemblies, const CValuedKind& kind) {
    return assemblies || std::string(kind.type) != "BuildAssembly";
}

std::unique_ptr<CQbFieldList> dateFrom(const char* element, const std::string& text) {
    auto range = std::make_unique<CQbFieldList>();
    range->addText(element, text);
    return range;
}

}  // namespace

// --- the record of transactions read ---

namespace {

// The record's first line: the "LastRunTime" of the run that wrote it.
constexpr const char* kStampTag = "#LastRunTime";

std::vector<std::string> tabFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', from)) {
        fields.push_back(line.substr(from, tab - from));
        from = tab + 1;
    }
    fields.push_back(line.substr(from));
    return fields;
}

std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

}  // namespace

std::string CCostrunDoc::seenRecordPath() const {
    if (!company || !settings.lastExecTime) return {};
    // The first run's time stamp and the company's name tell one file's valuation
    // history from another's, wherever the file lies.
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : company->getValue("CompanyName") + "|" + zoneDateTimeText(settings.lastExecTime)) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char name[48];
    std::snprintf(name, sizeof name, "transactions-%016" PRIx64 ".tsv", hash);
    return joinPath(files.dataFolder, name);
}

CCostrunDoc::CSeenTxn& CCostrunDoc::setSeen(const std::string& id, const std::string& date) {
    const auto [seen, added] = runRecord.seenTxns.try_emplace(id);
    if (!added && seen->second.date != date) {
        std::vector<const std::string*>& ids = runRecord.seenByDate[seen->second.date];
        ids.erase(std::find(ids.begin(), ids.end(), &seen->first));
    }
    if (added || seen->second.date != date) runRecord.seenByDate[date].push_back(&seen->first);
    seen->second.date = date;
    return seen->second;
}

void CCostrunDoc::forgetSeen(std::map<std::string, CSeenTxn>::iterator seen) {
    std::vector<const std::string*>& ids = runRecord.seenByDate[seen->second.date];
    ids.erase(std::find(ids.begin(), ids.end(), &seen->first));
    runRecord.seenTxns.erase(seen);
}

void CCostrunDoc::clearSeen() {
    runRecord.seenTxns.clear();
    runRecord.seenByDate.clear();
}

void CCostrunDoc::loadSeenRecord() {
    clearSeen();
    runRecord.seenRecordStamp.clear();
    const std::string path = seenRecordPath();
    if (path.empty()) return;
    std::FILE* file = openFile(path, "rb");
    if (file == nullptr) return;
    std::string line;
    auto take = [this](const std::string& text) {
        // TxnID, type, date, RefNumber and EditSequence, separated by tabs; records
        // written before EditSequences were kept end with the RefNumber.
        const std::vector<std::string> fields = tabFields(text);
        if (fields.size() == 2 && fields[0] == kStampTag) {
            runRecord.seenRecordStamp = fields[1];
            return;
        }
        if (fields.size() < 4) return;
        CSeenTxn& seen = setSeen(fields[0], fields[2]);
        seen.type = fields[1];
        seen.refNumber = fields[3];
        seen.editSequence = fields.size() > 4 ? fields[4] : std::string();
    };
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        take(line);
        line.clear();
    }
    std::fclose(file);
}

void CCostrunDoc::recordSeen(const CQbObjectList* list, const char* type, const std::string& fromDate,
                             const std::string& toDate) {
    std::vector<std::pair<std::string, CSeenTxn>> read;
    for (int i = 0; list && i < list->getSize(); ++i) {
        const CQbObject& txn = *list->getAt(i);
        read.push_back({txn.getValue("TxnID"),
                        {type, txn.getValue("TxnDate"), txn.getValue("RefNumber"), txn.getValue("EditSequence")}});
    }
    recordSeen(read, type, fromDate, toDate);
}

void CCostrunDoc::recordSeen(const std::vector<std::pair<std::string, CSeenTxn>>& txns, const char* type,
                             const std::string& fromDate, const std::string& toDate) {
    std::set<std::string> read;
    for (const auto& [id, txn] : txns) {
        if (id.empty()) continue;
        read.insert(id);
        CSeenTxn& seen = setSeen(id, txn.date);
        seen.type = type;
        seen.refNumber = oneLine(txn.refNumber);
        seen.editSequence = oneLine(txn.editSequence);
    }
    // What the list should hold and does not was deleted (or moved out of the range,
    // where its next reading finds it again): the record no longer holds it as it was.
    std::vector<std::map<std::string, CSeenTxn>::iterator> gone;
    const auto first = fromDate.empty() ? runRecord.seenByDate.begin() : runRecord.seenByDate.lower_bound(fromDate);
    const auto last = toDate.empty() ? runRecord.seenByDate.end() : runRecord.seenByDate.upper_bound(toDate);
    for (auto date = first; date != last; ++date) {
        for (const std::string* id : date->second) {
            const auto seen = runRecord.seenTxns.find(*id);
            if (seen->second.type == type && read.count(*id) == 0) gone.push_back(seen);
        }
    }
    for (const auto& seen : gone) forgetSeen(seen);
}

void CCostrunDoc::saveSeenRecord(bool stamped) {
    const std::string path = seenRecordPath();
    if (path.empty()) return;
    // Written beside and then moved over the old record, so that a run stopped while
    // writing leaves the old record whole.
    const std::string partial = path + ".new";
    std::FILE* file = openFile(partial, "wb");
    if (file == nullptr) return;
    bool written = true;
    if (stamped && settings.lastRunTime) {
        written = std::fprintf(file, "%s\t%s\n", kStampTag, zoneDateTimeText(settings.lastRunTime).c_str()) > 0;
    }
    for (const auto& [id, seen] : runRecord.seenTxns) {
        written = written && std::fprintf(file, "%s\t%s\t%s\t%s\t%s\n", id.c_str(), seen.type.c_str(),
                                          seen.date.c_str(), seen.refNumber.c_str(),
                                          seen.editSequence.c_str()) > 0;
    }
    written = std::fclose(file) == 0 && written;
    std::error_code error;
    if (written) std::filesystem::rename(pathFromUtf8(partial), pathFromUtf8(path), error);
    if (!written || error) removeFile(partial);
}

// --- changes behind the valued period ---

namespace {

// How far before "LastRunTime" the check looks when it goes by content: modification
// times count whole seconds, and come from the clock of the computer that saved the
// change, which may run behind the one Lotwise ran on.
constexpr long kContentMarginSeconds = 24L * 60 * 60;

// How long QuickBooks lists a deleted transaction (TxnDeletedQueryRq).
constexpr int kDeletionsListedDays = 90;

}  // namespace

bool CCostrunDoc::changedSinceRecord(const CQbObject& txn, const std::optional<CDateTime>& after) const {
    const std::optional<CDateTime> modified = txn.getDateTime("TimeModified");
    const bool modifiedAfter = !after || (modified && !(*modified < *after));
    const auto seen = runRecord.seenTxns.find(txn.getValue("TxnID"));
    if (seen == runRecord.seenTxns.end()) {
        // The runs read every transaction from the start date on: one dated so that the
        // record lacks is new. Before the start date the record cannot tell.
        const std::optional<CDateTime> date = txn.getDate("TxnDate");
        return (date && settings.startDate && !(*date < startOfDay(*settings.startDate))) || modifiedAfter;
    }
    // A record written before EditSequences were kept tells only by time.
    if (seen->second.editSequence.empty()) return modifiedAfter;
    return seen->second.editSequence != txn.getValue("EditSequence") || seen->second.date != txn.getValue("TxnDate");
}

bool CCostrunDoc::checkChangesBehind() {
    runRecord.changesBehind.clear();
    runRecord.changesBehindError.clear();
    runRecord.deletionHorizon.reset();
    if (!session || !settings.startDate || !settings.lastUpToDate || !settings.lastRunTime) return true;
    loadSeenRecord();
    // Modification times count whole seconds: the run's own last writes may share the
    // second of "LastRunTime", so by time the user's changes are those of the seconds
    // after it. By content, the check looks back a margin and takes only what differs
    // from what the last run read; that needs the record the last run wrote.
    const CDateTime after = settings.lastRunTime->addSeconds(1);
    const std::optional<CDateTime> stamp = readDateTimeText(runRecord.seenRecordStamp);
    const bool byContent = stamp && stamp->seconds() == settings.lastRunTime->seconds();
    const CDateTime from = byContent ? settings.lastRunTime->addSeconds(-kContentMarginSeconds) : after;
    const std::string since = zoneDateTimeText(from);
    const std::optional<CDateTime> afterRun = byContent ? std::optional<CDateTime>(after) : std::nullopt;
    const CDateTime now = CDateTime::now();
    const CDateTime listedFrom = now.addSeconds(-static_cast<long>(kDeletionsListedDays) * 24 * 60 * 60);
    if (*settings.lastRunTime < listedFrom) runRecord.deletionHorizon = listedFrom;
    try {
        for (const CValuedKind& kind : kValuedKinds) {
            if (!readsKindOf(settings.assemblies, kind)) continue;
            CQbFieldList filter;
            filter.addAggregate("ModifiedDateRangeFilter", dateFrom("FromModifiedDate", since));
            for (const char* element : {"TxnID", "TimeModified", "EditSequence", "TxnDate", "RefNumber", "Memo"}) {
                filter.addText("IncludeRetElement", element);
            }
            const std::string type = kind.type;
            std::unique_ptr<CQbObjectList> changed =
                session->query(queryRqName(type), retName(type), &filter, true);
            for (int i = 0; changed && i < changed->getSize(); ++i) {
                const CQbObject& txn = *changed->getAt(i);
                std::optional<CDateTime> date = txn.getDate("TxnDate");
                // A transaction moved to a later date left its old date stale too.
                const auto seen = runRecord.seenTxns.find(txn.getValue("TxnID"));
                if (seen != runRecord.seenTxns.end()) {
                    const std::optional<CDateTime> before = readDateText(seen->second.date);
                    if (before && (!date || *before < *date)) date = before;
                }
                if (!date || *date > *settings.lastUpToDate) continue;
                if (type == "InventoryAdjustment" && txn.getValue("Memo") == kValueAdjustMemo) continue;
                if (byContent && !changedSinceRecord(txn, afterRun)) continue;
                runRecord.changesBehind.push_back({type, txn.getValue("RefNumber"), date, false});
            }
        }

        CQbFieldList deletedFilter;
        for (const CValuedKind& kind : kValuedKinds) {
            if (readsKindOf(settings.assemblies, kind)) deletedFilter.addText("TxnDelType", kind.type);
        }
        deletedFilter.addAggregate("DeletedDateRangeFilter", dateFrom("FromDeletedDate", since));
        std::unique_ptr<CQbObjectList> deleted =
            session->query("TxnDeletedQueryRq", "TxnDeletedRet", &deletedFilter, false);
        for (int i = 0; deleted && i < deleted->getSize(); ++i) {
            const CQbObject& txn = *deleted->getAt(i);
            const std::string type = txn.getValue("TxnDelType");
            const auto seen = runRecord.seenTxns.find(txn.getValue("TxnID"));
            // By content, a deleted transaction the record holds is one the last run
            // read; one it does not hold goes by time, as every deletion does otherwise.
            if (!byContent || seen == runRecord.seenTxns.end()) {
                // Entered after the last run and deleted again: no run read it.
                const std::optional<CDateTime> created = txn.getDateTime("TimeCreated");
                if (created && !(*created < after)) continue;
                const std::optional<CDateTime> removed = txn.getDateTime("TimeDeleted");
                if (removed && *removed < after) continue;
            }
            std::optional<CDateTime> date;
            if (seen != runRecord.seenTxns.end()) {
                date = readDateText(seen->second.date);
                if (date && *date > *settings.lastUpToDate) continue;
            } else if (type == "InventoryAdjustment") {
                // The system's own value adjustments are never in the record, and are
                // deleted when a day is redone: an unknown adjustment is taken for one.
                continue;
            }
            runRecord.changesBehind.push_back({type, txn.getValue("RefNumber"), date, true});
        }
        logQueryWarnings();
    } catch (const CQbException& e) {
        runRecord.changesBehind.clear();
        runRecord.changesBehindError = e.getMessage();
        return false;
    }
    // Earliest first; those whose date is not known (deleted ones) lead, as they may
    // reach back to the start.
    std::stable_sort(runRecord.changesBehind.begin(), runRecord.changesBehind.end(),
                     [](const CBookChange& a, const CBookChange& b) {
                         if (!a.date || !b.date) return !a.date && b.date;
                         return *a.date < *b.date;
                     });
    return true;
}

std::optional<CDateTime> CCostrunDoc::earliestChangeBehind() const {
    if (runRecord.changesBehind.empty()) return std::nullopt;
    // A deleted transaction of unknown date may have been dated the start date itself.
    const CBookChange& first = runRecord.changesBehind.front();
    return first.date ? startOfDay(*first.date) : settings.startDate;
}

std::string CCostrunDoc::changesBehindText() const {
    if (!runRecord.changesBehindError.empty()) {
        return "Lotwise could not check whether transactions dated on or before the Up To Date "
               "were changed since the last run. QuickBooks answered : " +
               runRecord.changesBehindError;
    }
    if (!settings.lastUpToDate) return {};
    std::string horizon;
    if (runRecord.deletionHorizon && settings.lastRunTime) {
        horizon = "The last run was on " + settings.lastRunTime->userDateText() +
                  ", and QuickBooks lists deleted transactions for " + std::to_string(kDeletionsListedDays) +
                  " days only: deletions before " + runRecord.deletionHorizon->userDateText() +
                  " could not be checked. If a transaction dated on or before " +
                  settings.lastUpToDate->userDateText() +
                  " may have been deleted since the last run, use Rewind to the last date you trust.";
    }
    const std::optional<CDateTime> earliest = earliestChangeBehind();
    if (!earliest) return horizon;
    const std::size_t count = runRecord.changesBehind.size();
    std::string text = "FIFO values from " + earliest->userDateText() + " on may be stale: " +
                       std::to_string(count) + (count == 1 ? " transaction" : " transactions") +
                       " dated on or before " + settings.lastUpToDate->userDateText() +
                       (count == 1 ? " was" : " were") +
                       " entered, changed or deleted since the last run. Use Rewind to value "
                       "them again.";
    for (std::size_t i = 0; i < count && i < kNamedChanges; ++i) {
        const CBookChange& change = runRecord.changesBehind[i];
        text += std::string("\n  ") + kindName(change.type);
        if (!change.refNumber.empty()) text += " " + change.refNumber;
        text += ", " + (change.date ? change.date->userDateText() : std::string("date unknown"));
        if (change.deleted) text += ", deleted";
    }
    if (count > kNamedChanges) text += "\n  and " + std::to_string(count - kNamedChanges) + " more";
    if (!horizon.empty()) text += "\n\n" + horizon;
    return text;
}

bool CCostrunDoc::saveLastRunTime(const CDateTime& started) {
    if (!session || !settings.startDate) return false;
    std::optional<CDateTime> now = CDateTime::now();
    try {
        // The builds whose value this run wrote carry QuickBooks' modification time,
        // which may run ahead of this computer's clock: the stamp is the later of both.
        CQbFieldList filter;
        filter.addAggregate("ModifiedDateRangeFilter", dateFrom("FromModifiedDate", zoneDateTimeText(started)));
        for (const char* element : {"TxnID", "TimeModified", "EditSequence"}) {
            filter.addText("IncludeRetElement", element);
        }
        std::unique_ptr<CQbObjectList> written =
            settings.assemblies ? session->queryBuildAssembly(&filter) : nullptr;
        for (int i = 0; written && i < written->getSize(); ++i) {
            const CQbObject& build = *written->getAt(i);
            const std::optional<CDateTime> modified = build.getDateTime("TimeModified");
            if (modified && *modified > *now) now = modified;
            // The system's own write is no change: the record takes the EditSequence
            // QuickBooks gave it.
            const auto seen = runRecord.seenTxns.find(build.getValue("TxnID"));
            if (seen != runRecord.seenTxns.end() && runRecord.ownBuildWrites.count(seen->first) != 0) {
                seen->second.editSequence = build.getValue("EditSequence");
            }
        }
        try {
            storeCompanyField("LastRunTime", zoneDateTimeText(now), settings.lastRunTime == std::nullopt);
        } catch (const CQbException&) {
            // A file first valued before the field existed refuses both writes: define
            // it, then store it. A lost answer is no refusal, and stops here.
            if (session->lastExchangeFailed()) throw;
            session->dataExtDefAdd(kPrivateOwnerId, "LastRunTime", "STR255TYPE", "Company");
            storeCompanyField("LastRunTime", zoneDateTimeText(now), true);
        }
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return false;
    }
    settings.lastRunTime = now;
    return true;
}

// --- rewind ---

std::optional<CDateTime> CCostrunDoc::rewindFrom(const CDateTime& date) const {
    if (!settings.startDate) return std::nullopt;
    const CDateTime from = startOfDay(date);
    return from < *settings.startDate ? *settings.startDate : from;
}

std::vector<std::string> CCostrunDoc::ownPostingsFrom(const CDateTime& from) {
    CQbFieldList filter;
    filter.addAggregate("TxnDateRangeFilter", dateFrom("FromTxnDate", dateText(from)));
    for (const char* element : {"TxnID", "Memo"}) filter.addText("IncludeRetElement", element);
    std::unique_ptr<CQbObjectList> adjustments = session->queryInventoryAdjustment(&filter);
    std::vector<std::string> own;
    for (int i = 0; adjustments && i < adjustments->getSize(); ++i) {
        if (adjustments->getAt(i)->getValue("Memo") == kValueAdjustMemo) {
            own.push_back(adjustments->getAt(i)->getValue("TxnID"));
        }
    }
    return own;
}

int CCostrunDoc::countRewindPostings(const CDateTime& date) {
    errorText.clear();
    const std::optional<CDateTime> from = rewindFrom(date);
    if (!session || !from) return -1;
    try {
        return static_cast<int>(ownPostingsFrom(*from).size());
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return -1;
    }
}

bool CCostrunDoc::rewindTo(const CDateTime& date) {
    errorText.clear();
    runRecord.rewoundPostings = 0;
    if (!session) {
        errorText = "No QuickBooks file is opened.";
        return false;
    }
    const std::optional<CDateTime> from = rewindFrom(date);
    if (!from) {
        errorText = "FIFO valuation has never been performed on this file: there is nothing to rewind.";
        return false;
    }
    errorText = closingDateRefusal(*from, true);
    if (!errorText.empty()) return false;
    const bool toStart = !(*from > *settings.startDate);
    // Only valued days can be taken back. The day after the last valued one is allowed:
    // that rewind moves nothing back but removes what a cut-off rewind or run left.
    const CDateTime valuedTo = settings.lastUpToDate ? *settings.lastUpToDate : endOfDay(previousDay(*settings.startDate));
    const CDateTime latest = startOfDay(nextDay(valuedTo));
    if (!toStart && *from > latest) {
        errorText = "The file is valued up to " + valuedTo.userDateText() +
                    " only: choose a date on or before " + latest.userDateText() + " to rewind.";
        return false;
    }
    openActivityLog();
    logActivity("Rewind to %s\n", from->userDateText().c_str());
    const CDateTime started = CDateTime::now();
    loadSeenRecord();
    runRecord.ownBuildWrites.clear();
    try {
        // The new end of the valued period is committed first: whatever the rewind
        // leaves undone if it is stopped now lies after it, where the next run or
        // rewind removes it as the leftovers of an interrupted run.
        const CDateTime newUpTo = endOfDay(previousDay(*from));
        storeCompanyField("LastUpToDate", zoneDateTimeText(newUpTo), false);
        settings.lastUpToDate = toStart ? std::nullopt : std::optional<CDateTime>(newUpTo);

        const std::vector<std::string> own = ownPostingsFrom(*from);
        for (const std::string& txnId : own) {
            progress("Deleting value adjustment " + std::to_string(runRecord.rewoundPostings + 1) + " of " +
                     std::to_string(own.size()) + "...");
            session->txnDel(txnId, "InventoryAdjustment");
            logActivity("Removed value adjustment %s\n", txnId.c_str());
            ++runRecord.rewoundPostings;
        }

        CQbFieldList buildFilter;
        buildFilter.addAggregate("TxnDateRangeFilter", dateFrom("FromTxnDate", dateText(*from)));
        buildFilter.addText("OwnerID", kPrivateOwnerId);
        std::unique_ptr<CQbObjectList> buildsFrom;
        if (settings.assemblies) {
            progress("Clearing the value of builds...");
            buildsFrom = session->queryBuildAssembly(&buildFilter);
        }
        const std::string buildType = "BuildAssembly";
        for (int i = 0; buildsFrom && i < buildsFrom->getSize(); ++i) {
            const CQbObject& build = *buildsFrom->getAt(i);
            if (build.findPrivateDataExt("BuildValue") == nullptr) continue;
            const std::string txnId = build.getValue("TxnID");
            session->dataExtDel(kPrivateOwnerId, "BuildValue", &buildType, &txnId);
            runRecord.ownBuildWrites.insert(txnId);
            logActivity("Cleared the value of build %s\n", txnId.c_str());
        }

        if (toStart) {
            // Every value the system stored goes: the run settings, the start date last
            // so that a rewind stopped before it still finds the file valued. Their
            // definitions stay: QuickBooks never lets a deleted private definition be
            // added again under the same name and owner, so the file could not be
            // valued again; the next first run finds them defined.
            progress("Removing the run settings...");
            std::unique_ptr<CQbObject> current = session->queryCompany();
            for (const char* name : {"LastUpToDate", "LastExecTime", "LastRunTime", "StartDate"}) {
                if (current && current->findPrivateDataExt(name) != nullptr) {
                    session->dataExtDel(kPrivateOwnerId, name, nullptr, nullptr);
                }
            }
            const std::string record = seenRecordPath();
            if (!record.empty()) removeFile(record);
            clearSeen();
            settings.startDate.reset();
            settings.lastExecTime.reset();
            settings.lastRunTime.reset();
            settings.hasStoredStart = false;
            logActivity("Every value adjustment, build value and run setting was removed\n");
        } else {
            const bool stored = saveLastRunTime(started);
            saveSeenRecord(stored);
            if (!stored) throw CQbException(errorText);
        }
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        logActivity("Rewind stopped : %s\n", errorText.c_str());
        return false;
    }
    runRecord.changesBehind.clear();
    runRecord.changesBehindError.clear();
    return true;
}
