// Transaction intake against a scripted request processor: the day's queries and the
// list they produce, receiving lines turned into lots, the day's issued quantities,
// the exchange rate of a receipt, the price list, the inventory adjustments a run reads
// and the class list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "costrundoc.h"
#include "qbresponse.h"
#include "qbsession.h"
#include "qbutils.h"
#include "enginefixture.h"
#include "scriptedprocessor.h"
#include "costrundoctestaccess.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::Pair;

std::string okElement(const std::string& rs, const std::string& inner = "") {
    return "<" + rs + " statusCode=\"0\" statusSeverity=\"Info\" statusMessage=\"Status OK\">" + inner +
           "</" + rs + ">";
}

std::string emptyElement(const std::string& rs) {
    return "<" + rs +
           " statusCode=\"1\" statusSeverity=\"Info\" statusMessage=\"A query "
           "request did not find a matching object in QuickBooks\" />";
}

std::string ok(const std::string& rs, const std::string& inner = "") {
    return responseDocument(okElement(rs, inner));
}

std::string empty(const std::string& rs) { return responseDocument(emptyElement(rs)); }


std::string itemLine(const std::string& element, const std::string& item,
                     const std::string& quantityField, const std::string& qty,
                     const std::string& amountField = "", const std::string& amount = "") {
    std::string text = "<" + element + ">";
    if (!item.empty()) text += "<ItemRef><FullName>" + item + "</FullName></ItemRef>";
    if (!qty.empty()) text += "<" + quantityField + ">" + qty + "</" + quantityField + ">";
    if (!amount.empty()) text += "<" + amountField + ">" + amount + "</" + amountField + ">";
    return text + "</" + element + ">";
}

std::string txn(const std::string& element, const std::string& ref, const std::string& body) {
    return "<" + element + "><TxnID>" + ref + "</TxnID><TxnDate>2010-04-01</TxnDate><RefNumber>" +
           ref + "</RefNumber>" + body + "</" + element + ">";
}

class IntakeTest : public CScriptedEngineTest {
protected:
    IntakeTest() {
        doc->openActivityLog();
    }

