// Units of measure (see costrununits.h): the sets read once per run, each item's set,
// and the conversion of a line's quantity to its item's base unit. A line whose unit
// cannot be read leaves its item unvalued for the day rather than counted wrong.
#include "costrununits.h"

#include <cctype>
#include <cmath>

#include "costrundoc.h"
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

// QuickBooks' status for a feature the company file does not use.
constexpr const char* kFeatureNotEnabled = "3250";

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

double CCostrunUnits::logQuantity(const std::string& item, const CQbField& line, double quantity) const {
    return quantity * ratio(item, CLineUnit::of(line)).value_or(1.0);
}

void CCostrunDoc::retrieveUnits() {
    runLists.units.clear();
    runLists.units.addItems(runLists.inventoryItems.get());
    runLists.units.addItems(runLists.assemblyItems.get());
    // A file without units of measure has no item with a set and is asked nothing more.
    if (!session || !runLists.units.anyItemSet()) return;
    progress("Retrieving the units of measure...");
    // An inactive set still counts the lines entered in its units.
    CQbFieldList all;
    all.addText("ActiveStatus", "All");
    const CQbRequestBase::CQuery query{"UnitOfMeasureSetQueryRq", "UnitOfMeasureSetRet", &all, false};
    std::vector<std::unique_ptr<CQbResponse>> answers = session->sendMessageSet({session->queryRequest(query)});
    answers.resize(1);
    // Units of measure turned off since the items were given their sets: no set applies,
    // and a line naming a unit cannot be counted.
    if (answers[0] && answers[0]->statusCode() == kFeatureNotEnabled) return;
    runLists.units.addSets(session->queryRecords(query, std::move(answers[0])).get());
}

std::optional<double> CCostrunDoc::toBaseQuantity(CCostrunItem& item, const CLineUnit& unit, double quantity,
                                                  const std::string& txnType, const std::string& refNumber) {
    const std::optional<double> ratio = runLists.units.ratio(item.fullName, unit);
    if (ratio) return quantity * *ratio;
    if (item.unreadUnit.empty()) {
        item.unreadUnit = "a line of " + txnType + " " + refNumber + " is in the unit \"" + unit.name +
                          "\", which its unit of measure set does not hold";
        logActivity("%s: %s\n", item.fullName.c_str(), item.unreadUnit.c_str());
    }
    return std::nullopt;
}
