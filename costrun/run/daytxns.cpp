#include "daytxns.h"

#include "qbfield.h"
#include "qbfieldlist.h"
#include "qbobject.h"
#include "qbutils.h"
#include "queryfilters.h"
#include "txnkinds.h"

namespace {

int sizeOf(const std::unique_ptr<CQbObjectList>& list) { return list ? list->getSize() : 0; }

// The day's queries, with the filters they refer to: the issuing transactions with their
// lines, the builds with their components and the system's custom fields.
struct CDayQueries {
    CDayQueries(const CDateTime& day, bool withBuilds) {
        addDateRange(filter, day, day);
        filter.addText("IncludeLineItems", "true");
        // A statement charge has no lines to include: its item is in its header.
        addDateRange(chargeFilter, day, day);
        addDateRange(buildFilter, day, day);
        buildFilter.addText("IncludeComponentLineItems", "true");
        buildFilter.addText("OwnerID", kPrivateOwnerId);
        queries = {{"InvoiceQueryRq", "InvoiceRet", &filter, true},
                   {"SalesReceiptQueryRq", "SalesReceiptRet", &filter, true},
                   {"InventoryAdjustmentQueryRq", "InventoryAdjustmentRet", &filter, true},
                   {"CreditMemoQueryRq", "CreditMemoRet", &filter, true},
                   {"ChargeQueryRq", "ChargeRet", &chargeFilter, true}};
        if (withBuilds) queries.push_back({"BuildAssemblyQueryRq", "BuildAssemblyRet", &buildFilter, true});
    }
    CDayQueries(const CDayQueries&) = delete;
    CQbFieldList filter;
    CQbFieldList chargeFilter;
    CQbFieldList buildFilter;
    std::vector<CQbRequestBase::CQuery> queries;
};

// Gives a statement charge the one line its header describes (kChargeLine).
void addChargeLine(CQbObject& charge) {
    auto line = std::make_unique<CQbFieldList>();
    for (const char* element : {"ItemRef", "Quantity", "UnitOfMeasure", "OverrideUOMSetRef", "Rate", "Amount", "ClassRef"}) {
        if (const CQbField* field = charge.getFields().find(element)) line->add(field->clone());
    }
    charge.getFields().addAggregate(kChargeLine, std::move(line));
}

}  // namespace

std::vector<std::string> CDayTxns::requests(CQbRequestBase& session, const CDateTime& day, bool assemblies) {
    const CDayQueries queries(day, assemblies);
    std::vector<std::string> requests;
    for (const CQbRequestBase::CQuery& query : queries.queries) requests.push_back(session.queryRequest(query));
    return requests;
}

CDayTxns::CDayTxns(CQbRequestBase& session, const CDateTime& day, bool assemblies,
                   std::vector<std::unique_ptr<CQbResponse>> answers,
                   const std::function<void(const std::string&)>& progress, const COwnPostings& ownRule)
    : date(dateText(day)) {
    const CDayQueries dayQueries(day, assemblies);
    const std::vector<CQbRequestBase::CQuery>& queries = dayQueries.queries;
    answers.resize(queries.size());
    progress("Retrieving list of invoices...");
    invoices = session.queryRecords(queries[0], std::move(answers[0]));
    progress("Retrieving list of sales receipts...");
    salesReceipts = session.queryRecords(queries[1], std::move(answers[1]));
    progress("Retrieving list of inventory adjustments...");
    adjustments = session.queryRecords(queries[2], std::move(answers[2]));
    for (int i = sizeOf(adjustments) - 1; i >= 0; --i) {
        if (!ownRule.isOwn(*adjustments->getAt(i))) continue;
        own.insert(own.begin(), adjustments->getAt(i)->getValue("TxnID"));
        adjustments->detach(i);
    }
    progress("Retrieving list of credit memos...");
    creditMemos = session.queryRecords(queries[3], std::move(answers[3]));
    progress("Retrieving list of statement charges...");
    charges = session.queryRecords(queries[4], std::move(answers[4]));
    for (int i = 0; i < sizeOf(charges); ++i) addChargeLine(*charges->getAt(i));
    buildList = std::make_unique<CQbObjectList>();
    if (queries.size() > 5) {
        progress("Retrieving list of build assembly...");
        buildList = session.queryRecords(queries[5], std::move(answers[5]));
    }
    if (sizeOf(buildList) > 0) {
        buildTxns = std::make_unique<CCostrunTxnList>();
        buildTxns->addAll(kTxnBuildAssembly, buildList.get());
        // The day is not committed yet, so any value its builds hold is provisional.
        buildTxns->dropProvisionalBuildValues(std::nullopt);
    }
    if (sizeOf(invoices) + sizeOf(salesReceipts) + sizeOf(adjustments) + sizeOf(creditMemos) + sizeOf(charges) +
            sizeOf(buildList) ==
        0)
        return;
    txns = std::make_unique<CCostrunTxnList>();
    txns->addAll(kTxnInvoice, invoices.get());
    txns->addAll(kTxnSalesReceipt, salesReceipts.get());
    txns->addAll(kTxnCreditMemo, creditMemos.get());
    txns->addAll(kTxnCharge, charges.get());
    txns->addAll(kTxnInventoryAdjustment, adjustments.get());
    txns->addAll(kTxnBuildAssembly, buildList.get());
}

void CDayTxns::record(CSeenRecord& seen, bool assemblies) const {
    seen.record(invoices.get(), "Invoice", date, date);
    seen.record(salesReceipts.get(), "SalesReceipt", date, date);
    seen.record(creditMemos.get(), "CreditMemo", date, date);
    seen.record(charges.get(), "Charge", date, date);
    seen.record(adjustments.get(), "InventoryAdjustment", date, date);
    if (assemblies) seen.record(buildList.get(), "BuildAssembly", date, date);
}

void CDayTxns::log(CActivityLog& log, const CCostrunUnits& units) const {
    for (const auto& [list, code] :
         {std::pair{invoices.get(), kTxnInvoice}, std::pair{salesReceipts.get(), kTxnSalesReceipt},
          std::pair{creditMemos.get(), kTxnCreditMemo}, std::pair{charges.get(), kTxnCharge}}) {
        const CTxnKind& kind = *txnKind(code);
        log.daySales(list, kind.name, kind.line, kind.group, units);
    }
    log.inventoryAdjustments(adjustments.get());
}
