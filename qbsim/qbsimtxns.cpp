// Transactions: bills, item receipts, checks, credit card charges, vendor credits,
// credit card credits, invoices, sales receipts, credit memos, statement charges,
// inventory adjustments and assembly builds. An Add reads its kind's row of the table of kinds
// (qbsimtxnkinds.h): it resolves the header's references in the order the row gives,
// prices lines the way QuickBooks fills them in (cost or rate from the item, amount
// from quantity times rate), expands item groups into their lines, and records each
// line's effect on the item's quantity on hand (the row says which way an item line
// moves stock); a transaction is stamped with a TxnID, TxnNumber and the entry sequence
// that orders transactions of the same date. Its answer is written by renderTxn
// (qbsimtxnret.cpp).
#include "qbsimengine.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace {

using Attrs = std::vector<std::pair<std::string, std::string>>;

const std::vector<std::string> kLineItemKinds = {"ItemInventory", "ItemInventoryAssembly",
                                                 "ItemNonInventory", "ItemService",
                                                 "ItemOtherCharge"};
const std::vector<std::string> kStockedKinds = {"ItemInventory", "ItemInventoryAssembly"};

std::int64_t cents(double value, const char* field) {
    const auto c = qbsimToCents(value);
    if (!c) throw qbsimstatus::invalidValue(field, qbsimPriceText(value), "The amount is too large.");
    return *c;
}

std::optional<double> optNumber(xmlNodePtr parent, const char* name) {
    const auto t = qbsimChildText(parent, name);
    if (!t || t->empty()) return std::nullopt;
    return qbsimParseNumber(*t);
}

std::optional<std::int64_t> optAmount(xmlNodePtr parent, const char* name) {
    const auto t = qbsimChildText(parent, name);
    if (!t || t->empty()) return std::nullopt;
    return qbsimParseAmount(*t);
}

// The list a header reference names an object of.
const char* nameSpaceOf(CQbSimTxnRef::Slot slot) {
    switch (slot) {
    case CQbSimTxnRef::Entity: return "Entity";
    case CQbSimTxnRef::Account: return "Account";
    case CQbSimTxnRef::Class: return "Class";
    }
    return "";
}

}  // namespace

// One line as stored; CTxnLineWriter keeps the INSERT in one place.
struct CQbSimEngine::CTxnLine {
    std::string kind;
    std::optional<std::int64_t> group;
    std::optional<std::int64_t> item;
    std::optional<std::string> descr;
    std::optional<double> quantity;
    std::optional<std::string> unit;
    std::optional<double> rate;
    std::optional<std::int64_t> amount;
    std::optional<std::int64_t> cls;
    std::optional<std::int64_t> customer;
    std::optional<std::int64_t> account;
    std::optional<std::int64_t> printItems;
    std::optional<std::string> adjKind;
    std::optional<double> newQuantity;
    std::optional<double> quantityDifference;
    std::optional<std::int64_t> newValue;
    std::optional<std::int64_t> valueDifference;
    double qtyDelta = 0;
};

class CQbSimEngine::CTxnLineWriter {
public:
    CTxnLineWriter(CQbSimDb& database, CQbSimCompany& c, std::int64_t txn)
        : db(database), company(c), txnRow(txn),
          insert(database, "INSERT INTO txn_line(txn_row, seq, group_row, line_kind, txn_line_id, "
                           "item_id, descr, quantity, unit_of_measure, rate, amount, class_id, "
                           "customer_id, account_id, print_items_in_group, adj_kind, new_quantity, "
                           "quantity_difference, new_value, value_difference, qty_delta) "
                           "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") {}

    std::int64_t add(const CTxnLine& l) {
        insert.bind(1, txnRow).bind(2, seq++).bind(3, l.group).bind(4, l.kind)
            .bind(5, company.newTxnLineId()).bind(6, l.item).bind(7, l.descr).bind(8, l.quantity)
            .bind(9, l.unit).bind(10, l.rate).bind(11, l.amount).bind(12, l.cls).bind(13, l.customer)
            .bind(14, l.account).bind(15, l.printItems).bind(16, l.adjKind).bind(17, l.newQuantity)
            .bind(18, l.quantityDifference).bind(19, l.newValue).bind(20, l.valueDifference)
            .bind(21, l.qtyDelta);
        insert.run();
        return db.lastInsertId();
    }
    // The position the next line added takes among the transaction's lines.
    void seqFrom(int position) { seq = position; }
    void setAmount(std::int64_t lineRow, std::int64_t amount) {
        CQbSimStmt update(db, "UPDATE txn_line SET amount = ? WHERE id = ?");
        update.bind(1, amount).bind(2, lineRow).run();
    }

private:
    CQbSimDb& db;
    CQbSimCompany& company;
    std::int64_t txnRow;
    CQbSimStmt insert;
    int seq = 0;
};

// A transaction's header while its Add is read.
struct CQbSimEngine::CTxnHead {
    explicit CTxnHead(const CQbSimTxnKind& k) : kind(k), where(k.label) {}
    const CQbSimTxnKind& kind;
    std::string where;  // the kind as refusals name it
    std::string date;
    std::optional<std::string> dueDate, refNumber, memo;
    std::optional<std::int64_t> entity, account, cls, item, currency;
    std::optional<double> quantity, exchangeRate;
    bool pending = false;
    std::int64_t entrySeq = 0;
    std::int64_t txnRow = 0;
};

// What an item line is priced from: the item's kind, cost and price per base unit.
struct CQbSimEngine::CItemPrices {
    std::string kind;
    double purchaseCost;
    double salesPrice;
};

