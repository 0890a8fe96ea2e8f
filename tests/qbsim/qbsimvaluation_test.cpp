// Average cost as QuickBooks keeps it, checked against figures worked out by hand:
// receipts, sales, credit memos, quantity and value adjustments, builds, pending
// transactions, and how later changes reach reports asked for earlier.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>

namespace {

class QbSimValuationTest : public CValuationFixture {
protected:
    // One step of a scenario on the item "Widget". Bill: quantity at amount (the cost);
    // Sell: quantity; NewValue: amount, expecting the difference the adding request
    // answers; Delete: the ref-th adjustment posted (from 0); Value: expecting the
    // quantity and value at the end of the date; Difference: expecting what a query
    // answers for the ref-th adjustment.
    enum class Do { Bill, Sell, NewValue, Delete, Value, Difference };
    struct CStep {
        Do what;
        const char* date;
        const char* quantity;
        const char* amount;
        const char* expect;
        int ref = 0;
    };
    struct CScenario {
        const char* name;
        const char* purchaseCost;
        std::vector<CStep> steps;
    };

    std::vector<std::int64_t> januaryValues() {
        std::vector<std::int64_t> values;
        for (int day = 1; day <= 9; ++day) values.push_back(value("2024-01-0" + std::to_string(day), "Widget"));
        return values;
    }

    // Runs each scenario on a fresh company, then checks that a ledger evaluating the
    // whole history afresh reports what the one that followed the postings did.
    void run(const std::vector<CScenario>& scenarios) {
        for (const auto& scenario : scenarios) {
            SCOPED_TRACE(scenario.name);
            open({"Valuation Co", false, false});
            inventoryItem("Widget", scenario.purchaseCost);
            std::vector<std::string> adjustments;  // TxnIDs in the order posted
            for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
                const CStep& step = scenario.steps[i];
                SCOPED_TRACE("step " + std::to_string(i));
                switch (step.what) {
                case Do::Bill:
                    ok(receipt("Bill", step.date, "Widget", step.quantity, step.amount));
                    break;
                case Do::Sell:
                    ok(sale("Invoice", step.date, "Widget", step.quantity));
                    break;
                case Do::NewValue: {
                    const auto rs = ok(adjustment(step.date, "Widget",
                                                  std::string("<ValueAdjustment><NewValue>") + step.amount +
                                                      "</NewValue></ValueAdjustment>"));
                    adjustments.push_back(textAt(rs[0].rets()[0], "TxnID"));
                    EXPECT_EQ(textAt(rs[0].rets()[0], "InventoryAdjustmentLineRet/ValueDifference"), step.expect);
                    break;
                }
                case Do::Delete:
                    deleteTxn("InventoryAdjustment", adjustments.at(static_cast<std::size_t>(step.ref)));
                    break;
                case Do::Value: {
                    const auto r = row(step.date, "Widget");
                    EXPECT_DOUBLE_EQ(r.quantity, std::stod(step.quantity));
                    EXPECT_EQ(qbsimAmountText(r.valueCents), step.expect);
                    break;
                }
                case Do::Difference:
                    EXPECT_EQ(valueDifference(adjustments.at(static_cast<std::size_t>(step.ref))), step.expect);
                    break;
                }
            }
            const auto followed = januaryValues();
            engine->ledger().restart();
            EXPECT_EQ(januaryValues(), followed);
        }
    }
};

}  // namespace

TEST_F(QbSimValuationTest, AverageCostThroughReceiptsSalesAndAdjustments) {
    inventoryItem("Widget", "8.00");
    ok(receipt("Bill", "2024-01-02", "Widget", "10", "10.00") +
       receipt("Bill", "2024-01-03", "Widget", "10", "13.00") +
       sale("Invoice", "2024-01-04", "Widget", "5") +
       sale("CreditMemo", "2024-01-05", "Widget", "1") +
       adjustment("2024-01-06", "Widget", "<QuantityAdjustment><QuantityDifference>-2</QuantityDifference></QuantityAdjustment>") +
       adjustment("2024-01-07", "Widget", "<ValueAdjustment><NewValue>140.00</NewValue></ValueAdjustment>") +
       receipt("ItemReceipt", "2024-01-08", "Widget", "6", "15.00") +
       sale("SalesReceipt", "2024-01-09", "Widget", "20") +
       sale("Invoice", "2024-01-10", "Widget", "2") +
       receipt("Check", "2024-01-11", "Widget", "4", "12.00") +
       sale("Invoice", "2024-01-12", "Widget", "1", true));
    struct {
        const char* date;
        double quantity;
        std::int64_t value;
        double average;
    } const expected[] = {
        {"2024-01-01", 0, 0, 8.00},        // nothing yet: the purchase cost
        {"2024-01-02", 10, 10000, 10.00},
        {"2024-01-03", 20, 23000, 11.50},
        {"2024-01-04", 15, 17250, 11.50},  // 5 out at 11.50
        {"2024-01-05", 16, 18400, 11.50},  // 1 back at 11.50
        {"2024-01-06", 14, 16100, 11.50},  // -2 at 11.50 = -23.00
        {"2024-01-07", 14, 14000, 10.00},  // NewValue 140.00
        {"2024-01-08", 20, 23000, 11.50},
        {"2024-01-09", 0, 0, 11.50},       // sold out: the last average stays
        {"2024-01-10", -2, -2300, 11.50},  // negative stock at the last average
        {"2024-01-11", 2, 2400, 12.00},    // restocked: what is on hand at the check's cost
        {"2024-01-12", 2, 2400, 12.00},    // a pending invoice does nothing
    };
    for (const auto& e : expected) {
        const auto r = row(e.date, "Widget");
        EXPECT_DOUBLE_EQ(r.quantity, e.quantity) << e.date;
        EXPECT_EQ(r.valueCents, e.value) << e.date;
        EXPECT_NEAR(r.averageCost.value_or(-1), e.average, 1e-9) << e.date;
    }

    const auto rs = ok("<InventoryAdjustmentQueryRq><IncludeLineItems>true</IncludeLineItems></InventoryAdjustmentQueryRq>");
    ASSERT_EQ(rs[0].rets().size(), 2u);
    EXPECT_EQ(textAt(rs[0].rets()[0], "InventoryAdjustmentLineRet/QuantityDifference"), "-2");
    EXPECT_EQ(textAt(rs[0].rets()[0], "InventoryAdjustmentLineRet/ValueDifference"), "-23.00");
    EXPECT_EQ(textAt(rs[0].rets()[1], "InventoryAdjustmentLineRet/QuantityDifference"), "0");
    EXPECT_EQ(textAt(rs[0].rets()[1], "InventoryAdjustmentLineRet/ValueDifference"), "-21.00");
}

