// The quantities the transactions read explain: every kind of move counted in base
// units from the run's first day, pending sales and builds moving nothing, and the items
// whose QuickBooks quantity differs named with the exception's figures.
#include "explainedstock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "enginefixture.h"
#include "txnkinds.h"

namespace {

std::string line(const char* element, const std::string& item, const std::string& quantityField,
                 const std::string& quantity, const std::string& unit = "") {
    return std::string("<") + element + "><ItemRef><FullName>" + item + "</FullName></ItemRef><" + quantityField +
           ">" + quantity + "</" + quantityField + ">" + (unit.empty() ? "" : "<UnitOfMeasure>" + unit + "</UnitOfMeasure>") +
           "</" + element + ">";
}

std::string txn(const char* element, const std::string& date, const std::string& body) {
    return std::string("<") + element + "><TxnID>T</TxnID><TxnDate>" + date + "</TxnDate>" + body + "</" + element + ">";
}

CDateTime date(int d) { return *CDateTime::fromLocal(2010, 4, d, 10, 0, 0); }

class ExplainedStock : public ::testing::Test {
protected:
    ExplainedStock() {
        // Widget and Bolt count in Count: Each, and Box of 12.
        units.addSets(records("<UnitOfMeasureSetRet><ListID>S1</ListID><Name>Count</Name><BaseUnit><Name>Each</Name>"
                              "<Abbreviation>ea</Abbreviation></BaseUnit><RelatedUnit><Name>Box</Name><Abbreviation>bx"
                              "</Abbreviation><ConversionRatio>12</ConversionRatio></RelatedUnit></UnitOfMeasureSetRet>",
                              "UnitOfMeasureSetRet")
                          .get());
        const std::string counted = "<UnitOfMeasureSetRef><ListID>S1</ListID><FullName>Count</FullName>"
                                    "</UnitOfMeasureSetRef></ItemInventoryRet>";
        units.addItems(records("<ItemInventoryRet><ListID>1</ListID><FullName>Widget</FullName>" + counted +
                                   "<ItemInventoryRet><ListID>2</ListID><FullName>Bolt</FullName>" + counted,
                               "ItemInventoryRet")
                           .get());
    }

    void addReceipts(int code, const char* element, const std::string& rets) {
        receipts.addAll(code, records(rets, element).get());
    }
    void addDay(int code, const char* element, const std::string& rets) {
        kept.push_back(records(rets, element));
        day.addAll(code, kept.back().get());
    }
    static void add(CCostrunItemList& list, const std::string& name, double quantity) {
        list.add(std::make_unique<CCostrunItem>(name, quantity, 0.0));
    }

