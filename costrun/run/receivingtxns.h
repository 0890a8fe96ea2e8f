// The run's receiving transactions, read from QuickBooks once per run for the whole
// period from the start date: the FIFO walk of any day may reach back to any of them.
// Each list is logged and taken into the compact records as soon as it is read, and let
// go: one parsed answer at a time is held.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "activitylog.h"
#include "costrunreceipts.h"
#include "costrununits.h"
#include "datetime.h"
#include "ownpostings.h"
#include "qbobjectlist.h"
#include "purchasehistory.h"
#include "qbrequestbase.h"
#include "seenrecord.h"
#include "txnkinds.h"

// Reads the bills, item receipts, checks, card charges, vendor and card credits and
// inventory adjustments dated from `from` to `to`, and with assemblies every build, into
// the records: all of them, or, with the history the last run kept (taken over), what
// QuickBooks changed or deleted since and the days after it (the record of what was read
// dates what was deleted; `own` tells the system's postings, and one the user edited
// since marks QuickBooks' later values as moved). Throws CQbException when QuickBooks refuses a query.
void readReceivingTxns(CQbRequestBase& session, const CDateTime& from, const CDateTime& to, bool assemblies,
                       CReceiptRecords& records, CActivityLog& log, const CCostrunUnits& units,
                       const std::function<void(const std::string&)>& progress, CPurchaseHistory* kept,
                       const COwnPostings& own);
// The inventory adjustments dated from `from` to `to`, whatever their account (stock
// found by a count is often booked to cost of goods sold), less the system's own value
// adjustments (`own` tells them), which follow from the FIFO value rather than change it.
std::unique_ptr<CQbObjectList> readInventoryAdjustments(CQbRequestBase& session, const CDateTime& from,
                                                        const CDateTime& to,
                                                        const std::function<void(const std::string&)>& progress,
                                                        const COwnPostings& own);
// The record of what was read takes the records of the kind dated from `from` to `to`
// (YYYY-MM-DD; "" for no bound).
void recordSeen(const CReceiptRecords& records, const CTxnKind& kind, CSeenRecord& seen, const std::string& from,
                const std::string& to);
