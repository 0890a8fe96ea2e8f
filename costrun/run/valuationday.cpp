// One valuation day: QuickBooks' end-of-day quantities and values from its inventory
// valuation summary, the FIFO walk over the run's receiving transactions, the day's
// builds, the adjustments, the commit and the report blocks. Only days with issuing
// activity are calculated; nothing of a day's lists is kept for the next day.
#include <algorithm>
#include <set>
#include <unordered_map>

#include "days.h"
#include "qbfieldlist.h"
#include "qbobject.h"
#include "valuationrun.h"

namespace {

constexpr const char* kDaySeparator = "---------------------\n";

void collectItemRefs(const CQbFieldList& fields, std::set<std::string>& names) {
    for (int i = 0; i < fields.getSize(); ++i) {
        const CQbField* field = fields.getAt(i);
        const CQbFieldList* children = field ? field->getChildren() : nullptr;
        if (children == nullptr) continue;
        if (field->matchesName("ItemRef") || field->matchesName("ItemInventoryAssemblyRef")) {
            if (const std::string name = children->getValue("FullName"); !name.empty()) names.insert(name);
            continue;
        }
        collectItemRefs(*children, names);
    }
}

}  // namespace

bool CValuationRun::processDay(const CDateTime& date) {
    if (!settings.lastUpToDate || *settings.lastUpToDate > date) return false;
    log.log("%s", kDaySeparator);
    log.log("%s", dayText("Processing Day %02d/%02d/%04d\n", date).c_str());
    CDay day;
    day.date = date;
    day.progressText = dayText("Calculation on day %02d/%02d/%04d\n\n", date);
    progress(day.progressText);

    retrieveDayTxns(day);
    // Before QuickBooks' figures of the day are read: what the report shows must not
    // include postings that the day's calculation is about to make again.
    deleteOwnPostings(day);
    if (day.txns->all()) calculateDay(day);
    ++runSummary.daysProcessed;
    return true;
}

void CValuationRun::retrieveDayTxns(CDay& day) {
    std::vector<std::unique_ptr<CQbResponse>> answers = dayCommit.takeNextAnswers(day.date);
    if (answers.empty()) {
        progress(day.progressText + "Retrieving the day's transactions...");
        answers = session.sendMessageSet(CDayTxns::requests(session, day.date, settings.assemblies));
    }
    day.txns = std::make_unique<CDayTxns>(session, day.date, settings.assemblies, std::move(answers),
                                          [this, &day](const std::string& text) { progress(day.progressText + text); },
                                          *own);
    log.warnings(session.takeWarnings());
    day.txns->record(seen, settings.assemblies);
    if (day.txns->all()) day.txns->log(log, lists.units());
}

void CValuationRun::deleteOwnPostings(CDay& day) {
    if (day.txns->ownPostings().empty()) return;
    progress(day.progressText + "Removing the value adjustments of an interrupted run...");
    for (const std::string& txnId : day.txns->ownPostings()) {
        log.log("Removed value adjustment %s of an interrupted run\n", txnId.c_str());
        session.txnDel(txnId, "InventoryAdjustment");
    }
}

void CValuationRun::calculateDay(CDay& day) {
    const CCostrunTxnList& txns = *day.txns->all();
    loadValuations(day);
    // An item whose quantity the transactions read do not explain is left unvalued.
    explained.takeDay(day.date, &txns);
    explained.check(*day.inventory);
    explained.check(*day.assemblies);
    reserveComponents(day);
    walk.collectLots(*day.inventory, day.date, "Inventory");
    adjustments.sumIssues(*day.inventory, txns);
    day.inventory->markAllCosted(true);
    walk.collectLots(*day.assemblies, day.date, "Assembly");
    adjustments.sumIssues(*day.assemblies, txns);
    valueDayBuilds(day);

    progress(day.progressText + "Performing valuation adjustment...");
    transferBuildValues(day);
    adjustments.postIssues(day.date, txns, day.inventory.get(), day.assemblies.get());
    // The postings and build values go with the day's commit, and the next day's
    // queries with them.
    std::optional<CDateTime> next;
    if (day.date < upTo) next = nextDay(day.date);
    commit(day.date, next);
    finishDay(day);
}

