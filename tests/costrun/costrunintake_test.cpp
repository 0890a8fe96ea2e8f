// Transaction intake against a scripted request processor: the day's queries and the
// list they produce (CDayTxns) and how a run asks them, receiving lines turned into lots
// by the walk (CReceiptWalk), the day's issued quantities (CDayAdjustments), the exchange
// rate of a receipt, the price list and the class list (CRunLists) and the inventory
// adjustments a run reads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "activitylog.h"
#include "costrundoc.h"
#include "costrunitemlist.h"
#include "costrunreceipts.h"
#include "dayadjustments.h"
#include "daycommit.h"
#include "days.h"
#include "daytxns.h"
#include "enginefixture.h"
#include "qbresponse.h"
#include "qbsession.h"
#include "qbutils.h"
#include "receiptwalk.h"
#include "receivingtxns.h"
#include "runlists.h"
#include "runsummary.h"
#include "scriptedprocessor.h"
#include "testfiles.h"
#include "txnkinds.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

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

class IntakeTest : public CScriptedSessionTest {
protected:
    IntakeTest() { log.open(); }

    std::string activity() const { return readFile(log.path()); }

    CCostrunItem* addItem(CCostrunItemList& list, const std::string& name, double qty,
                          double value = 0.0) {
        return list.add(std::make_unique<CCostrunItem>(name, qty, value));
    }

    // The answer to the day's six queries, sent in one message set.
    void scriptDay(const std::string& invoices, const std::string& salesReceipts,
                   const std::string& adjustments, const std::string& creditMemos,
                   const std::string& builds, const std::string& charges = "") {
        auto answer = [](const std::string& rs, const std::string& inner) {
            return inner.empty() ? emptyElement(rs) : okElement(rs, inner);
        };
        script.responses.push_back(responseDocument(
            answer("InvoiceQueryRs", invoices) + answer("SalesReceiptQueryRs", salesReceipts) +
            answer("InventoryAdjustmentQueryRs", adjustments) + answer("CreditMemoQueryRs", creditMemos) +
            answer("ChargeQueryRs", charges) + answer("BuildAssemblyQueryRs", builds)));
    }

    // The day's transactions from the answers to its queries, sent in one message set;
    // their progress texts follow the day's own.
    // A record that holds no posting: the system's own are told by their memo.
    std::unique_ptr<CDayTxns> retrieveDayTxns() {
        const std::string dayText = "Calculation on day 04/01/2010\n\n";
        const CSeenRecord record;
        return std::make_unique<CDayTxns>(session(), day, true,
                                          session().sendMessageSet(CDayTxns::requests(session(), day, true)),
                                          [&](const std::string& text) { statusTexts.push_back(dayText + text); },
                                          COwnPostings(record, std::nullopt));
    }

    // Lots from the lines of one receiving transaction, as the walk places them.
    void takeReceiptLines(CCostrunItemList& list, const std::optional<CDateTime>& txnDate,
                          const std::string& refNumber, const std::string& typeName,
                          const std::vector<CQbField*>& lines, const std::string& quantityField,
                          const std::string& amountField, double rate) {
        for (const CQbField* line : lines) {
            if (const auto read = readReceiptLine(*line, quantityField, amountField))
                walk.placeLot(list, *read, txnDate, refNumber, typeName, rate);
        }
    }

    // The answers to the run's item list queries (assemblies, then inventory parts) of a
    // company without stocked items; the price and class lists follow.
    void scriptItems() {
        script.responses.push_back(empty("ItemInventoryAssemblyQueryRs"));
        script.responses.push_back(empty("ItemInventoryQueryRs"));
    }

    std::vector<int> codes(const CCostrunTxnList& list) const {
        std::vector<int> out;
        for (const auto& record : list) out.push_back(record->txnTypeCode);
        return out;
    }

    const CDateTime start = *CDateTime::fromLocal(2010, 3, 1);
    const CDateTime day = *CDateTime::fromLocal(2010, 4, 1, 23, 59, 59);
    CActivityLog log{(dir / "activity.txt").string()};
    CRunLists lists;
    CStubStockFigures figures;
    CReceiptWalk walk{lists.units(), figures, std::nullopt, false, nullptr};
    CRunSummary summary;
    CDayCommit commit{session(), summary, nullptr};
    CDayAdjustments adjustments{lists, walk, log, commit};
};

// --- the day's transactions ---

