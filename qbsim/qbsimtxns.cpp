// Transactions: bills, item receipts, checks, credit card charges, vendor credits,
// credit card credits, invoices, sales receipts, credit memos, inventory adjustments
// and assembly builds. An Add resolves every reference first, prices lines the way
// QuickBooks fills them in (cost or rate from the item, amount from quantity times
// rate), expands item groups into their lines, and records each line's effect on the
// item's quantity on hand (a credit's lines take stock out); a transaction is
// stamped with a TxnID, TxnNumber and the entry sequence that orders transactions of
// the same date.
#include "qbsimengine.h"

#include <cmath>
#include <map>
#include <set>

namespace {

using Attrs = std::vector<std::pair<std::string, std::string>>;

// How long TxnDeletedQueryRq lists a deleted transaction.
constexpr std::int64_t kDeletionsListedSeconds = 90LL * 24 * 60 * 60;

const std::vector<std::string> kLineItemKinds = {"ItemInventory", "ItemInventoryAssembly",
                                                 "ItemNonInventory", "ItemService",
                                                 "ItemOtherCharge"};
const std::vector<std::string> kStockedKinds = {"ItemInventory", "ItemInventoryAssembly"};

bool isStocked(const std::string& kind) {
    return kind == "ItemInventory" || kind == "ItemInventoryAssembly";
}
// Credits from vendors (returns) are purchases whose lines move stock out.
bool isVendorCredit(const std::string& type) {
    return type == "VendorCredit" || type == "CreditCardCredit";
}
bool isPurchase(const std::string& type) {
    return type == "Bill" || type == "ItemReceipt" || type == "Check" || type == "CreditCardCharge" ||
           isVendorCredit(type);
}
bool isSale(const std::string& type) {
    return type == "Invoice" || type == "SalesReceipt" || type == "CreditMemo";
}

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

void checkLength(const std::optional<std::string>& text, const char* field, std::size_t max) {
    if (text && text->size() > max)
        throw CQbSimStatus(3070, "Error",
                           "The string \"" + *text + "\" in the field \"" + field + "\" is too long.");
}

}  // namespace

namespace {

// One line as stored; a helper keeps the INSERT in one place.
struct CLine {
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

}  // namespace

namespace {

class CTxnBuilder {
public:
    CTxnBuilder(CQbSimDb& database, CQbSimCompany& c, std::int64_t txn)
        : db(database), company(c), txnRow(txn),
          insert(database, "INSERT INTO txn_line(txn_row, seq, group_row, line_kind, txn_line_id, "
                           "item_id, descr, quantity, unit_of_measure, rate, amount, class_id, "
                           "customer_id, account_id, print_items_in_group, adj_kind, new_quantity, "
                           "quantity_difference, new_value, value_difference, qty_delta) "
                           "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") {}

    std::int64_t add(const CLine& l) {
        insert.bind(1, txnRow).bind(2, seq++).bind(3, l.group).bind(4, l.kind)
            .bind(5, company.newTxnLineId()).bind(6, l.item).bind(7, l.descr).bind(8, l.quantity)
            .bind(9, l.unit).bind(10, l.rate).bind(11, l.amount).bind(12, l.cls).bind(13, l.customer)
            .bind(14, l.account).bind(15, l.printItems).bind(16, l.adjKind).bind(17, l.newQuantity)
            .bind(18, l.quantityDifference).bind(19, l.newValue).bind(20, l.valueDifference)
            .bind(21, l.qtyDelta);
        insert.run();
        return db.lastInsertId();
    }
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

}  // namespace

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
    CTxnBuilder lines(db, company, txn);
    CLine line;
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
    const std::string type = rqName.substr(0, rqName.size() - 5);
    xmlNodePtr add = qbsimChild(rq, type + "Add");
    const std::string where = type == "InventoryAdjustment" ? "Inventory Adjustment"
                              : type == "BuildAssembly"     ? "Build Assembly"
                              : type == "ItemReceipt"       ? "Item Receipt"
                              : type == "SalesReceipt"      ? "Sales Receipt"
                              : type == "CreditMemo"        ? "Credit Memo"
                              : type == "CreditCardCharge"  ? "Credit Card Charge"
                              : type == "VendorCredit"      ? "Vendor Credit"
                              : type == "CreditCardCredit"  ? "Credit Card Credit"
                                                            : type;

