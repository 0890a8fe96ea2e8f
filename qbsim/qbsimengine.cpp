// Request document handling: parsing, refusal of invalid documents, dispatch of each
// request in its own transaction, response assembly, and the generic query machinery
// (filters, MaxReturned, iterators) that every list and transaction query shares.
#include "qbsimengine.h"

#include <libxml/parser.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <variant>

namespace {

using Attrs = std::vector<std::pair<std::string, std::string>>;
using Param = std::variant<std::int64_t, std::string>;

void bindAll(CQbSimStmt& stmt, const std::vector<Param>& params) {
    int index = 1;
    for (const auto& p : params) {
        if (std::holds_alternative<std::int64_t>(p))
            stmt.bind(index++, std::get<std::int64_t>(p));
        else
            stmt.bind(index++, std::get<std::string>(p));
    }
}

std::string newGuid() {
    thread_local std::mt19937_64 random{std::random_device{}()};
    const std::uint64_t a = random(), b = random();
    char text[48];
    std::snprintf(text, sizeof text, "{%08llx-%04llx-%04llx-%04llx-%012llx}",
                  static_cast<unsigned long long>(a >> 32),
                  static_cast<unsigned long long>((a >> 16) & 0xffff),
                  static_cast<unsigned long long>((a & 0x0fff) | 0x4000),
                  static_cast<unsigned long long>(((b >> 48) & 0x3fff) | 0x8000),
                  static_cast<unsigned long long>(b & 0xffffffffffffULL));
    return text;
}

std::string likeEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '%' || c == '_' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// The date range a DateMacro names, relative to today.
std::pair<std::string, std::string> macroRange(const std::string& macro) {
    const std::string today = qbsimToday();
    const int year = std::stoi(today.substr(0, 4));
    const int month = std::stoi(today.substr(5, 2));
    char buf[48];
    auto date = [&](int y, int m, int d) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
        return std::string(buf);
    };
    const std::string monthStart = date(year, month, 1);
    const std::string nextMonthStart = month == 12 ? date(year + 1, 1, 1) : date(year, month + 1, 1);
    const std::string lastMonthStart = month == 1 ? date(year - 1, 12, 1) : date(year, month - 1, 1);
    const int quarterFirstMonth = (month - 1) / 3 * 3 + 1;
    const std::string quarterStart = date(year, quarterFirstMonth, 1);
    const std::string nextQuarterStart =
        quarterFirstMonth == 10 ? date(year + 1, 1, 1) : date(year, quarterFirstMonth + 3, 1);
    const std::string lastQuarterStart = quarterFirstMonth == 1
                                             ? date(year - 1, 10, 1)
                                             : date(year, quarterFirstMonth - 3, 1);
    // Weeks start on Sunday.
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = std::stoi(today.substr(8, 2));
    timegm(&tm);
    const std::string weekStart = qbsimAddDays(today, -tm.tm_wday);
    if (macro == "All") return {"", ""};
    if (macro == "Today") return {today, today};
    if (macro == "Yesterday") return {qbsimAddDays(today, -1), qbsimAddDays(today, -1)};
    if (macro == "ThisWeek") return {weekStart, qbsimAddDays(weekStart, 6)};
    if (macro == "ThisWeekToDate") return {weekStart, today};
    if (macro == "LastWeek") return {qbsimAddDays(weekStart, -7), qbsimAddDays(weekStart, -1)};
    if (macro == "LastWeekToDate") return {qbsimAddDays(weekStart, -7), qbsimAddDays(today, -7)};
    if (macro == "NextWeek") return {qbsimAddDays(weekStart, 7), qbsimAddDays(weekStart, 13)};
    if (macro == "ThisMonth") return {monthStart, qbsimAddDays(nextMonthStart, -1)};
    if (macro == "ThisMonthToDate") return {monthStart, today};
    if (macro == "LastMonth") return {lastMonthStart, qbsimAddDays(monthStart, -1)};
    if (macro == "ThisQuarter") return {quarterStart, qbsimAddDays(nextQuarterStart, -1)};
    if (macro == "ThisQuarterToDate") return {quarterStart, today};
    if (macro == "LastQuarter") return {lastQuarterStart, qbsimAddDays(quarterStart, -1)};
    if (macro == "ThisCalendarYear" || macro == "ThisFiscalYear" || macro == "ThisTaxYear")
        return {date(year, 1, 1), date(year, 12, 31)};
    if (macro == "ThisCalendarYearToDate" || macro == "ThisFiscalYearToDate")
        return {date(year, 1, 1), today};
    if (macro == "LastCalendarYear" || macro == "LastFiscalYear" || macro == "LastTaxYear")
        return {date(year - 1, 1, 1), date(year - 1, 12, 31)};
    if (macro == "LastCalendarYearToDate" || macro == "LastFiscalYearToDate")
        return {date(year - 1, 1, 1), qbsimAddDays(today, -365)};
    if (macro == "NextCalendarYear" || macro == "NextFiscalYear")
        return {date(year + 1, 1, 1), date(year + 1, 12, 31)};
    if (macro == "NextMonth") {
        const std::string after = month >= 11 ? date(year + 1, month - 10, 1) : date(year, month + 2, 1);
        return {nextMonthStart, qbsimAddDays(after, -1)};
    }
    throw qbsimstatus::invalidValue("DateMacro", macro, "Unknown date macro.");
}

