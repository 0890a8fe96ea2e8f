#include "seenrecord.h"

#include <algorithm>
#include <set>

#include "qbobject.h"
#include "qbobjectlist.h"
#include "qbutils.h"
#include "runstore.h"

CSeenRecord::CSeenTxn& CSeenRecord::set(const std::string& id, const std::string& date) {
    changed.insert(id);
    const auto [seen, added] = txns.try_emplace(id);
    if (!added && seen->second.date != date) {
        std::vector<const std::string*>& ids = byDate[seen->second.date];
        ids.erase(std::find(ids.begin(), ids.end(), &seen->first));
    }
    if (added || seen->second.date != date) byDate[date].push_back(&seen->first);
    seen->second.date = date;
    return seen->second;
}

void CSeenRecord::forget(std::map<std::string, CSeenTxn>::iterator seen) {
    changed.insert(seen->first);
    std::vector<const std::string*>& ids = byDate[seen->second.date];
    ids.erase(std::find(ids.begin(), ids.end(), &seen->first));
    txns.erase(seen);
}

void CSeenRecord::load(const std::string& path) {
    txns.clear();
    byDate.clear();
    loadedStamp.clear();
    changed.clear();
    storeHolds.reset();
    storePath = path;
    if (path.empty()) return;
    CRunStore store(path);
    CRunStore::CStatement stamp(store, "SELECT last_run_time FROM seen_record");
    if (stamp.step()) loadedStamp = stamp.text(0).value_or(std::string());
    CRunStore::CStatement read(store, "SELECT txn_id, type, txn_date, ref_number, edit_sequence FROM seen_txn");
    while (read.step()) {
        const std::optional<std::string> id = read.text(0);
        const std::optional<std::string> date = read.text(2);
        if (!id || !date) continue;
        CSeenTxn& seen = set(*id, *date);
        seen.type = read.text(1).value_or(std::string());
        seen.refNumber = read.text(3).value_or(std::string());
        seen.editSequence = read.text(4).value_or(std::string());
    }
    CRunStore::CStatement items(store, "SELECT txn_id, item FROM seen_posting_item ORDER BY txn_id, position");
    while (items.step()) {
        const auto seen = txns.find(items.text(0).value_or(std::string()));
        if (seen != txns.end()) seen->second.items.push_back(items.text(1).value_or(std::string()));
    }
    // A record that could not be read whole is none: the next open checks by time.
    if (stamp.failed() || read.failed() || items.failed()) {
        txns.clear();
        byDate.clear();
        loadedStamp.clear();
        return;
    }
    changed.clear();
    storeHolds = loadedStamp;
}

void CSeenRecord::loadUnlessHeld(const std::string& path) {
    if (path.empty() || path != storePath || !storeHolds || !changed.empty()) load(path);
}

bool CSeenRecord::save(const std::optional<CDateTime>& stamp) {
    if (storePath.empty()) return false;
    CRunStore store(storePath);
    CRunStore::CTransaction saving(store);
    if (!saving.started()) return false;
    // Another writer (a run on a copy of the data folder, a store put back from a backup)
    // may have changed the store since: then it is written whole.
    CRunStore::CStatement held(store, "SELECT last_run_time FROM seen_record");
    const bool same = storeHolds && held.step() && held.text(0).value_or(std::string()) == *storeHolds;
    if (held.failed() || !(same ? writeChanged(store) : writeAll(store))) return false;
    const std::string stampText = stamp ? zoneDateTimeText(stamp) : std::string();
    CRunStore::CStatement record(store, "INSERT OR REPLACE INTO seen_record VALUES (1, ?)");
    if (stamp) record.bind(1, stampText);
    if (!record.run() || !saving.commit()) return false;
    changed.clear();
    storeHolds = stampText;
    return true;
}

bool CSeenRecord::writeAll(CRunStore& store) const {
    if (!store.exec("DELETE FROM seen_posting_item; DELETE FROM seen_txn; DELETE FROM seen_record")) return false;
    CRunStore::CStatement txn(store, "INSERT INTO seen_txn VALUES (?, ?, ?, ?, ?)");
    CRunStore::CStatement item(store, "INSERT INTO seen_posting_item VALUES (?, ?, ?)");
    for (const auto& [id, seen] : txns) {
        if (!writeTxn(txn, item, id, seen)) return false;
    }
    return true;
}

