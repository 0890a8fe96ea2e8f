// Engine tests: Add requests, queries, iterators, custom fields and every status path,
// run against a temporary company file loaded from tests/qbsim/data.
#include "qbsimtesthelpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class QbSimEngineTest : public ::testing::Test {
protected:
    void SetUp() override { open({"Test Co", false, false}); }

    void open(const CQbSimCompanyOptions& options) {
        engine.reset();
        company.reset();
        std::filesystem::remove(dir.file("co.qbw"));
        company = CQbSimCompany::create(dir.file("co.qbw"), options);
        engine = std::make_unique<CQbSimEngine>(*company, nullptr);
    }

    CParsedResponse send(const std::string& body, const std::string& onError = "stopOnError") {
        CParsedResponse rs(engine->processRequest(envelope(body, onError)));
        EXPECT_TRUE(rs.ok());
        return rs;
    }
    CParsedResponse loadSmallCompany() {
        CParsedResponse rs(engine->processRequest(readText(std::string(LOTWISE_TEST_DATA) +
                                                           "/small_company_rq.xml")));
        for (const auto& r : rs.all()) EXPECT_EQ(r.code, 0) << r.name << ": " << r.message;
        return rs;
    }
    int count(const std::string& sql) {
        CQbSimStmt s(company->db(), sql);
        s.step();
        return static_cast<int>(s.integer(0));
    }

    CTempDir dir;
    std::unique_ptr<CQbSimCompany> company;
    std::unique_ptr<CQbSimEngine> engine;
};

// Every element name of `ours` that the captured response also has must come in the
// captured response's order, and the captured response's always-present fields must
// be there.
void expectSameShape(xmlNodePtr ours, xmlNodePtr real, const std::set<std::string>& ignore = {}) {
    const auto mine = childNames(ours);
    const auto theirs = childNames(real);
    std::vector<std::string> common;
    for (const auto& n : mine)
        if (std::find(theirs.begin(), theirs.end(), n) != theirs.end()) common.push_back(n);
    std::vector<std::string> expectedOrder;
    for (const auto& n : theirs)
        if (std::find(common.begin(), common.end(), n) != common.end() &&
            std::find(expectedOrder.begin(), expectedOrder.end(), n) == expectedOrder.end())
            expectedOrder.push_back(n);
    std::vector<std::string> uniqueCommon;
    for (const auto& n : common)
        if (std::find(uniqueCommon.begin(), uniqueCommon.end(), n) == uniqueCommon.end())
            uniqueCommon.push_back(n);
    EXPECT_EQ(uniqueCommon, expectedOrder) << qbsimName(ours);
    for (const auto& n : theirs)
        if (!ignore.count(n)) {
            EXPECT_NE(std::find(mine.begin(), mine.end(), n), mine.end())
                << qbsimName(ours) << " lacks " << n;
        }
}

xmlNodePtr firstRet(const CParsedResponse& rs, const std::string& retName) {
    for (const auto& r : rs.all())
        for (xmlNodePtr n : r.rets())
            if (qbsimName(n) == retName) return n;
    return nullptr;
}

}  // namespace

TEST_F(QbSimEngineTest, AddResponsesHaveTheCapturedShapes) {
    const auto rs = loadSmallCompany();
    const std::string responses = std::string(LOTWISE_SHARED_DIR) + "/qbxml/samples/responses/";
    if (!std::filesystem::exists(responses)) GTEST_SKIP() << "captured responses not found at " << responses;
    CParsedResponse item(readText(responses + "item_inventory_add_rs.xml"));
    CParsedResponse account(readText(responses + "account_query_rs.xml"));
    CParsedResponse assembly(readText(responses + "item_inventory_assembly_via_item_query_rs.xml"));
    ASSERT_TRUE(item.ok() && account.ok() && assembly.ok());
    // Balances, sales tax codes and average cost are not kept (average cost comes with
    // the inventory valuation).
    expectSameShape(firstRet(rs, "ItemInventoryRet"), item[0].rets()[0],
                    {"SalesTaxCodeRef", "AverageCost", "SalesDesc"});
    expectSameShape(firstRet(rs, "AccountRet"), account[0].rets()[0],
                    {"Balance", "TotalBalance", "TaxLineInfoRet", "CashFlowClassification"});
    expectSameShape(firstRet(rs, "ItemInventoryAssemblyRet"), assembly[0].rets()[0],
                    {"SalesTaxCodeRef", "AverageCost", "UnitOfMeasureSetRef", "ParentRef",
                     "PurchaseDesc", "PurchaseCost", "SalesDesc"});
    EXPECT_EQ(rs[0].attrs.at("requestID"), "1");
    EXPECT_EQ(rs[0].message, "Status OK");
    EXPECT_EQ(rs[0].severity, "Info");
}

