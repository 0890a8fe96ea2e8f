#include "seenrecord.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

#include "files.h"
#include "qbobject.h"
#include "qbobjectlist.h"
#include "qbutils.h"
#include "tabfile.h"

namespace {

// The record's first line: the "LastRunTime" of the run that wrote it.
constexpr const char* kStampTag = "#LastRunTime";
constexpr const char* kRecordPrefix = "transactions-";
constexpr const char* kRecordExtension = ".tsv";

}  // namespace

std::string CSeenRecord::pathFor(const std::string& dataFolder, const std::string& companyName,
                                 const std::optional<CDateTime>& lastExecTime) {
    if (!lastExecTime) return {};
    // The first run's time stamp and the company's name tell one file's valuation
    // history from another's, wherever the file lies.
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : companyName + "|" + zoneDateTimeText(lastExecTime)) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char name[48];
    std::snprintf(name, sizeof name, "%s%016" PRIx64 "%s", kRecordPrefix, hash, kRecordExtension);
    return joinPath(dataFolder, name);
}

std::string CSeenRecord::pathBeside(const std::string& recordPath, const char* prefix, const char* extension) {
    const std::size_t name = recordPath.rfind(kRecordPrefix);
    const std::size_t dot = recordPath.rfind(kRecordExtension);
    if (recordPath.empty() || name == std::string::npos || dot == std::string::npos || dot < name) return {};
    const std::size_t hash = name + std::string(kRecordPrefix).size();
    return recordPath.substr(0, name) + prefix + recordPath.substr(hash, dot - hash) + extension;
}

CSeenRecord::CSeenTxn& CSeenRecord::set(const std::string& id, const std::string& date) {
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
    std::vector<const std::string*>& ids = byDate[seen->second.date];
    ids.erase(std::find(ids.begin(), ids.end(), &seen->first));
    txns.erase(seen);
}

void CSeenRecord::load(const std::string& path) {
    txns.clear();
    byDate.clear();
    loadedStamp.clear();
    filePath = path;
    if (path.empty()) return;
    auto take = [this](const std::string& text) {
        // TxnID, type, date, RefNumber and EditSequence, separated by tabs, and for a
        // posting the items it valued; records written before EditSequences were kept
        // end with the RefNumber.
        const std::vector<std::string> fields = tabFields(text);
        if (fields.size() == 2 && fields[0] == kStampTag) {
            loadedStamp = fields[1];
            return;
        }
        if (fields.size() < 4) return;
        CSeenTxn& seen = set(fields[0], fields[2]);
        seen.type = fields[1];
        seen.refNumber = fields[3];
        seen.editSequence = fields.size() > 4 ? fields[4] : std::string();
        seen.items.clear();
        if (fields.size() > 5) seen.items.assign(fields.begin() + 5, fields.end());
    };
    readLines(path, take);
}

void CSeenRecord::save(const std::optional<CDateTime>& stamp) const {
    if (filePath.empty()) return;
    // Written beside and then moved over the old record, so that a run stopped while
    // writing leaves the old record whole.
    std::string text;
    if (stamp) text = std::string(kStampTag) + '\t' + zoneDateTimeText(stamp) + '\n';
    for (const auto& [id, seen] : txns) {
        text += id + '\t' + seen.type + '\t' + seen.date + '\t' + seen.refNumber + '\t' + seen.editSequence;
        for (const std::string& item : seen.items) text += '\t' + item;
        text += '\n';
    }
    replaceFile(filePath, text);
}

void CSeenRecord::discard() {
    if (!filePath.empty()) removeFile(filePath);
    txns.clear();
    byDate.clear();
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
        seen.refNumber = oneLine(txn.refNumber);
        seen.editSequence = oneLine(txn.editSequence);
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
    if (seen != txns.end()) seen->second.editSequence = editSequence;
}

void CSeenRecord::recordPosting(const std::string& txnId, const std::string& date, const std::string& editSequence,
                                const std::vector<std::string>& items) {
    if (txnId.empty()) return;
    CSeenTxn& seen = set(txnId, date);
    seen.type = kPostingType;
    seen.refNumber.clear();
    seen.editSequence = oneLine(editSequence);
    seen.items.clear();
    for (const std::string& item : items) seen.items.push_back(oneLine(item));
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
