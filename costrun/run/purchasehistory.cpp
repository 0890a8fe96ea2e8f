#include "purchasehistory.h"

#include <unordered_map>

#include "changesbehind.h"
#include "qbutils.h"
#include "runstore.h"
#include "txnkinds.h"

namespace {

constexpr const char* kDeleteAll =
    "DELETE FROM purchase_history; DELETE FROM purchase_txn; DELETE FROM purchase_line; "
    "DELETE FROM purchase_value_change";

// What a history says of itself.
struct CHeader {
    std::string company, firstRun, startDate;
    std::optional<CDateTime> upTo, readAt, stamp, movedFrom;
    bool movedFromRead = true;
    long long records = -1, lines = -1;
};

std::optional<bool> readFlag(const std::optional<long long>& value) {
    if (value == 0) return false;
    if (value == 1) return true;
    return std::nullopt;
}

// The history's header; false when the store keeps none.
bool readHeader(CRunStore& store, CHeader& header) {
    CRunStore::CStatement read(store,
                               "SELECT company, first_run, start_date, up_to, read_at, last_run_time, "
                               "values_moved_from, records, lines FROM purchase_history");
    if (!read.step()) return false;
    header.company = read.text(0).value_or(std::string());
    header.firstRun = read.text(1).value_or(std::string());
    header.startDate = read.text(2).value_or(std::string());
    header.upTo = readDateText(read.text(3).value_or(std::string()));
    header.readAt = readDateTimeText(read.text(4).value_or(std::string()));
    header.stamp = readDateTimeText(read.text(5).value_or(std::string()));
    if (!read.isNull(6)) {
        header.movedFrom = readDateText(read.text(6).value_or(std::string()));
        header.movedFromRead = header.movedFrom.has_value();
    }
    header.records = read.whole(7).value_or(-1);
    header.lines = read.whole(8).value_or(-1);
    return true;
}

// The transactions, in the order they were held; false at the first that cannot be read.
bool readRecords(CRunStore& store, std::vector<CReceiptRecord>& records) {
    CRunStore::CStatement read(store,
                               "SELECT txn_id, type_code, txn_number, txn_date, txn_date_text, ref_number, "
                               "edit_sequence, is_pending, exchange_rate, assembly, quantity_to_build, build_value, "
                               "build_value_stored, assembly_id FROM purchase_txn ORDER BY position");
    while (read.step()) {
        CReceiptRecord record;
        const std::optional<std::string> id = read.text(0);
        const std::optional<long long> code = read.whole(1);
        const std::optional<long long> number = read.whole(2);
        const std::optional<long long> date = read.whole(3);
        const std::optional<std::string> dateText = read.text(4);
        const std::optional<std::string> refNumber = read.text(5);
        const std::optional<std::string> editSequence = read.text(6);
        const std::optional<bool> pending = readFlag(read.whole(7));
        const std::optional<double> rate = read.real(8);
        const std::optional<std::string> assembly = read.text(9);
        const std::optional<double> toBuild = read.real(10);
        const std::optional<double> value = read.real(11);
        const std::optional<bool> stored = readFlag(read.whole(12));
        const std::optional<std::string> assemblyId = read.text(13);
        if (!assemblyId || !id || id->empty() || !code || txnKind(static_cast<int>(*code)) == nullptr || !number ||
            (!date && !read.isNull(3)) || !dateText || !refNumber || !editSequence || !pending || !rate || !assembly ||
            !toBuild || (!value && !read.isNull(11)) || !stored)
            return false;
        record.txnId = *id;
        record.txnTypeCode = static_cast<int>(*code);
        record.txnNumber = *number;
        if (date) record.txnDate = CDateTime(*date);
        record.txnDateText = *dateText;
        record.refNumber = *refNumber;
        record.editSequence = *editSequence;
        record.isPending = *pending;
        record.exchangeRate = *rate;
        record.assembly = *assembly;
        record.assemblyId = *assemblyId;
        record.quantityToBuild = *toBuild;
        record.buildValue.value = value;
        record.buildValue.stored = *stored;
        records.push_back(std::move(record));
    }
    return !read.failed();
}

// The receiving lines and value changes of the records, in line order; the number read,
// or -1 when one cannot be read or belongs to no record.
long long readLines(CRunStore& store, std::vector<CReceiptRecord>& records) {
    std::unordered_map<std::string, CReceiptRecord*> byId;
    for (CReceiptRecord& record : records) byId.emplace(record.txnId, &record);
    long long count = 0;
    CRunStore::CStatement lines(store,
                                "SELECT txn_id, item, quantity, amount, unit_name, unit_set_list_id, unit_set_name, "
                                "is_return, item_id, unit_set_kept FROM purchase_line ORDER BY txn_id, line");
    for (; lines.step(); ++count) {
        const auto record = byId.find(lines.text(0).value_or(std::string()));
        const std::optional<std::string> item = lines.text(1);
        const std::optional<double> quantity = lines.real(2);
        const std::optional<double> amount = lines.real(3);
        const std::optional<std::string> unit = lines.text(4);
        const std::optional<std::string> setListId = lines.text(5);
        const std::optional<std::string> setName = lines.text(6);
        const std::optional<bool> isReturn = readFlag(lines.whole(7));
        const std::optional<std::string> itemId = lines.text(8);
        const std::optional<bool> setKept = readFlag(lines.whole(9));
        if (!itemId || !setKept || record == byId.end() || !item || !quantity || !amount || !unit || !setListId || !setName || !isReturn)
            return -1;
        // The items going back to the vendor are those of the return lines, in line order.
        if (*isReturn) record->second->returnedItems.push_back(*item);
        record->second->lines.push_back(
            {*item, *quantity, *amount, {*unit, *setListId, *setName, *setKept}, *isReturn, *itemId});
    }
    CRunStore::CStatement changes(store,
                                  "SELECT txn_id, item, amount, on_units_before, item_id FROM purchase_value_change "
                                  "ORDER BY txn_id, line");
    for (; changes.step(); ++count) {
        const auto record = byId.find(changes.text(0).value_or(std::string()));
        const std::optional<std::string> item = changes.text(1);
        const std::optional<double> amount = changes.real(2);
        const std::optional<bool> before = readFlag(changes.whole(3));
        const std::optional<std::string> itemId = changes.text(4);
        if (record == byId.end() || !item || !amount || !before || !itemId) return -1;
        record->second->valueChanges.push_back({*item, *amount, *before, *itemId});
    }
    return lines.failed() || changes.failed() ? -1 : count;
}

bool writeRecord(CRunStore::CStatement& txn, CRunStore::CStatement& line, CRunStore::CStatement& change,
                 const CReceiptRecord& record, long long position) {
    txn.bind(1, record.txnId).bind(2, position).bind(3, static_cast<long long>(record.txnTypeCode));
    txn.bind(4, record.txnNumber).bind(6, record.txnDateText).bind(7, record.refNumber).bind(8, record.editSequence);
    txn.bind(9, static_cast<long long>(record.isPending)).bind(10, record.exchangeRate).bind(11, record.assembly);
    txn.bind(12, record.quantityToBuild).bind(13, record.buildValue.value);
    txn.bind(14, static_cast<long long>(record.buildValue.stored)).bind(15, record.assemblyId);
    if (record.txnDate) txn.bind(5, static_cast<long long>(record.txnDate->seconds()));
    if (!txn.run()) return false;
    for (std::size_t i = 0; i < record.lines.size(); ++i) {
        const CReceiptLine& kept = record.lines[i];
        line.bind(1, record.txnId).bind(2, static_cast<long long>(i)).bind(3, kept.item).bind(4, kept.quantity);
        line.bind(5, kept.amount).bind(6, kept.unit.name).bind(7, kept.unit.setListId).bind(8, kept.unit.setName);
        line.bind(9, static_cast<long long>(kept.isReturn)).bind(10, kept.itemId);
        if (!line.bind(11, static_cast<long long>(kept.unit.setKept)).run()) return false;
    }
    for (std::size_t i = 0; i < record.valueChanges.size(); ++i) {
        const CReceiptValueChange& kept = record.valueChanges[i];
        change.bind(1, record.txnId).bind(2, static_cast<long long>(i)).bind(3, kept.item).bind(4, kept.amount);
        change.bind(5, static_cast<long long>(kept.onUnitsBefore)).bind(6, kept.itemId);
        if (!change.run()) return false;
    }
    return true;
}

}  // namespace