struct CParsedDoc {
    xmlDocPtr doc = nullptr;
    ~CParsedDoc() { xmlFreeDoc(doc); }
};

}  // namespace

// Which rows a query request reads and how they are written.
struct CQbSimEngine::CQuerySpec {
    bool isList;
    std::vector<std::string> kinds;  // list kinds, or the one transaction type
    std::string nameSpace;
    bool iterator;
};

namespace {
const std::map<std::string, std::vector<std::string>>& itemKindsByQuery() {
    static const std::map<std::string, std::vector<std::string>> kinds = {
        {"ItemInventoryQueryRq", {"ItemInventory"}},
        {"ItemInventoryAssemblyQueryRq", {"ItemInventoryAssembly"}},
        {"ItemNonInventoryQueryRq", {"ItemNonInventory"}},
        {"ItemServiceQueryRq", {"ItemService"}},
        {"ItemOtherChargeQueryRq", {"ItemOtherCharge"}},
        {"ItemGroupQueryRq", {"ItemGroup"}},
        {"ItemQueryRq",
         {"ItemInventory", "ItemInventoryAssembly", "ItemNonInventory", "ItemService",
          "ItemOtherCharge", "ItemGroup"}},
    };
    return kinds;
}
}  // namespace

CQbSimEngine::CQbSimEngine(CQbSimCompany& c, std::shared_ptr<const CQbSimSchema> s,
                           bool multiUserSession)
    : company(c), db(c.db()), schema(std::move(s)), multiUser(multiUserSession),
      valuation(std::make_unique<CQbSimValuation>(c.db())) {}

CQbSimEngine::~CQbSimEngine() = default;

const std::map<std::string, CQbSimEngine::Handler>& CQbSimEngine::handlers() {
    static const std::map<std::string, Handler> table = [] {
        std::map<std::string, Handler> t;
        t["AccountAddRq"] = &CQbSimEngine::accountAdd;
        t["ClassAddRq"] = &CQbSimEngine::classAdd;
        t["CustomerAddRq"] = &CQbSimEngine::customerAdd;
        t["VendorAddRq"] = &CQbSimEngine::vendorAdd;
        t["UnitOfMeasureSetAddRq"] = &CQbSimEngine::unitOfMeasureSetAdd;
        for (const char* n : {"ItemInventoryAddRq", "ItemInventoryAssemblyAddRq",
                              "ItemNonInventoryAddRq", "ItemServiceAddRq", "ItemOtherChargeAddRq",
                              "ItemGroupAddRq"})
            t[n] = &CQbSimEngine::itemAdd;
        for (const auto& [n, kinds] : itemKindsByQuery()) t[n] = &CQbSimEngine::listQuery;
        for (const char* n : {"AccountQueryRq", "ClassQueryRq", "CustomerQueryRq", "VendorQueryRq",
                              "UnitOfMeasureSetQueryRq", "CurrencyQueryRq"})
            t[n] = &CQbSimEngine::listQuery;
        for (const CQbSimTxnKind& kind : qbsimTxnKinds()) {
            t[std::string(kind.type) + "AddRq"] = &CQbSimEngine::txnAdd;
            t[std::string(kind.type) + "QueryRq"] = &CQbSimEngine::txnQuery;
        }
        for (const char* n : {"ItemInventoryModRq", "ItemInventoryAssemblyModRq", "ClassModRq"})
            t[n] = &CQbSimEngine::listMod;
        t["TxnDelRq"] = &CQbSimEngine::txnDel;
        t["TxnDeletedQueryRq"] = &CQbSimEngine::txnDeletedQuery;
        t["ListDeletedQueryRq"] = &CQbSimEngine::listDeletedQuery;
        t["BuildAssemblyModRq"] = &CQbSimEngine::buildAssemblyMod;
        t["InvoiceModRq"] = &CQbSimEngine::invoiceMod;
        t["InventoryAdjustmentModRq"] = &CQbSimEngine::inventoryAdjustmentMod;
        t["TxnVoidRq"] = &CQbSimEngine::txnVoid;
        t["GeneralSummaryReportQueryRq"] = &CQbSimEngine::generalSummaryReportQuery;
        t["HostQueryRq"] = &CQbSimEngine::hostQuery;
        t["CompanyQueryRq"] = &CQbSimEngine::companyQuery;
        t["PreferencesQueryRq"] = &CQbSimEngine::preferencesQuery;
        t["DataExtDefAddRq"] = &CQbSimEngine::dataExtDefAdd;
        t["DataExtDefDelRq"] = &CQbSimEngine::dataExtDefDel;
        t["DataExtDefQueryRq"] = &CQbSimEngine::dataExtDefQuery;
        t["DataExtAddRq"] = &CQbSimEngine::dataExtAdd;
        t["DataExtModRq"] = &CQbSimEngine::dataExtMod;
        t["DataExtDelRq"] = &CQbSimEngine::dataExtDel;
        // Transactions the stand-in cannot hold; a query for them finds nothing.
        for (const char* n : {"SalesOrderQueryRq", "PurchaseOrderQueryRq", "EstimateQueryRq"})
            t[n] = &CQbSimEngine::noSuchTxnQuery;
        return t;
    }();
    return table;
}

