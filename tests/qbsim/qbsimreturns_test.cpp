// Goods returned to vendors: vendor credits and credit-card credits (item lines, item
// group lines, expense lines) and negative quantities on purchase lines. Every request
// goes through Intuit's schema, and every response is checked against it too.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;

namespace {

class QbSimReturnsTest : public CValuationFixture {
protected:
    void SetUp() override {
        CValuationFixture::SetUp();
        checkSchema(true);
        if (IsSkipped()) return;
        ok(CCompanyBuilder().account("Visa", "CreditCard").account("Freight", "Expense"));
        inventoryItem("Widget", "10.00");
        inventoryItem("Bolt", "0.50");
        ok(CCompanyBuilder(kValuationNames).itemGroup("Pack").part("Bolt", 4));
    }

    // A credit of the kind with one expense line, one item line and one group line.
    static std::string credit(const std::string& kind, const std::string& date, const std::string& refNumber,
                              const std::string& quantity, const std::string& cost,
                              const std::string& account = "Visa") {
        CCompanyBuilder c(kValuationNames);
        CTxnEntry& txn = kind == "VendorCredit" ? c.vendorCredit(date, refNumber) : c.cardCredit(date, refNumber, account);
        return txn.expense("Freight", 5.00).line("Widget", quantity, cost).group("Pack", 1);
    }
    static std::vector<std::string> refs(const CParsedResponse& rs) {
        std::vector<std::string> found;
        for (xmlNodePtr ret : rs[0].rets()) found.push_back(textAt(ret, "RefNumber"));
        return found;
    }

};

// Both credits take stock out at the line's amount, as a purchase of a negative quantity
// does; they answer their own Ret shapes, page and filter like bills, and are deleted and
// logged as deleted like them.
TEST_F(QbSimReturnsTest, CreditsTakeStockOutAtTheirAmountAndQueryLikeBills) {
    struct {
        std::string kind;
        std::vector<std::string> header;  // the Ret's children after TxnNumber
        const char* totalTag;
    } cases[] = {
        {"VendorCredit",
         {"VendorRef", "APAccountRef", "TxnDate", "CreditAmount", "RefNumber", "ExpenseLineRet", "ItemLineRet",
          "ItemGroupLineRet", "OpenAmount"},
         "CreditAmount"},
        {"CreditCardCredit",
         {"AccountRef", "PayeeEntityRef", "TxnDate", "Amount", "RefNumber", "ExpenseLineRet", "ItemLineRet",
          "ItemGroupLineRet"},
         "Amount"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        SetUp();  // a fresh company for each case
        ok(receipt("Bill", "2024-01-02", "Widget", "80", "10.00") + receipt("Bill", "2024-01-02", "Bolt", "40", "0.50"));
        const auto added = ok(credit(c.kind, "2024-01-05", "R-1", "30", "9.00"));
        ASSERT_EQ(added[0].name, c.kind + "AddRs");
        const xmlNodePtr ret = added[0].rets().at(0);
        std::vector<std::string> expected = {"TxnID", "TimeCreated", "TimeModified", "EditSequence", "TxnNumber"};
        expected.insert(expected.end(), c.header.begin(), c.header.end());
        EXPECT_EQ(childNames(ret), expected);
        // 30 x 9.00 + 4 bolts x 0.50 + 5.00 of freight.
        EXPECT_EQ(textAt(ret, c.totalTag), "277.00");
        EXPECT_EQ(textAt(ret, "ItemLineRet/Quantity"), "30");
        EXPECT_EQ(textAt(ret, "ItemLineRet/Amount"), "270.00");
        EXPECT_EQ(textAt(ret, "ItemGroupLineRet/ItemLineRet/Quantity"), "4");
        EXPECT_EQ(textAt(ret, "ExpenseLineRet/Amount"), "5.00");

        // Out at the credit's own cost (9.00), not the average (10.00).
        EXPECT_EQ(row("2024-01-05", "Widget").quantity, 50);
        EXPECT_EQ(row("2024-01-05", "Widget").valueCents, 80000 - 27000);
        EXPECT_EQ(row("2024-01-05", "Bolt").quantity, 36);
        EXPECT_EQ(row("2024-01-05", "Bolt").valueCents, 2000 - 200);

        ok(credit(c.kind, "2024-01-06", "R-2", "1", "10.00") + credit(c.kind, "2024-01-07", "R-3", "1", "10.00"));
        const auto first = ok("<" + c.kind + "QueryRq iterator=\"Start\"><MaxReturned>2</MaxReturned></" + c.kind +
                                "QueryRq>");
        EXPECT_THAT(refs(first), ElementsAre("R-1", "R-2"));
        EXPECT_EQ(textAt(first[0].rets().at(0), "ItemLineRet"), "<missing>");
        const auto second = ok("<" + c.kind + "QueryRq iterator=\"Continue\" iteratorID=\"" +
                                 first[0].attrs.at("iteratorID") + "\"><MaxReturned>2</MaxReturned></" + c.kind +
                                 "QueryRq>");
        EXPECT_THAT(refs(second), ElementsAre("R-3"));
        EXPECT_EQ(second[0].attrs.at("iteratorRemainingCount"), "0");
        const auto dated = ok("<" + c.kind + "QueryRq><TxnDateRangeFilter><FromTxnDate>2024-01-06</FromTxnDate>"
                                "<ToTxnDate>2024-01-06</ToTxnDate></TxnDateRangeFilter><IncludeLineItems>true"
                                "</IncludeLineItems></" + c.kind + "QueryRq>");
        EXPECT_THAT(refs(dated), ElementsAre("R-2"));
        EXPECT_EQ(textAt(dated[0].rets().at(0), "ItemLineRet/Quantity"), "1");
        EXPECT_THAT(refs(ok("<" + c.kind + "QueryRq><ModifiedDateRangeFilter><FromModifiedDate>2000-01-01T00:00:00"
                              "</FromModifiedDate></ModifiedDateRangeFilter></" + c.kind + "QueryRq>")),
                    ElementsAre("R-1", "R-2", "R-3"));

        const auto deleted = ok("<TxnDelRq><TxnDelType>" + c.kind + "</TxnDelType><TxnID>" + textAt(ret, "TxnID") +
                                  "</TxnID></TxnDelRq>");
        EXPECT_EQ(textAt(deleted[0].node, "RefNumber"), "R-1");
        EXPECT_EQ(row("2024-01-05", "Widget").valueCents, 80000);
        const auto log = ok("<TxnDeletedQueryRq><TxnDelType>" + c.kind + "</TxnDelType></TxnDeletedQueryRq>");
        ASSERT_EQ(log[0].rets().size(), 1u);
        EXPECT_EQ(textAt(log[0].rets().at(0), "TxnID"), textAt(ret, "TxnID"));
    }
}

// What QuickBooks refuses of a credit: a vendor credit names its vendor; a card credit
// goes to a credit card account only.
TEST_F(QbSimReturnsTest, CreditsRefuseAWrongAccountOrNoVendor) {
    EXPECT_EQ(send(credit("CreditCardCredit", "2024-01-05", "R-1", "1", "1.00", "Checking"))[0].code, 3140);
    EXPECT_EQ(send("<VendorCreditAddRq><VendorCreditAdd>" + ref("VendorRef", "Nobody") +
                     "</VendorCreditAdd></VendorCreditAddRq>")[0].code,
              3140);
}

// A negative quantity on a purchase line takes stock out at the line's amount, on each
// kind of purchase; the quantity on hand follows.
TEST_F(QbSimReturnsTest, NegativePurchaseLinesTakeStockOutAtTheirAmount) {
    for (const char* kind : {"Bill", "ItemReceipt", "Check"}) {
        SCOPED_TRACE(kind);
        SetUp();  // a fresh company for each case
        ok(receipt(kind, "2024-01-02", "Widget", "80", "10.00") + receipt(kind, "2024-01-03", "Widget", "-30", "9.00"));
        EXPECT_EQ(row("2024-01-03", "Widget").quantity, 50);
        EXPECT_EQ(row("2024-01-03", "Widget").valueCents, 80000 - 27000);
        const auto item = ok("<ItemInventoryQueryRq><FullName>Widget</FullName></ItemInventoryQueryRq>");
        EXPECT_EQ(textAt(item[0].rets().at(0), "QuantityOnHand"), "50");
    }
}

}  // namespace
