// Value adjustments: the gap between an item's FIFO value and the value QuickBooks
// carries is shared over the day's issuing lines of the item in proportion to their
// quantities, and every share is posted as an InventoryAdjustmentAdd whose account,
// class and customer are those of the issuing line, so the correction lands where
// QuickBooks booked the cost of the issued goods. Sales lines are grouped by COGS
// account and class; an inventory adjustment is posted as one transaction.
#include "qbfield.h"
#include "qbobject.h"
#include "valuationrun.h"

namespace {

// True when the value already stood earlier in the list. QuickBooks may return two
// classes of one full name, and the class list keeps both; a line must still land in
// one posting only, or its share would be posted twice.
bool seenBefore(const std::vector<std::string>& values, std::size_t index) {
    for (std::size_t i = 0; i < index; ++i) {
        if (values[i] == values[index]) return true;
    }
    return false;
}

std::vector<CQbField*> groupLinesOf(const CQbObject& txn, const CTxnKind& kind) {
    std::vector<CQbField*> lines;
    for (const CQbField* group : txn.findAll(kind.group)) {
        for (CQbField* line : group->findChildren(kind.line)) lines.push_back(line);
    }
    return lines;
}

}  // namespace

bool CValuationRun::shareLine(CCostrunItemList& items, const CQbField& line, double q, CValueAdjustList& adjustments) {
    CCostrunItem* item = items.find(line.grandchildValue("ItemRef", "FullName"));
    if (item == nullptr || !item->needsAdjustment() || !item->isComplete()) return false;
    item->startRunningValue();
    const double prior = item->newValue;
    const double gap = item->onHandValue - (item->qbValue + item->adjustedValue);
    const double share = gap * q / item->issuedQty;
    item->newValue += share;
    adjustments.add(item->fullName, prior, share);
    return true;
}

void CValuationRun::postDayAdjustments(CDay& day) {
    const bool inventoryNeeds = day.inventory && day.inventory->anyNeedsAdjustment();
    const bool assemblyNeeds = day.assemblies && day.assemblies->anyNeedsAdjustment();
    if (!inventoryNeeds && !assemblyNeeds) return;
    // The postings are queued; the day's commit sends them.
    for (const auto& record : *day.txns) {
        const CCostrunTxn& txn = *record;
        if (txn.isPending || txn.ret == nullptr) continue;
        if (txn.txnTypeCode == kTxnInventoryAdjustment) {
            postInventoryAdjustment(day, *txn.ret);
        } else if (const CTxnKind* kind = txnKind(txn.txnTypeCode); kind && kind->sale) {
            postSalesAdjustments(day, *txn.ret, txn.txnTypeCode);
        }
    }
}

void CValuationRun::postInventoryAdjustment(CDay& day, const CQbObject& txn) {
    const std::vector<CQbField*> lines = txn.findAll("InventoryAdjustmentLineRet");
    // Only decreases were issues; a missing difference reads as 0 and is no issue.
    CValueAdjustList adjustments;
    for (CCostrunItemList* items : {day.inventory.get(), day.assemblies.get()}) {
        if (items == nullptr) continue;
        for (const CQbField* line : lines) {
            const double difference = line->childFloat("QuantityDifference");
            if (difference < 0.0) shareLine(*items, *line, -difference, adjustments);
        }
    }
    postAdjustList(adjustments, day.date, txn.getValue("AccountRef", "FullName"), txn.getValue("ClassRef", "FullName"),
                   std::string(), false);
}

void CValuationRun::postSalesAdjustments(CDay& day, const CQbObject& txn, int typeCode) {
    const CTxnKind& kind = *txnKind(typeCode);
    const std::string customer = txn.getValue("CustomerRef", "FullName");
    const std::string refNumber = txn.getValue("RefNumber");
    const std::vector<CQbField*> directLines = txn.findAll(kind.line);
    const std::vector<CQbField*> groupLines = groupLinesOf(txn, kind);
    const std::vector<std::string>& accounts = lists.accounts();
    const std::vector<std::string>& classes = lists.classes();
    for (std::size_t a = 0; a < accounts.size(); ++a) {
        if (seenBefore(accounts, a)) continue;
        for (std::size_t k = 0; k < classes.size(); ++k) {
            if (seenBefore(classes, k)) continue;
            CValueAdjustList adjustments;
            auto share = [&](CCostrunItemList* items, const std::vector<CQbField*>& lines) {
                if (items == nullptr) return;
                for (const CQbField* line : lines) {
                    CCostrunItem* item = items->find(line->grandchildValue("ItemRef", "FullName"));
                    if (item == nullptr || item->cogsAccount != accounts[a]) continue;
                    if (line->grandchildValue("ClassRef", "FullName") != classes[k]) continue;
                    // Shares go by base quantity, as the issued quantity was summed.
                    const std::optional<double> quantity =
                        walk.baseQuantity(*item, CLineUnit::of(*line), line->childFloat("Quantity"), kind.name, refNumber);
                    if (!quantity) continue;
                    shareLine(*items, *line, kind.code == kTxnCreditMemo ? -*quantity : *quantity, adjustments);
                }
            };
            share(day.inventory.get(), directLines);
            share(day.assemblies.get(), directLines);
            share(day.inventory.get(), groupLines);
            share(day.assemblies.get(), groupLines);
            postAdjustList(adjustments, day.date, accounts[a], classes[k], customer, true);
        }
    }
}

void CValuationRun::postAdjustList(const CValueAdjustList& list, const CDateTime& day, const std::string& account,
                                   const std::string& className, const std::string& customer, bool sales) {
    if (list.empty()) return;
    std::vector<std::string> names;
    std::vector<std::string> values;
    list.toArrays(names, values);
    if (sales) {
        log.log("-- Value adjust account %s for customer %s\n", account.c_str(), customer.c_str());
    } else {
        log.log("-- Value adjust account %s\n", account.c_str());
    }
    log.log("Item NewValue\n");
    for (std::size_t i = 0; i < names.size(); ++i) log.log("%s %s\n", names[i].c_str(), values[i].c_str());
    dayCommit.queuePosting(list, day, account, className, customer);
}
