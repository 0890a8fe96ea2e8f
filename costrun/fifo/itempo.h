// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// One FIFO lot: the part of one receiving line (bill, check, item receipt, positive
// inventory adjustment, valued build, or the opening position before FIFO valuation
// began) that an item's ledger used for one valuation day. A return to a vendor met in
// the walk is kept among the lots as a line of negative quantity, for the report. A lot is a plain record;
// the item that placed it owns it.
#pragma once

#include <optional>
#include <string>

#include "datetime.h"

class CItemPo {
public:
    CItemPo() = default;
    CItemPo(std::string type, std::string ref, std::optional<CDateTime> date, double cost)
        : txnType(std::move(type)), refNumber(std::move(ref)), txnDate(date), itemCost(cost) {}

    // Display name of the source transaction's type ("Bill", "Check", "Item Receipt",
    // "Inventory Adjustment", "Build Assembly", or "Before FIFO" for the opening lot).
    std::string txnType;
    // The source transaction's RefNumber; empty for the opening lot.
    std::string refNumber;
    std::optional<CDateTime> txnDate;
    // Units of the lot lying in the on-hand layer; 0 when all of it went to the reserved
    // layer. Set by CCostrunItem::takeLot.
    double qty = 0.0;
    // Unit cost: the line's amount divided by its quantity, set before the lot is placed.
    double itemCost = 0.0;
    // Returns to the vendor dated after the lot took all of it back before it was placed
    // (CCostrunItem::takeLot); such a lot is not kept.
    bool takenBack = false;
};
