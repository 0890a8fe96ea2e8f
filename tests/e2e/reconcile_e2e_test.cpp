// Books that do not add up are not posted from: an adjustment of quantity and value
// together never gives a lot a negative cost, and a value QuickBooks carries without
// units, or below zero, is named by the check after the run. Each case is worked out by
// hand in its comment; the run starts on 04/01/2010.
#include <cstring>
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2efixture.h"

namespace {

using ::testing::HasSubstr;

// An adjustment line that changes quantity and value together.
std::string quantityAndValue(CFigure quantity, CFigure value) {
    return "<ValueAdjustment><QuantityDifference>" + quantity.text + "</QuantityDifference><ValueDifference>" +
           value.text + "</ValueDifference></ValueAdjustment>";
}

struct CTogetherCase {
    const char* name;
    std::function<void(CCompanyBuilder&)> transactions;  // of the Widget, after the lists
    std::vector<CPostingRow> postings;
    double quantity;  // QuickBooks' Widget at the end of 04/02
    double value;
    std::string exception;  // a part of the run's one exception, or "" for none
};

const CTogetherCase kTogether[] = {
    // 03/15 10 at 8.00; 04/01 10 more counted with the value lowered by 20.00: the ten
    // come in at no cost and the ten before take the 20.00 (6.00 each), 60.00 as
    // QuickBooks carries; 04/02 15 sold: FIFO leaves 5 of the counted at 0.00, the
    // average 5 x 3.00 = 15.00. A lot at -2.00 would leave -10.00.
    {"ValueLoweredOverTheUnitsBefore",
     [](CCompanyBuilder& c) {
         c.bill("2010-03-15", "B-0").line("Widget", 10, 8.00);
         c.adjustment("2010-04-01").adjust("Widget", quantityAndValue(10, -20.00));
         c.invoice("2010-04-02", "1001").line("Widget", 15);
     },
     {{"2010-04-02", "Cost of Goods Sold", "", "Bright Shop", "Widget", -15.00}},
     5, 0.00, ""},
    // 03/15 10 at 1.00; 04/01 10 more counted with the value lowered by 30.00: the ten
    // before can give up no more than their 10.00 (QuickBooks: 20 worth -20.00), and the
    // 20.00 they cannot take is named; 04/02 5 sold: the 15 left, 5 of the first and the
    // 10 counted, are worth nothing by FIFO against the average's -15.00.
    {"ValueLoweredBelowZero",
     [](CCompanyBuilder& c) {
         c.bill("2010-03-15", "B-0").line("Widget", 10, 1.00);
         c.adjustment("2010-04-01").adjust("Widget", quantityAndValue(10, -30.00));
         c.invoice("2010-04-02", "1001").line("Widget", 5);
     },
     {{"2010-04-02", "Cost of Goods Sold", "", "Bright Shop", "Widget", 15.00}},
     15, 0.00, "20.00 of the value taken off by Inventory Adjustment of 04/01/2010"},
    // 04/01 10 counted with the value lowered by 50.00 while none were on hand: nothing
    // can take it; 04/02 4 sold leave 6 at no cost against the average's -30.00.
    {"ValueLoweredWithNothingOnHand",
     [](CCompanyBuilder& c) {
         c.adjustment("2010-04-01").adjust("Widget", quantityAndValue(10, -50.00));
         c.invoice("2010-04-02", "1001").line("Widget", 4);
     },
     {{"2010-04-02", "Cost of Goods Sold", "", "Bright Shop", "Widget", 30.00}},
     6, 0.00, "50.00 of the value taken off"},
    // 04/01 10 at 10.00 and 10 counted with the value raised by 50.00: a lot of 10 at
    // 5.00; 04/02 15 sold: FIFO keeps 5 of the counted at 5.00 = 25.00 against the
    // average's 5 x 7.50 = 37.50.
    {"ValueRaisedIsALot",
     [](CCompanyBuilder& c) {
         c.bill("2010-04-01", "B-1").line("Widget", 10, 10.00);
         c.adjustment("2010-04-01").adjust("Widget", quantityAndValue(10, 50.00));
         c.invoice("2010-04-02", "1001").line("Widget", 15);
     },
     {{"2010-04-02", "Cost of Goods Sold", "", "Bright Shop", "Widget", -12.50}},
     5, 25.00, ""},
    // 04/01 10 at 10.00; 04/02 5 taken out with the value lowered by 20.00: an issue at
    // FIFO cost (50.00), so the 5 left are worth 50.00 against QuickBooks' 80.00, posted
    // on the adjustment's account.
    {"QuantityDecreaseIsAnIssue",
     [](CCompanyBuilder& c) {
         c.bill("2010-04-01", "B-1").line("Widget", 10, 10.00);
         c.adjustment("2010-04-02").adjust("Widget", quantityAndValue(-5, -20.00));
     },
     {{"2010-04-02", "Cost of Goods Sold", "", "", "Widget", -30.00}},
     5, 50.00, ""},
};

void PrintTo(const CTogetherCase& c, std::ostream* out) { *out << c.name; }

class QuantityAndValue : public ValuationRun, public ::testing::WithParamInterface<CTogetherCase> {};

TEST_P(QuantityAndValue, NeverGiveALotANegativeCost) {
    const CTogetherCase& c = GetParam();
    CCompanyBuilder company;
    company.lists().item("Widget");
    c.transactions(company);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 2, &status)) << status;
    expectPostings(path, c.postings);
    const auto [quantity, value] = carried(engine(), day(2010, 4, 2), "Widget");
    EXPECT_EQ(quantity, c.quantity);
    EXPECT_NEAR(value, c.value, 0.005);
    const auto& exceptions = engine().getRunSummary().exceptions;
    if (c.exception.empty()) {
        EXPECT_TRUE(exceptions.empty()) << status;
    } else {
        ASSERT_EQ(exceptions.size(), 1u) << status;
        EXPECT_EQ(exceptions[0].item, "Widget");
        EXPECT_THAT(exceptions[0].reason, HasSubstr(c.exception));
    }
}

