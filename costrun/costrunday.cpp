// One valuation day: QuickBooks' end-of-day quantities and values from its inventory
// valuation summary, the FIFO walk over the run's receiving transactions (newest
// first, back to an opening lot priced from the day before the start date), the day's
// builds, the adjustments and the report blocks. Only days with issuing activity are
// calculated; nothing of a day's layers is kept for the next day.
#include <algorithm>
#include <iterator>
#include <map>
#include <set>

#include "costrundoc.h"
#include "qbexception.h"
#include "qbutils.h"

namespace {

constexpr const char* kDaySeparator = "---------------------\n";

std::string dayText(const char* format, const CDateTime& day) {
    const CLocalTime d = day.local();
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, d.month, d.day, d.year);
    return buffer;
}

}  // namespace

bool CCostrunDoc::processDay(const CDateTime& day) {
    if (!settings.lastUpToDate || *settings.lastUpToDate > day) return false;
    logActivity("%s", kDaySeparator);
    logActivity("%s", dayText("Processing Day %02d/%02d/%04d\n", day).c_str());
    progressText = dayText("Calculation on day %02d/%02d/%04d\n\n", day);
    progress(progressText);

    dayLists.dayCorrection = 0;
    dayLists.dayWrites.clear();
    dayLists.dayPostings.clear();
    std::unique_ptr<CCostrunTxnList> dayTxns = retrieveDayTxns(day);
    // Before QuickBooks' figures of the day are read: what the report shows must not
    // include postings that the day's calculation is about to make again.
    deleteOwnPostings();
    if (dayTxns) {
        loadValuations(day, *dayTxns);
        CCostrunItemList* inventory = dayLists.inventoryList.get();
        CCostrunItemList* assemblies = dayLists.assemblyList.get();
        reserveComponents(inventory, assemblies, *dayTxns);
        if (inventory) {
            collectLots(*inventory, day, "Inventory");
            sumIssues(*inventory, *dayTxns);
            inventory->markAllCosted(true);
        }
        if (assemblies) {
            collectLots(*assemblies, day, "Assembly");
            sumIssues(*assemblies, *dayTxns);
        }

        // Build passes. A pass that values no build and makes no further item costed
        // cannot be followed by one that does, so the loop ends there; builds left
        // without a value stay so.
        for (int pass = 0; dayLists.dayBuildTxns && !dayLists.dayBuildTxns->allBuildsSettled() && assemblies; ++pass) {
            std::set<const CCostrunItem*> waiting;
            std::size_t costedBefore = 0;
            for (const auto& item : *assemblies) {
                if (!item->active) waiting.insert(item.get());
                costedBefore += item->costed;
            }
            const int valued = valueBuilds(inventory, assemblies, pass);
            std::size_t costedAfter = 0;
            for (const auto& item : *assemblies) costedAfter += item->costed;
            // Walk again only for the assemblies this pass made active: the others hold
            // their lots already and must not receive them (or an opening lot) twice.
            std::vector<CCostrunItem*> paused;
            for (const auto& item : *assemblies) {
                if (item->active && waiting.count(item.get()) == 0) {
                    item->active = false;
                    paused.push_back(item.get());
                }
            }
            collectLots(*assemblies, day, "Assembly");
            for (CCostrunItem* item : paused) item->active = true;
            if (valued == 0 && costedAfter == costedBefore) break;
        }

        progress(progressText + "Performing valuation adjustment...");
        transferBuildValues(inventory, assemblies, *dayTxns, day);
        postDayAdjustments(day, *dayTxns);
        // The postings and build values go with the day's commit, and the next day's
        // queries with them.
        std::optional<CDateTime> next;
        if (runRecord.runUpTo && day < *runRecord.runUpTo) next = nextDay(day);
        commitDay(day, next);
        writeReportBlock({inventory}, day, false);
        writeReportBlock({assemblies}, day, false);
        runRecord.lastDayUnvalued.clear();
        noteDayItems(inventory, day);
        noteDayItems(assemblies, day);
        runRecord.lastCalculatedDay = day;
        runRecord.runSummary.dayCorrections.push_back({day, dayLists.dayCorrection});
        ++runRecord.runSummary.daysCalculated;
        dayLists.inventoryList.reset();
        dayLists.assemblyList.reset();
        dayTxns.reset();
    }

    releaseDayLists();
    ++runRecord.runSummary.daysProcessed;
    return true;
}

