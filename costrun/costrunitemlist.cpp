// The day's item ledgers of one item type (see costrunitemlist.h). Lists hold at most a
// few thousand items, so look-ups are linear scans in report order, which also gives
// the first-match rule for duplicate names.
#include "costrunitemlist.h"

#include <algorithm>

CCostrunItem* CCostrunItemList::add(std::unique_ptr<CCostrunItem> item) {
    if (!item) return nullptr;
    items.push_back(std::move(item));
    return items.back().get();
}

CCostrunItem* CCostrunItemList::find(const std::string& name) const {
    for (const auto& item : items) {
        if (item->fullName == name) return item.get();
    }
    return nullptr;
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
