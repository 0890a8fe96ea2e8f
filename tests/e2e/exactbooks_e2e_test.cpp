// Books that must come out exact in cases every real company meets: values in the
// millions, prices with four decimals, a running value that passes through 0.00, builds
// whose components are short of lots or oversold, a build value QuickBooks refuses to
// store, inactive items and classes, purchases on a credit card. Each case is worked out
// by hand in its comment; the figures are what QuickBooks must carry afterwards.
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2efixture.h"

namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

// The lists, Gear, and the assembly Box made of 5 Gears.
void gearAndBox(CCompanyBuilder& company) {
    company.lists().item("Gear");
    company.assembly("Box").part("Gear", 5);
}

class ExactBooks : public ValuationRun {
protected:
    ~ExactBooks() override { qbsimSetFaults(std::nullopt); }

    // The "BuildValue" QuickBooks holds for the build with the reference number.
    std::string storedBuildValue(const std::string& ref) {
        CQbFieldList filter;
        filter.addText("OwnerID", kPrivateOwnerId);
        const auto builds = engine().getSession()->queryBuildAssembly(&filter);
        for (int i = 0; builds && i < builds->getSize(); ++i) {
            if (builds->getAt(i)->getValue("RefNumber") != ref) continue;
            const CQbField* field = builds->getAt(i)->findPrivateDataExt(kBuildValueField);
            return field ? field->getValue() : "none";
        }
        return "no build";
    }
};

// Single precision holds no cents above 131,072. 04/01 1,000 Bullion for 1,000,000.01,
// 04/02 1,000 more for 1,231,688.19, 04/03 1,000 sold: QuickBooks' average leaves
// 1,115,844.10; FIFO keeps the second bill, 1,231,688.19. Screws bought at
// four-decimal prices: 10,000 at 0.1234 and 10,000 at 0.1237, 10,000 sold: FIFO 1,237.00
// against the average's 1,235.50.
TEST_F(ExactBooks, MillionsAndFourDecimalPricesComeOutToTheCent) {
    CCompanyBuilder company;
    company.lists().item("Bullion");
    company.item("Screw");
    company.bill("2010-04-01", "B-1").lineAmount("Bullion", 1000, 1000000.01);
    company.bill("2010-04-02", "B-2").lineAmount("Bullion", 1000, 1231688.19);
    company.bill("2010-04-01", "B-3").line("Screw", 10000, 0.1234);
    company.bill("2010-04-02", "B-4").line("Screw", 10000, 0.1237);
    company.invoice("2010-04-03", "1001").line("Bullion", 1000);
    company.invoice("2010-04-03", "1002").line("Screw", 10000);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    EXPECT_THAT(status, Not(HasSubstr("Warning")));
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Bullion"), std::make_pair(1000.0, 1231688.19));
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Screw"), std::make_pair(10000.0, 1237.0));
    const std::string report = readFile(engine().getReportPath());
    EXPECT_THAT(report, HasSubstr("\"Bullion\",1000.00,1115844.10,1231688.19\n"));
    EXPECT_THAT(report, HasSubstr("\"Screw\",10000.00,1235.50,1237.00\n"));
    EXPECT_THAT(readFile(engine().activityLogPath()), HasSubstr("Bullion 1231688.19\n"));
}

// A running value that passes through 0.00 stays started. 04/01 1 Widget at 20.00, then 10
// at 9.00 (QuickBooks: 11 for 110.00). 04/02 invoice 10, credit memo 9 back: QuickBooks 10
// for 100.00, FIFO 10 x 9.00 = 90.00, net issue 1. The invoice's share (-100.00) takes the
// running value to exactly 0.00; the credit memo's (+90.00) must follow on from there, to
// 90.00, not start again from QuickBooks' 100.00.
TEST_F(ExactBooks, ARunningValueThroughZeroStaysStarted) {
    CCompanyBuilder company;
    company.lists().item("Widget");
    company.bill("2010-04-01", "B-1").line("Widget", 1, 20.00);
    company.bill("2010-04-01", "B-2").line("Widget", 10, 9.00);
    company.invoice("2010-04-02", "1001").line("Widget", 10);
    company.creditMemo("2010-04-02", "CM-1").line("Widget", 9);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 2, &status)) << status;
    EXPECT_EQ(carried(engine(), day(2010, 4, 2), "Widget"), std::make_pair(10.0, 90.0));
}

