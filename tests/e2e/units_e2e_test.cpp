// Units of measure: a company that buys by the box and sells by the each. Every quantity
// the valuation reads counts in the item's base unit, so the lots, the shares of a
// correction and the books come out as they would for a company that never used units.
// Each case is worked out by hand in its comment.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2efixture.h"
#include "widestring.h"

namespace {

using ::testing::HasSubstr;


// Answers as QuickBooks would for lines whose unit has since gone from their set: every
// line in Carton comes back in Crate, a unit no set holds.
CDelegatingProcessor* goneUnitProcessor(IRequestProcessor2* real) {
    return new CRewritingProcessor(real, [](std::string text) {
        const std::string from = "<UnitOfMeasure>Carton</UnitOfMeasure>";
        const std::string to = "<UnitOfMeasure>Crate</UnitOfMeasure>";
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
        return text;
    });
}

// Notes the name of every request element sent.
class CRecordingProcessor : public CDelegatingProcessor {
public:
    CRecordingProcessor(IRequestProcessor2* real, std::string& sent) : CDelegatingProcessor(real), sent(sent) {}
    HRESULT ProcessRequest(BSTR ticket, BSTR request, BSTR* response) override {
        sent += wideToNarrow(std::wstring(request, SysStringLen(request)));
        return inner->ProcessRequest(ticket, request, response);
    }

private:
    std::string& sent;
};

class UnitsOfMeasure : public ValuationRun {
protected:
    ~UnitsOfMeasure() override { qbsimSetFaults(std::nullopt); }

    // A company with units of measure on, loaded from the request elements.
    std::string unitsCompany(const std::string& requests, bool unitsOn = true) {
        CQbSimCompanyOptions options{"Units Hardware"};
        options.unitsOfMeasure = unitsOn;
        return companyWith(requests, options, "Units.qbw");
    }

    // The run's exceptions, one a line: item, day and reason.
    std::string exceptions() {
        std::string named;
        for (const CRunException& e : engine().getRunSummary().exceptions)
            named += e.item + " " + e.day.userDateText() + ": " + e.reason + "\n";
        return named;
    }
};

// Widget comes by the box of 10: 04/01 three boxes at 20.00 (30 each, 60.00), 04/02 one box
// at 25.00 (10 each, 25.00); 04/03 15 each sold. FIFO keeps 10 at 2.50 and 15 at 2.00:
// 55.00. QuickBooks' average, 85.00 / 40 = 2.125, leaves 25 for 53.12 (cost of the sale
// 31.88): the correction is +1.88 on the invoice's day.
//
// Bolt comes by the box of 12: 04/01 two boxes for 48.00 (24 each at 2.00), 04/02 12 each
// for 30.00 (2.50). 04/03 one box sold in class East and 8 each in class West: 20 each,
// 16 left. FIFO keeps 12 at 2.50 and 4 at 2.00: 38.00. QuickBooks' average, 78.00 / 36,
// costs the sales 26.00 and 17.33 and leaves 34.67: +3.33, shared by base quantity,
// 12/20 = 2.00 to East and 8/20 = 1.33 to West.
//
// Nut comes by the carton of 10: 04/01 two cartons for 20.00, 04/02 10 each for 15.00, 04/03
// 5 each sold. QuickBooks answers the cartons in a unit its set does not hold: the walk
// needs that lot (25 on hand, 10 from 04/02), so Nut is left unvalued that day, and the
// run says which unit it could not read.
TEST_F(UnitsOfMeasure, QuantitiesCountInTheBaseUnit) {
    CCompanyBuilder company;
    company.lists().unitSet("By the box", "Box", 10).unitSet("By the dozen", "Box of 12", 12);
    company.unitSet("By the carton", "Carton", 10);
    company.item("Widget").units("By the box");
    company.item("Bolt").units("By the dozen");
    company.item("Nut").units("By the carton");
    company.bill("2010-04-01", "B-1").lineAmount("Widget", 3, 60.00).unit("Box");
    company.bill("2010-04-02", "B-2").lineAmount("Widget", 1, 25.00).unit("Box");
    company.bill("2010-04-01", "B-3").lineAmount("Bolt", 2, 48.00).unit("Box of 12");
    company.bill("2010-04-02", "B-4").lineAmount("Bolt", 12, 30.00);
    company.bill("2010-04-01", "B-5").lineAmount("Nut", 2, 20.00).unit("Carton");
    company.bill("2010-04-02", "B-6").lineAmount("Nut", 10, 15.00).unit("Each");
    company.invoice("2010-04-03", "1001").line("Widget", 15).unit("Each");
    company.invoice("2010-04-03", "1002").line("Bolt", 1).unit("Box of 12").inClass("East")
                                          .line("Bolt", 8).unit("Each").inClass("West");
    company.invoice("2010-04-03", "1003").line("Nut", 5).unit("Each");
    const std::string path = unitsCompany(company);
    wrapProcessor(goneUnitProcessor);

    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 1.88},
                          {"2010-04-03", "Cost of Goods Sold", "East", "Bright Shop", "Bolt", 2.00},
                          {"2010-04-03", "Cost of Goods Sold", "West", "Bright Shop", "Bolt", 1.33}});
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Widget"), std::make_pair(25.0, 55.0));
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Bolt"), std::make_pair(16.0, 38.0));

    // The report's lots and the activity log count each, at the cost of one each.
    const std::string report = readFile(engine().getReportPath());
    EXPECT_THAT(report, HasSubstr("\"Widget\",25.00,53.12,55.00\n"
                                  "\"\",\"\",\"\",\"\",\"Bill\",\"B-2\",2010/04/02,10.00,2.500000\n"
                                  "\"\",\"\",\"\",\"\",\"Bill\",\"B-1\",2010/04/01,15.00,2.000000\n"));
    EXPECT_THAT(report, HasSubstr("\"Bill\",\"B-3\",2010/04/01,4.00,2.000000\n"));
    EXPECT_THAT(report, HasSubstr("\"Nut\",25.00,29.17,\"N/A\"\n"));
    const std::string log = readFile(engine().activityLogPath());
    EXPECT_THAT(log, HasSubstr("Widget 30.000000 60.000000\n"));
    EXPECT_THAT(log, HasSubstr("Bolt 12.000000\nBolt 8.000000\n"));

    EXPECT_EQ(exceptions(), "Nut 04/03/2010: not valued: a line of Bill B-5 is in the unit \"Crate\", which its "
                     "unit of measure set does not hold\n");
}

