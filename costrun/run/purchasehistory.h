// The purchase history a run keeps in the run store (CRunStore), beside the record of
// what was read: every receiving transaction from the start
// date to the run's up-to date, with every build, in the compact form the walk uses
// (CReceiptRecord), each with its TxnID, EditSequence and TxnNumber. The next run reads
// again only what QuickBooks lists as changed or deleted since it was read, and the new
// days, so that a run costs what its new days cost rather than what the whole history
// behind them costs.
//
// It is never trusted blindly. It names the company, the first run's time stamp, the
// start date and the "LastRunTime" the run that wrote it stored, and serves only while
// QuickBooks holds that "LastRunTime" (a rewind restamps it; a run elsewhere or a
// restored company file leaves another). A run takes it (reads and deletes it in one
// transaction) before it writes anything to QuickBooks, and writes a new one only once
// it stored its "LastRunTime": a run stopped part-way leaves none, and the next run reads
// everything. A history changed by hand, in a store that cannot be read, or older than
// QuickBooks lists deletions is not used. Losing it costs one full reading, never a wrong
// posting.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "costrunreceipts.h"
#include "datetime.h"

class CPurchaseHistory {
public:
    // Whose history it is.
    struct CIdentity {
        std::string company;    // the company's name
        std::string firstRun;   // "LastExecTime", the first run's time stamp
        std::string startDate;  // YYYY-MM-DD
    };

    // Takes the history kept in the run store at `storePath` (CRunStore::pathFor): it is
    // read and deleted in one transaction. True when it belongs to the identity and to
    // `lastRunTime`, is whole, could be deleted, and was read recently enough that
    // QuickBooks still lists what was deleted since (`now`); otherwise false with the
    // reason, holding nothing.
    bool take(const std::string& storePath, const CIdentity& identity, const std::optional<CDateTime>& lastRunTime,
              const CDateTime& now, std::string& why);

    // Holds a copy of what a run read: the records, all of them read at or after
    // `readAt`, of the receiving transactions dated from the start date to `upTo`.
    // QuickBooks' average costs moved after the reading from `valuesMoveFrom` on (the
    // first day the run posts on).
    void hold(const CIdentity& identity, const CReceiptRecords& records, const CDateTime& readAt,
              const CDateTime& upTo, const CDateTime& valuesMoveFrom);
    // QuickBooks' average costs moved from `date` on (a rewind clears values from there).
    void valuesMovedOn(const CDateTime& date);
    // The builds whose stored value changed after they were read (the run wrote or
    // cleared it): the next run reads them again, whatever QuickBooks says of them.
    void readAgain(const std::set<std::string>& buildTxnIds);
    // Writes what is held to the run store at `storePath`, in one transaction, stamped
    // with the "LastRunTime" QuickBooks now holds. False when it could not be written:
    // the store then keeps none, and the next run reads everything.
    bool save(const std::string& storePath, const CDateTime& lastRunTime) const;

    // Lets go of what is held: the run reads everything.
    void forget() {
        holding = false;
        kept.clear();
    }
    bool held() const { return holding; }
    // The moment from which every record was read; what QuickBooks changed before it
    // is in the records.
    const CDateTime& readAt() const { return readFrom; }
    // The last date whose receiving transactions are held.
    const CDateTime& upTo() const { return heldTo; }
    // The first date of which QuickBooks' average costs may have moved since the reading.
    const std::optional<CDateTime>& valuesMovedFrom() const { return movedFrom; }
    // The records, in the order they were held; taken over by the run.
    std::vector<CReceiptRecord>& records() { return kept; }

private:
    bool holding = false;
    CIdentity owner;
    CDateTime readFrom;
    CDateTime heldTo;
    std::optional<CDateTime> movedFrom;
    std::vector<CReceiptRecord> kept;
};