TEST_F(QbSimValuationTest, ValueAdjustmentWithQuantityAndValueDifference) {
    inventoryItem("Widget", "8.00");
    const auto rs = ok(receipt("Bill", "2024-02-01", "Widget", "10", "10.00") +
                       adjustment("2024-02-02", "Widget",
                                  "<ValueAdjustment><QuantityDifference>5</QuantityDifference>"
                                  "<NewValue>120.00</NewValue></ValueAdjustment>") +
                       adjustment("2024-02-03", "Widget",
                                  "<ValueAdjustment><ValueDifference>-30.00</ValueDifference></ValueAdjustment>"));
    EXPECT_EQ(textAt(rs[1].rets()[0], "InventoryAdjustmentLineRet/QuantityDifference"), "5");
    EXPECT_EQ(textAt(rs[1].rets()[0], "InventoryAdjustmentLineRet/ValueDifference"), "20.00");
    EXPECT_EQ(textAt(rs[2].rets()[0], "InventoryAdjustmentLineRet/ValueDifference"), "-30.00");
    EXPECT_DOUBLE_EQ(row("2024-02-02", "Widget").quantity, 15);
    EXPECT_EQ(value("2024-02-02", "Widget"), 12000);
    EXPECT_EQ(value("2024-02-03", "Widget"), 9000);
    EXPECT_NEAR(*row("2024-02-03", "Widget").averageCost, 6.0, 1e-9);
}

TEST_F(QbSimValuationTest, ForeignCurrencyReceiptsCountInHomeCurrency) {
    open({"Valuation Co", true, false});
    inventoryItem("Widget", "8.00");
    ok(receipt("Bill", "2024-03-01", "Widget", "5", "20.00", "1.25"));
    EXPECT_EQ(value("2024-03-01", "Widget"), 12500);
}

TEST_F(QbSimValuationTest, NewValueChangesItsDayAndLaterDaysButNotTheDayBefore) {
    inventoryItem("Widget", "8.00");
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00") + sale("Invoice", "2024-01-03", "Widget", "4") +
       sale("Invoice", "2024-01-06", "Widget", "2"));
    // Reports first, so that the adjustment lands in days already evaluated.
    EXPECT_EQ(value("2024-01-06", "Widget"), 4000);
    EXPECT_EQ(value("2024-01-03", "Widget"), 6000);
    ok(adjustment("2024-01-04", "Widget", "<ValueAdjustment><NewValue>48.00</NewValue></ValueAdjustment>"));
    EXPECT_EQ(value("2024-01-03", "Widget"), 6000);
    EXPECT_EQ(value("2024-01-04", "Widget"), 4800);
    EXPECT_EQ(value("2024-01-06", "Widget"), 3200);  // 2 out at the new 8.00
}

TEST_F(QbSimValuationTest, BackDatedBillChangesLaterReports) {
    inventoryItem("Widget", "8.00");
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00") + sale("Invoice", "2024-01-05", "Widget", "5"));
    EXPECT_EQ(value("2024-01-10", "Widget"), 5000);
    ok(receipt("Bill", "2024-01-03", "Widget", "10", "16.00"));
    EXPECT_EQ(value("2024-01-02", "Widget"), 10000);
    EXPECT_EQ(value("2024-01-10", "Widget"), 19500);  // 260.00 for 20, 5 out at 13.00
    // A deleted transaction is taken back the same way.
    const auto bills = ok("<BillQueryRq><TxnDateRangeFilter><FromTxnDate>2024-01-03</FromTxnDate>"
                          "<ToTxnDate>2024-01-03</ToTxnDate></TxnDateRangeFilter></BillQueryRq>");
    ok("<TxnDelRq><TxnDelType>Bill</TxnDelType><TxnID>" + textAt(bills[0].rets()[0], "TxnID") +
       "</TxnID></TxnDelRq>");
    EXPECT_EQ(value("2024-01-10", "Widget"), 5000);
}