// Gear by the carton of 10: 04/01 one carton for 20.00, which QuickBooks answers in a unit
// no set holds; 04/02 a Kit built of 5 Gears. Gear's cost cannot be known, so the build
// keeps no value, and the run says why: the unit, not missing purchases.
TEST_F(UnitsOfMeasure, AComponentInAnUnreadUnitLeavesItsBuildUnvalued) {
    CCompanyBuilder company;
    company.lists().unitSet("By the carton", "Carton", 10);
    company.item("Gear").units("By the carton");
    company.assembly("Kit").part("Gear", 5);
    company.bill("2010-04-01", "B-1").lineAmount("Gear", 1, 20.00).unit("Carton");
    company.build("2010-04-02", "Kit", "X-1");
    const std::string path = unitsCompany(company);
    wrapProcessor(goneUnitProcessor);
    std::string status;
    ASSERT_TRUE(runTo(path, 2, &status)) << status;
    expectPostings(path, {});
    const std::string unit = "a line of Bill B-1 is in the unit \"Crate\", which its unit of measure set does not hold";
    EXPECT_EQ(exceptions(), "Kit 04/02/2010: build X-1 not valued: component Gear cannot be valued: " + unit +
                         "\nGear 04/02/2010: not valued: " + unit +
                         "\nKit 04/02/2010: not valued: the purchases found do not cover the quantity on hand (1.00)\n");
}

// Gadget by the pack of 4, received and issued on every kind of form: 04/01 an item receipt
// of 2 packs for 16.00 (8 at 2.00) and a check for 1 pack, 12.00 (4 at 3.00); 04/02 a card
// charge for 1 pack, 16.00 (4 at 4.00); 04/03 3 packs sold on a sales receipt in class
// East and 1 pack back on a credit memo: 8 on hand. FIFO keeps the card's 4 at 4.00 and
// the check's 4 at 3.00, 28.00; QuickBooks' average (44.00 / 16 = 2.75) carries 22.00. The
// +6.00 goes by base quantity over a net issue of 12 - 4 = 8: +9.00 to the sales receipt,
// -3.00 to the credit memo.
TEST_F(UnitsOfMeasure, EveryFormCountsInTheBaseUnit) {
    CCompanyBuilder company;
    company.lists().unitSet("By the pack", "Pack", 4).item("Gadget").units("By the pack");
    company.itemReceipt("2010-04-01", "IR-1").lineAmount("Gadget", 2, 16.00).unit("Pack");
    company.check("2010-04-01", "CK-1").lineAmount("Gadget", 1, 12.00).unit("Pack");
    company.cardCharge("2010-04-02", "CC-1").lineAmount("Gadget", 1, 16.00).unit("Pack");
    company.salesReceipt("2010-04-03", "SR-1").line("Gadget", 3).unit("Pack").inClass("East");
    company.creditMemo("2010-04-03", "CM-1").line("Gadget", 1).unit("Pack");
    const std::string path = unitsCompany(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "East", "Bright Shop", "Gadget", 9.00},
                          {"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Gadget", -3.00}});
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Gadget"), std::make_pair(8.0, 28.0));
}

