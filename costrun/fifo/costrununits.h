// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// Units of measure. A transaction line states its quantity in its UnitOfMeasure, a unit
// of the line's own set (OverrideUOMSetRef) or else of its item's set
// (UnitOfMeasureSetRef); the valuation counts every quantity in the item's base unit:
// base quantity = quantity x the unit's ConversionRatio (the base unit's ratio is 1). A
// line without a unit, and an item without a set, count in base units already.
//
// The sets and the items' sets are read once per run. Not thread-safe.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class CQbField;
class CQbObjectList;

// The unit a line states its quantity in.
struct CLineUnit {
    std::string name;       // UnitOfMeasure; empty: the base unit
    std::string setListId;  // OverrideUOMSetRef: the set the line uses instead of its item's
    std::string setName;
    // The set is the one the item had when the line was read, kept with the line so that
    // its quantity counts as it was entered whatever set the item has since.
    bool setKept = false;
    // Not kept: why the line cannot be counted as it was entered (its item's set changed
    // since lines of it were kept); empty when it can.
    std::string setChanged = {};

    // The unit of a line element (ItemLineRet, InvoiceLineRet, ...); a line without
    // UnitOfMeasure gives the base unit.
    static CLineUnit of(const CQbField& line);
};

class CCostrunUnits {
public:
    // Forgets every set and item.
    void clear();
    // Notes the set (UnitOfMeasureSetRef) of every item record of the list (ItemInventoryRet,
    // ItemInventoryAssemblyRet), by the item's full name. Null is ignored.
    void addItems(const CQbObjectList* items);
    // True when an item noted names a set: only then are the sets worth asking for.
    bool anyItemSet() const { return !itemSets.empty(); }
    // Takes the sets of a UnitOfMeasureSetQueryRs (UnitOfMeasureSetRet records). Null is ignored.
    void addSets(const CQbObjectList* sets);

    // How many base units of the item one unit of the line holds: 1 for a line without a
    // unit, and for a line of an item without a set that names no set of its own. None
    // when the set does not hold the unit (or is not known), or gives it no positive
    // ratio: the quantity cannot be counted.
    std::optional<double> ratio(const std::string& item, const CLineUnit& unit) const;
    // The set the item counts its lines in (UnitOfMeasureSetRef): its ListID and name;
    // none for an item without one.
    std::optional<CLineUnit> itemSet(const std::string& item) const;
    // The line's quantity in base units for the activity log; as stated when the unit
    // cannot be read.
    double logQuantity(const std::string& item, const CQbField& line, double quantity) const;

private:
    struct CUnit {
        std::string name;
        std::string abbreviation;
        double ratio = 1.0;
    };
    struct CSet {
        std::string listId;
        std::string name;
        std::vector<CUnit> units;  // the base unit first
    };
    struct CSetRef {
        std::string listId;
        std::string name;
    };

    const CSet* findSet(const std::string& listId, const std::string& name) const;

    std::vector<CSet> sets;
    std::unordered_map<std::string, CSetRef> itemSets;  // item full name to its set
};