TEST_F(QbSimValuationTest, ChangesFromAnotherConnectionReachTheReport) {
    inventoryItem("Widget", "8.00");
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00"));
    EXPECT_EQ(value("2024-01-31", "Widget"), 10000);
    {
        auto other = CQbSimCompany::open(company->path());
        CQbSimEngine writer(*other, nullptr);
        CParsedResponse rs(writer.processRequest(envelope(sale("Invoice", "2024-01-15", "Widget", "3"))));
        ASSERT_EQ(rs[0].code, 0) << rs[0].message;
    }
    EXPECT_EQ(value("2024-01-31", "Widget"), 7000);
}

TEST_F(QbSimValuationTest, BuildCostsComponentsAtAverageAndServicesAtTheirPrice) {
    inventoryItem("Widget", "8.00");
    inventoryItem("Bolt", "0.20");
    serviceItem("Labor", "12.50");
    assembly("Kit", {{"Widget", "2"}, {"Bolt", "1"}, {"Labor", "1"}});
    assembly("Big Kit", {{"Kit", "1"}, {"Widget", "1"}});
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00") + receipt("Bill", "2024-01-01", "Bolt", "100", "0.25") +
       build("2024-01-02", "Kit", "3") + build("2024-01-03", "Big Kit", "1"));
    // Kit: 6 widgets 60.00 + 3 bolts 0.75 + 3 hours 37.50 = 98.25 for 3.
    EXPECT_EQ(value("2024-01-02", "Kit"), 9825);
    EXPECT_EQ(value("2024-01-02", "Widget"), 4000);
    EXPECT_EQ(value("2024-01-02", "Bolt"), 2425);
    // Big Kit: one kit at 32.75 and one widget at 10.00.
    EXPECT_EQ(value("2024-01-03", "Big Kit"), 4275);
    EXPECT_EQ(value("2024-01-03", "Kit"), 6550);
    EXPECT_DOUBLE_EQ(row("2024-01-03", "Kit").quantity, 2);
    EXPECT_DOUBLE_EQ(row("2024-01-03", "Widget").quantity, 3);
}

TEST_F(QbSimValuationTest, PendingBuildMovesNothing) {
    inventoryItem("Widget", "8.00");
    assembly("Kit", {{"Widget", "2"}});
    ok(receipt("Bill", "2024-01-01", "Widget", "3", "10.00"));
    const auto refused = send(build("2024-01-02", "Kit", "2"));
    EXPECT_EQ(refused[0].code, 3180);
    const auto rs = ok(build("2024-01-02", "Kit", "2", true));
    EXPECT_EQ(textAt(rs[0].rets()[0], "IsPending"), "true");
    EXPECT_EQ(value("2024-01-02", "Widget"), 3000);
    EXPECT_DOUBLE_EQ(row("2024-01-02", "Kit").quantity, 0);
    EXPECT_EQ(value("2024-01-02", "Kit"), 0);
}

TEST_F(QbSimValuationTest, RefusedRequestLeavesNoTraceInTheLedger) {
    inventoryItem("Widget", "8.00");
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00"));
    EXPECT_EQ(value("2024-01-05", "Widget"), 10000);
    // The second adjustment line names no item: the whole request is rolled back,
    // after its first line may already have been written.
    CCompanyBuilder c(kValuationNames);
    const auto rs = send(c.adjustment("2024-01-02").newValue("Widget", 1.00).newValue("Nothing", 1.00));
    EXPECT_EQ(rs[0].code, 3140);
    EXPECT_EQ(value("2024-01-05", "Widget"), 10000);
}

TEST_F(QbSimValuationTest, MacroNamesTheTransactionAddedEarlierInTheDocument) {
    inventoryItem("Widget", "8.00");
    ok("<DataExtDefAddRq><DataExtDefAdd><OwnerID>{6A0E5E2B-2C9B-4F62-8C7C-3D2E1B0A9F11}</OwnerID>"
       "<DataExtName>Note</DataExtName><DataExtType>STR255TYPE</DataExtType>"
       "<AssignToObject>InventoryAdjustment</AssignToObject></DataExtDefAdd></DataExtDefAddRq>");
    const auto rs = send(
        "<InventoryAdjustmentAddRq><InventoryAdjustmentAdd defMacro=\"TxnID:7\">" + ref("AccountRef", "COGS") +
        "<TxnDate>2024-01-02</TxnDate><InventoryAdjustmentLineAdd>" + ref("ItemRef", "Widget") +
        "<ValueAdjustment><NewValue>1.00</NewValue></ValueAdjustment></InventoryAdjustmentLineAdd>"
        "</InventoryAdjustmentAdd></InventoryAdjustmentAddRq>"
        "<DataExtAddRq><DataExtAdd><OwnerID>{6A0E5E2B-2C9B-4F62-8C7C-3D2E1B0A9F11}</OwnerID>"
        "<DataExtName>Note</DataExtName><TxnDataExtType>InventoryAdjustment</TxnDataExtType>"
        "<TxnID useMacro=\"TxnID:7\"/><DataExtValue>x</DataExtValue></DataExtAdd></DataExtAddRq>"
        "<DataExtAddRq><DataExtAdd><OwnerID>{6A0E5E2B-2C9B-4F62-8C7C-3D2E1B0A9F11}</OwnerID>"
        "<DataExtName>Note</DataExtName><TxnDataExtType>InventoryAdjustment</TxnDataExtType>"
        "<TxnID useMacro=\"TxnID:8\"/><DataExtValue>x</DataExtValue></DataExtAdd></DataExtAddRq>");
    EXPECT_EQ(rs[0].code, 0);
    EXPECT_EQ(rs[1].code, 0) << rs[1].message;
    EXPECT_EQ(rs[2].code, 3120);
}

