// What a run tells the user: the exceptions of its days (items left unvalued, items
// valued from the opening lot alone past the run's first month, builds and postings
// that could not be made), the closing valuation of every item on hand after the last
// calculated day with its comparison against QuickBooks' values (the proof), and the
// run's page beside the CSV report.
#include <cmath>

#include "qbutils.h"
#include "runpage.h"
#include "valuationrun.h"

namespace {

CDateTime monthAfter(const CDateTime& day) {
    const CLocalTime d = day.local();
    const int month = d.month == 12 ? 1 : d.month + 1;
    const int year = d.month == 12 ? d.year + 1 : d.year;
    for (int date = d.day; date > 0; --date) {
        const std::optional<CDateTime> t = CDateTime::fromLocal(year, month, date);
        if (t && t->local().month == month) return *t;
    }
    return day;
}

bool openingOnly(const CCostrunItem& item) {
    bool only = !item.lots.empty() && item.qtyOnHand > 0;
    for (const auto& lot : item.lots) only = only && (lot->txnType == CCostrunItem::kOpeningLotType || lot->qty < 0.0);
    return only;
}

}  // namespace

void CValuationRun::addException(CRunException::Kind kind, const std::string& item, const CDateTime& day,
                                 const std::string& reason) {
    log.log("Exception : %s, %s: %s\n", item.c_str(), day.userDateText().c_str(), reason.c_str());
    // An item left unvalued day after day is one exception.
    if (kind == CRunException::kUnvalued) {
        for (CRunException& seenBefore : runSummary.exceptions) {
            if (seenBefore.kind == kind && seenBefore.item == item) {
                ++seenBefore.days;
                seenBefore.lastDay = day;
                return;
            }
        }
    }
    CRunException exception;
    exception.kind = kind;
    exception.item = item;
    exception.day = day;
    exception.reason = reason;
    exception.lastDay = day;
    runSummary.exceptions.push_back(exception);
}

std::optional<std::string> CValuationRun::unvaluedReason(const CCostrunItem& item) {
    if (!item.unreconciled.empty()) return item.unreconciled;
    if (!item.unreadUnit.empty()) return "not valued: " + item.unreadUnit;
    if (item.qtyOnHand < 0) return "not valued: the quantity on hand is negative (" + amountText(item.qtyOnHand) + ")";
    if (!item.isComplete() && item.returnedQty > 0.0)
        return "not valued: " + amountText(item.returnedQty) + " returned to vendors find no purchase to come out of";
    if (!item.isComplete())
        return "not valued: the purchases found do not cover the quantity on hand (" + amountText(item.qtyOnHand) + ")";
    return std::nullopt;
}

void CValuationRun::noteDayItems(const CCostrunItemList* list, const CDateTime& day) {
    if (list == nullptr) return;
    const bool pastFirstMonth = settings.startDate && !(day < monthAfter(*settings.startDate));
    for (const auto& entry : *list) {
        const CCostrunItem& item = *entry;
        if (const std::optional<std::string> reason = unvaluedReason(item)) {
            addException(CRunException::kUnvalued, item.fullName, day, *reason);
            lastDayUnvalued.insert(item.fullName);
            continue;
        }
        if (item.uncarriedValue <= -0.005 && uncarriedNoted.insert(item.fullName).second) {
            addException(CRunException::kValueNotCarried, item.fullName, day,
                         amountText(-item.uncarriedValue) + " of the value taken off " +
                             (item.uncarriedSource.empty() ? "its units" : "by " + item.uncarriedSource) +
                             " finds no cost to come out of (no lot goes below zero)");
        }
        if (openingOnly(item) && pastFirstMonth && openingOnlyNoted.insert(item.fullName).second) {
            addException(CRunException::kOpeningLotOnly, item.fullName, day,
                         "valued wholly from the opening lot more than a month after the start date: "
                         "its purchase history may be missing");
        }
    }
}