TEST_F(QbSimEngineTest, AddAndQueryResponsesValidateAgainstIntuitsSchema) {
    if (!std::filesystem::exists(qbsimTestSchemaPath()))
        GTEST_SKIP() << "qbXML schema not found at " << qbsimTestSchemaPath();
    const auto schema = CQbSimSchema::load(qbsimTestSchemaPath());
    const auto adds = loadSmallCompany();
    EXPECT_EQ(schema->validate(adds.document()), "");
    const auto queries = send(
        "<ItemQueryRq requestID=\"1\"/><AccountQueryRq/><ClassQueryRq/><VendorQueryRq/>"
        "<CustomerQueryRq/><HostQueryRq/><CompanyQueryRq/><PreferencesQueryRq/>"
        "<BillQueryRq><IncludeLineItems>true</IncludeLineItems></BillQueryRq>"
        "<ItemReceiptQueryRq><IncludeLineItems>true</IncludeLineItems></ItemReceiptQueryRq>"
        "<CheckQueryRq><IncludeLineItems>true</IncludeLineItems></CheckQueryRq>"
        "<InvoiceQueryRq><IncludeLineItems>true</IncludeLineItems></InvoiceQueryRq>"
        "<SalesReceiptQueryRq><IncludeLineItems>true</IncludeLineItems></SalesReceiptQueryRq>"
        "<CreditMemoQueryRq><IncludeLineItems>true</IncludeLineItems></CreditMemoQueryRq>"
        "<InventoryAdjustmentQueryRq><IncludeLineItems>true</IncludeLineItems></InventoryAdjustmentQueryRq>"
        "<BuildAssemblyQueryRq><IncludeComponentLineItems>true</IncludeComponentLineItems></BuildAssemblyQueryRq>");
    for (const auto& r : queries.all()) EXPECT_EQ(r.code, 0) << r.name << ": " << r.message;
    EXPECT_EQ(schema->validate(queries.document()), "");
}

// Every session loads the schema; compiling it again for each would cost some 70 ms a
// session. The compiled schema outlives the sessions that use it.
TEST_F(QbSimEngineTest, TheSchemaIsCompiledOncePerProcess) {
    if (!std::filesystem::exists(qbsimTestSchemaPath()))
        GTEST_SKIP() << "qbXML schema not found at " << qbsimTestSchemaPath();
    const CQbSimSchema* first = CQbSimSchema::load(qbsimTestSchemaPath()).get();
    EXPECT_EQ(CQbSimSchema::load(qbsimTestSchemaPath()).get(), first);
}

TEST_F(QbSimEngineTest, TransactionsCarryTheFieldsTheValuationReads) {
    loadSmallCompany();
    const auto bills = send("<BillQueryRq><IncludeLineItems>true</IncludeLineItems></BillQueryRq>");
    ASSERT_EQ(bills[0].rets().size(), 1u);
    xmlNodePtr bill = bills[0].rets()[0];
    EXPECT_EQ(textAt(bill, "AmountDue"), "185.00");  // 100 + group (60 + 5) + 20
    EXPECT_EQ(textAt(bill, "RefNumber"), "B-100");
    EXPECT_EQ(textAt(bill, "APAccountRef/FullName"), "Accounts Payable");
    // Lines come in entry order, the group with its expanded lines.
    EXPECT_THAT(childNames(bill), ::testing::IsSupersetOf({"ItemLineRet", "ItemGroupLineRet"}));
    const auto lines = qbsimChildren(bill, "ItemLineRet");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(textAt(lines[0], "Quantity"), "10");
    EXPECT_EQ(textAt(lines[0], "Cost"), "10.00");
    EXPECT_EQ(textAt(lines[0], "Amount"), "100.00");
    EXPECT_EQ(textAt(lines[1], "Cost"), "0.20");  // from Amount / Quantity
    EXPECT_EQ(textAt(lines[1], "ClassRef/FullName"), "East:Retail");
    xmlNodePtr group = qbsimChild(bill, "ItemGroupLineRet");
    EXPECT_EQ(textAt(group, "ItemGroupRef/FullName"), "Starter Pack");
    EXPECT_EQ(textAt(group, "TotalAmount"), "65.00");
    const auto groupLines = qbsimChildren(group, "ItemLineRet");
    ASSERT_EQ(groupLines.size(), 2u);
    EXPECT_EQ(textAt(groupLines[0], "Quantity"), "6");
    EXPECT_EQ(textAt(groupLines[1], "Amount"), "5.00");  // 20 bolts at 0.25

    const auto invoices = send("<InvoiceQueryRq><IncludeLineItems>true</IncludeLineItems></InvoiceQueryRq>");
    ASSERT_EQ(invoices[0].rets().size(), 2u);
    xmlNodePtr invoice = invoices[0].rets()[0];
    EXPECT_EQ(textAt(invoice, "IsPending"), "false");
    EXPECT_EQ(textAt(invoice, "InvoiceLineRet/ClassRef/FullName"), "East");
    EXPECT_EQ(textAt(invoice, "InvoiceLineRet/Rate"), "25.00");
    EXPECT_EQ(textAt(invoice, "InvoiceLineGroupRet/IsPrintItemsInGroup"), "true");
    EXPECT_EQ(textAt(invoices[0].rets()[1], "IsPending"), "true");

    const auto builds = send("<BuildAssemblyQueryRq><IncludeComponentLineItems>true</IncludeComponentLineItems></BuildAssemblyQueryRq>");
    xmlNodePtr build = builds[0].rets()[0];
    EXPECT_EQ(textAt(build, "QuantityToBuild"), "4");
    const auto parts = qbsimChildren(build, "ComponentItemLineRet");
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(textAt(parts[0], "QuantityNeeded"), "8");
    EXPECT_EQ(textAt(parts[1], "QuantityNeeded"), "1");
    EXPECT_EQ(qbsimChild(parts[0], "TxnLineID"), nullptr);
    const auto noParts = send("<BuildAssemblyQueryRq/>");
    EXPECT_TRUE(qbsimChildren(noParts[0].rets()[0], "ComponentItemLineRet").empty());

    const auto adjustments = send("<InventoryAdjustmentQueryRq><IncludeLineItems>true</IncludeLineItems></InventoryAdjustmentQueryRq>");
    const auto adjLines = qbsimChildren(adjustments[0].rets()[0], "InventoryAdjustmentLineRet");
    ASSERT_EQ(adjLines.size(), 2u);
    // NewQuantity 100 against 160 received, less 1 built into kits and 10 sold.
    EXPECT_EQ(textAt(adjLines[0], "QuantityDifference"), "-49");
    EXPECT_EQ(textAt(adjLines[1], "ValueDifference"), "-5.00");
}

