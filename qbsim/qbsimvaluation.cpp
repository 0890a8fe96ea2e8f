// The average-cost ledger: evaluation of transaction lines in date and entry order,
// the per-item timelines it leaves behind, and invalidation from a changed date on.
#include "qbsimvaluation.h"

#include "qbsimtxnkinds.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kQuantityEpsilon = 1e-9;

std::int64_t roundCents(double cents) { return static_cast<std::int64_t>(std::llround(cents)); }

// The lines the ledger evaluates; a statement adds its own condition after the WHERE
// and orders by date, entry and line.
constexpr const char* kLineSelect =
    "SELECT t.txn_date, t.txn_type, COALESCE(t.exchange_rate, 1), l.id, l.line_kind, "
    "l.item_id, lo.kind, l.quantity, l.amount, l.adj_kind, l.new_value, l.value_difference, "
    "l.qty_delta, t.id, t.entry_seq FROM txn t JOIN txn_line l ON l.txn_row = t.id "
    "JOIN list_object lo ON lo.id = l.item_id "
    "WHERE t.is_pending = 0 AND "
    "(lo.kind IN ('ItemInventory', 'ItemInventoryAssembly') OR l.line_kind = 'Component') AND ";
constexpr const char* kLineOrder = " ORDER BY t.txn_date, t.entry_seq, l.seq";

}  // namespace

int qbsimDateNumber(const std::string& date) {
    if (date.size() < 10) return 0;
    return std::stoi(date.substr(0, 4)) * 10000 + std::stoi(date.substr(5, 2)) * 100 +
           std::stoi(date.substr(8, 2));
}

std::string qbsimDateOfNumber(int date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date / 10000 % 10000, date / 100 % 100,
                  date % 100);
    return text;
}

CQbSimValuation::CQbSimValuation(CQbSimDb& database) : db(database) {}

void CQbSimValuation::reset() {
    resumedFrom = 0;
    resumed = false;
    bases.clear();
    unstoredPoints.clear();
    storedAdjustments = 0;
    markChanged = false;
    timelines.clear();
    adjustments.clear();
    adjustmentIndex.clear();
    costs.clear();
    unfixed.clear();
    validBefore = 0;
    lastDay = 0;
    lastEntry = -1;
    lastChange = -1;
}

void CQbSimValuation::restart() {
    reset();
    std::optional<CQbSimTransaction> own;
    if (sqlite3_get_autocommit(db.handle()) != 0) own.emplace(db);
    db.exec("DELETE FROM ledger_point; DELETE FROM ledger_adjustment; DELETE FROM ledger_mark;");
    if (own) own->commit();
}

void CQbSimValuation::catchUp() {
    if (!resumed) resume();
    CQbSimStmt changes(db, "SELECT seq, from_date, txn_row FROM inventory_change WHERE seq > ? "
                           "ORDER BY seq");
    changes.bind(1, lastChange);
    // New transactions on the last day evaluated are appended in entry order; any other
    // change before validBefore makes everything from its date on stale.
    int staleFrom = validBefore;
    std::vector<std::int64_t> appended;  // transaction rows
    while (changes.step()) {
        lastChange = changes.integer(0);
        markChanged = true;
        const int date = qbsimDateNumber(changes.text(1));
        if (date >= validBefore) continue;
        const auto txnRow = changes.optInteger(2);
        if (txnRow && date == lastDay) {
            appended.push_back(*txnRow);
        } else {
            staleFrom = std::min(staleFrom, date);
        }
    }
    if (staleFrom < validBefore) {
        // Every stale date lies on or before the last day evaluated, so the appended
        // transactions' day goes with it and is evaluated again in full.
        invalidateFrom(staleFrom);
        return;
    }
    if (appended.empty()) return;
    // Append in entry order, which need not be the order the rows were added in. A
    // transaction gone again (its deletion is in the log too), now dated elsewhere, or
    // entered before the day's last evaluated line cannot go on top: the day is
    // evaluated again instead.
    std::map<std::int64_t, std::int64_t> byEntry;  // entry sequence -> transaction row
    for (const std::int64_t row : appended) {
        CQbSimStmt head(db, "SELECT txn_date, entry_seq FROM txn WHERE id = ?");
        head.bind(1, row);
        if (!head.step() || qbsimDateNumber(head.text(0)) != lastDay) {
            invalidateFrom(lastDay);
            return;
        }
        byEntry.emplace(head.integer(1), row);
    }
    if (byEntry.begin()->first <= lastEntry) {
        invalidateFrom(lastDay);
        return;
    }
    for (const auto& [entrySeq, row] : byEntry) {
        CQbSimStmt lines(db, std::string(kLineSelect) + "t.id = ?" + kLineOrder);
        lines.bind(1, row);
        evaluate(lines);
        lastEntry = entrySeq;
    }
}

