#include "receiptwalk.h"

#include <algorithm>
#include <iterator>

#include "days.h"
#include "itempo.h"
#include "txnkinds.h"

CReceiptWalk::CReceiptWalk(const CCostrunUnits& units, CStockFigures& figures, std::optional<CDateTime> startDate,
                           bool multiCurrency, std::function<void(const std::string&)> note)
    : units(units), figures(figures), startDate(startDate), multiCurrency(multiCurrency), note(std::move(note)) {}

double CReceiptWalk::rate(double exchangeRate) const {
    if (!multiCurrency) return 1.0;
    // A missing rate reads as -1.0, which would turn the lots negative; like a rate of 0
    // it means the transaction is in the home currency.
    return exchangeRate > 0.0 ? exchangeRate : 1.0;
}

std::optional<double> CReceiptWalk::baseQuantity(CCostrunItem& item, const CLineUnit& unit, double quantity,
                                                 const std::string& txnType, const std::string& refNumber) {
    // A line entered in the item's former unit set may name a unit of the same name at
    // another ratio: it is not counted with the new one.
    if (!unit.setChanged.empty()) {
        if (item.unreadUnit.empty()) {
            item.unreadUnit = unit.setChanged + "; a line of " + txnType + " " + refNumber +
                              " read again cannot be counted as it was entered";
            if (note) note(item.fullName + ": " + item.unreadUnit);
        }
        return std::nullopt;
    }
    const std::optional<double> ratio = units.ratio(item.fullName, unit);
    if (ratio) return quantity * *ratio;
    if (item.unreadUnit.empty()) {
        item.unreadUnit = "a line of " + txnType + " " + refNumber + " is in the unit \"" + unit.name +
                          "\", which its unit of measure set does not hold";
        if (note) note(item.fullName + ": " + item.unreadUnit);
    }
    return std::nullopt;
}

void CReceiptWalk::index() {
    byItem.clear();
    for (std::size_t position = 0; position < receipts.size(); ++position) {
        CReceiptRecord& record = receipts[position];
        if (record.txnTypeCode == kTxnBuildAssembly) {
            byItem[record.assembly].push_back({position, std::nullopt});
            continue;
        }
        // Lines in the order the record's lots are taken, then its value changes.
        for (CReceiptLine& line : record.lines) byItem[line.item].push_back({position, std::move(line)});
        for (const CReceiptValueChange& change : record.valueChanges) indexValueChange(position, change);
        std::vector<CReceiptLine>().swap(record.lines);
        std::vector<CReceiptValueChange>().swap(record.valueChanges);
    }
}

void CReceiptWalk::indexValueChange(std::size_t position, const CReceiptValueChange& change) {
    // An amount that changes the value of an item without bringing in units goes to the
    // record's own lots of the item, in proportion to their quantities, or else becomes a
    // value change of the item's stock on hand at the record's date.
    const double amount = change.amount;
    CEntries& entries = byItem[change.item];
    double units = 0.0;
    for (auto e = entries.rbegin(); e != entries.rend() && e->record == position; ++e) {
        if (e->line && !e->line->isReturn && e->line->quantity > 0.0) units += e->line->quantity;
    }
    if (!(units > 0.0) || change.onUnitsBefore) {
        entries.push_back({position, std::nullopt, amount, change.onUnitsBefore ? units : 0.0});
        return;
    }
    for (auto e = entries.rbegin(); e != entries.rend() && e->record == position; ++e) {
        if (e->line && !e->line->isReturn && e->line->quantity > 0.0)
            e->line->amount += amount * e->line->quantity / units;
    }
}

void CReceiptWalk::collectLots(CCostrunItemList& list, const CDateTime& day, const std::string& itemType) {
    // Each item takes lots from its own receiving lines, newest record first and the
    // lines of one record in their order, until it is complete; a lot only ever fills
    // the item it names, so following item by item gives every item the lots a walk over
    // all records together would. Records are in date order: those before `before` are
    // dated before the day (or undated, which the walk passes over).
    const std::size_t before = receipts.firstDatedFrom(day);
    for (const auto& owned : list) {
        CCostrunItem& item = *owned;
        if (!item.active || item.isComplete()) continue;
        // Lines are matched to items by name, and a name finds the first item holding it.
        if (list.find(item.fullName) != &item) continue;
        walkItem(list, item, before, day, itemType);
    }
    if (!list.allReceiptsFound()) addOpeningLots(list, itemType);
}

void CReceiptWalk::walkItem(CCostrunItemList& list, CCostrunItem& item, std::size_t before, const CDateTime& day,
                            const std::string& itemType) {
    const auto entries = byItem.find(item.fullName);
    if (entries == byItem.end()) return;
    const CEntries& lines = entries->second;
    auto end = std::lower_bound(lines.begin(), lines.end(), before,
                                [](const CEntry& e, std::size_t position) { return e.record < position; });
    while (end != lines.begin() && !item.isComplete()) {
        auto start = std::prev(end);
        while (start != lines.begin() && std::prev(start)->record == start->record) --start;
        const CReceiptRecord& record = receipts[start->record];
        if (record.txnDate && *record.txnDate < day && !record.isPending)
            takeRecord(list, item, record, start, end, day, itemType);
        end = start;
    }
}