// A build consumes what the day's lots say it consumed, whatever the component's sign at
// the day's end. 04/01 5 Gears at 10.00; 04/02 a Box built of the 5 Gears, then 3 more
// Gears sold (on hand -3). The Box is worth 5 x 10.00 = 50.00, not the 2 units a reserved
// layer shrunk by the negative stock would hold.
TEST_F(ExactBooks, AnOversoldComponentStillCostsItsWholeReservedLayer) {
    CCompanyBuilder company;
    gearAndBox(company);
    company.bill("2010-04-01", "B-1").line("Gear", 5, 10.00);
    company.build("2010-04-02", "Box", "X-1");
    company.invoice("2010-04-02", "1001").line("Gear", 3);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 2, &status)) << status;
    EXPECT_EQ(storedBuildValue("X-1"), "50.000000");
}

// 04/01 5 Gears come back from a customer on a credit memo, which is no receipt, and
// the FIFO walk finds no lot for them. The Box built of them on 04/02
// cannot be valued: it keeps no value (a guessed 0.00 would be kept for good), the
// activity log names the short component, and the Box shows "N/A" for the day.
TEST_F(ExactBooks, ABuildOfComponentsShortOfLotsIsNotValued) {
    CCompanyBuilder company;
    gearAndBox(company);
    company.creditMemo("2010-04-01", "CM-1").line("Gear", 5);
    company.build("2010-04-02", "Box", "X-1");
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 2, &status)) << status;
    EXPECT_EQ(storedBuildValue("X-1"), "none");
    EXPECT_THAT(readFile(engine().activityLogPath()),
                HasSubstr("Build transaction : item Box not valued, component Gear cannot find all item receipts\n"));
    EXPECT_THAT(readFile(engine().getReportPath()), HasSubstr("\"Box\",1.00,"));
    EXPECT_THAT(readFile(engine().getReportPath()), HasSubstr(",\"N/A\"\n"));
    // Gear and Box are left unvalued, and the build short of Gear is named.
    std::string named;
    for (const CRunException& e : engine().getRunSummary().exceptions) {
        named += std::to_string(e.kind) + " " + e.item + " " + e.day.userDateText() + ": " + e.reason + "\n";
    }
    EXPECT_EQ(named,
              "0 Gear 04/01/2010: not valued: the purchases found do not cover the quantity on hand (5.00)\n"
              "1 Box 04/02/2010: build X-1 not valued: the purchases of component Gear do not cover it\n"
              "0 Box 04/02/2010: not valued: the purchases found do not cover the quantity on hand (1.00)\n");
}

// QuickBooks refuses to store a build's value: the build's cost would be lost for good, so
// the run stops before the build's day is committed, and the next run values it again.
TEST_F(ExactBooks, ARefusedBuildValueStopsTheRunBeforeItsDay) {
    std::string path = company("build_company_rq.xml");
    ASSERT_TRUE(runApril(path));
    const CPostings expected = postings(path);
    std::filesystem::remove(path);

    path = company("build_company_rq.xml");
    ASSERT_TRUE(runTo(path, 1));  // the first run stores its settings; no build yet
    CQbSimFaults faults;
    faults.statusRequest = "DataExtAddRq";
    faults.statusAt = 1;
    faults.statusCode = 3180;
    faults.statusMessage = "There was an error when saving a data extension.";
    qbsimSetFaults(faults);
    std::string status;
    EXPECT_FALSE(runTo(path, 3, &status));
    qbsimSetFaults(std::nullopt);
    EXPECT_FALSE(status.empty());
    EXPECT_EQ(dlg->control(kIdcCurrentUpToDate).text, "04/01/2010");

    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    EXPECT_EQ(storedBuildValue("K-1"), "45.000000");
    EXPECT_EQ(storedBuildValue("C-1"), "37.500000");
    expectSamePostings(expected, postings(path));
}

