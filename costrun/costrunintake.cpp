// Transaction intake: what the engine asks QuickBooks for besides the valuation
// reports, and how the answers become the ledger's lots and issued quantities. It reads
// the day's issuing transactions and builds, turns receiving lines into FIFO lots, sums
// the day's issued quantities per item, and reads the price list of non-inventory
// items, the classes, and the run's inventory adjustments.
#include <string>
#include <vector>

#include "costrundoc.h"
#include "qbutils.h"

namespace {

void addDateRange(CQbFieldList& filter, const CDateTime& from, const CDateTime& to) {
    auto range = std::make_unique<CQbFieldList>();
    range->addDate("FromTxnDate", from, false);
    range->addDate("ToTxnDate", to, false);
    filter.addAggregate("TxnDateRangeFilter", std::move(range));
}

int sizeOf(const std::unique_ptr<CQbObjectList>& list) {
    return list ? list->getSize() : 0;
}

// The direct lines of a transaction followed by the lines inside each of its groups.
std::vector<CQbField*> directThenGroupLines(const CQbObject& txn, const char* lineName,
                                            const char* groupName) {
    std::vector<CQbField*> lines = txn.findAll(lineName);
    for (const CQbField* group : txn.findAll(groupName)) {
        for (CQbField* line : group->findChildren(lineName)) lines.push_back(line);
    }
    return lines;
}

// Adds sign × each line's quantity (in the item's base unit) to the issued quantity
// of the line's item. A missing quantity reads as 0; a line whose unit cannot be read
// adds nothing and leaves its item unvalued.
void addLineIssues(CCostrunDoc& doc, CCostrunItemList& list, const CQbObject& txn, int typeCode,
                   const std::vector<CQbField*>& lines, const char* quantityField, double sign) {
    const std::string typeName = txnTypeName(typeCode);
    const std::string refNumber = txn.getValue("RefNumber");
    for (const CQbField* line : lines) {
        CCostrunItem* item = list.find(line->grandchildValue("ItemRef", "FullName"));
        if (item == nullptr) continue;
        const std::optional<double> quantity =
            doc.toBaseQuantity(*item, CLineUnit::of(*line), line->childFloat(quantityField), typeName, refNumber);
        if (quantity) item->issuedQty += sign * *quantity;
    }
}

}  // namespace

CCostrunDoc::CDayQueries::CDayQueries(const CDateTime& day, bool withBuilds) {
    addDateRange(filter, day, day);
    filter.addText("IncludeLineItems", "true");
    addDateRange(buildFilter, day, day);
    buildFilter.addText("IncludeComponentLineItems", "true");
    buildFilter.addText("OwnerID", kPrivateOwnerId);
    queries = {{"InvoiceQueryRq", "InvoiceRet", &filter, true},
               {"SalesReceiptQueryRq", "SalesReceiptRet", &filter, true},
               {"InventoryAdjustmentQueryRq", "InventoryAdjustmentRet", &filter, true},
               {"CreditMemoQueryRq", "CreditMemoRet", &filter, true}};
    if (withBuilds) queries.push_back({"BuildAssemblyQueryRq", "BuildAssemblyRet", &buildFilter, true});
}

