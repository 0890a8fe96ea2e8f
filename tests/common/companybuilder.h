// The company of a test written down as an accountant would: its lists, its items and
// the transactions that move their stock, each a line or two, e.g.
//
//     CCompanyBuilder company;
//     company.lists().item("Widget");
//     company.bill("2010-04-01", "B-1").line("Widget", 50, 8.00);
//     company.invoice("2010-04-03", "1001").line("Widget", 60).inClass("East");
//
// requests() gives the qbXML add requests in the order they were written down (the
// envelope is the sender's), every element in the order Intuit's schema asks for.
// Figures are given as numbers or as the exact text to send ("0.1234").
#pragma once

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A quantity or an amount as a request spells it: an integer as it is, any other number
// with two decimals or as many more as it needs, text verbatim.
class CFigure {
public:
    CFigure(int value) : text(std::to_string(value)) {}
    CFigure(double value) : text(format(value)) {}
    CFigure(const char* value) : text(value) {}
    CFigure(std::string value) : text(std::move(value)) {}

    std::string text;

private:
    static std::string format(double value) {
        char buffer[64];
        for (int decimals = 2; decimals < 6; ++decimals) {
            const double scaled = value * std::pow(10.0, decimals);
            if (std::fabs(scaled - std::round(scaled)) < 1e-6) {
                std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
                return buffer;
            }
        }
        std::snprintf(buffer, sizeof buffer, "%.6f", value);
        return buffer;
    }
};

namespace companybuilder {

inline std::string element(const std::string& tag, const std::string& content) {
    return "<" + tag + ">" + content + "</" + tag + ">";
}
inline std::string ref(const std::string& tag, const std::string& fullName) {
    return element(tag, element("FullName", fullName));
}
inline std::string optional(const std::string& tag, const std::string& content) {
    return content.empty() ? std::string() : element(tag, content);
}
// The add request of a kind ("Bill") around its content.
inline std::string addRequest(const std::string& kind, const std::string& content) {
    return element(kind + "AddRq", element(kind + "Add", content));
}

class CEntry {
public:
    virtual ~CEntry() = default;
    virtual std::string text() const = 0;
};

class CRawEntry final : public CEntry {
public:
    explicit CRawEntry(std::string requests) : requests(std::move(requests)) {}
    std::string text() const override { return requests; }

private:
    std::string requests;
};

}  // namespace companybuilder

// Requests about a transaction already entered, each named by its TxnID (a query by
// RefNumber finds it, and its EditSequence):
//
//     companybuilder::refNumberQuery("Bill", "B-1");
//     companybuilder::voidRequest("Bill", txnId);
//     CAdjustmentMod(txnId, editSequence).quantityDifference(lineId, -20).date("2010-04-09");
namespace companybuilder {

// The query that finds the transactions of the type with the reference number.
inline std::string refNumberQuery(const std::string& type, const std::string& refNumber) {
    return element(type + "QueryRq", element("RefNumber", refNumber));
}
inline std::string voidRequest(const std::string& type, const std::string& txnId) {
    return element("TxnVoidRq", element("TxnVoidType", type) + element("TxnID", txnId));
}

}  // namespace companybuilder

// An edit of an inventory adjustment (InventoryAdjustmentModRq). Once a line is named,
// the lines named are the adjustment's lines: name every line to keep (keep()), TxnLineID
// "-1" adds one (newLine()).
class CAdjustmentMod {
public:
    CAdjustmentMod(std::string txnId, std::string editSequence)
        : txnId(std::move(txnId)), editSequence(std::move(editSequence)) {}

    CAdjustmentMod& date(const std::string& value) { txnDate = value; return *this; }
    CAdjustmentMod& memo(const std::string& value) { memoText = value; return *this; }
    CAdjustmentMod& keep(const std::string& lineId) { return line(lineId, ""); }
    CAdjustmentMod& quantityDifference(const std::string& lineId, CFigure q) {
        return line(lineId, companybuilder::element("QuantityDifference", q.text));
    }
    CAdjustmentMod& valueDifference(const std::string& lineId, CFigure v) {
        return line(lineId, companybuilder::element("ValueDifference", v.text));
    }
    // A new line of the item: a quantity found or lost, or a value difference.
    CAdjustmentMod& newQuantityLine(const std::string& item, CFigure q) {
        return line("-1", companybuilder::ref("ItemRef", item) + companybuilder::element("QuantityDifference", q.text));
    }
    CAdjustmentMod& newValueLine(const std::string& item, CFigure v) {
        return line("-1", companybuilder::ref("ItemRef", item) + companybuilder::element("ValueDifference", v.text));
    }

