// Value changes spread over the units on hand when they were made (see valueshares.h).
#include "valueshares.h"

#include <algorithm>

void CValueShares::add(double amount, double quantity) {
    if (!(quantity > 0.0) || amount == 0.0) return;
    pending.push_back({amount / quantity, quantity, amount});
}

double CValueShares::take(double units) {
    if (!(units > 0.0)) return 0.0;
    double value = 0.0;
    for (CShare& share : pending) {
        const double covered = std::min(units, share.unitsLeft);
        // The last units of a change take exactly what is left of it, so that its units
        // carry the whole amount whatever the rounding of perUnit.
        const double part = covered == share.unitsLeft ? share.amountLeft : share.perUnit * covered;
        value += part;
        share.amountLeft -= part;
        share.unitsLeft -= covered;
    }
    std::erase_if(pending, [](const CShare& share) { return !(share.unitsLeft > 0.0); });
    return value;
}
