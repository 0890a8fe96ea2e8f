#include "runreport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "activitylog.h"
#include "costrunitemlist.h"
#include "files.h"
#include "userfolders.h"

namespace {

std::string csvQuoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

bool sameDay(const CDateTime& a, const CDateTime& b) {
    const CLocalTime x = a.local();
    const CLocalTime y = b.local();
    return x.year == y.year && x.month == y.month && x.day == y.day;
}

// An item's line and its lots' lines; the value is "N/A" for an item left unvalued.
std::string reportLines(const CCostrunItem& item) {
    const std::string name = csvQuoted(item.fullName);
    if (item.qtyOnHand < 0) return name + formatText(",%.2f,%.2f,\"N/A\"\n", item.qtyOnHand, item.qbValue);
    std::string out = item.isComplete()
                          ? name + formatText(",%.2f,%.2f,%.2f\n", item.qtyOnHand, item.qbValue, item.onHandValue)
                          : name + formatText(",%.2f,%.2f,\"N/A\"\n", item.qtyOnHand, item.qbValue);
    for (const auto& lot : item.lots) {
        const CLocalTime t = lot->txnDate ? lot->txnDate->local() : CLocalTime{};
        out += "\"\",\"\",\"\",\"\"," + csvQuoted(lot->txnType) + "," + csvQuoted(lot->refNumber) +
               formatText(",%04d/%02d/%02d,%.2f,%2f\n", t.year, t.month, t.day, lot->qty, lot->itemCost);
    }
    return out;
}

}  // namespace

bool CRunReport::open(const std::string& folder, const CDateTime& firstDay, const CDateTime& upTo, std::string& error) {
    close();
    createFolders(folder);
    const CLocalTime first = firstDay.local();
    const CLocalTime last = upTo.local();
    reportPath = joinPath(folder, sameDay(firstDay, upTo)
                                      ? formatText("costrun%04d%02d%02d.csv", first.year, first.month, first.day)
                                      : formatText("costrun%04d%02d%02d_%04d%02d%02d.csv", first.year, first.month,
                                                   first.day, last.year, last.month, last.day));
    removeFile(reportPath);
    file = openFile(reportPath, "wb");
    if (file == nullptr) {
        error = "Cannot create the report file " + reportPath + ": " + std::strerror(errno) + ".";
        if (error.size() > 255) error.resize(255);
        return false;
    }
    return true;
}

void CRunReport::close() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
}

void CRunReport::writeBlock(std::initializer_list<const CCostrunItemList*> lists, const CDateTime& day, bool closing) {
    const bool none = std::all_of(lists.begin(), lists.end(), [](const CCostrunItemList* l) { return l == nullptr; });
    if (file == nullptr || none) return;
    const CLocalTime d = day.local();
    std::string out = formatText(closing ? "\"FIFO Valuation of every item on hand on %02d/%02d/%04d\"\n"
                                         : "\"FIFO Valuation on %02d/%02d/%04d\"\n",
                                 d.month, d.day, d.year);
    out += "\"(List of items and the list of most recent transactions of their receiving)\"\n\n";
    out += "\"Item\",\"Qty\",\"QB Value\",\"FIFO Value\"\n";
    out += "\"\",\"\",\"\",\"\",\"Txn Type\",\"Ref Number\",\"Txn Date\",\"Qty\",\"Item Cost\"\n";
    for (const CCostrunItemList* list : lists) {
        for (std::size_t i = 0; list && i < list->size(); ++i) {
            const CCostrunItem& item = *list->at(i);
            if (closing && !(item.qtyOnHand > 0.0) && !item.carriesValueWithoutUnits()) continue;
            out += reportLines(item);
        }
    }
    out += "\n\n\n";
    std::fwrite(out.data(), 1, out.size(), file);
}
