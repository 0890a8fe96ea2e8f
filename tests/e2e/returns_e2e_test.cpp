// Goods returned to vendors come out of the FIFO lots: a vendor credit, a credit card
// credit and a negative quantity on a bill each take their units out of the newest
// purchases dated on or before them, at those purchases' own cost, and reach into the
// opening lot when the purchases since the start date do not hold enough. Each case is
// worked out by hand in its comment; the figures are the postings QuickBooks must hold.
#include <chrono>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2efixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;


class Returns : public ValuationRun {};

// Every item holds 40 at 6.00 before the start (the opening lot) and sells 5 on 04/03.
//
// Widget: 80 bought at 10.00 on 04/01, 30 of them returned at 10.00 on a vendor credit on
// 04/02. QuickBooks: 1,040.00 - 300.00 = 740.00 for 90, the sale at the average leaves
// 698.89. FIFO: 50 of the 10.00 lot and 35 of the 6.00 units, 710.00: +11.11.
// Sprocket: the same, returned on a credit card credit at 9.00. QuickBooks moves out the
// credit's 270.00: 770.00, the sale leaves 727.22; FIFO takes the returned units out of
// the 10.00 lot at its own cost, 710.00: -17.22.
// Gadget: the same, returned as a bill line of -30 at 10.00: +11.11.
// Bolt: 20 bought at 10.00 on 04/01, 30 returned at 10.00 on 04/02: the return takes the
// 20 and 10 of the opening lot. QuickBooks: 440.00 - 300.00 = 140.00 for 30, the sale
// leaves 116.67; FIFO 25 at 6.00, 150.00: +33.33.
// Nut: nothing before the start; on 04/01 a customer returns 10, 4 go back to the vendor
// and 1 is sold: the return finds no purchase to come out of, and Nut is not valued.
TEST_F(Returns, ReturnsComeOutOfTheNewestPurchasesAtTheirOwnCost) {
    CCompanyBuilder company;
    company.lists();
    for (const char* item : {"Widget", "Sprocket", "Gadget", "Bolt", "Nut"}) company.item(item);
    company.bill("2010-03-01", "B-0").line("Widget", 40, 6.00);
    company.bill("2010-03-01", "B-00").line("Sprocket", 40, 6.00);
    company.bill("2010-03-01", "B-000").line("Gadget", 40, 6.00);
    company.bill("2010-03-01", "B-0000").line("Bolt", 40, 6.00);
    company.bill("2010-04-01", "B-1").line("Widget", 80, 10.00);
    company.bill("2010-04-01", "B-2").line("Sprocket", 80, 10.00);
    company.bill("2010-04-01", "B-3").line("Gadget", 80, 10.00);
    company.bill("2010-04-01", "B-4").line("Bolt", 20, 10.00);
    company.creditMemo("2010-04-01", "CM-1").line("Nut", 10);
    company.vendorCredit("2010-04-01", "VC-9").line("Nut", 4, 1.00);
    company.invoice("2010-04-01", "1000").line("Nut", 1);
    company.vendorCredit("2010-04-02", "VC-1").line("Widget", 30, 10.00);
    company.cardCredit("2010-04-02", "CCC-1").line("Sprocket", 30, 9.00);
    company.bill("2010-04-02", "B-5").line("Gadget", -30, 10.00);
    company.vendorCredit("2010-04-02", "VC-2").line("Bolt", 30, 10.00);
    company.invoice("2010-04-03", "1001").line("Widget", 5);
    company.invoice("2010-04-03", "1002").line("Sprocket", 5);
    company.invoice("2010-04-03", "1003").line("Gadget", 5);
    company.invoice("2010-04-03", "1004").line("Bolt", 5);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;

    // Each posting goes to the item's COGS account with the sale's customer.
    expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 11.11},
                          {"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Sprocket", -17.22},
                          {"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Gadget", 11.11},
                          {"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Bolt", 33.33}});
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Widget"), std::make_pair(85.0, 710.0));
    EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Bolt"), std::make_pair(25.0, 150.0));

    // The report shows each return before the lots it came out of.
    const std::string report = readFile(engine().getReportPath());
    EXPECT_THAT(report, HasSubstr("\"Widget\",85.00,698.89,710.00\n"
                                  "\"\",\"\",\"\",\"\",\"Vendor Credit\",\"VC-1\",2010/04/02,-30.00,10.000000\n"
                                  "\"\",\"\",\"\",\"\",\"Bill\",\"B-1\",2010/04/01,50.00,10.000000\n"
                                  "\"\",\"\",\"\",\"\",\"Before FIFO\",\"\",2010/03/31,35.00,6.000000\n"));
    EXPECT_THAT(report, HasSubstr("\"Credit Card Credit\",\"CCC-1\",2010/04/02,-30.00,9.000000\n"
                                  "\"\",\"\",\"\",\"\",\"Bill\",\"B-2\",2010/04/01,50.00,10.000000\n"));
    EXPECT_THAT(report, HasSubstr("\"Bill\",\"B-5\",2010/04/02,-30.00,10.000000\n"
                                  "\"\",\"\",\"\",\"\",\"Bill\",\"B-3\",2010/04/01,50.00,10.000000\n"));
    // Bolt's bill went back whole: no lot of it is left.
    EXPECT_THAT(report, HasSubstr("\"Bolt\",25.00,116.67,150.00\n"
                                  "\"\",\"\",\"\",\"\",\"Vendor Credit\",\"VC-2\",2010/04/02,-30.00,10.000000\n"
                                  "\"\",\"\",\"\",\"\",\"Before FIFO\",\"\",2010/03/31,25.00,6.000000\n"));
    EXPECT_THAT(report, HasSubstr("\"Nut\",5.00,"));
    EXPECT_THAT(report, HasSubstr(",\"N/A\"\n\"\",\"\",\"\",\"\",\"Vendor Credit\",\"VC-9\",2010/04/01,-4.00"));

    const auto& exceptions = engine().getRunSummary().exceptions;
    ASSERT_EQ(exceptions.size(), 1u) << status;
    EXPECT_EQ(exceptions[0].kind, CRunException::kUnvalued);
    EXPECT_EQ(exceptions[0].item, "Nut");
    EXPECT_EQ(exceptions[0].day.userDateText(), "04/01/2010");
    EXPECT_EQ(exceptions[0].reason, "not valued: 4.00 returned to vendors find no purchase to come out of");

    const std::string log = readFile(engine().activityLogPath());
    EXPECT_THAT(log, HasSubstr("Vendor Credit # : VC-1\nDate : 2010-04-02\nItem Qty Cost\nWidget 30.000000 300.000000\n"));
    EXPECT_THAT(log, HasSubstr("Credit Card Credit # : CCC-1\n"));
}