void CQbSimValuation::resume() {
    resumed = true;
    CQbSimStmt mark(db, "SELECT valid_before, last_day, last_entry, last_change FROM ledger_mark");
    if (!mark.step()) return;
    validBefore = resumedFrom = static_cast<int>(mark.integer(0));
    lastDay = static_cast<int>(mark.integer(1));
    lastEntry = mark.integer(2);
    lastChange = mark.integer(3);
    mark.reset();
    // A session that stopped between writing states and its mark may have left states of
    // days the mark does not cover.
    dropKeptFrom(validBefore);
}

void CQbSimValuation::dropKeptFrom(int date) {
    for (const char* sql : {"DELETE FROM ledger_point WHERE date >= ?", "DELETE FROM ledger_adjustment WHERE date >= ?"})
        CQbSimStmt(db, sql).bind(1, date).run();
}

void CQbSimValuation::storeMark() {
    if (!markChanged) return;
    CQbSimStmt put(db, "INSERT OR REPLACE INTO ledger_mark VALUES (1, ?, ?, ?, ?)");
    put.bind(1, validBefore).bind(2, lastDay).bind(3, lastEntry).bind(4, lastChange).run();
    markChanged = false;
}

void CQbSimValuation::store() {
    if (!unstoredPoints.empty()) {
        CQbSimStmt put(db, "INSERT OR REPLACE INTO ledger_point VALUES (?, ?, ?, ?, ?)");
        for (const auto& [item, date] : unstoredPoints) {
            const auto& points = timelines[item];
            const auto at = std::lower_bound(points.begin(), points.end(), date,
                                             [](const CPoint& p, int d) { return p.date < d; });
            if (at == points.end() || at->date != date) continue;
            put.bind(1, item).bind(2, date).bind(3, at->state.quantity).bind(4, at->state.valueCents);
            put.bind(5, at->state.lastAverage).run();
        }
        unstoredPoints.clear();
    }
    if (storedAdjustments < adjustments.size()) {
        CQbSimStmt put(db, "INSERT OR REPLACE INTO ledger_adjustment VALUES (?, ?, ?)");
        for (std::size_t i = storedAdjustments; i < adjustments.size(); ++i)
            put.bind(1, adjustments[i].lineRow).bind(2, adjustments[i].date).bind(3, adjustments[i].valueCents).run();
        storedAdjustments = adjustments.size();
    }
}

CQbSimValuation::CState CQbSimValuation::keptState(std::int64_t itemRow, int day) {
    CQbSimStmt kept(db, "SELECT quantity, value_cents, last_average FROM ledger_point "
                        "WHERE item_id = ? AND date <= ? ORDER BY date DESC LIMIT 1");
    kept.bind(1, itemRow).bind(2, day);
    if (!kept.step()) return {};
    return {kept.real(0), kept.integer(1), kept.optReal(2)};
}

CQbSimValuation::CState CQbSimValuation::base(std::int64_t itemRow) {
    if (resumedFrom == 0) return {};
    const auto it = bases.find(itemRow);
    if (it != bases.end()) return it->second;
    const CState state = keptState(itemRow, resumedFrom - 1);
    bases.emplace(itemRow, state);
    return state;
}

void CQbSimValuation::invalidateFrom(int date) {
    if (date >= validBefore) return;
    if (date < resumedFrom) {
        // Every state in memory is of a day from `date` on; the file keeps the days before.
        timelines.clear();
        bases.clear();
        resumedFrom = date;
    }
    for (auto& [item, points] : timelines) {
        while (!points.empty() && points.back().date >= date) points.pop_back();
    }
    while (!adjustments.empty() && adjustments.back().date >= date) {
        adjustmentIndex.erase(adjustments.back().lineRow);
        adjustments.pop_back();
    }
    storedAdjustments = std::min(storedAdjustments, adjustments.size());
    dropKeptFrom(date);
    markChanged = true;
    // Items can only be added, never changed in what the ledger reads, but an item added
    // since the costs were read must be found; reading them again is cheap.
    costs.clear();
    validBefore = date;
    lastDay = 0;
    lastEntry = -1;
}

