// A transaction's Ret. The kind's row in the table of kinds (qbsimtxnkinds.h) gives
// the Ret's elements in order; here each element name maps to what it carries: a
// header reference, a date, the transaction's total under whichever name the kind gives
// it, a constant QuickBooks would show for a transaction nothing was ever paid or
// applied to, or a block of lines. Lines are written the same way from their shapes.
#include "qbsimengine.h"

#include <cmath>
#include <map>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

// What an element of a transaction's Ret carries.
enum class CRetRole {
    Entity, Account, Class, Assembly, Date, DueDate, RefNumber, Memo, Total, Currency, ExchangeRate,
    HomeTotal, Pending, False, ZeroAmount, QuantityToBuild, QuantityCanBuild, AssemblyOnHand,
    ZeroQuantity, ExpenseLines, DataExt, HeaderItem
};

CRetRole retRole(std::string_view element) {
    using R = CRetRole;
    static const std::map<std::string_view, CRetRole> roles = [] {
        const std::pair<CRetRole, std::vector<std::string_view>> elements[] = {
            {R::Entity, {"VendorRef", "PayeeEntityRef", "CustomerRef"}},
            {R::Account, {"APAccountRef", "AccountRef", "ARAccountRef", "DepositToAccountRef"}},
            {R::Class, {"ClassRef"}},
            {R::Assembly, {"ItemInventoryAssemblyRef"}},
            {R::Date, {"TxnDate"}},
            {R::DueDate, {"DueDate"}},
            {R::RefNumber, {"RefNumber"}},
            {R::Memo, {"Memo"}},
            {R::Total, {"AmountDue", "TotalAmount", "CreditAmount", "Amount", "Subtotal",
                        "BalanceRemaining", "CreditRemaining", "OpenAmount"}},
            {R::Currency, {"CurrencyRef"}},
            {R::ExchangeRate, {"ExchangeRate"}},
            {R::HomeTotal, {"AmountDueInHomeCurrency", "TotalAmountInHomeCurrency",
                            "CreditAmountInHomeCurrency", "AmountInHomeCurrency",
                            "BalanceRemainingInHomeCurrency", "CreditRemainingInHomeCurrency"}},
            {R::Pending, {"IsPending"}},
            {R::False, {"IsPaid", "IsToBePrinted", "IsToBeEmailed"}},
            {R::ZeroAmount, {"SalesTaxPercentage", "SalesTaxTotal", "AppliedAmount"}},
            {R::QuantityToBuild, {"QuantityToBuild"}},
            {R::QuantityCanBuild, {"QuantityCanBuild"}},
            {R::AssemblyOnHand, {"QuantityOnHand"}},
            {R::ZeroQuantity, {"QuantityOnSalesOrder"}},
            {R::ExpenseLines, {"ExpenseLineRet"}},
            {R::DataExt, {"DataExtRet"}},
            {R::HeaderItem, {"ItemRef", "Quantity", "UnitOfMeasure", "Rate", "Desc"}},
        };
        std::map<std::string_view, CRetRole> map;
        for (const auto& [role, names] : elements)
            for (std::string_view name : names) map.emplace(name, role);
        return map;
    }();
    const auto found = roles.find(element);
    if (found == roles.end()) throw std::logic_error("no Ret element " + std::string(element));
    return found->second;
}

// What an element of a line carries.
enum class CLineRole {
    LineId, Item, Account, Customer, Class, Text, Quantity, Unit, Rate, Amount, PrintItems,
    QuantityDifference, ValueDifference, OnHand, Needed, DataExt
};

