// The day's transactions: the issuing ones (invoices, sales receipts, inventory
// adjustments, credit memos, statement charges) and the builds, asked for in one message set and read in
// kind order. The system's own value adjustments dated the day (COwnPostings tells them)
// come from a run that stopped before committing it: they are no issues, and are kept
// apart to be deleted so that the day is redone from a clean slate.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "activitylog.h"
#include "costruntxnlist.h"
#include "costrununits.h"
#include "datetime.h"
#include "ownpostings.h"
#include "qbobjectlist.h"
#include "qbrequestbase.h"
#include "seenrecord.h"

class CDayTxns {
public:
    // The day's six queries (without assemblies the first five) as request elements, in
    // the order their answers are read.
    static std::vector<std::string> requests(CQbRequestBase& session, const CDateTime& day, bool assemblies);
    // Reads the answers to the day's queries (a missing one reads as none); `progress`
    // receives "Retrieving list of ..." before each; `own` tells the system's postings.
    // A refused answer throws CQbException.
    CDayTxns(CQbRequestBase& session, const CDateTime& day, bool assemblies,
             std::vector<std::unique_ptr<CQbResponse>> answers, const std::function<void(const std::string&)>& progress,
             const COwnPostings& own);
    CDayTxns(const CDayTxns&) = delete;
    CDayTxns& operator=(const CDayTxns&) = delete;

    // Every issuing transaction and build of the day in kind order (all share the day's
    // date); null for a day without any.
    const CCostrunTxnList* all() const { return txns.get(); }
    // The day's builds, their provisional values dropped; null without builds.
    const CCostrunTxnList* builds() const { return buildTxns.get(); }
    // TxnIDs of the system's own value adjustments dated the day.
    const std::vector<std::string>& ownPostings() const { return own; }

    // The record of what was read takes the day's lists (builds only with assemblies).
    void record(CSeenRecord& seen, bool assemblies) const;
    // The day's sales and adjustments as the activity log lists them.
    void log(CActivityLog& log, const CCostrunUnits& units) const;

private:
    std::unique_ptr<CQbObjectList> invoices, salesReceipts, adjustments, creditMemos, charges, buildList;
    std::unique_ptr<CCostrunTxnList> txns;
    std::unique_ptr<CCostrunTxnList> buildTxns;
    std::vector<std::string> own;
    std::string date;  // YYYY-MM-DD
};
