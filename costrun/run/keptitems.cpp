#include "keptitems.h"

#include "days.h"

namespace {

// The name of the item of `id` now; false for an id that no longer resolves. An empty id
// (an item kept by its name alone) keeps its name.
bool rename(std::string& name, const std::string& id, const CItemNameOf& nameOf, std::string& gone) {
    if (id.empty()) return true;
    const std::string* now = nameOf(id);
    if (now == nullptr) {
        gone = name;
        return false;
    }
    name = *now;
    return true;
}

// Runs `each` on every item name of the record with its ListID; stops at the first false.
template <typename Each>
bool eachItem(CReceiptRecord& record, Each each) {
    if (!record.assembly.empty() && !each(record.assembly, record.assemblyId)) return false;
    for (CReceiptLine& line : record.lines) {
        if (!each(line.item, line.itemId)) return false;
    }
    for (CReceiptValueChange& change : record.valueChanges) {
        if (!each(change.item, change.itemId)) return false;
    }
    return true;
}

}  // namespace

bool nameKeptItems(std::vector<CReceiptRecord>& records, const CItemNameOf& nameOf, std::string& gone) {
    // Every id is checked before any name changes, so that a refusal leaves the records whole.
    std::string ignored;
    for (CReceiptRecord& record : records) {
        const bool known = eachItem(record, [&](std::string& name, const std::string& id) {
            std::string copy = name;
            return rename(copy, id, nameOf, gone);
        });
        if (!known) return false;
    }
    for (CReceiptRecord& record : records) {
        eachItem(record, [&](std::string& name, const std::string& id) { return rename(name, id, nameOf, ignored); });
        record.returnedItems.clear();
        for (const CReceiptLine& line : record.lines) {
            if (line.isReturn) record.returnedItems.push_back(line.item);
        }
    }
    return true;
}

void keepKnownIds(std::vector<CReceiptRecord>& records, const CItemNameOf& nameOf) {
    for (CReceiptRecord& record : records) {
        eachItem(record, [&](std::string&, std::string& id) {
            if (!id.empty() && nameOf(id) == nullptr) id.clear();
            return true;
        });
    }
}

namespace {

// A line in a unit its item's own set names (no set of its own, none kept with it).
bool inItemsOwnSet(const CReceiptLine& line) {
    return !line.unit.name.empty() && !line.unit.setKept && line.unit.setListId.empty() && line.unit.setName.empty();
}

bool enteredBefore(const CReceiptRecord& record, const std::optional<CDateTime>& keptUpTo) {
    return keptUpTo && (!record.txnDate || !(*record.txnDate > endOfDay(*keptUpTo)));
}

}  // namespace

void keepUnitSets(std::vector<CReceiptRecord>& records, const CCostrunUnits& units,
                  const std::map<std::string, std::string>& changed, const std::optional<CDateTime>& keptUpTo) {
    for (CReceiptRecord& record : records) {
        for (CReceiptLine& line : record.lines) {
            if (!inItemsOwnSet(line)) continue;
            if (changed.count(line.item) != 0 && enteredBefore(record, keptUpTo)) continue;
            const std::optional<CLineUnit> set = units.itemSet(line.item);
            if (!set) continue;
            line.unit.setListId = set->setListId;
            line.unit.setName = set->setName;
            line.unit.setKept = true;
        }
    }
}

std::map<std::string, std::string> changedUnitSets(const std::vector<CReceiptRecord>& kept,
                                                   const CCostrunUnits& units) {
    std::map<std::string, std::string> changed;
    for (const CReceiptRecord& record : kept) {
        for (const CReceiptLine& line : record.lines) {
            if (!line.unit.setKept || changed.count(line.item) != 0) continue;
            const std::optional<CLineUnit> now = units.itemSet(line.item);
            if (now && now->setListId == line.unit.setListId) continue;
            changed[line.item] = "its unit-of-measure set changed from " + line.unit.setName + " to " +
                                 (now ? now->setName : std::string("none")) + " since its purchases were read";
        }
    }
    return changed;
}

void markChangedUnitSets(CReceiptRecords& records, const std::map<std::string, std::string>& changed,
                         const CDateTime& keptUpTo) {
    if (changed.empty()) return;
    for (std::size_t i = 0; i < records.size(); ++i) {
        CReceiptRecord& record = records[i];
        if (!enteredBefore(record, keptUpTo)) continue;
        for (CReceiptLine& line : record.lines) {
            const auto found = changed.find(line.item);
            if (found != changed.end() && inItemsOwnSet(line)) line.unit.setChanged = found->second;
        }
    }
}
