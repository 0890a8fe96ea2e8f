// The valuation run: every run-wide list is read from QuickBooks once, the CSV report
// is opened, and every day from the first unprocessed one up to the new up-to date is
// processed in order; a calculated day is committed ("LastUpToDate") with its postings
// before the next, so that a run stopped part-way leaves the company file consistent and
// the next run continues from there.
#include "costrundoc.h"
#include "qbexception.h"
#include "qbutils.h"

namespace {

std::string userDate(const CDateTime& t) { return t.userDateText(); }

constexpr const char* kSummarySeparator = "=====================\n";

void appendDistinct(std::vector<std::string>& list, const std::string& text) {
    for (const std::string& present : list) {
        if (present == text) return;
    }
    list.push_back(text);
}

}  // namespace

bool CCostrunDoc::runValuation(const CDateTime& newUpToDate) {
    if (!startDate) {
        errorText = "Internal Error : 8001";
        return false;
    }
    if (!session) {
        errorText = "No QuickBooks file is opened.";
        return false;
    }
    errorText.clear();
    const CDateTime started = CDateTime::now();
    runUpTo = newUpToDate;
    committedUpTo = lastUpToDate;
    prefetchedDay.reset();
    prefetchedAnswers.clear();
    runSummary = CRunSummary{};
    runSummary.firstDay = lastUpToDate ? nextDay(*lastUpToDate) : endOfDay(*startDate);
    runSummary.upTo = newUpToDate;
    pagePath.clear();
    lastCalculatedDay.reset();
    lastDayFifo.clear();
    openingOnlyNoted.clear();
    loadSeenRecord();
    openActivityLog();
    logActivity("Start date : %s\n", userDate(*startDate).c_str());
    if (lastUpToDate) {
        logActivity("Last up to date : %s\n", userDate(*lastUpToDate).c_str());
    } else {
        logActivity("Last up to date : not specified\n");
    }
    logActivity("New up to date : %s\n", userDate(newUpToDate).c_str());
    logActivity("MultiCurrency is turned %s\n", multiCurrency ? "on" : "off");

    bool ok = true;
    // The last day whose processing finished, as the next run must see it.
    std::optional<CDateTime> committed = lastUpToDate;
    try {
        // Inactive items can still hold stock that must be valued and adjusted.
        CQbFieldList all;
        all.addText("ActiveStatus", "All");
        assemblyItems = session->queryItemInventoryAssembly(&all);
        progress("Retrieving the item list...");
        inventoryItems = session->queryItemInventory(&all);
        priceList = retrievePriceList();

        accountList.assign(1, std::string());
        assetAccountList.clear();
        for (const CQbObjectList* items : {inventoryItems.get(), assemblyItems.get()}) {
            for (int i = 0; items && i < items->getSize(); ++i) {
                appendDistinct(accountList, items->getAt(i)->getValue("COGSAccountRef", "FullName"));
                appendDistinct(assetAccountList, items->getAt(i)->getValue("AssetAccountRef", "FullName"));
            }
        }
        retrieveClasses();

        // Receiving transactions are read from the start date on, whatever was processed
        // before: the FIFO walk of a day may reach back to any of them.
        CQbFieldList receiving;
        auto range = std::make_unique<CQbFieldList>();
        range->addText("FromTxnDate", dateText(*startDate));
        range->addText("ToTxnDate", dateText(newUpToDate));
        receiving.addAggregate("TxnDateRangeFilter", std::move(range));
        receiving.addText("IncludeLineItems", "true");
        progress("Retrieving the list of item receipts...");
        itemReceipts = session->queryItemReceipt(&receiving);
        progress("Retrieving the list of bills...");
        bills = session->queryBill(&receiving);
        progress("Retrieving the list of checks...");
        checks = session->queryCheck(&receiving);
        progress("Retrieving the list of credit card charges...");
        creditCardCharges = session->queryCreditCardCharge(&receiving);
        retrieveInventoryAdjustments(newUpToDate);

        logReceivingTxns(bills.get(), "Bill");
        logReceivingTxns(itemReceipts.get(), "Item Receipt");
        logReceivingTxns(checks.get(), "Check");
        logReceivingTxns(creditCardCharges.get(), "Credit Card Charge");
        logInventoryAdjustments(inventoryAdjustments.get());

        CQbFieldList allBuilds;
        allBuilds.addText("IncludeComponentLineItems", "true");
        allBuilds.addText("OwnerID", kPrivateOwnerId);
        builds = session->queryBuildAssembly(&allBuilds);
        logBuilds(builds.get());
        logQueryWarnings();
        recordSeen(bills.get(), "Bill");
        recordSeen(itemReceipts.get(), "ItemReceipt");
        recordSeen(checks.get(), "Check");
        recordSeen(creditCardCharges.get(), "CreditCardCharge");
        recordSeen(inventoryAdjustments.get(), "InventoryAdjustment");
        recordSeen(builds.get(), "BuildAssembly");

        // Transactions of one date stand in this order; the FIFO walk takes them in
        // reverse (builds first, bills last).
        receiptTxns = std::make_unique<CCostrunTxnList>();
        receiptTxns->addAll(kTxnBill, bills.get());
        receiptTxns->addAll(kTxnItemReceipt, itemReceipts.get());
        receiptTxns->addAll(kTxnCheck, checks.get());
        receiptTxns->addAll(kTxnCreditCardCharge, creditCardCharges.get());
        receiptTxns->addAll(kTxnInventoryAdjustment, inventoryAdjustments.get());
        receiptTxns->addAll(kTxnBuildAssembly, builds.get());
        receiptTxns->dropProvisionalBuildValues(lastUpToDate);
        indexReceipts();

        progress("Preparing...");
        const CDateTime first = lastUpToDate ? nextDay(*lastUpToDate) : endOfDay(*startDate);
        if (!openReportFile(first, newUpToDate)) {
            ok = false;
        } else {
            // A calculated day commits itself with its postings; a day without activity
            // is covered by the next commit, and the last day of the run is committed
            // on its own when it had none.
            for (CDateTime d = first; ok && d <= newUpToDate; d = nextDay(d)) {
                lastUpToDate = d;
                ok = processDay(d) && (committedUpTo == d || d < newUpToDate || saveLastUpToDate());
                if (ok) {
                    committed = committedUpTo;
                } else {
                    lastUpToDate = committed;
                }
            }
            if (ok) {
                // The days are committed; a check QuickBooks refuses still fails the run,
                // which says so: no answer is taken for a good one.
                try {
                    proveValues();
                } catch (const CQbException& e) {
                    errorText = "The days are valued and committed, but the check of QuickBooks' values "
                                "against the FIFO values could not be made: " +
                                e.getMessage();
                    ok = false;
                }
            }
        }
    } catch (const CQbException& e) {
        // QuickBooks closed or the connection lost mid-run: the days committed so far
        // stay committed, and the next run continues after the last of them.
        errorText = e.getMessage();
        ok = false;
        // The day that failed is not done: the next run must start with it.
        lastUpToDate = committed;
    }

    logActivity("%s", kSummarySeparator);
    logActivity("%s\n", runSummary.text().c_str());
    for (const auto& [item, correction] : runSummary.itemCorrections) {
        logActivity("Correction of %s : %.2f\n", item.c_str(), correction);
    }
    writePage();
    saveSeenRecord();
    // The moment this run finished writing: its own postings, build values and
    // deletions stand before it, so the next open takes only the user's later changes
    // for changes behind the valued period.
    if (session) {
        const std::string runError = errorText;
        if (!saveLastRunTime(started) && ok) {
            // Without it the next open would take this run's own writes for changes.
            ok = false;
        } else {
            errorText = runError;
        }
    }

    runUpTo.reset();
    prefetchedDay.reset();
    prefetchedAnswers.clear();
    dayWrites.clear();
    dayPostings.clear();
    inventoryItems.reset();
    itemReceipts.reset();
    bills.reset();
    checks.reset();
    creditCardCharges.reset();
    inventoryAdjustments.reset();
    receiptIndex.clear();
    receiptRefNumbers.clear();
    receiptTxns.reset();
    openingInventory.reset();
    openingAssembly.reset();
    inventoryList.reset();
    assemblyList.reset();
    releaseDayLists();
    closeReportFile();
    assemblyItems.reset();
    builds.reset();
    priceList.reset();
    return ok;
}
