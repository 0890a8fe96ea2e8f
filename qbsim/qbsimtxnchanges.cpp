// Changes to transactions already entered: voids, an item receipt turned into a bill
// ("Enter Bill for Received Items", and a BillAdd linking the receipt), edits of
// inventory adjustments, and the builds QuickBooks turns back to pending when a change
// dated before them leaves them short of components.
//
// Each change that moves quantities or amounts without touching the columns the change
// log's triggers watch records the date it affects itself (recordInventoryChange), so a
// ledger of any connection evaluates again from there.
#include "qbsimengine.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace {

using Attrs = std::vector<std::pair<std::string, std::string>>;

// The kinds of the schema's TxnVoidType that the stand-in holds.
bool voidable(const std::string& type) {
    static const std::set<std::string> kinds = {
        "Bill",       "ItemReceipt",  "Check",        "CreditCardCharge",    "CreditCardCredit", "VendorCredit",
        "Invoice",    "SalesReceipt", "CreditMemo",   "InventoryAdjustment", "Charge"};
    return kinds.count(type) != 0;
}

constexpr double kQuantityEpsilon = 1e-9;

}  // namespace

void CQbSimEngine::recordInventoryChange(const std::string& date) {
    CQbSimStmt log(db, "INSERT INTO inventory_change(from_date) VALUES(?)");
    log.bind(1, date).run();
}

std::set<std::int64_t> CQbSimEngine::itemsMoved(std::int64_t txnRow, int direction) {
    CQbSimStmt items(db, "SELECT DISTINCT l.item_id FROM txn_line l JOIN txn t ON t.id = l.txn_row "
                         "WHERE t.id = ? AND t.is_pending = 0 AND l.qty_delta * ? > 0");
    items.bind(1, txnRow).bind(2, direction);
    std::set<std::int64_t> found;
    while (items.step()) found.insert(items.integer(0));
    return found;
}

std::map<std::int64_t, double> CQbSimEngine::buildNeeds(std::int64_t buildRow) {
    // A stocked component's line takes its quantity out (qty_delta); a non-inventory
    // part's line moves nothing and needs nothing on hand.
    CQbSimStmt parts(db, "SELECT item_id, -SUM(qty_delta) FROM txn_line WHERE txn_row = ? AND "
                         "line_kind = 'Component' AND qty_delta < 0 GROUP BY item_id");
    parts.bind(1, buildRow);
    std::map<std::int64_t, double> needs;
    while (parts.step()) needs[parts.integer(0)] = parts.real(1);
    return needs;
}

bool CQbSimEngine::buildShort(std::int64_t buildRow, const std::string& date, std::int64_t entrySeq) {
    for (const auto& [part, quantity] : buildNeeds(buildRow))
        if (quantityOnHand(part, date, entrySeq) + kQuantityEpsilon < quantity) return true;
    return false;
}

void CQbSimEngine::pendShortBuilds(const std::string& date, std::int64_t entrySeq, std::set<std::int64_t> items) {
    if (items.empty()) return;
    struct CBuild {
        std::int64_t row;
        std::string date;
        std::int64_t entrySeq;
        std::int64_t assembly;
    };
    std::vector<CBuild> builds;
    {
        CQbSimStmt later(db, "SELECT id, txn_date, entry_seq, item_id FROM txn WHERE txn_type = 'BuildAssembly' "
                             "AND is_pending = 0 AND (txn_date > ? OR (txn_date = ? AND entry_seq > ?)) "
                             "ORDER BY txn_date, entry_seq");
        later.bind(1, date).bind(2, date).bind(3, entrySeq);
        while (later.step()) builds.push_back({later.integer(0), later.text(1), later.integer(2), later.integer(3)});
    }
    CQbSimStmt pend(db, "UPDATE txn SET is_pending = 1 WHERE id = ?");
    for (const CBuild& b : builds) {
        const auto needs = buildNeeds(b.row);
        const bool touched = std::any_of(needs.begin(), needs.end(),
                                         [&](const auto& need) { return items.count(need.first) != 0; });
        if (!touched || !buildShort(b.row, b.date, b.entrySeq)) continue;
        pend.bind(1, b.row).run();
        markTxnModified(b.row);
        // The assemblies it no longer brings in may leave a later build short in turn.
        items.insert(b.assembly);
    }
}