    std::string date = qbsimChildText(add, "TxnDate").value_or("");
    if (date.empty()) date = qbsimToday();
    // QuickBooks keeps dates between 1901 and 2100.
    if (date < "1901-01-01" || date > "2100-12-31") throw qbsimstatus::invalidDate("TxnDate", date);
    refuseClosedDate(date, type, "add");
    const auto dueDate = qbsimChildText(add, "DueDate");
    if (dueDate && !dueDate->empty() && (*dueDate < "1901-01-01" || *dueDate > "2100-12-31"))
        throw qbsimstatus::invalidDate("DueDate", *dueDate);
    const auto refNumber = qbsimChildText(add, "RefNumber");
    checkLength(refNumber, "RefNumber",
                type == "Bill" || type == "ItemReceipt" || type == "VendorCredit" ? 20 : 11);
    const auto memo = qbsimChildText(add, "Memo");
    checkLength(memo, "Memo", 4095);

    // Header references.
    std::optional<std::int64_t> entity, account, cls, item;
    std::optional<double> quantity;
    bool pending = false;
    if (type == "Bill" || type == "ItemReceipt" || type == "VendorCredit") {
        entity = resolveRef(qbsimChild(add, "VendorRef"), {"Vendor"}, "Entity", "Vendor", where);
        account = optionalRef(add, "APAccountRef", {"Account"}, "Account", "Account", where);
        if (account && accountType(*account) != "AccountsPayable")
            throw qbsimstatus::invalidReference("Account", listRow(*account)->fullName, where);
        if (!account)
            account = ensureSpecialAccount("AccountsPayable", "Accounts Payable", "AccountsPayable");
    } else if (type == "Check" || type == "CreditCardCharge" || type == "CreditCardCredit") {
        // A check is drawn on a bank (or card) account; a card charge or credit only on a card.
        account = resolveRef(qbsimChild(add, "AccountRef"), {"Account"}, "Account", "Account", where);
        const std::string at = accountType(*account);
        if (at != "CreditCard" && (type != "Check" || at != "Bank"))
            throw qbsimstatus::invalidReference("Account", listRow(*account)->fullName, where);
        entity = optionalRef(add, "PayeeEntityRef", {"Vendor", "Customer"}, "Entity", "Entity", where);
    } else if (isSale(type)) {
        if (type == "SalesReceipt")
            entity = optionalRef(add, "CustomerRef", {"Customer"}, "Entity", "Customer", where);
        else
            entity = resolveRef(qbsimChild(add, "CustomerRef"), {"Customer"}, "Entity", "Customer", where);
        cls = optionalRef(add, "ClassRef", {"Class"}, "Class", "Class", where);
        pending = qbsimParseBool(qbsimChildText(add, "IsPending").value_or("false"));
        if (type == "SalesReceipt") {
            account = optionalRef(add, "DepositToAccountRef", {"Account"}, "Account", "Account", where);
            if (!account)
                account = ensureSpecialAccount("UndepositedFunds", "Undeposited Funds", "OtherCurrentAsset");
        } else {
            account = optionalRef(add, "ARAccountRef", {"Account"}, "Account", "Account", where);
            if (account && accountType(*account) != "AccountsReceivable")
                throw qbsimstatus::invalidReference("Account", listRow(*account)->fullName, where);
            if (!account)
                account = ensureSpecialAccount("AccountsReceivable", "Accounts Receivable",
                                               "AccountsReceivable");
        }
    } else if (type == "InventoryAdjustment") {
        account = resolveRef(qbsimChild(add, "AccountRef"), {"Account"}, "Account", "Account", where);
        entity = optionalRef(add, "CustomerRef", {"Customer"}, "Entity", "Customer", where);
        cls = optionalRef(add, "ClassRef", {"Class"}, "Class", "Class", where);
        if (qbsimChild(add, "InventorySiteRef")) throw qbsimstatus::featureNotEnabled();
    } else {  // BuildAssembly
        item = resolveRef(qbsimChild(add, "ItemInventoryAssemblyRef"), {"ItemInventoryAssembly"},
                          "Item", "Item", where);
        quantity = optNumber(add, "QuantityToBuild");
        if (!quantity || *quantity <= 0)
            throw qbsimstatus::invalidValue("QuantityToBuild",
                                            qbsimChildText(add, "QuantityToBuild").value_or(""),
                                            "The quantity to build must be greater than zero.");
        if (qbsimChild(add, "InventorySiteRef") || qbsimChild(add, "SerialNumber") ||
            qbsimChild(add, "LotNumber"))
            throw qbsimstatus::featureNotEnabled();
    }
    if (isPurchase(type)) cls = optionalRef(add, "ClassRef", {"Class"}, "Class", "Class", where);