bool CPurchaseHistory::take(const std::string& storePath, const CIdentity& identity,
                            const std::optional<CDateTime>& lastRunTime, const CDateTime& now, std::string& why) {
    holding = false;
    kept.clear();
    why.clear();
    CRunStore store(storePath);
    CRunStore::CTransaction taking(store);
    if (storePath.empty()) {
        why = "no purchase history was kept";
        return false;
    }
    if (!taking.started()) {
        why = "the kept records could not be read (" + store.errorText() + ")";
        return false;
    }
    const std::string setAside = store.setAsideReason();
    CHeader header;
    const bool found = readHeader(store, header);
    std::vector<CReceiptRecord> records;
    const bool whole = found && readRecords(store, records) &&
                       header.records == static_cast<long long>(records.size()) && header.lines == readLines(store, records);
    const std::string readError = store.errorText();
    // Taken: whatever becomes of this run, the store no longer holds it for the books.
    const bool removed = store.exec(kDeleteAll) && (setAside.empty() || store.forgetSetAside()) && taking.commit();
    const CDateTime listedFrom = now.addSeconds(-static_cast<long>(CChangesBehind::kDeletionsListedDays) * 24 * 60 * 60 +
                                               CChangesBehind::kContentMarginSeconds);
    if (!setAside.empty()) {
        why = "the kept records could not be read (" + setAside + ")";
    } else if (!readError.empty()) {
        why = "the kept records could not be read (" + readError + ")";
    } else if (!found) {
        why = "no purchase history was kept";
    } else if (!whole || !header.readAt || !header.upTo || !header.movedFromRead) {
        why = "the kept purchase history is incomplete or unreadable";
    } else if (header.company != identity.company || header.firstRun != identity.firstRun) {
        why = "the kept purchase history belongs to another company file";
    } else if (header.startDate != identity.startDate) {
        why = "the kept purchase history was read from another start date";
    } else if (!header.stamp || !lastRunTime || header.stamp->seconds() != lastRunTime->seconds()) {
        why = "the kept purchase history is not that of the last run";
    } else if (*header.readAt < listedFrom) {
        why = "the kept purchase history is older than QuickBooks lists deleted transactions";
    } else if (!removed) {
        why = "the kept purchase history could not be removed from the kept records (" + store.errorText() + ")";
    }
    if (!why.empty()) return false;
    owner = identity;
    readFrom = *header.readAt;
    heldTo = *header.upTo;
    movedFrom = header.movedFrom;
    kept = std::move(records);
    holding = true;
    return true;
}