TEST_F(QbSimEngineTest, QuantityOnHandFollowsPostedTransactions) {
    loadSmallCompany();
    const auto rs = send("<ItemInventoryQueryRq><FullName>Widgets:Blue Widget</FullName></ItemInventoryQueryRq>"
                         "<ItemInventoryQueryRq><FullName>Bolt</FullName></ItemInventoryQueryRq>"
                         "<ItemInventoryAssemblyQueryRq/>");
    // 10 + 6 + 5 received, 8 built into kits, 3 + 3 sold, 1 returned; the pending
    // invoice of 100 does not count.
    EXPECT_EQ(textAt(rs[0].rets()[0], "QuantityOnHand"), "8");
    EXPECT_EQ(textAt(rs[1].rets()[0], "QuantityOnHand"), "100");  // set to 100 last
    EXPECT_EQ(textAt(rs[2].rets()[0], "QuantityOnHand"), "3");   // 4 built, 1 sold
    EXPECT_EQ(textAt(rs[0].rets()[0], "Sublevel"), "1");
    EXPECT_EQ(textAt(rs[0].rets()[0], "ParentRef/FullName"), "Widgets");
}

TEST_F(QbSimEngineTest, TransactionFiltersSelectTheRightTransactions) {
    loadSmallCompany();
    struct Case {
        const char* request;
        std::size_t expected;
    } cases[] = {
        {"<InvoiceQueryRq><TxnDateRangeFilter><FromTxnDate>2024-01-10</FromTxnDate><ToTxnDate>2024-01-10</ToTxnDate></TxnDateRangeFilter></InvoiceQueryRq>", 1},
        {"<InvoiceQueryRq><TxnDateRangeFilter><FromTxnDate>2024-01-11</FromTxnDate></TxnDateRangeFilter></InvoiceQueryRq>", 1},
        {"<InvoiceQueryRq><TxnDateRangeFilter><ToTxnDate>2024-01-12</ToTxnDate></TxnDateRangeFilter></InvoiceQueryRq>", 2},
        {"<BillQueryRq><EntityFilter><FullName>Acme Supply</FullName></EntityFilter></BillQueryRq>", 1},
        {"<CheckQueryRq><AccountFilter><FullName>Checking</FullName></AccountFilter></CheckQueryRq>", 1},
        {"<InventoryAdjustmentQueryRq><AccountFilter><FullName>Inventory Revaluation</FullName></AccountFilter></InventoryAdjustmentQueryRq>", 1},
        {"<InventoryAdjustmentQueryRq><ItemFilter><FullName>Bolt</FullName></ItemFilter></InventoryAdjustmentQueryRq>", 1},
        {"<BillQueryRq><RefNumberFilter><MatchCriterion>StartsWith</MatchCriterion><RefNumber>B-</RefNumber></RefNumberFilter></BillQueryRq>", 1},
        {"<BuildAssemblyQueryRq><PendingStatus>PendingOnly</PendingStatus></BuildAssemblyQueryRq>", 0},
        {"<BillQueryRq><PaidStatus>PaidOnly</PaidStatus></BillQueryRq>", 0},
        {"<SalesOrderQueryRq/>", 0},
    };
    for (const auto& c : cases) {
        const auto rs = send(c.request);
        EXPECT_EQ(rs[0].rets().size(), c.expected) << c.request;
        EXPECT_EQ(rs[0].code, c.expected ? 0 : 1) << c.request;
    }
}

TEST_F(QbSimEngineTest, ListQueriesHonourActiveStatusNamesAndAccountTypes) {
    loadSmallCompany();
    send("<ItemServiceAddRq><ItemServiceAdd><Name>Old Service</Name><IsActive>false</IsActive>"
         "<SalesOrPurchase><Price>1.00</Price><AccountRef><FullName>Services</FullName></AccountRef>"
         "</SalesOrPurchase></ItemServiceAdd></ItemServiceAddRq>");
    struct Case {
        const char* request;
        std::vector<std::string> names;
    } cases[] = {
        {"<ItemServiceQueryRq/>", {"Assembly Labor"}},
        {"<ItemServiceQueryRq><ActiveStatus>All</ActiveStatus></ItemServiceQueryRq>", {"Assembly Labor", "Old Service"}},
        {"<ItemServiceQueryRq><ActiveStatus>InactiveOnly</ActiveStatus></ItemServiceQueryRq>", {"Old Service"}},
        {"<ItemServiceQueryRq><FullName>old service</FullName></ItemServiceQueryRq>", {"Old Service"}},
        {"<ItemInventoryQueryRq><NameFilter><MatchCriterion>Contains</MatchCriterion><Name>widget</Name></NameFilter></ItemInventoryQueryRq>", {"Widgets", "Widgets:Blue Widget"}},
        {"<AccountQueryRq><AccountType>CostOfGoodsSold</AccountType><AccountType>Bank</AccountType></AccountQueryRq>", {"Checking", "Cost of Goods Sold"}},
        {"<ClassQueryRq/>", {"East", "East:Retail"}},
        {"<ItemQueryRq><NameFilter><MatchCriterion>StartsWith</MatchCriterion><Name>B</Name></NameFilter></ItemQueryRq>", {"Bolt"}},
    };
    for (const auto& c : cases) {
        const auto rs = send(c.request);
        std::vector<std::string> names;
        for (xmlNodePtr r : rs[0].rets()) names.push_back(textAt(r, "FullName"));
        EXPECT_EQ(names, c.names) << c.request;
    }
}