bool CSeenRecord::writeChanged(CRunStore& store) const {
    CRunStore::CStatement dropItems(store, "DELETE FROM seen_posting_item WHERE txn_id = ?");
    CRunStore::CStatement dropTxn(store, "DELETE FROM seen_txn WHERE txn_id = ?");
    CRunStore::CStatement txn(store, "INSERT INTO seen_txn VALUES (?, ?, ?, ?, ?)");
    CRunStore::CStatement item(store, "INSERT INTO seen_posting_item VALUES (?, ?, ?)");
    for (const std::string& id : changed) {
        if (!dropItems.bind(1, id).run() || !dropTxn.bind(1, id).run()) return false;
        const auto seen = txns.find(id);
        if (seen != txns.end() && !writeTxn(txn, item, id, seen->second)) return false;
    }
    return true;
}

bool CSeenRecord::writeTxn(CRunStore::CStatement& txn, CRunStore::CStatement& item, const std::string& id,
                           const CSeenTxn& seen) const {
    if (!txn.bind(1, id).bind(2, seen.type).bind(3, seen.date).bind(4, seen.refNumber).bind(5, seen.editSequence).run())
        return false;
    for (std::size_t i = 0; i < seen.items.size(); ++i) {
        if (!item.bind(1, id).bind(2, static_cast<long long>(i)).bind(3, seen.items[i]).run()) return false;
    }
    return true;
}

void CSeenRecord::discard() {
    CRunStore::remove(storePath);
    txns.clear();
    byDate.clear();
    changed.clear();
    storeHolds.reset();
}

void CSeenRecord::record(const CQbObjectList* list, const char* type, const std::string& fromDate,
                         const std::string& toDate) {
    std::vector<std::pair<std::string, CSeenTxn>> read;
    for (int i = 0; list && i < list->getSize(); ++i) {
        const CQbObject& txn = *list->getAt(i);
        read.push_back({txn.getValue("TxnID"),
                        {type, txn.getValue("TxnDate"), txn.getValue("RefNumber"), txn.getValue("EditSequence")}});
    }
    record(read, type, fromDate, toDate);
}

void CSeenRecord::record(const std::vector<std::pair<std::string, CSeenTxn>>& read, const char* type,
                         const std::string& fromDate, const std::string& toDate) {
    std::set<std::string> ids;
    for (const auto& [id, txn] : read) {
        if (id.empty() || findPosting(id) != nullptr) continue;
        ids.insert(id);
        CSeenTxn& seen = set(id, txn.date);
        seen.type = type;
        seen.refNumber = txn.refNumber;
        seen.editSequence = txn.editSequence;
    }
    // What the list should hold and does not was deleted (or moved out of the range,
    // where its next reading finds it again): the record no longer holds it as it was.
    std::vector<std::map<std::string, CSeenTxn>::iterator> gone;
    const auto first = fromDate.empty() ? byDate.begin() : byDate.lower_bound(fromDate);
    const auto last = toDate.empty() ? byDate.end() : byDate.upper_bound(toDate);
    for (auto date = first; date != last; ++date) {
        for (const std::string* id : date->second) {
            const auto seen = txns.find(*id);
            if (seen->second.type == type && ids.count(*id) == 0) gone.push_back(seen);
        }
    }
    for (const auto& seen : gone) forget(seen);
}

const CSeenRecord::CSeenTxn* CSeenRecord::find(const std::string& txnId) const {
    const auto seen = txns.find(txnId);
    return seen == txns.end() ? nullptr : &seen->second;
}

void CSeenRecord::setEditSequence(const std::string& txnId, const std::string& editSequence) {
    const auto seen = txns.find(txnId);
    if (seen == txns.end()) return;
    seen->second.editSequence = editSequence;
    changed.insert(txnId);
}

void CSeenRecord::recordPosting(const std::string& txnId, const std::string& date, const std::string& editSequence,
                                const std::vector<std::string>& items) {
    if (txnId.empty()) return;
    CSeenTxn& seen = set(txnId, date);
    seen.type = kPostingType;
    seen.refNumber.clear();
    seen.editSequence = editSequence;
    seen.items = items;
}

const CSeenRecord::CSeenTxn* CSeenRecord::findPosting(const std::string& txnId) const {
    const CSeenTxn* seen = find(txnId);
    return seen != nullptr && seen->type == kPostingType ? seen : nullptr;
}

std::vector<std::string> CSeenRecord::postingsFrom(const std::string& fromDate) const {
    std::vector<std::string> ids;
    for (auto date = byDate.lower_bound(fromDate); date != byDate.end(); ++date) {
        for (const std::string* id : date->second) {
            if (findPosting(*id) != nullptr) ids.push_back(*id);
        }
    }
    return ids;
}

void CSeenRecord::forgetPostingsFrom(const std::string& fromDate) {
    for (const std::string& id : postingsFrom(fromDate)) forget(txns.find(id));
}