TEST_F(QbSimValuationTest, PendingBuildPostsWhenTakenOffPending) {
    inventoryItem("Widget", "8.00");
    assembly("Kit", {{"Widget", "2"}});
    ok(receipt("Bill", "2024-01-01", "Widget", "3", "10.00"));
    const auto added = ok(build("2024-01-05", "Kit", "2", true));
    const std::string id = textAt(added[0].rets()[0], "TxnID");
    auto removePending = [&](const std::string& sequence) {
        return send("<BuildAssemblyModRq><BuildAssemblyMod><TxnID>" + id + "</TxnID><EditSequence>" + sequence +
                    "</EditSequence><RemovePending>true</RemovePending></BuildAssemblyMod></BuildAssemblyModRq>");
    };
    EXPECT_EQ(value("2024-01-10", "Kit"), 0);
    const auto shortOfParts = removePending(textAt(added[0].rets()[0], "EditSequence"));
    EXPECT_EQ(shortOfParts[0].code, 3180);
    EXPECT_EQ(removePending("1")[0].code, 3200);
    // A back-dated receipt makes the parts available before the build.
    ok(receipt("Bill", "2024-01-02", "Widget", "1", "14.00"));
    const auto posted = removePending(textAt(added[0].rets()[0], "EditSequence"));
    ASSERT_EQ(posted[0].code, 0) << posted[0].message;
    EXPECT_EQ(textAt(posted[0].rets()[0], "IsPending"), "false");
    EXPECT_NE(textAt(posted[0].rets()[0], "EditSequence"), textAt(added[0].rets()[0], "EditSequence"));
    EXPECT_EQ(value("2024-01-04", "Kit"), 0);
    EXPECT_EQ(value("2024-01-05", "Kit"), 4400);  // 4 widgets at 11.00
    EXPECT_EQ(value("2024-01-05", "Widget"), 0);
}