void CValuationRun::valueDayBuilds(CDay& day) {
    // Build passes. A pass that values no build and makes no further item costed cannot
    // be followed by one that does, so the loop ends there; builds left without a value
    // stay so.
    CCostrunItemList* assemblies = day.assemblies.get();
    const CCostrunTxnList* builds = day.txns->builds();
    for (int pass = 0; builds && !builds->allBuildsSettled(); ++pass) {
        std::set<const CCostrunItem*> waiting;
        std::size_t costedBefore = 0;
        for (const auto& item : *assemblies) {
            if (!item->active) waiting.insert(item.get());
            costedBefore += item->costed;
        }
        const int valued = valueBuilds(day, pass);
        std::size_t costedAfter = 0;
        for (const auto& item : *assemblies) costedAfter += item->costed;
        // Walk again only for the assemblies this pass made active: the others hold their
        // lots already and must not receive them (or an opening lot) twice.
        std::vector<CCostrunItem*> paused;
        for (const auto& item : *assemblies) {
            if (item->active && waiting.count(item.get()) == 0) {
                item->active = false;
                paused.push_back(item.get());
            }
        }
        walk.collectLots(*assemblies, day.date, "Assembly");
        for (CCostrunItem* item : paused) item->active = true;
        if (valued == 0 && costedAfter == costedBefore) break;
    }
}

void CValuationRun::finishDay(CDay& day) {
    report.writeBlock({day.inventory.get()}, day.date, false);
    report.writeBlock({day.assemblies.get()}, day.date, false);
    lastDayUnvalued.clear();
    noteDayItems(day.inventory.get(), day.date);
    noteDayItems(day.assemblies.get(), day.date);
    lastCalculatedDay = day.date;
    runSummary.dayCorrections.push_back({day.date, dayCommit.takeDayCorrection()});
    ++runSummary.daysCalculated;
}

void CValuationRun::loadValuations(CDay& day) {
    progress(day.progressText + "Retrieving QuickBooks inventory valuation...");
    // The run's first calculated day reads every item by type: what happened to the books
    // since the last run (an item left unvalued then, a return to a vendor since) is not
    // known. Later days read their own items by name, both types' reports in one message
    // set where they fit; each answer is judged on its own. Without assemblies the
    // assembly list stays empty.
    if (!explained.hasOpening()) readExplainedOpening();
    std::vector<std::string> requests;
    std::size_t inventoryRequests = 1;
    if (!lastCalculatedDay) {
        requests = reader.requestsByType(day.date);
    } else {
        CDayItems items = dayItems(day);
        if (!settings.assemblies) items.assemblies.clear();
        requests = reader.namedRequests(day.date, items.inventory);
        inventoryRequests = requests.size();
        for (std::string& request : reader.namedRequests(day.date, items.assemblies))
            requests.push_back(std::move(request));
    }
    std::vector<std::unique_ptr<CQbResponse>> answers = reader.sendInSets(std::move(requests));
    day.inventory = std::make_unique<CCostrunItemList>();
    day.assemblies = std::make_unique<CCostrunItemList>();
    for (std::size_t i = 0; i < answers.size(); ++i)
        reader.readAnswer(i < inventoryRequests ? *day.inventory : *day.assemblies, day.date, std::move(answers[i]));
    lists.assignAccounts(*day.inventory);
    lists.assignAccounts(*day.assemblies);
    markBuiltAssembliesInactive(day);
    progress(day.progressText + "Calculating the FIFO cost of items...");
}

void CValuationRun::readExplainedOpening() {
    // Once a run, in a set of its own: with the first day's reports in one set the
    // run's peak memory would hold four reports of every item at once.
    const CDateTime before = previousDay(firstDay);
    std::vector<std::unique_ptr<CQbResponse>> answers = reader.sendInSets(reader.requestsByType(endOfDay(before)));
    CCostrunItemList opening;
    for (auto& answer : answers) reader.readAnswer(opening, before, std::move(answer));
    explained.setOpening(opening);
}

CValuationRun::CDayItems CValuationRun::dayItems(const CDay& day) const {
    // The items the day's transactions and builds name, those returned to vendors that
    // day, and those left unvalued on the last calculated day.
    std::set<std::string> named;
    for (const CCostrunTxnList* txns : {day.txns->all(), day.txns->builds()}) {
        for (std::size_t i = 0; txns && i < txns->size(); ++i)
            if (const CQbObject* ret = txns->at(i)->ret) collectItemRefs(ret->getFields(), named);
    }
    const auto [first, last] = walk.records().datedWithin(startOfDay(day.date), endOfDay(day.date));
    for (std::size_t position = first; position < last; ++position) {
        const std::vector<std::string>& returned = walk.records()[position].returnedItems;
        named.insert(returned.begin(), returned.end());
    }
    named.insert(lastDayUnvalued.begin(), lastDayUnvalued.end());
    if (everyItem) {
        for (const std::string& name : lists.stockedNames()) named.insert(name);
    }
    CDayItems result;
    for (const std::string& name : named) {
        const CRunLists::CStocked stocked = lists.stocked(name);
        if (stocked == CRunLists::CStocked::kNo) continue;
        (stocked == CRunLists::CStocked::kAssembly ? result.assemblies : result.inventory).push_back(name);
    }
    return result;
}
