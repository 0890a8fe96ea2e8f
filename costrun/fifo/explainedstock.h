// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// The quantity of every item that the transactions a run reads explain: QuickBooks'
// quantity at the end of the day before the run's first day, moved by every receipt and
// return to a vendor, every sale and credit memo, adjustment and build dated from that
// day on, in base units (pending sales and builds move nothing, as in QuickBooks). Where
// QuickBooks holds another quantity at the end of a day, the run has not read the whole
// history of the item (a transaction it cannot read: a voided one whose lines still
// count, one converted under a new TxnID), so its lots cannot be trusted and the item is
// not valued that day. Moves are kept compact, item by number, and taken in date order
// as the days are valued: no question is asked of QuickBooks. Not thread-safe.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "costrunitemlist.h"
#include "costrunreceipts.h"
#include "costruntxnlist.h"
#include "costrununits.h"
#include "datetime.h"

class CExplainedStock {
public:
    // A difference of quantities this small is the rounding of sums, not a missing
    // transaction; it is also less than the two decimals the exception shows.
    static constexpr double kResidue = 0.005;

    // `units` must outlive this object.
    explicit CExplainedStock(const CCostrunUnits& units) : units(units) {}
    CExplainedStock(const CExplainedStock&) = delete;
    CExplainedStock& operator=(const CExplainedStock&) = delete;

    // Notes the moves of the receiving records dated on or after `firstDay` (purchases,
    // returns and credits; adjustments and builds come with the days' transactions).
    // Call before the walk's index takes over the records' lines.
    void takeReceipts(const CReceiptRecords& records, const CDateTime& firstDay);
    // Starts every item of the list from its quantity: QuickBooks' at the end of the day
    // before the first day. Items it does not list start from none.
    void setOpening(const CCostrunItemList& list);
    bool hasOpening() const { return opened; }
    // Moves in the receipts dated up to the end of `day`, then the day's issuing
    // transactions and builds (null for a day without any). Days come in date order.
    void takeDay(const CDateTime& day, const CCostrunTxnList* txns);

    // The quantity the transactions read explain; none for an item a line of which was
    // in a unit that cannot be counted (that item is left unvalued for its unit).
    std::optional<double> quantity(const std::string& item) const;
    // Sets unreconciled on every item of the list whose QuickBooks quantity differs from
    // the explained one by more than kResidue; nothing before setOpening.
    void check(CCostrunItemList& list) const;
    // The exception of an item QuickBooks holds `held` of where `explained` is explained.
    static std::string reason(double held, double explained);

private:
    struct CMove {
        CDateTime day;  // the start of the move's date
        std::size_t item;
        double quantity;
    };
    std::size_t idOf(const std::string& item);
    void move(const std::string& item, const CLineUnit& unit, double quantity);
    void takeTxn(const CCostrunTxn& txn);

    const CCostrunUnits& units;
    bool opened = false;
    std::unordered_map<std::string, std::size_t> ids;
    std::vector<double> quantities;  // by item number
    std::vector<bool> uncounted;     // a line of the item was in a unit that cannot be read
    std::vector<CMove> receipts;     // in date order
    std::size_t nextReceipt = 0;
};