INSTANTIATE_TEST_SUITE_P(Adjustments, QuantityAndValue, ::testing::ValuesIn(kTogether),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Leaves the bill with that number out of every answer, as QuickBooks would answer for
// a transaction Lotwise cannot read.
std::string withoutBill(std::string answer, const std::string& ref) {
    const std::string mark = "<RefNumber>" + ref + "</RefNumber>";
    for (std::size_t at = answer.find(mark); at != std::string::npos; at = answer.find(mark)) {
        const std::size_t open = answer.rfind("<BillRet>", at);
        const std::size_t close = answer.find("</BillRet>", at);
        if (open == std::string::npos || close == std::string::npos) break;
        answer.erase(open, close + std::strlen("</BillRet>") - open);
    }
    return answer;
}

// 03/15 20 Widgets at 5.00 (before the start), 04/01 10 at 10.00 and 10 Gadgets at 4.00,
// 04/02 10 Widgets at 20.00 and 10 Gadgets at 6.00, 04/03 25 Widgets and 10 Gadgets sold:
// FIFO keeps 10 Widgets at 20.00 and 5 at 10.00 (250.00) against the average's 150.00,
// and 10 Gadgets at 6.00 (60.00) against 50.00.
std::string workedExample() {
    CCompanyBuilder company;
    company.lists().item("Widget");
    company.item("Gadget");
    company.bill("2010-03-15", "B-0").line("Widget", 20, 5.00);
    company.bill("2010-04-01", "B-1").line("Widget", 10, 10.00).line("Gadget", 10, 4.00);
    company.bill("2010-04-02", "B-2").line("Widget", 10, 20.00);
    company.bill("2010-04-02", "B-3").line("Gadget", 10, 6.00);
    company.invoice("2010-04-03", "1001").line("Widget", 25).line("Gadget", 10);
    return company;
}

}  // namespace