    operator std::string() const {
        using namespace companybuilder;
        std::string body = element("TxnID", txnId) + element("EditSequence", editSequence) +
                           optional("TxnDate", txnDate) + optional("Memo", memoText);
        for (const auto& [lineId, content] : lines)
            body += element("InventoryAdjustmentLineMod", element("TxnLineID", lineId) + content);
        return element("InventoryAdjustmentModRq", element("InventoryAdjustmentMod", body));
    }

private:
    // A second figure of the line named last (a quantity, then a value) joins it.
    CAdjustmentMod& line(const std::string& lineId, const std::string& content) {
        if (!lines.empty() && lineId != "-1" && lines.back().first == lineId)
            lines.back().second += content;
        else
            lines.emplace_back(lineId, content);
        return *this;
    }
    std::string txnId, editSequence, txnDate, memoText;
    std::vector<std::pair<std::string, std::string>> lines;
};

// The account, vendor and customer names transactions use unless told otherwise.
struct CCompanyNames {
    std::string vendor = "Acme Supply";
    std::string customer = "Bright Shop";
    std::string bank = "Checking";
    std::string card = "Visa";
    std::string income = "Sales";
    std::string cogs = "Cost of Goods Sold";
    std::string asset = "Inventory Asset";
};

// An inventory item, an assembly, a group or a service item.
class CItemEntry final : public companybuilder::CEntry {
public:
    enum Kind { kInventory, kAssembly, kGroup, kService };
    CItemEntry(Kind kind, std::string name, const CCompanyNames& names)
        : kind(kind), name(std::move(name)), names(names) {}

    // The parent item, of a sub-item.
    CItemEntry& parent(const std::string& item) { parentName = item; return *this; }
    // Its unit of measure set.
    CItemEntry& units(const std::string& set) { unitSet = set; return *this; }
    CItemEntry& price(CFigure value) { salesPrice = value.text; return *this; }
    CItemEntry& cost(CFigure value) { purchaseCost = value.text; return *this; }
    // Elements sent as they are after the parent (an item's UnitOfMeasureSetRef, say).
    CItemEntry& extra(const std::string& elements) { extraElements = elements; return *this; }
    // A component of an assembly or a member of a group, `quantity` of it a unit.
    CItemEntry& part(const std::string& item, CFigure quantity) {
        parts.emplace_back(item, quantity.text);
        return *this;
    }

    // The item's request on its own.
    operator std::string() const { return text(); }

    std::string text() const override {
        using namespace companybuilder;
        const std::string accounts =
            ref("IncomeAccountRef", names.income) + optional("PurchaseCost", purchaseCost) +
            ref("COGSAccountRef", names.cogs) + ref("AssetAccountRef", names.asset);
        std::string body = element("Name", name);
        switch (kind) {
        case kInventory:
            body += (parentName.empty() ? "" : ref("ParentRef", parentName)) + extraElements +
                    (unitSet.empty() ? "" : ref("UnitOfMeasureSetRef", unitSet)) +
                    optional("SalesPrice", salesPrice) + accounts;
            return addRequest("ItemInventory", body);
        case kAssembly:
            body += accounts;
            for (const auto& [item, quantity] : parts)
                body += element("ItemInventoryAssemblyLine",
                                ref("ItemInventoryRef", item) + element("Quantity", quantity));
            return addRequest("ItemInventoryAssembly", body);
        case kGroup:
            for (const auto& [item, quantity] : parts)
                body += element("ItemGroupLine", ref("ItemRef", item) + element("Quantity", quantity));
            return addRequest("ItemGroup", body);
        case kService:
            body += element("SalesOrPurchase", element("Price", salesPrice) + ref("AccountRef", names.income));
            return addRequest("ItemService", body);
        }
        return {};
    }

private:
    Kind kind;
    std::string name;
    const CCompanyNames& names;
    std::string parentName, unitSet, salesPrice, purchaseCost, extraElements;
    std::vector<std::pair<std::string, std::string>> parts;
};

// A transaction: its head (who, when, which number) and its lines. The modifiers
// unit(), inClass() and rate() apply to the line written last.
class CTxnEntry final : public companybuilder::CEntry {
public:
    // What decides the head's elements and the lines' names.
    enum Form { kVendor, kCheck, kCard, kSale, kAdjustment, kBuild, kCharge };
    CTxnEntry(std::string kind, Form form, std::string party, std::string date, std::string ref)
        : kind(std::move(kind)), form(form), party(std::move(party)), date(std::move(date)),
          refNumber(std::move(ref)) {}