std::int64_t CQbSimEngine::addOpeningBalance(std::int64_t itemRow, double quantity,
                                             std::int64_t valueCents, const std::string& date) {
    const std::int64_t account =
        ensureSpecialAccount("OpeningBalanceEquity", "Opening Balance Equity", "Equity");
    const std::int64_t t = company.now();
    CQbSimStmt add(db, "INSERT INTO txn(txn_id, txn_type, txn_number, entry_seq, txn_date, account_id, "
                       "time_created, time_modified, edit_sequence) VALUES(?, 'InventoryAdjustment', "
                       "?, ?, ?, ?, ?, ?, ?)");
    add.bind(1, company.newTxnId()).bind(2, company.nextTxnNumber())
        .bind(3, company.nextEntrySequence()).bind(4, date).bind(5, account).bind(6, t).bind(7, t)
        .bind(8, std::to_string(t)).run();
    const std::int64_t txn = db.lastInsertId();
    CTxnLineWriter lines(db, company, txn);
    CTxnLine line;
    line.kind = "Adjustment";
    line.item = itemRow;
    line.adjKind = "Value";
    line.quantityDifference = quantity;
    line.valueDifference = valueCents;
    line.qtyDelta = quantity;
    lines.add(line);
    return txn;
}

void CQbSimEngine::txnAdd(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const std::string rqName = qbsimName(rq);
    const CQbSimTxnKind& kind = qbsimTxnKind(std::string_view(rqName).substr(0, rqName.size() - 5));
    xmlNodePtr add = qbsimChild(rq, std::string(kind.type) + "Add");
    if (kind.type == std::string_view("Bill") && qbsimChild(add, "LinkToTxnID")) {
        billForLinkedReceipt(rq, add, out);
        return;
    }
    CTxnHead head(kind);
    readTxnTexts(add, head);
    if (kind.family == CQbSimTxnFamily::Build)
        resolveBuildHeader(add, head);
    else
        resolveTxnRefs(add, head);
    resolveCurrency(add, head);
    const std::string txnId = insertTxn(add, head);
    if (auto macro = qbsimAttribute(add, "defMacro")) macros[*macro] = txnId;

    CTxnLineWriter lines(db, company, head.txnRow);
    std::int64_t total = 0;
    switch (kind.family) {
    case CQbSimTxnFamily::Purchase:
    case CQbSimTxnFamily::Sale:
        total = kind.itemInHeader ? addItemLine(add, head, lines) : addItemLines(add, head, lines);
        break;
    case CQbSimTxnFamily::Adjustment: addAdjustmentLines(add, head, lines); break;
    case CQbSimTxnFamily::Build: addBuildLines(add, head, lines); break;
    }
    if (std::llabs(total) > 999999999999999LL)
        throw qbsimstatus::invalidValue("Amount", qbsimAmountText(total), "The total is too large.");
    // A back-dated transaction that takes stock out may leave later builds short.
    pendShortBuilds(head.date, head.entrySeq, itemsMoved(head.txnRow, -1));

    CRenderOptions o;
    o.includeLineItems = true;
    o.includeComponentLineItems = true;
    for (xmlNodePtr n : qbsimChildren(rq, "IncludeRetElement")) o.includeRetElements.insert(qbsimText(n));
    renderTxn(head.txnRow, o, out);
}

// The date (today when absent), due date, reference number and memo, and the closing
// date's refusal.
void CQbSimEngine::readTxnTexts(xmlNodePtr add, CTxnHead& head) {
    head.date = qbsimChildText(add, "TxnDate").value_or("");
    if (head.date.empty()) head.date = qbsimToday();
    if (qbsimDateOutOfRange(head.date)) throw qbsimstatus::invalidDate("TxnDate", head.date);
    refuseClosedDate(head.date, head.kind.type, "add");
    head.dueDate = qbsimChildText(add, "DueDate");
    if (head.dueDate && !head.dueDate->empty() && qbsimDateOutOfRange(*head.dueDate))
        throw qbsimstatus::invalidDate("DueDate", *head.dueDate);
    head.refNumber = qbsimChildText(add, "RefNumber");
    qbsimCheckLength(head.refNumber, "RefNumber", head.kind.refNumberLength);
    head.memo = qbsimChildText(add, "Memo");
    qbsimCheckLength(head.memo, "Memo", 4095);
}

void CQbSimEngine::resolveTxnRefs(xmlNodePtr add, CTxnHead& head) {
    for (const CQbSimTxnRef& ref : head.kind.refs) {
        const char* nameSpace = nameSpaceOf(ref.slot);
        const std::string& where = head.where;
        const auto row =
            ref.required ? resolveRef(qbsimChild(add, ref.tag), ref.kinds, nameSpace, ref.typeLabel, where)
                         : optionalRef(add, ref.tag, ref.kinds, nameSpace, ref.typeLabel, where);
        switch (ref.slot) {
        case CQbSimTxnRef::Entity: head.entity = row; break;
        case CQbSimTxnRef::Class: head.cls = row; break;
        case CQbSimTxnRef::Account: head.account = allowedAccount(ref, row, where); break;
        }
    }
    if (head.kind.family == CQbSimTxnFamily::Sale)
        head.pending = qbsimParseBool(qbsimChildText(add, "IsPending").value_or("false"));
    if ((head.kind.family == CQbSimTxnFamily::Adjustment || head.kind.itemInHeader) &&
        qbsimChild(add, "InventorySiteRef"))
        throw qbsimstatus::featureNotEnabled();
}

// The account a header reference named, refused when of a type the reference does not
// allow; the account QuickBooks uses when none was named.
std::optional<std::int64_t> CQbSimEngine::allowedAccount(const CQbSimTxnRef& ref,
                                                         std::optional<std::int64_t> row,
                                                         const std::string& where) {
    const auto& allowed = ref.accountTypes;
    if (row && !allowed.empty() &&
        std::find(allowed.begin(), allowed.end(), accountType(*row)) == allowed.end())
        throw qbsimstatus::invalidReference("Account", listRow(*row)->fullName, where);
    if (!row && ref.fallback)
        return ensureSpecialAccount(ref.fallback->special, ref.fallback->name, ref.fallback->accountType);
    return row;
}