// A valuation run reports a day, then posts value adjustments on that same day, one
// request each. Those postings are evaluated on top of the day (one line each) rather
// than by evaluating the whole day again, and the figures are those of a ledger that
// evaluates everything afresh. Anything else before the last day evaluated, a back-dated
// posting among them, still makes the ledger evaluate again from its date.
TEST_F(QbSimValuationTest, PostingsOnTheLastDayEvaluatedGoOnTopOfIt) {
    inventoryItem("Widget", "8.00");
    inventoryItem("Gadget", "3.00");
    assembly("Kit", {{"Widget", "1"}, {"Gadget", "2"}});
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00") + receipt("Bill", "2024-01-01", "Gadget", "20", "3.00") +
       sale("Invoice", "2024-01-02", "Widget", "2") + sale("Invoice", "2024-01-03", "Widget", "3") +
       sale("Invoice", "2024-01-03", "Gadget", "4") + build("2024-01-03", "Kit", "2"));
    auto& ledger = engine->ledger();
    const auto everything = [&](const char* date) {
        std::vector<std::int64_t> values;
        for (const char* item : {"Widget", "Gadget", "Kit"}) values.push_back(value(date, item));
        return values;
    };
    EXPECT_EQ(value("2024-01-03", "Widget"), 3000);  // 10 in at 10.00, 5 sold, 2 built
    const auto before = ledger.linesEvaluated();

    const char* postings[][2] = {{"Widget", "33.00"}, {"Gadget", "31.00"}, {"Widget", "36.00"}};
    const char* differences[] = {"3.00", "-5.00", "3.00"};  // Gadget: 12 at 3.00 = 36.00
    for (std::size_t i = 0; i < 3; ++i) {
        const auto rs = ok(adjustment("2024-01-03", postings[i][0],
                                      std::string("<ValueAdjustment><NewValue>") + postings[i][1] +
                                          "</NewValue></ValueAdjustment>"));
        EXPECT_EQ(textAt(rs[0].rets()[0], "InventoryAdjustmentLineRet/ValueDifference"), differences[i]) << i;
    }
    // Another connection's posting on the day goes on top too.
    {
        auto other = CQbSimCompany::open(company->path());
        CQbSimEngine writer(*other, nullptr);
        CParsedResponse rs(writer.processRequest(envelope(adjustment(
            "2024-01-03", "Kit", "<ValueAdjustment><NewValue>20.00</NewValue></ValueAdjustment>"))));
        ASSERT_EQ(rs[0].code, 0) << rs[0].message;
    }
    const auto onTop = everything("2024-01-03");
    EXPECT_EQ(onTop, (std::vector<std::int64_t>{3600, 3100, 2000}));
    EXPECT_EQ(ledger.linesEvaluated() - before, 4u);  // the four postings' lines, nothing more

    // The next day follows from there, and matches a ledger that starts afresh.
    ok(sale("Invoice", "2024-01-04", "Widget", "1"));
    const auto nextDay = everything("2024-01-04");
    EXPECT_EQ(nextDay[0], 2400);  // 1 of 3 out at 12.00
    ledger.restart();
    EXPECT_EQ(everything("2024-01-03"), onTop);
    EXPECT_EQ(everything("2024-01-04"), nextDay);

    // A posting dated before the last day evaluated evaluates again from its date; the
    // differences posted on the 3rd stay as they were.
    ok(adjustment("2024-01-02", "Widget", "<ValueAdjustment><NewValue>40.00</NewValue></ValueAdjustment>"));
    EXPECT_EQ(value("2024-01-02", "Widget"), 4000);
    EXPECT_EQ(value("2024-01-03", "Widget"), 2100);  // 5 out at 5.00, then +3.00 twice
    // A posting on the last day that was deleted again leaves no trace.
    const auto added = ok(adjustment("2024-01-04", "Widget", "<ValueAdjustment><NewValue>1.00</NewValue></ValueAdjustment>"));
    ok("<TxnDelRq><TxnDelType>InventoryAdjustment</TxnDelType><TxnID>" + textAt(added[0].rets()[0], "TxnID") +
       "</TxnID></TxnDelRq>");
    EXPECT_EQ(value("2024-01-04", "Widget"), 1400);  // 1 of 3 out at 7.00

    // Another connection posts on the last day and back-dates one posting: evaluation
    // starts again from the back date, not from the first day.
    {
        auto other = CQbSimCompany::open(company->path());
        CQbSimEngine writer(*other, nullptr);
        for (const char* date : {"2024-01-04", "2024-01-02"}) {
            CParsedResponse rs(writer.processRequest(envelope(
                adjustment(date, "Gadget", "<ValueAdjustment><NewValue>30.00</NewValue></ValueAdjustment>"))));
            ASSERT_EQ(rs[0].code, 0) << rs[0].message;
        }
    }
    const auto beforeBoth = ledger.linesEvaluated();
    const auto afterBoth = everything("2024-01-04");
    const auto partly = ledger.linesEvaluated() - beforeBoth;
    ledger.restart();
    const auto beforeAll = ledger.linesEvaluated();
    EXPECT_EQ(everything("2024-01-04"), afterBoth);
    EXPECT_EQ(partly, ledger.linesEvaluated() - beforeAll - 2);  // all but the two bills of the first day
}

// The ledger is kept in the company file: a new session (another program, the next run)
// answers from what the last one evaluated, evaluating only what is new, and a change
// another program makes behind that is evaluated again from its date. Each answer is
// that of a ledger that evaluates everything afresh.
TEST_F(QbSimValuationTest, ANewSessionGoesOnFromTheLedgerTheFileKeeps) {
    const auto reopen = [&] {
        engine.reset();
        const std::string path = company->path();
        company = CQbSimCompany::open(path);
        engine = std::make_unique<CQbSimEngine>(*company, nullptr);
    };
    inventoryItem("Widget", "8.00");
    inventoryItem("Gadget", "3.00");
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00") + receipt("Bill", "2024-01-01", "Gadget", "20", "3.00") +
       sale("Invoice", "2024-01-02", "Widget", "2") + receipt("Bill", "2024-01-03", "Widget", "4", "13.00") +
       sale("Invoice", "2024-01-04", "Gadget", "5") +
       adjustment("2024-01-04", "Widget", "<ValueAdjustment><NewValue>150.00</NewValue></ValueAdjustment>"));
    const auto values = [&](std::initializer_list<const char*> dates) {
        std::vector<std::int64_t> all;
        for (const char* date : dates)
            for (const char* item : {"Widget", "Gadget"}) all.push_back(value(date, item));
        return all;
    };
    const auto first = values({"2024-01-01", "2024-01-02", "2024-01-04"});
    EXPECT_EQ(first, (std::vector<std::int64_t>{10000, 6000, 8000, 6000, 15000, 4500}));

    reopen();  // a new session on the same file, as the next program to open it
    EXPECT_EQ(values({"2024-01-04", "2024-01-02", "2024-01-01"}),
              (std::vector<std::int64_t>{15000, 4500, 8000, 6000, 10000, 6000}));
    EXPECT_EQ(engine->ledger().linesEvaluated(), 0u);
    ok(sale("Invoice", "2024-01-05", "Widget", "6"));
    EXPECT_EQ(value("2024-01-05", "Widget"), 7500);  // 6 of 12 out at 12.50
    EXPECT_EQ(engine->ledger().linesEvaluated(), 1u);

    // Another program back-dates a sale to the 2nd; the new session evaluates from there.
    {
        auto other = CQbSimCompany::open(company->path());
        CQbSimEngine writer(*other, nullptr);
        CParsedResponse rs(writer.processRequest(envelope(sale("Invoice", "2024-01-02", "Gadget", "4"))));
        ASSERT_EQ(rs[0].code, 0) << rs[0].message;
    }
    reopen();
    const auto kept = values({"2024-01-01", "2024-01-02", "2024-01-04", "2024-01-05"});
    EXPECT_EQ(kept[3], 4800);  // Gadget on the 2nd: 16 at 3.00
    EXPECT_EQ(engine->ledger().linesEvaluated(), 6u);  // from the 2nd on, not the first day's bills
    engine->ledger().restart();
    EXPECT_EQ(values({"2024-01-01", "2024-01-02", "2024-01-04", "2024-01-05"}), kept);
}

