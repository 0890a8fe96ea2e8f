// Voids by QuickBooks' facts: a transaction is voided when its memo begins "VOID:" and
// every amount on it is zero. A live purchase whose memo a user began with "VOID:" is
// valued like any purchase; a real void moves nothing, whatever its memo said before.
//
// The company: Widget, 20 at 5.00 bought on 03/01; 10 at 10.00 on 04/01 (P-1, of the
// kind the case names, its memo "VOID: replaces order 7, goods kept"); 10 at 20.00 on
// 04/02 (B-2); 12 sold on 04/03 and 3 on 04/05.
#include "e2efixture.h"

namespace {

constexpr const char* kVoidLikeMemo = "VOID: replaces order 7, goods kept";

// Live, P-1 is bought: QuickBooks 400.00 for 40, the sale of 04/03 at 10.00 leaves 280.00
// for 28; FIFO 8 at 5.00, 10 at 10.00 and 10 at 20.00, 340.00: +60.00. The 3 of 04/05 go
// at QuickBooks' 340.00/28, 36.43, leaving 303.57; FIFO takes 3 at 5.00: 325.00, +21.43.
const std::vector<CPostingRow> kBought = {
    {"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 60.00},
    {"2010-04-05", "Cost of Goods Sold", "", "Bright Shop", "Widget", 21.43},
};

// Voided, P-1 never was: QuickBooks 300.00 for 30, the sale leaves 180.00 for 18; FIFO
// 8 at 5.00 and 10 at 20.00, 240.00: +60.00. The 3 of 04/05 go at 240.00/18, 40.00,
// leaving 200.00; FIFO takes 3 at 5.00: 225.00, +25.00.
const std::vector<CPostingRow> kNeverBought = {
    {"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Widget", 60.00},
    {"2010-04-05", "Cost of Goods Sold", "", "Bright Shop", "Widget", 25.00},
};

}  // namespace

class Voids : public ValuationRun {
protected:
    // The company with P-1 of the kind.
    std::string companyBuying(const std::string& kind) {
        CCompanyBuilder company;
        company.lists();
        company.item("Widget");
        company.bill("2010-03-01", "B-0").line("Widget", 20, 5.00);
        CTxnEntry& purchase = kind == "Bill"          ? company.bill("2010-04-01", "P-1")
                              : kind == "ItemReceipt" ? company.itemReceipt("2010-04-01", "P-1")
                              : kind == "Check"       ? company.check("2010-04-01", "P-1")
                                                      : company.cardCharge("2010-04-01", "P-1");
        purchase.memo(kVoidLikeMemo).line("Widget", 10, 10.00);
        company.bill("2010-04-02", "B-2").line("Widget", 10, 20.00);
        company.invoice("2010-04-03", "1001").line("Widget", 12);
        company.invoice("2010-04-05", "1002").line("Widget", 3);
        return companyWith(company);
    }
};

// Each kind of purchase, left live or voided in QuickBooks before the run.
TEST_F(Voids, APurchaseIsVoidedByItsZeroedAmountsNotByItsMemo) {
    struct Case {
        const char* kind;
        bool voided;
        const std::vector<CPostingRow>* expected;
        std::pair<double, double> carriedOn5th;
    };
    const std::vector<Case> cases = {
        {"Bill", false, &kBought, {25.0, 325.0}},
        {"ItemReceipt", false, &kBought, {25.0, 325.0}},
        {"Check", false, &kBought, {25.0, 325.0}},
        {"CreditCardCharge", false, &kBought, {25.0, 325.0}},
        {"Bill", true, &kNeverBought, {15.0, 225.0}},
        {"Check", true, &kNeverBought, {15.0, 225.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + (c.voided ? " voided" : " live"));
        std::filesystem::remove_all(dir / "appdata");
        const std::string path = companyBuying(c.kind);
        if (c.voided) {
            send(path, companybuilder::voidRequest(c.kind, txnField(path, c.kind, "P-1", "TxnID")));
            ASSERT_EQ(txnField(path, c.kind, "P-1", "Memo"), std::string("VOID: ") + kVoidLikeMemo);
        } else {
            ASSERT_EQ(txnField(path, c.kind, "P-1", "Memo"), kVoidLikeMemo);
        }
        std::string status;
        ASSERT_TRUE(runTo(path, 5, &status)) << status;
        expectPostings(path, *c.expected);
        EXPECT_EQ(carried(engine(), day(2010, 4, 5), "Widget"), c.carriedOn5th);
        // Valued on every day, the item is no exception of the run.
        EXPECT_THAT(status, ::testing::Not(::testing::HasSubstr("not valued")));
        dlg.reset();
    }
}

// A live purchase with such a memo entered behind the valued period is a change like any
// other, and after the rewind the books are those of the purchase bought.
TEST_F(Voids, ALivePurchaseWithAVoidLikeMemoBehindTheValuedPeriodIsValuedAfterTheRewind) {
    CCompanyBuilder company;
    company.lists();
    company.item("Widget");
    company.bill("2010-03-01", "B-0").line("Widget", 20, 5.00);
    company.bill("2010-04-02", "B-2").line("Widget", 10, 20.00);
    company.invoice("2010-04-03", "1001").line("Widget", 12);
    company.invoice("2010-04-05", "1002").line("Widget", 3);
    const std::string path = companyWith(company);
    std::string status;
    ASSERT_TRUE(runTo(path, 5, &status)) << status;
    dlg.reset();

    CCompanyBuilder late;
    late.bill("2010-04-01", "P-1").memo(kVoidLikeMemo).line("Widget", 10, 10.00);
    send(path, late);
    EXPECT_THAT(openStatus(path), ::testing::HasSubstr("FIFO values from 04/01/2010 on may be stale"));
    ASSERT_TRUE(rewind(path, day(2010, 4, 1), &status)) << status;
    ASSERT_TRUE(runTo(path, 5, &status)) << status;
    expectPostings(path, kBought);
}