TEST_F(QbSimEngineTest, IncludeRetElementTrimsRets) {
    loadSmallCompany();
    const auto rs = send("<ItemInventoryQueryRq><FullName>Bolt</FullName><IncludeRetElement>ListID</IncludeRetElement>"
                         "<IncludeRetElement>QuantityOnHand</IncludeRetElement></ItemInventoryQueryRq>");
    EXPECT_THAT(childNames(rs[0].rets()[0]), ElementsAre("ListID", "QuantityOnHand"));
}

TEST_F(QbSimEngineTest, StatusPaths) {
    loadSmallCompany();
    struct Case {
        const char* request;
        int code;
        const char* message;
    } cases[] = {
        {"<ClassAddRq><ClassAdd><Name>EAST</Name></ClassAdd></ClassAddRq>", 3100,
         "The name \"EAST\" of the list element is already in use."},
        {"<VendorAddRq><VendorAdd><Name>Bright Shop</Name></VendorAdd></VendorAddRq>", 3100,
         "The name \"Bright Shop\" of the list element is already in use."},
        {"<BillAddRq><BillAdd><VendorRef><FullName>Nobody</FullName></VendorRef></BillAdd></BillAddRq>", 3140,
         "There is an invalid reference to QuickBooks Vendor \"Nobody\" in the Bill."},
        {"<InvoiceAddRq><InvoiceAdd><CustomerRef><FullName>Bright Shop</FullName></CustomerRef><InvoiceLineAdd><ItemRef><FullName>Gadget</FullName></ItemRef></InvoiceLineAdd></InvoiceAdd></InvoiceAddRq>", 3140,
         "There is an invalid reference to QuickBooks Item \"Gadget\" in the Invoice line."},
        {"<BillAddRq><BillAdd><VendorRef><FullName>Bright Shop</FullName></VendorRef></BillAdd></BillAddRq>", 3140,
         "There is an invalid reference to QuickBooks Vendor \"Bright Shop\" in the Bill."},
        {"<CustomerQueryRq><ListID>8000001B-1405768916</ListID></CustomerQueryRq>", 3120,
         "Object \"8000001B-1405768916\" specified in the request cannot be found.  QuickBooks error message: Invalid argument.  The specified record does not exist in the list."},
        {"<CustomerQueryRq><FullName>bleech</FullName></CustomerQueryRq>", 500,
         "The query request has not been fully completed. There was a required element (\"bleech\") that could not be found in QuickBooks."},
        {"<TxnDelRq><TxnDelType>Bill</TxnDelType><TxnID>1-1</TxnID></TxnDelRq>", 3120, nullptr},
        {"<ItemInventoryQueryRq iterator=\"Continue\" iteratorID=\"{e2a1c8a4-4b1e-4f5e-9d0a-3c2b1a0f9e8d}\"/>", 3391,
         "The iteratorID \"{e2a1c8a4-4b1e-4f5e-9d0a-3c2b1a0f9e8d}\" is not valid."},
        {"<VendorAddRq><VendorAdd><Name>Euro Parts</Name><CurrencyRef><FullName>Euro</FullName></CurrencyRef></VendorAdd></VendorAddRq>", 3250,
         "This feature is not enabled or not available in this version of QuickBooks."},
        {"<BillAddRq><BillAdd><VendorRef><FullName>Acme Supply</FullName></VendorRef><ExchangeRate>1.2</ExchangeRate></BillAdd></BillAddRq>", 3250, nullptr},
        {"<UnitOfMeasureSetQueryRq/>", 3250, nullptr},
        {"<BuildAssemblyAddRq><BuildAssemblyAdd><ItemInventoryAssemblyRef><FullName>Widget Kit</FullName></ItemInventoryAssemblyRef><QuantityToBuild>1000</QuantityToBuild></BuildAssemblyAdd></BuildAssemblyAddRq>", 3180,
         "There was an error when saving a Build Assembly transaction.  QuickBooks error message: There are not enough components on hand to build the quantity specified."},
        {"<BuildAssemblyAddRq><BuildAssemblyAdd><ItemInventoryAssemblyRef><FullName>Bolt</FullName></ItemInventoryAssemblyRef><QuantityToBuild>1</QuantityToBuild></BuildAssemblyAdd></BuildAssemblyAddRq>", 3140, nullptr},
        {"<BuildAssemblyAddRq><BuildAssemblyAdd><ItemInventoryAssemblyRef><FullName>Widget Kit</FullName></ItemInventoryAssemblyRef><QuantityToBuild>0</QuantityToBuild></BuildAssemblyAdd></BuildAssemblyAddRq>", 3210, nullptr},
        {"<BillAddRq><BillAdd><VendorRef><FullName>Acme Supply</FullName></VendorRef><TxnDate>1899-12-31</TxnDate></BillAdd></BillAddRq>", 3020, nullptr},
        {"<BillAddRq><BillAdd><VendorRef><FullName>Acme Supply</FullName></VendorRef><ItemLineAdd><ItemRef><FullName>Bolt</FullName></ItemRef><Quantity>9999999999</Quantity><Cost>9999999999</Cost></ItemLineAdd></BillAdd></BillAddRq>", 3210, nullptr},
        {"<ItemInventoryAddRq><ItemInventoryAdd><Name>No Accounts</Name></ItemInventoryAdd></ItemInventoryAddRq>", 3180, nullptr},
        {"<ClassAddRq><ClassAdd><Name>A name that is far too long for a class</Name></ClassAdd></ClassAddRq>", 3070, nullptr},
        {"<InventoryAdjustmentAddRq><InventoryAdjustmentAdd><AccountRef><FullName>Inventory Revaluation</FullName></AccountRef><InventoryAdjustmentLineAdd><ItemRef><FullName>Assembly Labor</FullName></ItemRef><QuantityAdjustment><QuantityDifference>1</QuantityDifference></QuantityAdjustment></InventoryAdjustmentLineAdd></InventoryAdjustmentAdd></InventoryAdjustmentAddRq>", 3140, nullptr},
        {"<CheckQueryRq><TxnDateRangeFilter><FromTxnDate>2024-02-01</FromTxnDate><ToTxnDate>2024-01-01</ToTxnDate></TxnDateRangeFilter></CheckQueryRq>", 3030, nullptr},
        {"<ItemOtherChargeQueryRq/>", 1, "A query request did not find a matching object in QuickBooks"},
    };
    const int before = count("SELECT COUNT(*) FROM txn") + count("SELECT COUNT(*) FROM list_object");
    for (const auto& c : cases) {
        const auto rs = send(c.request);
        ASSERT_EQ(rs.size(), 1u) << c.request;
        EXPECT_EQ(rs[0].code, c.code) << c.request << ": " << rs[0].message;
        if (c.message) {
            EXPECT_EQ(rs[0].message, c.message);
        }
        EXPECT_EQ(rs[0].severity, c.code == 500 ? "Warn" : c.code == 1 ? "Info" : "Error");
        if (c.code >= 1000) {
            EXPECT_TRUE(rs[0].rets().empty()) << c.request;
        }
    }
    // No failed request left anything behind.
    EXPECT_EQ(count("SELECT COUNT(*) FROM txn") + count("SELECT COUNT(*) FROM list_object"), before);
}

