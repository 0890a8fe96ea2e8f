// List objects: accounts, classes, customers, vendors, units of measure, currencies
// and items of every kind. Adds check names (unique per name space, ignoring case),
// parents and references the way QuickBooks does; Mods of items and classes check the
// edit sequence first, and a Mod that renames or moves an object carries its sub-objects'
// full names and levels along. The Ret writers follow the order of Intuit's schema.
#include "qbsimengine.h"

#include <tuple>

namespace {

using Attrs = std::vector<std::pair<std::string, std::string>>;

const std::vector<std::string> kAllItemKinds = {"ItemInventory",  "ItemInventoryAssembly",
                                                "ItemNonInventory", "ItemService",
                                                "ItemOtherCharge", "ItemGroup"};
const std::vector<std::string> kAccount = {"Account"};
const std::vector<std::string> kClass = {"Class"};
const std::vector<std::string> kVendor = {"Vendor"};
const std::vector<std::string> kCurrency = {"Currency"};
const std::vector<std::string> kUomSet = {"UnitOfMeasureSet"};

CQbSimEngine::CRenderOptions addOptions(xmlNodePtr rq) {
    CQbSimEngine::CRenderOptions o;
    o.includeLineItems = true;
    o.includeComponentLineItems = true;
    for (xmlNodePtr n : qbsimChildren(rq, "IncludeRetElement")) o.includeRetElements.insert(qbsimText(n));
    return o;
}

std::string cashFlowClassification(const std::string& type) {
    if (type == "OtherCurrentAsset" || type == "AccountsReceivable" || type == "AccountsPayable" ||
        type == "OtherCurrentLiability" || type == "CreditCard")
        return "Operating";
    if (type == "FixedAsset" || type == "OtherAsset") return "Investing";
    if (type == "Equity" || type == "LongTermLiability") return "Financing";
    return "NotApplicable";
}

// Refuses a list object name QuickBooks would not save: empty, too long, or with the
// colon that separates the levels of a full name.
void checkListName(const std::string& name, std::size_t maxLength) {
    if (name.empty()) throw qbsimstatus::invalidValue("Name", name, "The name cannot be empty.");
    qbsimCheckLength(name, "Name", maxLength);
    if (name.find(':') != std::string::npos)
        throw qbsimstatus::invalidValue("Name", name, "A name cannot contain a colon.");
}

}  // namespace

std::optional<CQbSimEngine::CListRow> CQbSimEngine::listRow(std::int64_t row) {
    CQbSimStmt s(db, "SELECT kind, list_id, full_name, sublevel, is_active FROM list_object WHERE id = ?");
    s.bind(1, row);
    if (!s.step()) return std::nullopt;
    return CListRow{row, s.text(0), s.text(1), s.text(2), s.integer(3), s.integer(4) != 0};
}

std::optional<CQbSimEngine::CListRow> CQbSimEngine::findList(const std::string& nameSpace,
                                                             const std::string* listId,
                                                             const std::string* fullName) {
    // ListID wins when both are given, as in QuickBooks.
    CQbSimStmt s(db, listId ? "SELECT id FROM list_object WHERE name_space = ? AND list_id = ?"
                            : "SELECT id FROM list_object WHERE name_space = ? AND full_name = ? "
                              "COLLATE NOCASE");
    s.bind(1, nameSpace).bind(2, listId ? *listId : *fullName);
    if (!s.step()) return std::nullopt;
    return listRow(s.integer(0));
}

std::int64_t CQbSimEngine::resolveRef(xmlNodePtr refNode, const std::vector<std::string>& kinds,
                                      const std::string& nameSpace, const std::string& typeLabel,
                                      const std::string& where) {
    const auto listId = qbsimChildText(refNode, "ListID");
    const auto fullName = qbsimChildText(refNode, "FullName");
    const std::string shown = listId ? *listId : fullName.value_or("");
    if (!listId && !fullName) throw qbsimstatus::invalidReference(typeLabel, shown, where);
    const auto found = findList(nameSpace, listId ? &*listId : nullptr, fullName ? &*fullName : nullptr);
    if (!found) throw qbsimstatus::invalidReference(typeLabel, shown, where);
    for (const auto& k : kinds)
        if (found->kind == k) return found->row;
    throw qbsimstatus::invalidReference(typeLabel, shown, where);
}

std::optional<std::int64_t> CQbSimEngine::optionalRef(xmlNodePtr parent, const char* refName,
                                                      const std::vector<std::string>& kinds,
                                                      const std::string& nameSpace,
                                                      const std::string& typeLabel,
                                                      const std::string& where) {
    xmlNodePtr ref = qbsimChild(parent, refName);
    if (!ref) return std::nullopt;
    return resolveRef(ref, kinds, nameSpace, typeLabel, where);
}

void CQbSimEngine::writeRef(CQbSimXmlWriter& out, const char* tag, std::optional<std::int64_t> row) {
    if (!row) return;
    if (const auto r = listRow(*row)) out.ref(tag, r->listId, r->fullName);
}

std::string CQbSimEngine::accountType(std::int64_t row) {
    CQbSimStmt s(db, "SELECT account_type FROM account WHERE id = ?");
    s.bind(1, row);
    return s.step() ? s.text(0) : std::string();
}

