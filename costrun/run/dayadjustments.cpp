#include "dayadjustments.h"

#include "qbfield.h"
#include "qbobject.h"
#include "txnkinds.h"

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

}  // namespace

void CDayAdjustments::addLineIssues(CCostrunItemList& list, const CQbObject& txn, int typeCode,
                                  const std::vector<CQbField*>& lines, const char* quantityField, double sign) {
    // Adds sign × each line's quantity (in the item's base unit) to the issued quantity of
    // the line's item. A missing quantity reads as 0; a line whose unit cannot be read
    // adds nothing and leaves its item unvalued.
    const std::string typeName = txnTypeName(typeCode);
    const std::string refNumber = txn.getValue("RefNumber");
    for (const CQbField* line : lines) {
        CCostrunItem* item = list.find(line->grandchildValue("ItemRef", "FullName"));
        if (item == nullptr) continue;
        const std::optional<double> quantity =
            walk.baseQuantity(*item, CLineUnit::of(*line), line->childFloat(quantityField), typeName, refNumber);
        if (quantity) item->issuedQty += sign * *quantity;
    }
}

void CDayAdjustments::sumIssues(CCostrunItemList& list, const CCostrunTxnList& txns) {
    for (const auto& record : txns) {
        const CCostrunTxn& txn = *record;
        if (!txn.movesStock() || txn.ret == nullptr) continue;
        const CQbObject& ret = *txn.ret;
        const int code = txn.txnTypeCode;
        if (code == kTxnInventoryAdjustment) {
            // Only decreases are issues; they count as positive quantities.
            for (const CQbField* line : ret.findAll("InventoryAdjustmentLineRet")) {
                const double difference = line->childFloat("QuantityDifference");
                if (difference >= 0.0) continue;
                CCostrunItem* item = list.find(line->grandchildValue("ItemRef", "FullName"));
                if (item != nullptr) item->issuedQty -= difference;
            }
        } else if (code == kTxnBuildAssembly) {
            addLineIssues(list, ret, code, ret.findAll("ComponentItemLineRet"), "QuantityNeeded", 1.0);
        } else if (const CTxnKind* kind = txnKind(code); kind && kind->sale) {
            addLineIssues(list, ret, code, itemLines(ret, kind->line, kind->group), "Quantity",
                          code == kTxnCreditMemo ? -1.0 : 1.0);
        }
    }
    logNewValues(list);
}

void CDayAdjustments::logNewValues(const CCostrunItemList& list) {
    log.log("-- New item value\n");
    log.log("Item Cost Account\n");
    for (const auto& entry : list) {
        const CCostrunItem& item = *entry;
        if (item.isComplete()) {
            log.log("%s %f %s\n", item.fullName.c_str(), static_cast<double>(item.onHandValue),
                    item.cogsAccount.c_str());
        } else {
            log.log("%s cannot find all item receipts\n", item.fullName.c_str());
        }
    }
}


bool CDayAdjustments::shareLine(CCostrunItemList& items, const CQbField& line, double q, CValueAdjustList& adjustments) {
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

void CDayAdjustments::postIssues(const CDateTime& day, const CCostrunTxnList& txns, CCostrunItemList* inventory,
                                 CCostrunItemList* assemblies) {
    const bool inventoryNeeds = inventory && inventory->anyNeedsAdjustment();
    const bool assemblyNeeds = assemblies && assemblies->anyNeedsAdjustment();
    if (!inventoryNeeds && !assemblyNeeds) return;
    // The postings are queued; the day's commit sends them.
    for (const auto& record : txns) {
        const CCostrunTxn& txn = *record;
        if (!txn.movesStock() || txn.ret == nullptr) continue;
        if (txn.txnTypeCode == kTxnInventoryAdjustment) {
            postInventoryAdjustment(day, *txn.ret, inventory, assemblies);
        } else if (const CTxnKind* kind = txnKind(txn.txnTypeCode); kind && kind->sale) {
            postSales(day, *txn.ret, txn.txnTypeCode, inventory, assemblies);
        }
    }
}

void CDayAdjustments::postInventoryAdjustment(const CDateTime& day, const CQbObject& txn, CCostrunItemList* inventory,
                                              CCostrunItemList* assemblies) {
    const std::vector<CQbField*> lines = txn.findAll("InventoryAdjustmentLineRet");
    // Only decreases were issues; a missing difference reads as 0 and is no issue.
    CValueAdjustList adjustments;
    for (CCostrunItemList* items : {inventory, assemblies}) {
        if (items == nullptr) continue;
        for (const CQbField* line : lines) {
            const double difference = line->childFloat("QuantityDifference");
            if (difference < 0.0) shareLine(*items, *line, -difference, adjustments);
        }
    }
    post(adjustments, day, txn.getValue("AccountRef", "FullName"), txn.getValue("ClassRef", "FullName"), std::string(),
         false);
}

void CDayAdjustments::postSales(const CDateTime& day, const CQbObject& txn, int typeCode, CCostrunItemList* inventory,
                                CCostrunItemList* assemblies) {
    const CTxnKind& kind = *txnKind(typeCode);
    const std::string customer = txn.getValue("CustomerRef", "FullName");
    const std::string refNumber = txn.getValue("RefNumber");
    const std::vector<CQbField*> directLines = txn.findAll(kind.line);
    const std::vector<CQbField*> grouped = groupLines(txn, kind.line, kind.group);
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
            share(inventory, directLines);
            share(assemblies, directLines);
            share(inventory, grouped);
            share(assemblies, grouped);
            post(adjustments, day, accounts[a], classes[k], customer, true);
        }
    }
}

void CDayAdjustments::post(const CValueAdjustList& list, const CDateTime& day, const std::string& account,
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
    commit.queuePosting(list, day, account, className, customer);
}

void CDayAdjustments::postBuildTransfer(const CDateTime& day, const CQbObject& build, CCostrunItemList* inventory,
                                        CCostrunItemList& assemblies) {
    CCostrunItem* assembly = assemblies.find(build.getValue("ItemInventoryAssemblyRef", "FullName"));
    if (assembly == nullptr) return;
    CValueAdjustList adjustments;
    for (const CQbField* line : build.findAll("ComponentItemLineRet")) {
        const double needed = line->childFloat("QuantityNeeded");
        if (inventory) shareLine(*inventory, *line, needed, adjustments);
        shareLine(assemblies, *line, needed, adjustments);
    }
    const double total = -1.0 * adjustments.sumAmounts();
    assembly->startRunningValue();
    adjustments.add(assembly->fullName, assembly->newValue, total);
    assembly->adjustedValue += total;
    assembly->newValue += total;
    post(adjustments, day, assembly->assetAccount, std::string(), std::string(), false);
}
