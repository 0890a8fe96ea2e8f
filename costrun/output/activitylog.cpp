#include "activitylog.h"

#include <cstdarg>
#include <vector>

#include "costruntxnlist.h"
#include "costrununits.h"
#include "files.h"
#include "qbfield.h"
#include "qbobject.h"
#include "qbobjectlist.h"
#include "qbutils.h"

namespace {

constexpr const char* kSeparator = "---------------------\n";   // 21 dashes
constexpr const char* kSalesSeparator = "------------------\n";  // 18 dashes

std::string vformat(const char* format, std::va_list args) {
    char buffer[512];
    std::va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (length <= 0) return std::string();
    if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(length));
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

double lineFloat(const CQbField& line, const std::string& name) {
    return line.getChildren() ? line.getChildren()->getFloat(name) : -1.0;
}

std::string itemName(const CQbField& line) { return line.grandchildValue("ItemRef", "FullName"); }

bool hasItem(const CQbField& line) { return line.findChild("ItemRef") != nullptr; }

}  // namespace

std::string formatText(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return text;
}

CActivityLog::~CActivityLog() {
    if (file != nullptr) std::fclose(file);
}

void CActivityLog::open() {
    if (opened) return;
    removeFile(filePath);
    file = openFile(filePath, "wb");
    opened = true;
}

void CActivityLog::log(const char* format, ...) {
    if (file == nullptr) return;
    std::va_list args;
    va_start(args, format);
    const std::string text = vformat(format, args);
    va_end(args);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
}

void CActivityLog::warnings(const std::vector<std::string>& texts) {
    for (const std::string& warning : texts) log("QuickBooks warning : %s\n", warning.c_str());
}

void CActivityLog::receivingTxns(const CQbObjectList* list, const char* kindName, const CCostrunUnits& units) {
    if (list == nullptr || list->getSize() == 0) return;
    log("%s", kSeparator);
    for (int i = 0; i < list->getSize(); ++i) {
        const CQbObject& txn = *list->getAt(i);
        if (!txn.has("ItemLineRet") && !txn.has("ItemGroupLineRet")) continue;
        log("%s # : %s\n", kindName, txn.getValue("RefNumber").c_str());
        log("Date : %s\n", txn.getValue("TxnDate").c_str());
        log("Item Qty Cost\n");
        for (const CQbField* line : itemLines(txn, "ItemLineRet", "ItemGroupLineRet")) {
            if (!hasItem(*line)) continue;
            const double quantity =
                line->findChild("Quantity") ? units.logQuantity(itemName(*line), *line, lineFloat(*line, "Quantity")) : 0.0;
            log("%s %f %f\n", itemName(*line).c_str(), quantity, lineFloat(*line, "Amount"));
        }
    }
}

void CActivityLog::inventoryAdjustments(const CQbObjectList* list) {
    if (list == nullptr || list->getSize() == 0) return;
    log("%s", kSeparator);
    for (int i = 0; i < list->getSize(); ++i) {
        const CQbObject& txn = *list->getAt(i);
        log("Inventory Adjustment # : %s\n", txn.getValue("RefNumber").c_str());
        log("Date : %s\n", txn.getValue("TxnDate").c_str());
        log("Item Qty Cost\n");
        for (const CQbField* line : txn.findAll("InventoryAdjustmentLineRet")) {
            if (!hasItem(*line)) continue;
            log("%s %f %f\n", itemName(*line).c_str(), lineFloat(*line, "QuantityDifference"),
                lineFloat(*line, "ValueDifference"));
        }
    }
}

void CActivityLog::builds(const CQbObjectList* list) {
    if (list == nullptr || list->getSize() == 0) return;
    log("%s", kSeparator);
    for (int i = 0; i < list->getSize(); ++i) {
        const CQbObject& build = *list->getAt(i);
        log("Build # : %s\n", build.getValue("RefNumber").c_str());
        log("Date : %s\n", build.getValue("TxnDate").c_str());
        log("Item Qty\n");
        if (build.has("ItemInventoryAssemblyRef")) {
            log("%s %f\n", build.getValue("ItemInventoryAssemblyRef", "FullName").c_str(),
                build.getFloat("QuantityToBuild"));
        }
        for (const CQbField* line : build.findAll("ComponentItemLineRet")) {
            if (!hasItem(*line)) continue;
            log("%s %f\n", itemName(*line).c_str(), lineFloat(*line, "QuantityNeeded"));
        }
    }
}

void CActivityLog::daySales(const CQbObjectList* list, const char* heading, const char* lineName,
                            const char* groupName, const CCostrunUnits& units) {
    if (list == nullptr || list->getSize() == 0) return;
    log("%s", kSalesSeparator);
    for (int i = 0; i < list->getSize(); ++i) {
        const CQbObject& txn = *list->getAt(i);
        log("-- %s #%s for customer %s :\n", heading, txn.getValue("RefNumber").c_str(),
            txn.getValue("CustomerRef", "FullName").c_str());
        for (const CQbField* line : itemLines(txn, lineName, groupName)) {
            log("%s %f\n", itemName(*line).c_str(),
                units.logQuantity(itemName(*line), *line, readDecimal(line->childValue("Quantity"))));
        }
    }
}