void CReceiptWalk::takeRecord(CCostrunItemList& list, CCostrunItem& item, const CReceiptRecord& record,
                              CEntries::const_iterator first, CEntries::const_iterator last, const CDateTime& day,
                              const std::string& itemType) {
    if (record.txnTypeCode == kTxnBuildAssembly) {
        buildLot(record, list);
        return;
    }
    const double lineRate = record.txnTypeCode == kTxnInventoryAdjustment ? 1.0 : rate(record.exchangeRate);
    const std::string typeName = txnTypeName(record.txnTypeCode);
    // The record's returns come out of its own receipts and the older ones.
    takeReturns(item, record, first, last, lineRate);
    for (auto e = first; e != last; ++e) {
        if (e->valueChange) {
            // The item's units on hand at the end of the change's date (QuickBooks'
            // quantity; the day's own for `day`), less those the record brings in itself,
            // carry it alike.
            const double quantity = (startOfDay(*record.txnDate) == startOfDay(day)
                                         ? item.qtyOnHand
                                         : figures.quantityAtEndOf(*record.txnDate, itemType, item.fullName)) -
                                    e->ownUnits;
            const double amount = *e->valueChange * lineRate;
            if (amount < 0.0) {
                item.valueTakenOffBy = typeName + (record.refNumber.empty() ? "" : " " + record.refNumber) +
                                       " of " + record.txnDate->userDateText();
                // Value taken off no units at all has no cost to come out of.
                if (!(quantity > 0.0)) item.leaveUncarried(amount);
            }
            item.valueShares.add(amount, quantity);
            continue;
        }
        placeLot(list, *e->line, record.txnDate, record.refNumber, typeName, lineRate);
    }
}

void CReceiptWalk::takeReturns(CCostrunItem& item, const CReceiptRecord& record, CEntries::const_iterator first,
                               CEntries::const_iterator last, double lineRate) {
    // The returns take their units out of the older receipts the walk meets next; their
    // lines stand in the item's lots with negative quantities, at the return's own cost.
    const std::string typeName = txnTypeName(record.txnTypeCode);
    for (auto e = first; e != last; ++e) {
        if (!e->line || !e->line->isReturn || item.isComplete()) continue;
        const std::optional<double> base =
            baseQuantity(item, e->line->unit, e->line->quantity, typeName, record.refNumber);
        if (!base || !(*base > 0.0)) continue;
        const double units = *base;
        item.returnedQty += units;
        auto line = std::make_unique<CItemPo>(typeName, record.refNumber, record.txnDate,
                                              e->line->amount * lineRate / units);
        line->qty = -units;
        item.addLot(std::move(line));
    }
}

void CReceiptWalk::placeLot(CCostrunItemList& list, const CReceiptLine& line, const std::optional<CDateTime>& txnDate,
                            const std::string& refNumber, const std::string& typeName, double lineRate) {
    if (line.isReturn) return;  // no lot: see takeReturns
    const double amount = line.amount * lineRate;
    CCostrunItem* item = list.find(line.item);
    if (item == nullptr || !item->active || item->isComplete()) return;
    const std::optional<double> base = baseQuantity(*item, line.unit, line.quantity, typeName, refNumber);
    if (!base) return;

    auto lot = std::make_unique<CItemPo>();
    lot->txnDate = txnDate;
    lot->refNumber = refNumber;
    lot->txnType = typeName;
    lot->itemCost = amount / *base;
    item->takeLot(amount, *base, *lot);
    item->addLot(std::move(lot));
}

void CReceiptWalk::buildLot(const CReceiptRecord& build, CCostrunItemList& list) {
    if (!build.buildValue.known() || build.isPending) return;
    const double quantity = build.quantityToBuild;
    CCostrunItem* item = list.find(build.assembly);
    if (quantity <= 0.0 || item == nullptr || !item->active || item->isComplete()) return;
    auto lot = std::make_unique<CItemPo>(txnTypeName(kTxnBuildAssembly), build.refNumber, build.txnDate,
                                         build.buildValue.amount() / quantity);
    item->takeLot(build.buildValue.amount(), quantity, *lot);
    item->addLot(std::move(lot));
}

void CReceiptWalk::addOpeningLots(CCostrunItemList& list, const std::string& itemType) {
    if (!startDate) return;
    const CDateTime date = previousDay(*startDate);
    const CCostrunItemList& opening = figures.openingStock(itemType);
    for (const auto& item : list) {
        if (!item->active || item->isComplete()) continue;
        const CCostrunItem* before = opening.find(item->fullName);
        if (before == nullptr || before->qtyOnHand <= 0.0) continue;
        item->placeOpeningLot(before->qbValue, before->qtyOnHand, date);
    }
}
