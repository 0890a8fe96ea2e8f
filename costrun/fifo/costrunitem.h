// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// One item's FIFO ledger for one valuation day: QuickBooks' quantity and value on hand
// at the end of the day, the FIFO value built from the most recent receiving lots, and
// the day's figures that assembly builds and value adjustments work with.
//
// The units on hand are taken to be the most recently received ones. Lots arrive newest
// first and fill two layers: the on-hand layer (qtyOnHand units) and, directly behind
// it, the reserved layer (reservedQty units consumed that day by assembly builds).
// Whatever of a lot lies beyond both layers was issued before the day's end and is
// dropped.
//
// Every amount and quantity is a double, which holds values up to well beyond
// 1,000,000,000.00 exact to the cent; the 0.02 thresholds count a difference of exactly
// two cents. Not thread-safe; a ledger lives for one day on the thread that computes it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "datetime.h"
#include "itempo.h"
#include "valueshares.h"

class CCostrunItem {
public:
    // A value difference counts when its magnitude is at least this much.
    static constexpr double kValueThreshold = 0.02;
    // A net issued quantity below this is taken as none (see needsAdjustment).
    static constexpr double kIssuedQtyResidue = 0.000005;
    // Display name of the opening lot.
    static constexpr const char* kOpeningLotType = "Before FIFO";

    CCostrunItem() = default;
    CCostrunItem(std::string name, double quantity, double value)
        : fullName(std::move(name)), qtyOnHand(quantity), qbValue(value) {}
    CCostrunItem(const CCostrunItem&) = delete;
    CCostrunItem& operator=(const CCostrunItem&) = delete;

    // Units the on-hand layer holds: qtyOnHand, or none while it is negative. The
    // reserved layer lies behind it at full size whatever the sign of qtyOnHand, so the
    // units the day's builds consumed are always priced in full.
    double onHandLayer() const { return qtyOnHand > 0.0 ? qtyOnHand : 0.0; }
    // True when onHandLayer() + reservedQty <= collectedQty: both layers are full. An
    // item with nothing (or less than nothing) on hand and nothing reserved is complete
    // before any lot arrives. Never true while unreadUnit or unreconciled is set.
    bool isComplete() const;
    // True when |qbValue - onHandValue| >= 0.02 (both sides inclusive).
    bool valueDiffers() const;
    // True when |adjustedValue| >= 0.02.
    bool hasAdjustment() const;
    // True when QuickBooks carries a value (|qbValue| >= 0.02) for no units on hand: no
    // FIFO lot can explain it, and no sale ever takes it away.
    bool carriesValueWithoutUnits() const;
    // Whether the day's value adjustments must touch this item: it has stock on hand
    // or was built today, its net issued quantity is not zero, and its value differs or
    // build transfers already moved value. Completeness is checked by the caller.
    bool needsAdjustment() const;

    // The running value of the day's postings starts from QuickBooks' value at the
    // item's first share; a running value that later passes through 0.00 stays started.
    void startRunningValue() {
        if (started) return;
        newValue = qbValue;
        started = true;
    }

    // Places a lot of `quantity` units worth `amount` into the layers and sets lot.qty to
    // the units that landed in the on-hand layer. Units returned to vendors that the walk
    // met before this lot (returnedQty) come out of it first, at its own unit cost; a lot
    // they take back whole is marked takenBack and places nothing. The caller sets the lot's type,
    // reference, date and itemCost beforehand and appends it with addLot afterwards.
    // The units placed carry the value changes met before (valueShares): the lot's
    // amount and itemCost grow by their share, alike for each unit of the lot. A lot
    // whose amount would fall below zero is placed at no cost, and what its placed units
    // could not take is left uncarried (leaveUncarried).
    // Preconditions: the item is active and not complete, quantity > 0. A call that
    // breaks them places nothing (lot.qty = 0), so a zero quantity never divides.
    void takeLot(double amount, double quantity, CItemPo& lot);
    // Takes ownership of a lot and appends it to `lots`; returns it. Null, and a lot
    // taken back whole by returns, are not kept (returns null).
    CItemPo* addLot(std::unique_ptr<CItemPo> lot);
    // Prices the units not covered by receipts from QuickBooks' own figures of the day
    // before valuation started: a "Before FIFO" lot of `quantity` units worth `value`,
    // unit cost value / quantity, placed by the takeLot rule. The lot is kept in `lots`
    // only when part of it lies in the on-hand layer; its reserved part (if any) stays
    // counted either way. Returns the kept lot, or null when nothing was kept
    // (including when quantity is not positive or the item is already complete).
    CItemPo* placeOpeningLot(double value, double quantity, std::optional<CDateTime> date);
    // Notes value taken off (amount below 0) that no lot's cost can take: a lot never
    // costs less than nothing. Names valueTakenOffBy as its source, the first time.
    void leaveUncarried(double amount);

    // The ledger record. Fields are public: the day's stages read and update them
    // directly, in the order documented for the report and activity log.
    std::string fullName;        // as the inventory valuation report prints it; the key
    double qtyOnHand = 0.0;      // QuickBooks' quantity at the end of the day; may be < 0
    double qbValue = 0.0;        // QuickBooks' value at the end of the day
    std::string cogsAccount;     // full name of COGSAccountRef
    std::string assetAccount;    // full name of AssetAccountRef
    double collectedQty = 0.0;   // units both layers hold so far
    double onHandValue = 0.0;    // FIFO value of the on-hand layer
    double newValue = 0.0;       // running value during adjustments, once started
    bool started = false;        // newValue has been set from qbValue today
    double issuedQty = 0.0;      // the day's net issued quantity
    double reservedQty = 0.0;    // units consumed today as build components
    double reservedValue = 0.0;  // FIFO value of the reserved layer
    bool active = true;          // lots are to be collected for the item
    bool costed = false;         // the day's FIFO cost is final
    bool costedNext = true;      // what commitCosted copies into costed
    double builtQty = 0.0;       // units of this assembly built today
    double adjustedValue = 0.0;  // value already moved to or from the item today
    int buildPass = 0;           // build valuation pass that valued this item's builds
    // Why a line of the day could not be counted in base units (its unit is not in its
    // set); while set the item is never complete, so it is left unvalued for the day.
    std::string unreadUnit;
    // Why QuickBooks' quantity is not the one the transactions read explain (the
    // exception's text); while set the item is never complete, so it is left unvalued.
    std::string unreconciled;
    CValueShares valueShares;    // value changes the day's walk met, for the older lots
    // Units returned to vendors that the walk (newest first) has met and not yet taken
    // out of the older receipts that follow; what is left after the opening lot found
    // nothing to come out of.
    double returnedQty = 0.0;
    // The newest value change met in the walk that took value off the units on hand
    // ("Inventory Adjustment 7 of 04/01/2010"), what of it and any other no lot's cost
    // could take (0 or below), and the change named for it.
    std::string valueTakenOffBy;
    double uncarriedValue = 0.0;
    std::string uncarriedSource;
    // Lots in the order they were placed (newest transaction first); owned.
    std::vector<std::unique_ptr<CItemPo>> lots;

private:
    // Takes the pending returnedQty out of a lot of `quantity` units worth `amount`,
    // leaving the rest in both; false when nothing of the lot is left.
    bool takeOutReturned(double& amount, double& quantity, CItemPo& lot);
};