std::unique_ptr<CCostrunTxnList> CCostrunDoc::retrieveDayTxns(const CDateTime& day) {
    releaseDayLists();
    if (!session) return nullptr;

    const CDayQueries dayQueries(day, settings.assemblies);
    const std::vector<CQbRequestBase::CQuery>& queries = dayQueries.queries;
    std::vector<std::unique_ptr<CQbResponse>> answers;
    if (dayLists.prefetchedDay && *dayLists.prefetchedDay == day) {
        answers = std::move(dayLists.prefetchedAnswers);
    } else {
        progress(progressText + "Retrieving the day's transactions...");
        std::vector<std::string> requests;
        for (const CQbRequestBase::CQuery& query : queries) requests.push_back(session->queryRequest(query));
        answers = session->sendMessageSet(requests);
    }
    dayLists.prefetchedDay.reset();
    dayLists.prefetchedAnswers.clear();
    answers.resize(queries.size());

    progress(progressText + "Retrieving list of invoices...");
    dayLists.dayInvoices = session->queryRecords(queries[0], std::move(answers[0]));
    progress(progressText + "Retrieving list of sales receipts...");
    dayLists.daySalesReceipts = session->queryRecords(queries[1], std::move(answers[1]));
    progress(progressText + "Retrieving list of inventory adjustments...");
    dayLists.dayInventoryAdjustments = session->queryRecords(queries[2], std::move(answers[2]));
    // The system's own value adjustments of the day come from a run that stopped before
    // committing it; they are no issues, and the day is redone without them.
    for (int i = sizeOf(dayLists.dayInventoryAdjustments) - 1; i >= 0; --i) {
        if (dayLists.dayInventoryAdjustments->getAt(i)->getValue("Memo") != kValueAdjustMemo) continue;
        dayLists.dayOwnPostings.insert(dayLists.dayOwnPostings.begin(), dayLists.dayInventoryAdjustments->getAt(i)->getValue("TxnID"));
        dayLists.dayInventoryAdjustments->detach(i);
    }
    progress(progressText + "Retrieving list of credit memos...");
    dayLists.dayCreditMemos = session->queryRecords(queries[3], std::move(answers[3]));

    dayLists.dayBuilds = std::make_unique<CQbObjectList>();
    if (queries.size() > 4) {
        progress(progressText + "Retrieving list of build assembly...");
        dayLists.dayBuilds = session->queryRecords(queries[4], std::move(answers[4]));
    }
    logQueryWarnings();
    if (sizeOf(dayLists.dayBuilds) > 0) {
        dayLists.dayBuildTxns = std::make_unique<CCostrunTxnList>();
        dayLists.dayBuildTxns->addAll(kTxnBuildAssembly, dayLists.dayBuilds.get());
        // The day is not committed yet, so any value its builds hold is provisional.
        dayLists.dayBuildTxns->dropProvisionalBuildValues(std::nullopt);
    }

    const std::string dayDate = dateText(day);
    recordSeen(dayLists.dayInvoices.get(), "Invoice", dayDate, dayDate);
    recordSeen(dayLists.daySalesReceipts.get(), "SalesReceipt", dayDate, dayDate);
    recordSeen(dayLists.dayCreditMemos.get(), "CreditMemo", dayDate, dayDate);
    recordSeen(dayLists.dayInventoryAdjustments.get(), "InventoryAdjustment", dayDate, dayDate);
    if (settings.assemblies) recordSeen(dayLists.dayBuilds.get(), "BuildAssembly", dayDate, dayDate);

    if (sizeOf(dayLists.dayInvoices) + sizeOf(dayLists.daySalesReceipts) + sizeOf(dayLists.dayInventoryAdjustments) +
            sizeOf(dayLists.dayCreditMemos) + sizeOf(dayLists.dayBuilds) ==
        0) {
        return nullptr;
    }

    // All records share the day's date, so they keep exactly this order.
    auto dayTxns = std::make_unique<CCostrunTxnList>();
    dayTxns->addAll(kTxnInvoice, dayLists.dayInvoices.get());
    dayTxns->addAll(kTxnSalesReceipt, dayLists.daySalesReceipts.get());
    dayTxns->addAll(kTxnCreditMemo, dayLists.dayCreditMemos.get());
    dayTxns->addAll(kTxnInventoryAdjustment, dayLists.dayInventoryAdjustments.get());
    dayTxns->addAll(kTxnBuildAssembly, dayLists.dayBuilds.get());

    logDaySales(dayLists.dayInvoices.get(), "Invoice", "InvoiceLineRet", "InvoiceLineGroupRet");
    logDaySales(dayLists.daySalesReceipts.get(), "Sales Receipt", "SalesReceiptLineRet",
                "SalesReceiptLineGroupRet");
    logDaySales(dayLists.dayCreditMemos.get(), "Credit Memo", "CreditMemoLineRet", "CreditMemoLineGroupRet");
    logInventoryAdjustments(dayLists.dayInventoryAdjustments.get());
    return dayTxns;
}