std::string CQbSimEngine::processRequest(const std::string& requestXml) {
    CParsedDoc parsed;
    // No network access and no entity substitution: a request cannot make the parser
    // read files or expand entity bombs.
    parsed.doc = xmlReadMemory(requestXml.data(), static_cast<int>(requestXml.size()), "request.xml",
                               nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!parsed.doc) {
        const xmlError* error = xmlGetLastError();
        std::string detail = error && error->message ? error->message : "";
        while (!detail.empty() && std::isspace(static_cast<unsigned char>(detail.back()))) detail.pop_back();
        throw CQbSimParseError("the request is not well-formed XML" + (detail.empty() ? "" : ": " + detail));
    }
    // qbXML documents carry no DTD; one could only serve to pull in outside entities.
    if (parsed.doc->intSubset || parsed.doc->extSubset)
        throw CQbSimParseError("the request carries a document type declaration");
    if (schema) {
        const std::string complaint = schema->validate(parsed.doc);
        if (!complaint.empty()) throw CQbSimParseError(complaint);
    }
    xmlNodePtr root = xmlDocGetRootElement(parsed.doc);
    if (qbsimName(root) != "QBXML") throw CQbSimParseError("the root element is not QBXML");
    xmlNodePtr msgs = qbsimChild(root, "QBXMLMsgsRq");
    if (!msgs || qbsimElements(root).size() != 1)
        throw CQbSimParseError("QBXML must hold exactly one QBXMLMsgsRq element");
    const auto onError = qbsimAttribute(msgs, "onError");
    if (!onError) throw CQbSimParseError("QBXMLMsgsRq lacks its onError attribute");
    if (*onError == "rollbackOnError")
        throw CQbSimParseError("QuickBooks Desktop does not support onError=\"rollbackOnError\"");
    if (*onError != "stopOnError" && *onError != "continueOnError")
        throw CQbSimParseError("invalid onError value \"" + *onError + "\"");
    qbsimCheckValueFormats(root);
    const auto requests = qbsimElements(msgs);
    for (xmlNodePtr rq : requests) {
        if (!handlers().count(qbsimName(rq)))
            throw CQbSimParseError("unknown request element \"" + qbsimName(rq) + "\"");
    }

    macros.clear();
    std::string response = "<?xml version=\"1.0\" ?>\n<QBXML>\n  <QBXMLMsgsRs>\n";
    for (xmlNodePtr rq : requests) {
        const std::string name = qbsimName(rq);
        const std::string rsName = name.substr(0, name.size() - 2) + "Rs";
        Attrs attrs;
        if (auto id = qbsimAttribute(rq, "requestID")) attrs.emplace_back("requestID", *id);
        CQbSimXmlWriter body;
        body.nest(3);
        Attrs extra;
        int code = 0;
        try {
            if (requestHook)
                if (auto injected = requestHook(name)) throw *injected;
            if (auto refused = qbsimEditionRefusal(company.edition(), rq)) throw *refused;
            runRequest(rq, handlers().at(name), body, extra);
        } catch (const CQbSimStatus& status) {
            code = status.code;
            attrs.emplace_back("statusCode", std::to_string(status.code));
            attrs.emplace_back("statusSeverity", status.severity);
            attrs.emplace_back("statusMessage", status.what());
        } catch (const std::exception& e) {
            // A database failure (disk full, file locked by another writer): the
            // request's transaction has been rolled back.
            code = 1000;
            attrs.emplace_back("statusCode", "1000");
            attrs.emplace_back("statusSeverity", "Error");
            attrs.emplace_back("statusMessage",
                               std::string("There has been an internal error when processing the "
                                           "request. ") + e.what());
        }
        CQbSimXmlWriter rs;
        rs.nest(2);
        if (code == 0) {
            bool hasStatus = false;
            for (const auto& a : extra) hasStatus = hasStatus || a.first == "statusCode";
            if (!hasStatus) {
                attrs.emplace_back("statusCode", "0");
                attrs.emplace_back("statusSeverity", "Info");
                attrs.emplace_back("statusMessage", "Status OK");
            }
            attrs.insert(attrs.end(), extra.begin(), extra.end());
            std::string content = body.take();
            if (content.empty()) {
                rs.openWithAttributes(rsName, attrs, true);
                response += rs.take();
            } else {
                rs.openWithAttributes(rsName, attrs);
                response += rs.take();
                response += content;
                response += "    </" + rsName + ">\n";
            }
        } else {
            rs.openWithAttributes(rsName, attrs, true);
            response += rs.take();
        }
        if (code >= 1000 && *onError == "stopOnError") break;
    }
    response += "  </QBXMLMsgsRs>\n</QBXML>\n";
    return response;
}

