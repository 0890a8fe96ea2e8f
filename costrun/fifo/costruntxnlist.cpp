// The date-ordered list of retrieved transactions (see costruntxnlist.h): insertion by
// date with stable order within a date, the build values read from the system's own
// custom field, and the type codes' display names.
#include "costruntxnlist.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <set>
#include <string>

#include "qbfield.h"
#include "qbfieldlist.h"
#include "qbobject.h"
#include "qbobjectlist.h"

CCostrunTxn* CCostrunTxnList::addTxn(int code, const CQbObject* retObject) {
    assert(retObject != nullptr);
    if (retObject == nullptr) return nullptr;

    auto record = std::make_unique<CCostrunTxn>();
    record->txnDate = retObject->getDate("TxnDate");
    record->txnTypeCode = code;
    record->ret = retObject;
    record->isPending = retObject->getBool("IsPending", false);
    record->isVoid = isVoided(*retObject);

    // optional's ordering puts an absent date before every present one; upper_bound
    // finds the first record strictly later, which keeps same-date records in the
    // order they were added.
    const auto position = std::upper_bound(
        records.begin(), records.end(), record->txnDate,
        [](const std::optional<CDateTime>& date, const std::unique_ptr<CCostrunTxn>& other) {
            return date < other->txnDate;
        });
    return records.insert(position, std::move(record))->get();
}

int CCostrunTxnList::addAll(int code, const CQbObjectList* retList) {
    if (retList == nullptr) return 0;
    const int count = retList->getSize();
    for (int i = 0; i < count; ++i) {
        CCostrunTxn* record = addTxn(code, retList->getAt(i));
        if (record == nullptr || code != kTxnBuildAssembly) continue;
        record->buildValue = CBuildValue::of(*record->ret);
    }
    return count;
}

CBuildValue CBuildValue::of(const CQbObject& build) {
    CBuildValue result;
    const CQbField* stored = build.findPrivateDataExt(kBuildValueField);
    if (stored == nullptr) return result;
    result.stored = true;
    const double value = stored->getFloat();
    if (std::isfinite(value)) result.value = value;
    return result;
}

CCostrunTxn* CCostrunTxnList::findBuild(const std::string& txnId) const {
    for (const auto& record : records) {
        if (record->txnTypeCode == kTxnBuildAssembly && record->ret->getValue("TxnID") == txnId) {
            return record.get();
        }
    }
    return nullptr;
}

void CCostrunTxnList::dropProvisionalBuildValues(const std::optional<CDateTime>& committed) {
    for (const auto& record : records) {
        if (record->txnTypeCode == kTxnBuildAssembly) record->buildValue.dropProvisional(record->txnDate, committed);
    }
}

bool CCostrunTxnList::allBuildsSettled() const {
    return std::all_of(records.begin(), records.end(), [](const auto& record) {
        return record->txnTypeCode != kTxnBuildAssembly || !record->movesStock() ||
               record->buildValue.known();
    });
}


CCostrunTxn* CCostrunTxnList::at(std::size_t index) const {
    return index < records.size() ? records[index].get() : nullptr;
}

namespace {

// The elements of a transaction that hold money: QuickBooks zeroes every one of them when
// it voids the transaction.
bool isAmountElement(const std::string& name) {
    static const std::set<std::string> amounts = {
        "Amount",        "TotalAmount",     "TotalAmountInHomeCurrency", "Subtotal",        "SalesTaxTotal",
        "AppliedAmount", "BalanceRemaining", "CreditRemaining",          "AmountDue",       "OpenAmount",
        "CreditAmount",  "ValueDifference"};
    return amounts.count(name) != 0;
}

// True when an amount among the fields (and their children) is other than zero. Linked
// transactions carry the amounts of others, and custom fields are the user's.
bool holdsAmount(const CQbFieldList& fields) {
    for (int i = 0; i < fields.getSize(); ++i) {
        const CQbField* field = fields.getAt(i);
        if (field == nullptr || field->isDataExt() || field->matchesName("LinkedTxn")) continue;
        if (const CQbFieldList* children = field->getChildren(); children != nullptr && field->hasChildren()) {
            if (holdsAmount(*children)) return true;
            continue;
        }
        if (isAmountElement(field->getName()) && !field->getValue().empty() && field->getFloat() != 0.0) return true;
    }
    return false;
}

}  // namespace

bool isVoided(const CQbObject& txn) {
    // A statement charge has no memo: its description carries the mark.
    bool marked = false;
    for (const char* note : {"Memo", "Desc"}) marked = marked || txn.getValue(note).rfind(kVoidMark, 0) == 0;
    return marked && !holdsAmount(txn.getFields());
}

std::vector<CQbField*> groupLines(const CQbObject& txn, const char* lineName, const char* groupName) {
    std::vector<CQbField*> lines;
    if (groupName == nullptr) return lines;
    for (const CQbField* group : txn.findAll(groupName)) {
        for (CQbField* line : group->findChildren(lineName)) lines.push_back(line);
    }
    return lines;
}

std::vector<CQbField*> itemLines(const CQbObject& txn, const char* lineName, const char* groupName) {
    std::vector<CQbField*> lines = txn.findAll(lineName);
    for (CQbField* line : groupLines(txn, lineName, groupName)) lines.push_back(line);
    return lines;
}