std::int64_t CQbSimEngine::ensureSpecialAccount(const std::string& special, const std::string& name,
                                                const std::string& type) {
    // QuickBooks creates its special accounts (Accounts Payable, Inventory Asset ...)
    // the first time a transaction needs one; an account the user added under that
    // name and type is taken over instead.
    CQbSimStmt bySpecial(db, "SELECT id FROM account WHERE special_type = ?");
    bySpecial.bind(1, special);
    if (bySpecial.step()) return bySpecial.integer(0);
    const auto existing = findList("Account", nullptr, &name);
    if (existing && accountType(existing->row) == type) {
        CQbSimStmt mark(db, "UPDATE account SET special_type = ? WHERE id = ?");
        mark.bind(1, special).bind(2, existing->row).run();
        return existing->row;
    }
    if (existing) throw qbsimstatus::nameInUse(name);
    const std::int64_t t = company.now();
    CQbSimStmt add(db, "INSERT INTO list_object(list_id, kind, name_space, name, full_name, "
                       "time_created, time_modified, edit_sequence) VALUES(?, 'Account', 'Account', "
                       "?, ?, ?, ?, ?)");
    add.bind(1, company.newListId()).bind(2, name).bind(3, name).bind(4, t).bind(5, t)
        .bind(6, std::to_string(t)).run();
    const std::int64_t row = db.lastInsertId();
    CQbSimStmt detail(db, "INSERT INTO account(id, account_type, special_type) VALUES(?, ?, ?)");
    detail.bind(1, row).bind(2, type).bind(3, special).run();
    return row;
}