void CCostrunDoc::loadValuations(const CDateTime& day, const CCostrunTxnList& dayTxns) {
    progress(progressText + "Retrieving QuickBooks inventory valuation...");
    dayLists.inventoryList.reset();
    dayLists.assemblyList.reset();
    if (!session) return;
    // The run's first calculated day reads every item by type: what happened to the books
    // since the last run (an item left unvalued then, a return to a vendor since) is not
    // known. Later days read their own items by name, both types' reports in one message
    // set where they fit; each answer is judged on its own. Without assemblies the assembly
    // list stays empty.
    std::vector<std::string> requests;
    std::size_t inventoryRequests = 1;
    if (!runRecord.lastCalculatedDay) {
        requests = valuationRequestsByType(day);
    } else {
        CDayItems items = dayItems(day, dayTxns);
        if (!settings.assemblies) items.assemblies.clear();
        requests = namedValuationRequests(day, items.inventory);
        inventoryRequests = requests.size();
        for (std::string& request : namedValuationRequests(day, items.assemblies)) requests.push_back(std::move(request));
    }
    std::vector<std::unique_ptr<CQbResponse>> answers = sendInSets(std::move(requests));
    dayLists.inventoryList = std::make_unique<CCostrunItemList>();
    dayLists.assemblyList = std::make_unique<CCostrunItemList>();
    for (std::size_t i = 0; i < answers.size(); ++i)
        readValuationAnswer(i < inventoryRequests ? *dayLists.inventoryList : *dayLists.assemblyList, day,
                            std::move(answers[i]));
    assignAccounts(*dayLists.inventoryList);
    assignAccounts(*dayLists.assemblyList);
    markBuiltAssembliesInactive(*dayLists.assemblyList);
    progress(progressText + "Calculating the FIFO cost of items...");
}

std::vector<std::string> CCostrunDoc::valuationRequestsByType(const CDateTime& day) {
    std::vector<std::string> requests{session->inventoryValuationSummaryRequest(day, "Inventory")};
    if (settings.assemblies) requests.push_back(session->inventoryValuationSummaryRequest(day, "Assembly"));
    return requests;
}

bool CCostrunDoc::readValuationReport(CCostrunItemList& list, const CDateTime& date,
                                      const std::string& itemType) {
    if (!session || !session->isConnected()) return false;
    std::vector<std::unique_ptr<CQbResponse>> answers =
        session->sendMessageSet({session->inventoryValuationSummaryRequest(date, itemType)});
    answers.resize(1);
    readValuationAnswer(list, date, std::move(answers[0]));
    return true;
}

void CCostrunDoc::readValuationAnswer(CCostrunItemList& list, const CDateTime& date,
                                      std::unique_ptr<CQbResponse> answer) {
    // A report QuickBooks refused or did not answer is no report: reading it as one
    // without rows would leave the day's items unvalued and the day counted as done.
    // The failure stops the run before the day is committed, like that of any query.
    if (!answer) throw CQbException(CQbRequestBase::unansweredText("GeneralSummaryReportQueryRq"));
    if (!CQbRequestBase::succeeded(*answer))
        throw CQbException(CQbRequestBase::refusalText(*answer, "GeneralSummaryReportQueryRq"));
    CQbReport report;
    report.load(*answer);
    if (report.rowCount() == 0) return;

    // Without either column every item would read as nothing on hand and worth nothing,
    // and the day would be posted on that reading: the run stops before it is committed.
    const int quantityColumn = report.cellColumnId("QuantityOnHand");
    const int valueColumn = report.cellColumnId("ValueOnHand");
    if (quantityColumn == -1 || valueColumn == -1) {
        throw CQbException(dayText("QuickBooks' inventory valuation summary of %02d/%02d/%04d", date) +
                           " has no " + (quantityColumn == -1 ? "QuantityOnHand" : "ValueOnHand") +
                           " column, so Lotwise cannot read the items' quantities and values; nothing "
                           "was posted for that day.");
    }
    const std::vector<std::string> quantities = report.columnValuesAt(quantityColumn);
    const std::vector<std::string> values = report.columnValuesAt(valueColumn);

    logActivity("%s", dayText("-- From Inventory Report %02d/%02d/%04d\n", date).c_str());
    logActivity("Item Qty Cost\n");
    for (int i = 0; i < report.rowCount(); ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        const double quantity = at < quantities.size() ? static_cast<double>(readDecimal(quantities[at])) : 0.0;
        const double value = at < values.size() ? static_cast<double>(readDecimal(values[at])) : 0.0;
        CCostrunItem* item = list.add(std::make_unique<CCostrunItem>(report.rowValue(i), quantity, value));
        logActivity("%s %f %f\n", item->fullName.c_str(), item->qtyOnHand, item->qbValue);
    }
}

