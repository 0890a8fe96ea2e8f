// The books behind the valued period. A transaction entered, changed or deleted after
// the last run but dated on or before "LastUpToDate" leaves the FIFO values from its
// date on stale: opening the file looks for such transactions and says so, and the
// window offers Rewind from the earliest.
//
// "LastRunTime" holds the moment the last run (or rewind) finished writing, so that its
// own postings, build values and deletions stand before it and only the user's changes
// come after. Where the record of what the last run read is at hand, a change is found
// by content (a new transaction, another EditSequence or date), looking back a margin
// before "LastRunTime"; otherwise by modification time after it. Where the last run kept
// its closing valuation, QuickBooks' figures of "LastUpToDate" are compared with it too:
// an item that moved is a change even when no transaction QuickBooks lists explains it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "activitylog.h"
#include "closingbalance.h"
#include "datetime.h"
#include "ownpostings.h"
#include "qbrequestbase.h"
#include "runsettings.h"
#include "seenrecord.h"

class CChangesBehind {
public:
    // How far before "LastRunTime" the check looks when it goes by content: modification
    // times count whole seconds, and come from the clock of the computer that saved the
    // change, which may run behind the one Lotwise ran on.
    static constexpr long kContentMarginSeconds = 24L * 60 * 60;
    // How long QuickBooks lists a deleted transaction (TxnDeletedQueryRq).
    static constexpr int kDeletionsListedDays = 90;

    // A transaction of a kind the valuation reads, dated on or before "LastUpToDate" and
    // entered, changed or deleted since the last run.
    struct CBookChange {
        std::string type;       // TxnDelType: "Bill", "SalesReceipt", ...
        std::string refNumber;
        std::optional<CDateTime> date;  // none for a deleted one whose date is not known
        bool deleted = false;
        // For one of the system's own postings the record knows: what became of it
        // ("deleted", "voided" or "edited") and the items it valued; empty otherwise.
        std::string postingChange = {};
        std::vector<std::string> postingItems = {};
        std::string formerType = {};  // the type the last run read it as, when it was another
    };

    // Asks QuickBooks for such transactions (nothing to ask for a file never valued or
    // last valued before "LastRunTime" was kept), the record loaded. False when
    // QuickBooks refused a query: text() then says that the check could not be made.
    bool check(CQbRequestBase& session, const CRunSettings& settings, const CSeenRecord& record, CActivityLog& log);
    // Compares QuickBooks' valuation at the end of "LastUpToDate" with the closing
    // valuation the last run kept at `balancePath`. Nothing to compare when the file is
    // missing or was kept by another run or for another day: a file valued before it was
    // kept is checked by its transactions alone until its next run. Made only after a
    // check() that succeeded. False when QuickBooks refused a report: text() then says
    // that the check could not be made.
    bool checkBalance(CQbRequestBase& session, const CRunSettings& settings, const std::string& balancePath);
    // Forgets what the last check found (after a rewind values those days again).
    void clear();

    const std::vector<CBookChange>& changes() const { return found; }
    // The items whose figures moved since the last run left them.
    const std::vector<CClosingBalance::CMoved>& moved() const { return movedItems; }
    // The start of the first day that may be stale: that of the earliest change, or the
    // start date when only the balance tells that something changed; none without changes.
    std::optional<CDateTime> earliest(const CRunSettings& settings) const;
    // The warning for the user; empty when there is nothing to say.
    std::string text(const CRunSettings& settings) const;

private:
    // Whether a transaction QuickBooks lists as modified differs from what the record
    // holds of it; one the record cannot tell about counts when modified at or after
    // `after` (always without it).
    static bool changedSinceRecord(const CQbObject& txn, const CSeenRecord& record, const CRunSettings& settings,
                                   const std::optional<CDateTime>& after);
    void findModified(CQbRequestBase& session, const CRunSettings& settings, const COwnPostings& own,
                      const std::string& since, const std::optional<CDateTime>& afterRun, bool byContent);
    void findDeleted(CQbRequestBase& session, const CRunSettings& settings, const COwnPostings& own,
                     const std::string& since, const CDateTime& after, bool byContent);

    // The system's own postings, known by the record whatever their memo says now: one
    // QuickBooks lists as modified is named when it was voided (isVoided) or differs from
    // the record (true when the record holds it as a posting, which is then judged here
    // alone); one listed as deleted is named with its date and items.
    bool notePostingModified(const CQbObject& txn, const COwnPostings& own, const CDateTime& date);
    void notePostingDeleted(const CSeenRecord::CSeenTxn& posting, const std::optional<CDateTime>& date);
    // The lines naming the items whose figures moved.
    std::string movedText(const CRunSettings& settings) const;

    std::vector<CBookChange> found;
    std::vector<CClosingBalance::CMoved> movedItems;
    std::string error;
    // Set when the last run lies further back than QuickBooks lists deletions: the moment
    // before which deletions could not be checked.
    std::optional<CDateTime> deletionHorizon;
};