std::int64_t CQbSimEngine::insertListObject(xmlNodePtr add, const std::string& kind,
                                            const std::string& nameSpace, std::size_t maxNameLength,
                                            const std::vector<std::string>& parentKinds,
                                            const std::string& objectLabel) {
    const std::string name = qbsimChildText(add, "Name").value_or("");
    checkListName(name, maxNameLength);
    std::optional<std::int64_t> parent;
    std::string fullName = name;
    std::int64_t sublevel = 0;
    if (xmlNodePtr parentRef = qbsimChild(add, "ParentRef")) {
        parent = resolveRef(parentRef, parentKinds, nameSpace, objectLabel, objectLabel + " list");
        const auto p = listRow(*parent);
        fullName = p->fullName + ":" + name;
        sublevel = p->sublevel + 1;
        if (sublevel > 4)
            throw qbsimstatus::saveError(objectLabel + " list, element \"" + fullName + "\"",
                                         "A list can have at most five levels.");
    }
    if (findList(nameSpace, nullptr, &fullName)) throw qbsimstatus::nameInUse(fullName);
    const bool active = qbsimParseBool(qbsimChildText(add, "IsActive").value_or("true"));
    const std::int64_t t = company.now();
    CQbSimStmt insert(db, "INSERT INTO list_object(list_id, kind, name_space, name, full_name, "
                          "parent_id, sublevel, is_active, time_created, time_modified, "
                          "edit_sequence) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, company.newListId()).bind(2, kind).bind(3, nameSpace).bind(4, name)
        .bind(5, fullName).bind(6, parent).bind(7, sublevel).bind(8, active ? 1 : 0).bind(9, t)
        .bind(10, t).bind(11, std::to_string(t));
    insert.run();
    return db.lastInsertId();
}

void CQbSimEngine::writeListCore(CQbSimXmlWriter& out, std::int64_t row, bool withFullName) {
    CQbSimStmt s(db, "SELECT list_id, time_created, time_modified, edit_sequence, name, full_name "
                     "FROM list_object WHERE id = ?");
    s.bind(1, row);
    if (!s.step()) return;
    out.leaf("ListID", s.text(0));
    out.leaf("TimeCreated", qbsimDateTimeText(s.integer(1)));
    out.leaf("TimeModified", qbsimDateTimeText(s.integer(2)));
    out.leaf("EditSequence", s.text(3));
    out.leaf("Name", s.text(4));
    if (withFullName) out.leaf("FullName", s.text(5));
}

// ---- Accounts, classes, entities, units, currencies ----

void CQbSimEngine::accountAdd(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    xmlNodePtr add = qbsimChild(rq, "AccountAdd");
    const std::string type = qbsimChildText(add, "AccountType").value_or("");
    if (type.empty()) throw qbsimstatus::invalidValue("AccountType", type, "An account type is required.");
    std::optional<std::int64_t> currency;
    if (xmlNodePtr c = qbsimChild(add, "CurrencyRef")) {
        if (!company.multiCurrency()) throw qbsimstatus::featureNotEnabled();
        currency = resolveRef(c, kCurrency, "Currency", "Currency", "Account");
    }
    const std::int64_t row = insertListObject(add, "Account", "Account", 31, kAccount, "Account");
    // A subaccount has its parent's type.
    if (xmlNodePtr parentRef = qbsimChild(add, "ParentRef")) {
        CQbSimStmt p(db, "SELECT parent_id FROM list_object WHERE id = ?");
        p.bind(1, row);
        if (p.step() && !p.isNull(0) && accountType(p.integer(0)) != type)
            throw qbsimstatus::invalidReference(
                "Account", qbsimChildText(parentRef, "FullName").value_or(""), "Account");
    }
    CQbSimStmt detail(db, "INSERT INTO account(id, account_type, account_number, descr, currency_id) "
                          "VALUES(?, ?, ?, ?, ?)");
    detail.bind(1, row).bind(2, type).bind(3, qbsimChildText(add, "AccountNumber"))
        .bind(4, qbsimChildText(add, "Desc")).bind(5, currency).run();
    const CRenderOptions o = addOptions(rq);
    renderAccount(row, o, out);
}

void CQbSimEngine::renderAccount(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out) {
    CQbSimStmt s(db, "SELECT lo.is_active, lo.parent_id, lo.sublevel, a.account_type, a.special_type, "
                     "a.account_number, a.descr, a.currency_id, lo.list_id FROM list_object lo JOIN "
                     "account a ON a.id = lo.id WHERE lo.id = ?");
    s.bind(1, row);
    if (!s.step()) return;
    out.beginRet("AccountRet", &o.includeRetElements);
    writeListCore(out, row, true);
    out.leafBool("IsActive", s.integer(0) != 0);
    writeRef(out, "ParentRef", s.optInteger(1));
    out.leaf("Sublevel", std::to_string(s.integer(2)));
    out.leaf("AccountType", s.text(3));
    out.leaf("SpecialAccountType", s.optText(4));
    out.leaf("AccountNumber", s.optText(5));
    out.leaf("Desc", s.optText(6));
    out.leaf("CashFlowClassification", cashFlowClassification(s.text(3)));
    if (company.multiCurrency()) {
        std::optional<std::int64_t> currency = s.optInteger(7);
        const std::string home = company.setting("homeCurrency");
        if (!currency) currency = findList("Currency", nullptr, &home).value_or(CListRow{}).row;
        if (*currency) writeRef(out, "CurrencyRef", currency);
    }
    writeDataExt(out, "List", s.text(8), o.ownerIds);
    out.endRet();
}

void CQbSimEngine::classAdd(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const std::int64_t row = insertListObject(qbsimChild(rq, "ClassAdd"), "Class", "Class", 31, kClass, "Class");
    renderClass(row, addOptions(rq), out);
}

void CQbSimEngine::renderClass(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out) {
    CQbSimStmt s(db, "SELECT is_active, parent_id, sublevel FROM list_object WHERE id = ?");
    s.bind(1, row);
    if (!s.step()) return;
    out.beginRet("ClassRet", &o.includeRetElements);
    writeListCore(out, row, true);
    out.leafBool("IsActive", s.integer(0) != 0);
    writeRef(out, "ParentRef", s.optInteger(1));
    out.leaf("Sublevel", std::to_string(s.integer(2)));
    out.endRet();
}

void CQbSimEngine::customerAdd(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    xmlNodePtr add = qbsimChild(rq, "CustomerAdd");
    std::optional<std::int64_t> currency;
    if (xmlNodePtr c = qbsimChild(add, "CurrencyRef")) {
        if (!company.multiCurrency()) throw qbsimstatus::featureNotEnabled();
        currency = resolveRef(c, kCurrency, "Currency", "Currency", "Customer");
    }
    const auto cls = optionalRef(add, "ClassRef", kClass, "Class", "Class", "Customer");
    const std::int64_t row = insertListObject(add, "Customer", "Entity", 41, {"Customer"}, "Customer");
    CQbSimStmt detail(db, "INSERT INTO entity(id, company_name, class_id, currency_id) VALUES(?, ?, ?, ?)");
    detail.bind(1, row).bind(2, qbsimChildText(add, "CompanyName")).bind(3, cls).bind(4, currency).run();
    renderEntity(row, addOptions(rq), out);
}

void CQbSimEngine::vendorAdd(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    xmlNodePtr add = qbsimChild(rq, "VendorAdd");
    std::optional<std::int64_t> currency;
    if (xmlNodePtr c = qbsimChild(add, "CurrencyRef")) {
        if (!company.multiCurrency()) throw qbsimstatus::featureNotEnabled();
        currency = resolveRef(c, kCurrency, "Currency", "Currency", "Vendor");
    }
    const auto cls = optionalRef(add, "ClassRef", kClass, "Class", "Class", "Vendor");
    const std::int64_t row = insertListObject(add, "Vendor", "Entity", 41, {}, "Vendor");
    CQbSimStmt detail(db, "INSERT INTO entity(id, company_name, class_id, currency_id) VALUES(?, ?, ?, ?)");
    detail.bind(1, row).bind(2, qbsimChildText(add, "CompanyName")).bind(3, cls).bind(4, currency).run();
    renderEntity(row, addOptions(rq), out);
}

void CQbSimEngine::renderEntity(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out) {
    CQbSimStmt s(db, "SELECT lo.kind, lo.is_active, lo.parent_id, lo.sublevel, e.company_name, "
                     "e.class_id, e.currency_id, lo.list_id FROM list_object lo JOIN entity e ON "
                     "e.id = lo.id WHERE lo.id = ?");
    s.bind(1, row);
    if (!s.step()) return;
    const bool customer = s.text(0) == "Customer";
    out.beginRet(customer ? "CustomerRet" : "VendorRet", &o.includeRetElements);
    writeListCore(out, row, customer);
    out.leafBool("IsActive", s.integer(1) != 0);
    writeRef(out, "ClassRef", s.optInteger(5));
    if (customer) {
        writeRef(out, "ParentRef", s.optInteger(2));
        out.leaf("Sublevel", std::to_string(s.integer(3)));
    }
    out.leaf("CompanyName", s.optText(4));
    if (customer) out.leaf("JobStatus", "None");
    if (company.multiCurrency()) {
        std::optional<std::int64_t> currency = s.optInteger(6);
        const std::string home = company.setting("homeCurrency");
        if (!currency) currency = findList("Currency", nullptr, &home).value_or(CListRow{}).row;
        if (*currency) writeRef(out, "CurrencyRef", currency);
    }
    writeDataExt(out, "List", s.text(7), o.ownerIds);
    out.endRet();
}

void CQbSimEngine::renderCurrency(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out) {
    CQbSimStmt s(db, "SELECT is_active FROM list_object WHERE id = ?");
    s.bind(1, row);
    if (!s.step()) return;
    out.beginRet("CurrencyRet", &o.includeRetElements);
    writeListCore(out, row, true);
    out.leafBool("IsActive", s.integer(0) != 0);
    out.endRet();
}

void CQbSimEngine::unitOfMeasureSetAdd(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    if (!company.unitsOfMeasure()) throw qbsimstatus::featureNotEnabled();
    xmlNodePtr add = qbsimChild(rq, "UnitOfMeasureSetAdd");
    const std::int64_t row = insertListObject(add, "UnitOfMeasureSet", "UnitOfMeasureSet", 31, {},
                                              "Unit Of Measure Set");
    CQbSimStmt set(db, "INSERT INTO uom_set(id, uom_type) VALUES(?, ?)");
    set.bind(1, row).bind(2, qbsimChildText(add, "UnitOfMeasureType").value_or("Other")).run();
    CQbSimStmt unit(db, "INSERT INTO uom_unit(set_id, seq, name, abbreviation, conversion_ratio) "
                        "VALUES(?, ?, ?, ?, ?)");
    std::set<std::string> names;
    int seq = 0;
    auto addUnit = [&](xmlNodePtr u, double ratio) {
        const std::string name = qbsimChildText(u, "Name").value_or("");
        if (name.empty() || !names.insert(name).second) throw qbsimstatus::nameInUse(name);
        if (!(ratio > 0)) throw qbsimstatus::invalidValue("ConversionRatio", qbsimQuantityText(ratio),
                                                          "The ratio must be greater than zero.");
        unit.bind(1, row).bind(2, seq++).bind(3, name)
            .bind(4, qbsimChildText(u, "Abbreviation").value_or(name)).bind(5, ratio).run();
    };
    addUnit(qbsimChild(add, "BaseUnit"), 1.0);
    for (xmlNodePtr u : qbsimChildren(add, "RelatedUnit"))
        addUnit(u, qbsimParseNumber(qbsimChildText(u, "ConversionRatio").value_or("0")));
    CQbSimStmt def(db, "INSERT OR REPLACE INTO uom_default(set_id, used_for, unit) VALUES(?, ?, ?)");
    for (xmlNodePtr d : qbsimChildren(add, "DefaultUnit")) {
        const std::string u = qbsimChildText(d, "Unit").value_or("");
        if (!names.count(u)) throw qbsimstatus::invalidReference("Unit Of Measure", u, "Unit Of Measure Set");
        def.bind(1, row).bind(2, qbsimChildText(d, "UnitUsedFor").value_or("")).bind(3, u).run();
    }
    renderUnitOfMeasureSet(row, addOptions(rq), out);
}

void CQbSimEngine::renderUnitOfMeasureSet(std::int64_t row, const CRenderOptions& o,
                                          CQbSimXmlWriter& out) {
    CQbSimStmt s(db, "SELECT lo.is_active, u.uom_type FROM list_object lo JOIN uom_set u ON u.id = "
                     "lo.id WHERE lo.id = ?");
    s.bind(1, row);
    if (!s.step()) return;
    out.beginRet("UnitOfMeasureSetRet", &o.includeRetElements);
    writeListCore(out, row, false);
    out.leafBool("IsActive", s.integer(0) != 0);
    out.leaf("UnitOfMeasureType", s.text(1));
    CQbSimStmt units(db, "SELECT seq, name, abbreviation, conversion_ratio FROM uom_unit WHERE "
                         "set_id = ? ORDER BY seq");
    units.bind(1, row);
    while (units.step()) {
        out.open(units.integer(0) == 0 ? "BaseUnit" : "RelatedUnit");
        out.leaf("Name", units.text(1));
        out.leaf("Abbreviation", units.text(2));
        if (units.integer(0) != 0) out.leaf("ConversionRatio", qbsimRateText(units.real(3)));
        out.close();
    }
    CQbSimStmt defaults(db, "SELECT used_for, unit FROM uom_default WHERE set_id = ? ORDER BY used_for");
    defaults.bind(1, row);
    while (defaults.step()) {
        out.open("DefaultUnit");
        out.leaf("UnitUsedFor", defaults.text(0));
        out.leaf("Unit", defaults.text(1));
        out.close();
    }
    out.endRet();
}

// ---- Items ----

void CQbSimEngine::itemAdd(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const std::string rqName = qbsimName(rq);
    const std::string kind = rqName.substr(0, rqName.size() - 5);  // ItemInventoryAddRq -> ItemInventory
    xmlNodePtr add = qbsimChild(rq, kind + "Add");
    const bool stocked = kind == "ItemInventory" || kind == "ItemInventoryAssembly";
    const std::string where = "Item";

    // References are resolved before the item exists, so a bad one leaves nothing.
    const auto cls = optionalRef(add, "ClassRef", kClass, "Class", "Class", where);
    std::optional<std::int64_t> uomSet;
    if (xmlNodePtr u = qbsimChild(add, "UnitOfMeasureSetRef")) {
        if (!company.unitsOfMeasure()) throw qbsimstatus::featureNotEnabled();
        uomSet = resolveRef(u, kUomSet, "UnitOfMeasureSet", "Unit Of Measure Set", where);
    }
    std::optional<std::string> salesDesc, purchaseDesc, descr, specialType;
    std::optional<double> salesPrice, purchaseCost, price, pricePercent, reorder, maxQuantity;
    std::optional<std::int64_t> income, cogs, asset, expense, account, vendor;
    bool singleAccount = false;
    auto number = [](xmlNodePtr parent, const char* name) -> std::optional<double> {
        const auto t = qbsimChildText(parent, name);
        if (!t || t->empty()) return std::nullopt;
        return qbsimParseNumber(*t);
    };
    const std::string name = qbsimChildText(add, "Name").value_or("");
    auto required = [&](std::optional<std::int64_t> ref, const char* what) {
        if (!ref)
            throw qbsimstatus::saveError("Item list, element \"" + name + "\"",
                                         std::string("The item needs ") + what + ".");
    };
    if (stocked) {
        salesDesc = qbsimChildText(add, "SalesDesc");
        salesPrice = number(add, "SalesPrice");
        income = optionalRef(add, "IncomeAccountRef", kAccount, "Account", "Account", where);
        purchaseDesc = qbsimChildText(add, "PurchaseDesc");
        purchaseCost = number(add, "PurchaseCost");
        cogs = optionalRef(add, "COGSAccountRef", kAccount, "Account", "Account", where);
        vendor = optionalRef(add, "PrefVendorRef", kVendor, "Entity", "Vendor", where);
        asset = optionalRef(add, "AssetAccountRef", kAccount, "Account", "Account", where);
        required(income, "an income account");
        required(cogs, "a cost of goods sold account");
        required(asset, "an inventory asset account");
        if (accountType(*asset) != "OtherCurrentAsset")
            throw qbsimstatus::invalidReference(
                "Account", listRow(*asset)->fullName,
                "Item: the asset account must be an other current asset account");
        reorder = number(add, kind == "ItemInventory" ? "ReorderPoint" : "BuildPoint");
        maxQuantity = number(add, "Max");
    } else if (xmlNodePtr sop = qbsimChild(add, "SalesOrPurchase")) {
        singleAccount = true;
        descr = qbsimChildText(sop, "Desc");
        price = number(sop, "Price");
        pricePercent = number(sop, "PricePercent");
        account = optionalRef(sop, "AccountRef", kAccount, "Account", "Account", where);
        required(account, "an account");
    } else if (xmlNodePtr sap = qbsimChild(add, "SalesAndPurchase")) {
        salesDesc = qbsimChildText(sap, "SalesDesc");
        salesPrice = number(sap, "SalesPrice");
        income = optionalRef(sap, "IncomeAccountRef", kAccount, "Account", "Account", where);
        purchaseDesc = qbsimChildText(sap, "PurchaseDesc");
        purchaseCost = number(sap, "PurchaseCost");
        expense = optionalRef(sap, "ExpenseAccountRef", kAccount, "Account", "Account", where);
        vendor = optionalRef(sap, "PrefVendorRef", kVendor, "Entity", "Vendor", where);
        required(income, "an income account");
        required(expense, "an expense account");
    } else if (kind != "ItemGroup") {
        throw qbsimstatus::saveError("Item list, element \"" + name + "\"",
                                     "The item needs SalesOrPurchase or SalesAndPurchase.");
    }
    if (kind == "ItemOtherCharge") specialType = qbsimChildText(add, "SpecialItemType");
    if (kind == "ItemGroup") descr = qbsimChildText(add, "ItemDesc");

    const std::int64_t row =
        insertListObject(add, kind, "Item", 31, kind == "ItemGroup" ? std::vector<std::string>{}
                                                                    : std::vector<std::string>{kind},
                         where);
    CQbSimStmt detail(db, "INSERT INTO item(id, class_id, uom_set_id, manufacturer_part_number, "
                          "bar_code, sales_desc, sales_price, income_account_id, purchase_desc, "
                          "purchase_cost, cogs_account_id, pref_vendor_id, asset_account_id, "
                          "expense_account_id, reorder_point, max_quantity, single_account, descr, "
                          "price, price_percent, account_id, special_item_type, "
                          "print_items_in_group) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                          "?, ?, ?, ?, ?, ?, ?, ?)");
    detail.bind(1, row).bind(2, cls).bind(3, uomSet)
        .bind(4, qbsimChildText(add, "ManufacturerPartNumber"))
        .bind(5, qbsimChildText(qbsimChild(add, "BarCode"), "BarCodeValue")).bind(6, salesDesc)
        .bind(7, salesPrice).bind(8, income).bind(9, purchaseDesc).bind(10, purchaseCost)
        .bind(11, cogs).bind(12, vendor).bind(13, asset).bind(14, expense).bind(15, reorder)
        .bind(16, maxQuantity).bind(17, singleAccount ? 1 : 0).bind(18, descr).bind(19, price)
        .bind(20, pricePercent).bind(21, account).bind(22, specialType);
    if (kind == "ItemGroup")
        detail.bind(23, qbsimParseBool(qbsimChildText(add, "IsPrintItemsInGroup").value_or("false")) ? 1 : 0);
    detail.run();

    // Bills of materials (assemblies) and group contents.
    const bool assembly = kind == "ItemInventoryAssembly";
    const auto lines = qbsimChildren(add, assembly ? "ItemInventoryAssemblyLine" : "ItemGroupLine");
    if (assembly || kind == "ItemGroup") {
        CQbSimStmt component(db, "INSERT INTO item_component(item_id, seq, component_id, quantity, "
                                 "unit_of_measure) VALUES(?, ?, ?, ?, ?)");
        int seq = 0;
        for (xmlNodePtr line : lines) {
            xmlNodePtr ref = qbsimChild(line, assembly ? "ItemInventoryRef" : "ItemRef");
            std::vector<std::string> allowed = {"ItemInventory", "ItemInventoryAssembly",
                                                "ItemNonInventory", "ItemService", "ItemOtherCharge"};
            const std::int64_t part = resolveRef(ref, allowed, "Item", "Item",
                                                 assembly ? "assembly line" : "group line");
            if (part == row)
                throw qbsimstatus::invalidReference("Item", listRow(part)->fullName,
                                                    "assembly line: an item cannot contain itself");
            const auto q = number(line, "Quantity");
            if (q && *q <= 0)
                throw qbsimstatus::invalidValue("Quantity", qbsimQuantityText(*q),
                                                "The quantity must be greater than zero.");
            component.bind(1, row).bind(2, seq++).bind(3, part).bind(4, q.value_or(1.0))
                .bind(5, qbsimChildText(line, "UnitOfMeasure")).run();
        }
    }
    // A starting quantity becomes an inventory adjustment against Opening Balance
    // Equity, as QuickBooks records it.
    if (stocked) {
        const auto onHand = number(add, "QuantityOnHand");
        if (onHand && *onHand != 0) {
            std::int64_t value = 0;
            if (auto total = qbsimChildText(add, "TotalValue"); total && !total->empty()) {
                value = qbsimParseAmount(*total);
            } else {
                const auto cents = qbsimToCents(*onHand * purchaseCost.value_or(0));
                if (!cents) throw qbsimstatus::invalidValue("TotalValue", "", "The value is too large.");
                value = *cents;
            }
            std::string date = qbsimChildText(add, "InventoryDate").value_or("");
            if (date.empty()) date = qbsimToday();
            addOpeningBalance(row, *onHand, value, date);
        }
    }
    renderItem(row, addOptions(rq), out);
}

void CQbSimEngine::renderItem(std::int64_t row, const CRenderOptions& o, CQbSimXmlWriter& out) {
    CQbSimStmt s(db, "SELECT lo.kind, lo.is_active, lo.parent_id, lo.sublevel, i.class_id, "
                     "i.uom_set_id, i.manufacturer_part_number, i.bar_code, i.sales_desc, "
                     "i.sales_price, i.income_account_id, i.purchase_desc, i.purchase_cost, "
                     "i.cogs_account_id, i.pref_vendor_id, i.asset_account_id, i.expense_account_id, "
                     "i.reorder_point, i.max_quantity, i.single_account, i.descr, i.price, "
                     "i.price_percent, i.account_id, i.special_item_type, i.print_items_in_group, "
                     "lo.list_id FROM list_object lo JOIN item i ON i.id = lo.id WHERE lo.id = ?");
    s.bind(1, row);
    if (!s.step()) return;
    const std::string kind = s.text(0);
    const bool stocked = kind == "ItemInventory" || kind == "ItemInventoryAssembly";
    auto price = [&](int column, const char* tag) {
        out.leaf(tag, qbsimPriceText(s.optReal(column).value_or(0)));
    };
    out.beginRet(kind + "Ret", &o.includeRetElements);
    writeListCore(out, row, kind != "ItemGroup");
    out.leaf("BarCodeValue", s.optText(7));
    out.leafBool("IsActive", s.integer(1) != 0);
    if (kind == "ItemGroup") {
        out.leaf("ItemDesc", s.optText(20));
        writeRef(out, "UnitOfMeasureSetRef", s.optInteger(5));
        out.leafBool("IsPrintItemsInGroup", s.optInteger(25).value_or(0) != 0);
    } else {
        writeRef(out, "ClassRef", s.optInteger(4));
        writeRef(out, "ParentRef", s.optInteger(2));
        out.leaf("Sublevel", std::to_string(s.integer(3)));
        if (stocked) out.leaf("ManufacturerPartNumber", s.optText(6));
        if (kind != "ItemOtherCharge") writeRef(out, "UnitOfMeasureSetRef", s.optInteger(5));
    }
    if (stocked) {
        out.leaf("SalesDesc", s.optText(8));
        price(9, "SalesPrice");
        writeRef(out, "IncomeAccountRef", s.optInteger(10));
        out.leaf("PurchaseDesc", s.optText(11));
        price(12, "PurchaseCost");
        writeRef(out, "COGSAccountRef", s.optInteger(13));
        writeRef(out, "PrefVendorRef", s.optInteger(14));
        writeRef(out, "AssetAccountRef", s.optInteger(15));
        if (auto r = s.optReal(17))
            out.leaf(kind == "ItemInventory" ? "ReorderPoint" : "BuildPoint", qbsimQuantityText(*r));
        if (auto m = s.optReal(18)) out.leaf("Max", qbsimQuantityText(*m));
        out.leaf("QuantityOnHand", qbsimQuantityText(quantityOnHand(row)));
        // Evaluating the ledger is the costly part of a Ret; a query that leaves the
        // figure out does not pay for it.
        if (o.includeRetElements.empty() || o.includeRetElements.count("AverageCost"))
            out.leaf("AverageCost", qbsimPriceText(currentAverageCost(row)));
        out.leaf("QuantityOnOrder", "0");
        out.leaf("QuantityOnSalesOrder", "0");
    } else if (kind != "ItemGroup") {
        if (s.integer(19) != 0) {
            out.open("SalesOrPurchase");
            out.leaf("Desc", s.optText(20));
            if (auto pp = s.optReal(22))
                out.leaf("PricePercent", qbsimPriceText(*pp));
            else
                price(21, "Price");
            writeRef(out, "AccountRef", s.optInteger(23));
            out.close();
        } else {
            out.open("SalesAndPurchase");
            out.leaf("SalesDesc", s.optText(8));
            price(9, "SalesPrice");
            writeRef(out, "IncomeAccountRef", s.optInteger(10));
            out.leaf("PurchaseDesc", s.optText(11));
            price(12, "PurchaseCost");
            writeRef(out, "ExpenseAccountRef", s.optInteger(16));
            writeRef(out, "PrefVendorRef", s.optInteger(14));
            out.close();
        }
        if (kind == "ItemOtherCharge") out.leaf("SpecialItemType", s.optText(24));
    }
    if (kind == "ItemInventoryAssembly" || kind == "ItemGroup") {
        const bool assembly = kind == "ItemInventoryAssembly";
        CQbSimStmt parts(db, "SELECT component_id, quantity, unit_of_measure FROM item_component "
                             "WHERE item_id = ? ORDER BY seq");
        parts.bind(1, row);
        while (parts.step()) {
            out.open(assembly ? "ItemInventoryAssemblyLine" : "ItemGroupLine");
            writeRef(out, assembly ? "ItemInventoryRef" : "ItemRef", parts.integer(0));
            out.leaf("Quantity", qbsimQuantityText(parts.real(1)));
            if (!assembly) out.leaf("UnitOfMeasure", parts.optText(2));
            out.close();
        }
    }
    writeDataExt(out, "List", s.text(26), o.ownerIds);
    out.endRet();
}

// ---- Mods ----

void CQbSimEngine::listMod(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const std::string rqName = qbsimName(rq);
    const std::string kind = rqName.substr(0, rqName.size() - 5);  // ClassModRq -> Class
    const bool item = kind != "Class";
    xmlNodePtr mod = qbsimChild(rq, kind + "Mod");
    const std::string listId = qbsimChildText(mod, "ListID").value_or("");
    const auto found = findList(item ? "Item" : "Class", &listId, nullptr);
    if (!found || found->kind != kind) throw qbsimstatus::notFound(listId);
    const std::int64_t row = found->row;
    CQbSimStmt current(db, "SELECT edit_sequence FROM list_object WHERE id = ?");
    current.bind(1, row);
    current.step();
    const std::string sequence = qbsimChildText(mod, "EditSequence").value_or("");
    if (sequence != current.text(0)) throw qbsimstatus::staleEditSequence(sequence);

    // The stand-in changes these fields; it refuses a Mod of any other rather than
    // answering as if the change had been made.
    static const std::set<std::string> classFields = {"ListID", "EditSequence", "Name", "IsActive"};
    static const std::set<std::string> itemFields = {
        "ListID",       "EditSequence", "Name",         "IsActive",          "ParentRef",
        "UnitOfMeasureSetRef", "ForceUOMChange", "SalesDesc", "SalesPrice", "PurchaseDesc",
        "PurchaseCost"};
    for (xmlNodePtr field : qbsimElements(mod))
        if (!(item ? itemFields : classFields).count(qbsimName(field)))
            throw qbsimstatus::invalidValue(qbsimName(field), qbsimText(field),
                                            "The stand-in does not change this field.");

    const std::int64_t t = nextEditTime(sequence);
    std::optional<std::int64_t> active;
    if (auto a = qbsimChildText(mod, "IsActive")) active = qbsimParseBool(*a) ? 1 : 0;
    CQbSimStmt update(db, "UPDATE list_object SET is_active = COALESCE(?, is_active), "
                          "time_modified = ?, edit_sequence = ? WHERE id = ?");
    update.bind(1, active).bind(2, t).bind(3, std::to_string(t)).bind(4, row).run();
    placeListObject(row, mod, item ? "Item" : "Class", kind, item ? "Item" : "Class");
    if (item) {
        changeUnitSet(row, mod);
        changeItemDetails(row, mod);
        renderItem(row, addOptions(rq), out);
    } else {
        renderClass(row, addOptions(rq), out);
    }
}

void CQbSimEngine::placeListObject(std::int64_t row, xmlNodePtr mod, const std::string& nameSpace,
                                   const std::string& kind, const std::string& label) {
    CQbSimStmt current(db, "SELECT name, parent_id FROM list_object WHERE id = ?");
    current.bind(1, row);
    current.step();
    std::string name = current.text(0);
    std::optional<std::int64_t> parent = current.optInteger(1);
    const auto newName = qbsimChildText(mod, "Name");
    xmlNodePtr parentRef = qbsimChild(mod, "ParentRef");
    if ((!newName || *newName == name) && !parentRef) return;
    if (newName && *newName != name) {
        checkListName(*newName, 31);
        name = *newName;
    }
    std::string fullName = name;
    std::int64_t sublevel = 0;
    if (parentRef) parent = resolveRef(parentRef, {kind}, nameSpace, label, label + " list");
    if (parent) {
        // The new parent may not be the object or lie below it: that would make the
        // object its own ancestor.
        CQbSimStmt up(db, "SELECT parent_id FROM list_object WHERE id = ?");
        for (std::optional<std::int64_t> above = parent; above;) {
            if (*above == row)
                throw qbsimstatus::invalidReference(label, listRow(*parent)->fullName,
                                                    label + " list: an object cannot be placed under itself");
            up.bind(1, *above);
            above = up.step() ? up.optInteger(0) : std::nullopt;
            up.reset();
        }
        const auto p = listRow(*parent);
        fullName = p->fullName + ":" + name;
        sublevel = p->sublevel + 1;
    }
    if (const auto other = findList(nameSpace, nullptr, &fullName); other && other->row != row)
        throw qbsimstatus::nameInUse(fullName);

    // Full names are stored whole, so every level below takes the new prefix and level.
    std::vector<std::tuple<std::int64_t, std::string, std::int64_t>> placed = {{row, fullName, sublevel}};
    CQbSimStmt children(db, "SELECT id, name FROM list_object WHERE parent_id = ?");
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const auto [above, aboveName, aboveLevel] = placed[i];
        if (aboveLevel > 4)
            throw qbsimstatus::saveError(label + " list, element \"" + aboveName + "\"",
                                         "A list can have at most five levels.");
        children.bind(1, above);
        while (children.step())
            placed.emplace_back(children.integer(0), aboveName + ":" + children.text(1), aboveLevel + 1);
        children.reset();
    }
    CQbSimStmt move(db, "UPDATE list_object SET name = ?, parent_id = ?, full_name = ?, sublevel = ? "
                        "WHERE id = ?");
    move.bind(1, name).bind(2, parent).bind(3, fullName).bind(4, sublevel).bind(5, row).run();
    CQbSimStmt follow(db, "UPDATE list_object SET full_name = ?, sublevel = ? WHERE id = ?");
    for (std::size_t i = 1; i < placed.size(); ++i) {
        const auto& [below, belowName, belowLevel] = placed[i];
        follow.bind(1, belowName).bind(2, belowLevel).bind(3, below).run();
    }
}