// A day cut off after some of its postings is redone from a clean slate: the earlier
// postings are deleted before QuickBooks' figures are read, so the next run posts the
// day's correction once, shared as an uninterrupted run shares it. Here the run stops at
// the store of its progress after the first sales day had posted everything.
TEST_F(ExactBooks, ADayRedoneAfterACutOffDeletesItsOwnPostingsFirst) {
    std::string path = company("fifo_company_rq.xml");
    ASSERT_TRUE(runApril(path));
    const CPostings expected = postings(path);
    std::filesystem::remove(path);

    path = company("fifo_company_rq.xml");
    ASSERT_TRUE(runTo(path, 1));
    CQbSimFaults faults;
    faults.statusRequest = "DataExtModRq";
    faults.statusAt = 1;
    faults.statusCode = 3180;
    faults.statusMessage = "There was an error when saving a data extension.";
    qbsimSetFaults(faults);
    EXPECT_FALSE(runTo(path, 3));
    qbsimSetFaults(std::nullopt);
    ASSERT_FALSE(postings(path).empty());  // 04/02's postings were made

    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    EXPECT_THAT(readFile(engine().activityLogPath()), HasSubstr("of an interrupted run\n"));
    expectSamePostings(expected, postings(path));
    EXPECT_EQ(carried(engine(), day(2010, 4, 2), "Widget"), std::make_pair(16.0, 110.0));
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Widget"), std::make_pair(10.0, 80.0));
}

// Widgets bought with a credit card are lots like any bill's: 03/01 10 at 5.00 by bill
// (before the start), 04/01 10 at 8.00 on the Visa card, 04/02 4 sold: FIFO 10 x 8.00 +
// 6 x 5.00 = 110.00.
TEST_F(ExactBooks, CreditCardPurchasesAreLots) {
    CCompanyBuilder company;
    company.lists().item("Widget");
    company.bill("2010-03-01", "B-1").line("Widget", 10, 5.00);
    company.cardCharge("2010-04-01", "CC-7").line("Widget", 10, 8.00);
    company.invoice("2010-04-02", "1001").line("Widget", 4);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 2, &status)) << status;
    EXPECT_EQ(carried(engine(), day(2010, 4, 2), "Widget"), std::make_pair(16.0, 110.0));
    EXPECT_THAT(readFile(engine().getReportPath()),
                HasSubstr("\"\",\"\",\"\",\"\",\"Credit Card Charge\",\"CC-7\",2010/04/01,10.00,8.000000\n"));
    EXPECT_THAT(readFile(engine().activityLogPath()), HasSubstr("Credit Card Charge"));
}

// The Widget and the class East are made inactive after their transactions, as users
// tidy their lists: the Widget still holds stock, and the sale of class East must still be
// adjusted, with the same postings as when both were active.
TEST_F(ExactBooks, InactiveItemsAndClassesAreValuedAndAdjusted) {
    std::string path = company("fifo_company_rq.xml");
    ASSERT_TRUE(runApril(path));
    const CPostings expected = postings(path);
    std::filesystem::remove(path);

    path = company("fifo_company_rq.xml");
    {
        const CQbResponse lists(answer(path, "<ItemInventoryQueryRq><FullName>Widget</FullName></ItemInventoryQueryRq>"
                                             "<ClassQueryRq><FullName>East</FullName></ClassQueryRq>"));
        CQbObject widget;
        widget.load(lists.findElement("ItemInventoryRet"));
        CQbObject east;
        east.load(lists.findElement("ClassRet"));
        send(path, "<ItemInventoryModRq><ItemInventoryMod><ListID>" + widget.getValue("ListID") +
                       "</ListID><EditSequence>" + widget.getValue("EditSequence") +
                       "</EditSequence><IsActive>false</IsActive></ItemInventoryMod></ItemInventoryModRq>"
                       "<ClassModRq><ClassMod><ListID>" + east.getValue("ListID") + "</ListID><EditSequence>" +
                       east.getValue("EditSequence") + "</EditSequence><IsActive>false</IsActive></ClassMod></ClassModRq>");
    }
    std::string status;
    ASSERT_TRUE(runApril(path, &status)) << status;
    EXPECT_THAT(status, Not(HasSubstr("Warning")));
    expectSamePostings(expected, postings(path));
    EXPECT_EQ(expected.size(), 2u);
}

}  // namespace