void CQbSimEngine::runRequest(xmlNodePtr rq, Handler handler, CQbSimXmlWriter& out, Attrs& attrs) {
    // Each request is one SQLite transaction: a failed request leaves nothing behind.
    CQbSimTransaction txn(db);
    onHandSteps.clear();
    averageCostDate.reset();
    const auto changesBefore = sqlite3_total_changes64(db.handle());
    try {
        (this->*handler)(rq, out, attrs);
        onHandSteps.clear();
        averageCostDate.reset();
        txn.commit();
    } catch (...) {
        onHandSteps.clear();
        averageCostDate.reset();
        // The ledger may have evaluated lines that the rollback takes back; a request
        // that wrote nothing (a query without a match) leaves it as it was.
        if (sqlite3_total_changes64(db.handle()) != changesBefore) valuation->reset();
        throw;
    }
}

CQbSimEngine::CRenderOptions CQbSimEngine::renderOptions(xmlNodePtr rq) {
    CRenderOptions o;
    o.includeLineItems = qbsimParseBool(qbsimChildText(rq, "IncludeLineItems").value_or("false"));
    o.includeComponentLineItems =
        qbsimParseBool(qbsimChildText(rq, "IncludeComponentLineItems").value_or("false"));
    for (xmlNodePtr n : qbsimChildren(rq, "OwnerID")) o.ownerIds.push_back(qbsimText(n));
    for (xmlNodePtr n : qbsimChildren(rq, "IncludeRetElement"))
        o.includeRetElements.insert(qbsimText(n));
    return o;
}

void CQbSimEngine::listQuery(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs& attrs) {
    const std::string name = qbsimName(rq);
    CQuerySpec spec{true, {}, "Item", false};
    if (auto it = itemKindsByQuery().find(name); it != itemKindsByQuery().end()) {
        spec.kinds = it->second;
        spec.iterator = true;
    } else if (name == "AccountQueryRq") {
        spec = {true, {"Account"}, "Account", false};
    } else if (name == "ClassQueryRq") {
        spec = {true, {"Class"}, "Class", false};
    } else if (name == "CustomerQueryRq") {
        spec = {true, {"Customer"}, "Entity", true};
    } else if (name == "VendorQueryRq") {
        spec = {true, {"Vendor"}, "Entity", true};
    } else if (name == "CurrencyQueryRq") {
        if (!company.multiCurrency()) throw qbsimstatus::featureNotEnabled();
        spec = {true, {"Currency"}, "Currency", false};
    } else {
        if (!company.unitsOfMeasure()) throw qbsimstatus::featureNotEnabled();
        spec = {true, {"UnitOfMeasureSet"}, "UnitOfMeasureSet", false};
    }
    query(rq, spec, out, attrs);
}

void CQbSimEngine::txnQuery(xmlNodePtr rq, CQbSimXmlWriter& out, Attrs& attrs) {
    const std::string name = qbsimName(rq);
    CQuerySpec spec{false, {name.substr(0, name.size() - 7)}, "", true};
    query(rq, spec, out, attrs);
}

void CQbSimEngine::noSuchTxnQuery(xmlNodePtr, CQbSimXmlWriter&, Attrs&) {
    throw qbsimstatus::noMatch();
}