// With B-2 out of QuickBooks' answers the Widget's lots would be 10 at 10.00 and 5 of the
// opening at 5.00: QuickBooks holds 15, what was read explains 5. Nothing is posted for
// the Widget, the Gadget is, the day is committed, and the next run, which reads B-2,
// brings the Widget to its FIFO value at its next sale: 04/05 5 sold leave the 10 of
// B-2 at 20.00 (200.00) against the average's 100.00.
TEST_F(ValuationRun, AnItemWhoseQuantityTheTransactionsReadDoNotExplainIsNotPosted) {
    const std::string path = companyWith(workedExample());
    wrapProcessor([](IRequestProcessor2* real) {
        return new CRewritingProcessor(real, [](const std::string& answer) { return withoutBill(answer, "B-2"); });
    });
    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Gadget", 10.00}});
    const CRunSummary& summary = engine().getRunSummary();
    ASSERT_EQ(summary.exceptions.size(), 1u) << status;
    EXPECT_EQ(summary.exceptions[0].kind, CRunException::kUnvalued);
    EXPECT_EQ(summary.exceptions[0].item, "Widget");
    EXPECT_EQ(summary.exceptions[0].days, 1);
    EXPECT_EQ(summary.exceptions[0].reason,
              "QuickBooks holds 15.00 on hand, the transactions read explain 5.00: a transaction Lotwise cannot "
              "read (a voided or converted one?); nothing was posted for this item");
    EXPECT_EQ(summary.proofItems, 2);
    EXPECT_EQ(summary.proofMatched, 1);

    qbsimRegister();
    CCompanyBuilder later;
    later.invoice("2010-04-05", "1002").line("Widget", 5);
    send(path, later);
    ASSERT_TRUE(run(path, day(2010, 4, 4), day(2010, 4, 5), &status)) << status;
    expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Gadget", 10.00},
                          {"2010-04-05", "Cost of Goods Sold", "", "Bright Shop", "Widget", 100.00}});
    EXPECT_THAT(status, HasSubstr("QuickBooks now carries the FIFO value of 2 of 2 items"));
}

// Without the hidden bill the same books are posted in full: the check takes nothing
// away from books that add up.
TEST_F(ValuationRun, BooksThatAddUpArePostedInFull) {
    const std::string path = companyWith(workedExample());
    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 100.00},
                          {"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Gadget", 10.00}});
    EXPECT_TRUE(engine().getRunSummary().exceptions.empty()) << status;
}

// 04/01 10 at 10.00; 04/02 the 10 taken out with the value lowered by 90.00 only:
// QuickBooks is left with 10.00 for no units, which no sale will ever take away. The
// check after the run names it, and the closing valuation lists it.
TEST_F(ValuationRun, AValueWithoutUnitsIsNamedByTheCheck) {
    CCompanyBuilder company;
    company.lists().item("Widget");
    company.bill("2010-04-01", "B-1").line("Widget", 10, 10.00);
    company.adjustment("2010-04-02").adjust("Widget", quantityAndValue(-10, -90.00));
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 2, &status)) << status;
    const CRunSummary& summary = engine().getRunSummary();
    ASSERT_EQ(summary.exceptions.size(), 1u) << status;
    EXPECT_EQ(summary.exceptions[0].kind, CRunException::kProofDifference);
    EXPECT_EQ(summary.exceptions[0].reason, "QuickBooks carries 10.00 for no units on hand");
    EXPECT_EQ(summary.proofItems, 1);
    EXPECT_EQ(summary.proofMatched, 0);
    EXPECT_THAT(readFile(engine().getReportPath()),
                HasSubstr("on hand on 04/02/2010\"\n\"(List of items and the list of most recent transactions of "
                          "their receiving)\"\n\n\"Item\",\"Qty\",\"QB Value\",\"FIFO Value\"\n\"\",\"\",\"\",\"\","
                          "\"Txn Type\",\"Ref Number\",\"Txn Date\",\"Qty\",\"Item Cost\"\n\"Widget\",0.00,10.00,0.00\n"));
}
