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
    if (!settings.startDate) {
        errorText = "Internal Error : 8001";
        return false;
    }
    if (!session) {
        errorText = "No QuickBooks file is opened.";
        return false;
    }
    errorText.clear();
    const CDateTime firstDay = settings.lastUpToDate ? nextDay(*settings.lastUpToDate) : *settings.startDate;
    if (startOfDay(firstDay) <= newUpToDate) {
        errorText = closingDateRefusal(firstDay, false);
        if (!errorText.empty()) return false;
    }
    const CDateTime started = CDateTime::now();
    runRecord.runUpTo = newUpToDate;
    runRecord.committedUpTo = settings.lastUpToDate;
    dayLists.prefetchedDay.reset();
    dayLists.prefetchedAnswers.clear();
    runRecord.runSummary = CRunSummary{};
    runRecord.runSummary.firstDay = settings.lastUpToDate ? nextDay(*settings.lastUpToDate) : endOfDay(*settings.startDate);
    runRecord.runSummary.upTo = newUpToDate;
    files.pagePath.clear();
    runRecord.lastCalculatedDay.reset();
    runRecord.lastDayUnvalued.clear();
    runRecord.openingOnlyNoted.clear();
    loadSeenRecord();
    runRecord.ownBuildWrites.clear();
    openActivityLog();
    logActivity("Start date : %s\n", userDate(*settings.startDate).c_str());
    if (settings.lastUpToDate) {
        logActivity("Last up to date : %s\n", userDate(*settings.lastUpToDate).c_str());
    } else {
        logActivity("Last up to date : not specified\n");
    }
    logActivity("New up to date : %s\n", userDate(newUpToDate).c_str());
    logActivity("MultiCurrency is turned %s\n", settings.multiCurrency ? "on" : "off");
    if (!settings.assemblies) logActivity("No assemblies in %s: builds are not read\n", settings.productName.c_str());
    if (!settings.serialOrLot.empty()) logActivity("Serial or lot numbers : %s\n", settings.serialOrLot.c_str());

    bool ok = true;
    // The last day whose processing finished, as the next run must see it.
    std::optional<CDateTime> committed = settings.lastUpToDate;
    try {
        // Inactive items can still hold stock that must be valued and adjusted.
        CQbFieldList all;
        all.addText("ActiveStatus", "All");
        // Without assemblies (QuickBooks Pro) nothing about them is asked for.
        runLists.assemblyItems =
            settings.assemblies ? session->queryItemInventoryAssembly(&all) : std::make_unique<CQbObjectList>();
        progress("Retrieving the item list...");
        runLists.inventoryItems = session->queryItemInventory(&all);
        runLists.itemAccounts.clear();
        retrieveUnits();
        runLists.priceList = retrievePriceList();

        runLists.accountList.assign(1, std::string());
        runLists.assetAccountList.clear();
        for (const CQbObjectList* items : {runLists.inventoryItems.get(), runLists.assemblyItems.get()}) {
            for (int i = 0; items && i < items->getSize(); ++i) {
                appendDistinct(runLists.accountList, items->getAt(i)->getValue("COGSAccountRef", "FullName"));
                appendDistinct(runLists.assetAccountList, items->getAt(i)->getValue("AssetAccountRef", "FullName"));
            }
        }
        retrieveClasses();

        // Receiving transactions are read from the start date on, whatever was processed
        // before: the FIFO walk of a day may reach back to any of them.
        CQbFieldList receiving;
        auto range = std::make_unique<CQbFieldList>();
        range->addText("FromTxnDate", dateText(*settings.startDate));
        range->addText("ToTxnDate", dateText(newUpToDate));
        receiving.addAggregate("TxnDateRangeFilter", std::move(range));
        receiving.addText("IncludeLineItems", "true");
        // Each list is logged and taken into the run's compact records as soon as it is
        // read, and let go: one parsed answer at a time is held. The record of what the
        // run read takes them once every query was answered.
        struct CPurchaseList {
            const char* progressText;
            std::unique_ptr<CQbObjectList> (CQbRequestBase::*query)(const CQbFieldList*);
            const char* kindName;  // as the activity log names it
            int code;
            const char* objectName;  // as the record of what was read names it
        };
        static const CPurchaseList kPurchaseLists[] = {
            {"Retrieving the list of bills...", &CQbRequestBase::queryBill, "Bill", kTxnBill, "Bill"},
            {"Retrieving the list of item receipts...", &CQbRequestBase::queryItemReceipt, "Item Receipt",
             kTxnItemReceipt, "ItemReceipt"},
            {"Retrieving the list of checks...", &CQbRequestBase::queryCheck, "Check", kTxnCheck, "Check"},
            {"Retrieving the list of credit card charges...", &CQbRequestBase::queryCreditCardCharge,
             "Credit Card Charge", kTxnCreditCardCharge, "CreditCardCharge"},
            {"Retrieving the list of vendor credits...", &CQbRequestBase::queryVendorCredit, "Vendor Credit",
             kTxnVendorCredit, "VendorCredit"},
            {"Retrieving the list of credit card credits...", &CQbRequestBase::queryCreditCardCredit,
             "Credit Card Credit", kTxnCreditCardCredit, "CreditCardCredit"},
        };
        runLists.receiptTxns = std::make_unique<CReceiptRecords>();
        for (const CPurchaseList& kind : kPurchaseLists) {
            progress(kind.progressText);
            const std::unique_ptr<CQbObjectList> list = (session.get()->*kind.query)(&receiving);
            logReceivingTxns(list.get(), kind.kindName);
            runLists.receiptTxns->addAll(kind.code, list.get());
        }
        retrieveInventoryAdjustments(newUpToDate);
        logInventoryAdjustments(runLists.inventoryAdjustments.get());
        runLists.receiptTxns->addAll(kTxnInventoryAdjustment, runLists.inventoryAdjustments.get());
        runLists.inventoryAdjustments.reset();

        CQbFieldList allBuilds;
        allBuilds.addText("IncludeComponentLineItems", "true");
        allBuilds.addText("OwnerID", kPrivateOwnerId);
        const std::unique_ptr<CQbObjectList> builds =
            settings.assemblies ? session->queryBuildAssembly(&allBuilds) : std::make_unique<CQbObjectList>();
        logBuilds(builds.get());
        runLists.receiptTxns->addAll(kTxnBuildAssembly, builds.get());
        logQueryWarnings();
        const std::string readFrom = dateText(*settings.startDate);
        const std::string readTo = dateText(newUpToDate);
        for (const CPurchaseList& kind : kPurchaseLists) recordSeenReceipts(kind.code, kind.objectName, readFrom, readTo);
        recordSeenReceipts(kTxnInventoryAdjustment, "InventoryAdjustment", readFrom, readTo);
        recordSeenReceipts(kTxnBuildAssembly, "BuildAssembly", "", "");
        runLists.receiptTxns->dropProvisionalBuildValues(settings.lastUpToDate);
        indexReceipts();

        progress("Preparing...");
        const CDateTime first = settings.lastUpToDate ? nextDay(*settings.lastUpToDate) : endOfDay(*settings.startDate);
        if (!openReportFile(first, newUpToDate)) {
            ok = false;
        } else {
            // A calculated day commits itself with its postings; a day without activity
            // is covered by the next commit, and the last day of the run is committed
            // on its own when it had none.
            for (CDateTime d = first; ok && d <= newUpToDate; d = nextDay(d)) {
                settings.lastUpToDate = d;
                ok = processDay(d) && (runRecord.committedUpTo == d || d < newUpToDate || saveLastUpToDate());
                if (ok) {
                    committed = runRecord.committedUpTo;
                } else {
                    settings.lastUpToDate = committed;
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
        settings.lastUpToDate = committed;
    }

    logActivity("%s", kSummarySeparator);
    logActivity("%s\n", runRecord.runSummary.text().c_str());
    for (const auto& [item, correction] : runRecord.runSummary.itemCorrections) {
        logActivity("Correction of %s : %.2f\n", item.c_str(), correction);
    }
    writePage();
    // The moment this run finished writing: its own postings, build values and
    // deletions stand before it, so the next open takes only the user's later changes
    // for changes behind the valued period.
    bool runTimeStored = false;
    if (session) {
        const std::string runError = errorText;
        runTimeStored = saveLastRunTime(started);
        if (!runTimeStored && ok) {
            // Without it the next open would take this run's own writes for changes.
            ok = false;
        } else {
            errorText = runError;
        }
    }
    saveSeenRecord(runTimeStored);

    runRecord.runUpTo.reset();
    dayLists.prefetchedDay.reset();
    dayLists.prefetchedAnswers.clear();
    dayLists.dayWrites.clear();
    dayLists.dayPostings.clear();
    runLists.inventoryItems.reset();
    runLists.itemAccounts.clear();
    runLists.inventoryAdjustments.reset();
    runLists.receiptIndex.clear();
    runLists.receiptTxns.reset();
    runLists.openingInventory.reset();
    runLists.openingAssembly.reset();
    runLists.changeDayQuantities.clear();
    dayLists.inventoryList.reset();
    dayLists.assemblyList.reset();
    releaseDayLists();
    closeReportFile();
    runLists.assemblyItems.reset();
    runLists.priceList.reset();
    runLists.units.clear();
    return ok;
}
