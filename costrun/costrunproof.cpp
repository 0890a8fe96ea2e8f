// What needs a look after a run, and the proof that the books now carry the FIFO values:
// the exceptions of each calculated day, the closing valuation of every item on hand
// (QuickBooks' values of the last calculated day read once more, valued by FIFO and
// compared), and the summary written to the activity log and the run's page.
#include <cmath>

#include "costrundoc.h"
#include "qbresponse.h"
#include "qbutils.h"
#include "runpage.h"

namespace {

// The same day a month later (the last day of a shorter month).
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

}  // namespace

void CCostrunDoc::addException(CRunException::Kind kind, const std::string& item, const CDateTime& day,
                               const std::string& reason) {
    logActivity("Exception : %s, %s: %s\n", item.c_str(), day.userDateText().c_str(), reason.c_str());
    if (kind == CRunException::kUnvalued) {
        for (CRunException& seen : runRecord.runSummary.exceptions) {
            if (seen.kind == kind && seen.item == item) {
                ++seen.days;
                seen.lastDay = day;
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
    runRecord.runSummary.exceptions.push_back(exception);
}

std::optional<std::string> CCostrunDoc::unvaluedReason(const CCostrunItem& item) {
    if (!item.unreadUnit.empty()) return "not valued: " + item.unreadUnit;
    if (item.qtyOnHand < 0) return "not valued: the quantity on hand is negative (" + amountText(item.qtyOnHand) + ")";
    if (!item.isComplete() && item.returnedQty > 0.0)
        return "not valued: " + amountText(item.returnedQty) + " returned to vendors find no purchase to come out of";
    if (!item.isComplete())
        return "not valued: the purchases found do not cover the quantity on hand (" + amountText(item.qtyOnHand) + ")";
    return std::nullopt;
}

void CCostrunDoc::noteDayItems(const CCostrunItemList* list, const CDateTime& day) {
    if (list == nullptr) return;
    const bool pastFirstMonth = settings.startDate && !(day < monthAfter(*settings.startDate));
    for (const auto& entry : *list) {
        const CCostrunItem& item = *entry;
        if (const std::optional<std::string> reason = unvaluedReason(item)) {
            addException(CRunException::kUnvalued, item.fullName, day, *reason);
            runRecord.lastDayUnvalued.insert(item.fullName);
            continue;
        }
        // Valued from QuickBooks' own figures of the day before the start alone, long
        // after it: a sign that its purchases are missing.
        bool openingOnly = !item.lots.empty() && item.qtyOnHand > 0;
        for (const auto& lot : item.lots) {
            // A return's line (negative quantity) holds no units of its own.
            openingOnly = openingOnly && (lot->txnType == CCostrunItem::kOpeningLotType || lot->qty < 0.0);
        }
        if (openingOnly && pastFirstMonth && runRecord.openingOnlyNoted.insert(item.fullName).second) {
            addException(CRunException::kOpeningLotOnly, item.fullName, day,
                         "valued wholly from the opening lot more than a month after the start date: "
                         "its purchase history may be missing");
        }
    }
}

void CCostrunDoc::proveValues() {
    if (!runRecord.lastCalculatedDay || !session || !session->isConnected()) return;
    progress("Checking QuickBooks' values against the FIFO values...");
    // Every item as QuickBooks carries it after the run's postings, by type in one message
    // set, and the FIFO walk of the last calculated day over each of them: the items no day
    // of the run read are checked too.
    const CDateTime day = *runRecord.lastCalculatedDay;
    std::vector<std::unique_ptr<CQbResponse>> answers = sendInSets(valuationRequestsByType(day));
    CCostrunItemList inventory, assemblies;
    for (std::size_t i = 0; i < answers.size(); ++i)
        readValuationAnswer(i == 0 ? inventory : assemblies, day, std::move(answers[i]));
    // What the last calculated day left unvalued stays so: its reason may lie in the day's
    // issues, which this walk does not see.
    for (CCostrunItemList* list : {&inventory, &assemblies})
        for (const auto& item : *list) item->active = runRecord.lastDayUnvalued.count(item->fullName) == 0;
    collectLots(inventory, day, "Inventory");
    collectLots(assemblies, day, "Assembly");
    writeReportBlock({&inventory, &assemblies}, day, true);

    CRunSummary& summary = runRecord.runSummary;
    summary.proofMade = true;
    summary.proofDay = day;
    for (const CCostrunItemList* list : {&inventory, &assemblies}) {
        for (const auto& entry : *list) {
            const CCostrunItem& item = *entry;
            if (!(item.qtyOnHand > 0.0)) continue;
            ++summary.proofItems;
            summary.onHandValue += item.qbValue;
            if (const std::optional<std::string> reason = unvaluedReason(item)) {
                // Said once for the day: the last day may have found it unvalued already.
                bool noted = false;
                for (const CRunException& e : summary.exceptions)
                    noted = noted || (e.kind == CRunException::kUnvalued && e.item == item.fullName &&
                                      e.lastDay.seconds() == day.seconds());
                if (!noted) addException(CRunException::kUnvalued, item.fullName, day, *reason);
                continue;
            }
            // The same rule as the adjustments: a difference below two cents is none.
            if (std::fabs(item.qbValue - item.onHandValue) < CCostrunItem::kValueThreshold - 1e-7) {
                ++summary.proofMatched;
                continue;
            }
            addException(CRunException::kProofDifference, item.fullName, day,
                         "QuickBooks carries " + amountText(item.qbValue) + ", the FIFO value is " +
                             amountText(item.onHandValue));
        }
    }
}

void CCostrunDoc::writePage() {
    files.pagePath.clear();
    const std::size_t dot = files.reportPath.rfind(".csv");
    if (files.reportPath.empty() || dot == std::string::npos) return;
    const std::string path = files.reportPath.substr(0, dot) + ".html";
    const std::size_t slash = files.reportPath.find_last_of("/\\");
    const std::string csvName = slash == std::string::npos ? files.reportPath : files.reportPath.substr(slash + 1);
    const std::string name = company ? company->getValue("CompanyName") : companyTitle;
    // A page that cannot be written costs the user the picture, not the run.
    if (writeRunPage(path, runRecord.runSummary, name.empty() ? companyTitle : name, csvName)) {
        files.pagePath = path;
    } else {
        logActivity("The run's page could not be written to %s\n", path.c_str());
    }
}
