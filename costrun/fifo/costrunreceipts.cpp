// The run's receiving transactions in the compact form a run keeps (see
// costrunreceipts.h): what each parsed record gives the walk, and the index of their
// lines by item that the days' walks follow.
#include "costrunreceipts.h"

#include <algorithm>
#include <limits>

#include "qbfield.h"
#include "qbfieldlist.h"
#include "qbobject.h"
#include "qbobjectlist.h"

namespace {

// A whole number written in decimal digits alone; none otherwise.
std::optional<long long> wholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    long long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number;
}

// The lines that change the item's value without bringing in units: an item and an
// amount, and no quantity or 0 (a missing number reads as -1.0, so only a quantity that
// is there counts); an amount of 0 changes nothing.
void takeValueChanges(CReceiptRecord& record, const std::vector<CQbField*>& lines, const char* quantityField,
                      const char* amountField, double sign) {
    for (const CQbField* line : lines) {
        const CQbFieldList* fields = line->getChildren();
        if (fields == nullptr || !fields->has("ItemRef") || !fields->has(amountField)) continue;
        if (fields->has(quantityField) && fields->getFloat(quantityField) != 0.0) continue;
        const double amount = sign * fields->getFloat(amountField);
        if (amount == 0.0) continue;
        record.valueChanges.push_back(
            {line->grandchildValue("ItemRef", "FullName"), amount, false, line->grandchildValue("ItemRef", "ListID")});
    }
}

// A purchase's or credit's item lines, direct and grouped, and its value changes.
void takePurchase(CReceiptRecord& record, const CQbObject& ret, const CTxnKind& kind) {
    // Receipts and returns to the vendor alike.
    for (const CQbField* line : itemLines(ret, kind.line, kind.group)) {
        auto read = readPurchaseLine(*line, kind.code);
        if (!read) continue;
        if (read->isReturn) record.returnedItems.push_back(read->item);
        record.lines.push_back(std::move(*read));
    }
    // An amount without a quantity on a credit takes value out.
    takeValueChanges(record, ret.findAll(kind.line), "Quantity", "Amount", kind.credit ? -1.0 : 1.0);
}

}  // namespace

CReceiptRecord CReceiptRecords::take(int code, const CQbObject& ret) {
    CReceiptRecord record;
    record.txnDate = ret.getDate("TxnDate");
    record.txnTypeCode = code;
    record.isPending = ret.getBool("IsPending", false);
    record.txnId = ret.getValue("TxnID");
    record.refNumber = ret.getValue("RefNumber");
    if (const std::optional<long long> number = wholeNumber(ret.getValue("TxnNumber"))) record.txnNumber = *number;
    record.txnDateText = ret.getValue("TxnDate");
    record.editSequence = ret.getValue("EditSequence");
    record.exchangeRate = ret.getFloat("ExchangeRate");
    // A voided transaction stays in the record of what was read, but brings nothing in
    // and takes nothing out.
    if (isVoided(ret)) return record;
    switch (code) {
        case kTxnBuildAssembly: {
            record.assembly = ret.getValue("ItemInventoryAssemblyRef", "FullName");
            record.assemblyId = ret.getValue("ItemInventoryAssemblyRef", "ListID");
            record.quantityToBuild = ret.getFloat("QuantityToBuild");
            record.buildValue = CBuildValue::of(ret);
            break;
        }
        case kTxnInventoryAdjustment: {
            const std::vector<CQbField*> lines = ret.findAll("InventoryAdjustmentLineRet");
            for (const CQbField* line : lines) {
                auto read = readReceiptLine(*line, "QuantityDifference", "ValueDifference");
                if (!read) continue;
                // Units counted in with their value lowered: a lot of a negative cost would
                // outlive the units it was meant for, so the units come in at no cost and
                // the value comes off those already on hand, like an owner's write-down.
                if (read->amount < 0.0) {
                    record.valueChanges.push_back({read->item, read->amount, true, read->itemId});
                    read->amount = 0.0;
                }
                record.lines.push_back(std::move(*read));
            }
            takeValueChanges(record, lines, "QuantityDifference", "ValueDifference", 1.0);
            break;
        }
        default:
            if (const CTxnKind* kind = txnKind(code); kind && kind->purchaseProgress != nullptr) takePurchase(record, ret, *kind);
            break;
    }
    return record;
}


int CReceiptRecords::addAll(int code, const CQbObjectList* retList) {
    if (retList == nullptr) return 0;
    const int count = retList->getSize();
    std::vector<CReceiptRecord> taken;
    taken.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) taken.push_back(take(code, *retList->getAt(i)));
    addTaken(std::move(taken));
    return count;
}

