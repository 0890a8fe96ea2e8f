// The system's own postings: the value adjustments runs posted (memo kValueAdjustMemo).
// Every reader of inventory adjustments (the receiving reader, the day's intake, the
// check of the books behind the valued period, the rewind) tells them by this one rule:
//
//   1. An adjustment the record of what runs wrote holds as a posting (by its TxnID) is
//      the system's, whatever its memo says now: the user may have edited or voided it.
//   2. Where the record cannot tell, the system's memo does: a file valued before the
//      record kept postings (it holds none), or a record that is not stamped with the
//      "LastRunTime" QuickBooks holds (a run or rewind was cut off, and a run cut off
//      may have posted without learning the TxnID QuickBooks gave the posting).
//   3. Any other adjustment is the user's, whatever its memo.
//
// adoptMemoPostings() brings the postings rule 2 finds into the record, so that a run or
// rewind that stamps the record leaves none of them to rule 3.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "datetime.h"
#include "qbrequestbase.h"
#include "seenrecord.h"

class CQbObject;

class COwnPostings {
public:
    // Judges by `record` (borrowed: it must outlive this object; postings recorded in it
    // later count) and the "LastRunTime" QuickBooks holds. Whether the memo speaks is
    // settled here, once.
    COwnPostings(const CSeenRecord& record, const std::optional<CDateTime>& lastRunTime);

    // Whether the memo tells the system's postings where the record does not (rule 2).
    bool byMemo() const { return memoSpeaks; }
    // Whether the adjustment (at least its TxnID and Memo) is one of the system's postings.
    bool isOwn(const CQbObject& adjustment) const;
    // The record of the adjustment as a posting; null when the record does not hold it.
    const CSeenRecord::CSeenTxn* recorded(const CQbObject& adjustment) const;
    // Whether QuickBooks holds a recorded posting otherwise than the run that posted it
    // left it: another EditSequence or date (the user edited it). False for one the
    // record does not hold, and by EditSequence only where the record kept one.
    bool edited(const CQbObject& adjustment) const;
    // The date the values QuickBooks carries moved from for an edited posting: the
    // earlier of its recorded date and its date now; none when neither can be read.
    std::optional<CDateTime> editedFrom(const CQbObject& adjustment) const;

    const CSeenRecord& record() const { return seen; }

    // The elements a query that is to be judged asks for (IncludeRetElement).
    static const std::vector<const char*>& retElements();

private:
    const CSeenRecord& seen;
    bool memoSpeaks = true;
};

// Records in `record` as the system's postings the adjustments dated from `from` on that
// carry the system's memo and that the record does not hold: those rule 2 takes for the
// system's. Returns how many were recorded; the record is not saved. Throws CQbException
// when QuickBooks refuses the query.
int adoptMemoPostings(CQbRequestBase& session, CSeenRecord& record, const CDateTime& from);
