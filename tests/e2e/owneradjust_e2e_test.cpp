// What the owner does to the books besides buying and selling stays in the FIFO value:
// a value adjustment (a write-down), stock found by a count whatever account it is booked
// to, and an amount billed on the item itself without a quantity (freight, a rebate).
// Each case is worked out by hand in its comment; the run starts on 04/01/2010 and the
// postings and values are what QuickBooks must carry afterwards.
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2efixture.h"

namespace {

using ::testing::HasSubstr;

struct COwnerCase {
    const char* name;
    std::function<void(CCompanyBuilder&)> transactions;  // of the Widget, after the lists
    int upTo;                          // the run goes from 04/01 to 04/upTo
    std::map<std::string, double> postings;  // the Widget's value adjustments by date, sales to Bright Shop
    double quantity;                   // QuickBooks' Widget at the end of 04/upTo
    double value;
    std::string reportLine;            // a lot line of the report, when the case names one
    std::string logLine = "";          // a line of the activity log, when the case names one
};

const COwnerCase kCases[] = {
    // 04/01 50 at 8.00 and 50 at 10.00 (900.00); 04/02 the owner writes the obsolete
    // stock down to 720.00 (each unit 1.80 less); 04/03 60 sold: FIFO keeps 40 of the
    // second bill at 8.20 = 328.00 against the average's 40 x 7.20 = 288.00. Valuing the
    // units at the bills' full cost (400.00) would post the write-down back.
    {"WriteDown",
     [](CCompanyBuilder& c) {
         c.bill("2010-04-01", "B-1").line("Widget", 50, 8.00);
         c.bill("2010-04-01", "B-2").line("Widget", 50, 10.00);
         c.adjustment("2010-04-02").newValue("Widget", 720.00);
         c.invoice("2010-04-03", "1001").line("Widget", 60);
     },
     3, {{"2010-04-03", 40.0}}, 40, 328.0, "\"Bill\",\"B-2\",2010/04/01,40.00,8.200000\n"},
    // The same write-down with 20 sold on its own day: the write-down is spread over the 80
    // units left at the end of that day (2.25 each), so B-1 keeps 30 at 5.75 and B-2 50 at
    // 7.75: FIFO 560.00 against QuickBooks' 576.00; on 04/03 40 more sold leave 40 of B-2,
    // 310.00 against the average's 40 x 7.00 = 280.00.
    {"WriteDownOnASalesDay",
     [](CCompanyBuilder& c) {
         c.bill("2010-04-01", "B-1").line("Widget", 50, 8.00);
         c.bill("2010-04-01", "B-2").line("Widget", 50, 10.00);
         c.adjustment("2010-04-02").newValue("Widget", 720.00);
         c.invoice("2010-04-02", "1001").line("Widget", 20);
         c.invoice("2010-04-03", "1002").line("Widget", 40);
     },
     3, {{"2010-04-02", -16.0}, {"2010-04-03", 30.0}}, 40, 310.0, ""},
    // 03/15 20 at 3.00 (before the start); 04/01 20 at 9.00 (average 6.00); 04/02 a count
    // finds 20 more, booked to cost of goods sold, which QuickBooks values at the average,
    // 120.00; 04/03 20 sold: FIFO keeps the 20 counted at 6.00 and the 20 billed at 9.00,
    // 300.00, against the average's 240.00. The counted units are no older stock at 3.00.
    {"CountedStock",
     [](CCompanyBuilder& c) {
         c.bill("2010-03-15", "B-0").line("Widget", 20, 3.00);
         c.bill("2010-04-01", "B-1").line("Widget", 20, 9.00);
         c.adjustment("2010-04-02").quantityDifference("Widget", 20);
         c.invoice("2010-04-03", "1001").line("Widget", 20);
     },
     3, {{"2010-04-03", 60.0}}, 40, 300.0, "\"Inventory Adjustment\",\"\",2010/04/02,20.00,6.000000\n"},
    // 04/01 50 at 8.00 with 40.00 of freight billed on the Widget (8.80 a unit); 04/02 10
    // sold: FIFO 40 x 8.80 = 352.00, which the average carries too: nothing to post.
    {"FreightOnTheBill",
     [](CCompanyBuilder& c) {
         c.bill("2010-04-01", "B-1").line("Widget", 50, 8.00).amount("Widget", 40.00);
         c.invoice("2010-04-02", "1001").line("Widget", 10);
     },
     2, {}, 40, 352.0, "\"Bill\",\"B-1\",2010/04/01,40.00,8.800000\n", "\nWidget 0.000000 40.000000\n"},
    // 03/15 50 at 6.00; 04/01 50 at 8.00; 04/02 50.00 of freight paid by check on the
    // Widget alone, spread over the 100 on hand (0.50 each); 04/03 60 sold: FIFO 40 x 8.50
    // = 340.00 against the average's 40 x 7.50 = 300.00.
    {"FreightOnALaterCheck",
     [](CCompanyBuilder& c) {
         c.bill("2010-03-15", "B-0").line("Widget", 50, 6.00);
         c.bill("2010-04-01", "B-1").line("Widget", 50, 8.00);
         c.check("2010-04-02", "C-1").amount("Widget", 50.00);
         c.invoice("2010-04-03", "1001").line("Widget", 60);
     },
     3, {{"2010-04-03", 40.0}}, 40, 340.0, "\"Bill\",\"B-1\",2010/04/01,40.00,8.500000\n"},
    // 03/15 50 at 6.00; 04/01 50 at 8.00 on the card with a rebate of 25.00 on the same
    // charge (7.50 a unit); 04/03 60 sold: FIFO 40 x 7.50 = 300.00 against the average's
    // 40 x 6.75 = 270.00.
    {"RebateOnTheCharge",
     [](CCompanyBuilder& c) {
         c.bill("2010-03-15", "B-0").line("Widget", 50, 6.00);
         c.cardCharge("2010-04-01", "CC-1").line("Widget", 50, 8.00).amount("Widget", -25.00);
         c.invoice("2010-04-03", "1001").line("Widget", 60);
     },
     3, {{"2010-04-03", 30.0}}, 40, 300.0, "\"Credit Card Charge\",\"CC-1\",2010/04/01,40.00,7.500000\n"},
};

// The shared lists, the inventory item Widget and the case's transactions.
std::string widgetCompany(const COwnerCase& c) {
    CCompanyBuilder company;
    company.lists().item("Widget");
    c.transactions(company);
    return company;
}

void PrintTo(const COwnerCase& c, std::ostream* out) { *out << c.name; }

class OwnerAdjustments : public ValuationRun, public ::testing::WithParamInterface<COwnerCase> {};

TEST_P(OwnerAdjustments, StayInTheFifoValue) {
    const COwnerCase& c = GetParam();
    const std::string path = companyWith(widgetCompany(c));
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    dlg->setDate(kIdcStartDate, day(2010, 4, 1));
    dlg->setDate(kIdcUpToDate, day(2010, 4, c.upTo));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();

    std::vector<CPostingRow> expected;
    for (const auto& [date, amount] : c.postings)
        expected.push_back({date, "Cost of Goods Sold", "", "Bright Shop", "Widget", amount});
    expectPostings(path, expected);
    const auto [quantity, value] = carried(*dlg->getEngine(), day(2010, 4, c.upTo), "Widget");
    EXPECT_EQ(quantity, c.quantity);
    EXPECT_NEAR(value, c.value, 0.005);
    if (!c.reportLine.empty()) {
        EXPECT_THAT(readFile(dlg->getEngine()->getReportPath()), HasSubstr(c.reportLine));
    }
    if (!c.logLine.empty()) {
        EXPECT_THAT(readFile(dlg->getEngine()->activityLogPath()), HasSubstr(c.logLine));
    }
}

// A write-down of a component is in the cost of the units a later build consumes: 04/01
// 10 Gears at 10.00, 04/02 written down to 80.00, 04/03 a Box built of 5 Gears: the build
// is worth 5 x 8.00 = 40.00, and the 5 Gears left 40.00, as QuickBooks carries them.
TEST_F(ValuationRun, AWrittenDownComponentGoesIntoABuildAtItsNewCost) {
    CCompanyBuilder company;
    company.lists().item("Widget");
    company.item("Gear");
    company.assembly("Box").part("Gear", 5);
    company.bill("2010-04-01", "B-1").line("Gear", 10, 10.00);
    company.adjustment("2010-04-02").newValue("Gear", 80.00);
    company.build("2010-04-03", "Box", "X-1");
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(run(path, day(2010, 4, 1), day(2010, 4, 3), &status)) << status;
    expectPostings(path, {});
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    CCostrunDoc& engine = *dlg->getEngine();
    EXPECT_EQ(carried(engine, day(2010, 4, 3), "Gear"), std::make_pair(5.0, 40.0));
    EXPECT_EQ(carried(engine, day(2010, 4, 3), "Box", "Assembly"), std::make_pair(1.0, 40.0));
    CQbFieldList filter;
    filter.addText("OwnerID", kPrivateOwnerId);
    const auto builds = engine.getSession()->queryBuildAssembly(&filter);
    ASSERT_TRUE(builds && builds->getSize() == 1);
    const CQbField* value = builds->getAt(0)->findPrivateDataExt(kBuildValueField);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->getValue(), "40.000000");
}

