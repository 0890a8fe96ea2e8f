#include "closingbalance.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "activitylog.h"
#include "costrunitemlist.h"
#include "days.h"
#include "files.h"
#include "qbfield.h"
#include "qbfieldlist.h"
#include "qbobjectlist.h"
#include "qbutils.h"
#include "seenrecord.h"
#include "tabfile.h"
#include "valuationreader.h"

namespace {

constexpr const char* kStampTag = "#LastRunTime";
constexpr const char* kDateTag = "#Date";
constexpr const char* kBalancePrefix = "closing-";
// Not the record's extension: the data folder's only .tsv files are records.
constexpr const char* kBalanceExtension = ".txt";

}  // namespace

std::string CClosingBalance::pathBeside(const std::string& recordPath) {
    return CSeenRecord::pathBeside(recordPath, kBalancePrefix, kBalanceExtension);
}

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

void CClosingBalance::read(CQbRequestBase& session, bool assemblies, const CDateTime& date) {
    items.clear();
    listed.clear();
    stampText.clear();
    day = dateText(date);
    const std::map<std::string, std::string> ids = stockedIds(session, assemblies);
    for (const auto& [name, id] : ids) listed.insert(id);
    CActivityLog silent("");
    CValuationReader reader(session, silent, assemblies, std::nullopt);
    std::vector<std::unique_ptr<CQbResponse>> answers = reader.sendInSets(reader.requestsByType(endOfDay(date)));
    for (std::unique_ptr<CQbResponse>& answer : answers) {
        CCostrunItemList list;
        reader.readAnswer(list, endOfDay(date), std::move(answer));
        for (const auto& item : list) {
            const auto id = ids.find(item->fullName);
            CHeld& held = items[id == ids.end() ? item->fullName : id->second];
            held.name = item->fullName;
            held.quantity += item->qtyOnHand;
            held.value += item->qbValue;
        }
    }
}

bool CClosingBalance::load(const std::string& path) {
    items.clear();
    day.clear();
    stampText.clear();
    if (path.empty()) return false;
    bool whole = true;
    auto take = [&](const std::string& text) {
        const std::vector<std::string> fields = tabFields(text);
        if (fields.size() == 2 && fields[0] == kStampTag) {
            stampText = fields[1];
        } else if (fields.size() == 2 && fields[0] == kDateTag) {
            day = fields[1];
        } else if (fields.size() == 4) {
            const std::optional<double> quantity = readNumber(fields[1]);
            const std::optional<double> value = readNumber(fields[2]);
            const std::optional<std::string> id = unescapedField(fields[0]);
            const std::optional<std::string> name = unescapedField(fields[3]);
            if (quantity && value && id && name) {
                items[*id] = CHeld{*quantity, *value, *name};
                return;
            }
            whole = false;
        } else {
            whole = false;
        }
    };
    bool cutShort = false;
    if (!readLines(path, take, &cutShort)) return false;
    // A file cut short or changed by hand is no figure to compare with.
    if (!whole || cutShort || day.empty() || stampText.empty()) {
        items.clear();
        day.clear();
        stampText.clear();
        return false;
    }
    return true;
}

bool CClosingBalance::save(const std::string& path, const CDateTime& stamp) {
    if (path.empty()) return false;
    stampText = zoneDateTimeText(stamp);
    std::string text = std::string(kStampTag) + '\t' + stampText + '\n' + kDateTag + '\t' + day + '\n';
    for (const auto& [item, held] : items) {
        text += escapedField(item) + '\t' + exactText(held.quantity) + '\t' + exactText(held.value) + '\t' +
                escapedField(held.name) + '\n';
    }
    if (replaceFile(path, text)) return true;
    removeFile(path);
    return false;
}

void CClosingBalance::discard(const std::string& path) {
    if (!path.empty()) removeFile(path);
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