    // A purchase or return line of `quantity` at `cost` each.
    CTxnEntry& line(const std::string& item, CFigure quantity, CFigure cost) {
        return add(makeLine(kItem, item, quantity.text, cost.text));
    }
    // A sales line of `quantity`.
    CTxnEntry& line(const std::string& item, CFigure quantity) {
        return add(makeLine(kItem, item, quantity.text));
    }
    // A purchase line of `quantity` for the line's whole amount.
    CTxnEntry& lineAmount(const std::string& item, CFigure quantity, CFigure amount) {
        CLine l = makeLine(kItem, item, quantity.text);
        l.amount = amount.text;
        return add(l);
    }
    // A purchase line of an amount alone, without a quantity (freight, a rebate).
    CTxnEntry& amount(const std::string& item, CFigure value) {
        CLine l = makeLine(kItem, item);
        l.amount = value.text;
        return add(l);
    }
    // An expense line of the account.
    CTxnEntry& expense(const std::string& account, CFigure value) {
        using namespace companybuilder;
        expenses.push_back(element("ExpenseLineAdd", ref("AccountRef", account) + element("Amount", value.text)));
        return *this;
    }
    // The one item of a statement charge: `quantity` of it at the item's price or at `rate`.
    CTxnEntry& item(const std::string& name, CFigure quantity) { return line(name, quantity); }
    CTxnEntry& item(const std::string& name, CFigure quantity, CFigure rate) {
        return line(name, quantity).rate(rate);
    }
    // A line of an item group.
    CTxnEntry& group(const std::string& name, CFigure quantity) {
        return add(makeLine(kGroupLine, name, quantity.text));
    }

    // Inventory adjustment lines: a quantity found or lost, a quantity counted, a new
    // value, a value difference, or the adjustment element as given.
    CTxnEntry& quantityDifference(const std::string& item, CFigure d) {
        return adjust(item, element2("QuantityAdjustment", "QuantityDifference", d.text));
    }
    CTxnEntry& newQuantity(const std::string& item, CFigure q) {
        return adjust(item, element2("QuantityAdjustment", "NewQuantity", q.text));
    }
    CTxnEntry& newValue(const std::string& item, CFigure v) {
        return adjust(item, element2("ValueAdjustment", "NewValue", v.text));
    }
    CTxnEntry& valueDifference(const std::string& item, CFigure v) {
        return adjust(item, element2("ValueAdjustment", "ValueDifference", v.text));
    }
    CTxnEntry& adjust(const std::string& item, const std::string& adjustment) {
        CLine l = makeLine(kAdjustmentLine, item);
        l.body = adjustment;
        return add(l);
    }

    CTxnEntry& unit(const std::string& name) { lines.back().unit = name; return *this; }
    CTxnEntry& inClass(const std::string& name) { lines.back().className = name; return *this; }
    CTxnEntry& rate(CFigure value) { lines.back().rate = value.text; return *this; }

    // Head modifiers: a sale left pending, a purchase in a foreign currency, a build
    // QuickBooks may mark pending, a build's quantity.
    CTxnEntry& pending() { isPending = true; return *this; }
    CTxnEntry& exchangeRate(CFigure rate) { exchange = rate.text; return *this; }
    CTxnEntry& markPendingIfRequired() { markPending = true; return *this; }
    CTxnEntry& quantity(CFigure q) { buildQuantity = q.text; return *this; }
    // The transaction's memo.
    CTxnEntry& memo(const std::string& text) { memoText = text; return *this; }

    // The transaction's request on its own.
    operator std::string() const { return text(); }

    std::string text() const override {
        using namespace companybuilder;
        std::string head;
        const std::string dateAndRef = element("TxnDate", date) + optional("RefNumber", refNumber);
        const std::string memo = optional("Memo", memoText);
        switch (form) {
        case kVendor: head = ref("VendorRef", party) + dateAndRef + memo + optional("ExchangeRate", exchange); break;
        case kCheck:
            head = party + optional("RefNumber", refNumber) + element("TxnDate", date) + memo +
                   optional("ExchangeRate", exchange);
            break;
        case kCard: head = party + dateAndRef + memo + optional("ExchangeRate", exchange); break;
        case kSale:
            head = ref("CustomerRef", party) + dateAndRef + (isPending ? element("IsPending", "true") : "") + memo;
            break;
        case kAdjustment: head = ref("AccountRef", party) + dateAndRef + memo; break;
        case kCharge: return addRequest(kind, ref("CustomerRef", party) + dateAndRef + chargeItem());
        case kBuild:
            head = ref("ItemInventoryAssemblyRef", party) + dateAndRef + memo +
                   element("QuantityToBuild", buildQuantity) +
                   (markPending ? element("MarkPendingIfRequired", "true") : "");
            break;
        }
        std::string body;
        for (const std::string& e : expenses) body += e;
        for (const CLine& l : lines) body += lineText(l);
        return addRequest(kind, head + body);
    }

private:
    enum LineKind { kItem, kGroupLine, kAdjustmentLine };
    struct CLine {
        LineKind kind = kItem;
        std::string item, quantity, cost, amount, unit, className, rate, body;
    };
    static CLine makeLine(LineKind kind, const std::string& item, const std::string& quantity = "",
                          const std::string& cost = "") {
        CLine l;
        l.kind = kind;
        l.item = item;
        l.quantity = quantity;
        l.cost = cost;
        return l;
    }