// A company file whose change log predates transaction rows gets them when opened, and
// keeps reporting what a fresh ledger would.
TEST_F(QbSimValuationTest, OlderChangeLogIsBroughtUpToDateOnOpening) {
    inventoryItem("Widget", "8.00");
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00"));
    engine.reset();
    const std::string path = company->path();
    company.reset();
    {
        CQbSimDb db(path, false);
        db.exec("DROP TRIGGER txn_added; ALTER TABLE inventory_change DROP COLUMN txn_row;"
                "CREATE TRIGGER txn_added AFTER INSERT ON txn BEGIN "
                "INSERT INTO inventory_change(from_date) VALUES(NEW.txn_date); END;");
    }
    company = CQbSimCompany::open(path);
    engine = std::make_unique<CQbSimEngine>(*company, nullptr);
    EXPECT_EQ(value("2024-01-02", "Widget"), 10000);
    const auto before = engine->ledger().linesEvaluated();
    const auto rs = ok(adjustment("2024-01-02", "Widget", "<ValueAdjustment><NewValue>90.00</NewValue></ValueAdjustment>"));
    EXPECT_EQ(textAt(rs[0].rets()[0], "InventoryAdjustmentLineRet/ValueDifference"), "-10.00");
    EXPECT_EQ(value("2024-01-02", "Widget"), 9000);
    EXPECT_EQ(engine->ledger().linesEvaluated() - before, 1u);
}

// A build answers with what was on hand just before it: every posted transaction dated
// earlier, and those of its own date entered before it; pending ones count for nothing.
// One query returns several builds whose parts share a history.
TEST_F(QbSimValuationTest, BuildsAnswerWithWhatWasOnHandJustBeforeThem) {
    inventoryItem("Widget", "8.00");
    inventoryItem("Bolt", "0.20");
    assembly("Kit", {{"Widget", "2"}, {"Bolt", "1"}});
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00") + receipt("Bill", "2024-01-01", "Bolt", "100", "0.25") +
       build("2024-01-02", "Kit", "3") + sale("Invoice", "2024-01-02", "Widget", "1") +
       sale("Invoice", "2024-01-02", "Widget", "2", true) + build("2024-01-03", "Kit", "1") +
       receipt("Bill", "2024-01-02", "Widget", "5", "10.00"));  // entered last, dated before
    const auto rs = ok("<BuildAssemblyQueryRq><IncludeComponentLineItems>true</IncludeComponentLineItems>"
                       "</BuildAssemblyQueryRq>");
    ASSERT_EQ(rs[0].rets().size(), 2u);
    struct {
        const char* kitOnHand;
        const char* canBuild;
        const char* widgets;
        const char* bolts;
    } const expected[] = {
        {"0", "5", "10", "100"},  // before the first build
        {"3", "4", "8", "97"},    // 10 - 6 - 1 + 5 widgets; 100 - 3 bolts
    };
    for (std::size_t i = 0; i < 2; ++i) {
        xmlNodePtr ret = rs[0].rets()[i];
        EXPECT_EQ(textAt(ret, "QuantityOnHand"), expected[i].kitOnHand) << i;
        EXPECT_EQ(textAt(ret, "QuantityCanBuild"), expected[i].canBuild) << i;
        const auto lines = qbsimChildren(ret, "ComponentItemLineRet");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(textAt(lines[0], "ItemRef/FullName"), "Widget");
        EXPECT_EQ(textAt(lines[0], "QuantityOnHand"), expected[i].widgets) << i;
        EXPECT_EQ(textAt(lines[1], "QuantityOnHand"), expected[i].bolts) << i;
    }
}

