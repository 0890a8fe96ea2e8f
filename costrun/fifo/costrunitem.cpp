// The per-item FIFO ledger (see costrunitem.h): completeness, the 0.02 thresholds and
// the placing of lots into the on-hand and reserved layers.
#include "costrunitem.h"

#include <cmath>

#include <algorithm>

namespace {

// A difference of two amounts in cents, such as 100.02 - 100.00, comes out a few units
// of the last place below 0.02 in binary; the tolerance lets it count, as a difference
// of two cents must, while 0.0199 still does not.
constexpr double kThresholdTolerance = 1e-7;

bool atLeastThreshold(double difference) {
    return std::fabs(difference) >= CCostrunItem::kValueThreshold - kThresholdTolerance;
}

// amount * part / whole, multiplied before dividing, so that a lot that lands whole in
// one layer gives exactly `amount`.
double share(double amount, double part, double whole) {
    return amount * part / whole;
}

}  // namespace

bool CCostrunItem::isComplete() const {
    if (!unreadUnit.empty() || !unreconciled.empty()) return false;
    const double layers = onHandLayer() + reservedQty;
    return layers <= collectedQty;
}

bool CCostrunItem::valueDiffers() const {
    const double difference = qbValue - onHandValue;
    return atLeastThreshold(difference);
}

bool CCostrunItem::hasAdjustment() const {
    return atLeastThreshold(adjustedValue);
}

bool CCostrunItem::carriesValueWithoutUnits() const {
    return std::fabs(qtyOnHand) < kIssuedQtyResidue && atLeastThreshold(qbValue);
}

bool CCostrunItem::needsAdjustment() const {
    if (qtyOnHand <= 0.0 && builtQty <= 0.0) return false;
    // QuickBooks quantities carry at most five decimals, so a smaller net issue is the
    // rounding residue of sales and returns that cancel out. Sharing a value gap over it
    // would post absurdly large line shares.
    if (std::fabs(issuedQty) < kIssuedQtyResidue) return false;
    return valueDiffers() || hasAdjustment();
}

void CCostrunItem::takeLot(double amount, double quantity, CItemPo& lot) {
    lot.qty = 0.0;
    // Outside the preconditions nothing is placed: a complete item would otherwise have
    // collectedQty pulled back to its layer size, and a zero quantity would divide.
    if (!(quantity > 0.0) || isComplete()) return;
    if (!takeOutReturned(amount, quantity, lot)) return;

    const double onHand = onHandLayer();
    const double reserved = reservedQty;
    const double collected = collectedQty;
    if (!valueShares.empty()) {
        const double placed = std::min(quantity, onHand + reserved - collected);
        const double carried = valueShares.take(placed);
        if (carried != 0.0 && placed > 0.0) {
            amount += placed == quantity ? carried : carried * quantity / placed;
            lot.itemCost += carried / placed;
        }
    }

    const double onHandPart = collected < onHand ? std::min(quantity, onHand - collected) : 0.0;
    const double rest = quantity - onHandPart;
    const double room = onHand + reserved - collected - onHandPart;
    if (amount < 0.0) {
        // The part of the negative amount that falls on the units this lot places in the
        // layers is what they cannot take; the rest went out with units issued before.
        const double placed = onHandPart + std::max(0.0, std::min(rest, room));
        leaveUncarried(share(amount, placed, quantity));
        amount = 0.0;
        lot.itemCost = 0.0;
    }
    const bool fits = rest <= room;
    const double reservedPart = std::max(0.0, std::min(rest, room));

    const double onHandShare = onHandPart > 0.0 ? share(amount, onHandPart, quantity) : 0.0;
    onHandValue += onHandShare;
    if (fits) {
        // The whole lot is used: what the on-hand layer did not take goes behind it, so
        // the two layers together receive exactly the lot's amount.
        const double reservedShare = amount - onHandShare;
        reservedValue += reservedShare;
        // A lot that fills the layers exactly completes the item whatever the rounding;
        // otherwise rounding must not push the count past the layers.
        const double layers = onHand + reserved;
        collectedQty =
            rest == room ? layers : std::min(collected + onHandPart + reservedPart, layers);
    } else {
        if (reservedPart > 0.0) reservedValue += share(amount, reservedPart, quantity);
        // Both layers are now full.
        collectedQty = onHand + reserved;
    }
    lot.qty = onHandPart;
}

bool CCostrunItem::takeOutReturned(double& amount, double& quantity, CItemPo& lot) {
    if (!(returnedQty > 0.0)) return true;
    // Quantities carry at most five decimals, so a difference below kIssuedQtyResidue
    // is the rounding of sums: the lot goes back whole, and no sliver is left over.
    if (returnedQty > quantity - kIssuedQtyResidue) {
        returnedQty -= quantity;
        if (returnedQty < kIssuedQtyResidue) returnedQty = 0.0;
        lot.takenBack = true;
        return false;
    }
    amount = share(amount, quantity - returnedQty, quantity);
    quantity -= returnedQty;
    returnedQty = 0.0;
    return true;
}

CItemPo* CCostrunItem::addLot(std::unique_ptr<CItemPo> lot) {
    if (!lot || lot->takenBack) return nullptr;
    lots.push_back(std::move(lot));
    return lots.back().get();
}

CItemPo* CCostrunItem::placeOpeningLot(double value, double quantity, std::optional<CDateTime> date) {
    if (!(quantity > 0.0) || isComplete()) return nullptr;
    const double unitCost = value / quantity;
    auto lot = std::make_unique<CItemPo>(kOpeningLotType, std::string(), date, unitCost);
    takeLot(value, quantity, *lot);
    if (!(lot->qty > 0.0)) return nullptr;
    return addLot(std::move(lot));
}

void CCostrunItem::leaveUncarried(double amount) {
    if (!(amount < 0.0)) return;
    uncarriedValue += amount;
    if (uncarriedSource.empty()) uncarriedSource = valueTakenOffBy;
}