    static std::string element2(const std::string& outer, const std::string& inner, const std::string& value) {
        return companybuilder::element(outer, companybuilder::element(inner, value));
    }
    CTxnEntry& add(const CLine& l) { lines.push_back(l); return *this; }

    // A statement charge's item is part of its head (a charge has no memo).
    std::string chargeItem() const {
        using namespace companybuilder;
        if (lines.empty()) return {};
        const CLine& l = lines.front();
        return ref("ItemRef", l.item) + optional("Quantity", l.quantity) + optional("UnitOfMeasure", l.unit) +
               optional("Rate", l.rate) + optional("Amount", l.amount) +
               (l.className.empty() ? "" : ref("ClassRef", l.className));
    }

    std::string lineText(const CLine& l) const {
        using namespace companybuilder;
        const bool sale = form == kSale;
        if (l.kind == kAdjustmentLine) return element("InventoryAdjustmentLineAdd", ref("ItemRef", l.item) + l.body);
        if (l.kind == kGroupLine) {
            const std::string tag = sale ? kind + "LineGroupAdd" : "ItemGroupLineAdd";
            return element(tag, ref("ItemGroupRef", l.item) + element("Quantity", l.quantity) +
                                    optional("UnitOfMeasure", l.unit));
        }
        const std::string quantity = optional("Quantity", l.quantity) + optional("UnitOfMeasure", l.unit);
        if (sale) {
            return element(kind + "LineAdd", ref("ItemRef", l.item) + quantity + optional("Rate", l.rate) +
                                                 (l.className.empty() ? "" : ref("ClassRef", l.className)) +
                                                 optional("Amount", l.amount));
        }
        return element("ItemLineAdd", ref("ItemRef", l.item) + quantity + optional("Cost", l.cost) +
                                          optional("Amount", l.amount) +
                                          (l.className.empty() ? "" : ref("ClassRef", l.className)));
    }

    std::string kind;
    Form form;
    std::string party, date, refNumber;
    std::string exchange, buildQuantity = "1", memoText;
    bool isPending = false, markPending = false;
    std::vector<std::string> expenses;
    std::vector<CLine> lines;
};

class CCompanyBuilder {
public:
    explicit CCompanyBuilder(CCompanyNames names = {}) : names(std::move(names)) {}
    CCompanyBuilder(const CCompanyBuilder&) = delete;
    CCompanyBuilder& operator=(const CCompanyBuilder&) = delete;

    // The lists the companies of the tests share: the accounts (a bank, a card, income,
    // cost of goods sold, the inventory asset), the classes East and West, the vendor
    // and the customer.
    CCompanyBuilder& lists() {
        account(names.bank, "Bank").account(names.card, "CreditCard").account(names.income, "Income");
        account(names.cogs, "CostOfGoodsSold").account(names.asset, "OtherCurrentAsset");
        return className("East").className("West").vendor(names.vendor).customer(names.customer);
    }
    CCompanyBuilder& account(const std::string& name, const std::string& type) {
        using namespace companybuilder;
        return raw(addRequest("Account", element("Name", name) + element("AccountType", type)));
    }
    CCompanyBuilder& className(const std::string& name) {
        return raw(companybuilder::addRequest("Class", companybuilder::element("Name", name)));
    }
    CCompanyBuilder& vendor(const std::string& name) {
        return raw(companybuilder::addRequest("Vendor", companybuilder::element("Name", name)));
    }
    CCompanyBuilder& customer(const std::string& name) {
        return raw(companybuilder::addRequest("Customer", companybuilder::element("Name", name)));
    }
    // A Count set of the base unit Each (ea) and one related unit of `ratio` Each.
    CCompanyBuilder& unitSet(const std::string& name, const std::string& unit, CFigure ratio) {
        using namespace companybuilder;
        return raw(addRequest("UnitOfMeasureSet",
                              element("Name", name) + element("UnitOfMeasureType", "Count") +
                                  element("BaseUnit", element("Name", "Each") + element("Abbreviation", "ea")) +
                                  element("RelatedUnit", element("Name", unit) + element("Abbreviation", unit) +
                                                             element("ConversionRatio", ratio.text))));
    }
    // Requests sent as they are.
    CCompanyBuilder& raw(const std::string& requests) {
        entries.push_back(std::make_unique<companybuilder::CRawEntry>(requests));
        return *this;
    }