// The quantity a value change is spread over comes from a valuation report of its day;
// QuickBooks refusing any of the run's reports stops the run before the day is committed
// (a refusal read as no stock would drop the freight for good), and the next run ends
// with the books of a run never refused: the freight paid by check on 04/02 is in the
// Widgets' cost, 40.00 posted on 04/03. The run asks for nine reports, in this order;
// the proof's and those of the valuation kept for the next open come after the last day
// is committed, and leave nothing to redo.
TEST_F(ValuationRun, ARefusedReportOfAValueChangeDayStopsTheRun) {
    const COwnerCase& freight = kCases[4];
    ASSERT_STREQ(freight.name, "FreightOnALaterCheck");
    const std::vector<CPostingRow> books = {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 40.0}};
    const std::string refused = "The request could not be processed.";
    const std::string committed = "The days are valued and committed, but the check of QuickBooks' values against "
                                  "the FIFO values could not be made: " + refused;
    const std::string notKept = "The days are valued and committed, but QuickBooks' valuation of 04/03/2010 could not "
                                "be kept for the check at the next open: " + refused;
    const struct {
        int at;
        const char* report;
        std::string status;  // of the refused run; empty when it completes
    } cases[] = {
        {1, "03/31, the quantities the transactions read start from: inventory items", refused},
        {2, "03/31, the quantities the transactions read start from: assemblies", refused},
        {3, "04/03, the sales day: inventory items", refused},
        {4, "04/03, the sales day: assemblies", refused},
        {5, "04/02, the day of the freight", refused},
        {6, "the proof's inventory items", committed},
        {7, "the proof's assemblies", committed},
        {8, "the closing valuation kept for the next open: inventory items", notKept},
        {9, "the closing valuation kept for the next open: assemblies", notKept},
        {10, "none: there is no tenth report", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("report refused the " + std::to_string(c.at) + ". time: " + c.report);
        const std::string path = companyWith(widgetCompany(freight));
        CQbSimFaults faults;
        faults.statusRequest = "GeneralSummaryReportQueryRq";
        faults.statusAt = c.at;
        faults.statusCode = 1000;
        faults.statusMessage = refused;
        qbsimSetFaults(faults);
        std::string status;
        const bool completed = run(path, day(2010, 4, 1), day(2010, 4, 3), &status);
        qbsimSetFaults(std::nullopt);
        if (c.status.empty()) {
            EXPECT_TRUE(completed) << status;
        } else {
            EXPECT_FALSE(completed);
            EXPECT_EQ(status, c.status);
        }
        if (c.status == refused) {
            // Nothing of the last day is in the books until the next run values it.
            expectPostings(path, {});
            ASSERT_TRUE(run(path, day(2010, 4, 1), day(2010, 4, 3), &status)) << status;
        }
        expectPostings(path, books);
    }
}

INSTANTIATE_TEST_SUITE_P(Books, OwnerAdjustments, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<COwnerCase>& info) { return std::string(info.param.name); });

}  // namespace
