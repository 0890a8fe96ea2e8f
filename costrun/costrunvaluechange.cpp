// Value changes in the FIFO walk: amounts that change what an item's stock is worth
// without bringing in units. The owner's value adjustments and amounts billed on the item
// without a quantity (freight, a rebate) on a transaction that brings in none of it are
// spread over the units on hand at the end of their day, each unit alike; an amount
// billed beside the item's own units goes to those units. Later issues consume the lots
// at the cost so changed, so the next day's correction does not undo the change.
//
// The quantity a change is spread over is QuickBooks' quantity at the end of its day:
// the units issued that day are taken to have left before the change, and the units
// received that day to have come in before it. A lot that goes partly into the day's
// builds carries its part of the change alike on all its units.
#include <string>
#include <vector>

#include "costrundoc.h"
#include "qbutils.h"

void CCostrunDoc::indexValueChange(std::size_t position, const CReceiptValueChange& change) {
    const double amount = change.amount;
    std::vector<CReceiptEntry>& entries = runLists.receiptIndex[change.item];
    double units = 0.0;
    for (auto e = entries.rbegin(); e != entries.rend() && e->record == position; ++e) {
        if (e->line && !e->line->isReturn && e->line->quantity > 0.0) units += e->line->quantity;
    }
    if (!(units > 0.0)) {
        entries.push_back({position, std::nullopt, amount});
        return;
    }
    for (auto e = entries.rbegin(); e != entries.rend() && e->record == position; ++e) {
        if (e->line && !e->line->isReturn && e->line->quantity > 0.0) e->line->amount += amount * e->line->quantity / units;
    }
}

void CCostrunDoc::shareValueChange(CCostrunItem& item, const CDateTime& date, double amount,
                                   const CDateTime& day, const std::string& itemType) {
    const double quantity =
        startOfDay(date) == startOfDay(day) ? item.qtyOnHand : quantityAtEndOf(date, itemType, item.fullName);
    item.valueShares.add(amount, quantity);
}

double CCostrunDoc::quantityAtEndOf(const CDateTime& date, const std::string& itemType,
                                    const std::string& item) {
    const std::string key = itemType + " " + dateText(date);
    auto found = runLists.changeDayQuantities.find(key);
    if (found == runLists.changeDayQuantities.end()) {
        // Kept only once read: a refusal throws, and the next run asks again.
        auto list = std::make_unique<CCostrunItemList>();
        if (!readValuationReport(*list, endOfDay(date), itemType)) return 0.0;
        found = runLists.changeDayQuantities.emplace(key, std::move(list)).first;
    }
    const CCostrunItem* entry = found->second->find(item);
    return entry ? entry->qtyOnHand : 0.0;
}