TEST_F(IntakeTest, DayWithOnlyReceiptsHasNoTransactions) {
    scriptDay("", "", "", "", "");
    const auto dayTxns = retrieveDayTxns();
    EXPECT_EQ(dayTxns->all(), nullptr);
    EXPECT_EQ(dayTxns->builds(), nullptr);

    ASSERT_EQ(script.requests.size(), 1u);
    const std::vector<std::string> requests = requestElements(script.requests[0]);
    ASSERT_EQ(requests.size(), 6u);
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
    // A statement charge has its item in its header: there are no lines to include.
    EXPECT_THAT(requests[4], HasSubstr("<ChargeQueryRq"));
    EXPECT_THAT(requests[4], HasSubstr(range));
    EXPECT_THAT(requests[4], Not(HasSubstr("IncludeLineItems")));
    EXPECT_THAT(requests[5], HasSubstr("<BuildAssemblyQueryRq"));
    EXPECT_THAT(requests[5],
                HasSubstr(range + "<IncludeComponentLineItems>true</IncludeComponentLineItems>"));
    EXPECT_THAT(requests[5], Not(HasSubstr("IncludeLineItems")));
    // The system's own field comes along: a "BuildValue" found on a build of a day not
    // yet committed is provisional and overwritten, never added twice.
    EXPECT_THAT(requests[5], HasSubstr("<IncludeComponentLineItems>true</IncludeComponentLineItems>"
                                              "<OwnerID>{04C1726A-9530-49E2-927F-91F5477CE3D0}</OwnerID>"));

    EXPECT_THAT(
        statusTexts,
        ElementsAre("Calculation on day 04/01/2010\n\nRetrieving list of invoices...",
                    "Calculation on day 04/01/2010\n\nRetrieving list of sales receipts...",
                    "Calculation on day 04/01/2010\n\nRetrieving list of inventory "
                    "adjustments...",
                    "Calculation on day 04/01/2010\n\nRetrieving list of credit memos...",
                    "Calculation on day 04/01/2010\n\nRetrieving list of statement charges...",
                    "Calculation on day 04/01/2010\n\nRetrieving list of build assembly..."));
}

// The run of such a day: it says what it asks for, asks in one round trip, and calculates
// nothing. Every answer is an empty success.
class IntakeRunTest : public CScriptedEngineTest {};

TEST_F(IntakeRunTest, ADayWithOnlyReceiptsIsAskedForInOneRoundTripAndNotCalculated) {
    script.perRequest = true;
    const CDateTime first = *CDateTime::fromLocal(2010, 4, 1);
    ASSERT_TRUE(doc->storeStartDate(first)) << doc->getErrorText();
    ASSERT_TRUE(doc->runValuation(endOfDay(first))) << doc->getErrorText();

    const std::string dayText = "Calculation on day 04/01/2010\n\n";
    const auto from = std::find(statusTexts.begin(), statusTexts.end(), dayText);
    ASSERT_GE(statusTexts.end() - from, 8);
    EXPECT_THAT(std::vector<std::string>(from, from + 8),
                ElementsAre(dayText, dayText + "Retrieving the day's transactions...",
                            dayText + "Retrieving list of invoices...", dayText + "Retrieving list of sales receipts...",
                            dayText + "Retrieving list of inventory adjustments...",
                            dayText + "Retrieving list of credit memos...",
                            dayText + "Retrieving list of statement charges...",
                            dayText + "Retrieving list of build assembly..."));
    // One round trip for the six queries.
    const auto dayQueries = std::find_if(script.requests.begin(), script.requests.end(), [](const std::string& request) {
        return request.find("<InvoiceQueryRq") != std::string::npos;
    });
    ASSERT_NE(dayQueries, script.requests.end());
    EXPECT_EQ(requestElements(*dayQueries).size(), 6u);
    EXPECT_EQ(doc->getRunSummary().daysProcessed, 1);
    EXPECT_EQ(doc->getRunSummary().daysCalculated, 0);
}

