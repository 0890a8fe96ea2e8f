// The day's item ledgers of one item type (see costrunitemlist.h). Look-ups by name go
// through an index that keeps the first item added under each name, which is the
// first-match rule of a scan in report order: the day's FIFO walk looks an item up for
// every receipt line, so a scan made it quadratic in the number of items.
#include "costrunitemlist.h"

#include <algorithm>

CCostrunItem* CCostrunItemList::add(std::unique_ptr<CCostrunItem> item) {
    if (!item) return nullptr;
    items.push_back(std::move(item));
    CCostrunItem* added = items.back().get();
    byName.emplace(added->fullName, added);
    return added;
}

CCostrunItem* CCostrunItemList::find(const std::string& name) const {
    const auto found = byName.find(name);
    return found == byName.end() ? nullptr : found->second;
}

bool CCostrunItemList::anyNeedsAdjustment() const {
    return std::any_of(items.begin(), items.end(),
                       [](const auto& item) { return item->needsAdjustment(); });
}

bool CCostrunItemList::allReceiptsFound() const {
    return std::all_of(items.begin(), items.end(),
                       [](const auto& item) { return !item->active || item->isComplete(); });
}

int CCostrunItemList::maxBuildPass() const {
    if (items.empty()) return 0;
    int largest = items.front()->buildPass;
    for (const auto& item : items) largest = std::max(largest, item->buildPass);
    return largest;
}

void CCostrunItemList::markAllCosted(bool flag) {
    for (auto& item : items) item->costed = flag;
}

void CCostrunItemList::commitCosted() {
    for (auto& item : items) item->costed = item->costedNext;
}

CCostrunItem* CCostrunItemList::at(std::size_t index) const {
    return index < items.size() ? items[index].get() : nullptr;
}
