// What needs a look after a run, and the proof that the books now carry the FIFO values:
// the exceptions of each calculated day, QuickBooks' values of the last calculated day
// read once more and compared with that day's FIFO values, and the summary written to
// the activity log and the run's page.
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

void CCostrunDoc::noteDayItems(const CCostrunItemList* list, const CDateTime& day) {
    if (list == nullptr) return;
    const bool pastFirstMonth = settings.startDate && !(day < monthAfter(*settings.startDate));
    for (const auto& entry : *list) {
        const CCostrunItem& item = *entry;
        runRecord.lastDayUnvalued.insert(item.fullName);  // until it proves valued below
        if (!item.unreadUnit.empty()) {
            addException(CRunException::kUnvalued, item.fullName, day, "not valued: " + item.unreadUnit);
            continue;
        }
        if (item.qtyOnHand < 0) {
            addException(CRunException::kUnvalued, item.fullName, day,
                         "not valued: the quantity on hand is negative (" + amountText(item.qtyOnHand) + ")");
            continue;
        }
        if (!item.isComplete() && item.returnedQty > 0.0) {
            addException(CRunException::kUnvalued, item.fullName, day,
                         "not valued: " + amountText(item.returnedQty) +
                             " returned to vendors find no purchase to come out of");
            continue;
        }
        if (!item.isComplete()) {
            addException(CRunException::kUnvalued, item.fullName, day,
                         "not valued: the purchases found do not cover the quantity on hand (" +
                             amountText(item.qtyOnHand) + ")");
            continue;
        }
        runRecord.lastDayFifo[item.fullName] = item.onHandValue;
        runRecord.lastDayUnvalued.erase(item.fullName);
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
    if (!runRecord.lastCalculatedDay || runRecord.lastDayFifo.empty()) return;
    progress("Checking QuickBooks' values against the FIFO values...");
    // QuickBooks' values of the items the day valued, named as the day named them.
    if (!session || !session->isConnected()) return;
    const CDateTime day = endOfDay(*runRecord.lastCalculatedDay);
    std::vector<std::string> names;
    for (const auto& entry : runRecord.lastDayFifo) names.push_back(entry.first);
    CCostrunItemList carried;
    for (std::unique_ptr<CQbResponse>& answer : sendInSets(namedValuationRequests(day, names)))
        readValuationAnswer(carried, day, std::move(answer));
    runRecord.runSummary.proofMade = true;
    runRecord.runSummary.proofDay = *runRecord.lastCalculatedDay;
    runRecord.runSummary.proofItems = static_cast<int>(runRecord.lastDayFifo.size());
    for (const auto& [name, fifo] : runRecord.lastDayFifo) {
        const CCostrunItem* item = carried.find(name);
        const double value = item ? item->qbValue : 0.0;
        // The same rule as the adjustments: a difference below two cents is none.
        if (std::fabs(value - fifo) < CCostrunItem::kValueThreshold - 1e-7) {
            ++runRecord.runSummary.proofMatched;
            continue;
        }
        addException(CRunException::kProofDifference, name, *runRecord.lastCalculatedDay,
                     "QuickBooks carries " + amountText(value) + ", the FIFO value is " + amountText(fifo));
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