void CQbSimEngine::txnVoid(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const std::string type = qbsimChildText(rq, "TxnVoidType").value_or("");
    const std::string id = qbsimChildText(rq, "TxnID").value_or("");
    if (!voidable(type))
        throw qbsimstatus::invalidValue("TxnVoidType", type, "This type of transaction cannot be voided.");
    CQbSimStmt find(db, "SELECT id, txn_date, entry_seq, is_void FROM txn WHERE txn_id = ? AND txn_type = ?");
    find.bind(1, id).bind(2, type);
    if (!find.step()) throw qbsimstatus::notFound(id);
    const std::int64_t row = find.integer(0);
    const std::string date = find.text(1);
    const std::int64_t entrySeq = find.integer(2);
    if (find.integer(3) != 0)
        throw qbsimstatus::saveError(std::string(qbsimTxnKind(type).label) + " transaction",
                                     "The transaction is already void.");
    refuseClosedTxn(row, "void");
    // The stock it brought in goes; what it took out comes back.
    const std::set<std::int64_t> broughtIn = itemsMoved(row, +1);

    // Every amount goes to zero and nothing moves stock any more, but the lines keep
    // their quantities (and an adjustment line its QuantityDifference): a value
    // adjustment's difference is zero from now on.
    CQbSimStmt lines(db, "UPDATE txn_line SET amount = CASE WHEN amount IS NULL THEN NULL ELSE 0 END, "
                         "qty_delta = 0, new_value = NULL, value_difference = CASE WHEN line_kind = "
                         "'Adjustment' THEN 0 ELSE value_difference END WHERE txn_row = ?");
    lines.bind(1, row).run();
    CQbSimStmt head(db, "UPDATE txn SET is_void = 1, memo = substr('VOID:' || CASE WHEN memo IS NULL OR "
                        "memo = '' THEN '' ELSE ' ' || memo END, 1, 4095) WHERE id = ?");
    head.bind(1, row).run();
    if (type == "Charge") {
        // A statement charge answers with no memo: its description carries the mark.
        CQbSimStmt desc(db, "UPDATE txn_line SET descr = substr('VOID:' || CASE WHEN descr IS NULL OR descr = '' "
                            "THEN '' ELSE ' ' || descr END, 1, 4095) WHERE txn_row = ?");
        desc.bind(1, row).run();
    }
    recordInventoryChange(date);
    markTxnModified(row);
    pendShortBuilds(date, entrySeq, broughtIn);

    CQbSimStmt done(db, "SELECT time_created, time_modified, ref_number FROM txn WHERE id = ?");
    done.bind(1, row);
    done.step();
    out.leaf("TxnVoidType", type);
    out.leaf("TxnID", id);
    out.leaf("TimeCreated", qbsimDateTimeText(done.integer(0)));
    out.leaf("TimeModified", qbsimDateTimeText(done.integer(1)));
    out.leaf("RefNumber", done.optText(2));
}