// A NewQuantity counts from what was on hand just before the adjustment plus what its
// own earlier lines moved; lines without one leave the quantity to their difference.
TEST_F(QbSimValuationTest, NewQuantityCountsTheAdjustmentsOwnEarlierLines) {
    inventoryItem("Widget", "8.00");
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00") + sale("Invoice", "2024-01-03", "Widget", "4"));
    CCompanyBuilder c(kValuationNames);
    const auto rs = ok(c.adjustment("2024-01-02").quantityDifference("Widget", 3).newValue("Widget", 150.00)
                           .newQuantity("Widget", 20));
    const auto lines = qbsimChildren(rs[0].rets()[0], "InventoryAdjustmentLineRet");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(textAt(lines[0], "QuantityDifference"), "3");
    EXPECT_EQ(textAt(lines[1], "QuantityDifference"), "0");
    EXPECT_EQ(textAt(lines[2], "QuantityDifference"), "7");  // 20 - (10 + 3)
    EXPECT_DOUBLE_EQ(row("2024-01-02", "Widget").quantity, 20);
    EXPECT_DOUBLE_EQ(row("2024-01-03", "Widget").quantity, 16);
}

// A value adjustment posts a fixed difference: a NewValue is turned into one against the
// item's value at the adjustment's own moment when it is posted, and history entered
// later, back-dated or deleted, moves the values after it but never that difference.
TEST_F(QbSimValuationTest, ValueAdjustmentsPostAFixedDifference) {
    using D = Do;
    run({
        {"a bill dated before the adjustment, entered after it",
         "8.00",
         {{D::Bill, "2024-01-01", "10", "10.00", ""},
          {D::Sell, "2024-01-02", "2", "", ""},
          {D::NewValue, "2024-01-05", "", "100.00", "20.00"},  // 8 worth 80.00 before it
          {D::Bill, "2024-01-03", "10", "20.00", ""},
          {D::Value, "2024-01-04", "18", "", "280.00"},
          {D::Value, "2024-01-05", "18", "", "300.00"},  // 80 + 200 + 20
          {D::Difference, "", "", "", "20.00", 0}}},
        {"a sale dated before the adjustment, entered after it",
         "8.00",
         {{D::Bill, "2024-01-01", "10", "10.00", ""},
          {D::NewValue, "2024-01-05", "", "150.00", "50.00"},
          {D::Sell, "2024-01-03", "5", "", ""},
          {D::Value, "2024-01-05", "5", "", "100.00"},
          {D::Sell, "2024-01-06", "2", "", ""},  // at the average of 20.00
          {D::Value, "2024-01-06", "3", "", "60.00"},
          {D::Difference, "", "", "", "50.00", 0}}},
        {"deleting an adjustment takes its difference back, and only its",
         "8.00",
         {{D::Bill, "2024-01-01", "10", "10.00", ""},
          {D::Sell, "2024-01-02", "2", "", ""},
          {D::NewValue, "2024-01-05", "", "100.00", "20.00"},
          {D::NewValue, "2024-01-05", "", "90.00", "-10.00"},
          {D::Delete, "", "", "", "", 0},
          {D::Value, "2024-01-05", "8", "", "70.00"},
          {D::Difference, "", "", "", "-10.00", 1},
          {D::NewValue, "2024-01-05", "", "90.00", "20.00"},  // against 70.00 at its moment
          {D::Value, "2024-01-05", "8", "", "90.00"}}},
        {"an adjustment posted after a deleted one on its day counts from what is left",
         "8.00",
         {{D::Bill, "2024-01-01", "10", "10.00", ""},
          {D::Sell, "2024-01-02", "2", "", ""},
          {D::NewValue, "2024-01-05", "", "100.00", "20.00"},
          {D::Value, "2024-01-05", "8", "", "100.00"},
          {D::Delete, "", "", "", "", 0},
          {D::NewValue, "2024-01-05", "", "90.00", "10.00"},
          {D::Value, "2024-01-09", "8", "", "90.00"}}},
        {"postings on a day already reported go on top of it",
         "8.00",
         {{D::Bill, "2024-01-01", "10", "10.00", ""},
          {D::Sell, "2024-01-05", "2", "", ""},
          {D::Value, "2024-01-05", "8", "", "80.00"},
          {D::NewValue, "2024-01-05", "", "100.00", "20.00"},
          {D::Value, "2024-01-05", "8", "", "100.00"},
          {D::Sell, "2024-01-05", "3", "", ""},  // at 12.50
          {D::NewValue, "2024-01-05", "", "50.00", "-12.50"},
          {D::Value, "2024-01-05", "5", "", "50.00"},
          {D::Bill, "2024-01-04", "5", "16.00", ""},  // back-dated: 15 worth 180.00 on the 4th
          // 2 out at 12.00, +20.00, 3 out at 176.00 / 13 = 40.62, -12.50
          {D::Value, "2024-01-05", "10", "", "122.88"},
          {D::Difference, "", "", "", "20.00", 0},
          {D::Difference, "", "", "", "-12.50", 1}}},
    });
}

