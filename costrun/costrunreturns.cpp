// Goods returned to vendors. A vendor credit or credit card credit, and a purchase line
// of negative quantity, send units back: the FIFO walk, going from the newest record
// back, meets the return before the receipts it came out of, and the item skips that
// many units of the receipts that follow (the last purchase first) at their own unit
// cost, reaching into the opening lot when the receipts since the start date hold too
// few. QuickBooks moves the credit's own amount out; the difference is corrected on the
// next day the item is valued, like any other. A return that finds nothing to come out
// of leaves the item unvalued (see noteDayItems).
#include "costrundoc.h"
#include "qbfield.h"

namespace {

bool isCredit(int txnTypeCode) {
    return txnTypeCode == kTxnVendorCredit || txnTypeCode == kTxnCreditCardCredit;
}

}  // namespace

std::optional<CCostrunDoc::CReceiptLine> CCostrunDoc::readPurchaseLine(const CQbField& line, int txnTypeCode) {
    if (!isCredit(txnTypeCode)) {
        if (auto receipt = readReceiptLine(line, "Quantity", "Amount")) return receipt;
    }
    // Only a quantity that is there counts: a missing one reads as -1.0, and a line
    // without one (an amount alone) moves no units.
    const CQbFieldList* fields = line.getChildren();
    if (fields == nullptr || !fields->has("Quantity") || !fields->has("ItemRef")) return std::nullopt;
    const double quantity = fields->getFloat("Quantity");
    const double amount = line.childFloat("Amount");
    CReceiptLine read;
    read.item = line.grandchildValue("ItemRef", "FullName");
    read.unit = CLineUnit::of(line);
    if (isCredit(txnTypeCode)) {
        // A credit's line sends its quantity back; one of negative quantity, a credit
        // taken back, brings units in like a purchase.
        read.isReturn = quantity > 0.0;
        read.quantity = read.isReturn ? quantity : -quantity;
        read.amount = read.isReturn ? amount : -amount;
        if (!(read.quantity > 0.0)) return std::nullopt;
        return read;
    }
    if (!(quantity < 0.0)) return std::nullopt;
    read.isReturn = true;
    read.quantity = -quantity;
    read.amount = -amount;
    return read;
}

void CCostrunDoc::takeReturns(CCostrunItem& item, const CReceiptRecord& record,
                              std::vector<CReceiptEntry>::const_iterator first,
                              std::vector<CReceiptEntry>::const_iterator last, double rate) {
    const std::string& refNumber = record.refNumber;
    for (auto e = first; e != last; ++e) {
        if (!e->line || !e->line->isReturn || item.isComplete()) continue;
        const std::optional<double> base =
            toBaseQuantity(item, e->line->unit, e->line->quantity, txnTypeName(record.txnTypeCode), refNumber);
        if (!base || !(*base > 0.0)) continue;
        const double units = *base;
        item.returnedQty += units;
        auto line = std::make_unique<CItemPo>(txnTypeName(record.txnTypeCode), refNumber, record.txnDate,
                                              e->line->amount * rate / units);
        line->qty = -units;
        item.addLot(std::move(line));
    }
}