CLineRole lineRole(std::string_view element) {
    using R = CLineRole;
    static const std::map<std::string_view, CLineRole> roles = [] {
        const std::pair<CLineRole, std::vector<std::string_view>> elements[] = {
            {R::LineId, {"TxnLineID"}},
            {R::Item, {"ItemRef", "ItemGroupRef"}},
            {R::Account, {"AccountRef"}},
            {R::Customer, {"CustomerRef"}},
            {R::Class, {"ClassRef"}},
            {R::Text, {"Desc", "Memo"}},
            {R::Quantity, {"Quantity"}},
            {R::Unit, {"UnitOfMeasure"}},
            {R::Rate, {"Cost", "Rate"}},
            {R::Amount, {"Amount", "TotalAmount"}},
            {R::PrintItems, {"IsPrintItemsInGroup"}},
            {R::QuantityDifference, {"QuantityDifference"}},
            {R::ValueDifference, {"ValueDifference"}},
            {R::OnHand, {"QuantityOnHand"}},
            {R::Needed, {"QuantityNeeded"}},
            {R::DataExt, {"DataExtRet"}},
        };
        std::map<std::string_view, CLineRole> map;
        for (const auto& [role, names] : elements)
            for (std::string_view name : names) map.emplace(name, role);
        return map;
    }();
    const auto found = roles.find(element);
    if (found == roles.end()) throw std::logic_error("no line element " + std::string(element));
    return found->second;
}

}  // namespace

// One stored line.
struct CQbSimEngine::CTxnLineRow {
    std::int64_t id;
    std::string kind, lineId;
    std::optional<std::int64_t> item;
    std::optional<std::string> descr, unit;
    std::optional<double> quantity, rate, quantityDifference;
    std::optional<std::int64_t> amount, cls, customer, account, printItems, valueDifference, group;
};

// One transaction while its Ret is written.
struct CQbSimEngine::CTxnView {
    const CQbSimTxnKind* kind = nullptr;
    std::int64_t row = 0;
    std::string txnId, date, due;
    std::int64_t entrySeq = 0;
    std::optional<std::string> refNumber, memo;
    std::optional<std::int64_t> entity, account, cls, currency, item;
    std::optional<double> rate, quantity;
    bool pending = false;
    bool multiCurrency = false;  // the company's, read once per transaction
    std::int64_t total = 0;      // of the lines outside groups
    // Read when the first line element is written.
    std::optional<std::vector<CTxnLineRow>> lines;
    // Each part's quantity on hand just before a build, summed once for both the build
    // figures and its component line.
    std::map<std::int64_t, double> onHand;
};

void CQbSimEngine::renderTxn(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out) {
    CQbSimStmt h(db, "SELECT txn_id, txn_type, txn_number, entry_seq, txn_date, ref_number, memo, "
                     "entity_id, account_id, class_id, currency_id, exchange_rate, is_pending, "
                     "due_date, item_id, quantity, time_created, time_modified, edit_sequence "
                     "FROM txn WHERE id = ?");
    h.bind(1, row);
    if (!h.step()) return;  // deleted since the iterator started
    CTxnView v;
    v.kind = &qbsimTxnKind(h.text(1));
    v.row = row;
    v.txnId = h.text(0);
    v.entrySeq = h.integer(3);
    v.date = h.text(4);
    v.refNumber = h.optText(5);
    v.memo = h.optText(6);
    v.entity = h.optInteger(7);
    v.account = h.optInteger(8);
    v.cls = h.optInteger(9);
    v.currency = h.optInteger(10);
    v.rate = h.optReal(11);
    v.pending = h.integer(12) != 0;
    v.due = h.optText(13).value_or(v.date);
    v.item = h.optInteger(14);
    v.quantity = h.optReal(15);
    v.multiCurrency = company.multiCurrency();
    CQbSimStmt sum(db, "SELECT COALESCE(SUM(amount), 0) FROM txn_line WHERE txn_row = ? AND "
                       "group_row IS NULL AND line_kind IN ('Item', 'Group', 'Expense')");
    sum.bind(1, row);
    sum.step();
    v.total = sum.integer(0);

    out.beginRet(std::string(v.kind->type) + "Ret", &o.includeRetElements);
    out.leaf("TxnID", v.txnId);
    out.leaf("TimeCreated", qbsimDateTimeText(h.integer(16)));
    out.leaf("TimeModified", qbsimDateTimeText(h.integer(17)));
    out.leaf("EditSequence", h.text(18));
    out.leaf("TxnNumber", std::to_string(h.integer(2)));
    for (const char* element : v.kind->ret) writeTxnElement(v, element, o, out);
    out.endRet();
}

