// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// The value changes the day's FIFO walk has met for one item: a value adjustment the
// owner posted, or an amount billed on the item without a quantity (freight, a rebate)
// on a transaction that brings in none of the item. Such a change of `amount` made when
// `quantity` units were on hand falls on those units alike, amount / quantity each. The
// walk goes newest first, so every unit it places after meeting the change is older and
// was on hand then: it carries the share, up to the `quantity` units the change was
// spread over, so that no change is ever carried twice (the reserved units of a build
// dated on the change's own day lie beyond the quantity at the end of that day). The
// ledger spreads what one lot carries alike over the lot's placed units. Not
// thread-safe; lives with the item's ledger for one day.
#pragma once

#include <vector>

class CValueShares {
public:
    // Notes a change of `amount` spread over `quantity` units; nothing when quantity is
    // not positive (no units were on hand to carry it) or the amount is 0.
    void add(double amount, double quantity);
    // The value the next `units` units placed carry in all, and counts them placed.
    double take(double units);
    bool empty() const { return pending.empty(); }

private:
    struct CShare {
        double perUnit;
        double unitsLeft;
        double amountLeft;
    };
    std::vector<CShare> pending;
};
