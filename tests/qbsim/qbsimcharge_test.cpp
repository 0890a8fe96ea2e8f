// Statement charges: ChargeAdd takes an inventory item out of stock as an invoice line
// does, ChargeQueryRq filters and pages like the other transaction queries, and a charge
// is deleted and logged as deleted like them. Every request goes through Intuit's
// schema, and every answer is checked against it too.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;

namespace {

class QbSimChargeTest : public CValuationFixture {
protected:
    void SetUp() override {
        CValuationFixture::SetUp();
        checkSchema(true);
        if (IsSkipped()) return;
        inventoryItem("Widget", "10.00", "", "", "25.00");
        serviceItem("Labour", "40.00");
        ok(receipt("Bill", "2024-01-02", "Widget", "100", "10.00") + receipt("Bill", "2024-01-03", "Widget", "100", "12.00"));
    }
    static std::string charge(const std::string& date, const std::string& refNumber, const std::string& item,
                              CFigure quantity) {
        CCompanyBuilder c(kValuationNames);
        return c.charge(date, refNumber).item(item, quantity);
    }
    static std::vector<std::string> refs(const CParsedResponse& rs) {
        std::vector<std::string> found;
        for (xmlNodePtr ret : rs[0].rets()) found.push_back(textAt(ret, "RefNumber"));
        return found;
    }
};

// The charge answers ChargeRet with its item in the header, priced from the item (or at
// its own rate); an inventory item goes out at the average cost of the day, a service
// item moves nothing.
TEST_F(QbSimChargeTest, AChargeSellsItsItemAtTheAverageCost) {
    const struct {
        const char* label;
        std::string request;
        const char* rate;
        const char* amount;
        double widgetsLeft;
        std::int64_t valueLeft;
    } cases[] = {
        // 200 at an average of 11.00; 5 go out at 11.00.
        {"at the item's price", charge("2024-01-04", "C-1", "Widget", 5), "25.00", "125.00", 195, 220000 - 5500},
        {"at its own rate", CCompanyBuilder(kValuationNames).charge("2024-01-04", "C-1").item("Widget", 5, 30.00),
         "30.00", "150.00", 195, 220000 - 5500},
        {"a service", charge("2024-01-04", "C-1", "Labour", 2), "40.00", "80.00", 200, 220000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        SetUp();
        const auto added = ok(c.request);
        ASSERT_EQ(added[0].name, "ChargeAddRs");
        const xmlNodePtr ret = added[0].rets().at(0);
        EXPECT_EQ(childNames(ret),
                  (std::vector<std::string>{"TxnID", "TimeCreated", "TimeModified", "EditSequence", "TxnNumber",
                                            "CustomerRef", "TxnDate", "RefNumber", "ItemRef", "Quantity", "Rate",
                                            "Amount", "BalanceRemaining", "ARAccountRef", "DueDate", "IsPaid"}));
        EXPECT_EQ(textAt(ret, "Rate"), c.rate);
        EXPECT_EQ(textAt(ret, "Amount"), c.amount);
        EXPECT_EQ(textAt(ret, "BalanceRemaining"), c.amount);
        EXPECT_EQ(textAt(ret, "ARAccountRef/FullName"), "Accounts Receivable");
        EXPECT_EQ(row("2024-01-04", "Widget").quantity, c.widgetsLeft);
        EXPECT_EQ(value("2024-01-04", "Widget"), c.valueLeft);
    }
}

// ChargeQueryRq: by date, by modification time, by reference number and TxnID, paged by
// an iterator; a deleted charge gives its stock back and is in the deletion log.
TEST_F(QbSimChargeTest, ChargesAreQueriedPagedAndDeletedLikeOtherTransactions) {
    ok(charge("2024-01-04", "C-1", "Widget", 1) + charge("2024-01-05", "C-2", "Widget", 2) +
       charge("2024-01-06", "C-3", "Widget", 3));
    const auto dated = ok("<ChargeQueryRq><TxnDateRangeFilter><FromTxnDate>2024-01-05</FromTxnDate>"
                          "<ToTxnDate>2024-01-06</ToTxnDate></TxnDateRangeFilter></ChargeQueryRq>");
    EXPECT_THAT(refs(dated), ElementsAre("C-2", "C-3"));
    const auto modified = ok("<ChargeQueryRq><ModifiedDateRangeFilter><FromModifiedDate>2000-01-01T00:00:00"
                             "</FromModifiedDate></ModifiedDateRangeFilter></ChargeQueryRq>");
    EXPECT_THAT(refs(modified), ElementsAre("C-1", "C-2", "C-3"));
    EXPECT_EQ(send("<ChargeQueryRq><ModifiedDateRangeFilter><FromModifiedDate>2099-01-01T00:00:00"
                   "</FromModifiedDate></ModifiedDateRangeFilter></ChargeQueryRq>")[0].code,
              1);
    const auto first = ok("<ChargeQueryRq iterator=\"Start\"><MaxReturned>2</MaxReturned></ChargeQueryRq>");
    EXPECT_THAT(refs(first), ElementsAre("C-1", "C-2"));
    const auto rest = ok("<ChargeQueryRq iterator=\"Continue\" iteratorID=\"" + first[0].attrs.at("iteratorID") +
                         "\"><MaxReturned>2</MaxReturned></ChargeQueryRq>");
    EXPECT_THAT(refs(rest), ElementsAre("C-3"));

    const std::string id = txnId("Charge", "C-2");
    EXPECT_THAT(refs(ok("<ChargeQueryRq><TxnID>" + id + "</TxnID></ChargeQueryRq>")), ElementsAre("C-2"));
    EXPECT_EQ(send("<InvoiceQueryRq><TxnID>" + id + "</TxnID></InvoiceQueryRq>")[0].code, 3120);
    EXPECT_EQ(row("2024-01-06", "Widget").quantity, 194);
    deleteTxn("Charge", id);
    EXPECT_EQ(row("2024-01-06", "Widget").quantity, 196);
    EXPECT_EQ(value("2024-01-06", "Widget"), 220000 - 4 * 1100);
    const auto log = ok("<TxnDeletedQueryRq><TxnDelType>Charge</TxnDelType></TxnDeletedQueryRq>");
    ASSERT_EQ(log[0].rets().size(), 1u);
    EXPECT_EQ(textAt(log[0].rets()[0], "TxnID"), id);
    EXPECT_EQ(textAt(log[0].rets()[0], "RefNumber"), "C-2");
}

// A charge names an item QuickBooks has; inventory sites are not on.
TEST_F(QbSimChargeTest, RefusesAChargeWithoutAnItemOrWithASite) {
    const std::string customer = ref("CustomerRef", "Shop");
    EXPECT_EQ(send("<ChargeAddRq><ChargeAdd>" + customer + "<TxnDate>2024-01-04</TxnDate></ChargeAdd></ChargeAddRq>")[0].code,
              3140);
    EXPECT_EQ(send(charge("2024-01-04", "C-1", "Nothing", 1))[0].code, 3140);
    EXPECT_EQ(send("<ChargeAddRq><ChargeAdd>" + customer + ref("ItemRef", "Widget") + ref("InventorySiteRef", "Back") +
                   "</ChargeAdd></ChargeAddRq>")[0].code,
              3250);
    EXPECT_EQ(send("<ChargeQueryRq/>")[0].code, 1);
}

}  // namespace