// The run summary against the books: its postings are the system's value adjustments in
// QuickBooks, its per-item corrections their value differences, its day corrections those of
// each day (+6.00 on 04/02, +11.25 on 04/03), and its proof QuickBooks' values read again
// after the run.
TEST_F(ExactBooks, TheRunSummaryAddsUpToThePostingsInQuickBooks) {
    const std::string path = company("fifo_company_rq.xml");
    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    const CRunSummary& summary = engine().getRunSummary();
    EXPECT_EQ(summary.daysProcessed, 3);
    EXPECT_EQ(summary.daysCalculated, 2);

    std::map<std::string, double> byItem;
    std::set<std::string> transactions;
    const CQbResponse response(answer(
        path, "<InventoryAdjustmentQueryRq><IncludeLineItems>true</IncludeLineItems></InventoryAdjustmentQueryRq>"));
    for (CQbDomReader::Node* node : response.findElements("InventoryAdjustmentRet")) {
        CQbObject txn;
        txn.load(node);
        if (txn.getValue("Memo") != kValueAdjustMemo) continue;
        transactions.insert(txn.getValue("TxnID"));
        for (const CQbField* line : txn.findAll("InventoryAdjustmentLineRet")) {
            byItem[line->grandchildValue("ItemRef", "FullName")] += readDecimal(line->childValue("ValueDifference"));
        }
    }
    EXPECT_EQ(summary.postings, static_cast<int>(transactions.size()));
    ASSERT_EQ(summary.itemCorrections.size(), byItem.size());
    for (const auto& [item, difference] : byItem) EXPECT_NEAR(summary.itemCorrections.at(item), difference, 0.005);
    EXPECT_NEAR(summary.increase, 17.25, 0.005);
    EXPECT_NEAR(summary.decrease, 0.0, 0.005);

    ASSERT_EQ(summary.dayCorrections.size(), 2u);
    EXPECT_EQ(summary.dayCorrections[0].day.userDateText(), "04/02/2010");
    EXPECT_NEAR(summary.dayCorrections[0].amount, 6.00, 0.005);
    EXPECT_NEAR(summary.dayCorrections[1].amount, 11.25, 0.005);
    EXPECT_NEAR(summary.onHandValue, 80.00, 0.005);

    EXPECT_TRUE(summary.proofMade);
    EXPECT_EQ(summary.proofItems, 1);
    EXPECT_EQ(summary.proofMatched, 1);
    EXPECT_TRUE(summary.exceptions.empty());
    EXPECT_THAT(status, HasSubstr("\n\nDays processed : 3 (2 with sales, adjustments or builds)\nPostings : 2, "
                                  "inventory value up by 17.25 and down by 0.00\nQuickBooks now carries the FIFO "
                                  "value of 1 of 1 items on hand (04/03/2010).\nNo exceptions."));
    EXPECT_THAT(readFile(engine().activityLogPath()), HasSubstr("Correction of Widget : 17.25\n"));

    // The page lies beside the report and says the same.
    EXPECT_THAT(engine().getPagePath(), EndsWith("costrun20100401_20100403.html"));
    EXPECT_THAT(status, HasSubstr("\nand a page to read it at " + engine().getPagePath() + "\n"));
    EXPECT_THAT(readFile(engine().getPagePath()), HasSubstr("QuickBooks now carries the FIFO value of 1 of 1 items on hand (04/03/2010)."));
}

