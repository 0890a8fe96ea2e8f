// What QuickBooks users do every month besides buying and selling: they void
// transactions, enter the bill for goods received on an item receipt, sell on statement
// charges, and back-date sales that leave a build short. Each case ends in the books of
// a company that never had the event, worked out by hand in its comment.
//
// Every company holds Widget: 20 at 5.00 bought before the start date (04/01/2010).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2efixture.h"
#include "qbsimreceivebill.h"

namespace {

using ::testing::HasSubstr;

class Movements : public ValuationRun {
protected:
    // The lists, Widget and its 20 at 5.00 bought on 03/01.
    static void opening(CCompanyBuilder& company) {
        company.lists();
        company.item("Widget");
        company.bill("2010-03-01", "B-0").line("Widget", 20, 5.00);
    }

    // Voids the transaction of the type with that number, as the user does in QuickBooks.
    static void voidTxn(const std::string& path, const std::string& type, const std::string& ref) {
        send(path, "<TxnVoidRq><TxnVoidType>" + type + "</TxnVoidType><TxnID>" + txnField(path, type, ref, "TxnID") +
                       "</TxnID></TxnVoidRq>");
    }

    // Turns the item receipt with that number into a bill, as "Enter Bill for Received Items".
    static void enterBill(const std::string& path, const std::string& ref, const CQbSimBillForReceipt& bill) {
        qbsimEnterBillForReceivedItems(path, txnField(path, "ItemReceipt", ref, "TxnID"), bill);
    }
};

// 10 bought at 10.00 on 04/01 and 10 at 20.00 on 04/02 on a purchase of each kind, the
// latter voided; 12 sold on 04/03. As if the purchase at 20.00 never was: QuickBooks
// 200.00 for 30, the sale at the average leaves 120.00 for 18; FIFO 10 at 10.00 and 8
// at 5.00, 140.00: +20.00. (Read as a purchase whatever its amounts, the voided lines
// would be a lot of 10 at nothing: 80.00.)
TEST_F(Movements, AVoidedPurchaseMovesNothing) {
    const std::vector<CPostingRow> asIfNeverBought = {
        {"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 20.00}};
    for (const char* kind : {"Bill", "ItemReceipt", "Check", "CreditCardCharge"}) {
        SCOPED_TRACE(kind);
        CCompanyBuilder company;
        opening(company);
        company.bill("2010-04-01", "B-1").line("Widget", 10, 10.00);
        const std::string type = kind;
        CTxnEntry& voided = type == "Bill"          ? company.bill("2010-04-02", "V-1")
                            : type == "ItemReceipt" ? company.itemReceipt("2010-04-02", "V-1")
                            : type == "Check"       ? company.check("2010-04-02", "V-1")
                                                    : company.cardCharge("2010-04-02", "V-1");
        voided.line("Widget", 10, 20.00);
        company.invoice("2010-04-03", "1001").line("Widget", 12);
        const std::string path = companyWith(company);
        voidTxn(path, kind, "V-1");

        std::string status;
        ASSERT_TRUE(runTo(path, 3, &status)) << status;
        expectPostings(path, asIfNeverBought);
        EXPECT_EQ(carried(engine(), day(2010, 4, 3), "Widget"), std::make_pair(18.0, 140.0));
    }
}

// A voided sale issues nothing: 10 bought at 10.00 on 04/01, 12 sold on 04/03 in class
// East, and 5 more on an invoice in class West and 4 on a statement charge, both voided:
// the books of the 12 alone, +20.00 to East (read as issues, the voided sales would take
// 9/21 of it).
TEST_F(Movements, AVoidedSaleIssuesNothing) {
    CCompanyBuilder company;
    opening(company);
    company.bill("2010-04-01", "B-1").line("Widget", 10, 10.00);
    company.invoice("2010-04-03", "1001").line("Widget", 12).inClass("East");
    company.invoice("2010-04-03", "1002").line("Widget", 5).inClass("West");
    company.charge("2010-04-03", "SC-1").item("Widget", 4);
    const std::string path = companyWith(company);
    voidTxn(path, "Invoice", "1002");
    voidTxn(path, "Charge", "SC-1");

    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "East", "Bright Shop", "Widget", 20.00}});
}