    std::string activity() const {
        std::fflush(engineState(*doc).files.activityLog);
        std::ifstream in(doc->activityLogPath(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    CCostrunItem* addItem(CCostrunItemList& list, const std::string& name, double qty,
                          double value = 0.0) {
        return list.add(std::make_unique<CCostrunItem>(name, qty, value));
    }

    // The answer to the day's five queries, sent in one message set.
    void scriptDay(const std::string& invoices, const std::string& salesReceipts,
                   const std::string& adjustments, const std::string& creditMemos,
                   const std::string& builds) {
        auto answer = [](const std::string& rs, const std::string& inner) {
            return inner.empty() ? emptyElement(rs) : okElement(rs, inner);
        };
        script.responses.push_back(responseDocument(
            answer("InvoiceQueryRs", invoices) + answer("SalesReceiptQueryRs", salesReceipts) +
            answer("InventoryAdjustmentQueryRs", adjustments) + answer("CreditMemoQueryRs", creditMemos) +
            answer("BuildAssemblyQueryRs", builds)));
    }

    std::vector<int> codes(const CCostrunTxnList& list) const {
        std::vector<int> out;
        for (const auto& record : list) out.push_back(record->txnTypeCode);
        return out;
    }

    const CDateTime day = *CDateTime::fromLocal(2010, 4, 1, 23, 59, 59);
};

// --- the day's transactions ---

TEST_F(IntakeTest, DayWithOnlyReceiptsHasNoTransactions) {
    scriptDay("", "", "", "", "");
    engineState(*doc).progressText = "Calculation on day 04/01/2010\n\n";
    EXPECT_EQ(doc->retrieveDayTxns(day), nullptr);
    EXPECT_EQ(engineState(*doc).dayLists.dayBuildTxns, nullptr);

    // One round trip for the five queries.
    ASSERT_EQ(script.requests.size(), 1u);
    const std::vector<std::string> requests = requestElements(script.requests[0]);
    ASSERT_EQ(requests.size(), 5u);
    const std::string range =
        "<TxnDateRangeFilter><FromTxnDate>2010-04-01</FromTxnDate>"
        "<ToTxnDate>2010-04-01</ToTxnDate></TxnDateRangeFilter>";
    const char* names[] = {"InvoiceQueryRq", "SalesReceiptQueryRq", "InventoryAdjustmentQueryRq",
                           "CreditMemoQueryRq"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_THAT(requests[i], HasSubstr(std::string("<") + names[i]));
        EXPECT_THAT(requests[i],
                    HasSubstr(range + "<IncludeLineItems>true</IncludeLineItems>"));
    }
    EXPECT_THAT(requests[4], HasSubstr("<BuildAssemblyQueryRq"));
    EXPECT_THAT(requests[4],
                HasSubstr(range + "<IncludeComponentLineItems>true</IncludeComponentLineItems>"));
    EXPECT_THAT(requests[4], Not(HasSubstr("IncludeLineItems")));
    // The system's own field comes along: a "BuildValue" found on a build of a day not
    // yet committed is provisional and overwritten, never added twice.
    EXPECT_THAT(requests[4], HasSubstr("<IncludeComponentLineItems>true</IncludeComponentLineItems>"
                                              "<OwnerID>{04C1726A-9530-49E2-927F-91F5477CE3D0}</OwnerID>"));

    EXPECT_THAT(
        statusTexts,
        ElementsAre("Calculation on day 04/01/2010\n\nRetrieving the day's transactions...",
                    "Calculation on day 04/01/2010\n\nRetrieving list of invoices...",
                    "Calculation on day 04/01/2010\n\nRetrieving list of sales receipts...",
                    "Calculation on day 04/01/2010\n\nRetrieving list of inventory "
                    "adjustments...",
                    "Calculation on day 04/01/2010\n\nRetrieving list of credit memos...",
                    "Calculation on day 04/01/2010\n\nRetrieving list of build assembly..."));
}

TEST_F(IntakeTest, BuildOnlyDayGivesTheBuildInBothLists) {
    scriptDay("", "", "", "",
              txn("BuildAssemblyRet", "B1",
                  "<ItemInventoryAssemblyRef><FullName>Kit</FullName></ItemInventoryAssemblyRef>"
                  "<QuantityToBuild>2</QuantityToBuild>"));
    auto dayTxns = doc->retrieveDayTxns(day);
    ASSERT_NE(dayTxns, nullptr);
    EXPECT_THAT(codes(*dayTxns), ElementsAre(kTxnBuildAssembly));
    ASSERT_NE(engineState(*doc).dayLists.dayBuildTxns, nullptr);
    ASSERT_EQ(engineState(*doc).dayLists.dayBuildTxns->size(), 1u);
    EXPECT_EQ(engineState(*doc).dayLists.dayBuildTxns->at(0)->ret->getValue("RefNumber"), "B1");
}

TEST_F(IntakeTest, DayTransactionsStandInKindOrderAndAreLogged) {
    scriptDay(
        txn("InvoiceRet", "I1",
            "<CustomerRef><FullName>Carter</FullName></CustomerRef>" +
                itemLine("InvoiceLineRet", "Widget", "Quantity", "2")),
        txn("SalesReceiptRet", "S1", itemLine("SalesReceiptLineRet", "Widget", "Quantity", "1")),
        txn("InventoryAdjustmentRet", "A1",
            itemLine("InventoryAdjustmentLineRet", "Widget", "QuantityDifference", "-1",
                     "ValueDifference", "-10.00")),
        txn("CreditMemoRet", "C1", itemLine("CreditMemoLineRet", "Widget", "Quantity", "1")),
        txn("BuildAssemblyRet", "B1", ""));
    auto dayTxns = doc->retrieveDayTxns(day);
    ASSERT_NE(dayTxns, nullptr);
    EXPECT_THAT(codes(*dayTxns), ElementsAre(kTxnInvoice, kTxnSalesReceipt, kTxnCreditMemo,
                                             kTxnInventoryAdjustment, kTxnBuildAssembly));
    const std::string log = activity();
    EXPECT_THAT(log, HasSubstr("------------------\n-- Invoice #I1 for customer Carter :\n"
                               "Widget 2.000000\n"));
    EXPECT_THAT(log, HasSubstr("-- Sales Receipt #S1 for customer  :\n"));
    EXPECT_THAT(log, HasSubstr("-- Credit Memo #C1 for customer  :\n"));
    EXPECT_THAT(log, HasSubstr("Inventory Adjustment # : A1\n"));
    EXPECT_LT(log.find("Credit Memo #C1"), log.find("Inventory Adjustment # : A1"));
}

// --- receiving lines ---

struct ReceiptCase {
    const char* title;
    std::string lines;  // ItemLineRet elements of one bill
    double rate;
    // (quantity in the on-hand layer, item cost) per lot of Widget, in order
    std::vector<std::tuple<double, double>> lots;
};

void PrintTo(const ReceiptCase& c, std::ostream* os) {
    *os << c.title;
}

class ReceiptLinesTest : public IntakeTest, public ::testing::WithParamInterface<ReceiptCase> {};

TEST_P(ReceiptLinesTest, PlacesLots) {
    const ReceiptCase& c = GetParam();
    CCostrunItemList list;
    CCostrunItem* widget = addItem(list, "Widget", 10.0);
    addItem(list, "Gadget", 0.0);  // complete from the start
    CCostrunItem* idle = addItem(list, "Idle", 5.0);
    idle->active = false;

    auto bill = records("<BillRet>" + c.lines + "</BillRet>", "BillRet");
    doc->takeReceiptLines(list, CDateTime::fromLocal(2010, 3, 30), "B-7", "Bill",
                          bill->getAt(0)->findAll("ItemLineRet"), "Quantity", "Amount", c.rate);

    std::vector<std::tuple<double, double>> lots;
    for (const auto& lot : widget->lots) {
        EXPECT_EQ(lot->txnType, "Bill");
        EXPECT_EQ(lot->refNumber, "B-7");
        EXPECT_EQ(dateText(lot->txnDate), "2010-03-30");
        lots.emplace_back(lot->qty, lot->itemCost);
    }
    EXPECT_EQ(lots, c.lots);
    EXPECT_TRUE(list.find("Gadget")->lots.empty());
    EXPECT_TRUE(idle->lots.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceiptLinesTest,
    ::testing::Values(
        ReceiptCase{"TwoLinesOfOneItemInListedOrder",
                    itemLine("ItemLineRet", "Widget", "Quantity", "6", "Amount", "60.00") +
                        itemLine("ItemLineRet", "Widget", "Quantity", "8", "Amount", "96.00"),
                    1.0,
                    {{6.0, 10.0}, {4.0, 12.0}}},
        ReceiptCase{"AmountTimesRate",
                    itemLine("ItemLineRet", "Widget", "Quantity", "5", "Amount", "100.00"),
                    1.25,
                    {{5.0, 25.0}}},
        ReceiptCase{"NonPositiveOrMissingQuantityIsNoLot",
                    itemLine("ItemLineRet", "Widget", "Quantity", "0", "Amount", "10.00") +
                        itemLine("ItemLineRet", "Widget", "Quantity", "-2", "Amount", "10.00") +
                        itemLine("ItemLineRet", "Widget", "Quantity", "", "Amount", "10.00"),
                    1.0,
                    {}},
        ReceiptCase{"LinesWithoutItemOrOfOtherItemsAreSkipped",
                    "<ItemLineRet></ItemLineRet>" +
                        itemLine("ItemLineRet", "", "Quantity", "3", "Amount", "30.00") +
                        itemLine("ItemLineRet", "Unknown", "Quantity", "3", "Amount", "30.00") +
                        itemLine("ItemLineRet", "widget", "Quantity", "3", "Amount", "30.00") +
                        itemLine("ItemLineRet", "Gadget", "Quantity", "3", "Amount", "30.00") +
                        itemLine("ItemLineRet", "Idle", "Quantity", "3", "Amount", "30.00") +
                        itemLine("ItemLineRet", "Widget", "Quantity", "2", "Amount", "8.00"),
                    1.0,
                    {{2.0, 4.0}}},
        ReceiptCase{"LineWithoutAmountCostsNothing",
                    itemLine("ItemLineRet", "Widget", "Quantity", "4"),
                    1.0,
                    {{4.0, 0.0}}},
        ReceiptCase{"CompleteItemTakesNoFurtherLot",
                    itemLine("ItemLineRet", "Widget", "Quantity", "12", "Amount", "120.00") +
                        itemLine("ItemLineRet", "Widget", "Quantity", "3", "Amount", "3.00"),
                    1.0,
                    {{10.0, 10.0}}}),
    [](const ::testing::TestParamInfo<ReceiptCase>& info) { return info.param.title; });

TEST_F(IntakeTest, InventoryAdjustmentIncreaseIsALotAndDecreaseAnIssue) {
    CCostrunItemList list;
    CCostrunItem* widget = addItem(list, "Widget", 10.0);
    auto adjustments =
        records(txn("InventoryAdjustmentRet", "A1",
                    itemLine("InventoryAdjustmentLineRet", "Widget", "QuantityDifference", "4",
                             "ValueDifference", "40.00") +
                        itemLine("InventoryAdjustmentLineRet", "Widget", "QuantityDifference", "-3",
                                 "ValueDifference", "-27.00")),
                "InventoryAdjustmentRet");
    doc->takeReceiptLines(list, CDateTime::fromLocal(2010, 4, 1), "A1", "Inventory Adjustment",
                          adjustments->getAt(0)->findAll("InventoryAdjustmentLineRet"),
                          "QuantityDifference", "ValueDifference", 1.0);
    ASSERT_EQ(widget->lots.size(), 1u);
    EXPECT_FLOAT_EQ(widget->lots[0]->qty, 4.0);
    EXPECT_FLOAT_EQ(widget->lots[0]->itemCost, 10.0);
    EXPECT_FLOAT_EQ(widget->onHandValue, 40.0);

    CCostrunTxnList dayTxns;
    dayTxns.addAll(kTxnInventoryAdjustment, adjustments.get());
    doc->sumIssues(list, dayTxns);
    EXPECT_FLOAT_EQ(widget->issuedQty, 3.0);
}

// --- exchange rate of a receipt ---

struct RateCase {
    bool multiCurrency;
    std::string rateElement;
    double expected;
};

void PrintTo(const RateCase& c, std::ostream* os) {
    *os << (c.multiCurrency ? "multicurrency " : "single currency ") << c.rateElement;
}

class ReceiptRateTest : public IntakeTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(ReceiptRateTest, ReadsTheRate) {
    engineState(*doc).settings.multiCurrency = GetParam().multiCurrency;
    auto bills = records("<BillRet>" + GetParam().rateElement + "</BillRet>", "BillRet");
    EXPECT_FLOAT_EQ(doc->receiptRate(*bills->getAt(0)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceiptRateTest,
    ::testing::Values(RateCase{false, "<ExchangeRate>1.25</ExchangeRate>", 1.0},
                      RateCase{true, "<ExchangeRate>1.25</ExchangeRate>", 1.25},
                      RateCase{true, "<ExchangeRate>0</ExchangeRate>", 1.0},
                      RateCase{true, "<ExchangeRate>-2</ExchangeRate>", 1.0},
                      RateCase{true, "<Memo>no rate</Memo>", 1.0}));

// --- issued quantities ---

TEST_F(IntakeTest, IssuesAddSalesAndBuildsAndSubtractReturns) {
    CCostrunItemList list;
    CCostrunItem* widget = addItem(list, "Widget", 10.0);
    CCostrunItem* bolt = addItem(list, "Bolt", 4.0);
    auto invoices = records(
        txn("InvoiceRet", "I1",
            itemLine("InvoiceLineRet", "Widget", "Quantity", "5") + "<InvoiceLineGroupRet>" +
                itemLine("InvoiceLineRet", "Bolt", "Quantity", "2") + "</InvoiceLineGroupRet>") +
            txn("InvoiceRet", "I2",
                "<IsPending>true</IsPending>" +
                    itemLine("InvoiceLineRet", "Widget", "Quantity", "7")),
        "InvoiceRet");
    auto credits = records(
        txn("CreditMemoRet", "C1", itemLine("CreditMemoLineRet", "Widget", "Quantity", "2")),
        "CreditMemoRet");
    auto receipts = records(txn("SalesReceiptRet", "S1",
                                itemLine("SalesReceiptLineRet", "Bolt", "Quantity", "1") +
                                    itemLine("SalesReceiptLineRet", "Unknown", "Quantity", "9") +
                                    itemLine("SalesReceiptLineRet", "Widget", "Quantity", "")),
                            "SalesReceiptRet");
    auto builds = records(txn("BuildAssemblyRet", "B1",
                              itemLine("ComponentItemLineRet", "Bolt", "QuantityNeeded", "0.5")),
                          "BuildAssemblyRet");

    CCostrunTxnList dayTxns;
    dayTxns.addAll(kTxnInvoice, invoices.get());
    dayTxns.addAll(kTxnSalesReceipt, receipts.get());
    dayTxns.addAll(kTxnCreditMemo, credits.get());
    dayTxns.addAll(kTxnBuildAssembly, builds.get());
    doc->sumIssues(list, dayTxns);

    EXPECT_FLOAT_EQ(widget->issuedQty, 3.0);
    EXPECT_FLOAT_EQ(bolt->issuedQty, 3.5);
}

TEST_F(IntakeTest, IssuesLogTheItemsNewValues) {
    CCostrunItemList list;
    CCostrunItem* widget = addItem(list, "Widget", 2.0);
    widget->cogsAccount = "Cost of Goods Sold";
    widget->collectedQty = 2.0;
    widget->onHandValue = 21.5;
    addItem(list, "Bolt", 4.0);
    doc->sumIssues(list, CCostrunTxnList());
    EXPECT_THAT(activity(), HasSubstr("-- New item value\nItem Cost Account\n"
                                      "Widget 21.500000 Cost of Goods Sold\n"
                                      "Bolt cannot find all item receipts\n"));
}

// --- price list, accounts, classes ---

TEST_F(IntakeTest, PriceListReadsPriceOrPurchaseCost) {
    script.responses.push_back(ok("ItemNonInventoryQueryRs",
                                  "<ItemNonInventoryRet><FullName>Paint</FullName>"
                                  "<SalesOrPurchase><Price>4.00</Price></SalesOrPurchase>"
                                  "</ItemNonInventoryRet>"
                                  "<ItemNonInventoryRet><FullName>Tape</FullName>"
                                  "</ItemNonInventoryRet>"));
    script.responses.push_back(ok("ItemServiceQueryRs",
                                  "<ItemServiceRet><FullName>Labour</FullName>"
                                  "<SalesOrPurchase><Price>12.50</Price></SalesOrPurchase>"
                                  "</ItemServiceRet>"
                                  "<ItemServiceRet><FullName>Paint</FullName>"
                                  "<SalesOrPurchase><Price>5.00</Price></SalesOrPurchase>"
                                  "</ItemServiceRet>"));
    script.responses.push_back(ok("ItemOtherChargeQueryRs",
                                  "<ItemOtherChargeRet><FullName>Freight</FullName>"
                                  "<SalesAndPurchase><SalesPrice>9.00</SalesPrice>"
                                  "<PurchaseCost>3.00</PurchaseCost></SalesAndPurchase>"
                                  "</ItemOtherChargeRet>"));
    auto prices = doc->retrievePriceList();
    ASSERT_NE(prices, nullptr);
    EXPECT_THAT(*prices, ElementsAre(Pair("Freight", "3.00"), Pair("Labour", "12.50"),
                                     Pair("Paint", "5.00"), Pair("Tape", "")));
    ASSERT_EQ(script.requests.size(), 3u);
    EXPECT_THAT(script.requests[0], HasSubstr("<ItemNonInventoryQueryRq"));
    EXPECT_THAT(script.requests[1], HasSubstr("<ItemServiceQueryRq"));
    EXPECT_THAT(script.requests[2], HasSubstr("<ItemOtherChargeQueryRq"));
    EXPECT_THAT(statusTexts, ElementsAre("Retrieving the non-inventory part list...",
                                         "Retrieving the service list...",
                                         "Retrieving the other charge list..."));
}

// Every account's adjustments are read (a count is often booked to cost of goods sold);
// only the system's own value adjustments are left out, by their memo.
TEST_F(IntakeTest, InventoryAdjustmentsAreAllButTheSystemsOwn) {
    engineState(*doc).settings.startDate = CDateTime::fromLocal(2010, 3, 1);
    script.responses.push_back(ok("InventoryAdjustmentQueryRs",
                                  txn("InventoryAdjustmentRet", "A1", "") +
                                      "<InventoryAdjustmentRet><TxnID>A2</TxnID><Memo>FIFO valuation</Memo>"
                                      "</InventoryAdjustmentRet>" +
                                      txn("InventoryAdjustmentRet", "A3", "")));
    doc->retrieveInventoryAdjustments(day);

    ASSERT_EQ(script.requests.size(), 1u);
    EXPECT_THAT(script.requests[0],
                HasSubstr("<MaxReturned>500</MaxReturned><TxnDateRangeFilter><FromTxnDate>2010-03-01"
                          "</FromTxnDate><ToTxnDate>2010-04-01</ToTxnDate></TxnDateRangeFilter>"
                          "<IncludeLineItems>true</IncludeLineItems></InventoryAdjustmentQueryRq>"));
    const CQbObjectList* adjustments = engineState(*doc).runLists.inventoryAdjustments.get();
    ASSERT_NE(adjustments, nullptr);
    ASSERT_EQ(adjustments->getSize(), 2);
    EXPECT_EQ(adjustments->getAt(0)->getValue("TxnID"), "A1");
    EXPECT_EQ(adjustments->getAt(1)->getValue("TxnID"), "A3");
    EXPECT_THAT(statusTexts, ElementsAre("Retrieving the list of inventory adjustments..."));
}

// A query QuickBooks answers with nothing leaves an empty list, not none.
TEST_F(IntakeTest, NoInventoryAdjustmentsMeansAnEmptyList) {
    engineState(*doc).settings.startDate = CDateTime::fromLocal(2010, 3, 1);
    script.responses.push_back(empty("InventoryAdjustmentQueryRs"));
    doc->retrieveInventoryAdjustments(day);
    ASSERT_NE(engineState(*doc).runLists.inventoryAdjustments, nullptr);
    EXPECT_EQ(engineState(*doc).runLists.inventoryAdjustments->getSize(), 0);
}

TEST_F(IntakeTest, ClassListSkipsEmptyNamesAndKeepsDuplicates) {
    script.responses.push_back(ok("ClassQueryRs",
                                  "<ClassRet><FullName>East</FullName></ClassRet>"
                                  "<ClassRet><Name>nameless</Name></ClassRet>"
                                  "<ClassRet><FullName>West</FullName></ClassRet>"
                                  "<ClassRet><FullName>East</FullName></ClassRet>"));
    doc->retrieveClasses();
    EXPECT_THAT(engineState(*doc).runLists.classList, ElementsAre("", "East", "West", "East"));
    ASSERT_EQ(script.requests.size(), 1u);
    EXPECT_THAT(script.requests[0], HasSubstr("<ClassQueryRq requestID=\"1688\"><ActiveStatus>All</ActiveStatus></ClassQueryRq>"));
}

}  // namespace

// The walk of a day: each item takes lots from the newest receiving record dated before
// the day backwards, the lines of one record in their listed order (group lines after
// direct ones), skipping pending records and records dated on or after the day, until
// it is complete; only the first item of a name takes lots, as a lookup by name finds
// only it.
TEST_F(IntakeTest, LotWalkTakesEachItemsNewestReceiptsFirst) {
    auto dated = [](const std::string& element, const std::string& ref, const std::string& date,
                    const std::string& body) {
        return "<" + element + "><TxnID>" + ref + "</TxnID><TxnDate>" + date + "</TxnDate><RefNumber>" + ref +
               "</RefNumber>" + body + "</" + element + ">";
    };
    auto bills = records(
        dated("BillRet", "B1", "2010-03-01",
              itemLine("ItemLineRet", "Widget", "Quantity", "5", "Amount", "50.00") +
                  itemLine("ItemLineRet", "Gadget", "Quantity", "4", "Amount", "8.00")) +
            dated("BillRet", "B2", "2010-03-20",
                  itemLine("ItemLineRet", "Widget", "Quantity", "3", "Amount", "36.00") +
                      "<ItemGroupLineRet>" + itemLine("ItemLineRet", "Widget", "Quantity", "1", "Amount", "20.00") +
                      "</ItemGroupLineRet>" +
                      itemLine("ItemLineRet", "Widget", "Quantity", "2", "Amount", "28.00")) +
            dated("BillRet", "B3", "2010-03-25",
                  "<IsPending>true</IsPending>" + itemLine("ItemLineRet", "Widget", "Quantity", "9", "Amount", "9.00")) +
            dated("BillRet", "B4", "2010-04-02",  // after the day
                  itemLine("ItemLineRet", "Widget", "Quantity", "9", "Amount", "9.00")),
        "BillRet");
    engineState(*doc).runLists.receiptTxns = std::make_unique<CReceiptRecords>();
    engineState(*doc).runLists.receiptTxns->addAll(kTxnBill, bills.get());
    doc->indexReceipts();

    CCostrunItemList list;
    CCostrunItem* widget = addItem(list, "Widget", 8.0);
    CCostrunItem* gadget = addItem(list, "Gadget", 3.0);
    CCostrunItem* twin = addItem(list, "Widget", 8.0);
    doc->collectLots(list, day, "Inventory");

    std::vector<std::tuple<std::string, double, double>> lots;
    for (const auto& lot : widget->lots) lots.emplace_back(lot->refNumber, lot->qty, lot->itemCost);
    EXPECT_EQ(lots, (std::vector<std::tuple<std::string, double, double>>{
                        {"B2", 3.0, 12.0}, {"B2", 2.0, 14.0}, {"B2", 1.0, 20.0}, {"B1", 2.0, 10.0}}));
    ASSERT_EQ(gadget->lots.size(), 1u);
    EXPECT_EQ(gadget->lots[0]->qty, 3.0);
    EXPECT_TRUE(widget->isComplete());
    EXPECT_TRUE(twin->lots.empty());
}
