// The FIFO walk: a day's items take lots from the run's receiving transactions, newest
// first, back to an opening lot priced from QuickBooks' figures of the day before the
// start date. Returns to vendors come out of the receipts the walk meets next, value
// changes (freight on a later check, a value-only adjustment) spread over the units on
// hand at their date, and a valued build is a lot of its assembly. The walk asks no
// questions of QuickBooks itself: the figures it needs come through CStockFigures.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "costrunitemlist.h"
#include "costrunreceipts.h"
#include "costrununits.h"
#include "datetime.h"

// QuickBooks' figures the walk needs, read by the run when first asked.
class CStockFigures {
public:
    virtual ~CStockFigures() = default;
    // QuickBooks' items of the type ("Inventory", "Assembly") at the end of the day
    // before the start date.
    virtual const CCostrunItemList& openingStock(const std::string& itemType) = 0;
    // QuickBooks' quantity of the item at the end of the date; 0 for one it does not list.
    virtual double quantityAtEndOf(const CDateTime& date, const std::string& itemType, const std::string& item) = 0;
};

class CReceiptWalk {
public:
    // `units` and `figures` must outlive the walk; `note` receives a line for the
    // activity log when a line's unit cannot be read.
    CReceiptWalk(const CCostrunUnits& units, CStockFigures& figures, std::optional<CDateTime> startDate,
                 bool multiCurrency, std::function<void(const std::string&)> note);
    CReceiptWalk(const CReceiptWalk&) = delete;
    CReceiptWalk& operator=(const CReceiptWalk&) = delete;

    // The run's receiving transactions; add them all, then index once.
    CReceiptRecords& records() { return receipts; }
    const CReceiptRecords& records() const { return receipts; }
    // Fills the index by item from the records, taking over their lines and value
    // changes; once, after the last records are added.
    void index();

    // Gives every active, incomplete item of the list the lots of the receiving records
    // dated before `day`, newest first, then an opening lot where they do not cover it.
    void collectLots(CCostrunItemList& list, const CDateTime& day, const std::string& itemType);
    // The line's lot for its item in the list, when that item still takes lots; the
    // amount is multiplied by the rate. A return gives no lot.
    void placeLot(CCostrunItemList& list, const CReceiptLine& line, const std::optional<CDateTime>& txnDate,
                  const std::string& refNumber, const std::string& typeName, double rate);
    // A line's quantity in the item's base unit; none (and the item's unreadUnit set,
    // naming the line's transaction) when its unit cannot be read.
    std::optional<double> baseQuantity(CCostrunItem& item, const CLineUnit& unit, double quantity,
                                       const std::string& txnType, const std::string& refNumber);
    // The rate that turns a receiving record's amounts into the home currency: its
    // "ExchangeRate" (-1.0 when it had none) when multicurrency is on, otherwise 1.0.
    double rate(double exchangeRate) const;

private:
    // A record's line in the index: none for a build, whose lot is the whole build; a
    // value change of the stock on hand carries its amount instead (before any rate).
    struct CEntry {
        std::size_t record;
        std::optional<CReceiptLine> line;
        std::optional<double> valueChange = std::nullopt;
        // Units the record itself brings in of the item, which a value change of the
        // units on hand before it does not reach.
        double ownUnits = 0.0;
    };
    using CEntries = std::vector<CEntry>;

    void walkItem(CCostrunItemList& list, CCostrunItem& item, std::size_t before, const CDateTime& day,
                  const std::string& itemType);
    void takeRecord(CCostrunItemList& list, CCostrunItem& item, const CReceiptRecord& record,
                    CEntries::const_iterator first, CEntries::const_iterator last, const CDateTime& day,
                    const std::string& itemType);
    void takeReturns(CCostrunItem& item, const CReceiptRecord& record, CEntries::const_iterator first,
                     CEntries::const_iterator last, double rate);
    void buildLot(const CReceiptRecord& build, CCostrunItemList& list);
    void indexValueChange(std::size_t position, const CReceiptValueChange& change);
    void addOpeningLots(CCostrunItemList& list, const std::string& itemType);

    const CCostrunUnits& units;
    CStockFigures& figures;
    std::optional<CDateTime> startDate;
    bool multiCurrency;
    std::function<void(const std::string&)> note;
    CReceiptRecords receipts;
    // For every item named on a receiving line, and every assembly built, the positions
    // of its records (ascending) with the line as read: a day's walk follows only the
    // items still short of lots, and the lines are read once per run.
    std::unordered_map<std::string, CEntries> byItem;
    // Items whose unit-of-measure set changed since lines of them were kept, with why.
    std::unordered_map<std::string, std::string> changedSets;
};
