// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// The entries of one value adjustment posting: per item, the sum of the shares added
// in this posting and the item's running value before its first share. The list keeps
// items in the order they were first added and owns its entries.
#pragma once

#include <string>
#include <vector>

// Memo of every value adjustment the system posts; it tells the system's own postings
// from the user's inventory adjustments.
inline constexpr const char* kValueAdjustMemo = "FIFO valuation";

struct CValueAdjust {
    std::string itemName;
    double amount = 0.0;
    double priorValue = 0.0;
};

class CValueAdjustList {
public:
    // Adds the amount to the item's entry, or appends a new entry with the prior value.
    void add(const std::string& name, double priorValue, double amount);
    double sumAmounts() const;
    // Parallel arrays of item names and new values (prior value + amount, "%.2f").
    void toArrays(std::vector<std::string>& names, std::vector<std::string>& values) const;

    bool empty() const { return entries.empty(); }
    int getSize() const { return static_cast<int>(entries.size()); }
    const CValueAdjust& getAt(int index) const { return entries.at(static_cast<std::size_t>(index)); }

private:
    std::vector<CValueAdjust> entries;
};