// A file written when NewValue lines were kept as targets gets each line's difference
// when it is opened, worked out in date and entry order as the file was valued then, so
// every report keeps its figures; from then on the differences are fixed.
TEST_F(QbSimValuationTest, OlderFileGetsTheDifferencesOfItsNewValueLinesOnOpening) {
    inventoryItem("Widget", "8.00");
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00") + sale("Invoice", "2024-01-02", "Widget", "2") +
       adjustment("2024-01-05", "Widget", "<ValueAdjustment><NewValue>100.00</NewValue></ValueAdjustment>") +
       adjustment("2024-01-05", "Widget", "<ValueAdjustment><ValueDifference>-4.00</ValueDifference></ValueAdjustment>") +
       receipt("Bill", "2024-01-03", "Widget", "10", "20.00"));
    const auto adjustments = ok("<InventoryAdjustmentQueryRq/>");
    const std::string newValueId = textAt(adjustments[0].rets()[0], "TxnID");
    engine.reset();
    const std::string path = company->path();
    company.reset();
    {
        // As the earlier version left it: no difference stored for the NewValue line.
        CQbSimDb db(path, false);
        db.exec("UPDATE txn_line SET value_difference = NULL WHERE new_value IS NOT NULL;"
                "UPDATE qbsim_meta SET value = '1' WHERE key = 'schemaVersion';");
    }
    company = CQbSimCompany::open(path);
    {
        CQbSimStmt stored(company->db(), "SELECT value_difference FROM txn_line WHERE new_value IS NOT NULL");
        ASSERT_TRUE(stored.step());
        EXPECT_EQ(stored.optInteger(0), std::optional<std::int64_t>(-18000));  // 100.00 - 280.00
        EXPECT_EQ(company->setting("schemaVersion"), "2");
    }
    engine = std::make_unique<CQbSimEngine>(*company, nullptr);
    EXPECT_EQ(value("2024-01-05", "Widget"), 9600);  // what the target gave: 100.00, then -4.00
    EXPECT_EQ(valueDifference(newValueId), "-180.00");
    // Fixed from now on: a back-dated sale moves the value after it by its cost.
    ok(sale("Invoice", "2024-01-04", "Widget", "3"));  // 3 of 18 at 15.5556
    EXPECT_EQ(value("2024-01-05", "Widget"), 28000 - 4667 - 18000 - 400);
    EXPECT_EQ(valueDifference(newValueId), "-180.00");
}

// A receipt into negative stock values the units it replaces at its own cost (the
// difference to the cost they went out at goes to cost of goods sold on the receipt), so
// a restocked item is worth what is on hand at the receipt's unit cost; units still
// oversold keep the cost they went out at.
TEST_F(QbSimValuationTest, ReceiptsIntoNegativeStockValueTheOversoldUnitsAtTheirCost) {
    using D = Do;
    run({
        {"sold past what was bought, then restocked",
         "8.00",
         {{D::Bill, "2024-01-01", "10", "10.00", ""},
          {D::Sell, "2024-01-02", "15", "", ""},
          {D::Value, "2024-01-02", "-5", "", "-50.00"},
          {D::Bill, "2024-01-03", "10", "12.00", ""},
          {D::Value, "2024-01-03", "5", "", "60.00"},  // not 70.00: 10.00 of the bill is cost of goods
          {D::Sell, "2024-01-04", "1", "", ""},
          {D::Value, "2024-01-04", "4", "", "48.00"}}},
        {"oversold at no value",
         "0.00",
         {{D::Sell, "2024-01-01", "3", "", ""},
          {D::Value, "2024-01-01", "-3", "", "0.00"},
          {D::Bill, "2024-01-02", "4", "20.00", ""},
          {D::Value, "2024-01-02", "1", "", "20.00"}}},
        {"never bought, sold at the purchase cost",
         "7.00",
         {{D::Sell, "2024-01-01", "2", "", ""},
          {D::Value, "2024-01-01", "-2", "", "-14.00"},
          {D::Bill, "2024-01-02", "5", "10.00", ""},
          {D::Value, "2024-01-02", "3", "", "30.00"}}},
        {"a receipt that leaves the stock negative",
         "8.00",
         {{D::Bill, "2024-01-01", "10", "10.00", ""},
          {D::Sell, "2024-01-02", "20", "", ""},
          {D::Bill, "2024-01-03", "4", "12.00", ""},
          {D::Value, "2024-01-03", "-6", "", "-60.00"},  // the 6 still oversold at 10.00
          {D::Bill, "2024-01-04", "10", "15.00", ""},
          {D::Value, "2024-01-04", "4", "", "60.00"}}},
        {"restocked to nothing",
         "8.00",
         {{D::Bill, "2024-01-01", "10", "10.00", ""},
          {D::Sell, "2024-01-02", "12", "", ""},
          {D::Bill, "2024-01-03", "2", "15.00", ""},
          {D::Value, "2024-01-03", "0", "", "0.00"}}},
        {"restocked on a day already reported, then a bill back-dated before the sale",
         "8.00",
         {{D::Bill, "2024-01-01", "10", "10.00", ""},
          {D::Sell, "2024-01-03", "15", "", ""},
          {D::Value, "2024-01-03", "-5", "", "-50.00"},
          {D::Bill, "2024-01-03", "10", "12.00", ""},
          {D::Value, "2024-01-03", "5", "", "60.00"},
          {D::Bill, "2024-01-02", "5", "11.00", ""},  // 15 worth 155.00: the sale takes all of it
          {D::Value, "2024-01-03", "10", "", "120.00"}}},
    });
}