double CQbSimValuation::purchaseCost(std::int64_t itemRow) {
    auto it = costs.find(itemRow);
    if (it != costs.end()) return it->second;
    // A service or non-inventory item with one account keeps a single price; otherwise
    // the purchase side's cost is the cost.
    CQbSimStmt s(db, "SELECT single_account, purchase_cost, price FROM item WHERE id = ?");
    s.bind(1, itemRow);
    double cost = 0;
    if (s.step())
        cost = s.integer(0) != 0 ? s.optReal(2).value_or(0) : s.optReal(1).value_or(0);
    costs.emplace(itemRow, cost);
    return cost;
}

CQbSimValuation::CState CQbSimValuation::current(std::int64_t itemRow) {
    auto it = timelines.find(itemRow);
    if (it == timelines.end() || it->second.empty()) return base(itemRow);
    return it->second.back().state;
}

void CQbSimValuation::record(std::int64_t itemRow, int date, CState state) {
    if (state.quantity > kQuantityEpsilon)
        state.lastAverage = static_cast<double>(state.valueCents) / 100.0 / state.quantity;
    auto& points = timelines[itemRow];
    if (!points.empty() && points.back().date == date)
        points.back().state = state;
    else
        points.push_back({date, state});
    if (unstoredPoints.empty() || unstoredPoints.back() != std::make_pair(itemRow, date))
        unstoredPoints.emplace_back(itemRow, date);
}

double CQbSimValuation::averageCost(std::int64_t itemRow, const CState& state) {
    if (state.quantity > kQuantityEpsilon)
        return static_cast<double>(state.valueCents) / 100.0 / state.quantity;
    if (state.lastAverage) return *state.lastAverage;
    return purchaseCost(itemRow);
}

void CQbSimValuation::evaluateThrough(const std::string& date) {
    // A request evaluates in its own transaction; a caller outside one (a tool, a test)
    // gets one here, so that the states and their mark are written together.
    std::optional<CQbSimTransaction> own;
    if (sqlite3_get_autocommit(db.handle()) != 0) own.emplace(db);
    try {
        catchUp();
        const int through = qbsimDateNumber(date);
        if (through >= validBefore) {
            CQbSimStmt lines(db, std::string(kLineSelect) + "t.txn_date >= ? AND t.txn_date <= ?" + kLineOrder);
            lines.bind(1, qbsimDateOfNumber(validBefore)).bind(2, date);
            const auto [day, entry] = evaluate(lines);
            validBefore = through + 1;
            lastDay = through;
            lastEntry = day == through ? entry : -1;
            markChanged = true;
        }
        storeMark();
        if (own) own->commit();
    } catch (...) {
        // What memory holds may be ahead of what the file kept.
        reset();
        throw;
    }
}

std::pair<int, std::int64_t> CQbSimValuation::evaluate(CQbSimStmt& lines) {
    std::pair<int, std::int64_t> last{0, -1};
    std::int64_t buildTxn = -1;
    std::int64_t buildCost = 0;
    const CQbSimTxnKind* kind = nullptr;
    while (lines.step()) {
        ++evaluated;
        const int day = qbsimDateNumber(lines.text(0));
        const std::string type = lines.text(1);
        if (!kind || type != kind->type) kind = &qbsimTxnKind(type);
        const std::int64_t item = lines.integer(5);
        const bool stocked = qbsimIsStocked(lines.text(6));
        const double delta = lines.real(12);
        const std::int64_t txnRow = lines.integer(13);
        last = {day, lines.integer(14)};
        if (txnRow != buildTxn) buildCost = 0;

        if (kind->family == CQbSimTxnFamily::Build) {
            buildTxn = txnRow;
            evaluateBuildLine(lines, day, stocked, buildCost);
            continue;
        }
        if (!stocked) continue;
        CState s = current(item);
        switch (kind->family) {
        case CQbSimTxnFamily::Purchase: {
            // A purchase comes in at the line's own amount. A return to the vendor is a
            // purchase of the negative quantity: out at the line's own amount, not at
            // the average cost.
            const double rate = lines.real(2);
            const std::int64_t amount =
                roundCents(static_cast<double>(lines.optInteger(8).value_or(0)) * rate);
            receive(s, delta, kind->stockSign > 0 ? amount : -amount);
            break;
        }
        case CQbSimTxnFamily::Adjustment: evaluateAdjustment(lines, day, s); break;
        default:  // invoices and sales receipts take stock out, credit memos bring it back
            s.valueCents += roundCents(averageCost(item, s) * delta * 100.0);
            s.quantity += delta;
        }
        record(item, day, s);
    }
    lines.reset();
    storeDifferences();
    store();
    return last;
}