// A vendor credit or card credit entered late for a valued day, or deleted, leaves the
// values from its date on stale, as a bill does.
TEST_F(Returns, CreditsEnteredOrDeletedBehindTheValuedPeriodAreNamed) {
    CCompanyBuilder company;
    company.lists().item("Widget");
    company.bill("2010-03-01", "B-0").line("Widget", 40, 6.00);
    company.vendorCredit("2010-04-01", "VC-1").line("Widget", 5, 6.00);
    company.invoice("2010-04-02", "1001").line("Widget", 5);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 2, &status)) << status;
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    const CQbResponse credits(answer(path, "<VendorCreditQueryRq/>"));
    CQbObject credit;
    credit.load(credits.findElements("VendorCreditRet").at(0));
    CCompanyBuilder late;
    late.cardCredit("2010-04-02", "CCC-1").line("Widget", 1, 6.00);
    send(path, "<TxnDelRq><TxnDelType>VendorCredit</TxnDelType><TxnID>" + credit.getValue("TxnID") +
                   "</TxnID></TxnDelRq>" + late.requests());
    dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    EXPECT_THAT(dlg->statusText(), HasSubstr("\n  Vendor Credit VC-1, 04/01/2010, deleted\n  Credit Card Credit "
                                             "CCC-1, 04/02/2010\n"));
}

}  // namespace
