// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// Inventory as QuickBooks keeps it: the quantity, value and average cost of every
// inventory and assembly item, evaluated over every non-pending transaction line in date
// order and, within a date, in entry order. Receipts add their home-currency amount
// (a line of negative quantity, and every line of a vendor or card credit, takes its
// amount out);
// sales, credit memos, quantity adjustments and build components move stock at the
// average cost of the moment; a build adds the cost of its components to the assembly.
//
// A receipt into negative stock first replaces the oversold units: they are valued at
// the receipt's unit cost, and the difference to the cost they went out at goes to cost
// of goods sold on the receipt rather than into stock. So once the quantity is positive
// again the value is the quantity times the receipt's unit cost; units still oversold
// after a receipt keep the cost they went out at.
//
// A value adjustment moves the item's value by a fixed difference, as QuickBooks posts
// it. A line given as a NewValue gets its difference once, against the item's value at
// the line's own moment (its date, after everything entered before it on that date),
// and the ledger stores it in the line's value_difference the first time it evaluates
// the line, which is when the adding request answers with it. From then on back-dated
// history changes the values after the adjustment, never its difference. (Company files
// written before differences were stored get them when opened; see CQbSimCompany::open.)
//
// What has been evaluated is kept per item as a timeline of states, so a report for a
// day already evaluated is a look-up and a report for the next day evaluates one more
// day. The timelines are also kept in the company file (ledger_point, ledger_adjustment,
// and ledger_mark for how far they are valid), in the transaction of the request that
// evaluated them, so that a new session, or another program, goes on from there instead
// of evaluating the history again: states of days before the session's first evaluated
// day are read from the file as they are asked for, one item and day at a time. Every change of a transaction is recorded in the company file's inventory_change
// table (by triggers, whichever connection makes it); before answering, the ledger reads
// the entries it has not seen and throws away what it evaluated from the earliest
// changed date on. The one exception is the common case of a valuation run: new
// transactions dated on the last day evaluated, entered after everything evaluated on
// it. Evaluation order is date, then entry order, so evaluating them on top of that day
// gives what evaluating the day again would, without going over the day's earlier lines
// once for every posting.
//
// Not thread-safe; one ledger per engine.
#pragma once

#include "qbsimdb.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class CQbSimValuation {
public:
    // The database must outlive the ledger.
    explicit CQbSimValuation(CQbSimDb& db);

    // An item's inventory at one point of the evaluation.
    struct CState {
        double quantity = 0;
        std::int64_t valueCents = 0;
        // Average cost after the last change that left a positive quantity.
        std::optional<double> lastAverage;
    };

    // Catches up with recorded changes, then evaluates every line dated up to and
    // including `date` (YYYY-MM-DD).
    void evaluateThrough(const std::string& date);
    // The item's state at the end of `date`; evaluateThrough(date) must have run since
    // the last change. An item without lines on or before the date has a zero state.
    CState stateAt(std::int64_t itemRow, const std::string& date);
    // The cost per unit the item moves at in `state`: value / quantity while the quantity
    // is positive, else the last known average cost, else the item's purchase cost.
    double averageCost(std::int64_t itemRow, const CState& state);
    // The value difference QuickBooks reports for an inventory adjustment line, after
    // evaluating through the line's date (which stores the difference of a NewValue line
    // not stored yet). Empty for a line of a pending or unknown transaction.
    std::optional<std::int64_t> adjustmentValue(std::int64_t lineRow, const std::string& date);

    // Forgets everything evaluated in memory (e.g. after a request was rolled back, whose
    // lines may already have been evaluated); the next evaluation goes on from what the
    // company file keeps.
    void reset();
    // Forgets everything evaluated, in memory and in the company file: the next
    // evaluation starts from the first transaction.
    void restart();

    // Lines evaluated since construction; for tests and benchmarks.
    std::uint64_t linesEvaluated() const { return evaluated; }

private:
    struct CPoint {
        int date;
        CState state;
    };
    struct CAdjustment {
        int date;
        std::int64_t lineRow;
        std::int64_t valueCents;
    };

    void catchUp();
    void invalidateFrom(int date);
    // Goes on from the ledger the company file keeps, once after construction or reset.
    void resume();
    // Writes the states and adjustment values evaluated since the last write, and the mark.
    void store();
    void storeMark();
    // Deletes the states and adjustment values the file keeps from `date` on.
    void dropKeptFrom(int date);
    // The item's kept state at the end of the last day it moved on or before `day`.
    CState keptState(std::int64_t itemRow, int day);
    // Evaluates the rows of a line statement (kLineSelect) in date and entry order.
    // Returns the date and entry sequence of the last line, or {0, -1} for none.
    std::pair<int, std::int64_t> evaluate(CQbSimStmt& lines);
    // A build's line: a component goes out at its average cost (a part not in stock at
    // its purchase cost) and adds to buildCost, which the assemblies built come in at.
    void evaluateBuildLine(CQbSimStmt& lines, int day, bool stocked, std::int64_t& buildCost);
    // An adjustment's line: a quantity adjustment moves at the average cost, a value
    // adjustment by its difference (fixed the first time a NewValue line is evaluated).
    void evaluateAdjustment(CQbSimStmt& lines, int day, CState& state);
    double purchaseCost(std::int64_t itemRow);
    // Adds a receipt of `quantity` units costing `amountCents` in all to the state.
    static void receive(CState& state, double quantity, std::int64_t amountCents);
    // Writes the differences of the NewValue lines evaluated for the first time.
    void storeDifferences();
    CState current(std::int64_t itemRow);
    // The item's state before the first day evaluated in memory (resumedFrom).
    CState base(std::int64_t itemRow);
    void record(std::int64_t itemRow, int date, CState state);

    CQbSimDb& db;
    std::unordered_map<std::int64_t, std::vector<CPoint>> timelines;
    std::vector<CAdjustment> adjustments;
    std::unordered_map<std::int64_t, std::int64_t> adjustmentIndex;  // line row -> value
    std::unordered_map<std::int64_t, double> costs;                   // purchase cost by item
    std::vector<std::pair<std::int64_t, std::int64_t>> unfixed;       // (line row, difference) to store
    // States of days before this are read from the company file; the timelines hold the
    // days from it on.
    int resumedFrom = 0;
    bool resumed = false;
    std::unordered_map<std::int64_t, CState> bases;           // item -> state before resumedFrom
    std::vector<std::pair<std::int64_t, int>> unstoredPoints;  // (item, date) evaluated, not written
    std::size_t storedAdjustments = 0;                          // adjustments already written
    bool markChanged = false;
    int validBefore = 0;   // every line dated before this (yyyymmdd) is evaluated
    int lastDay = 0;       // the day evaluateThrough ended on; 0 after an invalidation
    std::int64_t lastEntry = -1;  // entry sequence of the last line evaluated on lastDay
    std::int64_t lastChange = -1;
    std::uint64_t evaluated = 0;
};

// yyyymmdd of a YYYY-MM-DD text; the text of such a number (which may name a day past a
// month's end when used as an exclusive bound, and still sorts correctly).
int qbsimDateNumber(const std::string& date);
std::string qbsimDateOfNumber(int date);