void CQbSimEngine::writeTxnElement(CTxnView& v, const char* element, const CRenderOptions& o,
                                   CQbSimXmlWriter& out) {
    if (v.kind->lineRet && element == std::string_view(v.kind->lineRet)) {
        const bool components = v.kind->family == CQbSimTxnFamily::Build;
        if (components ? o.includeComponentLineItems : o.includeLineItems) writeItemLines(v, o, out);
        return;
    }
    switch (retRole(element)) {
    case CRetRole::Entity: writeRef(out, element, v.entity); break;
    case CRetRole::Account: writeRef(out, element, v.account); break;
    case CRetRole::Class: writeRef(out, element, v.cls); break;
    case CRetRole::Assembly: writeRef(out, element, v.item); break;
    case CRetRole::Date: out.leaf(element, v.date); break;
    case CRetRole::DueDate: out.leaf(element, v.due); break;
    case CRetRole::RefNumber: out.leaf(element, v.refNumber); break;
    case CRetRole::Memo: out.leaf(element, v.memo); break;
    case CRetRole::Total: out.leaf(element, qbsimAmountText(v.total)); break;
    case CRetRole::Currency:
        if (v.multiCurrency) writeRef(out, element, v.currency);
        break;
    case CRetRole::ExchangeRate:
        if (v.multiCurrency) out.leaf(element, qbsimRateText(v.rate.value_or(1.0)));
        break;
    case CRetRole::HomeTotal:
        if (v.multiCurrency)
            out.leaf(element, qbsimAmountText(*qbsimToCents(static_cast<double>(v.total) / 100.0 *
                                                            v.rate.value_or(1.0))));
        break;
    case CRetRole::Pending: out.leafBool(element, v.pending); break;
    // Nothing is ever paid, printed, mailed or taxed in the stand-in.
    case CRetRole::False: out.leafBool(element, false); break;
    case CRetRole::ZeroAmount: out.leaf(element, "0.00"); break;
    case CRetRole::ZeroQuantity: out.leaf(element, "0"); break;
    case CRetRole::QuantityToBuild: out.leaf(element, qbsimQuantityText(v.quantity.value_or(0))); break;
    case CRetRole::QuantityCanBuild: out.leaf(element, qbsimQuantityText(quantityCanBuild(v))); break;
    case CRetRole::AssemblyOnHand: out.leaf(element, qbsimQuantityText(onHandBefore(v, *v.item))); break;
    case CRetRole::ExpenseLines:
        if (o.includeLineItems) writeExpenseLines(v, o, out);
        break;
    case CRetRole::DataExt: writeDataExt(out, "Txn", v.txnId, o.ownerIds); break;
    case CRetRole::HeaderItem:
        // The header's item is the transaction's one item line.
        for (const CTxnLineRow& r : txnLines(v))
            if (r.kind == v.kind->lineKind) {
                writeLineElement(v, element, r, o, out);
                break;
            }
        break;
    }
}

double CQbSimEngine::onHandBefore(CTxnView& v, std::int64_t item) {
    const auto known = v.onHand.find(item);
    if (known != v.onHand.end()) return known->second;
    return v.onHand[item] = renderedOnHand(item, v.date, v.entrySeq);
}

// How many assemblies the parts on hand just before the build would make.
double CQbSimEngine::quantityCanBuild(CTxnView& v) {
    double canBuild = -1;
    CQbSimStmt parts(db, "SELECT ic.component_id, ic.quantity, lo.kind FROM item_component ic "
                         "JOIN list_object lo ON lo.id = ic.component_id WHERE ic.item_id = ?");
    parts.bind(1, *v.item);
    while (parts.step()) {
        if (!qbsimIsStocked(parts.text(2)) || parts.real(1) <= 0) continue;
        const double possible = std::floor(onHandBefore(v, parts.integer(0)) / parts.real(1));
        canBuild = canBuild < 0 ? possible : std::min(canBuild, possible);
    }
    return canBuild < 0 ? 0 : std::max(canBuild, 0.0);
}