void CQbSimEngine::resolveBuildHeader(xmlNodePtr add, CTxnHead& head) {
    head.item = resolveRef(qbsimChild(add, "ItemInventoryAssemblyRef"), {"ItemInventoryAssembly"}, "Item",
                           "Item", head.where);
    head.quantity = optNumber(add, "QuantityToBuild");
    if (!head.quantity || *head.quantity <= 0)
        throw qbsimstatus::invalidValue("QuantityToBuild",
                                        qbsimChildText(add, "QuantityToBuild").value_or(""),
                                        "The quantity to build must be greater than zero.");
    if (qbsimChild(add, "InventorySiteRef") || qbsimChild(add, "SerialNumber") ||
        qbsimChild(add, "LotNumber"))
        throw qbsimstatus::featureNotEnabled();
}

// The transaction is in its vendor's or customer's currency.
void CQbSimEngine::resolveCurrency(xmlNodePtr add, CTxnHead& head) {
    const auto rateText = qbsimChildText(add, "ExchangeRate");
    if (!company.multiCurrency()) {
        if (rateText && !rateText->empty() && qbsimParseNumber(*rateText) != 1.0)
            throw qbsimstatus::featureNotEnabled();
        return;
    }
    if (head.entity) {
        CQbSimStmt c(db, "SELECT currency_id FROM entity WHERE id = ?");
        c.bind(1, *head.entity);
        if (c.step()) head.currency = c.optInteger(0);
    }
    if (!head.currency) {
        const std::string home = company.setting("homeCurrency");
        if (auto h = findList("Currency", nullptr, &home)) head.currency = h->row;
    }
    head.exchangeRate = rateText && !rateText->empty() ? qbsimParseNumber(*rateText) : 1.0;
    if (!(*head.exchangeRate > 0) || *head.exchangeRate > 1e9)
        throw qbsimstatus::invalidValue("ExchangeRate", rateText.value_or(""),
                                        "The exchange rate must be a positive number.");
}