    CItemEntry& item(const std::string& name) { return itemOf(CItemEntry::kInventory, name); }
    CItemEntry& assembly(const std::string& name) { return itemOf(CItemEntry::kAssembly, name); }
    CItemEntry& itemGroup(const std::string& name) { return itemOf(CItemEntry::kGroup, name); }
    CItemEntry& service(const std::string& name, CFigure price) {
        return itemOf(CItemEntry::kService, name).price(price);
    }

    // From the vendor.
    CTxnEntry& bill(const std::string& date, const std::string& ref = "") { return vendorTxn("Bill", date, ref); }
    CTxnEntry& itemReceipt(const std::string& date, const std::string& ref = "") {
        return vendorTxn("ItemReceipt", date, ref);
    }
    CTxnEntry& vendorCredit(const std::string& date, const std::string& ref = "") {
        return vendorTxn("VendorCredit", date, ref);
    }
    // Paid from the bank account, or on the card.
    CTxnEntry& check(const std::string& date, const std::string& ref = "") {
        return txn("Check", CTxnEntry::kCheck, payee(names.bank), date, ref);
    }
    CTxnEntry& cardCharge(const std::string& date, const std::string& ref = "", const std::string& card = "") {
        return txn("CreditCardCharge", CTxnEntry::kCard, payee(card.empty() ? names.card : card), date, ref);
    }
    CTxnEntry& cardCredit(const std::string& date, const std::string& ref = "", const std::string& card = "") {
        return txn("CreditCardCredit", CTxnEntry::kCard, payee(card.empty() ? names.card : card), date, ref);
    }
    // To the customer.
    CTxnEntry& invoice(const std::string& date, const std::string& ref = "") { return sale("Invoice", date, ref); }
    CTxnEntry& salesReceipt(const std::string& date, const std::string& ref = "") {
        return sale("SalesReceipt", date, ref);
    }
    CTxnEntry& creditMemo(const std::string& date, const std::string& ref = "") {
        return sale("CreditMemo", date, ref);
    }
    // A statement charge to the customer, of one item (item()).
    CTxnEntry& charge(const std::string& date, const std::string& ref = "") {
        return txn("Charge", CTxnEntry::kCharge, names.customer, date, ref);
    }
    // An inventory adjustment booked to the account (cost of goods sold unless told).
    CTxnEntry& adjustment(const std::string& date, const std::string& account = "") {
        return txn("InventoryAdjustment", CTxnEntry::kAdjustment, account.empty() ? names.cogs : account, date, "");
    }
    // A build of one assembly (quantity() for more).
    CTxnEntry& build(const std::string& date, const std::string& assembly, const std::string& ref = "") {
        return txn("BuildAssembly", CTxnEntry::kBuild, assembly, date, ref);
    }

    // The add requests written down so far.
    std::string requests() const {
        std::string text;
        for (const auto& entry : entries) text += entry->text();
        return text;
    }
    operator std::string() const { return requests(); }

    const CCompanyNames& namesUsed() const { return names; }

private:
    std::string payee(const std::string& account) const {
        return companybuilder::ref("AccountRef", account) + companybuilder::ref("PayeeEntityRef", names.vendor);
    }
    template <class T>
    T& keep(std::unique_ptr<T> entry) {
        T& kept = *entry;
        entries.push_back(std::move(entry));
        return kept;
    }
    CItemEntry& itemOf(CItemEntry::Kind kind, const std::string& name) {
        return keep(std::make_unique<CItemEntry>(kind, name, names));
    }
    CTxnEntry& txn(const std::string& kind, CTxnEntry::Form form, const std::string& party, const std::string& date,
                   const std::string& ref) {
        return keep(std::make_unique<CTxnEntry>(kind, form, party, date, ref));
    }
    CTxnEntry& vendorTxn(const std::string& kind, const std::string& date, const std::string& ref) {
        return txn(kind, CTxnEntry::kVendor, names.vendor, date, ref);
    }
    CTxnEntry& sale(const std::string& kind, const std::string& date, const std::string& ref) {
        return txn(kind, CTxnEntry::kSale, names.customer, date, ref);
    }

    CCompanyNames names;
    std::vector<std::unique_ptr<companybuilder::CEntry>> entries;
};