void CQbSimValuation::evaluateBuildLine(CQbSimStmt& lines, int day, bool stocked,
                                        std::int64_t& buildCost) {
    const std::string lineKind = lines.text(4);
    const std::int64_t item = lines.integer(5);
    const double quantity = lines.optReal(7).value_or(0);
    const double delta = lines.real(12);
    if (lineKind == "Component") {
        if (stocked) {
            CState s = current(item);
            const std::int64_t cost = roundCents(averageCost(item, s) * quantity * 100.0);
            s.valueCents -= cost;
            s.quantity += delta;
            buildCost += cost;
            record(item, day, s);
        } else {
            buildCost += roundCents(purchaseCost(item) * quantity * 100.0);
        }
    } else if (lineKind == "Built") {
        CState s = current(item);
        s.quantity += delta;
        s.valueCents += buildCost;
        buildCost = 0;
        record(item, day, s);
    }
}

void CQbSimValuation::evaluateAdjustment(CQbSimStmt& lines, int day, CState& s) {
    const std::int64_t lineRow = lines.integer(3);
    const std::int64_t item = lines.integer(5);
    const double delta = lines.real(12);
    std::int64_t difference = 0;
    if (lines.optText(9).value_or("") == "Quantity") {
        difference = roundCents(averageCost(item, s) * delta * 100.0);
        s.quantity += delta;
        s.valueCents += difference;
    } else {
        s.quantity += delta;
        const auto stored = lines.optInteger(11);
        const auto newValue = lines.optInteger(10);
        if (stored || !newValue) {
            difference = stored.value_or(0);
        } else {
            // A NewValue line not yet fixed: its difference is taken against the
            // value at this moment and stored, so that later back-dated history
            // moves later values but never this posting.
            difference = *newValue - s.valueCents;
            unfixed.emplace_back(lineRow, difference);
        }
        s.valueCents += difference;
    }
    adjustments.push_back({day, lineRow, difference});
    adjustmentIndex[lineRow] = difference;
}

void CQbSimValuation::receive(CState& s, double quantity, std::int64_t amountCents) {
    if (s.quantity < -kQuantityEpsilon && quantity > kQuantityEpsilon) {
        // Restocking after negative stock: the units received first replace the oversold
        // ones. Those are valued at the receipt's cost instead of the cost they went out
        // at; the difference goes to cost of goods sold on the receipt, not into stock.
        // Units still oversold after the receipt keep the cost they went out at, so the
        // value is (units still oversold) x (their cost) or, once the quantity is
        // positive again, (units on hand) x (the receipt's unit cost).
        const double covered = std::min(quantity, -s.quantity);
        const std::int64_t outAt =
            roundCents(static_cast<double>(s.valueCents) * covered / s.quantity);
        const std::int64_t inAt = roundCents(static_cast<double>(amountCents) * covered / quantity);
        s.valueCents += amountCents - inAt + outAt;
        s.quantity += quantity;
        if (std::fabs(s.quantity) <= kQuantityEpsilon) s.valueCents = 0;
        return;
    }
    s.quantity += quantity;
    s.valueCents += amountCents;
}

void CQbSimValuation::storeDifferences() {
    if (unfixed.empty()) return;
    const auto differences = std::move(unfixed);
    unfixed.clear();
    CQbSimStmt store(db, "UPDATE txn_line SET value_difference = ? WHERE id = ? AND value_difference IS NULL");
    for (const auto& [lineRow, difference] : differences) store.bind(1, difference).bind(2, lineRow).run();
}

CQbSimValuation::CState CQbSimValuation::stateAt(std::int64_t itemRow, const std::string& date) {
    const int day = qbsimDateNumber(date);
    if (day < resumedFrom) return keptState(itemRow, day);
    auto it = timelines.find(itemRow);
    if (it == timelines.end()) return base(itemRow);
    const auto& points = it->second;
    auto after = std::upper_bound(points.begin(), points.end(), day,
                                  [](int d, const CPoint& p) { return d < p.date; });
    if (after == points.begin()) return base(itemRow);
    return std::prev(after)->state;
}

std::optional<std::int64_t> CQbSimValuation::adjustmentValue(std::int64_t lineRow,
                                                             const std::string& date) {
    evaluateThrough(date);
    auto it = adjustmentIndex.find(lineRow);
    if (it != adjustmentIndex.end()) return it->second;
    // A line evaluated before this session's first day is in the file.
    CQbSimStmt kept(db, "SELECT value_cents FROM ledger_adjustment WHERE line_row = ? AND date < ?");
    kept.bind(1, lineRow).bind(2, resumedFrom);
    if (!kept.step()) return std::nullopt;
    return kept.integer(0);
}