void CQbSimEngine::query(xmlNodePtr rq, const CQuerySpec& spec, CQbSimXmlWriter& out,
                         Attrs& attrs) {
    const std::string requestName = qbsimName(rq);
    const std::string iterator = spec.iterator ? qbsimAttribute(rq, "iterator").value_or("") : "";
    const auto maxText = qbsimChildText(rq, "MaxReturned");
    std::size_t maxReturned =
        maxText ? static_cast<std::size_t>(std::stol(*maxText)) : static_cast<std::size_t>(-1);

    auto page = [&](CIterator& it, const std::string& id) {
        std::size_t written = 0;
        while (it.next < it.rows.size() && written < maxReturned) {
            renderRow(spec, it.rows[it.next++], it.options, out);
            ++written;
        }
        attrs.emplace_back("iteratorRemainingCount", std::to_string(it.rows.size() - it.next));
        attrs.emplace_back("iteratorID", id);
    };

    if (iterator == "Continue" || iterator == "Stop") {
        const std::string id = qbsimAttribute(rq, "iteratorID").value_or("");
        auto found = iterators.find(id);
        if (found == iterators.end() || found->second.requestName != requestName)
            throw qbsimstatus::invalidIterator(id);
        if (iterator == "Stop") {
            iterators.erase(found);
            attrs.emplace_back("iteratorRemainingCount", "0");
            attrs.emplace_back("iteratorID", id);
            return;
        }
        if (!maxText) maxReturned = found->second.pageSize;
        page(found->second, id);
        if (found->second.next >= found->second.rows.size()) iterators.erase(found);
        return;
    }

    int warning = 0;
    std::string warningText;
    std::vector<std::int64_t> rows =
        spec.isList ? selectList(rq, spec, warning, warningText) : selectTxns(rq, spec);
    if (warning) {
        attrs.emplace_back("statusCode", std::to_string(warning));
        attrs.emplace_back("statusSeverity", "Warn");
        attrs.emplace_back("statusMessage", warningText);
    } else if (rows.empty()) {
        throw qbsimstatus::noMatch();
    }
    const CRenderOptions options = renderOptions(rq);
    if (iterator == "Start") {
        const std::string id = newGuid();
        CIterator it{requestName, std::move(rows), 0, options, maxReturned};
        page(it, id);
        if (it.next < it.rows.size()) iterators.emplace(id, std::move(it));
        return;
    }
    for (std::size_t i = 0; i < rows.size() && i < maxReturned; ++i)
        renderRow(spec, rows[i], options, out);
}

void CQbSimEngine::renderRow(const CQuerySpec& spec, std::int64_t row,
                             const CRenderOptions& options, CQbSimXmlWriter& out) {
    if (!spec.isList) {
        renderTxn(row, options, out);
        return;
    }
    const auto list = listRow(row);
    if (!list) return;  // deleted since the iterator started
    if (list->kind == "Account")
        renderAccount(row, options, out);
    else if (list->kind == "Class")
        renderClass(row, options, out);
    else if (list->kind == "Customer" || list->kind == "Vendor")
        renderEntity(row, options, out);
    else if (list->kind == "UnitOfMeasureSet")
        renderUnitOfMeasureSet(row, options, out);
    else if (list->kind == "Currency")
        renderCurrency(row, options, out);
    else
        renderItem(row, options, out);
}

std::set<std::int64_t> CQbSimEngine::refFilter(xmlNodePtr filter, const std::string& nameSpace) {
    std::set<std::int64_t> rows;
    auto add = [&](const char* column, const std::string& value, bool withChildren) {
        CQbSimStmt find(db, std::string("SELECT id, full_name FROM list_object WHERE name_space = ? "
                                        "AND ") + column + " = ?" +
                                (std::string(column) == "full_name" ? " COLLATE NOCASE" : ""));
        find.bind(1, nameSpace).bind(2, value);
        if (!find.step()) return;
        rows.insert(find.integer(0));
        if (withChildren) {
            CQbSimStmt children(db, "SELECT id FROM list_object WHERE name_space = ? AND full_name "
                                    "LIKE ? ESCAPE '\\'");
            children.bind(1, nameSpace).bind(2, likeEscape(find.text(1)) + ":%");
            while (children.step()) rows.insert(children.integer(0));
        }
    };
    for (xmlNodePtr n : qbsimChildren(filter, "ListID")) add("list_id", qbsimText(n), false);
    for (xmlNodePtr n : qbsimChildren(filter, "FullName")) add("full_name", qbsimText(n), false);
    if (auto v = qbsimChildText(filter, "ListIDWithChildren")) add("list_id", *v, true);
    if (auto v = qbsimChildText(filter, "FullNameWithChildren")) add("full_name", *v, true);
    return rows;
}