std::int64_t CQbSimEngine::convertReceipt(const std::string& txnId, const std::optional<std::string>& date,
                                          const std::map<int, double>& amounts) {
    CQbSimStmt find(db, "SELECT id, txn_date, entry_seq, is_void FROM txn WHERE txn_id = ? AND "
                        "txn_type = 'ItemReceipt'");
    find.bind(1, txnId);
    if (!find.step()) throw qbsimstatus::notFound(txnId);
    const std::int64_t row = find.integer(0);
    const std::string oldDate = find.text(1);
    const std::int64_t entrySeq = find.integer(2);
    if (find.integer(3) != 0)
        throw qbsimstatus::saveError("Bill", "The item receipt is void; no bill can be entered for it.");
    const std::string newDate = date.value_or(oldDate);
    if (!qbsimIsDate(newDate) || qbsimDateOutOfRange(newDate)) throw qbsimstatus::invalidDate("TxnDate", newDate);
    refuseClosedTxn(row, "modify");
    refuseClosedDate(newDate, "Bill", "modify");

    if (!amounts.empty()) {
        // Item lines in the order the Ret lists them: a group's item lines follow the
        // group line, which is how they are stored.
        std::vector<std::pair<std::int64_t, std::optional<double>>> itemLines;  // (line row, quantity)
        CQbSimStmt l(db, "SELECT id, quantity FROM txn_line WHERE txn_row = ? AND line_kind = 'Item' ORDER BY seq");
        l.bind(1, row);
        while (l.step()) itemLines.emplace_back(l.integer(0), l.optReal(1));
        CQbSimStmt update(db, "UPDATE txn_line SET amount = ?, rate = ? WHERE id = ?");
        for (const auto& [number, amount] : amounts) {
            if (number < 1 || static_cast<std::size_t>(number) > itemLines.size())
                throw qbsimstatus::invalidValue("Amount", std::to_string(number),
                                                "The item receipt has no item line " + std::to_string(number) + ".");
            const auto cents = qbsimToCents(amount);
            if (!cents) throw qbsimstatus::invalidValue("Amount", qbsimPriceText(amount), "The amount is too large.");
            const auto& [lineRow, quantity] = itemLines[static_cast<std::size_t>(number - 1)];
            // An amount without a quantity keeps no cost.
            const std::optional<double> rate =
                quantity && *quantity != 0 ? std::optional<double>(static_cast<double>(*cents) / 100.0 / *quantity)
                                           : std::nullopt;
            update.bind(1, *cents).bind(2, rate).bind(3, lineRow).run();
        }
        CQbSimStmt groups(db, "UPDATE txn_line SET amount = (SELECT COALESCE(SUM(c.amount), 0) FROM txn_line c "
                              "WHERE c.group_row = txn_line.id) WHERE txn_row = ? AND line_kind = 'Group'");
        groups.bind(1, row).run();
    }
    CQbSimStmt bill(db, "UPDATE txn SET txn_type = 'Bill', txn_date = ? WHERE id = ?");
    bill.bind(1, newDate).bind(2, row).run();
    recordInventoryChange(std::min(oldDate, newDate));
    markTxnModified(row);
    // Stock received later than before is missing in between.
    if (newDate > oldDate) pendShortBuilds(oldDate, entrySeq, itemsMoved(row, +1));
    return row;
}

void CQbSimEngine::enterBillForReceivedItems(const std::string& txnId, const CQbSimBillForReceipt& bill) {
    if (bill.keepReceiptDate && !bill.date.empty())
        throw qbsimstatus::invalidValue("TxnDate", bill.date,
                                        "A bill that keeps the item receipt's date takes no other date.");
    const std::optional<std::string> date =
        bill.keepReceiptDate ? std::nullopt : std::optional<std::string>(bill.date.empty() ? qbsimToday() : bill.date);
    CQbSimTransaction txn(db);
    try {
        convertReceipt(txnId, date, bill.amounts);
        txn.commit();
    } catch (...) {
        // The ledger may have evaluated what the rollback takes back.
        valuation->reset();
        throw;
    }
}

void qbsimEnterBillForReceivedItems(const std::string& companyPath, const std::string& txnId,
                                    const CQbSimBillForReceipt& bill) {
    auto company = CQbSimCompany::open(companyPath);
    CQbSimEngine engine(*company, nullptr);
    engine.enterBillForReceivedItems(txnId, bill);
}
