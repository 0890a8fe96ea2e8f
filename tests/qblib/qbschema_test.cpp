// Every request document the builders can write, validated against Intuit's qbXML
// schema with libxml2: real QuickBooks refuses elements in the wrong order. The schema
// is read from the shared reference folder; the test is skipped when it is absent.
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "qbsession.h"
#include "qbutils.h"
#include "scriptedprocessor.h"

namespace {

const std::string kSchema = std::string(LOTWISE_SHARED_DIR) + "/qbxml/schema/patched/qbxmlops160.xsd";

class CSchema {
public:
    explicit CSchema(const std::string& path) {
        xmlSchemaParserCtxtPtr parserContext = xmlSchemaNewParserCtxt(path.c_str());
        schema = xmlSchemaParse(parserContext);
        xmlSchemaFreeParserCtxt(parserContext);
    }
    ~CSchema() { xmlSchemaFree(schema); }
    bool loaded() const { return schema != nullptr; }

    // Empty when the document is valid, otherwise the validator's messages.
    std::string validate(const std::string& document) const {
        std::string errors;
        xmlDocPtr doc = xmlReadMemory(document.data(), static_cast<int>(document.size()),
                                      "request.xml", nullptr, XML_PARSE_NONET);
        if (doc == nullptr) return "not well-formed";
        xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(schema);
        xmlSchemaSetValidStructuredErrors(
            context,
            [](void* out, xmlErrorPtr error) {
                *static_cast<std::string*>(out) += error->message ? error->message : "?";
            },
            &errors);
        const int result = xmlSchemaValidateDoc(context, doc);
        xmlSchemaFreeValidCtxt(context);
        xmlFreeDoc(doc);
        if (result != 0 && errors.empty()) errors = "invalid";
        return errors;
    }

private:
    xmlSchemaPtr schema = nullptr;
};

std::string ok(const std::string& rs, const std::string& inner, const std::string& extra = "") {
    return responseDocument("<" + rs + " statusCode=\"0\" statusSeverity=\"Info\" statusMessage=\"Status OK\"" +
                            extra + ">" + inner + "</" + rs + ">");
}

std::unique_ptr<CQbFieldList> dateRange(const char* from, const char* to, const char* include) {
    auto filter = std::make_unique<CQbFieldList>();
    auto range = std::make_unique<CQbFieldList>();
    range->addText("FromTxnDate", from);
    range->addText("ToTxnDate", to);
    filter->addAggregate("TxnDateRangeFilter", std::move(range));
    filter->addText(include, "true");
    return filter;
}

TEST(RequestSchema, EveryRequestTheBuildersWriteIsValid) {
    if (!std::filesystem::exists(kSchema)) GTEST_SKIP() << "schema not found at " << kSchema;
    CSchema schema(kSchema);
    ASSERT_TRUE(schema.loaded());

    CScript script;
    CScriptedRegistration registration(script);
    script.responses.push_back(hostResponse({"13.0"}));
    const auto logDir = std::filesystem::temp_directory_path();
    CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
    session.open(true);
    script.defaultResponse = ok("AnyRs", "");

    // Paged queries get a second page, so that the Continue form is validated too.
    auto paged = [&](auto call, const char* ret) {
        script.responses.push_back(ok("Rs", std::string("<") + ret + "><A>1</A></" + ret + ">",
                                      " iteratorRemainingCount=\"1\" iteratorID=\"{0D7D8B4B-4C5E-4C3B-9C31-2A5F0E4F2C11}\""));
        script.responses.push_back(ok("Rs", ""));
        call();
        EXPECT_TRUE(script.responses.empty()) << ret << ": the second page was not asked for";
    };
    CQbFieldList active;
    active.addText("ActiveStatus", "ActiveOnly");
    paged([&] { session.queryItemInventory(&active); }, "ItemInventoryRet");
    paged([&] { session.queryItemInventoryAssembly(nullptr); }, "ItemInventoryAssemblyRet");
    paged([&] { session.queryItemNonInventory(nullptr); }, "ItemNonInventoryRet");
    paged([&] { session.queryItemService(nullptr); }, "ItemServiceRet");
    paged([&] { session.queryItemOtherCharge(nullptr); }, "ItemOtherChargeRet");
    paged([&] { session.queryVendor(nullptr); }, "VendorRet");
    paged([&] { session.queryVendorCredit(nullptr); }, "VendorCreditRet");
    using Query = std::unique_ptr<CQbObjectList> (CQbRequestBase::*)(const CQbFieldList*);
    const std::pair<Query, const char*> dated[] = {
        {&CQbRequestBase::queryInvoice, "InvoiceRet"},
        {&CQbRequestBase::querySalesReceipt, "SalesReceiptRet"},
        {&CQbRequestBase::queryInventoryAdjustment, "InventoryAdjustmentRet"},
        {&CQbRequestBase::queryCreditMemo, "CreditMemoRet"},
        {&CQbRequestBase::queryItemReceipt, "ItemReceiptRet"},
        {&CQbRequestBase::queryBill, "BillRet"},
        {&CQbRequestBase::queryCreditCardCharge, "CreditCardChargeRet"},
        {&CQbRequestBase::queryVendorCredit, "VendorCreditRet"},
        {&CQbRequestBase::queryCreditCardCredit, "CreditCardCreditRet"}};
    for (const auto& [query, ret] : dated) {
        auto filter = dateRange("2010-03-31", "2010-03-31", "IncludeLineItems");
        paged([&, query = query] { (session.*query)(filter.get()); }, ret);
    }
    auto checks = dateRange("2010-01-01", "2010-12-31", "IncludeLineItems");
    session.queryCheck(checks.get());
    auto builds = dateRange("2010-03-31", "2010-03-31", "IncludeComponentLineItems");
    paged([&] { session.queryBuildAssembly(builds.get()); }, "BuildAssemblyRet");
    CQbFieldList allBuilds;
    allBuilds.addText("IncludeComponentLineItems", "true");
    allBuilds.addText("OwnerID", kPrivateOwnerId);
    paged([&] { session.queryBuildAssembly(&allBuilds); }, "BuildAssemblyRet");

    CQbFieldList adjustments;
    auto range = std::make_unique<CQbFieldList>();
    range->addText("FromTxnDate", "2010-01-01");
    range->addText("ToTxnDate", "2010-12-31");
    adjustments.addAggregate("TxnDateRangeFilter", std::move(range));
    auto accounts = std::make_unique<CQbFieldList>();
    accounts->addText("ListID", "80000001-1234567890");
    accounts->addText("ListID", "80000002-1234567890");
    adjustments.addAggregate("AccountFilter", std::move(accounts));
    adjustments.addText("IncludeLineItems", "true");
    paged([&] { session.queryInventoryAdjustment(&adjustments); }, "InventoryAdjustmentRet");

    CQbFieldList accountTypes;
    for (const char* type :
         {"AccountsPayable", "AccountsReceivable", "Bank", "CreditCard", "Equity", "Expense",
          "FixedAsset", "Income", "LongTermLiability", "NonPosting", "OtherAsset",
          "OtherCurrentAsset", "OtherCurrentLiability", "OtherExpense", "OtherIncome"}) {
        accountTypes.addText("AccountType", type);
    }
    session.queryAccount(&accountTypes);
    session.queryClass(nullptr);
    session.queryUnitOfMeasureSet(nullptr);
    session.queryCustomer(nullptr);
    session.querySalesOrder(nullptr);
    session.customerByListId("80000001-1234567890");
    session.assemblyByListId("80000001-1234567890");
    session.queryPreferences();
    script.responses.push_back(ok("CompanyQueryRs", "<CompanyRet><CompanyName>A</CompanyName></CompanyRet>"));
    session.queryCompany();
    session.inventoryValuationSummary(CDateTime(1270000000), "Inventory");
    session.inventoryValuationSummary(CDateTime(1270000000), "Assembly");
    script.responses.push_back(ok("GeneralSummaryReportQueryRs", ""));
    session.sendMessageSet({session.inventoryValuationSummaryRequest(
        CDateTime(1270000000), std::vector<std::string>{"Widget", "Gadget:Part"})});
    session.txnDel("1A-1234567890", "InventoryAdjustment");

    session.dataExtDefExists(kPrivateOwnerId, "StartDate", "STR255TYPE", "Company");
    session.dataExtDefExists(kPublicOwnerId, "StartDate", "STR255TYPE", "Company");
    session.dataExtDefAdd(kPrivateOwnerId, "StartDate", "STR255TYPE", "Company");
    session.dataExtDefAdd(kPrivateOwnerId, "BuildValue", "STR255TYPE", "BuildAssembly");
    session.dataExtDefDel(kPrivateOwnerId, "StartDate");
    session.dataExtAddCompany(kPrivateOwnerId, "StartDate", CDateTime(1270000000));
    session.dataExtModCompany(kPrivateOwnerId, "LastUpToDate", CDateTime(1270000000));
    session.dataExtModCompany(kPublicOwnerId, "LastUpToDate", "0");
    session.dataExtAddTxn("BuildAssembly", "1A-1234567890", "BuildValue", "12.50");
    session.dataExtModTxn("BuildAssembly", "1A-1234567890", "BuildValue", "12.50");

    const std::string cls = "East", customer = "Ann", memo = "FIFO valuation";
    session.inventoryAdjustmentAdd(CDateTime(1270000000), "Cost of Goods Sold", &cls, &customer,
                                   &memo, {"Widget", "Gadget:Part"}, {"12.50", "-3.00"});
    session.inventoryAdjustmentAdd(CDateTime(1270000000), "Cost of Goods Sold", nullptr, nullptr,
                                   &memo, {"Widget"}, {"0.00"});

    // queryDepartment is left out: DepartmentQueryRq belongs to QuickBooks Point of Sale,
    // not to the desktop schema, and the valuation never sends it.
    ASSERT_GT(script.requests.size(), 50u);
    std::set<std::string> kinds;
    for (const std::string& request : script.requests) {
        const std::string errors = schema.validate(request);
        EXPECT_EQ(errors, "") << request;
        const auto start = request.find("<QBXMLMsgsRq onError=\"stopOnError\"><") + 37;
        kinds.insert(request.substr(start, request.find_first_of(" >", start) - start));
    }
    EXPECT_GE(kinds.size(), 30u);
}

TEST(RequestSchema, TheValidatorRejectsElementsOutOfOrder) {
    if (!std::filesystem::exists(kSchema)) GTEST_SKIP() << "schema not found at " << kSchema;
    CSchema schema(kSchema);
    const std::string reversed =
        "<?xml version=\"1.0\"?><?qbxml version=\"13.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">"
        "<ItemInventoryQueryRq requestID=\"1688\"><ActiveStatus>ActiveOnly</ActiveStatus>"
        "<MaxReturned>500</MaxReturned></ItemInventoryQueryRq></QBXMLMsgsRq></QBXML>";
    EXPECT_NE(schema.validate(reversed), "");
}

}  // namespace