void CValuationRun::proveValues() {
    if (!lastCalculatedDay || !session.isConnected()) return;
    progress("Checking QuickBooks' values against the FIFO values...");
    const CDateTime day = *lastCalculatedDay;
    std::vector<std::unique_ptr<CQbResponse>> answers = reader.sendInSets(reader.requestsByType(day));
    CCostrunItemList inventory, assemblies;
    for (std::size_t i = 0; i < answers.size(); ++i)
        reader.readAnswer(i == 0 ? inventory : assemblies, day, std::move(answers[i]));
    // An item the last day left unvalued stays so: its reason may lie in that day's
    // issues, which the closing walk does not see.
    for (CCostrunItemList* list : {&inventory, &assemblies})
        for (const auto& item : *list) item->active = lastDayUnvalued.count(item->fullName) == 0;
    explained.check(inventory);
    explained.check(assemblies);
    walk.collectLots(inventory, day, "Inventory");
    walk.collectLots(assemblies, day, "Assembly");
    report.writeBlock({&inventory, &assemblies}, day, true);

    runSummary.proofMade = true;
    runSummary.proofDay = day;
    for (const CCostrunItemList* list : {&inventory, &assemblies}) {
        for (const auto& entry : *list) {
            if (entry->qtyOnHand > 0.0 || entry->carriesValueWithoutUnits()) proveItem(*entry, day);
        }
    }
    nameUnlisted(inventory, assemblies, day);
}

void CValuationRun::nameUnlisted(const CCostrunItemList& inventory, const CCostrunItemList& assemblies,
                                 const CDateTime& day) {
    // QuickBooks may leave an item out of its valuation summary (an inactive one, by some
    // accounts) while the item list holds stock of it: such an item is never valued, and
    // says so rather than passing the proof unseen.
    for (const CRunLists::CListedStock& stock : lists.listedStock()) {
        if (inventory.find(stock.name) != nullptr || assemblies.find(stock.name) != nullptr) continue;
        ++runSummary.proofItems;
        std::string reason = "not valued: QuickBooks' item list holds " + amountText(stock.quantity) +
                             " on hand, but its inventory valuation summary of " + day.userDateText() +
                             " does not list the item";
        reason += stock.active ? "; check the report's filters in QuickBooks, then rewind to the start date"
                               : " (QuickBooks leaves inactive items out of it): make the item active, then rewind "
                                 "to the start date";
        addException(CRunException::kUnvalued, stock.name, day, reason);
    }
}

void CValuationRun::proveItem(const CCostrunItem& item, const CDateTime& day) {
    ++runSummary.proofItems;
    runSummary.onHandValue += item.qbValue;
    if (const std::optional<std::string> reason = unvaluedReason(item)) {
        bool noted = false;
        for (const CRunException& e : runSummary.exceptions)
            noted = noted || (e.kind == CRunException::kUnvalued && e.item == item.fullName &&
                              e.lastDay.seconds() == day.seconds());
        if (!noted) addException(CRunException::kUnvalued, item.fullName, day, *reason);
        return;
    }
    if (item.carriesValueWithoutUnits()) {
        addException(CRunException::kProofDifference, item.fullName, day,
                     "QuickBooks carries " + amountText(item.qbValue) + " for no units on hand");
        return;
    }
    if (std::fabs(item.qbValue - item.onHandValue) < CCostrunItem::kValueThreshold - 1e-7) {
        ++runSummary.proofMatched;
        return;
    }
    addException(CRunException::kProofDifference, item.fullName, day,
                 "QuickBooks carries " + amountText(item.qbValue) + ", the FIFO value is " + amountText(item.onHandValue));
}

void CValuationRun::writePage() {
    page.clear();
    const std::string& csv = report.path();
    const std::size_t dot = csv.rfind(".csv");
    if (csv.empty() || dot == std::string::npos) return;
    const std::string path = csv.substr(0, dot) + ".html";
    const std::size_t slash = csv.find_last_of("/\\");
    const std::string csvName = slash == std::string::npos ? csv : csv.substr(slash + 1);
    if (writeRunPage(path, runSummary, context.companyName, csvName)) {
        page = path;
    } else {
        log.log("The run's page could not be written to %s\n", path.c_str());
    }
}
