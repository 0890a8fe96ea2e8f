// Units of measure (see costrununits.h): the sets read once per run, each item's set,
// and the conversion of a line's quantity to its item's base unit. A line whose unit
// cannot be read leaves its item unvalued for the day rather than counted wrong.
#include "costrununits.h"

#include <cctype>
#include <cmath>

#include "qbfield.h"
#include "qbobject.h"
#include "qbobjectlist.h"

namespace {

// QuickBooks compares list names without regard to case.
bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

CLineUnit CLineUnit::of(const CQbField& line) {
    CLineUnit unit;
    unit.name = line.childValue("UnitOfMeasure");
    unit.setListId = line.grandchildValue("OverrideUOMSetRef", "ListID");
    unit.setName = line.grandchildValue("OverrideUOMSetRef", "FullName");
    return unit;
}

void CCostrunUnits::clear() {
    sets.clear();
    itemSets.clear();
}

void CCostrunUnits::addItems(const CQbObjectList* items) {
    for (int i = 0; items && i < items->getSize(); ++i) {
        const CQbObject& item = *items->getAt(i);
        CSetRef set{item.getValue("UnitOfMeasureSetRef", "ListID"), item.getValue("UnitOfMeasureSetRef", "FullName")};
        if (set.listId.empty() && set.name.empty()) continue;
        itemSets[item.getValue("FullName")] = std::move(set);
    }
}

void CCostrunUnits::addSets(const CQbObjectList* list) {
    for (int i = 0; list && i < list->getSize(); ++i) {
        const CQbObject& record = *list->getAt(i);
        CSet set;
        set.listId = record.getValue("ListID");
        set.name = record.getValue("Name");
        for (const CQbField* unit : record.findAll("BaseUnit"))
            set.units.push_back({unit->childValue("Name"), unit->childValue("Abbreviation"), 1.0});
        for (const CQbField* unit : record.findAll("RelatedUnit")) {
            const double ratio = unit->findChild("ConversionRatio") ? unit->childFloat("ConversionRatio") : 0.0;
            set.units.push_back({unit->childValue("Name"), unit->childValue("Abbreviation"), ratio});
        }
        sets.push_back(std::move(set));
    }
}

const CCostrunUnits::CSet* CCostrunUnits::findSet(const std::string& listId, const std::string& name) const {
    for (const CSet& set : sets) {
        if (!listId.empty() ? set.listId == listId : sameName(set.name, name)) return &set;
    }
    return nullptr;
}

std::optional<double> CCostrunUnits::ratio(const std::string& item, const CLineUnit& unit) const {
    if (unit.name.empty()) return 1.0;
    const CSet* set = nullptr;
    if (!unit.setListId.empty() || !unit.setName.empty()) {
        set = findSet(unit.setListId, unit.setName);
    } else {
        const auto found = itemSets.find(item);
        if (found == itemSets.end()) return 1.0;
        set = findSet(found->second.listId, found->second.name);
    }
    if (set == nullptr) return std::nullopt;
    // A unit is named on the line by its name; its abbreviation is taken as well.
    const CUnit* match = nullptr;
    for (const CUnit& candidate : set->units) {
        if (sameName(candidate.name, unit.name)) {
            match = &candidate;
            break;
        }
        if (match == nullptr && sameName(candidate.abbreviation, unit.name)) match = &candidate;
    }
    if (match == nullptr || !std::isfinite(match->ratio) || !(match->ratio > 0.0)) return std::nullopt;
    return match->ratio;
}

std::optional<CLineUnit> CCostrunUnits::itemSet(const std::string& item) const {
    const auto found = itemSets.find(item);
    if (found == itemSets.end()) return std::nullopt;
    return CLineUnit{std::string(), found->second.listId, found->second.name};
}

double CCostrunUnits::logQuantity(const std::string& item, const CQbField& line, double quantity) const {
    return quantity * ratio(item, CLineUnit::of(line)).value_or(1.0);
}
