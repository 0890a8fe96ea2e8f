// The host, company and preferences queries, and QuickBooks custom fields (DataExt):
// definitions per owner (OwnerID "0" for the public fields QuickBooks users see, a GUID
// for an application's private ones) and their values on the company, on list objects,
// on transactions and on transaction lines. Writing or deleting a value on a transaction
// or one of its lines is a modification of the transaction, as in QuickBooks: it gets a
// new TimeModified and EditSequence.
//
// A private definition, once deleted, cannot be defined again under the same name and
// OwnerID (Intuit's reference for DataExtDefDel): the file remembers such deletions in a
// table of its own, made by the first one.
#include "qbsimengine.h"

#include <algorithm>
#include <regex>

namespace {

using Attrs = std::vector<std::pair<std::string, std::string>>;

bool sameOwner(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Checks a custom field value against its declared type; throws 3210 when it does not fit.
void checkDataExtValue(const std::string& type, const std::string& value) {
    static const std::regex integer(R"([+-]?\d{1,10})");
    static const std::regex amount(R"([+-]?\d{1,13}(\.\d{1,2})?)");
    static const std::regex decimal(R"([+-]?\d{1,10}(\.\d{1,5})?)");
    bool ok = true;
    if (type == "INTTYPE") ok = std::regex_match(value, integer);
    else if (type == "AMTTYPE") ok = std::regex_match(value, amount);
    else if (type == "PRICETYPE" || type == "QUANTYPE" || type == "PERCENTTYPE")
        ok = std::regex_match(value, decimal);
    else if (type == "DATETIMETYPE") ok = qbsimParseDateTime(value).has_value();
    else if (type == "STR255TYPE") ok = value.size() <= 255;
    else if (type == "STR1024TYPE") ok = value.size() <= 1024;
    if (!ok)
        throw qbsimstatus::invalidValue("DataExtValue", value,
                                        "The value does not fit the custom field's type " + type + ".");
}

constexpr const char* kDeletedDefinitions =
    "CREATE TABLE IF NOT EXISTS dataext_def_deleted(owner_id TEXT NOT NULL, name TEXT NOT NULL, "
    "PRIMARY KEY(owner_id, name))";

bool deletedPrivateDefinition(CQbSimDb& db, const std::string& owner, const std::string& name) {
    if (owner == "0") return false;
    {
        CQbSimStmt table(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'dataext_def_deleted'");
        if (!table.step()) return false;
    }
    CQbSimStmt deleted(db, "SELECT 1 FROM dataext_def_deleted WHERE owner_id = ? COLLATE NOCASE AND "
                           "name = ? COLLATE NOCASE");
    deleted.bind(1, owner).bind(2, name);
    return deleted.step();
}

}  // namespace

void CQbSimEngine::hostQuery(xmlNodePtr, CQbSimXmlWriter& out, Attrs&) {
    out.open("HostRet");
    out.leaf("ProductName", qbsimProductName(company.edition()));
    out.leaf("MajorVersion", "26");
    out.leaf("MinorVersion", "0");
    out.leaf("Country", "US");
    for (const char* v : {"1.0", "1.1", "2.0", "2.1", "3.0", "4.0", "4.1", "5.0", "6.0", "7.0",
                          "8.0", "9.0", "10.0", "11.0", "12.0", "13.0", "14.0", "15.0", "16.0"})
        out.leaf("SupportedQBXMLVersion", v);
    out.leafBool("IsAutomaticLogin", false);
    out.leaf("QBFileMode", multiUser ? "MultiUser" : "SingleUser");
    out.close();
}

void CQbSimEngine::companyQuery(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const CRenderOptions o = renderOptions(rq);
    out.beginRet("CompanyRet", &o.includeRetElements);
    out.leafBool("IsSampleCompany", false);
    out.leaf("CompanyName", company.companyName());
    out.leaf("LegalCompanyName", company.companyName());
    out.leaf("FirstMonthFiscalYear", "January");
    out.leaf("FirstMonthIncomeTaxYear", "January");
    writeDataExt(out, "Company", "", o.ownerIds);
    out.endRet();
}

void CQbSimEngine::preferencesQuery(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const CRenderOptions o = renderOptions(rq);
    out.beginRet("PreferencesRet", &o.includeRetElements);
    out.open("AccountingPreferences");
    out.leafBool("IsUsingAccountNumbers", false);
    out.leafBool("IsRequiringAccounts", true);
    out.leafBool("IsUsingClassTracking", true);
    out.leafBool("IsUsingAuditTrail", true);
    out.leafBool("IsAssigningJournalEntryNumbers", true);
    if (!company.closingDate().empty()) out.leaf("ClosingDate", company.closingDate());
    out.close();
    out.open("FinanceChargePreferences");
    out.leaf("GracePeriod", "0");
    out.leafBool("IsAssessingForOverdueCharges", false);
    out.leaf("CalculateChargesFrom", "DueDate");
    out.leafBool("IsMarkedToBePrinted", false);
    out.close();
    out.open("JobsAndEstimatesPreferences");
    out.leafBool("IsUsingEstimates", false);
    out.leafBool("IsUsingProgressInvoicing", false);
    out.leafBool("IsPrintingItemsWithZeroAmounts", false);
    out.close();
    out.open("MultiCurrencyPreferences");
    out.leafBool("IsMultiCurrencyOn", company.multiCurrency());
    if (company.multiCurrency()) {
        const std::string home = company.setting("homeCurrency");
        if (const auto h = findList("Currency", nullptr, &home)) out.ref("HomeCurrencyRef", h->listId, h->fullName);
    }
    out.close();
    out.open("MultiLocationInventoryPreferences");
    // Available where Advanced Inventory is: an Enterprise file with sites or serial or
    // lot numbers on.
    const bool advancedInventory = company.inventorySites() || company.serialOrLot() != "None";
    out.leafBool("IsMultiLocationInventoryAvailable", advancedInventory);
    out.leafBool("IsMultiLocationInventoryEnabled", company.inventorySites());
    out.close();
    out.open("PurchasesAndVendorsPreferences");
    out.leafBool("IsUsingInventory", true);
    out.leaf("DaysBillsAreDue", "10");
    out.leafBool("IsAutomaticallyUsingDiscounts", false);
    out.close();
    out.open("ReportsPreferences");
    out.leaf("AgingReportBasis", "AgeFromDueDate");
    out.leaf("SummaryReportBasis", "Accrual");
    out.close();
    out.open("SalesAndCustomersPreferences");
    out.leafBool("IsTrackingReimbursedExpensesAsIncome", false);
    out.leafBool("IsAutoApplyingPayments", true);
    out.close();
    out.open("TimeTrackingPreferences");
    out.leaf("FirstDayOfWeek", "Sunday");
    out.close();
    out.open("CurrentAppAccessRights");
    out.leafBool("IsAutomaticLoginAllowed", false);
    out.leafBool("IsPersonalDataAccessAllowed", false);
    out.close();
    out.open("ItemsAndInventoryPreferences");
    out.leafBool("EnhancedInventoryReceivingEnabled", company.enhancedReceiving());
    out.leaf("IsTrackingSerialOrLotNumber", company.serialOrLot());
    out.leafBool("FIFOEnabled", company.fifo());
    if (company.fifo()) out.leaf("FIFOEffectiveDate", company.fifoEffectiveDate());
    out.leafBool("IsRSBEnabled", false);
    out.leafBool("IsBarcodeEnabled", false);
    out.close();
    out.endRet();
}

void CQbSimEngine::writeDataExt(CQbSimXmlWriter& out, const std::string& objectKind,
                                const std::string& objectKey, const std::vector<std::string>& ownerIds,
                                const char* tag) {
    if (ownerIds.empty()) return;
    CQbSimStmt values(db, "SELECT d.owner_id, d.name, d.data_ext_type, v.value FROM dataext_value v "
                          "JOIN dataext_def d ON d.id = v.def_id WHERE v.object_kind = ? AND "
                          "v.object_key = ? ORDER BY d.id");
    values.bind(1, objectKind).bind(2, objectKey);
    while (values.step()) {
        const std::string owner = values.text(0);
        if (std::none_of(ownerIds.begin(), ownerIds.end(),
                         [&](const std::string& o) { return sameOwner(o, owner); }))
            continue;
        out.open(tag);
        out.leaf("OwnerID", owner);
        out.leaf("DataExtName", values.text(1));
        out.leaf("DataExtType", values.text(2));
        out.leaf("DataExtValue", values.text(3));
        out.close();
    }
}

void CQbSimEngine::deleteDataExtOf(const std::string& objectKind, const std::string& objectKey) {
    CQbSimStmt del(db, "DELETE FROM dataext_value WHERE object_kind = ? AND object_key = ?");
    del.bind(1, objectKind).bind(2, objectKey).run();
}

namespace {
void writeDefinition(CQbSimDb& db, CQbSimXmlWriter& out, std::int64_t def) {
    CQbSimStmt s(db, "SELECT owner_id, data_ext_id, name, data_ext_type, list_require, txn_require, "
                     "format_string FROM dataext_def WHERE id = ?");
    s.bind(1, def);
    if (!s.step()) return;
    out.open("DataExtDefRet");
    out.leaf("OwnerID", s.text(0));
    out.leaf("DataExtID", std::to_string(s.integer(1)));
    out.leaf("DataExtName", s.text(2));
    out.leaf("DataExtType", s.text(3));
    CQbSimStmt assigned(db, "SELECT object FROM dataext_assign WHERE def_id = ? ORDER BY seq");
    assigned.bind(1, def);
    while (assigned.step()) out.leaf("AssignToObject", assigned.text(0));
    out.leafBool("DataExtListRequire", s.integer(4) != 0);
    out.leafBool("DataExtTxnRequire", s.integer(5) != 0);
    out.leaf("DataExtFormatString", s.text(6));
    out.close();
}
}  // namespace

void CQbSimEngine::dataExtDefAdd(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    xmlNodePtr add = qbsimChild(rq, "DataExtDefAdd");
    const std::string owner = qbsimChildText(add, "OwnerID").value_or("0");
    const std::string name = qbsimChildText(add, "DataExtName").value_or("");
    if (name.empty() || qbsimCharacterCount(name) > 31)
        throw qbsimstatus::invalidValue("DataExtName", name,
                                        "A custom field name has 1 to 31 characters.");
    CQbSimStmt exists(db, "SELECT 1 FROM dataext_def WHERE owner_id = ? COLLATE NOCASE AND name = ? "
                          "COLLATE NOCASE");
    exists.bind(1, owner).bind(2, name);
    if (exists.step() || deletedPrivateDefinition(db, owner, name)) throw qbsimstatus::nameInUse(name);
    const auto assignTo = qbsimChildren(add, "AssignToObject");
    if (owner == "0" && assignTo.empty())
        throw qbsimstatus::invalidValue("AssignToObject", "",
                                        "A public custom field must be assigned to an object.");
    CQbSimStmt insert(db, "INSERT INTO dataext_def(data_ext_id, owner_id, name, data_ext_type, "
                          "list_require, txn_require, format_string) VALUES(?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, company.nextDataExtId()).bind(2, owner).bind(3, name)
        .bind(4, qbsimChildText(add, "DataExtType").value_or("STR255TYPE"))
        .bind(5, qbsimParseBool(qbsimChildText(add, "DataExtListRequire").value_or("false")) ? 1 : 0)
        .bind(6, qbsimParseBool(qbsimChildText(add, "DataExtTxnRequire").value_or("false")) ? 1 : 0)
        .bind(7, qbsimChildText(add, "DataExtFormatString").value_or(""));
    insert.run();
    const std::int64_t def = db.lastInsertId();
    CQbSimStmt assign(db, "INSERT OR IGNORE INTO dataext_assign(def_id, seq, object) VALUES(?, ?, ?)");
    int seq = 0;
    for (xmlNodePtr a : assignTo) assign.bind(1, def).bind(2, seq++).bind(3, qbsimText(a)).run();
    writeDefinition(db, out, def);
}

void CQbSimEngine::dataExtDefDel(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    // OwnerID and DataExtName stand in the request itself, with no element around them.
    const std::string owner = qbsimChildText(rq, "OwnerID").value_or("0");
    const std::string name = qbsimChildText(rq, "DataExtName").value_or("");
    CQbSimStmt find(db, "SELECT id, owner_id, name FROM dataext_def WHERE owner_id = ? COLLATE NOCASE "
                        "AND name = ? COLLATE NOCASE");
    find.bind(1, owner).bind(2, name);
    if (!find.step()) throw qbsimstatus::notFound(name);
    const std::int64_t def = find.integer(0);
    const std::string storedOwner = find.text(1), storedName = find.text(2);
    CQbSimStmt drop(db, "DELETE FROM dataext_def WHERE id = ?");
    drop.bind(1, def).run();
    if (storedOwner != "0") {
        db.exec(kDeletedDefinitions);
        CQbSimStmt remember(db, "INSERT OR IGNORE INTO dataext_def_deleted(owner_id, name) VALUES(?, ?)");
        remember.bind(1, storedOwner).bind(2, storedName).run();
    }
    out.open("DataExtDefDelRet");
    out.leaf("OwnerID", storedOwner);
    out.leaf("DataExtName", storedName);
    out.leaf("TimeDeleted", qbsimDateTimeText(company.now()));
    out.close();
}

void CQbSimEngine::dataExtDefQuery(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const auto owners = qbsimChildren(rq, "OwnerID");
    const auto objects = qbsimChildren(rq, "AssignToObject");
    std::vector<std::int64_t> defs;
    CQbSimStmt all(db, "SELECT id, owner_id FROM dataext_def ORDER BY id");
    while (all.step()) {
        const std::int64_t def = all.integer(0);
        const std::string owner = all.text(1);
        bool wanted;
        if (!owners.empty()) {
            wanted = std::any_of(owners.begin(), owners.end(),
                                 [&](xmlNodePtr o) { return sameOwner(qbsimText(o), owner); });
        } else {
            // Without an owner, QuickBooks lists the public fields, optionally only
            // those assigned to the given objects.
            wanted = owner == "0";
            if (wanted && !objects.empty()) {
                wanted = false;
                for (xmlNodePtr o : objects) {
                    CQbSimStmt a(db, "SELECT 1 FROM dataext_assign WHERE def_id = ? AND object = ?");
                    a.bind(1, def).bind(2, qbsimText(o));
                    wanted = wanted || a.step();
                }
            }
        }
        if (wanted) defs.push_back(def);
    }
    if (defs.empty()) throw qbsimstatus::noMatch();
    for (auto def : defs) writeDefinition(db, out, def);
}

struct CQbSimEngine::CDataExtTarget {
    std::string objectKind;  // Company, List, Txn, TxnLine
    std::string objectKey;   // ListID, TxnID or TxnLineID; empty for the company
    std::string assignName;  // the AssignToObject value that covers the object
    std::optional<std::int64_t> listRow;
    std::optional<std::int64_t> txnRow;  // the transaction, also of a line's value
    std::string txnId;
};

namespace {

struct CDefinition {
    std::int64_t id;
    std::string owner, name, type;
};

// The definition an OwnerID and DataExtName name, as stored; 3120 when there is none.
CDefinition findDefinition(CQbSimDb& db, xmlNodePtr node) {
    const std::string owner = qbsimChildText(node, "OwnerID").value_or("0");
    const std::string name = qbsimChildText(node, "DataExtName").value_or("");
    CQbSimStmt find(db, "SELECT id, owner_id, name, data_ext_type FROM dataext_def WHERE owner_id = ? "
                        "COLLATE NOCASE AND name = ? COLLATE NOCASE");
    find.bind(1, owner).bind(2, name);
    if (!find.step()) throw qbsimstatus::notFound(name);
    return {find.integer(0), find.text(1), find.text(2), find.text(3)};
}

}  // namespace

CQbSimEngine::CDataExtTarget CQbSimEngine::dataExtTarget(xmlNodePtr node) {
    if (auto other = qbsimChildText(node, "OtherDataExtType")) return {"Company", "", *other, {}, {}, {}};
    if (auto listType = qbsimChildText(node, "ListDataExtType")) {
        const std::string nameSpace = *listType == "Item"                               ? "Item"
                                      : *listType == "Account"                          ? "Account"
                                      : *listType == "Customer" || *listType == "Vendor" ? "Entity"
                                                                                        : "";
        if (nameSpace.empty()) throw qbsimstatus::featureNotEnabled();
        std::vector<std::string> kinds;
        if (nameSpace == "Item")
            kinds = {"ItemInventory", "ItemInventoryAssembly", "ItemNonInventory", "ItemService",
                     "ItemOtherCharge", "ItemGroup"};
        else
            kinds = {*listType};
        const std::int64_t row = resolveRef(qbsimChild(node, "ListObjRef"), kinds, nameSpace,
                                            *listType, "data extension");
        return {"List", listRow(row)->listId, *listType, row, {}, {}};
    }
    const std::string txnType = qbsimChildText(node, "TxnDataExtType").value_or("");
    std::string txnId = qbsimChildText(node, "TxnID").value_or("");
    if (auto macro = qbsimAttribute(qbsimChild(node, "TxnID"), "useMacro")) {
        // A transaction added earlier in the same document under defMacro.
        auto it = macros.find(*macro);
        if (it == macros.end()) throw qbsimstatus::notFound(*macro);
        txnId = it->second;
    }
    CQbSimStmt find(db, "SELECT id FROM txn WHERE txn_id = ? AND txn_type = ?");
    find.bind(1, txnId).bind(2, txnType);
    if (!find.step()) throw qbsimstatus::notFound(txnId);
    const std::int64_t txnRow = find.integer(0);
    if (auto lineId = qbsimChildText(node, "TxnLineID")) {
        CQbSimStmt line(db, "SELECT 1 FROM txn_line WHERE txn_row = ? AND txn_line_id = ?");
        line.bind(1, txnRow).bind(2, *lineId);
        if (!line.step()) throw qbsimstatus::notFound(*lineId);
        return {"TxnLine", *lineId, txnType, {}, txnRow, txnId};
    }
    return {"Txn", txnId, txnType, {}, txnRow, txnId};
}

// Finds the definition and the object a value belongs to, checks the value, then inserts
// or updates it.
CQbSimEngine::CDataExtTarget CQbSimEngine::storeDataExt(xmlNodePtr node, bool isAdd,
                                                        CQbSimXmlWriter& out) {
    const std::string value = qbsimChildText(node, "DataExtValue").value_or("");
    const CDefinition d = findDefinition(db, node);
    const CDataExtTarget t = dataExtTarget(node);
    if (t.txnRow) refuseClosedTxn(*t.txnRow, "modify");
    CQbSimStmt assigned(db, "SELECT COUNT(*), SUM(object = ?) FROM dataext_assign WHERE def_id = ?");
    assigned.bind(1, t.assignName).bind(2, d.id);
    assigned.step();
    if (assigned.integer(0) > 0 && assigned.integer(1) == 0)
        throw qbsimstatus::saveError("data extension \"" + d.name + "\"",
                                     "The custom field is not assigned to " + t.assignName + ".");
    checkDataExtValue(d.type, value);
    CQbSimStmt current(db, "SELECT 1 FROM dataext_value WHERE def_id = ? AND object_kind = ? AND "
                           "object_key = ?");
    current.bind(1, d.id).bind(2, t.objectKind).bind(3, t.objectKey);
    const bool exists = current.step();
    if (isAdd && exists)
        throw qbsimstatus::saveError("data extension \"" + d.name + "\"",
                                     "The object already has a value for this custom field.");
    if (!isAdd && !exists) throw qbsimstatus::notFound(d.name);
    CQbSimStmt write(db, "INSERT OR REPLACE INTO dataext_value(def_id, object_kind, object_key, value) "
                         "VALUES(?, ?, ?, ?)");
    write.bind(1, d.id).bind(2, t.objectKind).bind(3, t.objectKey).bind(4, value).run();
    out.open("DataExtRet");
    out.leaf("OwnerID", d.owner);
    out.leaf("DataExtName", d.name);
    out.leaf("DataExtType", d.type);
    out.leaf("DataExtValue", value);
    out.close();
    return t;
}

void CQbSimEngine::dataExtAdd(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    const bool isAdd = qbsimName(rq) == "DataExtAddRq";
    const CDataExtTarget t = storeDataExt(qbsimChild(rq, isAdd ? "DataExtAdd" : "DataExtMod"), isAdd, out);
    if (t.txnRow) markTxnModified(*t.txnRow);
}

void CQbSimEngine::dataExtMod(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs& attrs) {
    dataExtAdd(rq, out, attrs);
}

void CQbSimEngine::dataExtDel(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs&) {
    xmlNodePtr del = qbsimChild(rq, "DataExtDel");
    const CDefinition d = findDefinition(db, del);
    const CDataExtTarget t = dataExtTarget(del);
    if (t.txnRow) refuseClosedTxn(*t.txnRow, "modify");
    CQbSimStmt drop(db, "DELETE FROM dataext_value WHERE def_id = ? AND object_kind = ? AND object_key = ? "
                        "RETURNING 1");
    drop.bind(1, d.id).bind(2, t.objectKind).bind(3, t.objectKey);
    if (!drop.step()) throw qbsimstatus::notFound(d.name);
    if (t.txnRow) markTxnModified(*t.txnRow);
    out.open("DataExtDelRet");
    out.leaf("OwnerID", d.owner);
    out.leaf("DataExtName", d.name);
    if (t.objectKind == "Company") {
        out.leaf("OtherDataExtType", t.assignName);
    } else if (t.objectKind == "List") {
        out.leaf("ListDataExtType", t.assignName);
        writeRef(out, "ListObjRef", t.listRow);
    } else {
        out.leaf("TxnDataExtType", t.assignName);
        out.leaf("TxnID", t.txnId);
        if (t.objectKind == "TxnLine") out.leaf("TxnLineID", t.objectKey);
    }
    out.leaf("TimeDeleted", qbsimDateTimeText(company.now()));
    out.close();
}