    CCostrunUnits units;
    CReceiptRecords receipts;
    std::vector<std::unique_ptr<CQbObjectList>> kept;
    CCostrunTxnList day;
};

// 10 Widgets at the opening; 04/01 2 boxes bought (24), 04/02 3 returned to the vendor;
// 04/02 a box sold (12), 5 more on a pending invoice, 2 back on a credit memo, 4 lost and
// 1 found by adjustments, 2 Kits built of 3 Widgets each and another build left pending:
// 10 + 24 - 3 - 12 + 2 - 4 + 1 - 6 = 12 Widgets and 2 Kits. What is dated before the
// first day, or after the day, is not counted; a Crate of Bolts, which their set lacks,
// leaves the Bolt's quantity unknown.
TEST_F(ExplainedStock, CountsEveryMoveInBaseUnitsFromTheFirstDay) {
    addReceipts(kTxnBill, "BillRet",
                txn("BillRet", "2010-03-31", line("ItemLineRet", "Widget", "Quantity", "5")) +
                    txn("BillRet", "2010-04-01",
                        line("ItemLineRet", "Widget", "Quantity", "2", "Box") +
                            line("ItemLineRet", "Bolt", "Quantity", "1", "Crate")) +
                    txn("BillRet", "2010-04-05", line("ItemLineRet", "Widget", "Quantity", "100")));
    addReceipts(kTxnVendorCredit, "VendorCreditRet",
                txn("VendorCreditRet", "2010-04-02", line("ItemLineRet", "Widget", "Quantity", "3")));
    CExplainedStock stock(units);
    stock.takeReceipts(receipts, date(1));

    addDay(kTxnInvoice, "InvoiceRet",
           txn("InvoiceRet", "2010-04-02", line("InvoiceLineRet", "Widget", "Quantity", "1", "Box")) +
               txn("InvoiceRet", "2010-04-02",
                   "<IsPending>true</IsPending>" + line("InvoiceLineRet", "Widget", "Quantity", "5")));
    addDay(kTxnCreditMemo, "CreditMemoRet",
           txn("CreditMemoRet", "2010-04-02", line("CreditMemoLineRet", "Widget", "Quantity", "2")));
    addDay(kTxnInventoryAdjustment, "InventoryAdjustmentRet",
           txn("InventoryAdjustmentRet", "2010-04-02",
               line("InventoryAdjustmentLineRet", "Widget", "QuantityDifference", "-4") +
                   line("InventoryAdjustmentLineRet", "Widget", "QuantityDifference", "1")));
    const std::string build = "<ItemInventoryAssemblyRef><FullName>Kit</FullName></ItemInventoryAssemblyRef>"
                              "<QuantityToBuild>2</QuantityToBuild>" +
                              line("ComponentItemLineRet", "Widget", "QuantityNeeded", "6");
    addDay(kTxnBuildAssembly, "BuildAssemblyRet",
           txn("BuildAssemblyRet", "2010-04-02", build) +
               txn("BuildAssemblyRet", "2010-04-02", "<IsPending>true</IsPending>" + build));

    CCostrunItemList opening;
    add(opening, "Widget", 10);
    add(opening, "Bolt", 7);
    stock.setOpening(opening);
    stock.takeDay(date(2), &day);
    EXPECT_EQ(stock.quantity("Widget"), 12.0);
    EXPECT_EQ(stock.quantity("Kit"), 2.0);
    EXPECT_EQ(stock.quantity("Gear"), 0.0);
    EXPECT_FALSE(stock.quantity("Bolt").has_value());

    CCostrunItemList held;
    add(held, "Widget", 12.004);
    add(held, "Kit", 3);
    add(held, "Bolt", 100);
    stock.check(held);
    EXPECT_EQ(held.find("Widget")->unreconciled, "");
    EXPECT_EQ(held.find("Kit")->unreconciled,
              "QuickBooks holds 3.00 on hand, the transactions read explain 2.00: a transaction Lotwise cannot read "
              "(a voided or converted one?); nothing was posted for this item");
    EXPECT_FALSE(held.find("Kit")->isComplete());
    EXPECT_EQ(held.find("Bolt")->unreconciled, "");
}

// Before QuickBooks' opening quantities are known nothing is judged; the receipts of a
// later day come in with that day.
TEST_F(ExplainedStock, JudgesNothingBeforeTheOpeningAndMovesReceiptsInByDay) {
    addReceipts(kTxnBill, "BillRet", txn("BillRet", "2010-04-03", line("ItemLineRet", "Widget", "Quantity", "4")));
    CExplainedStock stock(units);
    stock.takeReceipts(receipts, date(1));
    CCostrunItemList held;
    add(held, "Widget", 9);
    stock.check(held);
    EXPECT_EQ(held.find("Widget")->unreconciled, "");

    CCostrunItemList opening;
    stock.setOpening(opening);
    stock.takeDay(date(2), nullptr);
    EXPECT_EQ(stock.quantity("Widget"), 0.0);
    stock.takeDay(date(3), nullptr);
    EXPECT_EQ(stock.quantity("Widget"), 4.0);
}

}  // namespace