// Items left unvalued (sold below zero), valued from the opening lot alone more than a
// month after the start, a posting QuickBooks refused and the value it leaves behind are
// named with the item, the day and the reason; a day after day shortage is one exception.
TEST_F(ExactBooks, ExceptionsNameTheItemTheDayAndTheReason) {
    CCompanyBuilder books;
    books.lists().item("Widget");
    books.item("Bolt");
    books.bill("2010-03-01", "B-1").line("Widget", 10, 5.00);
    books.bill("2010-03-01", "B-2").line("Bolt", 20, 2.00);
    books.invoice("2010-04-02", "1001").line("Widget", 12);
    books.invoice("2010-04-03", "1002").line("Widget", 1);
    books.invoice("2010-04-02", "1003").line("Bolt", 10);
    books.invoice("2010-05-04", "1004").line("Bolt", 1);
    const std::string path = companyWith(books);
    dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    dlg->setDate(kIdcStartDate, day(2010, 4, 1));
    dlg->setDate(kIdcUpToDate, day(2010, 5, 4));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    const auto& exceptions = engine().getRunSummary().exceptions;
    ASSERT_EQ(exceptions.size(), 2u) << dlg->statusText();
    EXPECT_EQ(exceptions[0].kind, CRunException::kUnvalued);
    EXPECT_EQ(exceptions[0].item, "Widget");
    EXPECT_EQ(exceptions[0].day.userDateText(), "04/02/2010");
    // Still short on 05/04, the next day calculated.
    EXPECT_EQ(exceptions[0].days, 3);
    EXPECT_EQ(exceptions[0].lastDay.userDateText(), "05/04/2010");
    EXPECT_EQ(exceptions[0].reason, "not valued: the quantity on hand is negative (-2.00)");
    EXPECT_EQ(exceptions[1].kind, CRunException::kOpeningLotOnly);
    EXPECT_EQ(exceptions[1].item, "Bolt");
    EXPECT_EQ(exceptions[1].day.userDateText(), "05/04/2010");
    EXPECT_THAT(dlg->statusText(), HasSubstr("\nExceptions : 2\n  Widget, 04/02/2010 and 2 more days to 05/04/2010: "
                                             "not valued: the quantity on hand is negative (-2.00)\n  Bolt, "
                                             "05/04/2010: valued wholly from the opening lot"));

    // QuickBooks refuses the last day's posting: the run stops before that day is
    // committed, names the refused item and day, and the next run values the day again
    // and ends with QuickBooks carrying the FIFO value.
    dlg.reset();
    std::filesystem::remove(path);
    const std::string other = company("fifo_company_rq.xml");
    CQbSimFaults faults;
    faults.statusRequest = "InventoryAdjustmentAddRq";
    faults.statusAt = 2;
    faults.statusCode = 3180;
    faults.statusMessage = "There was an error when saving the transaction.";
    qbsimSetFaults(faults);
    std::string status;
    EXPECT_FALSE(runTo(other, 3, &status));
    qbsimSetFaults(std::nullopt);
    EXPECT_EQ(status, "QuickBooks refused the value adjustment of Widget on 04/03/2010: There was an error "
                      "when saving the transaction.");
    const CRunSummary& summary = engine().getRunSummary();
    ASSERT_EQ(summary.exceptions.size(), 1u) << status;
    EXPECT_EQ(summary.exceptions[0].kind, CRunException::kRefusedPosting);
    EXPECT_EQ(summary.exceptions[0].item, "Widget");
    EXPECT_EQ(summary.exceptions[0].reason,
              "QuickBooks refused its value adjustment: There was an error when saving the transaction.");
    EXPECT_EQ(engine().getLastUpToDate()->userDateText(), "04/02/2010");

    EXPECT_TRUE(runTo(other, 3, &status)) << status;
    EXPECT_TRUE(engine().getRunSummary().exceptions.empty()) << status;
    EXPECT_EQ(engine().getRunSummary().proofMatched, 1);
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Widget"), std::make_pair(10.0, 80.0));
}
