// The day's transactions: the issuing ones (invoices, sales receipts, inventory
// adjustments, credit memos) and the builds, read together, and the quantities they
// issue per item.
#include "days.h"
#include "qbfield.h"
#include "qbobject.h"
#include "qbutils.h"
#include "valuationrun.h"
#include "valueadjust.h"

namespace {

int sizeOf(const std::unique_ptr<CQbObjectList>& list) { return list ? list->getSize() : 0; }

void addDateRange(CQbFieldList& filter, const CDateTime& from, const CDateTime& to) {
    auto range = std::make_unique<CQbFieldList>();
    range->addDate("FromTxnDate", from, false);
    range->addDate("ToTxnDate", to, false);
    filter.addAggregate("TxnDateRangeFilter", std::move(range));
}

// The day's five transaction queries (invoices, sales receipts, inventory adjustments,
// credit memos, builds with the system's custom fields), with the filters they refer
// to; without builds (a company without assemblies) the first four.
struct CDayQueries {
    CDayQueries(const CDateTime& day, bool withBuilds) {
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
    CDayQueries(const CDayQueries&) = delete;
    CQbFieldList filter;
    CQbFieldList buildFilter;
    std::vector<CQbRequestBase::CQuery> queries;
};

// The direct lines of a transaction followed by the lines inside each of its groups.
std::vector<CQbField*> directThenGroupLines(const CQbObject& txn, const char* lineName, const char* groupName) {
    std::vector<CQbField*> lines = txn.findAll(lineName);
    for (const CQbField* group : txn.findAll(groupName)) {
        for (CQbField* line : group->findChildren(lineName)) lines.push_back(line);
    }
    return lines;
}

}  // namespace

std::vector<std::string> CValuationRun::dayQueryRequests(const CDateTime& date) const {
    const CDayQueries queries(date, settings.assemblies);
    std::vector<std::string> requests;
    for (const CQbRequestBase::CQuery& query : queries.queries) requests.push_back(session.queryRequest(query));
    return requests;
}

void CValuationRun::retrieveDayTxns(CDay& day) {
    // The queries go in one message set, unless the previous day's commit carried them.
    std::vector<std::unique_ptr<CQbResponse>> answers = dayCommit.takeNextAnswers(day.date);
    if (answers.empty()) {
        progress(day.progressText + "Retrieving the day's transactions...");
        answers = session.sendMessageSet(dayQueryRequests(day.date));
    }
    readDayAnswers(day, std::move(answers));
    recordDaySeen(day);
    if (sizeOf(day.invoices) + sizeOf(day.salesReceipts) + sizeOf(day.adjustments) + sizeOf(day.creditMemos) +
            sizeOf(day.builds) ==
        0) {
        return;
    }
    // All records share the day's date, so they keep exactly this order.
    day.txns = std::make_unique<CCostrunTxnList>();
    day.txns->addAll(kTxnInvoice, day.invoices.get());
    day.txns->addAll(kTxnSalesReceipt, day.salesReceipts.get());
    day.txns->addAll(kTxnCreditMemo, day.creditMemos.get());
    day.txns->addAll(kTxnInventoryAdjustment, day.adjustments.get());
    day.txns->addAll(kTxnBuildAssembly, day.builds.get());

    log.daySales(day.invoices.get(), "Invoice", "InvoiceLineRet", "InvoiceLineGroupRet", lists.units());
    log.daySales(day.salesReceipts.get(), "Sales Receipt", "SalesReceiptLineRet", "SalesReceiptLineGroupRet",
                 lists.units());
    log.daySales(day.creditMemos.get(), "Credit Memo", "CreditMemoLineRet", "CreditMemoLineGroupRet", lists.units());
    log.inventoryAdjustments(day.adjustments.get());
}

void CValuationRun::readDayAnswers(CDay& day, std::vector<std::unique_ptr<CQbResponse>> answers) {
    const CDayQueries dayQueries(day.date, settings.assemblies);
    const std::vector<CQbRequestBase::CQuery>& queries = dayQueries.queries;
    answers.resize(queries.size());
    progress(day.progressText + "Retrieving list of invoices...");
    day.invoices = session.queryRecords(queries[0], std::move(answers[0]));
    progress(day.progressText + "Retrieving list of sales receipts...");
    day.salesReceipts = session.queryRecords(queries[1], std::move(answers[1]));
    progress(day.progressText + "Retrieving list of inventory adjustments...");
    day.adjustments = session.queryRecords(queries[2], std::move(answers[2]));
    // The system's own value adjustments of the day come from a run that stopped before
    // committing it; they are no issues, and the day is redone without them.
    for (int i = sizeOf(day.adjustments) - 1; i >= 0; --i) {
        if (day.adjustments->getAt(i)->getValue("Memo") != kValueAdjustMemo) continue;
        day.ownPostings.insert(day.ownPostings.begin(), day.adjustments->getAt(i)->getValue("TxnID"));
        day.adjustments->detach(i);
    }
    progress(day.progressText + "Retrieving list of credit memos...");
    day.creditMemos = session.queryRecords(queries[3], std::move(answers[3]));
    day.builds = std::make_unique<CQbObjectList>();
    if (queries.size() > 4) {
        progress(day.progressText + "Retrieving list of build assembly...");
        day.builds = session.queryRecords(queries[4], std::move(answers[4]));
    }
    log.warnings(session.takeWarnings());
    if (sizeOf(day.builds) > 0) {
        day.buildTxns = std::make_unique<CCostrunTxnList>();
        day.buildTxns->addAll(kTxnBuildAssembly, day.builds.get());
        // The day is not committed yet, so any value its builds hold is provisional.
        day.buildTxns->dropProvisionalBuildValues(std::nullopt);
    }
}

void CValuationRun::recordDaySeen(const CDay& day) {
    const std::string date = dateText(day.date);
    seen.record(day.invoices.get(), "Invoice", date, date);
    seen.record(day.salesReceipts.get(), "SalesReceipt", date, date);
    seen.record(day.creditMemos.get(), "CreditMemo", date, date);
    seen.record(day.adjustments.get(), "InventoryAdjustment", date, date);
    if (settings.assemblies) seen.record(day.builds.get(), "BuildAssembly", date, date);
}

void CValuationRun::deleteOwnPostings(CDay& day) {
    if (day.ownPostings.empty()) return;
    progress(day.progressText + "Removing the value adjustments of an interrupted run...");
    for (const std::string& txnId : day.ownPostings) {
        log.log("Removed value adjustment %s of an interrupted run\n", txnId.c_str());
        session.txnDel(txnId, "InventoryAdjustment");
    }
    day.ownPostings.clear();
}

void CValuationRun::addLineIssues(CCostrunItemList& list, const CQbObject& txn, int typeCode,
                                  const std::vector<CQbField*>& lines, const char* quantityField, double sign) {
    // Adds sign × each line's quantity (in the item's base unit) to the issued quantity of
    // the line's item. A missing quantity reads as 0; a line whose unit cannot be read
    // adds nothing and leaves its item unvalued.
    const std::string typeName = txnTypeName(typeCode);
    const std::string refNumber = txn.getValue("RefNumber");
    for (const CQbField* line : lines) {
        CCostrunItem* item = list.find(line->grandchildValue("ItemRef", "FullName"));
        if (item == nullptr) continue;
        const std::optional<double> quantity =
            walk.baseQuantity(*item, CLineUnit::of(*line), line->childFloat(quantityField), typeName, refNumber);
        if (quantity) item->issuedQty += sign * *quantity;
    }
}

void CValuationRun::sumIssues(CCostrunItemList& list, const CCostrunTxnList& txns) {
    for (const auto& record : txns) {
        const CCostrunTxn& txn = *record;
        if (txn.isPending || txn.ret == nullptr) continue;
        const CQbObject& ret = *txn.ret;
        const int code = txn.txnTypeCode;
        if (code == kTxnInventoryAdjustment) {
            // Only decreases are issues; they count as positive quantities.
            for (const CQbField* line : ret.findAll("InventoryAdjustmentLineRet")) {
                const double difference = line->childFloat("QuantityDifference");
                if (difference >= 0.0) continue;
                CCostrunItem* item = list.find(line->grandchildValue("ItemRef", "FullName"));
                if (item != nullptr) item->issuedQty -= difference;
            }
        } else if (code == kTxnBuildAssembly) {
            addLineIssues(list, ret, code, ret.findAll("ComponentItemLineRet"), "QuantityNeeded", 1.0);
        } else if (const CTxnKind* kind = txnKind(code); kind && kind->sale) {
            addLineIssues(list, ret, code, directThenGroupLines(ret, kind->line, kind->group), "Quantity",
                          code == kTxnCreditMemo ? -1.0 : 1.0);
        }
    }
    logNewValues(list);
}

void CValuationRun::logNewValues(const CCostrunItemList& list) {
    log.log("-- New item value\n");
    log.log("Item Cost Account\n");
    for (const auto& entry : list) {
        const CCostrunItem& item = *entry;
        if (item.isComplete()) {
            log.log("%s %f %s\n", item.fullName.c_str(), static_cast<double>(item.onHandValue),
                    item.cogsAccount.c_str());
        } else {
            log.log("%s cannot find all item receipts\n", item.fullName.c_str());
        }
    }
}
