#include "closingbalance.h"

#include <algorithm>
#include <cmath>

#include "activitylog.h"
#include "costrunitemlist.h"
#include "days.h"
#include "qbfield.h"
#include "qbfieldlist.h"
#include "qbobjectlist.h"
#include "qbutils.h"
#include "runstore.h"
#include "valuationreader.h"

namespace {

// Every stocked item's ListID by full name, inactive ones too.
std::map<std::string, std::string> stockedIds(CQbRequestBase& session, bool assemblies) {
    CQbFieldList filter;
    filter.addText("ActiveStatus", "All");
    for (const char* element : {"ListID", "FullName"}) filter.addText("IncludeRetElement", element);
    std::map<std::string, std::string> ids;
    std::vector<std::unique_ptr<CQbObjectList>> lists;
    lists.push_back(session.queryItemInventory(&filter));
    if (assemblies) lists.push_back(session.queryItemInventoryAssembly(&filter));
    for (const std::unique_ptr<CQbObjectList>& list : lists) {
        for (int i = 0; list && i < list->getSize(); ++i)
            ids[list->getAt(i)->getValue("FullName")] = list->getAt(i)->getValue("ListID");
    }
    return ids;
}

}  // namespace

std::map<std::string, CClosingBalance::CHeld> CClosingBalance::readRows(CQbRequestBase& session, bool assemblies,
                                                                         const CDateTime& date) {
    stampText.clear();
    day = dateText(date);
    std::map<std::string, CHeld> rows;
    CActivityLog silent("");
    CValuationReader reader(session, silent, assemblies, std::nullopt);
    std::vector<std::unique_ptr<CQbResponse>> answers = reader.sendInSets(reader.requestsByType(endOfDay(date)));
    for (std::unique_ptr<CQbResponse>& answer : answers) {
        CCostrunItemList list;
        reader.readAnswer(list, endOfDay(date), std::move(answer));
        for (const auto& item : list) {
            CHeld& held = rows[item->fullName];
            held.name = item->fullName;
            held.quantity += item->qtyOnHand;
            held.value += item->qbValue;
        }
    }
    return rows;
}

void CClosingBalance::keyRows(std::map<std::string, CHeld> rows, const std::map<std::string, std::string>& ids) {
    items.clear();
    listed.clear();
    for (const auto& [name, id] : ids) listed.insert(id);
    for (auto& [name, held] : rows) {
        const auto id = ids.find(name);
        items[id == ids.end() ? name : id->second] = std::move(held);
    }
}

void CClosingBalance::read(CQbRequestBase& session, bool assemblies, const CDateTime& date,
                           const std::map<std::string, std::string>& ids) {
    keyRows(readRows(session, assemblies, date), ids);
}

void CClosingBalance::readAgainst(const CClosingBalance& left, CQbRequestBase& session, bool assemblies,
                                  const CDateTime& date) {
    std::map<std::string, CHeld> rows = readRows(session, assemblies, date);
    // Where the report names exactly the items the last run left, by the same names, they
    // are those items; only a name that came or went asks QuickBooks who is who.
    std::map<std::string, std::string> ids;
    for (const auto& [id, held] : left.items) ids.emplace(held.name, id);
    const bool sameNames = ids.size() == left.items.size() && ids.size() == rows.size() &&
                           std::all_of(rows.begin(), rows.end(), [&ids](const auto& row) { return ids.count(row.first) != 0; });
    keyRows(std::move(rows), sameNames ? ids : stockedIds(session, assemblies));
}

bool CClosingBalance::load(const std::string& storePath) {
    items.clear();
    day.clear();
    stampText.clear();
    if (storePath.empty()) return false;
    CRunStore store(storePath);
    CRunStore::CStatement stamped(store, "SELECT last_run_time, day FROM closing");
    if (stamped.step()) {
        stampText = stamped.text(0).value_or(std::string());
        day = stamped.text(1).value_or(std::string());
    }
    bool whole = !stamped.failed();
    CRunStore::CStatement read(store, "SELECT item, quantity, value, name FROM closing_item");
    while (read.step()) {
        const std::optional<std::string> item = read.text(0);
        const std::optional<double> quantity = read.real(1);
        const std::optional<double> value = read.real(2);
        const std::optional<std::string> name = read.text(3);
        if (!item || !quantity || !value || !name) whole = false;
        if (whole) items[*item] = CHeld{*quantity, *value, *name};
    }
    // Figures that cannot be read whole are no figures to compare with.
    if (!whole || read.failed() || day.empty() || stampText.empty()) {
        items.clear();
        day.clear();
        stampText.clear();
        return false;
    }
    return true;
}

bool CClosingBalance::save(const std::string& storePath, const CDateTime& stamp) {
    if (storePath.empty()) return false;
    stampText = zoneDateTimeText(stamp);
    bool saved = false;
    {
        CRunStore store(storePath);
        CRunStore::CTransaction saving(store);
        CRunStore::CStatement figures(store, "INSERT INTO closing_item VALUES (?, ?, ?, ?)");
        saved = saving.started() && store.exec("DELETE FROM closing_item; DELETE FROM closing") &&
                CRunStore::CStatement(store, "INSERT INTO closing VALUES (1, ?, ?)").bind(1, stampText).bind(2, day).run();
        for (auto held = items.begin(); saved && held != items.end(); ++held)
            saved = figures.bind(1, held->first)
                        .bind(2, held->second.quantity)
                        .bind(3, held->second.value)
                        .bind(4, held->second.name)
                        .run();
        saved = saved && saving.commit();
    }
    if (!saved) discard(storePath);
    return saved;
}

void CClosingBalance::discard(const std::string& storePath) {
    if (storePath.empty()) return;
    CRunStore store(storePath);
    CRunStore::CTransaction removing(store);
    if (removing.started() && store.exec("DELETE FROM closing; DELETE FROM closing_item")) removing.commit();
}

bool CClosingBalance::keptBy(const std::optional<CDateTime>& lastRunTime, const std::optional<CDateTime>& upTo) const {
    const std::optional<CDateTime> stamped = readDateTimeText(stampText);
    return lastRunTime && upTo && stamped && stamped->seconds() == lastRunTime->seconds() && day == dateText(upTo);
}

std::vector<CClosingBalance::CMoved> CClosingBalance::movedIn(const CClosingBalance& now) const {
    std::map<std::string, CMoved> both;
    for (const auto& [item, held] : items) both[item].left = held;
    for (const auto& [item, held] : now.items) both[item].now = held;
    std::vector<CMoved> moved;
    for (auto& [item, figures] : both) {
        figures.gone = now.items.count(item) == 0 && now.listed.count(item) == 0;
        if (!figures.gone && std::fabs(figures.left.quantity - figures.now.quantity) < kQuantityResidue &&
            std::fabs(figures.left.value - figures.now.value) <= kValueResidue)
            continue;
        figures.item = figures.now.name.empty() ? figures.left.name : figures.now.name;
        moved.push_back(figures);
    }
    std::stable_sort(moved.begin(), moved.end(), [](const CMoved& a, const CMoved& b) { return a.item < b.item; });
    return moved;
}