TEST_F(IntakeTest, BuildOnlyDayGivesTheBuildInBothLists) {
    scriptDay("", "", "", "",
              txn("BuildAssemblyRet", "B1",
                  "<ItemInventoryAssemblyRef><FullName>Kit</FullName></ItemInventoryAssemblyRef>"
                  "<QuantityToBuild>2</QuantityToBuild>"));
    const auto dayTxns = retrieveDayTxns();
    ASSERT_NE(dayTxns->all(), nullptr);
    EXPECT_THAT(codes(*dayTxns->all()), ElementsAre(kTxnBuildAssembly));
    ASSERT_NE(dayTxns->builds(), nullptr);
    ASSERT_EQ(dayTxns->builds()->size(), 1u);
    EXPECT_EQ(dayTxns->builds()->at(0)->ret->getValue("RefNumber"), "B1");
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
    const auto dayTxns = retrieveDayTxns();
    ASSERT_NE(dayTxns->all(), nullptr);
    EXPECT_THAT(codes(*dayTxns->all()), ElementsAre(kTxnInvoice, kTxnSalesReceipt, kTxnCreditMemo,
                                                    kTxnInventoryAdjustment, kTxnBuildAssembly));
    dayTxns->log(log, lists.units());
    const std::string text = activity();
    EXPECT_THAT(text, HasSubstr("------------------\n-- Invoice #I1 for customer Carter :\n"
                               "Widget 2.000000\n"));
    EXPECT_THAT(text, HasSubstr("-- Sales Receipt #S1 for customer  :\n"));
    EXPECT_THAT(text, HasSubstr("-- Credit Memo #C1 for customer  :\n"));
    EXPECT_THAT(text, HasSubstr("Inventory Adjustment # : A1\n"));
    EXPECT_LT(text.find("Credit Memo #C1"), text.find("Inventory Adjustment # : A1"));
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
    takeReceiptLines(list, CDateTime::fromLocal(2010, 3, 30), "B-7", "Bill", bill->getAt(0)->findAll("ItemLineRet"),
                     "Quantity", "Amount", c.rate);

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
    auto adjustmentList =
        records(txn("InventoryAdjustmentRet", "A1",
                    itemLine("InventoryAdjustmentLineRet", "Widget", "QuantityDifference", "4",
                             "ValueDifference", "40.00") +
                        itemLine("InventoryAdjustmentLineRet", "Widget", "QuantityDifference", "-3",
                                 "ValueDifference", "-27.00")),
                "InventoryAdjustmentRet");
    takeReceiptLines(list, CDateTime::fromLocal(2010, 4, 1), "A1", "Inventory Adjustment",
                     adjustmentList->getAt(0)->findAll("InventoryAdjustmentLineRet"), "QuantityDifference",
                     "ValueDifference", 1.0);
    ASSERT_EQ(widget->lots.size(), 1u);
    EXPECT_FLOAT_EQ(widget->lots[0]->qty, 4.0);
    EXPECT_FLOAT_EQ(widget->lots[0]->itemCost, 10.0);
    EXPECT_FLOAT_EQ(widget->onHandValue, 40.0);

    CCostrunTxnList dayTxns;
    dayTxns.addAll(kTxnInventoryAdjustment, adjustmentList.get());
    adjustments.sumIssues(list, dayTxns);
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
    const CReceiptWalk rated(lists.units(), figures, std::nullopt, GetParam().multiCurrency, nullptr);
    auto bills = records("<BillRet>" + GetParam().rateElement + "</BillRet>", "BillRet");
    EXPECT_FLOAT_EQ(rated.rate(CReceiptRecords::take(kTxnBill, *bills->getAt(0)).exchangeRate), GetParam().expected);
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
    adjustments.sumIssues(list, dayTxns);

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
    adjustments.sumIssues(list, CCostrunTxnList());
    EXPECT_THAT(activity(), HasSubstr("-- New item value\nItem Cost Account\n"
                                      "Widget 21.500000 Cost of Goods Sold\n"
                                      "Bolt cannot find all item receipts\n"));
}

// --- price list, accounts, classes ---

TEST_F(IntakeTest, PriceListReadsPriceOrPurchaseCost) {
    scriptItems();
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
    script.responses.push_back(empty("ClassQueryRs"));
    lists.read(session(), true, progress());
    auto price = [this](const std::string& item) {
        const std::string* found = lists.price(item);
        return found ? std::optional<std::string>(*found) : std::nullopt;
    };
    EXPECT_EQ(price("Freight"), "3.00");
    EXPECT_EQ(price("Labour"), "12.50");
    EXPECT_EQ(price("Paint"), "5.00");
    EXPECT_EQ(price("Tape"), "");
    EXPECT_EQ(price("Widget"), std::nullopt);  // nothing else is priced
    ASSERT_EQ(script.requests.size(), 6u);
    EXPECT_THAT(script.requests[2], HasSubstr("<ItemNonInventoryQueryRq"));
    EXPECT_THAT(script.requests[3], HasSubstr("<ItemServiceQueryRq"));
    EXPECT_THAT(script.requests[4], HasSubstr("<ItemOtherChargeQueryRq"));
    EXPECT_THAT(statusTexts, ElementsAre("Retrieving the item list...", "Retrieving the non-inventory part list...",
                                         "Retrieving the service list...", "Retrieving the other charge list..."));
}

