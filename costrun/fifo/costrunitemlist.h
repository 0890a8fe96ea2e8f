// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// The day's item ledgers of one item type, in the row order of QuickBooks' inventory
// valuation report, with the list-wide questions the day's stages ask: are all
// receipts found, does anything need adjusting, how many build passes ran.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "costrunitem.h"

class CCostrunItemList {
public:
    using Items = std::vector<std::unique_ptr<CCostrunItem>>;

    CCostrunItemList() = default;
    CCostrunItemList(const CCostrunItemList&) = delete;
    CCostrunItemList& operator=(const CCostrunItemList&) = delete;

    // Appends the item and returns it; the list owns it. Null is ignored (returns null).
    CCostrunItem* add(std::unique_ptr<CCostrunItem> item);
    // The first item whose fullName equals name byte for byte (case-sensitive), or null.
    // The item belongs to the list.
    CCostrunItem* find(const std::string& name) const;

    // True if any item needs a value adjustment.
    bool anyNeedsAdjustment() const;
    // True if every active item is complete; inactive items are ignored; true when empty.
    bool allReceiptsFound() const;
    // The largest buildPass of the items; 0 for an empty list.
    int maxBuildPass() const;
    // Sets costed of every item.
    void markAllCosted(bool flag);
    // Sets costed to costedNext for every item.
    void commitCosted();

    std::size_t size() const { return items.size(); }
    bool empty() const { return items.empty(); }
    // The item at a 0-based position; null outside the list.
    CCostrunItem* at(std::size_t index) const;
    // Iteration in list order yields the owning pointers: `for (auto& item : list)`.
    Items::const_iterator begin() const { return items.begin(); }
    Items::const_iterator end() const { return items.end(); }

private:
    Items items;
    // The first item of each name, for find(); names are fixed once an item is added.
    std::unordered_map<std::string, CCostrunItem*> byName;
};