namespace {
std::string inList(const std::set<std::int64_t>& rows) {
    std::string text = "(";
    for (auto r : rows) {
        if (text.size() > 1) text += ',';
        text += std::to_string(r);
    }
    text += rows.empty() ? "NULL)" : ")";
    return text;
}
}  // namespace

std::vector<std::int64_t> CQbSimEngine::selectList(xmlNodePtr rq, const CQuerySpec& spec,
                                                   int& warning, std::string& warningText) {
    std::vector<std::int64_t> rows;
    std::string kinds = "(";
    std::vector<Param> params;
    for (const auto& k : spec.kinds) {
        kinds += (kinds.size() > 1 ? ",?" : "?");
        params.emplace_back(k);
    }
    kinds += ")";
    const auto ids = qbsimChildren(rq, "ListID");
    const auto names = qbsimChildren(rq, "FullName");
    if (!ids.empty() || !names.empty()) {
        // Asking by id or name returns the objects whatever their active status, in
        // the order asked.
        for (xmlNodePtr n : ids) {
            const std::string id = qbsimText(n);
            CQbSimStmt find(db, "SELECT id FROM list_object WHERE list_id = ? AND kind IN " + kinds);
            find.bind(1, id);
            for (std::size_t i = 0; i < spec.kinds.size(); ++i) find.bind(static_cast<int>(i + 2), spec.kinds[i]);
            if (!find.step()) throw qbsimstatus::notFound(id);
            rows.push_back(find.integer(0));
        }
        for (xmlNodePtr n : names) {
            const std::string name = qbsimText(n);
            CQbSimStmt find(db, "SELECT id FROM list_object WHERE full_name = ? COLLATE NOCASE AND "
                                "kind IN " + kinds);
            find.bind(1, name);
            for (std::size_t i = 0; i < spec.kinds.size(); ++i) find.bind(static_cast<int>(i + 2), spec.kinds[i]);
            if (find.step()) {
                rows.push_back(find.integer(0));
            } else if (!warning) {
                warning = 500;
                warningText = "The query request has not been fully completed. There was a "
                              "required element (\"" + name + "\") that could not be found in "
                              "QuickBooks.";
            }
        }
        return rows;
    }

    std::string sql = "SELECT lo.id FROM list_object lo LEFT JOIN account a ON a.id = lo.id "
                      "LEFT JOIN item i ON i.id = lo.id WHERE lo.kind IN " + kinds;
    const std::string active = qbsimChildText(rq, "ActiveStatus").value_or("ActiveOnly");
    if (active == "ActiveOnly") sql += " AND lo.is_active = 1";
    if (active == "InactiveOnly") sql += " AND lo.is_active = 0";
    if (auto from = qbsimChildText(rq, "FromModifiedDate")) {
        sql += " AND lo.time_modified >= ?";
        params.emplace_back(qbsimParseDateTime(*from).value_or(0));
    }
    if (auto to = qbsimChildText(rq, "ToModifiedDate")) {
        sql += " AND lo.time_modified <= ?";
        params.emplace_back(qbsimParseDateTime(*to).value_or(0));
    }
    if (xmlNodePtr nf = qbsimChild(rq, "NameFilter")) {
        const std::string criterion = qbsimChildText(nf, "MatchCriterion").value_or("StartsWith");
        const std::string name = likeEscape(qbsimChildText(nf, "Name").value_or(""));
        sql += " AND lo.full_name LIKE ? ESCAPE '\\'";
        params.emplace_back(criterion == "StartsWith" ? name + "%"
                            : criterion == "EndsWith" ? "%" + name
                                                      : "%" + name + "%");
    }
    if (xmlNodePtr nr = qbsimChild(rq, "NameRangeFilter")) {
        if (auto from = qbsimChildText(nr, "FromName")) {
            sql += " AND lo.full_name >= ? COLLATE NOCASE";
            params.emplace_back(*from);
        }
        if (auto to = qbsimChildText(nr, "ToName")) {
            // ToName includes every name that begins with it.
            sql += " AND (lo.full_name <= ? COLLATE NOCASE OR lo.full_name LIKE ? ESCAPE '\\')";
            params.emplace_back(*to);
            params.emplace_back(likeEscape(*to) + "%");
        }
    }
    if (xmlNodePtr cf = qbsimChild(rq, "ClassFilter"))
        sql += " AND i.class_id IN " + inList(refFilter(cf, "Class"));
    const auto types = qbsimChildren(rq, "AccountType");
    if (!types.empty()) {
        sql += " AND a.account_type IN (";
        for (std::size_t i = 0; i < types.size(); ++i) {
            sql += i ? ",?" : "?";
            params.emplace_back(qbsimText(types[i]));
        }
        sql += ")";
    }
    if (xmlNodePtr cf = qbsimChild(rq, "CurrencyFilter"))
        sql += " AND a.currency_id IN " + inList(refFilter(cf, "Currency"));
    sql += " ORDER BY lo.full_name COLLATE NOCASE";
    CQbSimStmt select(db, sql);
    bindAll(select, params);
    while (select.step()) rows.push_back(select.integer(0));
    return rows;
}