const std::vector<CQbSimEngine::CTxnLineRow>& CQbSimEngine::txnLines(CTxnView& v) {
    if (v.lines) return *v.lines;
    CQbSimStmt l(db, "SELECT id, line_kind, txn_line_id, item_id, descr, unit_of_measure, quantity, "
                     "rate, quantity_difference, amount, class_id, customer_id, account_id, "
                     "print_items_in_group, value_difference, group_row "
                     "FROM txn_line WHERE txn_row = ? ORDER BY seq");
    l.bind(1, v.row);
    v.lines.emplace();
    while (l.step())
        v.lines->push_back({l.integer(0), l.text(1), l.text(2), l.optInteger(3), l.optText(4), l.optText(5),
                            l.optReal(6), l.optReal(7), l.optReal(8), l.optInteger(9), l.optInteger(10),
                            l.optInteger(11), l.optInteger(12), l.optInteger(13), l.optInteger(14),
                            l.optInteger(15)});
    return *v.lines;
}

void CQbSimEngine::writeExpenseLines(CTxnView& v, const CRenderOptions& o, CQbSimXmlWriter& out) {
    for (const CTxnLineRow& r : txnLines(v))
        if (r.kind == "Expense") writeLine(v, "ExpenseLineRet", kQbSimExpenseLine, r, o, out);
}

// The lines outside groups in entry order, each group with its item lines.
void CQbSimEngine::writeItemLines(CTxnView& v, const CRenderOptions& o, CQbSimXmlWriter& out) {
    const auto& rows = txnLines(v);
    for (const CTxnLineRow& r : rows) {
        if (r.group) continue;
        if (r.kind == v.kind->lineKind) writeLine(v, v.kind->lineRet, *v.kind->itemLine, r, o, out);
        if (r.kind != "Group") continue;
        out.open(v.kind->groupRet);
        for (const char* element : *v.kind->groupLine) writeLineElement(v, element, r, o, out);
        for (const CTxnLineRow& child : rows)
            if (child.group && *child.group == r.id)
                writeLine(v, v.kind->lineRet, *v.kind->itemLine, child, o, out);
        out.close();
    }
}

void CQbSimEngine::writeLine(CTxnView& v, const char* tag, const CQbSimLineShape& shape,
                             const CTxnLineRow& r, const CRenderOptions& o, CQbSimXmlWriter& out) {
    out.open(tag);
    for (const char* element : shape) writeLineElement(v, element, r, o, out);
    out.close();
}

void CQbSimEngine::writeLineElement(CTxnView& v, const char* element, const CTxnLineRow& r,
                                    const CRenderOptions& o, CQbSimXmlWriter& out) {
    switch (lineRole(element)) {
    case CLineRole::LineId: out.leaf(element, r.lineId); break;
    case CLineRole::Item: writeRef(out, element, r.item); break;
    case CLineRole::Account: writeRef(out, element, r.account); break;
    case CLineRole::Customer: writeRef(out, element, r.customer); break;
    case CLineRole::Class: writeRef(out, element, r.cls); break;
    case CLineRole::Text: out.leaf(element, r.descr); break;
    case CLineRole::Quantity:
        if (r.quantity) out.leaf(element, qbsimQuantityText(*r.quantity));
        break;
    case CLineRole::Unit: out.leaf(element, r.unit); break;
    case CLineRole::Rate:
        if (r.rate) out.leaf(element, qbsimPriceText(*r.rate));
        break;
    case CLineRole::Amount: out.leaf(element, qbsimAmountText(r.amount.value_or(0))); break;
    case CLineRole::PrintItems: out.leafBool(element, r.printItems.value_or(0) != 0); break;
    case CLineRole::QuantityDifference:
        out.leaf(element, qbsimQuantityText(r.quantityDifference.value_or(0)));
        break;
    case CLineRole::ValueDifference:
        // What the ledger posted; a pending adjustment posts nothing.
        out.leaf(element, qbsimAmountText(v.pending ? 0
                                                    : valuation->adjustmentValue(r.id, v.date)
                                                          .value_or(r.valueDifference.value_or(0))));
        break;
    case CLineRole::OnHand: out.leaf(element, qbsimQuantityText(onHandBefore(v, *r.item))); break;
    case CLineRole::Needed: out.leaf(element, qbsimQuantityText(r.quantity.value_or(0))); break;
    case CLineRole::DataExt: writeDataExt(out, "TxnLine", r.lineId, o.ownerIds); break;
    }
}