TEST_F(QbSimEngineTest, FailedRequestLeavesNothingHalfWritten) {
    loadSmallCompany();
    const int lines = count("SELECT COUNT(*) FROM txn_line");
    // The bad item sits on the last line: the lines before it must not stay.
    const auto rs = send("<BillAddRq><BillAdd><VendorRef><FullName>Acme Supply</FullName></VendorRef>"
                         "<ItemLineAdd><ItemRef><FullName>Bolt</FullName></ItemRef><Quantity>1</Quantity></ItemLineAdd>"
                         "<ItemLineAdd><ItemRef><FullName>Missing</FullName></ItemRef></ItemLineAdd>"
                         "</BillAdd></BillAddRq>");
    EXPECT_EQ(rs[0].code, 3140);
    EXPECT_EQ(count("SELECT COUNT(*) FROM txn_line"), lines);
    EXPECT_EQ(count("SELECT COUNT(*) FROM txn WHERE txn_type = 'Bill'"), 1);
}

TEST_F(QbSimEngineTest, OnErrorStopsOrContinues) {
    const std::string body = "<ClassAddRq requestID=\"a\"><ClassAdd><Name>One</Name></ClassAdd></ClassAddRq>"
                             "<ClassAddRq requestID=\"b\"><ClassAdd><Name>One</Name></ClassAdd></ClassAddRq>"
                             "<ClassAddRq requestID=\"c\"><ClassAdd><Name>Two</Name></ClassAdd></ClassAddRq>";
    const auto stopped = send(body, "stopOnError");
    ASSERT_EQ(stopped.size(), 2u);
    EXPECT_EQ(stopped[1].attrs.at("requestID"), "b");
    EXPECT_EQ(stopped[1].code, 3100);
    EXPECT_EQ(count("SELECT COUNT(*) FROM list_object WHERE kind = 'Class'"), 1);

    open({"Other", false, false});
    const auto continued = send(body, "continueOnError");
    ASSERT_EQ(continued.size(), 3u);
    EXPECT_EQ(continued[2].code, 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM list_object WHERE kind = 'Class'"), 2);
}

TEST_F(QbSimEngineTest, IteratorPagesOverMoreThanFiveHundredItems) {
    send("<AccountAddRq><AccountAdd><Name>Sales</Name><AccountType>Income</AccountType></AccountAdd></AccountAddRq>");
    std::string adds;
    for (int i = 0; i < 1203; ++i)
        adds += "<ItemServiceAddRq><ItemServiceAdd><Name>Service " + std::to_string(10000 + i) +
                "</Name><SalesOrPurchase><Price>1.00</Price><AccountRef><FullName>Sales</FullName>"
                "</AccountRef></SalesOrPurchase></ItemServiceAdd></ItemServiceAddRq>";
    send(adds);
    auto first = send("<ItemServiceQueryRq requestID=\"1688\" iterator=\"Start\"><MaxReturned>500</MaxReturned></ItemServiceQueryRq>");
    ASSERT_EQ(first[0].code, 0);
    const std::string id = first[0].attrs.at("iteratorID");
    EXPECT_THAT(id, ::testing::MatchesRegex("\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}"));
    EXPECT_EQ(first[0].attrs.at("iteratorRemainingCount"), "703");
    std::set<std::string> seen;
    for (xmlNodePtr r : first[0].rets()) seen.insert(textAt(r, "ListID"));
    const std::string cont = "<ItemServiceQueryRq iterator=\"Continue\" iteratorID=\"" + id +
                             "\"><MaxReturned>500</MaxReturned></ItemServiceQueryRq>";
    const auto second = send(cont);
    EXPECT_EQ(second[0].attrs.at("iteratorRemainingCount"), "203");
    for (xmlNodePtr r : second[0].rets()) seen.insert(textAt(r, "ListID"));
    const auto third = send(cont);
    EXPECT_EQ(third[0].attrs.at("iteratorRemainingCount"), "0");
    EXPECT_EQ(third[0].attrs.at("iteratorID"), id);
    EXPECT_EQ(third[0].rets().size(), 203u);
    for (xmlNodePtr r : third[0].rets()) seen.insert(textAt(r, "ListID"));
    EXPECT_EQ(seen.size(), 1203u);
    EXPECT_EQ(send(cont)[0].code, 3391);  // exhausted
    EXPECT_EQ(engine->openIterators(), 0u);

    // Stop releases an iterator; another request type cannot continue it.
    const auto again = send("<ItemServiceQueryRq iterator=\"Start\"><MaxReturned>10</MaxReturned></ItemServiceQueryRq>");
    const std::string other = again[0].attrs.at("iteratorID");
    // A Continue without MaxReturned keeps the page size of the Start.
    EXPECT_EQ(send("<ItemServiceQueryRq iterator=\"Continue\" iteratorID=\"" + other + "\"/>")[0].rets().size(), 10u);
    EXPECT_EQ(send("<ItemInventoryQueryRq iterator=\"Continue\" iteratorID=\"" + other + "\"/>")[0].code, 3391);
    EXPECT_EQ(send("<ItemServiceQueryRq iterator=\"Stop\" iteratorID=\"" + other + "\"/>")[0].code, 0);
    EXPECT_EQ(send("<ItemServiceQueryRq iterator=\"Continue\" iteratorID=\"" + other + "\"/>")[0].code, 3391);
    // Without an iterator MaxReturned caps the answer.
    EXPECT_EQ(send("<ItemServiceQueryRq><MaxReturned>7</MaxReturned></ItemServiceQueryRq>")[0].rets().size(), 7u);
}

TEST_F(QbSimEngineTest, CustomFieldsOnCompanyAndTransactions) {
    loadSmallCompany();
    const std::string owner = "{04C1726A-9530-49E2-927F-91F5477CE3D0}";
    auto def = [&](const std::string& name, const std::string& type, const std::string& object) {
        return send("<DataExtDefAddRq><DataExtDefAdd><OwnerID>" + owner + "</OwnerID><DataExtName>" + name +
                    "</DataExtName><DataExtType>" + type + "</DataExtType><AssignToObject>" + object +
                    "</AssignToObject></DataExtDefAdd></DataExtDefAddRq>")[0];
    };
    EXPECT_EQ(def("StartDate", "STR255TYPE", "Company").code, 0);
    EXPECT_EQ(def("startdate", "INTTYPE", "Company").code, 3100);
    EXPECT_EQ(def("BuildValue", "AMTTYPE", "BuildAssembly").code, 0);
    const auto defs = send("<DataExtDefQueryRq><OwnerID>" + owner + "</OwnerID></DataExtDefQueryRq>"
                           "<DataExtDefQueryRq><AssignToObject>Company</AssignToObject></DataExtDefQueryRq>");
    ASSERT_EQ(defs[0].rets().size(), 2u);
    EXPECT_EQ(textAt(defs[0].rets()[0], "DataExtType"), "STR255TYPE");
    EXPECT_EQ(defs[1].code, 1);  // public fields only

    auto company = [&](const char* op, const std::string& value) {
        const std::string tag = std::string("DataExt") + op;
        return send("<" + tag + "Rq><" + tag + "><OwnerID>" + owner + "</OwnerID><DataExtName>StartDate</DataExtName>"
                    "<OtherDataExtType>Company</OtherDataExtType><DataExtValue>" + value + "</DataExtValue></" + tag +
                    "></" + tag + "Rq>")[0];
    };
    EXPECT_EQ(company("Mod", "x").code, 3120);  // no value yet
    EXPECT_EQ(company("Add", "2024-01-01").code, 0);
    EXPECT_EQ(company("Add", "2024-01-02").code, 3180);
    EXPECT_EQ(company("Mod", "2024-02-01").code, 0);
    const auto withOwner = send("<CompanyQueryRq><OwnerID>" + owner + "</OwnerID></CompanyQueryRq>");
    EXPECT_EQ(textAt(withOwner[0].rets()[0], "DataExtRet/DataExtValue"), "2024-02-01");
    EXPECT_EQ(textAt(withOwner[0].rets()[0], "CompanyName"), "Test Co");
    const auto withoutOwner = send("<CompanyQueryRq/>");
    EXPECT_EQ(qbsimChild(withoutOwner[0].rets()[0], "DataExtRet"), nullptr);

    const auto builds = send("<BuildAssemblyQueryRq/>");
    const std::string txnId = textAt(builds[0].rets()[0], "TxnID");
    auto txnValue = [&](const std::string& id, const std::string& value) {
        return send("<DataExtAddRq><DataExtAdd><OwnerID>" + owner + "</OwnerID><DataExtName>BuildValue</DataExtName>"
                    "<TxnDataExtType>BuildAssembly</TxnDataExtType><TxnID>" + id + "</TxnID><DataExtValue>" +
                    value + "</DataExtValue></DataExtAdd></DataExtAddRq>")[0];
    };
    EXPECT_EQ(txnValue(txnId, "abc").code, 3210);  // not an amount
    EXPECT_EQ(txnValue("1-1", "1.00").code, 3120);
    EXPECT_EQ(txnValue(txnId, "87.50").code, 0);
    const auto valued = send("<BuildAssemblyQueryRq><IncludeComponentLineItems>true</IncludeComponentLineItems><OwnerID>" + owner + "</OwnerID></BuildAssemblyQueryRq>");
    EXPECT_EQ(textAt(valued[0].rets()[0], "DataExtRet/DataExtValue"), "87.50");

    EXPECT_EQ(send("<TxnDelRq><TxnDelType>BuildAssembly</TxnDelType><TxnID>" + txnId + "</TxnID></TxnDelRq>")[0].code, 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM dataext_value WHERE object_kind = 'Txn'"), 0);
    EXPECT_EQ(send("<BuildAssemblyQueryRq/>")[0].code, 1);
    EXPECT_EQ(send("<DataExtDefDelRq><OwnerID>" + owner + "</OwnerID><DataExtName>StartDate</DataExtName></DataExtDefDelRq>")[0].code, 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM dataext_value"), 0);
}

TEST_F(QbSimEngineTest, MultiCurrencyCompanyKeepsVendorCurrencyAndExchangeRate) {
    open({"Global Co", true, false});
    const auto rs = send(
        "<AccountAddRq><AccountAdd><Name>Inventory Asset</Name><AccountType>OtherCurrentAsset</AccountType></AccountAdd></AccountAddRq>"
        "<AccountAddRq><AccountAdd><Name>Sales</Name><AccountType>Income</AccountType></AccountAdd></AccountAddRq>"
        "<AccountAddRq><AccountAdd><Name>COGS</Name><AccountType>CostOfGoodsSold</AccountType></AccountAdd></AccountAddRq>"
        "<VendorAddRq><VendorAdd><Name>Euro Parts</Name><CurrencyRef><FullName>Euro</FullName></CurrencyRef></VendorAdd></VendorAddRq>"
        "<ItemInventoryAddRq><ItemInventoryAdd><Name>Gear</Name><IncomeAccountRef><FullName>Sales</FullName></IncomeAccountRef>"
        "<COGSAccountRef><FullName>COGS</FullName></COGSAccountRef><AssetAccountRef><FullName>Inventory Asset</FullName></AssetAccountRef></ItemInventoryAdd></ItemInventoryAddRq>"
        "<ItemReceiptAddRq><ItemReceiptAdd><VendorRef><FullName>Euro Parts</FullName></VendorRef><TxnDate>2024-03-01</TxnDate>"
        "<ExchangeRate>1.1</ExchangeRate><ItemLineAdd><ItemRef><FullName>Gear</FullName></ItemRef><Quantity>2</Quantity><Cost>50.00</Cost></ItemLineAdd></ItemReceiptAdd></ItemReceiptAddRq>"
        "<PreferencesQueryRq/>");
    for (const auto& r : rs.all()) ASSERT_EQ(r.code, 0) << r.name << ": " << r.message;
    xmlNodePtr receipt = rs[5].rets()[0];
    EXPECT_EQ(textAt(receipt, "CurrencyRef/FullName"), "Euro");
    EXPECT_EQ(textAt(receipt, "ExchangeRate"), "1.1");
    EXPECT_EQ(textAt(receipt, "TotalAmount"), "100.00");
    EXPECT_EQ(textAt(receipt, "TotalAmountInHomeCurrency"), "110.00");
    xmlNodePtr prefs = rs[6].rets()[0];
    EXPECT_EQ(textAt(prefs, "MultiCurrencyPreferences/IsMultiCurrencyOn"), "true");
    EXPECT_EQ(textAt(prefs, "MultiCurrencyPreferences/HomeCurrencyRef/FullName"), "US Dollar");
    EXPECT_EQ(textAt(prefs, "ItemsAndInventoryPreferences/FIFOEnabled"), "false");
}

TEST_F(QbSimEngineTest, UnitsOfMeasureConvertLineQuantitiesToBaseUnits) {
    open({"Units Co", false, true});
    const auto rs = send(
        "<AccountAddRq><AccountAdd><Name>Inventory Asset</Name><AccountType>OtherCurrentAsset</AccountType></AccountAdd></AccountAddRq>"
        "<AccountAddRq><AccountAdd><Name>Sales</Name><AccountType>Income</AccountType></AccountAdd></AccountAddRq>"
        "<AccountAddRq><AccountAdd><Name>COGS</Name><AccountType>CostOfGoodsSold</AccountType></AccountAdd></AccountAddRq>"
        "<VendorAddRq><VendorAdd><Name>Mill</Name></VendorAdd></VendorAddRq>"
        "<UnitOfMeasureSetAddRq><UnitOfMeasureSetAdd><Name>Count</Name><UnitOfMeasureType>Count</UnitOfMeasureType>"
        "<BaseUnit><Name>Each</Name><Abbreviation>ea</Abbreviation></BaseUnit>"
        "<RelatedUnit><Name>Box</Name><Abbreviation>box</Abbreviation><ConversionRatio>12</ConversionRatio></RelatedUnit>"
        "</UnitOfMeasureSetAdd></UnitOfMeasureSetAddRq>"
        "<ItemInventoryAddRq><ItemInventoryAdd><Name>Nail</Name><UnitOfMeasureSetRef><FullName>Count</FullName></UnitOfMeasureSetRef>"
        "<IncomeAccountRef><FullName>Sales</FullName></IncomeAccountRef><COGSAccountRef><FullName>COGS</FullName></COGSAccountRef>"
        "<AssetAccountRef><FullName>Inventory Asset</FullName></AssetAccountRef></ItemInventoryAdd></ItemInventoryAddRq>"
        "<BillAddRq><BillAdd><VendorRef><FullName>Mill</FullName></VendorRef><ItemLineAdd><ItemRef><FullName>Nail</FullName></ItemRef>"
        "<Quantity>2</Quantity><UnitOfMeasure>Box</UnitOfMeasure><Cost>6.00</Cost></ItemLineAdd></BillAdd></BillAddRq>"
        "<ItemInventoryQueryRq/><UnitOfMeasureSetQueryRq/>");
    for (const auto& r : rs.all()) ASSERT_EQ(r.code, 0) << r.name << ": " << r.message;
    EXPECT_EQ(textAt(rs[6].rets()[0], "ItemLineRet/UnitOfMeasure"), "Box");
    EXPECT_EQ(textAt(rs[7].rets()[0], "QuantityOnHand"), "24");
    EXPECT_EQ(textAt(rs[8].rets()[0], "RelatedUnit/ConversionRatio"), "12");
}

TEST_F(QbSimEngineTest, OpeningQuantityBecomesAnInventoryAdjustment) {
    loadSmallCompany();
    const auto rs = send("<ItemInventoryAddRq><ItemInventoryAdd><Name>Nut</Name>"
                         "<IncomeAccountRef><FullName>Sales</FullName></IncomeAccountRef><PurchaseCost>0.10</PurchaseCost>"
                         "<COGSAccountRef><FullName>Cost of Goods Sold</FullName></COGSAccountRef>"
                         "<AssetAccountRef><FullName>Inventory Asset</FullName></AssetAccountRef>"
                         "<QuantityOnHand>50</QuantityOnHand><InventoryDate>2023-12-31</InventoryDate></ItemInventoryAdd></ItemInventoryAddRq>"
                         "<InventoryAdjustmentQueryRq><ItemFilter><FullName>Nut</FullName></ItemFilter><IncludeLineItems>true</IncludeLineItems></InventoryAdjustmentQueryRq>");
    EXPECT_EQ(textAt(rs[0].rets()[0], "QuantityOnHand"), "50");
    xmlNodePtr adj = rs[1].rets()[0];
    EXPECT_EQ(textAt(adj, "AccountRef/FullName"), "Opening Balance Equity");
    EXPECT_EQ(textAt(adj, "TxnDate"), "2023-12-31");
    EXPECT_EQ(textAt(adj, "InventoryAdjustmentLineRet/ValueDifference"), "5.00");
}

TEST_F(QbSimEngineTest, HostReportsTheStandInAndItsVersions) {
    const auto rs = send("<HostQueryRq/>");
    xmlNodePtr host = rs[0].rets()[0];
    EXPECT_THAT(textAt(host, "ProductName"), HasSubstr("stand-in"));
    const auto versions = qbsimChildren(host, "SupportedQBXMLVersion");
    ASSERT_FALSE(versions.empty());
    EXPECT_EQ(qbsimText(versions.back()), "16.0");
    EXPECT_EQ(textAt(host, "QBFileMode"), "SingleUser");
    EXPECT_EQ(rs[0].attrs.count("requestID"), 0u);  // none sent, none echoed
}

TEST(QbSimFormats, AmountsAndQuantities) {
    EXPECT_EQ(qbsimAmountText(0), "0.00");
    EXPECT_EQ(qbsimAmountText(-75), "-0.75");
    EXPECT_EQ(qbsimAmountText(123456), "1234.56");
    EXPECT_EQ(qbsimParseAmount("-56.78"), -5678);
    EXPECT_EQ(qbsimParseAmount("12"), 1200);
    EXPECT_THROW(qbsimParseAmount("100.5"), CQbSimParseError);
    EXPECT_THROW(qbsimParseAmount("12345678901234"), CQbSimParseError);
    EXPECT_EQ(qbsimQuantityText(0.25), "0.25");
    EXPECT_EQ(qbsimQuantityText(-281), "-281");
    EXPECT_EQ(qbsimQuantityText(-0.000001), "0");
    EXPECT_EQ(qbsimPriceText(2.695), "2.695");
    EXPECT_EQ(qbsimPriceText(85), "85.00");
    EXPECT_TRUE(qbsimIsDate("2024-02-29"));
    EXPECT_FALSE(qbsimIsDate("2023-02-29"));
    EXPECT_FALSE(qbsimIsDate("2024-13-01"));
}
