// Value adjustments: the gap between an item's FIFO value and the value QuickBooks
// carries is shared over the day's issuing lines of the item in proportion to their
// quantities, and every share is posted as an InventoryAdjustmentAdd whose account,
// class and customer are those of the issuing line, so the correction lands where
// QuickBooks booked the cost of the issued goods. Sales lines are grouped by COGS
// account and class; an inventory adjustment is posted as one transaction.
#include <string>
#include <vector>

#include "costrundoc.h"

namespace {

// Line and group element names of one kind of sales transaction.
struct CSalesLineNames {
    const char* line;
    const char* group;
};

bool salesLineNames(int typeCode, CSalesLineNames& names) {
    switch (typeCode) {
        case kTxnInvoice:
            names = {"InvoiceLineRet", "InvoiceLineGroupRet"};
            return true;
        case kTxnSalesReceipt:
            names = {"SalesReceiptLineRet", "SalesReceiptLineGroupRet"};
            return true;
        case kTxnCreditMemo:
            names = {"CreditMemoLineRet", "CreditMemoLineGroupRet"};
            return true;
        default:
            return false;
    }
}

// True when the value already stood earlier in the list. QuickBooks may return two
// classes of one full name, and the class list keeps both; a line must still land in
// one posting only, or its share would be posted twice.
bool seenBefore(const std::vector<std::string>& values, std::size_t index) {
    for (std::size_t i = 0; i < index; ++i) {
        if (values[i] == values[index]) return true;
    }
    return false;
}

}  // namespace

bool CCostrunDoc::shareLine(CCostrunItemList& items, const CQbField& line, double q,
                            CValueAdjustList& adjustments) {
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

void CCostrunDoc::postDayAdjustments(const CDateTime& day, const CCostrunTxnList& dayTxns) {
    const bool inventoryNeeds = dayLists.inventoryList && dayLists.inventoryList->anyNeedsAdjustment();
    const bool assemblyNeeds = dayLists.assemblyList && dayLists.assemblyList->anyNeedsAdjustment();
    if (!inventoryNeeds && !assemblyNeeds) return;

    // The postings are queued; the day's commit sends them (commitDay).
    for (const auto& record : dayTxns) {
        const CCostrunTxn& txn = *record;
        if (txn.isPending || txn.ret == nullptr) continue;
        switch (txn.txnTypeCode) {
            case kTxnInventoryAdjustment:
                postInventoryAdjustment(day, *txn.ret);
                break;
            case kTxnSalesReceipt:
            case kTxnInvoice:
            case kTxnCreditMemo:
                postSalesAdjustments(day, *txn.ret, txn.txnTypeCode);
                break;
            default:
                break;
        }
    }
}

void CCostrunDoc::postInventoryAdjustment(const CDateTime& day, const CQbObject& txn) {
    const std::string account = txn.getValue("AccountRef", "FullName");
    const std::string className = txn.getValue("ClassRef", "FullName");
    const std::vector<CQbField*> lines = txn.findAll("InventoryAdjustmentLineRet");

    // Only decreases were issues; a missing difference reads as 0 and is no issue.
    CValueAdjustList adjustments;
    for (CCostrunItemList* items : {dayLists.inventoryList.get(), dayLists.assemblyList.get()}) {
        if (items == nullptr) continue;
        for (const CQbField* line : lines) {
            const double difference = line->childFloat("QuantityDifference");
            if (difference < 0.0) shareLine(*items, *line, -difference, adjustments);
        }
    }
    postAdjustList(adjustments, day, account, className, std::string(), false);
}

void CCostrunDoc::postSalesAdjustments(const CDateTime& day, const CQbObject& txn, int typeCode) {
    CSalesLineNames names{};
    if (!salesLineNames(typeCode, names)) return;
    const std::string customer = txn.getValue("CustomerRef", "FullName");
    const bool credit = typeCode == kTxnCreditMemo;
    const std::string typeName = txnTypeName(typeCode);
    const std::string refNumber = txn.getValue("RefNumber");

    const std::vector<CQbField*> directLines = txn.findAll(names.line);
    std::vector<CQbField*> groupLines;
    for (const CQbField* group : txn.findAll(names.group)) {
        for (CQbField* line : group->findChildren(names.line)) groupLines.push_back(line);
    }

    for (std::size_t a = 0; a < runLists.accountList.size(); ++a) {
        if (seenBefore(runLists.accountList, a)) continue;
        const std::string& account = runLists.accountList[a];
        for (std::size_t k = 0; k < runLists.classList.size(); ++k) {
            if (seenBefore(runLists.classList, k)) continue;
            const std::string& className = runLists.classList[k];

            CValueAdjustList adjustments;
            auto share = [&](CCostrunItemList* items, const std::vector<CQbField*>& lines) {
                if (items == nullptr) return;
                for (const CQbField* line : lines) {
                    CCostrunItem* item = items->find(line->grandchildValue("ItemRef", "FullName"));
                    if (item == nullptr || item->cogsAccount != account) continue;
                    if (line->grandchildValue("ClassRef", "FullName") != className) continue;
                    // Shares go by base quantity, as the issued quantity was summed.
                    const std::optional<double> quantity =
                        toBaseQuantity(*item, CLineUnit::of(*line), line->childFloat("Quantity"), typeName, refNumber);
                    if (!quantity) continue;
                    shareLine(*items, *line, credit ? -*quantity : *quantity, adjustments);
                }
            };
            share(dayLists.inventoryList.get(), directLines);
            share(dayLists.assemblyList.get(), directLines);
            share(dayLists.inventoryList.get(), groupLines);
            share(dayLists.assemblyList.get(), groupLines);

            // Without a session nothing more can be queued.
            if (!postAdjustList(adjustments, day, account, className, customer, true)) return;
        }
    }
}

bool CCostrunDoc::postAdjustList(const CValueAdjustList& list, const CDateTime& day,
                                 const std::string& account, const std::string& className,
                                 const std::string& customer, bool sales) {
    if (list.empty()) return true;

    std::vector<std::string> names;
    std::vector<std::string> values;
    list.toArrays(names, values);

    if (sales) {
        logActivity("-- Value adjust account %s for customer %s\n", account.c_str(),
                    customer.c_str());
    } else {
        logActivity("-- Value adjust account %s\n", account.c_str());
    }
    logActivity("Item NewValue\n");
    for (std::size_t i = 0; i < names.size(); ++i) {
        logActivity("%s %s\n", names[i].c_str(), values[i].c_str());
    }

    if (!session) {
        errorText = "The value adjustment could not be posted: no company file is open.";
        return false;
    }
    const std::string memo = kValueAdjustMemo;
    const std::vector<std::string> requests =
        session->valueAdjustmentRequests(day, account, &className, &customer, &memo, names, values);
    const int posting = static_cast<int>(dayLists.dayPostings.size());
    dayLists.dayPostings.push_back(CDayPosting{list, day, requests.size()});
    for (const std::string& request : requests) dayLists.dayWrites.push_back(CDayWrite{request, std::string(), posting, nullptr});
    return true;
}
