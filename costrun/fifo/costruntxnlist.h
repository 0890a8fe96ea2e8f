// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// Transactions retrieved from QuickBooks for a day, kept in date order with their type
// codes, and the assembly build values read from the system's "BuildValue" custom field.
// A record borrows the qbXML Ret object it came from: the response list that owns the
// object must outlive the record list. (The run's receiving transactions, kept for the
// whole period, are held without their parsed records: costrunreceipts.h.)
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "datetime.h"
#include "txnkinds.h"

class CQbObject;
class CQbObjectList;

class CQbField;

// QuickBooks keeps a voided transaction with its memo (a statement charge's description)
// prefixed "VOID:" and every amount zeroed. Either fact alone is no void: a live bill may
// be given such a memo by hand, and a live transaction may be free. A transaction is
// voided when its memo or description begins "VOID:" and no amount on it (a line's or
// the head's: amounts, totals, balances, value differences; unit prices and the amounts
// of linked transactions do not count) is other than zero. Whether a voided
// transaction's item lines keep their quantities is not documented, so a voided
// transaction is read as moving nothing, whatever its lines still say. Every place that
// decides a void asks this function.
inline constexpr const char* kVoidMark = "VOID:";
bool isVoided(const CQbObject& txn);

// The lines inside each of a transaction's groups (groupName elements), in order; none
// for a kind without groups (a null groupName).
std::vector<CQbField*> groupLines(const CQbObject& txn, const char* lineName, const char* groupName);
// A transaction's direct lines followed by the lines inside each of its groups.
std::vector<CQbField*> itemLines(const CQbObject& txn, const char* lineName, const char* groupName);

// Name of the system's custom field holding a build's value.
inline constexpr const char* kBuildValueField = "BuildValue";

// A build's value as the system keeps it in the build's "BuildValue" custom field: the
// day records and the run's receiving records of builds hold one each.
struct CBuildValue {
    // The value when known: a stored finite number, or what the run valued the build at
    // (a stored value too large for a double, or otherwise not finite, would poison every
    // lot and adjustment made from it: such a build counts as unvalued).
    std::optional<double> value;
    // QuickBooks holds a "BuildValue" for the build, whether or not the run uses it: a
    // value written for a day that was never committed is provisional, valued again and
    // overwritten.
    bool stored = false;

    // What the build's custom field holds.
    static CBuildValue of(const CQbObject& build);
    bool known() const { return value.has_value(); }
    double amount() const { return value.value_or(0.0); }
    void set(double valued) { value = valued; }
    // A build dated after `committed` (every build when there is none) loses the value
    // read from QuickBooks: it was written by a run that stopped before committing its
    // day, and the day is valued again.
    void dropProvisional(const std::optional<CDateTime>& date, const std::optional<CDateTime>& committed) {
        if (!committed || !date || *date > *committed) value.reset();
    }
};

// One retrieved transaction.
class CCostrunTxn {
public:
    std::optional<CDateTime> txnDate;  // TxnDate; empty when it cannot be read
    int txnTypeCode = 0;
    const CQbObject* ret = nullptr;  // the whole Ret element; borrowed, never null
    CBuildValue buildValue;          // of an assembly build
    bool isPending = false;          // IsPending; false when absent
    bool isVoid = false;             // voided in QuickBooks (isVoided)

    // Whether the transaction takes stock in or out: a pending or voided one does not.
    bool movesStock() const { return !isPending && !isVoid; }
};

// Records in ascending txnDate; records of one date keep the order they were added in.
// A record without a readable TxnDate counts as earlier than every dated one, so it
// sits at the front (among undated records, in the order added) and a walk from the
// newest backwards meets it last. The list owns its records; record pointers stay
// valid while the list lives.
class CCostrunTxnList {
public:
    using Records = std::vector<std::unique_ptr<CCostrunTxn>>;

    CCostrunTxnList() = default;
    CCostrunTxnList(const CCostrunTxnList&) = delete;
    CCostrunTxnList& operator=(const CCostrunTxnList&) = delete;

    // Creates a record for the Ret object (date from "TxnDate", pending from
    // "IsPending") and inserts it before the first record dated strictly later, or at
    // the end. Returns the record, owned by the list. A null object is a programming
    // error: asserted, and in release builds nothing is added and null returned.
    CCostrunTxn* addTxn(int code, const CQbObject* retObject);
    // addTxn for every object of the list, in list order. For builds (code 101) a
    // private custom field "BuildValue" holding a finite number becomes the record's
    // build value (and stored is set for any stored value). Returns the number
    // of objects; 0 for a null list.
    int addAll(int code, const CQbObjectList* retList);

    // The first build record whose object's "TxnID" equals txnId, or null.
    CCostrunTxn* findBuild(const std::string& txnId) const;
    // Builds dated after `committed` (every build when there is none) lose the value read
    // from QuickBooks: it was written by a run that stopped before committing their day,
    // and the day is valued again.
    void dropProvisionalBuildValues(const std::optional<CDateTime>& committed);
    // True when every build record (code 101) is pending or has its value; records of
    // other types have nothing to settle. True for an empty list.
    bool allBuildsSettled() const;

    std::size_t size() const { return records.size(); }
    bool empty() const { return records.empty(); }
    // The record at a 0-based position; null outside the list.
    CCostrunTxn* at(std::size_t index) const;
    // Iteration in date order yields the owning pointers; rbegin/rend walk from the
    // newest record back to the oldest.
    Records::const_iterator begin() const { return records.begin(); }
    Records::const_iterator end() const { return records.end(); }
    Records::const_reverse_iterator rbegin() const { return records.rbegin(); }
    Records::const_reverse_iterator rend() const { return records.rend(); }

private:
    Records records;
};