bool CQbSimEngine::itemUsedOnTransactions(std::int64_t row) {
    CQbSimStmt used(db, "SELECT EXISTS(SELECT 1 FROM txn_line WHERE item_id = ?1) OR "
                        "EXISTS(SELECT 1 FROM txn WHERE item_id = ?1)");
    used.bind(1, row);
    return used.step() && used.integer(0) != 0;
}

void CQbSimEngine::changeUnitSet(std::int64_t row, xmlNodePtr mod) {
    xmlNodePtr ref = qbsimChild(mod, "UnitOfMeasureSetRef");
    if (!ref) return;
    if (!company.unitsOfMeasure()) throw qbsimstatus::featureNotEnabled();
    const std::int64_t set = resolveRef(ref, kUomSet, "UnitOfMeasureSet", "Unit Of Measure Set", "Item");
    CQbSimStmt current(db, "SELECT uom_set_id FROM item WHERE id = ?");
    current.bind(1, row);
    current.step();
    if (current.optInteger(0) == set) return;
    // QuickBooks asks before it changes the set of an item already on transactions;
    // ForceUOMChange is the answer. The lines entered keep their unit's name and the
    // quantity as entered, and the base-unit quantity they moved (qty_delta), so the
    // inventory of every date stays what it was.
    const bool force = qbsimParseBool(qbsimChildText(mod, "ForceUOMChange").value_or("false"));
    if (!force && itemUsedOnTransactions(row))
        throw qbsimstatus::saveError("Item list, element \"" + listRow(row)->fullName + "\"",
                                     "The item is used on transactions; its unit of measure set "
                                     "changes only with ForceUOMChange.");
    CQbSimStmt change(db, "UPDATE item SET uom_set_id = ? WHERE id = ?");
    change.bind(1, set).bind(2, row).run();
}

void CQbSimEngine::changeItemDetails(std::int64_t row, xmlNodePtr mod) {
    auto number = [&](const char* tag) -> std::optional<double> {
        const auto text = qbsimChildText(mod, tag);
        if (!text || text->empty()) return std::nullopt;
        return qbsimParseNumber(*text);
    };
    const auto purchaseCost = number("PurchaseCost");
    CQbSimStmt detail(db, "UPDATE item SET sales_desc = COALESCE(?, sales_desc), sales_price = "
                          "COALESCE(?, sales_price), purchase_desc = COALESCE(?, purchase_desc), "
                          "purchase_cost = COALESCE(?, purchase_cost) WHERE id = ?");
    detail.bind(1, qbsimChildText(mod, "SalesDesc")).bind(2, number("SalesPrice"))
        .bind(3, qbsimChildText(mod, "PurchaseDesc")).bind(4, purchaseCost).bind(5, row).run();
    // The ledger moves stock of an item without history at its purchase cost.
    if (purchaseCost) valuation->reset();
}
