// The day's issues and the value adjustments that follow from them. The issued
// quantity of each item is summed from the day's issuing lines (in base units); the gap
// between an item's FIFO value and the value QuickBooks carries is then shared over
// those lines in proportion to their quantities, and every share is queued as an
// InventoryAdjustmentAdd whose account, class and customer are those of the issuing
// line, so the correction lands where QuickBooks booked the cost of the issued goods.
// Sales lines are grouped by COGS account and class; an inventory adjustment is posted
// as one transaction; a build moves value from its components to its assembly with one
// zero-sum adjustment.
#pragma once

#include <string>
#include <vector>

#include "activitylog.h"
#include "costrunitemlist.h"
#include "costruntxnlist.h"
#include "daycommit.h"
#include "receiptwalk.h"
#include "runlists.h"
#include "valueadjust.h"

class CQbField;
class CQbObject;

class CDayAdjustments {
public:
    // Everything is borrowed and must outlive this object.
    CDayAdjustments(const CRunLists& lists, CReceiptWalk& walk, CActivityLog& log, CDayCommit& commit)
        : lists(lists), walk(walk), log(log), commit(commit) {}

    // Adds each issuing line's quantity (in its item's base unit) to the issued quantity
    // of its item in the list: sales and build components count up, credit memos down,
    // inventory adjustments only their decreases. A line whose unit cannot be read adds
    // nothing and leaves its item unvalued. Logs the items' new values.
    void sumIssues(CCostrunItemList& list, const CCostrunTxnList& txns);
    // Queues the value adjustments of every issuing transaction of the day.
    void postIssues(const CDateTime& day, const CCostrunTxnList& txns, CCostrunItemList* inventory,
                    CCostrunItemList* assemblies);
    // Queues the build's adjustment moving its components' value to its assembly.
    void postBuildTransfer(const CDateTime& day, const CQbObject& build, CCostrunItemList* inventory,
                           CCostrunItemList& assemblies);
    // Logs one list and queues its posting; an empty list queues nothing.
    void post(const CValueAdjustList& list, const CDateTime& day, const std::string& account,
              const std::string& className, const std::string& customer, bool sales);

private:
    void addLineIssues(CCostrunItemList& list, const CQbObject& txn, int typeCode, const std::vector<CQbField*>& lines,
                       const char* quantityField, double sign);
    void logNewValues(const CCostrunItemList& list);
    // The share of one issuing line (quantity q) is added to its item's running value and
    // to the list; false when the line is not adjusted.
    bool shareLine(CCostrunItemList& items, const CQbField& line, double q, CValueAdjustList& adjustments);
    void postInventoryAdjustment(const CDateTime& day, const CQbObject& txn, CCostrunItemList* inventory,
                                 CCostrunItemList* assemblies);
    void postSales(const CDateTime& day, const CQbObject& txn, int typeCode, CCostrunItemList* inventory,
                   CCostrunItemList* assemblies);

    const CRunLists& lists;
    CReceiptWalk& walk;
    CActivityLog& log;
    CDayCommit& commit;
};