// Widget by the box of 10: 04/01 one box for 20.00, 04/02 10 each for 25.00, 04/03 15
// each sold. FIFO keeps 5 at 2.50, 12.50; QuickBooks' average (2.25) leaves 11.25: +1.25.
// The sets are asked for once, and only of a file whose items have them: a file without
// units is asked nothing new. When QuickBooks says the file does not use units (3250)
// no unit can be counted, not even the invoice's Each, and Widget is left unvalued; any
// other refusal stops the run
// before a day is committed, and the next run posts the books in full.
TEST_F(UnitsOfMeasure, TheSetsAreAskedForOnceAndARefusalStopsTheRun) {
    // Widget by the box, bought on 04/01 (in a box, or in Each when `units` is false) and
    // 04/02, sold on 04/03.
    const auto widgets = [](bool units) {
        CCompanyBuilder company;
        company.lists();
        if (units) {
            company.unitSet("By the box", "Box", 10).item("Widget").units("By the box");
            company.bill("2010-04-01", "B-1").lineAmount("Widget", 1, 20.00).unit("Box");
        } else {
            company.item("Widget");
            company.bill("2010-04-01", "B-1").lineAmount("Widget", 10, 20.00);
        }
        company.bill("2010-04-02", "B-2").lineAmount("Widget", 10, 25.00);
        auto& sale = company.invoice("2010-04-03", "1001").line("Widget", 15);
        if (units) sale.unit("Each");
        return company.requests();
    };
    const std::vector<CPostingRow> books = {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 1.25}};
    std::string sent;
    wrapProcessor([&sent](IRequestProcessor2* real) { return new CRecordingProcessor(real, sent); });
    std::string status;

    // Without units of measure (no set, no unit on any line).
    std::string path = unitsCompany(widgets(false), false);
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    EXPECT_EQ(sent.find("UnitOfMeasureSetQueryRq"), std::string::npos);
    expectPostings(path, books);

    // With units of measure, asked for once per run.
    path = unitsCompany(widgets(true));
    sent.clear();
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    std::size_t asked = 0;
    for (std::size_t at = sent.find("<UnitOfMeasureSetQueryRq"); at != std::string::npos;
         at = sent.find("<UnitOfMeasureSetQueryRq", at + 1))
        ++asked;
    EXPECT_EQ(asked, 1u);
    expectPostings(path, books);

    // The file does not use units of measure (any more): the box cannot be counted.
    path = unitsCompany(widgets(true));
    CQbSimFaults off;
    off.statusRequest = "UnitOfMeasureSetQueryRq";
    off.statusAt = 1;
    off.statusCode = 3250;
    off.statusMessage = "This feature is not enabled or not available in this version of QuickBooks.";
    qbsimSetFaults(off);
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectPostings(path, {});
    EXPECT_THAT(readFile(engine().getReportPath()), HasSubstr("\"Widget\",5.00,11.25,\"N/A\"\n"));
    ASSERT_EQ(engine().getRunSummary().exceptions.size(), 1u);
    EXPECT_EQ(engine().getRunSummary().exceptions[0].reason,
              "not valued: a line of Invoice 1001 is in the unit \"Each\", which its unit of measure set does not hold");

    // Refused: nothing is committed, and the next run finishes the books.
    path = unitsCompany(widgets(true));
    CQbSimFaults refused = off;
    refused.statusCode = 3261;
    refused.statusMessage = "You do not have permission to access this data.";
    qbsimSetFaults(refused);
    EXPECT_FALSE(runTo(path, 3, &status));
    EXPECT_EQ(status, "You do not have permission to access this data.");
    expectPostings(path, {});
    qbsimSetFaults(std::nullopt);
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectPostings(path, books);
}

}  // namespace
