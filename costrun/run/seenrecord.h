// The record of the transactions runs read, kept in the run store (CRunStore): each
// one's TxnID, type, date, RefNumber and EditSequence,
// stamped with the "LastRunTime" of the run that wrote it. QuickBooks remembers a
// deleted transaction's number and times but not its date; the record gives it, and
// tells a transaction changed since the last run (another EditSequence or date) from
// one merely touched. It also holds the system's own postings (value adjustments) by
// their TxnID, with the EditSequence QuickBooks gave them and the items they valued, so
// that one the user deleted, voided or edited is known whatever its memo says now.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "datetime.h"
#include "runstore.h"

class CQbObjectList;

class CSeenRecord {
public:
    // What the record holds of one transaction.
    struct CSeenTxn {
        std::string type;
        std::string date;  // YYYY-MM-DD
        std::string refNumber;
        std::string editSequence;  // empty in a record written before it was kept
        std::vector<std::string> items = {};  // the items a posting valued; empty for others
    };

    // The type under which the record holds the system's own postings.
    static constexpr const char* kPostingType = "FIFOValuation";

    CSeenRecord() = default;
    CSeenRecord(const CSeenRecord&) = delete;
    CSeenRecord& operator=(const CSeenRecord&) = delete;

    // Loads the record from the run store at `storePath` (CRunStore::pathFor): nothing
    // for an empty path, a store without a record or one that cannot be read. What was
    // held before goes.
    void load(const std::string& storePath);
    // load(), unless the record holds, unchanged, what it last loaded from or saved to
    // that store: a run that follows its open at once need not read the history again.
    void loadUnlessHeld(const std::string& storePath);
    // Writes the record to the store it was loaded from, in one transaction, so that a
    // stop while writing leaves the record before it; stamped with `stamp` when given
    // (the stored "LastRunTime" belongs to it). False when it could not be written.
    // When the store still holds what this record last loaded or saved, only the
    // transactions changed since are written, so a save costs what the run changed, not
    // the whole history.
    bool save(const std::optional<CDateTime>& stamp);
    // Forgets every transaction and removes the run store with all it kept: the company
    // file's valuation history ends.
    void discard();

    // Records the transactions of a list that holds every one of the type dated from
    // `fromDate` to `toDate` (YYYY-MM-DD; "" for no bound): those of the type recorded
    // in that range and missing from it are gone, and leave the record. One the record
    // holds as the system's posting stays one, as it was recorded.
    void record(const CQbObjectList* list, const char* type, const std::string& fromDate, const std::string& toDate);
    void record(const std::vector<std::pair<std::string, CSeenTxn>>& txns, const char* type,
                const std::string& fromDate, const std::string& toDate);

    // The transaction of the TxnID; null when the record does not hold it.
    const CSeenTxn* find(const std::string& txnId) const;

    // Records a posting QuickBooks took: its TxnID, date (YYYY-MM-DD), EditSequence and
    // the items it valued.
    void recordPosting(const std::string& txnId, const std::string& date, const std::string& editSequence,
                       const std::vector<std::string>& items);
    // The posting of the TxnID; null when the record holds no posting of it.
    const CSeenTxn* findPosting(const std::string& txnId) const;
    // The TxnIDs of the postings dated on or after `fromDate` (YYYY-MM-DD).
    std::vector<std::string> postingsFrom(const std::string& fromDate) const;
    // Forgets the postings dated on or after `fromDate` (YYYY-MM-DD).
    void forgetPostingsFrom(const std::string& fromDate);
    // Takes the EditSequence QuickBooks gave a transaction after the system's own write.
    void setEditSequence(const std::string& txnId, const std::string& editSequence);
    // The "LastRunTime" the loaded record was stamped with; empty when none.
    const std::string& stamp() const { return loadedStamp; }
    std::size_t size() const { return txns.size(); }

private:
    CSeenTxn& set(const std::string& id, const std::string& date);
    void forget(std::map<std::string, CSeenTxn>::iterator seen);
    // Writes every transaction, after clearing what the store held.
    bool writeAll(CRunStore& store) const;
    // Writes the transactions changed since the record was loaded or saved.
    bool writeChanged(CRunStore& store) const;
    bool writeTxn(CRunStore::CStatement& txn, CRunStore::CStatement& item, const std::string& id,
                  const CSeenTxn& seen) const;

    std::string storePath;
    std::string loadedStamp;
    std::map<std::string, CSeenTxn> txns;
    // The TxnIDs of txns by date (keys of txns), so that recording one day looks at that
    // day's records alone; kept with txns by set and forget.
    std::map<std::string, std::vector<const std::string*>> byDate;
    // The TxnIDs added, changed or forgotten since the record was loaded or saved.
    std::set<std::string> changed;
    // The stamp the store holds as far as this record knows, when the store holds
    // exactly what the record held at its last load or save; empty otherwise.
    std::optional<std::string> storeHolds;
};
