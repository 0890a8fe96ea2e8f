// Value adjustment lists.
#include "valueadjust.h"

#include "qbutils.h"

void CValueAdjustList::add(const std::string& name, double priorValue, double amount) {
    for (CValueAdjust& entry : entries) {
        if (entry.itemName == name) {
            entry.amount += amount;
            return;
        }
    }
    entries.push_back(CValueAdjust{name, amount, priorValue});
}

double CValueAdjustList::sumAmounts() const {
    double sum = 0.0;
    for (const CValueAdjust& entry : entries) sum += entry.amount;
    return sum;
}

void CValueAdjustList::toArrays(std::vector<std::string>& names,
                                std::vector<std::string>& values) const {
    names.clear();
    values.clear();
    for (const CValueAdjust& entry : entries) {
        names.push_back(entry.itemName);
        values.push_back(amountText(entry.priorValue + entry.amount));
    }
}