// The bill at 20.00 of 04/02 is voided after 04/03 was valued with it (QuickBooks 400.00
// for 40, the sale leaves 280.00 for 28; FIFO 10 at 20.00, 10 at 10.00 and 8 at 5.00,
// 340.00: +60.00). Opening the file names the void as a change behind the valued period;
// after the rewind the books are those of a company that never had the bill: +20.00.
TEST_F(Movements, AVoidBehindTheValuedPeriodIsAChangeAndTheRewindMendsIt) {
    CCompanyBuilder company;
    opening(company);
    company.bill("2010-04-01", "B-1").line("Widget", 10, 10.00);
    company.bill("2010-04-02", "B-2").line("Widget", 10, 20.00);
    company.invoice("2010-04-03", "1001").line("Widget", 12);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 60.00}});

    voidTxn(path, "Bill", "B-2");
    EXPECT_THAT(openStatus(path), HasSubstr("FIFO values from 04/02/2010 on may be stale"));
    EXPECT_THAT(openStatus(path), HasSubstr("\n  Bill B-2, 04/02/2010"));
    ASSERT_TRUE(rewind(path, day(2010, 4, 2), &status)) << status;
    ASSERT_TRUE(run(path, day(2010, 4, 1), day(2010, 4, 3), &status)) << status;
    expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 20.00}});
}

// 10 received at 10.00 on an item receipt of 04/01 and billed at 12.00, 12 sold on
// 04/03, before any run. Whether the bill keeps the receipt's date or is dated 04/02,
// it is one purchase of 10 at 12.00 before the sale: QuickBooks 220.00 for 30, the sale
// leaves 132.00 for 18; FIFO 10 at 12.00 and 8 at 5.00, 160.00: +28.00.
TEST_F(Movements, AReceiptBilledBeforeItsDayIsValuedIsOnePurchaseAtTheBillsCost) {
    for (const CQbSimBillForReceipt& bill :
         {CQbSimBillForReceipt{"", true, {{1, 120.00}}}, CQbSimBillForReceipt{"2010-04-02", false, {{1, 120.00}}}}) {
        SCOPED_TRACE(bill.date);
        CCompanyBuilder company;
        opening(company);
        company.itemReceipt("2010-04-01", "IR-1").line("Widget", 10, 10.00);
        company.invoice("2010-04-03", "1001").line("Widget", 12);
        const std::string path = companyWith(company);
        enterBill(path, "IR-1", bill);

        std::string status;
        ASSERT_TRUE(runTo(path, 3, &status)) << status;
        expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 28.00}});
        EXPECT_THAT(readFile(engine().getReportPath()), HasSubstr("\"Bill\",\"IR-1\","));
    }
}

// The receipt of 04/01 (10 at 10.00) is billed on 04/05 at 12.00 after 04/01 to 04/03
// were valued with it (+20.00 on 04/03, as in the void above). The conversion is one
// change, dated 04/01, the earlier of its dates. After the rewind the purchase is the
// bill of 04/05: the sale of 12 on 04/03 takes the opening units alone (no posting), and
// the sale of 3 on 04/06 leaves QuickBooks 133.33 for 15 (160.00 for 18 at the average)
// where FIFO holds 10 at 12.00 and 5 at 5.00, 145.00: +11.67.
TEST_F(Movements, AReceiptBilledAfterItsDayWasValuedIsOneChangeAndTheRewindMendsIt) {
    CCompanyBuilder company;
    opening(company);
    company.itemReceipt("2010-04-01", "IR-1").line("Widget", 10, 10.00);
    company.invoice("2010-04-03", "1001").line("Widget", 12);
    company.invoice("2010-04-06", "1002").line("Widget", 3);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 20.00}});

    enterBill(path, "IR-1", CQbSimBillForReceipt{"2010-04-05", false, {{1, 120.00}}});
    const std::string opened = openStatus(path);
    EXPECT_THAT(opened, HasSubstr("FIFO values from 04/01/2010 on may be stale: 1 transaction"));
    EXPECT_THAT(opened, HasSubstr("\n  Bill IR-1 (was Item Receipt), 04/01/2010"));
    ASSERT_TRUE(rewind(path, day(2010, 4, 1), &status)) << status;
    ASSERT_TRUE(run(path, day(2010, 4, 1), day(2010, 4, 6), &status)) << status;
    expectPostings(path, {{"2010-04-06", "Cost of Goods Sold", "", "Bright Shop", "Widget", 11.67}});
}