std::vector<std::int64_t> CQbSimEngine::selectTxns(xmlNodePtr rq, const CQuerySpec& spec) {
    std::vector<std::int64_t> rows;
    const std::string type = spec.kinds.front();
    const auto ids = qbsimChildren(rq, "TxnID");
    if (!ids.empty()) {
        for (xmlNodePtr n : ids) {
            const std::string id = qbsimText(n);
            CQbSimStmt find(db, "SELECT id FROM txn WHERE txn_id = ? AND txn_type = ?");
            find.bind(1, id).bind(2, type);
            if (!find.step()) throw qbsimstatus::notFound(id);
            rows.push_back(find.integer(0));
        }
        return rows;
    }
    std::string sql = "SELECT t.id FROM txn t WHERE t.txn_type = ?";
    std::vector<Param> params{type};
    auto refNumbers = qbsimChildren(rq, "RefNumber");
    const auto caseSensitive = qbsimChildren(rq, "RefNumberCaseSensitive");
    if (!refNumbers.empty() || !caseSensitive.empty()) {
        sql += " AND (0";
        for (xmlNodePtr n : refNumbers) {
            sql += " OR t.ref_number = ? COLLATE NOCASE";
            params.emplace_back(qbsimText(n));
        }
        for (xmlNodePtr n : caseSensitive) {
            sql += " OR t.ref_number = ?";
            params.emplace_back(qbsimText(n));
        }
        sql += ")";
    }
    if (xmlNodePtr md = qbsimChild(rq, "ModifiedDateRangeFilter")) {
        const auto [from, to] = qbsimDateTimeRange(md, "FromModifiedDate", "ToModifiedDate");
        if (from) {
            sql += " AND t.time_modified >= ?";
            params.emplace_back(*from);
        }
        if (to) {
            sql += " AND t.time_modified <= ?";
            params.emplace_back(*to);
        }
    }
    if (xmlNodePtr td = qbsimChild(rq, "TxnDateRangeFilter")) {
        std::string from = qbsimChildText(td, "FromTxnDate").value_or("");
        std::string to = qbsimChildText(td, "ToTxnDate").value_or("");
        if (auto macro = qbsimChildText(td, "DateMacro")) std::tie(from, to) = macroRange(*macro);
        if (!from.empty() && !to.empty() && to < from) throw qbsimstatus::invalidDateRange(from, to);
        if (!from.empty()) {
            sql += " AND t.txn_date >= ?";
            params.emplace_back(from);
        }
        if (!to.empty()) {
            sql += " AND t.txn_date <= ?";
            params.emplace_back(to);
        }
    }
    if (xmlNodePtr ef = qbsimChild(rq, "EntityFilter"))
        sql += " AND t.entity_id IN " + inList(refFilter(ef, "Entity"));
    if (xmlNodePtr af = qbsimChild(rq, "AccountFilter"))
        sql += " AND t.account_id IN " + inList(refFilter(af, "Account"));
    if (xmlNodePtr itf = qbsimChild(rq, "ItemFilter")) {
        const std::string items = inList(refFilter(itf, "Item"));
        sql += " AND (t.item_id IN " + items +
               " OR EXISTS(SELECT 1 FROM txn_line l WHERE l.txn_row = t.id AND l.item_id IN " + items +
               "))";
    }
    if (xmlNodePtr rf = qbsimChild(rq, "RefNumberFilter")) {
        const std::string criterion = qbsimChildText(rf, "MatchCriterion").value_or("StartsWith");
        const std::string ref = likeEscape(qbsimChildText(rf, "RefNumber").value_or(""));
        sql += " AND t.ref_number LIKE ? ESCAPE '\\'";
        params.emplace_back(criterion == "StartsWith" ? ref + "%"
                            : criterion == "EndsWith" ? "%" + ref
                                                      : "%" + ref + "%");
    }
    if (xmlNodePtr rr = qbsimChild(rq, "RefNumberRangeFilter")) {
        if (auto from = qbsimChildText(rr, "FromRefNumber")) {
            sql += " AND t.ref_number >= ?";
            params.emplace_back(*from);
        }
        if (auto to = qbsimChildText(rr, "ToRefNumber")) {
            sql += " AND t.ref_number <= ?";
            params.emplace_back(*to);
        }
    }
    if (xmlNodePtr cf = qbsimChild(rq, "CurrencyFilter"))
        sql += " AND t.currency_id IN " + inList(refFilter(cf, "Currency"));
    // Nothing is ever paid in the stand-in: bills and invoices stay open.
    if (qbsimChildText(rq, "PaidStatus").value_or("All") == "PaidOnly") sql += " AND 0";
    const std::string pending = qbsimChildText(rq, "PendingStatus").value_or("All");
    if (pending == "PendingOnly") sql += " AND t.is_pending = 1";
    if (pending == "NotPendingOnly") sql += " AND t.is_pending = 0";
    sql += " ORDER BY t.txn_date, t.entry_seq";
    CQbSimStmt select(db, sql);
    bindAll(select, params);
    while (select.step()) rows.push_back(select.integer(0));
    return rows;
}

