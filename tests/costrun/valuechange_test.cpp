// Value changes in the FIFO walk: amounts without units folded into the same record's
// lots in proportion, a value adjustment spread over the units on hand alike, and the cap
// that keeps a change from being carried by more units than it was spread over.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "costrunitem.h"
#include "costrunitemlist.h"
#include "costrunreceipts.h"
#include "costrununits.h"
#include "days.h"
#include "enginefixture.h"
#include "receiptwalk.h"
#include "txnkinds.h"
#include "valueshares.h"

namespace {

using CLots = std::vector<std::tuple<std::string, double, double>>;  // reference, quantity, unit cost

std::string line(const std::string& element, const std::string& item, const std::string& quantityField,
                 const std::string& quantity, const std::string& amountField, const std::string& amount) {
    std::string text = "<" + element + "><ItemRef><FullName>" + item + "</FullName></ItemRef>";
    if (!quantity.empty()) text += "<" + quantityField + ">" + quantity + "</" + quantityField + ">";
    return text + "<" + amountField + ">" + amount + "</" + amountField + "></" + element + ">";
}

std::string dated(const std::string& element, const std::string& ref, const std::string& date,
                  const std::string& body) {
    return "<" + element + "><TxnID>" + ref + "</TxnID><TxnDate>" + date + "</TxnDate><RefNumber>" + ref +
           "</RefNumber>" + body + "</" + element + ">";
}

CLots lotsOf(const CCostrunItem& item) {
    CLots lots;
    for (const auto& lot : item.lots) lots.emplace_back(lot->refNumber, lot->qty, lot->itemCost);
    return lots;
}

void expectLots(const CLots& expected, const CLots& actual) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(std::get<0>(actual[i]), std::get<0>(expected[i])) << i;
        EXPECT_DOUBLE_EQ(std::get<1>(actual[i]), std::get<1>(expected[i])) << i;
        EXPECT_NEAR(std::get<2>(actual[i]), std::get<2>(expected[i]), 1e-9) << i;
    }
}

// B1 03/01: 10 Widgets for 50.00. B2 03/20: 10 Widgets for 60.00 and 30 for 240.00 with
// 40.00 of freight on the Widget between them (1.00 a unit: 7.00 and 9.00). A1 04/01, the
// day: the owner writes the Widgets down by 20.00 (45 on hand, 0.444... each). The
// layer holds 345.00, exactly the lots less the write-down.
TEST(ValueChangeWalk, ChangesFallOnTheLotsTheyConcern) {
    auto bills = records(dated("BillRet", "B1", "2010-03-01", line("ItemLineRet", "Widget", "Quantity", "10", "Amount", "50.00")) +
                             dated("BillRet", "B2", "2010-03-20",
                                   line("ItemLineRet", "Widget", "Quantity", "10", "Amount", "60.00") +
                                       line("ItemLineRet", "Widget", "", "", "Amount", "40.00") +
                                       line("ItemLineRet", "Widget", "Quantity", "30", "Amount", "240.00")),
                         "BillRet");
    auto adjustments = records(dated("InventoryAdjustmentRet", "A1", "2010-04-01",
                                     line("InventoryAdjustmentLineRet", "Widget", "QuantityDifference", "0",
                                          "ValueDifference", "-20.00")),
                               "InventoryAdjustmentRet");
    const CCostrunUnits units;
    CStubStockFigures figures;
    CReceiptWalk walk(units, figures, std::nullopt, false, nullptr);
    walk.records().addAll(kTxnBill, bills.get());
    walk.records().addAll(kTxnInventoryAdjustment, adjustments.get());
    walk.index();

    CCostrunItemList list;
    CCostrunItem* widget = list.add(std::make_unique<CCostrunItem>("Widget", 45.0, 0.0));
    walk.collectLots(list, endOfDay(*CDateTime::fromLocal(2010, 4, 1)), "Inventory");

    const double share = 20.0 / 45.0;
    expectLots({{"B2", 10.0, 7.0 - share}, {"B2", 30.0, 9.0 - share}, {"B1", 5.0, 5.0 - share}}, lotsOf(*widget));
    EXPECT_NEAR(widget->onHandValue, 345.0, 1e-9);
    EXPECT_EQ(figures.quantitiesAsked, 0);  // the day's own quantity needs no report
}

// A change spread over 10 units is carried by the next 10 units placed, and the last of
// them take exactly what is left of it: 4 + 6 units give -30.00 in all, more give nothing.
// A lot that lands partly in the reserved layer carries its share alike on every unit.
TEST(ValueShares, AChangeIsCarriedByAsManyUnitsAsItWasSpreadOver) {
    CValueShares shares;
    shares.add(-30.0, 10.0);
    shares.add(7.0, 0.0);  // no units on hand: nobody carries it
    EXPECT_DOUBLE_EQ(shares.take(4.0), -12.0);
    EXPECT_DOUBLE_EQ(shares.take(6.0), -18.0);
    EXPECT_DOUBLE_EQ(shares.take(5.0), 0.0);
    EXPECT_TRUE(shares.empty());

    CCostrunItem item("Gear", 10.0, 0.0);
    item.reservedQty = 5.0;
    item.valueShares.add(-30.0, 10.0);
    CItemPo lot("Bill", "B1", std::nullopt, 10.0);
    item.takeLot(150.0, 15.0, lot);
    EXPECT_DOUBLE_EQ(lot.qty, 10.0);
    EXPECT_DOUBLE_EQ(lot.itemCost, 8.0);
    EXPECT_DOUBLE_EQ(item.onHandValue, 80.0);
    EXPECT_DOUBLE_EQ(item.reservedValue, 40.0);
}

}  // namespace