void CCostrunDoc::takeReceiptLines(CCostrunItemList& list, const std::optional<CDateTime>& txnDate,
                                   const std::string& refNumber, const std::string& typeName,
                                   const std::vector<CQbField*>& lines,
                                   const std::string& quantityField, const std::string& amountField,
                                   double rate) {
    for (const CQbField* line : lines) {
        if (const auto read = readReceiptLine(*line, quantityField, amountField))
            placeReceiptLot(list, *read, txnDate, refNumber, typeName, rate);
    }
}

std::optional<CCostrunDoc::CReceiptLine> CCostrunDoc::readReceiptLine(const CQbField& line,
                                                                     const std::string& quantityField,
                                                                     const std::string& amountField) {
    const CQbFieldList* fields = line.getChildren();
    if (fields == nullptr || fields->getSize() == 0) return std::nullopt;
    CReceiptLine read;
    read.quantity = fields->getFloat(quantityField);
    if (!(read.quantity > 0.0)) return std::nullopt;
    if (!fields->has("ItemRef")) return std::nullopt;
    read.item = line.grandchildValue("ItemRef", "FullName");
    // A line without an amount carries no value (not the -1.0 of a missing number).
    read.amount = line.childFloat(amountField);
    read.unit = CLineUnit::of(line);
    return read;
}

void CCostrunDoc::placeReceiptLot(CCostrunItemList& list, const CReceiptLine& line,
                                  const std::optional<CDateTime>& txnDate, const std::string& refNumber,
                                  const std::string& typeName, double rate) {
    if (line.isReturn) return;  // no lot: see takeReturns
    const double amount = line.amount * rate;
    CCostrunItem* item = list.find(line.item);
    if (item == nullptr || !item->active || item->isComplete()) return;
    const std::optional<double> baseQuantity = toBaseQuantity(*item, line.unit, line.quantity, typeName, refNumber);
    if (!baseQuantity) return;

    auto lot = std::make_unique<CItemPo>();
    lot->txnDate = txnDate;
    lot->refNumber = refNumber;
    lot->txnType = typeName;
    lot->itemCost = amount / *baseQuantity;
    item->takeLot(amount, *baseQuantity, *lot);
    item->addLot(std::move(lot));
}

double CCostrunDoc::receiptRate(const CQbObject& txn) const { return receiptRate(txn.getFloat("ExchangeRate")); }

double CCostrunDoc::receiptRate(double exchangeRate) const {
    if (!settings.multiCurrency) return 1.0;
    // A missing rate reads as -1.0, which would turn the lots negative; like a rate of
    // 0 it means the transaction is in the home currency.
    return exchangeRate > 0.0 ? exchangeRate : 1.0;
}

void CCostrunDoc::sumIssues(CCostrunItemList& list, const CCostrunTxnList& dayTxns) {
    for (const auto& record : dayTxns) {
        const CCostrunTxn& txn = *record;
        if (txn.isPending || txn.ret == nullptr) continue;
        const CQbObject& ret = *txn.ret;
        switch (txn.txnTypeCode) {
            case kTxnInvoice:
                addLineIssues(*this, list, ret, txn.txnTypeCode,
                              directThenGroupLines(ret, "InvoiceLineRet", "InvoiceLineGroupRet"),
                              "Quantity", 1.0);
                break;
            case kTxnSalesReceipt:
                addLineIssues(
                    *this, list, ret, txn.txnTypeCode,
                    directThenGroupLines(ret, "SalesReceiptLineRet", "SalesReceiptLineGroupRet"),
                    "Quantity", 1.0);
                break;
            case kTxnCreditMemo:
                addLineIssues(
                    *this, list, ret, txn.txnTypeCode,
                    directThenGroupLines(ret, "CreditMemoLineRet", "CreditMemoLineGroupRet"),
                    "Quantity", -1.0);
                break;
            case kTxnInventoryAdjustment:
                // Only decreases are issues; they count as positive quantities.
                for (const CQbField* line : ret.findAll("InventoryAdjustmentLineRet")) {
                    const double difference = line->childFloat("QuantityDifference");
                    if (difference >= 0.0) continue;
                    CCostrunItem* item = list.find(line->grandchildValue("ItemRef", "FullName"));
                    if (item != nullptr) item->issuedQty -= difference;
                }
                break;
            case kTxnBuildAssembly:
                addLineIssues(*this, list, ret, txn.txnTypeCode, ret.findAll("ComponentItemLineRet"),
                              "QuantityNeeded", 1.0);
                break;
            default:
                break;
        }
    }

    logActivity("-- New item value\n");
    logActivity("Item Cost Account\n");
    for (const auto& entry : list) {
        const CCostrunItem& item = *entry;
        if (item.isComplete()) {
            logActivity("%s %f %s\n", item.fullName.c_str(), static_cast<double>(item.onHandValue),
                        item.cogsAccount.c_str());
        } else {
            logActivity("%s cannot find all item receipts\n", item.fullName.c_str());
        }
    }
}