double CQbSimEngine::quantityOnHand(std::int64_t itemRow, const std::string& date,
                                    std::int64_t entrySeq) {
    CQbSimStmt sum(db, "SELECT COALESCE(SUM(l.qty_delta), 0) FROM txn_line l JOIN txn t ON t.id = "
                       "l.txn_row WHERE l.item_id = ? AND t.is_pending = 0 AND (t.txn_date < ? OR "
                       "(t.txn_date = ? AND t.entry_seq < ?))");
    sum.bind(1, itemRow).bind(2, date).bind(3, date).bind(4, entrySeq);
    sum.step();
    return sum.real(0);
}

double CQbSimEngine::renderedOnHand(std::int64_t itemRow, const std::string& date,
                                    std::int64_t entrySeq) {
    auto known = onHandSteps.find(itemRow);
    if (known == onHandSteps.end()) {
        std::vector<COnHandStep> steps;
        CQbSimStmt lines(db, "SELECT t.txn_date, t.entry_seq, SUM(l.qty_delta) FROM txn_line l "
                             "JOIN txn t ON t.id = l.txn_row WHERE l.item_id = ? AND t.is_pending = 0 "
                             "GROUP BY t.id ORDER BY t.txn_date, t.entry_seq");
        lines.bind(1, itemRow);
        double quantity = 0;
        while (lines.step()) {
            quantity += lines.real(2);
            steps.push_back({lines.text(0), lines.integer(1), quantity});
        }
        known = onHandSteps.emplace(itemRow, std::move(steps)).first;
    }
    // The last transaction before (date, entrySeq).
    const auto& steps = known->second;
    const auto after = std::partition_point(steps.begin(), steps.end(), [&](const COnHandStep& s) {
        return s.date < date || (s.date == date && s.entrySeq < entrySeq);
    });
    return after == steps.begin() ? 0.0 : std::prev(after)->quantity;
}

double CQbSimEngine::quantityOnHand(std::int64_t itemRow) {
    // The ledger's quantity after every posted transaction: the same sum of every posted
    // line, taken from the kept ledger instead of the item's whole history.
    const double quantity = valuation->stateAt(itemRow, ledgerNow()).quantity;
    return std::fabs(quantity) < 5e-6 ? 0.0 : quantity;
}

const std::string& CQbSimEngine::ledgerNow() {
    if (!averageCostDate) {
        CQbSimStmt latest(db, "SELECT MAX(txn_date) FROM txn");
        latest.step();
        std::string date = qbsimToday();
        if (const auto last = latest.optText(0); last && *last > date) date = *last;
        valuation->evaluateThrough(date);
        averageCostDate = date;
    }
    return *averageCostDate;
}

double CQbSimEngine::currentAverageCost(std::int64_t itemRow) {
    const auto state = valuation->stateAt(itemRow, ledgerNow());
    // Rounded to the five decimals of a PRICETYPE, as the valuation summary shows it.
    const double average = std::round(valuation->averageCost(itemRow, state) * 100000.0) / 100000.0;
    return average == 0 ? 0.0 : average;
}

std::int64_t CQbSimEngine::nextEditTime(const std::string& oldSequence) {
    std::int64_t t = company.now();
    if (!oldSequence.empty() && oldSequence.size() < 19 &&
        oldSequence.find_first_not_of("0123456789") == std::string::npos)
        t = std::max<std::int64_t>(t, std::stoll(oldSequence) + 1);
    return t;
}