    // Currency: the transaction is in its vendor's or customer's currency.
    std::optional<std::int64_t> currency;
    std::optional<double> exchangeRate;
    const auto rateText = qbsimChildText(add, "ExchangeRate");
    if (company.multiCurrency()) {
        if (entity) {
            CQbSimStmt c(db, "SELECT currency_id FROM entity WHERE id = ?");
            c.bind(1, *entity);
            if (c.step()) currency = c.optInteger(0);
        }
        if (!currency) {
            const std::string home = company.setting("homeCurrency");
            if (auto h = findList("Currency", nullptr, &home)) currency = h->row;
        }
        exchangeRate = rateText && !rateText->empty() ? qbsimParseNumber(*rateText) : 1.0;
        if (!(*exchangeRate > 0) || *exchangeRate > 1e9)
            throw qbsimstatus::invalidValue("ExchangeRate", rateText.value_or(""),
                                            "The exchange rate must be a positive number.");
    } else if (rateText && !rateText->empty() && qbsimParseNumber(*rateText) != 1.0) {
        throw qbsimstatus::featureNotEnabled();
    }

    const std::int64_t entrySeq = company.nextEntrySequence();
    const std::int64_t t = company.now();
    CQbSimStmt insert(db, "INSERT INTO txn(txn_id, txn_type, txn_number, entry_seq, txn_date, "
                          "ref_number, memo, entity_id, account_id, class_id, currency_id, "
                          "exchange_rate, is_pending, due_date, item_id, quantity, external_guid, "
                          "time_created, time_modified, edit_sequence) VALUES(?, ?, ?, ?, ?, ?, ?, "
                          "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const std::string txnId = company.newTxnId();
    insert.bind(1, txnId).bind(2, type).bind(3, company.nextTxnNumber())
        .bind(4, entrySeq).bind(5, date).bind(6, refNumber).bind(7, memo).bind(8, entity)
        .bind(9, account).bind(10, cls).bind(11, currency).bind(12, exchangeRate)
        .bind(13, pending ? 1 : 0).bind(14, dueDate && !dueDate->empty() ? dueDate : std::nullopt)
        .bind(15, item).bind(16, quantity).bind(17, qbsimChildText(add, "ExternalGUID"))
        .bind(18, t).bind(19, t).bind(20, std::to_string(t));
    insert.run();
    const std::int64_t txnRow = db.lastInsertId();
    CTxnBuilder lines(db, company, txnRow);
    if (auto macro = qbsimAttribute(add, "defMacro")) macros[*macro] = txnId;

    // The base-unit factor of a line's unit of measure for the item.
    auto unitFactor = [&](std::int64_t itemRow, const std::optional<std::string>& unit) -> double {
        if (!unit || unit->empty()) return 1.0;
        if (!company.unitsOfMeasure()) throw qbsimstatus::featureNotEnabled();
        CQbSimStmt u(db, "SELECT uu.conversion_ratio FROM item i JOIN uom_unit uu ON uu.set_id = "
                         "i.uom_set_id WHERE i.id = ? AND (uu.name = ? OR uu.abbreviation = ?)");
        u.bind(1, itemRow).bind(2, *unit).bind(3, *unit);
        if (!u.step()) throw qbsimstatus::invalidReference("Unit Of Measure", *unit, where + " line");
        return u.real(0);
    };
    struct CItemInfo {
        std::string kind;
        double purchaseCost;
        double salesPrice;
    };
    auto itemInfo = [&](std::int64_t itemRow) {
        CQbSimStmt s(db, "SELECT lo.kind, i.single_account, i.purchase_cost, i.sales_price, i.price "
                         "FROM list_object lo JOIN item i ON i.id = lo.id WHERE lo.id = ?");
        s.bind(1, itemRow);
        s.step();
        const bool single = s.integer(1) != 0;
        return CItemInfo{s.text(0), single ? s.optReal(4).value_or(0) : s.optReal(2).value_or(0),
                         single ? s.optReal(4).value_or(0) : s.optReal(3).value_or(0)};
    };
    // A priced item line: amount = quantity x rate unless given, rate = amount /
    // quantity when only the amount is given.
    auto pricedLine = [&](CLine& line, xmlNodePtr node, const char* rateTag, double defaultRate) {
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
    };
    std::int64_t total = 0;

    if (isPurchase(type) || isSale(type)) {
        const bool sale = isSale(type);
        const double sign = type == "CreditMemo" || (!sale && !isVendorCredit(type)) ? 1.0 : -1.0;
        const std::string lineTag = sale ? type + "LineAdd" : "ItemLineAdd";
        const std::string groupTag = sale ? type + "LineGroupAdd" : "ItemGroupLineAdd";
        for (xmlNodePtr node : qbsimElements(add)) {
            const std::string name = qbsimName(node);
            if (name == "ExpenseLineAdd") {
                CLine line;
                line.kind = "Expense";
                line.account = resolveRef(qbsimChild(node, "AccountRef"), {"Account"}, "Account",
                                          "Account", where + " line");
                line.amount = optAmount(node, "Amount").value_or(0);
                line.descr = qbsimChildText(node, "Memo");
                line.customer = optionalRef(node, "CustomerRef", {"Customer"}, "Entity", "Customer",
                                            where + " line");
                line.cls = optionalRef(node, "ClassRef", {"Class"}, "Class", "Class", where + " line");
                total += *line.amount;
                lines.add(line);
            } else if (name == lineTag) {
                CLine line;
                line.kind = "Item";
                line.item = resolveRef(qbsimChild(node, "ItemRef"), kLineItemKinds, "Item", "Item",
                                       where + " line");
                const CItemInfo info = itemInfo(*line.item);
                line.descr = qbsimChildText(node, "Desc");
                line.unit = qbsimChildText(node, "UnitOfMeasure");
                // The item's price and cost are per base unit; a line in another unit is
                // priced per that unit, as QuickBooks' forms price it.
                const double factor = unitFactor(*line.item, line.unit);
                pricedLine(line, node, sale ? "Rate" : "Cost", (sale ? info.salesPrice : info.purchaseCost) * factor);
                if (sale && qbsimChild(node, "RatePercent")) line.rate.reset();
                line.cls = optionalRef(node, "ClassRef", {"Class"}, "Class", "Class", where + " line");
                if (!sale)
                    line.customer = optionalRef(node, "CustomerRef", {"Customer"}, "Entity",
                                                "Customer", where + " line");
                if (isStocked(info.kind) && line.quantity) line.qtyDelta = sign * *line.quantity * factor;
                total += *line.amount;
                lines.add(line);
            } else if (name == groupTag) {
                const std::int64_t group = resolveRef(qbsimChild(node, "ItemGroupRef"), {"ItemGroup"},
                                                      "Item", "Item Group", where + " line");
                CLine head;
                head.kind = "Group";
                head.item = group;
                head.descr = qbsimChildText(node, "Desc");
                head.quantity = optNumber(node, "Quantity");
                head.unit = qbsimChildText(node, "UnitOfMeasure");
                CQbSimStmt print(db, "SELECT print_items_in_group FROM item WHERE id = ?");
                print.bind(1, group);
                print.step();
                head.printItems = print.optInteger(0).value_or(0);
                const std::int64_t headRow = lines.add(head);
                const double groupQuantity = head.quantity.value_or(1.0);
                std::int64_t groupTotal = 0;
                CQbSimStmt parts(db, "SELECT component_id, quantity, unit_of_measure FROM "
                                     "item_component WHERE item_id = ? ORDER BY seq");
                parts.bind(1, group);
                while (parts.step()) {
                    CLine line;
                    line.kind = "Item";
                    line.group = headRow;
                    line.item = parts.integer(0);
                    line.unit = parts.optText(2);
                    const CItemInfo info = itemInfo(*line.item);
                    line.quantity = parts.real(1) * groupQuantity;
                    const double factor = unitFactor(*line.item, line.unit);
                    line.rate = (sale ? info.salesPrice : info.purchaseCost) * factor;
                    line.amount = cents(*line.quantity * *line.rate, "Amount");
                    line.cls = head.cls;
                    if (isStocked(info.kind)) line.qtyDelta = sign * *line.quantity * factor;
                    groupTotal += *line.amount;
                    lines.add(line);
                }
                lines.setAmount(headRow, groupTotal);
                total += groupTotal;
            }
        }
    } else if (type == "InventoryAdjustment") {
        // What this adjustment's earlier lines moved, by item. The quantity on hand just
        // before a line (the quantity before this adjustment plus those moves) is only
        // needed for a NewQuantity, so it is only read then: value adjustments, a
        // valuation run's hundreds a day, need no sum over the item's history.
        std::map<std::int64_t, double> moved;
        for (xmlNodePtr node : qbsimChildren(add, "InventoryAdjustmentLineAdd")) {
            CLine line;
            line.kind = "Adjustment";
            line.item = resolveRef(qbsimChild(node, "ItemRef"), kStockedKinds, "Item", "Item",
                                   where + " line");
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
            if (line.newQuantity)
                line.quantityDifference =
                    *line.newQuantity - (quantityOnHand(*line.item, date, entrySeq) + moved[*line.item]);
            if (!line.quantityDifference) line.quantityDifference = 0.0;
            line.newValue = optAmount(adj, "NewValue");
            line.valueDifference = optAmount(adj, "ValueDifference");
            line.qtyDelta = *line.quantityDifference;
            moved[*line.item] += line.qtyDelta;
            lines.add(line);
        }
    } else {  // BuildAssembly
        const bool markPending =
            qbsimParseBool(qbsimChildText(add, "MarkPendingIfRequired").value_or("false"));
        std::map<std::int64_t, double> onHand;
        std::vector<CLine> components;
        bool shortOfParts = false;
        CQbSimStmt parts(db, "SELECT ic.component_id, ic.quantity, lo.kind FROM item_component ic "
                             "JOIN list_object lo ON lo.id = ic.component_id WHERE ic.item_id = ? "
                             "ORDER BY ic.seq");
        parts.bind(1, *item);
        while (parts.step()) {
            CLine line;
            line.kind = "Component";
            line.item = parts.integer(0);
            line.quantity = parts.real(1) * *quantity;
            if (isStocked(parts.text(2))) {
                if (!onHand.count(*line.item))
                    onHand[*line.item] = quantityOnHand(*line.item, date, entrySeq);
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
            mark.bind(1, txnRow).run();
        }
        for (const auto& c : components) lines.add(c);
        CLine built;
        built.kind = "Built";
        built.item = item;
        built.quantity = quantity;
        built.qtyDelta = *quantity;
        lines.add(built);
    }
    if (std::llabs(total) > 999999999999999LL)
        throw qbsimstatus::invalidValue("Amount", qbsimAmountText(total), "The total is too large.");

    CRenderOptions o;
    o.includeLineItems = true;
    o.includeComponentLineItems = true;
    for (xmlNodePtr n : qbsimChildren(rq, "IncludeRetElement")) o.includeRetElements.insert(qbsimText(n));
    renderTxn(txnRow, o, out);
}

void CQbSimEngine::renderTxn(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out) {
    CQbSimStmt h(db, "SELECT txn_id, txn_type, txn_number, entry_seq, txn_date, ref_number, memo, "
                     "entity_id, account_id, class_id, currency_id, exchange_rate, is_pending, "
                     "due_date, item_id, quantity, external_guid, time_created, time_modified, "
                     "edit_sequence FROM txn WHERE id = ?");
    h.bind(1, row);
    if (!h.step()) return;  // deleted since the iterator started
    const std::string txnId = h.text(0);
    const std::string type = h.text(1);
    const std::string date = h.text(4);
    const std::int64_t entrySeq = h.integer(3);
    const auto refNumber = h.optText(5);
    const auto memo = h.optText(6);
    const auto entity = h.optInteger(7);
    const auto account = h.optInteger(8);
    const auto cls = h.optInteger(9);
    const auto currency = h.optInteger(10);
    const auto rate = h.optReal(11);
    const bool pending = h.integer(12) != 0;
    const std::string due = h.optText(13).value_or(date);

    CQbSimStmt sum(db, "SELECT COALESCE(SUM(amount), 0) FROM txn_line WHERE txn_row = ? AND "
                       "group_row IS NULL AND line_kind IN ('Item', 'Group', 'Expense')");
    sum.bind(1, row);
    sum.step();
    const std::int64_t total = sum.integer(0);
    auto currencyBlock = [&](const char* homeTag) {
        if (!company.multiCurrency()) return;
        writeRef(out, "CurrencyRef", currency);
        out.leaf("ExchangeRate", qbsimRateText(rate.value_or(1.0)));
        if (homeTag)
            out.leaf(homeTag, qbsimAmountText(*qbsimToCents(static_cast<double>(total) / 100.0 *
                                                            rate.value_or(1.0))));
    };

    out.beginRet(type + "Ret", &o.includeRetElements);
    out.leaf("TxnID", txnId);
    out.leaf("TimeCreated", qbsimDateTimeText(h.integer(17)));
    out.leaf("TimeModified", qbsimDateTimeText(h.integer(18)));
    out.leaf("EditSequence", h.text(19));
    out.leaf("TxnNumber", std::to_string(h.integer(2)));

    if (type == "Bill") {
        writeRef(out, "VendorRef", entity);
        writeRef(out, "APAccountRef", account);
        out.leaf("TxnDate", date);
        out.leaf("DueDate", due);
        out.leaf("AmountDue", qbsimAmountText(total));
        currencyBlock("AmountDueInHomeCurrency");
        out.leaf("RefNumber", refNumber);
        writeRef(out, "ClassRef", cls);
        out.leaf("Memo", memo);
        out.leafBool("IsPaid", false);
    } else if (type == "ItemReceipt" || type == "VendorCredit") {
        // The same shape; only the amount's element is named for what it is.
        const bool receipt = type == "ItemReceipt";
        writeRef(out, "VendorRef", entity);
        writeRef(out, "APAccountRef", account);
        out.leaf("TxnDate", date);
        out.leaf(receipt ? "TotalAmount" : "CreditAmount", qbsimAmountText(total));
        currencyBlock(receipt ? "TotalAmountInHomeCurrency" : "CreditAmountInHomeCurrency");
        out.leaf("RefNumber", refNumber);
        out.leaf("Memo", memo);
    } else if (type == "Check") {
        writeRef(out, "AccountRef", account);
        writeRef(out, "PayeeEntityRef", entity);
        out.leaf("RefNumber", refNumber);
        out.leaf("TxnDate", date);
        out.leaf("Amount", qbsimAmountText(total));
        currencyBlock("AmountInHomeCurrency");
        out.leaf("Memo", memo);
        out.leafBool("IsPending", false);
        out.leafBool("IsToBePrinted", false);
    } else if (type == "CreditCardCharge" || type == "CreditCardCredit") {
        writeRef(out, "AccountRef", account);
        writeRef(out, "PayeeEntityRef", entity);
        out.leaf("TxnDate", date);
        out.leaf("Amount", qbsimAmountText(total));
        currencyBlock("AmountInHomeCurrency");
        out.leaf("RefNumber", refNumber);
        out.leaf("Memo", memo);
    } else if (isSale(type)) {
        writeRef(out, "CustomerRef", entity);
        writeRef(out, "ClassRef", cls);
        if (type != "SalesReceipt") writeRef(out, "ARAccountRef", account);
        out.leaf("TxnDate", date);
        out.leaf("RefNumber", refNumber);
        out.leafBool("IsPending", pending);
        if (type != "SalesReceipt") out.leaf("DueDate", due);
        out.leaf("Subtotal", qbsimAmountText(total));
        out.leaf("SalesTaxPercentage", "0.00");
        out.leaf("SalesTaxTotal", "0.00");
        if (type == "Invoice") {
            out.leaf("AppliedAmount", "0.00");
            out.leaf("BalanceRemaining", qbsimAmountText(total));
            currencyBlock("BalanceRemainingInHomeCurrency");
            out.leaf("Memo", memo);
            out.leafBool("IsPaid", false);
        } else if (type == "SalesReceipt") {
            out.leaf("TotalAmount", qbsimAmountText(total));
            currencyBlock("TotalAmountInHomeCurrency");
            out.leaf("Memo", memo);
        } else {
            out.leaf("TotalAmount", qbsimAmountText(total));
            out.leaf("CreditRemaining", qbsimAmountText(total));
            currencyBlock("CreditRemainingInHomeCurrency");
            out.leaf("Memo", memo);
        }
        out.leafBool("IsToBePrinted", false);
        out.leafBool("IsToBeEmailed", false);
        if (type == "SalesReceipt") writeRef(out, "DepositToAccountRef", account);
    } else if (type == "InventoryAdjustment") {
        writeRef(out, "AccountRef", account);
        out.leaf("TxnDate", date);
        out.leaf("RefNumber", refNumber);
        writeRef(out, "CustomerRef", entity);
        writeRef(out, "ClassRef", cls);
        out.leaf("Memo", memo);
    } else if (type == "BuildAssembly") {
        const std::int64_t assembly = h.integer(14);
        const double toBuild = h.real(15);
        writeRef(out, "ItemInventoryAssemblyRef", assembly);
        out.leaf("TxnDate", date);
        out.leaf("RefNumber", refNumber);
        out.leaf("Memo", memo);
        out.leafBool("IsPending", pending);
        out.leaf("QuantityToBuild", qbsimQuantityText(toBuild));
        // What could be built and what was on hand just before this build. Each part's
        // quantity is summed once for both the build figures and its component line.
        std::map<std::int64_t, double> onHand;
        auto onHandBefore = [&](std::int64_t item) {
            const auto known = onHand.find(item);
            if (known != onHand.end()) return known->second;
            return onHand[item] = renderedOnHand(item, date, entrySeq);
        };
        double canBuild = -1;
        CQbSimStmt parts(db, "SELECT ic.component_id, ic.quantity, lo.kind FROM item_component ic "
                             "JOIN list_object lo ON lo.id = ic.component_id WHERE ic.item_id = ?");
        parts.bind(1, assembly);
        while (parts.step()) {
            if (!isStocked(parts.text(2)) || parts.real(1) <= 0) continue;
            const double possible =
                std::floor(onHandBefore(parts.integer(0)) / parts.real(1));
            canBuild = canBuild < 0 ? possible : std::min(canBuild, possible);
        }
        out.leaf("QuantityCanBuild", qbsimQuantityText(canBuild < 0 ? 0 : std::max(canBuild, 0.0)));
        out.leaf("QuantityOnHand", qbsimQuantityText(onHandBefore(assembly)));
        out.leaf("QuantityOnSalesOrder", "0");
        if (o.includeComponentLineItems) {
            CQbSimStmt c(db, "SELECT item_id, quantity FROM txn_line WHERE txn_row = ? AND "
                             "line_kind = 'Component' ORDER BY seq");
            c.bind(1, row);
            while (c.step()) {
                out.open("ComponentItemLineRet");
                writeRef(out, "ItemRef", c.integer(0));
                out.leaf("QuantityOnHand", qbsimQuantityText(onHandBefore(c.integer(0))));
                out.leaf("QuantityNeeded", qbsimQuantityText(c.real(1)));
                out.close();
            }
        }
    }

    if (o.includeLineItems && type != "BuildAssembly") {
        CQbSimStmt l(db, "SELECT id, line_kind, txn_line_id, item_id, descr, quantity, "
                         "unit_of_measure, rate, amount, class_id, customer_id, account_id, "
                         "print_items_in_group, quantity_difference, value_difference, group_row "
                         "FROM txn_line WHERE txn_row = ? ORDER BY seq");
        l.bind(1, row);
        struct CRow {
            std::int64_t id;
            std::string kind, lineId;
            std::optional<std::int64_t> item;
            std::optional<std::string> descr, unit;
            std::optional<double> quantity, rate, quantityDifference;
            std::optional<std::int64_t> amount, cls, customer, account, printItems, valueDifference,
                group;
        };
        std::vector<CRow> rows;
        while (l.step())
            rows.push_back({l.integer(0), l.text(1), l.text(2), l.optInteger(3), l.optText(4),
                            l.optText(6), l.optReal(5), l.optReal(7), l.optReal(13), l.optInteger(8),
                            l.optInteger(9), l.optInteger(10), l.optInteger(11), l.optInteger(12),
                            l.optInteger(14), l.optInteger(15)});
        const bool sale = isSale(type);
        const std::string lineTag = sale ? type + "LineRet" : "ItemLineRet";
        const std::string groupTag = sale ? type + "LineGroupRet" : "ItemGroupLineRet";
        auto itemLine = [&](const CRow& r) {
            out.open(lineTag);
            out.leaf("TxnLineID", r.lineId);
            writeRef(out, "ItemRef", r.item);
            out.leaf("Desc", r.descr);
            if (r.quantity) out.leaf("Quantity", qbsimQuantityText(*r.quantity));
            out.leaf("UnitOfMeasure", r.unit);
            if (r.rate) out.leaf(sale ? "Rate" : "Cost", qbsimPriceText(*r.rate));
            if (sale) writeRef(out, "ClassRef", r.cls);
            out.leaf("Amount", qbsimAmountText(r.amount.value_or(0)));
            if (!sale) {
                writeRef(out, "CustomerRef", r.customer);
                writeRef(out, "ClassRef", r.cls);
            }
            writeDataExt(out, "TxnLine", r.lineId, o.ownerIds);
            out.close();
        };
        if (type == "InventoryAdjustment") {
            for (const auto& r : rows) {
                out.open("InventoryAdjustmentLineRet");
                out.leaf("TxnLineID", r.lineId);
                writeRef(out, "ItemRef", r.item);
                out.leaf("QuantityDifference", qbsimQuantityText(r.quantityDifference.value_or(0)));
                out.leaf("ValueDifference",
                         qbsimAmountText(pending ? 0
                                                 : valuation->adjustmentValue(r.id, date)
                                                       .value_or(r.valueDifference.value_or(0))));
                out.close();
            }
        } else {
            for (const auto& r : rows) {
                if (r.kind != "Expense") continue;
                out.open("ExpenseLineRet");
                out.leaf("TxnLineID", r.lineId);
                writeRef(out, "AccountRef", r.account);
                out.leaf("Amount", qbsimAmountText(r.amount.value_or(0)));
                out.leaf("Memo", r.descr);
                writeRef(out, "CustomerRef", r.customer);
                writeRef(out, "ClassRef", r.cls);
                out.close();
            }
            for (const auto& r : rows) {
                if (r.group) continue;
                if (r.kind == "Item") itemLine(r);
                if (r.kind != "Group") continue;
                out.open(groupTag);
                out.leaf("TxnLineID", r.lineId);
                writeRef(out, "ItemGroupRef", r.item);
                out.leaf("Desc", r.descr);
                if (r.quantity) out.leaf("Quantity", qbsimQuantityText(*r.quantity));
                out.leaf("UnitOfMeasure", r.unit);
                if (sale) out.leafBool("IsPrintItemsInGroup", r.printItems.value_or(0) != 0);
                out.leaf("TotalAmount", qbsimAmountText(r.amount.value_or(0)));
                for (const auto& child : rows)
                    if (child.group && *child.group == r.id) itemLine(child);
                out.close();
            }
        }
    }
    // Nothing is ever paid or applied in the stand-in.
    if (type == "Bill" || type == "VendorCredit") out.leaf("OpenAmount", qbsimAmountText(total));
    writeDataExt(out, "Txn", txnId, o.ownerIds);
    out.endRet();
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
    out.leaf("TxnDelType", type);
    out.leaf("TxnID", id);
    out.leaf("TimeDeleted", qbsimDateTimeText(deletedAt));
    out.leaf("RefNumber", refNumber);
}

void CQbSimEngine::txnDeletedQuery(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const auto types = qbsimChildren(rq, "TxnDelType");
    std::string sql = "SELECT txn_type, txn_id, time_created, time_deleted, ref_number FROM txn_deleted "
                      "WHERE txn_type IN (";
    for (std::size_t i = 0; i < types.size(); ++i) sql += i ? ", ?" : "?";
    // QuickBooks lists the transactions deleted in the last 90 days only.
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
        out.beginRet("TxnDeletedRet", &o.includeRetElements);
        out.leaf("TxnDelType", select.text(0));
        out.leaf("TxnID", select.text(1));
        out.leaf("TimeCreated", qbsimDateTimeText(select.integer(2)));
        out.leaf("TimeDeleted", qbsimDateTimeText(select.integer(3)));
        out.leaf("RefNumber", select.optText(4));
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
    if (date && (date->empty() || *date < "1901-01-01" || *date > "2100-12-31"))
        throw qbsimstatus::invalidDate("TxnDate", *date);
    refuseClosedTxn(row, "modify");
    if (date) refuseClosedDate(*date, "Invoice", "modify");
    const auto refNumber = qbsimChildText(mod, "RefNumber");
    checkLength(refNumber, "RefNumber", 11);
    const auto memo = qbsimChildText(mod, "Memo");
    checkLength(memo, "Memo", 4095);

    // A new date is logged in inventory_change by the txn_changed trigger, from the
    // earlier of the two dates, so the ledger evaluates again from there before it
    // answers. An unchanged date is not written, so it costs no evaluation.
    if (date && *date != find.text(2)) {
        CQbSimStmt move(db, "UPDATE txn SET txn_date = ? WHERE id = ?");
        move.bind(1, *date).bind(2, row).run();
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
    CQbSimStmt find(db, "SELECT id, edit_sequence, txn_date, entry_seq, item_id, quantity, is_pending "
                        "FROM txn WHERE txn_id = ? AND txn_type = 'BuildAssembly'");
    find.bind(1, id);
    if (!find.step()) throw qbsimstatus::notFound(id);
    const std::int64_t row = find.integer(0);
    const std::string sequence = qbsimChildText(mod, "EditSequence").value_or("");
    if (sequence != find.text(1)) throw qbsimstatus::staleEditSequence(sequence);
    const std::string date = find.text(2);
    refuseClosedDate(date, "BuildAssembly", "modify");
    const std::int64_t entrySeq = find.integer(3);
    const std::int64_t assembly = find.integer(4);
    const double toBuild = find.real(5);
    const bool pending = find.integer(6) != 0;
    for (const char* fixed : {"TxnDate", "QuantityToBuild", "ItemInventoryAssemblyRef"})
        if (auto text = qbsimChildText(mod, fixed); text && !text->empty())
            throw qbsimstatus::invalidValue(fixed, *text,
                                            "Changing the date, assembly or quantity of a build is not supported.");
    const auto refNumber = qbsimChildText(mod, "RefNumber");
    checkLength(refNumber, "RefNumber", 11);
    const auto memo = qbsimChildText(mod, "Memo");
    checkLength(memo, "Memo", 4095);
    bool removePending = qbsimParseBool(qbsimChildText(mod, "RemovePending").value_or("false"));
    if (removePending && pending) {
        // The build posts only when the components it needs were on hand just before it.
        CQbSimStmt parts(db, "SELECT ic.component_id, ic.quantity, lo.kind FROM item_component ic "
                             "JOIN list_object lo ON lo.id = ic.component_id WHERE ic.item_id = ?");
        parts.bind(1, assembly);
        std::map<std::int64_t, double> needed;
        while (parts.step())
            if (isStocked(parts.text(2))) needed[parts.integer(0)] += parts.real(1) * toBuild;
        for (const auto& [part, quantity] : needed)
            if (quantityOnHand(part, date, entrySeq) + 1e-9 < quantity)
                throw qbsimstatus::saveError(
                    "Build Assembly transaction",
                    "There are not enough components on hand to build the quantity specified.");
    }
    const std::int64_t t = nextEditTime(sequence);
    CQbSimStmt update(db, "UPDATE txn SET is_pending = ?, ref_number = COALESCE(?, ref_number), "
                          "memo = COALESCE(?, memo), time_modified = ?, edit_sequence = ? WHERE id = ?");
    update.bind(1, pending && !removePending ? 1 : 0).bind(2, refNumber).bind(3, memo).bind(4, t)
        .bind(5, std::to_string(t)).bind(6, row).run();
    CRenderOptions o;
    o.includeComponentLineItems = true;
    for (xmlNodePtr n : qbsimChildren(rq, "IncludeRetElement")) o.includeRetElements.insert(qbsimText(n));
    renderTxn(row, o, out);
}
