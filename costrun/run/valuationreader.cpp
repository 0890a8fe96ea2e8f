#include "valuationreader.h"

#include <algorithm>

#include "activitylog.h"
#include "daycommit.h"
#include "days.h"
#include "qbexception.h"
#include "qbreport.h"
#include "qbresponse.h"
#include "qbutils.h"

CValuationReader::CValuationReader(CQbRequestBase& session, CActivityLog& log, bool assemblies,
                                   std::optional<CDateTime> startDate)
    : session(session), log(log), assemblies(assemblies), startDate(startDate) {}

std::vector<std::string> CValuationReader::requestsByType(const CDateTime& day) const {
    std::vector<std::string> requests{session.inventoryValuationSummaryRequest(day, "Inventory")};
    if (assemblies) requests.push_back(session.inventoryValuationSummaryRequest(day, "Assembly"));
    return requests;
}

std::vector<std::string> CValuationReader::namedRequests(const CDateTime& day,
                                                         const std::vector<std::string>& names) const {
    std::vector<std::string> requests;
    for (std::size_t from = 0; from < names.size(); from += kMaxReportItems) {
        const auto to = std::min(names.size(), from + kMaxReportItems);
        requests.push_back(session.inventoryValuationSummaryRequest(
            day, std::vector<std::string>(names.begin() + static_cast<std::ptrdiff_t>(from),
                                          names.begin() + static_cast<std::ptrdiff_t>(to))));
    }
    return requests;
}

std::vector<std::unique_ptr<CQbResponse>> CValuationReader::sendInSets(std::vector<std::string> requests) {
    std::vector<std::unique_ptr<CQbResponse>> answers;
    std::size_t next = 0;
    while (next < requests.size()) {
        std::vector<std::string> set;
        std::size_t bytes = 0;
        while (next < requests.size() && set.size() < CDayCommit::kMaxSetRequests &&
               (set.empty() || bytes + requests[next].size() <= CDayCommit::kMaxSetBytes)) {
            bytes += requests[next].size();
            set.push_back(std::move(requests[next++]));
        }
        std::vector<std::unique_ptr<CQbResponse>> setAnswers = session.sendMessageSet(set);
        setAnswers.resize(set.size());
        for (auto& answer : setAnswers) answers.push_back(std::move(answer));
    }
    return answers;
}

bool CValuationReader::readReport(CCostrunItemList& list, const CDateTime& date, const std::string& itemType) {
    if (!session.isConnected()) return false;
    std::vector<std::unique_ptr<CQbResponse>> answers =
        session.sendMessageSet({session.inventoryValuationSummaryRequest(date, itemType)});
    answers.resize(1);
    readAnswer(list, date, std::move(answers[0]));
    return true;
}

void CValuationReader::readAnswer(CCostrunItemList& list, const CDateTime& date, std::unique_ptr<CQbResponse> answer) {
    // A report QuickBooks refused or did not answer is no report: reading it as one
    // without rows would leave the day's items unvalued and the day counted as done.
    // The failure stops the run before the day is committed, like that of any query.
    if (!answer) throw CQbException(CQbRequestBase::unansweredText("GeneralSummaryReportQueryRq"));
    if (!CQbRequestBase::succeeded(*answer))
        throw CQbException(CQbRequestBase::refusalText(*answer, "GeneralSummaryReportQueryRq"));
    CQbReport report;
    report.load(*answer);
    if (report.rowCount() == 0) return;

    const CQbReport::CNumbering numbering = cellNumbering(report, date);
    const int quantityColumn = report.cellColumnId(CQbReport::kQuantityColumn, numbering);
    const int valueColumn = report.cellColumnId(CQbReport::kValueColumn, numbering);
    const std::vector<std::string> quantities = report.columnValuesAt(quantityColumn);
    const std::vector<std::string> values = report.columnValuesAt(valueColumn);

    log.log("%s", dayText("-- From Inventory Report %02d/%02d/%04d\n", date).c_str());
    log.log("Item Qty Cost\n");
    for (int i = 0; i < report.rowCount(); ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        const double quantity = at < quantities.size() ? static_cast<double>(readDecimal(quantities[at])) : 0.0;
        const double value = at < values.size() ? static_cast<double>(readDecimal(values[at])) : 0.0;
        CCostrunItem* item = list.add(std::make_unique<CCostrunItem>(report.rowValue(i), quantity, value));
        log.log("%s %f %f\n", item->fullName.c_str(), item->qtyOnHand, item->qbValue);
    }
}

