// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// The run's receiving transactions (bills, item receipts, checks, card charges, vendor
// and card credits, inventory adjustments, builds) as a run keeps them for the whole
// period: what the FIFO walk, the returns, the builds, the value changes and the day's
// item selection read of them, taken from the parsed records as each answer is read, so
// that the parsed answers can go at once and a run's memory grows with what it uses of
// the history rather than with the answers' field trees.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "costruntxnlist.h"
#include "costrununits.h"
#include "datetime.h"

class CQbObject;
class CQbObjectList;

// A receiving line as lots are taken from it.
struct CReceiptLine {
    std::string item;     // ItemRef FullName: this run's name of the item
    double quantity = 0;   // the line's quantity field, above 0
    double amount = 0;     // the line's amount field (0 when absent), before any rate
    CLineUnit unit;        // the unit the quantity is stated in
    // Units going back to the vendor (a credit's line, or a purchase line of negative
    // quantity); quantity and amount are then those of the units returned, above 0.
    bool isReturn = false;
    std::string itemId = {};  // ItemRef ListID: who the item is, whatever its name becomes
};

class CQbField;

// What a lot needs of a receiving line (its quantity and amount fields named); none for
// a line that can give no lot (no fields, no quantity above 0, no item).
std::optional<CReceiptLine> readReceiptLine(const CQbField& line, const std::string& quantityField,
                                            const std::string& amountField);
// A line of a purchase (bill, item receipt, check, card charge) or of a credit (vendor
// credit, card credit; by type code) as the walk takes it: a receipt, a return, or none.
// Only a Quantity that is present makes a return: a line without one is none.
std::optional<CReceiptLine> readPurchaseLine(const CQbField& line, int txnTypeCode);

// An amount that changes the value of an item without bringing in units: a line with an
// item and an amount but no quantity (or 0), signed as it changes the value (a credit's
// amounts take value out).
struct CReceiptValueChange {
    std::string item;
    double amount = 0;
    // The value the line of an adjustment took off while it brought units in: those
    // units come in at no cost, and the amount falls on the units on hand before them
    // rather than on the record's own lots.
    bool onUnitsBefore = false;
    std::string itemId = {};  // the item's ListID
};

// One receiving transaction of the run.
struct CReceiptRecord {
    std::optional<CDateTime> txnDate;  // TxnDate; empty when it cannot be read
    int txnTypeCode = 0;
    bool isPending = false;            // IsPending; false when absent
    std::string txnId;
    std::string refNumber;
    // TxnNumber: QuickBooks numbers transactions as they are entered. Records of one date
    // and type stand in that order, however they were read. -1 when absent.
    long long txnNumber = -1;
    // What the record of the transactions read keeps besides (CSeenRecord):
    // TxnDate and EditSequence as QuickBooks gave them.
    std::string txnDateText;
    std::string editSequence;
    double exchangeRate = -1.0;        // "ExchangeRate" as read; -1.0 when absent
    // A build: its assembly, the quantity built and its value from the system's
    // "BuildValue" (see CCostrunTxn).
    std::string assembly;
    std::string assemblyId;  // the assembly's ListID
    double quantityToBuild = 0;
    CBuildValue buildValue;
    // Items of the lines that send units back to the vendor, in line order.
    std::vector<std::string> returnedItems;
    // The lines that can give a lot or a return, in the order the walk takes them
    // (direct lines, then those of the line groups), and the value changes; the run's
    // index takes them over (CReceiptWalk::index), which leaves these empty.
    std::vector<CReceiptLine> lines;
    std::vector<CReceiptValueChange> valueChanges;
};

// The records in ascending txnDate, undated ones first. Records of one date stand in the
// order the walk takes in reverse: bills, item receipts, checks, card charges, inventory
// adjustments, builds, vendor credits, card credits (so that returns come out of the
// day's own purchases, then builds, bills last), each type in the order entered
// (TxnNumber; those without one after the others, in the order added), so that records
// read at different times stand as one reading would give them. Positions change only
// while records are added; references stay valid until the next add.
class CReceiptRecords {
public:
    using Records = std::vector<CReceiptRecord>;

    CReceiptRecords() = default;
    CReceiptRecords(const CReceiptRecords&) = delete;
    CReceiptRecords& operator=(const CReceiptRecords&) = delete;

    // Takes from every record of the list (of the type code) what the run keeps and puts
    // it among the others by date; the list itself is not kept and may go at once.
    // Returns the number of records; 0 for a null list.
    int addAll(int code, const CQbObjectList* retList);
    // Puts records already taken among the others by date.
    void addTaken(std::vector<CReceiptRecord> taken);
    // The record of one parsed transaction of the type code.
    static CReceiptRecord take(int code, const CQbObject& ret);

    // The first build record whose TxnID equals txnId, or null.
    CReceiptRecord* findBuild(const std::string& txnId);
    // Builds dated after `committed` (every build when there is none) lose the value read
    // from QuickBooks (see CCostrunTxnList::dropProvisionalBuildValues).
    void dropProvisionalBuildValues(const std::optional<CDateTime>& committed);
    // The positions [first, last) of the records dated from `from` to `to`, both included.
    std::pair<std::size_t, std::size_t> datedWithin(const CDateTime& from, const CDateTime& to) const;
    // The position of the first record dated on or after the date (undated ones come
    // before every date).
    std::size_t firstDatedFrom(const CDateTime& date) const;

    std::size_t size() const { return records.size(); }
    bool empty() const { return records.empty(); }
    CReceiptRecord& operator[](std::size_t position) { return records[position]; }
    const CReceiptRecord& operator[](std::size_t position) const { return records[position]; }
    Records::const_iterator begin() const { return records.begin(); }
    Records::const_iterator end() const { return records.end(); }

private:
    Records records;
    // TxnID to position of the first build of that TxnID; built on first use after adds.
    std::unordered_map<std::string, std::size_t> builds;
    bool buildsIndexed = false;
};
