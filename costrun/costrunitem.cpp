// The per-item FIFO ledger (see costrunitem.h): completeness, the 0.02 thresholds and
// the placing of lots into the on-hand and reserved layers.
#include "costrunitem.h"

#include <cmath>

#include <algorithm>

namespace {

bool atLeastThreshold(float difference) {
    return difference <= -CCostrunItem::kValueThreshold ||
           difference >= CCostrunItem::kValueThreshold;
}

// a * part / whole, multiplied before dividing. The float product fits a double
// exactly, so a lot that lands whole in one layer gives exactly `amount`.
float share(float amount, float part, float whole) {
    return static_cast<float>(static_cast<double>(amount) * part / whole);
}

}  // namespace

bool CCostrunItem::isComplete() const {
    const float layers = qtyOnHand + reservedQty;
    return layers <= collectedQty;
}

bool CCostrunItem::valueDiffers() const {
    const float difference = qbValue - onHandValue;
    return atLeastThreshold(difference);
}

bool CCostrunItem::hasAdjustment() const {
    return atLeastThreshold(adjustedValue);
}

bool CCostrunItem::needsAdjustment() const {
    if (qtyOnHand <= 0.0f && builtQty <= 0.0f) return false;
    // QuickBooks quantities carry at most five decimals, so a smaller net issue is the
    // rounding residue of sales and returns that cancel out. Sharing a value gap over it
    // would post absurdly large line shares.
    if (std::fabs(issuedQty) < kIssuedQtyResidue) return false;
    return valueDiffers() || hasAdjustment();
}

void CCostrunItem::takeLot(float amount, float quantity, CItemPo& lot) {
    lot.qty = 0.0f;
    // Outside the preconditions nothing is placed: a complete item would otherwise have
    // collectedQty pulled back to its layer size, and a zero quantity would divide.
    if (!(quantity > 0.0f) || isComplete()) return;

    const float onHand = qtyOnHand;
    const float reserved = reservedQty;
    const float collected = collectedQty;

    const float onHandPart = collected < onHand ? std::min(quantity, onHand - collected) : 0.0f;
    const float rest = quantity - onHandPart;
    const float room = onHand + reserved - collected - onHandPart;
    const bool fits = rest <= room;
    const float reservedPart = std::max(0.0f, std::min(rest, room));

    const float onHandShare = onHandPart > 0.0f ? share(amount, onHandPart, quantity) : 0.0f;
    onHandValue += onHandShare;
    if (fits) {
        // The whole lot is used: what the on-hand layer did not take goes behind it, so
        // the two layers together receive exactly the lot's amount.
        const float reservedShare = amount - onHandShare;
        reservedValue += reservedShare;
        // A lot that fills the layers exactly completes the item whatever the rounding;
        // otherwise rounding must not push the count past the layers.
        const float layers = onHand + reserved;
        collectedQty =
            rest == room ? layers : std::min(collected + onHandPart + reservedPart, layers);
    } else {
        if (reservedPart > 0.0f) reservedValue += share(amount, reservedPart, quantity);
        // Both layers are now full.
        collectedQty = onHand + reserved;
    }
    lot.qty = onHandPart;
}

CItemPo* CCostrunItem::addLot(std::unique_ptr<CItemPo> lot) {
    if (!lot) return nullptr;
    lots.push_back(std::move(lot));
    return lots.back().get();
}

CItemPo* CCostrunItem::placeOpeningLot(float value, float quantity, std::optional<CDateTime> date) {
    if (!(quantity > 0.0f) || isComplete()) return nullptr;
    const float unitCost = value / quantity;
    auto lot = std::make_unique<CItemPo>(kOpeningLotType, std::string(), date, unitCost);
    takeLot(value, quantity, *lot);
    if (!(lot->qty > 0.0f)) return nullptr;
    return addLot(std::move(lot));
}