namespace {

// What a summary that adds up in no numbering it may be read in fails to bear out.
std::string misfitText(bool settled, bool percent) {
    const std::string subject = percent ? "item's percent of the total value" : "item's value";
    const std::string rule = percent ? "its value's share of that total" : "its quantity on hand times its average cost";
    return settled ? "in the numbering of its columns the run's earlier summaries bore out, not every " + subject +
                         " is " + rule
                   : "in no numbering of its columns is every " + subject + " " + rule;
}

}  // namespace

CQbReport::CNumbering CValuationReader::cellNumbering(const CQbReport& report, const CDateTime& date) {
    // Without either column every item would read as nothing on hand and worth nothing,
    // and the day would be posted on that reading; without the average cost nothing
    // shows which cell holds which figure. The run stops before the day is committed.
    const std::string summary = dayText("QuickBooks' inventory valuation summary of %02d/%02d/%04d", date);
    for (const char* column : {CQbReport::kQuantityColumn, CQbReport::kAverageCostColumn, CQbReport::kValueColumn}) {
        if (report.columnIndex(column) == -1)
            throw CQbException(summary + " has no " + column +
                               " column, so Lotwise cannot read the items' quantities and values; nothing "
                               "was posted for that day.");
    }
    // The rows tell which cell holds which figure: the numbering in which every item's
    // value is its quantity times its average cost and its percent its share of the
    // total. Once a summary has settled it, the run's later summaries (those naming a
    // few items give little evidence) are read in it. A summary that adds up in none,
    // or in two that read different figures, would be posted on a guess.
    const CQbReport::CNumberingEvidence evidence = report.evidentNumbering(settledNumbering);
    if (evidence.numbering) {
        if (evidence.settles) settledNumbering = evidence.numbering;
        return *evidence.numbering;
    }
    const std::string misfit = report.rowValue(evidence.misfitRow);
    throw CQbException(
        summary +
        (evidence.ambiguous
             ? " adds up in more than one numbering of its columns, and they read different quantities or values"
             : " does not add up: " + misfitText(settledNumbering.has_value(), evidence.percentMisfit) +
                   (misfit.empty() ? std::string() : " (" + misfit + "'s is not)")) +
        ", so Lotwise cannot tell which cell holds which figure; nothing was posted for that day.");
}

const CCostrunItemList& CValuationReader::openingStock(const std::string& itemType) {
    std::unique_ptr<CCostrunItemList>& list = opening[itemType];
    if (!list) {
        // Read once per run and item type. A refusal stops the run: without QuickBooks'
        // figures of the day before the start the opening lots cannot be priced.
        list = std::make_unique<CCostrunItemList>();
        if (startDate && !readReport(*list, endOfDay(previousDay(*startDate)), itemType))
            list = std::make_unique<CCostrunItemList>();
    }
    return *list;
}

double CValuationReader::quantityAtEndOf(const CDateTime& date, const std::string& itemType, const std::string& item) {
    const std::string key = itemType + " " + dateText(date);
    auto found = changeDayQuantities.find(key);
    if (found == changeDayQuantities.end()) {
        auto list = std::make_unique<CCostrunItemList>();
        if (!readReport(*list, endOfDay(date), itemType)) return 0.0;
        found = changeDayQuantities.emplace(key, std::move(list)).first;
    }
    const CCostrunItem* entry = found->second->find(item);
    return entry ? entry->qtyOnHand : 0.0;
}