// Every account's adjustments are read (a count is often booked to cost of goods sold);
// only the system's own value adjustments are left out, by their memo.
TEST_F(IntakeTest, InventoryAdjustmentsAreAllButTheSystemsOwn) {
    script.responses.push_back(ok("InventoryAdjustmentQueryRs",
                                  txn("InventoryAdjustmentRet", "A1", "") +
                                      "<InventoryAdjustmentRet><TxnID>A2</TxnID><Memo>FIFO valuation</Memo>"
                                      "</InventoryAdjustmentRet>" +
                                      txn("InventoryAdjustmentRet", "A3", "")));
    // A record that holds no posting: the memo tells the system's own.
    const CSeenRecord record;
    const auto adjustments = readInventoryAdjustments(session(), start, day, progress(), COwnPostings(record, std::nullopt));

    ASSERT_EQ(script.requests.size(), 1u);
    EXPECT_THAT(script.requests[0],
                HasSubstr("<MaxReturned>500</MaxReturned><TxnDateRangeFilter><FromTxnDate>2010-03-01"
                          "</FromTxnDate><ToTxnDate>2010-04-01</ToTxnDate></TxnDateRangeFilter>"
                          "<IncludeLineItems>true</IncludeLineItems></InventoryAdjustmentQueryRq>"));
    ASSERT_NE(adjustments, nullptr);
    ASSERT_EQ(adjustments->getSize(), 2);
    EXPECT_EQ(adjustments->getAt(0)->getValue("TxnID"), "A1");
    EXPECT_EQ(adjustments->getAt(1)->getValue("TxnID"), "A3");
    EXPECT_THAT(statusTexts, ElementsAre("Retrieving the list of inventory adjustments..."));
}

// A query QuickBooks answers with nothing leaves an empty list, not none.
TEST_F(IntakeTest, NoInventoryAdjustmentsMeansAnEmptyList) {
    script.responses.push_back(empty("InventoryAdjustmentQueryRs"));
    const CSeenRecord record;
    const auto adjustments = readInventoryAdjustments(session(), start, day, progress(), COwnPostings(record, std::nullopt));
    ASSERT_NE(adjustments, nullptr);
    EXPECT_EQ(adjustments->getSize(), 0);
}

TEST_F(IntakeTest, ClassListSkipsEmptyNamesAndKeepsDuplicates) {
    scriptItems();
    for (const char* rs : {"ItemNonInventoryQueryRs", "ItemServiceQueryRs", "ItemOtherChargeQueryRs"})
        script.responses.push_back(empty(rs));
    script.responses.push_back(ok("ClassQueryRs",
                                  "<ClassRet><FullName>East</FullName></ClassRet>"
                                  "<ClassRet><Name>nameless</Name></ClassRet>"
                                  "<ClassRet><FullName>West</FullName></ClassRet>"
                                  "<ClassRet><FullName>East</FullName></ClassRet>"));
    lists.read(session(), true, progress());
    EXPECT_THAT(lists.classes(), ElementsAre("", "East", "West", "East"));
    ASSERT_EQ(script.requests.size(), 6u);
    EXPECT_THAT(script.requests[5], HasSubstr("<ClassQueryRq requestID=\"1688\"><ActiveStatus>All</ActiveStatus></ClassQueryRq>"));
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
    walk.records().addAll(kTxnBill, bills.get());
    walk.index();

    CCostrunItemList list;
    CCostrunItem* widget = addItem(list, "Widget", 8.0);
    CCostrunItem* gadget = addItem(list, "Gadget", 3.0);
    CCostrunItem* twin = addItem(list, "Widget", 8.0);
    walk.collectLots(list, day, "Inventory");

    std::vector<std::tuple<std::string, double, double>> lots;
    for (const auto& lot : widget->lots) lots.emplace_back(lot->refNumber, lot->qty, lot->itemCost);
    EXPECT_EQ(lots, (std::vector<std::tuple<std::string, double, double>>{
                        {"B2", 3.0, 12.0}, {"B2", 2.0, 14.0}, {"B2", 1.0, 20.0}, {"B1", 2.0, 10.0}}));
    ASSERT_EQ(gadget->lots.size(), 1u);
    EXPECT_EQ(gadget->lots[0]->qty, 3.0);
    EXPECT_TRUE(widget->isComplete());
    EXPECT_TRUE(twin->lots.empty());
}