// Writes the header row; returns the new TxnID.
std::string CQbSimEngine::insertTxn(xmlNodePtr add, CTxnHead& head) {
    head.entrySeq = company.nextEntrySequence();
    const std::int64_t t = company.now();
    CQbSimStmt insert(db, "INSERT INTO txn(txn_id, txn_type, txn_number, entry_seq, txn_date, "
                          "ref_number, memo, entity_id, account_id, class_id, currency_id, "
                          "exchange_rate, is_pending, due_date, item_id, quantity, external_guid, "
                          "time_created, time_modified, edit_sequence) VALUES(?, ?, ?, ?, ?, ?, ?, "
                          "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const std::string txnId = company.newTxnId();
    const auto& due = head.dueDate;
    insert.bind(1, txnId).bind(2, head.kind.type).bind(3, company.nextTxnNumber())
        .bind(4, head.entrySeq).bind(5, head.date).bind(6, head.refNumber).bind(7, head.memo)
        .bind(8, head.entity).bind(9, head.account).bind(10, head.cls).bind(11, head.currency)
        .bind(12, head.exchangeRate).bind(13, head.pending ? 1 : 0)
        .bind(14, due && !due->empty() ? due : std::nullopt).bind(15, head.item).bind(16, head.quantity)
        .bind(17, qbsimChildText(add, "ExternalGUID")).bind(18, t).bind(19, t).bind(20, std::to_string(t));
    insert.run();
    head.txnRow = db.lastInsertId();
    return txnId;
}

// The base-unit factor of a line's unit of measure for the item.
double CQbSimEngine::unitFactor(std::int64_t itemRow, const std::optional<std::string>& unit,
                                const std::string& where) {
    if (!unit || unit->empty()) return 1.0;
    if (!company.unitsOfMeasure()) throw qbsimstatus::featureNotEnabled();
    CQbSimStmt u(db, "SELECT uu.conversion_ratio FROM item i JOIN uom_unit uu ON uu.set_id = "
                     "i.uom_set_id WHERE i.id = ? AND (uu.name = ? OR uu.abbreviation = ?)");
    u.bind(1, itemRow).bind(2, *unit).bind(3, *unit);
    if (!u.step()) throw qbsimstatus::invalidReference("Unit Of Measure", *unit, where + " line");
    return u.real(0);
}

CQbSimEngine::CItemPrices CQbSimEngine::itemPrices(std::int64_t itemRow) {
    CQbSimStmt s(db, "SELECT lo.kind, i.single_account, i.purchase_cost, i.sales_price, i.price "
                     "FROM list_object lo JOIN item i ON i.id = lo.id WHERE lo.id = ?");
    s.bind(1, itemRow);
    s.step();
    const bool single = s.integer(1) != 0;
    return CItemPrices{s.text(0), single ? s.optReal(4).value_or(0) : s.optReal(2).value_or(0),
                       single ? s.optReal(4).value_or(0) : s.optReal(3).value_or(0)};
}

namespace {

// A priced item line: amount = quantity x rate unless given, rate = amount / quantity
// when only the amount is given.
template <class Line>
void priceLine(Line& line, xmlNodePtr node, const char* rateTag, double defaultRate) {
    line.quantity = optNumber(node, "Quantity");
    line.rate = optNumber(node, rateTag);
    line.amount = optAmount(node, "Amount");
    if (!line.amount) {
        if (!line.rate) line.rate = defaultRate;
        line.amount = cents(line.quantity.value_or(1.0) * *line.rate, "Amount");
    } else if (!line.rate) {
        const double q = line.quantity.value_or(1.0);
        line.rate = q != 0 ? static_cast<double>(*line.amount) / 100.0 / q : 0.0;
    }
}

}  // namespace

// The expense, item and group lines of a purchase or sale, in document order; returns
// their total.
std::int64_t CQbSimEngine::addItemLines(xmlNodePtr add, const CTxnHead& head, CTxnLineWriter& lines) {
    std::int64_t total = 0;
    for (xmlNodePtr node : qbsimElements(add)) {
        const std::string name = qbsimName(node);
        if (name == "ExpenseLineAdd")
            total += addExpenseLine(node, head, lines);
        else if (name == head.kind.lineAdd)
            total += addItemLine(node, head, lines);
        else if (name == head.kind.groupAdd)
            total += addGroupLine(node, head, lines);
    }
    return total;
}

std::int64_t CQbSimEngine::addExpenseLine(xmlNodePtr node, const CTxnHead& head, CTxnLineWriter& lines) {
    const std::string where = head.where + " line";
    CTxnLine line;
    line.kind = "Expense";
    line.account = resolveRef(qbsimChild(node, "AccountRef"), {"Account"}, "Account", "Account", where);
    line.amount = optAmount(node, "Amount").value_or(0);
    line.descr = qbsimChildText(node, "Memo");
    line.customer = optionalRef(node, "CustomerRef", {"Customer"}, "Entity", "Customer", where);
    line.cls = optionalRef(node, "ClassRef", {"Class"}, "Class", "Class", where);
    lines.add(line);
    return *line.amount;
}

// A sale's line is priced from the item's sales price, a purchase's from its cost; a
// purchase's line may name the customer it is bought for.
std::int64_t CQbSimEngine::addItemLine(xmlNodePtr node, const CTxnHead& head, CTxnLineWriter& lines) {
    const bool sale = head.kind.family == CQbSimTxnFamily::Sale;
    const std::string where = head.where + " line";
    CTxnLine line;
    line.kind = "Item";
    line.item = resolveRef(qbsimChild(node, "ItemRef"), kLineItemKinds, "Item", "Item", where);
    const CItemPrices info = itemPrices(*line.item);
    line.descr = qbsimChildText(node, "Desc");
    line.unit = qbsimChildText(node, "UnitOfMeasure");
    // The item's price and cost are per base unit; a line in another unit is priced per
    // that unit, as QuickBooks' forms price it.
    const double factor = unitFactor(*line.item, line.unit, head.where);
    priceLine(line, node, head.kind.rateTag, (sale ? info.salesPrice : info.purchaseCost) * factor);
    if (sale && qbsimChild(node, "RatePercent")) line.rate.reset();
    line.cls = optionalRef(node, "ClassRef", {"Class"}, "Class", "Class", where);
    if (!sale) line.customer = optionalRef(node, "CustomerRef", {"Customer"}, "Entity", "Customer", where);
    if (qbsimIsStocked(info.kind) && line.quantity)
        line.qtyDelta = head.kind.stockSign * *line.quantity * factor;
    lines.add(line);
    return *line.amount;
}

// A group line and, under it, the group's items at their cost or price times the
// group's quantity; returns the group's total.
std::int64_t CQbSimEngine::addGroupLine(xmlNodePtr node, const CTxnHead& head, CTxnLineWriter& lines) {
    const bool sale = head.kind.family == CQbSimTxnFamily::Sale;
    const std::int64_t group = resolveRef(qbsimChild(node, "ItemGroupRef"), {"ItemGroup"}, "Item",
                                          "Item Group", head.where + " line");
    CTxnLine groupLine;
    groupLine.kind = "Group";
    groupLine.item = group;
    groupLine.descr = qbsimChildText(node, "Desc");
    groupLine.quantity = optNumber(node, "Quantity");
    groupLine.unit = qbsimChildText(node, "UnitOfMeasure");
    CQbSimStmt print(db, "SELECT print_items_in_group FROM item WHERE id = ?");
    print.bind(1, group);
    print.step();
    groupLine.printItems = print.optInteger(0).value_or(0);
    const std::int64_t groupRow = lines.add(groupLine);
    const double groupQuantity = groupLine.quantity.value_or(1.0);
    std::int64_t groupTotal = 0;
    CQbSimStmt parts(db, "SELECT component_id, quantity, unit_of_measure FROM "
                         "item_component WHERE item_id = ? ORDER BY seq");
    parts.bind(1, group);
    while (parts.step()) {
        CTxnLine line;
        line.kind = "Item";
        line.group = groupRow;
        line.item = parts.integer(0);
        line.unit = parts.optText(2);
        const CItemPrices info = itemPrices(*line.item);
        line.quantity = parts.real(1) * groupQuantity;
        const double factor = unitFactor(*line.item, line.unit, head.where);
        line.rate = (sale ? info.salesPrice : info.purchaseCost) * factor;
        line.amount = cents(*line.quantity * *line.rate, "Amount");
        line.cls = groupLine.cls;
        if (qbsimIsStocked(info.kind)) line.qtyDelta = head.kind.stockSign * *line.quantity * factor;
        groupTotal += *line.amount;
        lines.add(line);
    }
    lines.setAmount(groupRow, groupTotal);
    return groupTotal;
}

void CQbSimEngine::addAdjustmentLines(xmlNodePtr add, const CTxnHead& head, CTxnLineWriter& lines) {
    // What this adjustment's earlier lines moved, by item. The quantity on hand just
    // before a line (the quantity before this adjustment plus those moves) is only
    // needed for a NewQuantity, so it is only read then: value adjustments, a
    // valuation run's hundreds a day, need no sum over the item's history.
    std::map<std::int64_t, double> moved;
    for (xmlNodePtr node : qbsimChildren(add, head.kind.lineAdd)) {
        CTxnLine line;
        line.kind = "Adjustment";
        line.item =
            resolveRef(qbsimChild(node, "ItemRef"), kStockedKinds, "Item", "Item", head.where + " line");
        xmlNodePtr q = qbsimChild(node, "QuantityAdjustment");
        xmlNodePtr v = qbsimChild(node, "ValueAdjustment");
        if (!q && !v) throw qbsimstatus::featureNotEnabled();  // serial and lot numbers
        xmlNodePtr adj = q ? q : v;
        if (q && (qbsimChild(q, "SerialNumber") || qbsimChild(q, "LotNumber") ||
                  qbsimChild(q, "InventorySiteLocationRef")))
            throw qbsimstatus::featureNotEnabled();
        line.adjKind = q ? "Quantity" : "Value";
        line.newQuantity = optNumber(adj, "NewQuantity");
        line.quantityDifference = optNumber(adj, "QuantityDifference");
        if (line.newQuantity) {
            const double before = quantityOnHand(*line.item, head.date, head.entrySeq) + moved[*line.item];
            line.quantityDifference = *line.newQuantity - before;
        }
        if (!line.quantityDifference) line.quantityDifference = 0.0;
        line.newValue = optAmount(adj, "NewValue");
        line.valueDifference = optAmount(adj, "ValueDifference");
        line.qtyDelta = *line.quantityDifference;
        moved[*line.item] += line.qtyDelta;
        lines.add(line);
    }
}

// The components a build takes out and the assemblies it brings in. A build short of
// parts is refused, or kept pending when the request allows it.
void CQbSimEngine::addBuildLines(xmlNodePtr add, const CTxnHead& head, CTxnLineWriter& lines) {
    const bool markPending =
        qbsimParseBool(qbsimChildText(add, "MarkPendingIfRequired").value_or("false"));
    std::map<std::int64_t, double> onHand;
    std::vector<CTxnLine> components;
    bool shortOfParts = false;
    CQbSimStmt parts(db, "SELECT ic.component_id, ic.quantity, lo.kind FROM item_component ic "
                         "JOIN list_object lo ON lo.id = ic.component_id WHERE ic.item_id = ? "
                         "ORDER BY ic.seq");
    parts.bind(1, *head.item);
    while (parts.step()) {
        CTxnLine line;
        line.kind = "Component";
        line.item = parts.integer(0);
        line.quantity = parts.real(1) * *head.quantity;
        if (qbsimIsStocked(parts.text(2))) {
            if (!onHand.count(*line.item))
                onHand[*line.item] = quantityOnHand(*line.item, head.date, head.entrySeq);
            if (onHand[*line.item] + 1e-9 < *line.quantity) shortOfParts = true;
            onHand[*line.item] -= *line.quantity;
            line.qtyDelta = -*line.quantity;
        }
        components.push_back(line);
    }
    if (shortOfParts) {
        if (!markPending)
            throw qbsimstatus::saveError(
                "Build Assembly transaction",
                "There are not enough components on hand to build the quantity specified.");
        CQbSimStmt mark(db, "UPDATE txn SET is_pending = 1 WHERE id = ?");
        mark.bind(1, head.txnRow).run();
    }
    for (const auto& c : components) lines.add(c);
    CTxnLine built;
    built.kind = "Built";
    built.item = head.item;
    built.quantity = head.quantity;
    built.qtyDelta = *head.quantity;
    lines.add(built);
}

void CQbSimEngine::txnDel(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const std::string type = qbsimChildText(rq, "TxnDelType").value_or("");
    const std::string id = qbsimChildText(rq, "TxnID").value_or("");
    CQbSimStmt find(db, "SELECT id, ref_number, time_created FROM txn WHERE txn_id = ? AND txn_type = ?");
    find.bind(1, id).bind(2, type);
    if (!find.step()) throw qbsimstatus::notFound(id);
    const std::int64_t row = find.integer(0);
    refuseClosedTxn(row, "delete");
    const auto refNumber = find.optText(1);
    // The stock it brought in goes with it, which may leave later builds short.
    const std::set<std::int64_t> broughtIn = itemsMoved(row, +1);
    std::string date;
    std::int64_t entrySeq = 0;
    {
        CQbSimStmt when(db, "SELECT txn_date, entry_seq FROM txn WHERE id = ?");
        when.bind(1, row);
        when.step();
        date = when.text(0);
        entrySeq = when.integer(1);
    }
    const std::int64_t deletedAt = company.now();
    CQbSimStmt lineIds(db, "SELECT txn_line_id FROM txn_line WHERE txn_row = ?");
    lineIds.bind(1, row);
    while (lineIds.step()) deleteDataExtOf("TxnLine", lineIds.text(0));
    deleteDataExtOf("Txn", id);
    CQbSimStmt log(db, "INSERT INTO txn_deleted(txn_type, txn_id, ref_number, time_created, time_deleted) "
                       "VALUES(?, ?, ?, ?, ?)");
    log.bind(1, type).bind(2, id).bind(3, refNumber).bind(4, find.integer(2)).bind(5, deletedAt).run();
    CQbSimStmt del(db, "DELETE FROM txn WHERE id = ?");
    del.bind(1, row).run();
    pendShortBuilds(date, entrySeq, broughtIn);
    out.leaf("TxnDelType", type);
    out.leaf("TxnID", id);
    out.leaf("TimeDeleted", qbsimDateTimeText(deletedAt));
    out.leaf("RefNumber", refNumber);
}

void CQbSimEngine::txnDeletedQuery(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    deletionLogQuery(rq, out,
                     {"txn_deleted", "txn_type, txn_id, time_created, time_deleted, ref_number", "TxnDelType",
                      "TxnDeletedRet", "TxnID", "RefNumber"});
}

void CQbSimEngine::deletionLogQuery(xmlNodePtr rq, CQbSimXmlWriter& out, const CDeletionLog& log) {
    const auto types = qbsimChildren(rq, log.typeElement);
    const std::string columns = log.columns;
    std::string sql = "SELECT " + columns + " FROM " + log.table + " WHERE " +
                      columns.substr(0, columns.find(',')) + " IN (";
    for (std::size_t i = 0; i < types.size(); ++i) sql += i ? ", ?" : "?";
    // QuickBooks lists what was deleted in the last 90 days only.
    sql += ") AND time_deleted >= ?";
    const auto [from, to] =
        qbsimDateTimeRange(qbsimChild(rq, "DeletedDateRangeFilter"), "FromDeletedDate", "ToDeletedDate");
    if (from) sql += " AND time_deleted >= ?";
    if (to) sql += " AND time_deleted <= ?";
    CQbSimStmt select(db, sql + " ORDER BY seq");
    int index = 1;
    for (xmlNodePtr t : types) select.bind(index++, qbsimText(t));
    select.bind(index++, company.now() - kDeletionsListedSeconds);
    if (from) select.bind(index++, *from);
    if (to) select.bind(index++, *to);
    const CRenderOptions o = renderOptions(rq);
    bool found = false;
    while (select.step()) {
        found = true;
        out.beginRet(log.retName, &o.includeRetElements);
        out.leaf(log.typeElement, select.text(0));
        out.leaf(log.idElement, select.text(1));
        out.leaf("TimeCreated", qbsimDateTimeText(select.integer(2)));
        out.leaf("TimeDeleted", qbsimDateTimeText(select.integer(3)));
        out.leaf(log.nameElement, select.optText(4));
        out.endRet();
    }
    if (!found) throw qbsimstatus::noMatch();
}

void CQbSimEngine::markTxnModified(std::int64_t txnRow) {
    CQbSimStmt current(db, "SELECT edit_sequence FROM txn WHERE id = ?");
    current.bind(1, txnRow);
    if (!current.step()) return;
    const std::int64_t t = nextEditTime(current.text(0));
    CQbSimStmt update(db, "UPDATE txn SET time_modified = ?, edit_sequence = ? WHERE id = ?");
    update.bind(1, t).bind(2, std::to_string(t)).bind(3, txnRow).run();
}

void CQbSimEngine::invoiceMod(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    xmlNodePtr mod = qbsimChild(rq, "InvoiceMod");
    const std::string id = qbsimChildText(mod, "TxnID").value_or("");
    CQbSimStmt find(db, "SELECT id, edit_sequence, txn_date FROM txn WHERE txn_id = ? AND txn_type = 'Invoice'");
    find.bind(1, id);
    if (!find.step()) throw qbsimstatus::notFound(id);
    const std::int64_t row = find.integer(0);
    const std::string sequence = qbsimChildText(mod, "EditSequence").value_or("");
    if (sequence != find.text(1)) throw qbsimstatus::staleEditSequence(sequence);

    // The stand-in changes these fields; it refuses a Mod of any other (the customer,
    // the lines ...) rather than answering as if the change had been made.
    static const std::set<std::string> fields = {"TxnID", "EditSequence", "TxnDate", "RefNumber", "Memo"};
    for (xmlNodePtr field : qbsimElements(mod))
        if (!fields.count(qbsimName(field)))
            throw qbsimstatus::invalidValue(qbsimName(field), qbsimText(field),
                                            "The stand-in does not change this field.");
    const auto date = qbsimChildText(mod, "TxnDate");
    if (date && (date->empty() || qbsimDateOutOfRange(*date)))
        throw qbsimstatus::invalidDate("TxnDate", *date);
    refuseClosedTxn(row, "modify");
    if (date) refuseClosedDate(*date, "Invoice", "modify");
    const auto refNumber = qbsimChildText(mod, "RefNumber");
    qbsimCheckLength(refNumber, "RefNumber", qbsimTxnKind("Invoice").refNumberLength);
    const auto memo = qbsimChildText(mod, "Memo");
    qbsimCheckLength(memo, "Memo", 4095);

    // A new date is logged in inventory_change by the txn_changed trigger, from the
    // earlier of the two dates, so the ledger evaluates again from there before it
    // answers. An unchanged date is not written, so it costs no evaluation.
    const std::string oldDate = find.text(2);
    if (date && *date != oldDate) {
        CQbSimStmt move(db, "UPDATE txn SET txn_date = ? WHERE id = ?");
        move.bind(1, *date).bind(2, row).run();
        // Sold earlier than before: the builds in between may be short now.
        if (*date < oldDate) pendShortBuilds(*date, -1, itemsMoved(row, -1));
    }
    // An empty RefNumber or Memo clears the field.
    if (refNumber) {
        CQbSimStmt update(db, "UPDATE txn SET ref_number = NULLIF(?, '') WHERE id = ?");
        update.bind(1, *refNumber).bind(2, row).run();
    }
    if (memo) {
        CQbSimStmt update(db, "UPDATE txn SET memo = NULLIF(?, '') WHERE id = ?");
        update.bind(1, *memo).bind(2, row).run();
    }
    markTxnModified(row);
    CRenderOptions o;
    o.includeLineItems = true;
    for (xmlNodePtr n : qbsimChildren(rq, "IncludeRetElement")) o.includeRetElements.insert(qbsimText(n));
    renderTxn(row, o, out);
}

void CQbSimEngine::buildAssemblyMod(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    xmlNodePtr mod = qbsimChild(rq, "BuildAssemblyMod");
    const std::string id = qbsimChildText(mod, "TxnID").value_or("");
    CQbSimStmt find(db, "SELECT id, edit_sequence, txn_date, entry_seq, item_id, is_pending "
                        "FROM txn WHERE txn_id = ? AND txn_type = 'BuildAssembly'");
    find.bind(1, id);
    if (!find.step()) throw qbsimstatus::notFound(id);
    const std::int64_t row = find.integer(0);
    const std::string sequence = qbsimChildText(mod, "EditSequence").value_or("");
    if (sequence != find.text(1)) throw qbsimstatus::staleEditSequence(sequence);
    const std::string oldDate = find.text(2);
    const std::int64_t entrySeq = find.integer(3);
    const std::int64_t assembly = find.integer(4);
    const bool pending = find.integer(5) != 0;
    refuseClosedDate(oldDate, "BuildAssembly", "modify");
    for (const char* fixed : {"QuantityToBuild", "ItemInventoryAssemblyRef"})
        if (auto text = qbsimChildText(mod, fixed); text && !text->empty())
            throw qbsimstatus::invalidValue(fixed, *text,
                                            "Changing the assembly or quantity of a build is not supported.");
    const auto newDate = qbsimChildText(mod, "TxnDate");
    if (newDate && (newDate->empty() || qbsimDateOutOfRange(*newDate)))
        throw qbsimstatus::invalidDate("TxnDate", *newDate);
    const std::string date = newDate.value_or(oldDate);
    refuseClosedDate(date, "BuildAssembly", "modify");
    const auto refNumber = qbsimChildText(mod, "RefNumber");
    qbsimCheckLength(refNumber, "RefNumber", qbsimTxnKind("BuildAssembly").refNumberLength);
    const auto memo = qbsimChildText(mod, "Memo");
    qbsimCheckLength(memo, "Memo", 4095);
    const bool removePending = qbsimParseBool(qbsimChildText(mod, "RemovePending").value_or("false"));
    const bool markPending = qbsimParseBool(qbsimChildText(mod, "MarkPendingIfRequired").value_or("false"));

    // Moved first, so that what it needs is counted just before it at its new date.
    if (date != oldDate) {
        CQbSimStmt move(db, "UPDATE txn SET txn_date = ? WHERE id = ?");
        move.bind(1, date).bind(2, row).run();
    }
    // A build posts only when the components it needs are on hand just before it: a
    // pending one taken off pending is refused otherwise, and a finalised one moved to
    // such a date is refused, or turned pending when the request allows it.
    bool nowPending = pending && !removePending;
    if (!nowPending && (pending || date != oldDate) && buildShort(row, date, entrySeq)) {
        if (pending || !markPending)
            throw qbsimstatus::saveError("Build Assembly transaction",
                                         "There are not enough components on hand to build the quantity specified.");
        nowPending = true;
    }
    const std::int64_t t = nextEditTime(sequence);
    CQbSimStmt update(db, "UPDATE txn SET is_pending = ?, ref_number = COALESCE(?, ref_number), "
                          "memo = COALESCE(?, memo), time_modified = ?, edit_sequence = ? WHERE id = ?");
    update.bind(1, nowPending ? 1 : 0).bind(2, refNumber).bind(3, memo).bind(4, t)
        .bind(5, std::to_string(t)).bind(6, row).run();
    if (date != oldDate || nowPending != pending) {
        // What it takes and brings in moved: later builds may be short now.
        std::set<std::int64_t> moved;
        for (const auto& [part, quantity] : buildNeeds(row)) moved.insert(part);
        moved.insert(assembly);
        pendShortBuilds(std::min(date, oldDate), -1, moved);
    }
    CRenderOptions o;
    o.includeComponentLineItems = true;
    for (xmlNodePtr n : qbsimChildren(rq, "IncludeRetElement")) o.includeRetElements.insert(qbsimText(n));
    renderTxn(row, o, out);
}

void CQbSimEngine::inventoryAdjustmentMod(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    xmlNodePtr mod = qbsimChild(rq, "InventoryAdjustmentMod");
    const CQbSimTxnKind& kind = qbsimTxnKind("InventoryAdjustment");
    const std::string where = kind.label;
    const std::string id = qbsimChildText(mod, "TxnID").value_or("");
    CQbSimStmt find(db, "SELECT id, edit_sequence, txn_date, is_void FROM txn WHERE txn_id = ? AND "
                        "txn_type = 'InventoryAdjustment'");
    find.bind(1, id);
    if (!find.step()) throw qbsimstatus::notFound(id);
    const std::int64_t row = find.integer(0);
    const std::string sequence = qbsimChildText(mod, "EditSequence").value_or("");
    if (sequence != find.text(1)) throw qbsimstatus::staleEditSequence(sequence);
    const std::string oldDate = find.text(2);
    const bool voided = find.integer(3) != 0;
    if (qbsimChild(mod, "InventorySiteRef")) throw qbsimstatus::featureNotEnabled();
    const auto newDate = qbsimChildText(mod, "TxnDate");
    if (newDate && (newDate->empty() || qbsimDateOutOfRange(*newDate)))
        throw qbsimstatus::invalidDate("TxnDate", *newDate);
    const std::string date = newDate.value_or(oldDate);
    refuseClosedTxn(row, "modify");
    refuseClosedDate(date, kind.type, "modify");
    const auto refNumber = qbsimChildText(mod, "RefNumber");
    qbsimCheckLength(refNumber, "RefNumber", kind.refNumberLength);
    const auto memo = qbsimChildText(mod, "Memo");
    qbsimCheckLength(memo, "Memo", 4095);
    const auto account = optionalRef(mod, "AccountRef", {"Account"}, "Account", "Account", where);
    const auto customer = optionalRef(mod, "CustomerRef", {"Customer"}, "Entity", "Customer", where);
    const auto cls = optionalRef(mod, "ClassRef", {"Class"}, "Class", "Class", where);

    std::set<std::int64_t> items;  // every item the adjustment moved or moves now
    {
        CQbSimStmt before(db, "SELECT DISTINCT item_id FROM txn_line WHERE txn_row = ?");
        before.bind(1, row);
        while (before.step()) items.insert(before.integer(0));
    }
    const auto lineMods = qbsimChildren(mod, "InventoryAdjustmentLineMod");
    if (!lineMods.empty()) {
        if (voided) throw qbsimstatus::saveError("Inventory Adjustment transaction", "The transaction is void.");
        modAdjustmentLines(row, lineMods, where, items);
    }

    if (date != oldDate) {
        CQbSimStmt move(db, "UPDATE txn SET txn_date = ? WHERE id = ?");
        move.bind(1, date).bind(2, row).run();
    }
    // An empty RefNumber or Memo clears the field.
    CQbSimStmt header(db, "UPDATE txn SET ref_number = CASE WHEN ? THEN NULLIF(?, '') ELSE ref_number END, "
                          "memo = CASE WHEN ? THEN NULLIF(?, '') ELSE memo END, account_id = COALESCE(?, account_id), "
                          "entity_id = COALESCE(?, entity_id), class_id = COALESCE(?, class_id) WHERE id = ?");
    header.bind(1, refNumber ? 1 : 0).bind(2, refNumber.value_or("")).bind(3, memo ? 1 : 0)
        .bind(4, memo.value_or("")).bind(5, account).bind(6, customer).bind(7, cls).bind(8, row).run();
    recordInventoryChange(std::min(date, oldDate));
    markTxnModified(row);
    pendShortBuilds(std::min(date, oldDate), -1, items);
    CRenderOptions o;
    o.includeLineItems = true;
    for (xmlNodePtr n : qbsimChildren(rq, "IncludeRetElement")) o.includeRetElements.insert(qbsimText(n));
    renderTxn(row, o, out);
}

// The lines of an InventoryAdjustmentMod, as qbXML modifies lines: the lines listed are
// the adjustment's lines from now on, in that order. A listed TxnLineID keeps its line
// and changes what the Mod gives (a ValueDifference makes it a value adjustment of that
// difference; a QuantityDifference alone changes its quantity), TxnLineID -1 adds a line,
// and a line not listed is deleted.
void CQbSimEngine::modAdjustmentLines(std::int64_t txnRow, const std::vector<xmlNodePtr>& lineMods,
                                      const std::string& where, std::set<std::int64_t>& items) {
    std::map<std::string, std::int64_t> existing;  // TxnLineID -> line row
    {
        CQbSimStmt l(db, "SELECT txn_line_id, id FROM txn_line WHERE txn_row = ?");
        l.bind(1, txnRow);
        while (l.step()) existing.emplace(l.text(0), l.integer(1));
    }
    std::set<std::string> kept;
    CTxnLineWriter writer(db, company, txnRow);
    CQbSimStmt keep(db, "UPDATE txn_line SET seq = ?, item_id = ?, adj_kind = ?, new_quantity = NULL, "
                        "quantity_difference = ?, qty_delta = ?, new_value = CASE WHEN ? THEN NULL ELSE new_value END, "
                        "value_difference = ? WHERE id = ?");
    int position = 0;
    for (xmlNodePtr node : lineMods) {
        const std::string lineId = qbsimChildText(node, "TxnLineID").value_or("");
        if (qbsimChild(node, "SerialNumber") || qbsimChild(node, "LotNumber") ||
            qbsimChild(node, "InventorySiteLocationRef"))
            throw qbsimstatus::featureNotEnabled();
        const auto quantity = optNumber(node, "QuantityDifference");
        const auto value = optAmount(node, "ValueDifference");
        const bool isNew = lineId == "-1";
        if (!isNew && !existing.count(lineId)) throw qbsimstatus::notFound(lineId);
        if (isNew && !quantity && !value)
            throw qbsimstatus::invalidValue("QuantityDifference", "",
                                            "A new line needs a QuantityDifference or a ValueDifference.");
        std::optional<std::int64_t> item;
        if (xmlNodePtr itemRef = qbsimChild(node, "ItemRef"); itemRef || isNew)
            item = resolveRef(itemRef, kStockedKinds, "Item", "Item", where + " line");
        if (isNew) {
            CTxnLine line;
            line.kind = "Adjustment";
            line.item = item;
            line.adjKind = value ? "Value" : "Quantity";
            line.quantityDifference = quantity.value_or(0);
            line.valueDifference = value;
            line.qtyDelta = quantity.value_or(0);
            writer.seqFrom(position++);
            writer.add(line);
            items.insert(*item);
            continue;
        }
        kept.insert(lineId);
        const std::int64_t lineRow = existing.at(lineId);
        CQbSimStmt current(db, "SELECT item_id, adj_kind, quantity_difference, value_difference FROM txn_line "
                               "WHERE id = ?");
        current.bind(1, lineRow);
        current.step();
        const std::int64_t newItem = item.value_or(current.integer(0));
        const double newQuantity = quantity.value_or(current.optReal(2).value_or(0));
        keep.bind(1, position++).bind(2, newItem).bind(3, value ? std::string("Value") : current.text(1))
            .bind(4, newQuantity).bind(5, newQuantity).bind(6, value ? 1 : 0)
            .bind(7, value ? value : current.optInteger(3)).bind(8, lineRow).run();
        items.insert(newItem);
    }
    CQbSimStmt drop(db, "DELETE FROM txn_line WHERE id = ?");
    for (const auto& [lineId, lineRow] : existing) {
        if (kept.count(lineId)) continue;
        deleteDataExtOf("TxnLine", lineId);
        drop.bind(1, lineRow).run();
    }
}

void CQbSimEngine::billForLinkedReceipt(xmlNodePtr rq, xmlNodePtr add, CQbSimXmlWriter& out) {
    const auto links = qbsimChildren(add, "LinkToTxnID");
    // Each link must name a transaction there is; the stand-in enters a bill for one
    // item receipt at a time and adds no lines of the request to it.
    for (xmlNodePtr link : links) {
        CQbSimStmt exists(db, "SELECT 1 FROM txn WHERE txn_id = ?");
        exists.bind(1, qbsimText(link));
        if (!exists.step()) throw qbsimstatus::notFound(qbsimText(link));
    }
    if (links.size() > 1)
        throw qbsimstatus::invalidValue("LinkToTxnID", qbsimText(links[1]),
                                        "A bill is entered for one item receipt at a time.");
    for (const char* line : {"ExpenseLineAdd", "ItemLineAdd", "ItemGroupLineAdd"})
        if (qbsimChild(add, line))
            throw qbsimstatus::invalidValue(line, "", "A bill for received items takes the item receipt's lines.");
    const std::string receiptId = qbsimText(links[0]);
    CTxnHead head(qbsimTxnKind("Bill"));
    readTxnTexts(add, head);
    const std::int64_t vendor =
        resolveRef(qbsimChild(add, "VendorRef"), {"Vendor"}, "Entity", "Vendor", head.where);
    {
        CQbSimStmt receipt(db, "SELECT entity_id FROM txn WHERE txn_id = ? AND txn_type = 'ItemReceipt'");
        receipt.bind(1, receiptId);
        if (!receipt.step()) throw qbsimstatus::notFound(receiptId);
        if (receipt.optInteger(0) != vendor)
            throw qbsimstatus::invalidReference("Vendor", listRow(vendor)->fullName, head.where);
    }
    const std::int64_t row = convertReceipt(receiptId, head.date, {});
    // The request's reference number, memo and due date replace the receipt's.
    CQbSimStmt texts(db, "UPDATE txn SET ref_number = COALESCE(?, ref_number), memo = COALESCE(?, memo), "
                         "due_date = COALESCE(?, due_date) WHERE id = ?");
    texts.bind(1, head.refNumber).bind(2, head.memo)
        .bind(3, head.dueDate && !head.dueDate->empty() ? head.dueDate : std::nullopt).bind(4, row).run();
    CRenderOptions o;
    o.includeLineItems = true;
    for (xmlNodePtr n : qbsimChildren(rq, "IncludeRetElement")) o.includeRetElements.insert(qbsimText(n));
    renderTxn(row, o, out);
}
