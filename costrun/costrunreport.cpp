// The CSV report of a run (one block per calculated day and item list, and a closing
// block of every item on hand after the last calculated day) and the
// activity log, written as raw bytes with "\n" line ends and no byte-order mark. Both
// are formatted with the C printf rules in the "C" numeric locale.
#include "costrundoc.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files.h"
#include "qbutils.h"
#include "userfolders.h"

namespace {

constexpr const char* kSeparator = "---------------------\n";   // 21 dashes
constexpr const char* kSalesSeparator = "------------------\n";  // 18 dashes

std::string vformat(const char* format, std::va_list args) {
    // Nearly every line of the log and the report fits the buffer, so it is formatted
    // once; a longer one is formatted again at its full length.
    char buffer[512];
    std::va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (length <= 0) return std::string();
    if (static_cast<std::size_t>(length) < sizeof buffer)
        return std::string(buffer, static_cast<std::size_t>(length));
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    std::va_list args;
    va_start(args, fmt);
    std::string text = vformat(fmt, args);
    va_end(args);
    return text;
}

// A text between double quotes in the report: quotes inside are doubled, so a name
// holding one cannot end the field early.
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

// A number of a line, read as the receiving and adjustment blocks read it: -1.0 when
// the line lacks it.
double lineFloat(const CQbField& line, const std::string& name) {
    return line.getChildren() ? line.getChildren()->getFloat(name) : -1.0;
}

std::string itemName(const CQbField& line) { return line.grandchildValue("ItemRef", "FullName"); }

bool hasItem(const CQbField& line) { return line.findChild("ItemRef") != nullptr; }

}  // namespace

bool CCostrunDoc::openReportFile(const CDateTime& firstDay, const CDateTime& newUpToDate) {
    closeReportFile();
    const std::string folder = joinPath(files.reportFolder, companyTitle);
    createFolders(folder);
    const CLocalTime first = firstDay.local();
    const CLocalTime last = newUpToDate.local();
    if (sameDay(firstDay, newUpToDate)) {
        files.reportPath = joinPath(folder, format("costrun%04d%02d%02d.csv", first.year, first.month, first.day));
    } else {
        files.reportPath = joinPath(folder, format("costrun%04d%02d%02d_%04d%02d%02d.csv", first.year,
                                             first.month, first.day, last.year, last.month, last.day));
    }
    removeFile(files.reportPath);
    files.reportFile = openFile(files.reportPath, "wb");
    if (files.reportFile == nullptr) {
        errorText = "Cannot create the report file " + files.reportPath + ": " + std::strerror(errno) + ".";
        if (errorText.size() > 255) errorText.resize(255);
        return false;
    }
    return true;
}

void CCostrunDoc::closeReportFile() {
    if (files.reportFile != nullptr) std::fclose(files.reportFile);
    files.reportFile = nullptr;
}

void CCostrunDoc::writeReportBlock(std::initializer_list<const CCostrunItemList*> lists, const CDateTime& day,
                                   bool closing) {
    const bool none = std::all_of(lists.begin(), lists.end(), [](const CCostrunItemList* l) { return l == nullptr; });
    if (files.reportFile == nullptr || none) return;
    const CLocalTime d = day.local();
    std::string out = format(closing ? "\"FIFO Valuation of every item on hand on %02d/%02d/%04d\"\n"
                                     : "\"FIFO Valuation on %02d/%02d/%04d\"\n",
                             d.month, d.day, d.year);
    out += "\"(List of items and the list of most recent transactions of their receiving)\"\n\n";
    out += "\"Item\",\"Qty\",\"QB Value\",\"FIFO Value\"\n";
    out += "\"\",\"\",\"\",\"\",\"Txn Type\",\"Ref Number\",\"Txn Date\",\"Qty\",\"Item Cost\"\n";
    for (const CCostrunItemList* list : lists) {
        for (std::size_t i = 0; list && i < list->size(); ++i) {
            const CCostrunItem& item = *list->at(i);
            if (closing && !(item.qtyOnHand > 0.0)) continue;
            const std::string name = csvQuoted(item.fullName);
            if (item.qtyOnHand < 0) {
                out += name + format(",%.2f,%.2f,\"N/A\"\n", item.qtyOnHand, item.qbValue);
                continue;
            }
            if (item.isComplete()) {
                out += name + format(",%.2f,%.2f,%.2f\n", item.qtyOnHand, item.qbValue, item.onHandValue);
            } else {
                out += name + format(",%.2f,%.2f,\"N/A\"\n", item.qtyOnHand, item.qbValue);
            }
            for (const auto& lot : item.lots) {
                const CLocalTime t = lot->txnDate ? lot->txnDate->local() : CLocalTime{};
                out += "\"\",\"\",\"\",\"\"," + csvQuoted(lot->txnType) + "," + csvQuoted(lot->refNumber) +
                       format(",%04d/%02d/%02d,%.2f,%2f\n", t.year, t.month, t.day, lot->qty, lot->itemCost);
            }
        }
    }
    out += "\n\n\n";
    std::fwrite(out.data(), 1, out.size(), files.reportFile);
}

