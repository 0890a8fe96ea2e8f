// QuickBooks' figures of the items: its inventory valuation summary of a day, by item
// type or naming the items, read into item lists (quantity and value on hand). The
// walk's opening lots and the quantities of value-change days come from here too, each
// read once per run.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "activitylog.h"
#include "costrunitemlist.h"
#include "datetime.h"
#include "qbreport.h"
#include "qbrequestbase.h"
#include "receiptwalk.h"

class CValuationReader : public CStockFigures {
public:
    // The session and the log must outlive the reader.
    CValuationReader(CQbRequestBase& session, CActivityLog& log, bool assemblies, std::optional<CDateTime> startDate);

    // The day's summaries of every item by type (the assemblies' only when the edition
    // has them).
    std::vector<std::string> requestsByType(const CDateTime& day) const;
    // The day's summaries naming the items, at most kMaxReportItems a request.
    std::vector<std::string> namedRequests(const CDateTime& day, const std::vector<std::string>& names) const;
    // Sends the requests in message sets within CDayCommit's bounds; one answer (null
    // when missing) per request, in order.
    std::vector<std::unique_ptr<CQbResponse>> sendInSets(std::vector<std::string> requests);
    // Reads one answer into the list (and the activity log). A refused or missing
    // answer, one without the quantity, average cost or value column, or one whose
    // figures bear out no numbering of its cells, throws CQbException. The first answer
    // whose figures settle the numbering (see CQbReport::CNumberingEvidence::settles)
    // fixes it for every later answer the reader reads.
    void readAnswer(CCostrunItemList& list, const CDateTime& date, std::unique_ptr<CQbResponse> answer);
    // One summary of the item type into the list.
    // False without a connection.
    bool readReport(CCostrunItemList& list, const CDateTime& date, const std::string& itemType);

    const CCostrunItemList& openingStock(const std::string& itemType) override;
    double quantityAtEndOf(const CDateTime& date, const std::string& itemType, const std::string& item) override;

    static constexpr std::size_t kMaxReportItems = 500;

private:
    // The numbering the answer's cells are read in (see readAnswer); throws CQbException
    // when the summary lacks a column it needs or its figures bear out none.
    CQbReport::CNumbering cellNumbering(const CQbReport& report, const CDateTime& date);

    CQbRequestBase& session;
    CActivityLog& log;
    bool assemblies;
    std::optional<CDateTime> startDate;
    std::map<std::string, std::unique_ptr<CCostrunItemList>> opening;
    // QuickBooks' quantities at the end of the days of value changes, by item type and date.
    std::map<std::string, std::unique_ptr<CCostrunItemList>> changeDayQuantities;
    // How QuickBooks numbers the cells of its valuation summaries, once an answer's
    // figures have settled it; the same for every summary of the run.
    std::optional<CQbReport::CNumbering> settledNumbering;
};
