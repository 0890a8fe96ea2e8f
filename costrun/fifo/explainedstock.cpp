// The quantities the transactions a run reads explain (see explainedstock.h).
#include "explainedstock.h"

#include <cmath>

#include "days.h"
#include "qbfield.h"
#include "qbobject.h"
#include "qbutils.h"
#include "txnkinds.h"

std::size_t CExplainedStock::idOf(const std::string& item) {
    const auto [found, added] = ids.emplace(item, quantities.size());
    if (added) {
        quantities.push_back(0.0);
        uncounted.push_back(false);
    }
    return found->second;
}

void CExplainedStock::takeReceipts(const CReceiptRecords& records, const CDateTime& firstDay) {
    const CDateTime from = startOfDay(firstDay);
    for (std::size_t position = records.firstDatedFrom(from); position < records.size(); ++position) {
        const CReceiptRecord& record = records[position];
        if (record.isPending || record.txnTypeCode == kTxnInventoryAdjustment ||
            record.txnTypeCode == kTxnBuildAssembly)
            continue;
        const CDateTime day = startOfDay(*record.txnDate);
        for (const CReceiptLine& line : record.lines) {
            const std::size_t id = idOf(line.item);
            const std::optional<double> ratio = units.ratio(line.item, line.unit);
            if (!ratio) {
                uncounted[id] = true;
                continue;
            }
            receipts.push_back({day, id, (line.isReturn ? -line.quantity : line.quantity) * *ratio});
        }
    }
}

void CExplainedStock::setOpening(const CCostrunItemList& list) {
    for (const auto& item : list) quantities[idOf(item->fullName)] = item->qtyOnHand;
    opened = true;
}

void CExplainedStock::move(const std::string& item, const CLineUnit& unit, double quantity) {
    if (item.empty() || quantity == 0.0) return;
    const std::size_t id = idOf(item);
    const std::optional<double> ratio = units.ratio(item, unit);
    if (ratio) {
        quantities[id] += quantity * *ratio;
    } else {
        uncounted[id] = true;
    }
}

void CExplainedStock::takeTxn(const CCostrunTxn& txn) {
    if (!txn.movesStock() || txn.ret == nullptr) return;
    const CQbObject& ret = *txn.ret;
    const CLineUnit base;
    if (txn.txnTypeCode == kTxnInventoryAdjustment) {
        for (const CQbField* line : ret.findAll("InventoryAdjustmentLineRet"))
            move(line->grandchildValue("ItemRef", "FullName"), base, line->childFloat("QuantityDifference"));
    } else if (txn.txnTypeCode == kTxnBuildAssembly) {
        move(ret.getValue("ItemInventoryAssemblyRef", "FullName"), base, ret.getFloat("QuantityToBuild"));
        for (const CQbField* line : ret.findAll("ComponentItemLineRet"))
            move(line->grandchildValue("ItemRef", "FullName"), base, -line->childFloat("QuantityNeeded"));
    } else if (const CTxnKind* kind = txnKind(txn.txnTypeCode); kind && kind->sale) {
        const double sign = txn.txnTypeCode == kTxnCreditMemo ? 1.0 : -1.0;
        for (const CQbField* line : itemLines(ret, kind->line, kind->group))
            move(line->grandchildValue("ItemRef", "FullName"), CLineUnit::of(*line), sign * line->childFloat("Quantity"));
    }
}

void CExplainedStock::takeDay(const CDateTime& day, const CCostrunTxnList* txns) {
    const CDateTime last = startOfDay(day);
    for (; nextReceipt < receipts.size() && receipts[nextReceipt].day <= last; ++nextReceipt)
        quantities[receipts[nextReceipt].item] += receipts[nextReceipt].quantity;
    if (txns == nullptr) return;
    for (const auto& txn : *txns) takeTxn(*txn);
}

std::optional<double> CExplainedStock::quantity(const std::string& item) const {
    const auto found = ids.find(item);
    if (found == ids.end()) return 0.0;
    if (uncounted[found->second]) return std::nullopt;
    return quantities[found->second];
}

void CExplainedStock::check(CCostrunItemList& list) const {
    if (!opened) return;
    for (const auto& entry : list) {
        CCostrunItem& item = *entry;
        const std::optional<double> explained = quantity(item.fullName);
        if (explained && std::fabs(*explained - item.qtyOnHand) > kResidue)
            item.unreconciled = reason(item.qtyOnHand, *explained);
    }
}

std::string CExplainedStock::reason(double held, double explained) {
    return "QuickBooks holds " + amountText(held) + " on hand, the transactions read explain " +
           amountText(explained) + ": a transaction Lotwise cannot read (a voided or converted one?); nothing was "
                                   "posted for this item";
}