void CCostrunDoc::deleteOwnPostings() {
    if (!session || dayLists.dayOwnPostings.empty()) return;
    progress(progressText + "Removing the value adjustments of an interrupted run...");
    for (const std::string& txnId : dayLists.dayOwnPostings) {
        logActivity("Removed value adjustment %s of an interrupted run\n", txnId.c_str());
        session->txnDel(txnId, "InventoryAdjustment");
    }
    dayLists.dayOwnPostings.clear();
}

void CCostrunDoc::logQueryWarnings() {
    if (!session) return;
    for (const std::string& warning : session->takeWarnings()) {
        logActivity("QuickBooks warning : %s\n", warning.c_str());
    }
}

std::unique_ptr<std::map<std::string, std::string>> CCostrunDoc::retrievePriceList() {
    auto prices = std::make_unique<std::map<std::string, std::string>>();
    auto addItems = [&prices](const std::unique_ptr<CQbObjectList>& items) {
        for (int i = 0; i < sizeOf(items); ++i) {
            const CQbObject& item = *items->getAt(i);
            std::string price;
            if (item.has("SalesOrPurchase")) {
                price = item.getValue("SalesOrPurchase", "Price");
            } else if (item.has("SalesAndPurchase")) {
                price = item.getValue("SalesAndPurchase", "PurchaseCost");
            }
            (*prices)[item.getValue("FullName")] = price;
        }
    };
    if (!session) return prices;

    // Inactive items still cost what they cost when a build uses them.
    CQbFieldList all;
    all.addText("ActiveStatus", "All");
    progress("Retrieving the non-inventory part list...");
    addItems(session->queryItemNonInventory(&all));
    progress("Retrieving the service list...");
    addItems(session->queryItemService(&all));
    progress("Retrieving the other charge list...");
    addItems(session->queryItemOtherCharge(&all));
    return prices;
}

void CCostrunDoc::retrieveInventoryAdjustments(const CDateTime& newUpToDate) {
    runLists.inventoryAdjustments = std::make_unique<CQbObjectList>();
    if (!session || !settings.startDate) return;

    CQbFieldList filter;
    addDateRange(filter, *settings.startDate, newUpToDate);
    filter.addText("IncludeLineItems", "true");
    progress("Retrieving the list of inventory adjustments...");
    auto adjustments = session->queryInventoryAdjustment(&filter);
    if (!adjustments) return;
    // Whatever the account (stock found by a count is often booked to cost of goods
    // sold), an adjustment is the owner's; only the system's own value adjustments,
    // which follow from the FIFO value rather than change it, are left out.
    for (int i = adjustments->getSize() - 1; i >= 0; --i) {
        if (adjustments->getAt(i)->getValue("Memo") == kValueAdjustMemo) adjustments->detach(i);
    }
    runLists.inventoryAdjustments = std::move(adjustments);
}

void CCostrunDoc::retrieveClasses() {
    runLists.classList.assign(1, std::string());
    if (!session) return;
    // Lines of an inactive class are adjusted like any other.
    CQbFieldList all;
    all.addText("ActiveStatus", "All");
    const std::unique_ptr<CQbObjectList> classes = session->queryClass(&all);
    for (int i = 0; i < sizeOf(classes); ++i) {
        std::string name = classes->getAt(i)->getValue("FullName");
        if (!name.empty()) runLists.classList.push_back(std::move(name));
    }
}