// 10 bought at 10.00 on 04/01; on 04/03, 7 sold on an invoice in class East and 5 on a
// statement charge. QuickBooks 200.00 for 30, the 12 issued leave 120.00 for 18; FIFO
// 140.00: the +20.00 goes to the sales by their quantities, 7/12 to the invoice's
// class and 5/12 to the charge.
TEST_F(Movements, AStatementChargeIsASaleOfItsDay) {
    CCompanyBuilder company;
    opening(company);
    company.bill("2010-04-01", "B-1").line("Widget", 10, 10.00);
    company.invoice("2010-04-03", "1001").line("Widget", 7).inClass("East");
    company.charge("2010-04-03", "SC-1").item("Widget", 5);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectPostings(path, {{"2010-04-03", "Cost of Goods Sold", "East", "Bright Shop", "Widget", 11.67},
                          {"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 8.33}});
    EXPECT_THAT(readFile(engine().activityLogPath()),
                HasSubstr("-- Statement Charge #SC-1 for customer Bright Shop :\nWidget 5.000000\n"));
}

// A statement charge entered behind the valued period is a change like any sale.
TEST_F(Movements, AStatementChargeBehindTheValuedPeriodIsAChange) {
    CCompanyBuilder company;
    opening(company);
    company.bill("2010-04-01", "B-1").line("Widget", 10, 10.00);
    company.invoice("2010-04-03", "1001").line("Widget", 7);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;

    CCompanyBuilder later;
    later.charge("2010-04-02", "SC-2").item("Widget", 5);
    send(path, later.requests());
    EXPECT_THAT(openStatus(path), HasSubstr("\n  Statement Charge SC-2, 04/02/2010"));
}

// Kit takes 2 Widget. 10 bought at 10.00 on 04/01, 5 Kits built on 04/02 from the 30 on
// hand; then an invoice of 25 is back-dated to 04/01, and with 5 left on the build's date
// QuickBooks turns the build back to pending. The books are those of a company whose
// build was pending all along: the 25 sold leave QuickBooks 33.33 for 5 (200.00 for 30
// at the average) where FIFO holds 5 at 10.00: +16.67, and nothing for the build.
TEST_F(Movements, ABuildTurnedBackToPendingMovesNothing) {
    CCompanyBuilder company;
    opening(company);
    company.assembly("Kit").part("Widget", 2);
    company.bill("2010-04-01", "B-1").line("Widget", 10, 10.00);
    company.build("2010-04-02", "Kit", "K-1").quantity(5).markPendingIfRequired();
    const std::string path = companyWith(company);
    CCompanyBuilder backDated;
    backDated.invoice("2010-04-01", "1001").line("Widget", 25);
    send(path, backDated.requests());
    ASSERT_EQ(txnField(path, "BuildAssembly", "K-1", "IsPending"), "true");

    std::string status;
    ASSERT_TRUE(runTo(path, 3, &status)) << status;
    expectPostings(path, {{"2010-04-01", "Cost of Goods Sold", "", "Bright Shop", "Widget", 16.67}});
}

}  // namespace