void CCostrunDoc::openActivityLog() {
    if (files.activityLogOpen) return;
    const std::string path = activityLogPath();
    removeFile(path);
    // A log that cannot be created is lost; the run goes on without it.
    files.activityLog = openFile(path, "wb");
    files.activityLogOpen = true;
}

void CCostrunDoc::logActivity(const char* fmt, ...) {
    if (files.activityLog == nullptr) return;
    std::va_list args;
    va_start(args, fmt);
    const std::string text = vformat(fmt, args);
    va_end(args);
    std::fwrite(text.data(), 1, text.size(), files.activityLog);
    std::fflush(files.activityLog);
}

void CCostrunDoc::logReceivingTxns(const CQbObjectList* list, const char* kindName) {
    if (list == nullptr || list->getSize() == 0) return;
    logActivity("%s", kSeparator);
    for (int i = 0; i < list->getSize(); ++i) {
        const CQbObject& txn = *list->getAt(i);
        if (!txn.has("ItemLineRet") && !txn.has("ItemGroupLineRet")) continue;
        logActivity("%s # : %s\n", kindName, txn.getValue("RefNumber").c_str());
        logActivity("Date : %s\n", txn.getValue("TxnDate").c_str());
        logActivity("Item Qty Cost\n");
        auto logLines = [this](const std::vector<CQbField*>& lines) {
            // Quantities in base units, as the lots count them. An amount billed without
            // a quantity (freight) brings in no units; a missing number would read as -1.
            auto loggedQuantity = [this](const CQbField& line) {
                if (!line.findChild("Quantity")) return 0.0;
                return runLists.units.logQuantity(itemName(line), line, lineFloat(line, "Quantity"));
            };
            for (const CQbField* line : lines) {
                if (!hasItem(*line)) continue;
                logActivity("%s %f %f\n", itemName(*line).c_str(), loggedQuantity(*line),
                            lineFloat(*line, "Amount"));
            }
        };
        logLines(txn.findAll("ItemLineRet"));
        for (const CQbField* group : txn.findAll("ItemGroupLineRet")) {
            logLines(group->findChildren("ItemLineRet"));
        }
    }
}

void CCostrunDoc::logInventoryAdjustments(const CQbObjectList* list) {
    if (list == nullptr || list->getSize() == 0) return;
    logActivity("%s", kSeparator);
    for (int i = 0; i < list->getSize(); ++i) {
        const CQbObject& txn = *list->getAt(i);
        logActivity("Inventory Adjustment # : %s\n", txn.getValue("RefNumber").c_str());
        logActivity("Date : %s\n", txn.getValue("TxnDate").c_str());
        logActivity("Item Qty Cost\n");
        for (const CQbField* line : txn.findAll("InventoryAdjustmentLineRet")) {
            if (!hasItem(*line)) continue;
            logActivity("%s %f %f\n", itemName(*line).c_str(),
                        lineFloat(*line, "QuantityDifference"), lineFloat(*line, "ValueDifference"));
        }
    }
}

void CCostrunDoc::logBuilds(const CQbObjectList* list) {
    if (list == nullptr || list->getSize() == 0) return;
    logActivity("%s", kSeparator);
    for (int i = 0; i < list->getSize(); ++i) {
        const CQbObject& build = *list->getAt(i);
        logActivity("Build # : %s\n", build.getValue("RefNumber").c_str());
        logActivity("Date : %s\n", build.getValue("TxnDate").c_str());
        logActivity("Item Qty\n");
        if (build.has("ItemInventoryAssemblyRef")) {
            logActivity("%s %f\n", build.getValue("ItemInventoryAssemblyRef", "FullName").c_str(),
                        build.getFloat("QuantityToBuild"));
        }
        for (const CQbField* line : build.findAll("ComponentItemLineRet")) {
            if (!hasItem(*line)) continue;
            logActivity("%s %f\n", itemName(*line).c_str(), lineFloat(*line, "QuantityNeeded"));
        }
    }
}

void CCostrunDoc::logDaySales(const CQbObjectList* list, const char* heading,
                              const char* lineName, const char* groupName) {
    if (list == nullptr || list->getSize() == 0) return;
    logActivity("%s", kSalesSeparator);
    for (int i = 0; i < list->getSize(); ++i) {
        const CQbObject& txn = *list->getAt(i);
        logActivity("-- %s #%s for customer %s :\n", heading, txn.getValue("RefNumber").c_str(),
                    txn.getValue("CustomerRef", "FullName").c_str());
        auto logLines = [this](const std::vector<CQbField*>& lines) {
            for (const CQbField* line : lines) {
                logActivity("%s %f\n", itemName(*line).c_str(),
                            runLists.units.logQuantity(itemName(*line), *line,
                                                       readDecimal(line->childValue("Quantity"))));
            }
        };
        logLines(txn.findAll(lineName));
        for (const CQbField* group : txn.findAll(groupName)) {
            logLines(group->findChildren(lineName));
        }
    }
}