void CPurchaseHistory::hold(const CIdentity& identity, const CReceiptRecords& records, const CDateTime& readAt,
                            const CDateTime& upTo, const CDateTime& valuesMoveFrom) {
    owner = identity;
    readFrom = readAt;
    heldTo = upTo;
    movedFrom = valuesMoveFrom;
    kept.assign(records.begin(), records.end());
    holding = true;
}

void CPurchaseHistory::valuesMovedOn(const CDateTime& date) {
    if (!movedFrom || date < *movedFrom) movedFrom = date;
}

void CPurchaseHistory::readAgain(const std::set<std::string>& buildTxnIds) {
    // An EditSequence QuickBooks never gives tells the next run that the record differs.
    for (CReceiptRecord& record : kept) {
        if (record.txnTypeCode == kTxnBuildAssembly && buildTxnIds.count(record.txnId) != 0) record.editSequence.clear();
    }
}

bool CPurchaseHistory::save(const std::string& storePath, const CDateTime& lastRunTime) const {
    if (storePath.empty() || !holding) return false;
    CRunStore store(storePath);
    {
        CRunStore::CTransaction saving(store);
        CRunStore::CStatement txn(store, "INSERT INTO purchase_txn VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        CRunStore::CStatement line(store, "INSERT INTO purchase_line VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        CRunStore::CStatement change(store, "INSERT INTO purchase_value_change VALUES (?, ?, ?, ?, ?, ?)");
        // The run that saves took the history before and said why it could not use it.
        bool saved = saving.started() && store.exec(kDeleteAll) && store.forgetSetAside();
        long long lines = 0;
        for (std::size_t i = 0; saved && i < kept.size(); ++i) {
            saved = writeRecord(txn, line, change, kept[i], static_cast<long long>(i));
            lines += static_cast<long long>(kept[i].lines.size() + kept[i].valueChanges.size());
        }
        CRunStore::CStatement header(store, "INSERT INTO purchase_history VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        header.bind(1, owner.company).bind(2, owner.firstRun).bind(3, owner.startDate).bind(4, dateText(heldTo));
        header.bind(5, zoneDateTimeText(readFrom)).bind(6, zoneDateTimeText(lastRunTime));
        if (movedFrom) header.bind(7, dateText(movedFrom));
        header.bind(8, static_cast<long long>(kept.size())).bind(9, lines);
        if (saved && header.run() && saving.commit()) return true;
    }
    // Whatever stands in the store now stands for no run.
    CRunStore::CTransaction removing(store);
    if (removing.started() && store.exec(kDeleteAll)) removing.commit();
    return false;
}