void CCostrunDoc::assignAccounts(CCostrunItemList& list) {
    std::unordered_map<std::string, std::pair<std::string, std::string>>& accounts = runLists.itemAccounts;
    if (accounts.empty()) {
        for (const CQbObjectList* items : {runLists.inventoryItems.get(), runLists.assemblyItems.get()}) {
            for (int i = 0; items && i < items->getSize(); ++i) {
                const CQbObject& object = *items->getAt(i);
                accounts[object.getValue("FullName")] = {object.getValue("COGSAccountRef", "FullName"),
                                                         object.getValue("AssetAccountRef", "FullName")};
            }
        }
    }
    for (const auto& item : list) {
        const auto found = accounts.find(item->fullName);
        if (found == accounts.end()) continue;
        item->cogsAccount = found->second.first;
        item->assetAccount = found->second.second;
    }
}

void CCostrunDoc::collectLots(CCostrunItemList& list, const CDateTime& day,
                              const std::string& itemType) {
    // Each item takes lots from its own receiving lines, newest record first and the
    // lines of one record in their order, until it is complete; a lot only ever fills
    // the item it names, so following item by item gives every item the lots a walk over
    // all records together would. Records are in date order: those before `before` are
    // dated before the day (or undated, which the walk passes over).
    const std::size_t before = runLists.receiptTxns ? runLists.receiptTxns->firstDatedFrom(day) : 0;
    for (const auto& owned : list) {
        CCostrunItem& item = *owned;
        if (!item.active || item.isComplete()) continue;
        // Lines are matched to items by name, and a name finds the first item holding it.
        if (list.find(item.fullName) != &item) continue;
        const auto entries = runLists.receiptIndex.find(item.fullName);
        if (entries == runLists.receiptIndex.end()) continue;
        const std::vector<CReceiptEntry>& lines = entries->second;
        auto end = std::lower_bound(lines.begin(), lines.end(), before,
                                    [](const CReceiptEntry& e, std::size_t position) { return e.record < position; });
        while (end != lines.begin() && !item.isComplete()) {
            auto start = std::prev(end);
            while (start != lines.begin() && std::prev(start)->record == start->record) --start;
            const CReceiptRecord& record = (*runLists.receiptTxns)[start->record];
            if (record.txnDate && *record.txnDate < day && !record.isPending) {
                if (record.txnTypeCode == kTxnBuildAssembly) {
                    buildLot(record, list);
                } else {
                    const double rate =
                        record.txnTypeCode == kTxnInventoryAdjustment ? 1.0 : receiptRate(record.exchangeRate);
                    const std::string typeName = txnTypeName(record.txnTypeCode);
                    // The record's returns come out of its own receipts and the older ones.
                    takeReturns(item, record, start, end, rate);
                    for (auto e = start; e != end; ++e) {
                        if (e->valueChange) {
                            shareValueChange(item, *record.txnDate, *e->valueChange * rate, day, itemType);
                            continue;
                        }
                        placeReceiptLot(list, *e->line, record.txnDate, record.refNumber, typeName, rate);
                    }
                }
            }
            end = start;
        }
    }
    if (!list.allReceiptsFound()) addOpeningLots(list, itemType);
}

void CCostrunDoc::addOpeningLots(CCostrunItemList& list, const std::string& itemType) {
    if (!settings.startDate) return;
    const CDateTime date = previousDay(*settings.startDate);
    std::unique_ptr<CCostrunItemList>& opening =
        itemType == "Inventory" ? runLists.openingInventory : runLists.openingAssembly;
    if (!opening) {
        // Read once per run and item type. A refusal stops the run: without QuickBooks'
        // figures of the day before the start the opening lots cannot be priced.
        opening = std::make_unique<CCostrunItemList>();
        if (!readValuationReport(*opening, endOfDay(date), itemType)) {
            opening = std::make_unique<CCostrunItemList>();
        }
    }
    for (const auto& item : list) {
        if (!item->active || item->isComplete()) continue;
        const CCostrunItem* before = opening->find(item->fullName);
        if (before == nullptr || before->qtyOnHand <= 0.0) continue;
        item->placeOpeningLot(before->qbValue, before->qtyOnHand, date);
    }
}