void CReceiptRecords::addTaken(std::vector<CReceiptRecord> taken) {
    records.reserve(records.size() + taken.size());
    for (CReceiptRecord& record : taken) records.push_back(std::move(record));
    // A stable sort keeps the records of one date, type and number in the order they were
    // added; optional's ordering puts undated records first.
    auto entered = [](const CReceiptRecord& record) {
        return record.txnNumber < 0 ? std::numeric_limits<long long>::max() : record.txnNumber;
    };
    std::stable_sort(records.begin(), records.end(), [&](const CReceiptRecord& a, const CReceiptRecord& b) {
        if (a.txnDate != b.txnDate) return a.txnDate < b.txnDate;
        if (walkRank(a.txnTypeCode) != walkRank(b.txnTypeCode)) return walkRank(a.txnTypeCode) < walkRank(b.txnTypeCode);
        return entered(a) < entered(b);
    });
    buildsIndexed = false;
}

CReceiptRecord* CReceiptRecords::findBuild(const std::string& txnId) {
    if (!buildsIndexed) {
        builds.clear();
        for (std::size_t position = 0; position < records.size(); ++position) {
            if (records[position].txnTypeCode == kTxnBuildAssembly) builds.emplace(records[position].txnId, position);
        }
        buildsIndexed = true;
    }
    const auto found = builds.find(txnId);
    return found == builds.end() ? nullptr : &records[found->second];
}

void CReceiptRecords::dropProvisionalBuildValues(const std::optional<CDateTime>& committed) {
    for (CReceiptRecord& record : records) {
        if (record.txnTypeCode == kTxnBuildAssembly) record.buildValue.dropProvisional(record.txnDate, committed);
    }
}

std::size_t CReceiptRecords::firstDatedFrom(const CDateTime& date) const {
    const std::optional<CDateTime> from = date;
    return static_cast<std::size_t>(
        std::lower_bound(records.begin(), records.end(), from,
                         [](const CReceiptRecord& record, const std::optional<CDateTime>& d) { return record.txnDate < d; }) -
        records.begin());
}

std::pair<std::size_t, std::size_t> CReceiptRecords::datedWithin(const CDateTime& from, const CDateTime& to) const {
    const std::optional<CDateTime> last = to;
    const auto end = std::upper_bound(
        records.begin(), records.end(), last,
        [](const std::optional<CDateTime>& d, const CReceiptRecord& record) { return d < record.txnDate; });
    const std::size_t first = firstDatedFrom(from);
    return {first, std::max(first, static_cast<std::size_t>(end - records.begin()))};
}

std::optional<CReceiptLine> readReceiptLine(const CQbField& line, const std::string& quantityField,
                                            const std::string& amountField) {
    const CQbFieldList* fields = line.getChildren();
    if (fields == nullptr || fields->getSize() == 0) return std::nullopt;
    CReceiptLine read;
    read.quantity = fields->getFloat(quantityField);
    if (!(read.quantity > 0.0)) return std::nullopt;
    if (!fields->has("ItemRef")) return std::nullopt;
    read.item = line.grandchildValue("ItemRef", "FullName");
    read.itemId = line.grandchildValue("ItemRef", "ListID");
    // A line without an amount carries no value (not the -1.0 of a missing number).
    read.amount = line.childFloat(amountField);
    read.unit = CLineUnit::of(line);
    return read;
}

std::optional<CReceiptLine> readPurchaseLine(const CQbField& line, int txnTypeCode) {
    const bool credit = isCredit(txnTypeCode);
    if (!credit) {
        if (auto receipt = readReceiptLine(line, "Quantity", "Amount")) return receipt;
    }
    const CQbFieldList* fields = line.getChildren();
    if (fields == nullptr || !fields->has("Quantity") || !fields->has("ItemRef")) return std::nullopt;
    const double quantity = fields->getFloat("Quantity");
    const double amount = line.childFloat("Amount");
    CReceiptLine read;
    read.item = line.grandchildValue("ItemRef", "FullName");
    read.itemId = line.grandchildValue("ItemRef", "ListID");
    read.unit = CLineUnit::of(line);
    if (credit) {
        // A credit's positive quantity goes back to the vendor; a negative one is a
        // receipt.
        read.isReturn = quantity > 0.0;
        read.quantity = read.isReturn ? quantity : -quantity;
        read.amount = read.isReturn ? amount : -amount;
        if (!(read.quantity > 0.0)) return std::nullopt;
        return read;
    }
    // A purchase line of negative quantity returns units.
    if (!(quantity < 0.0)) return std::nullopt;
    read.isReturn = true;
    read.quantity = -quantity;
    read.amount = -amount;
    return read;
}
