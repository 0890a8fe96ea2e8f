// Returns to vendors in the engine: which purchase and credit lines are returns, and how
// the units a return sends back come out of the lots the walk places after meeting it.
#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

#include "costrunitem.h"
#include "costrunreceipts.h"
#include "enginefixture.h"
#include "txnkinds.h"

namespace {

struct LineCase {
    const char* title;
    int txnTypeCode;
    std::string line;  // one ItemLineRet
    // (is a return, quantity, amount), or none
    std::optional<std::tuple<bool, double, double>> read;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.title; }

std::string line(const std::string& quantity, const std::string& amount, const std::string& item = "Widget") {
    std::string text = "<ItemLineRet>";
    if (!item.empty()) text += "<ItemRef><FullName>" + item + "</FullName></ItemRef>";
    if (!quantity.empty()) text += "<Quantity>" + quantity + "</Quantity>";
    return text + "<Amount>" + amount + "</Amount></ItemLineRet>";
}

class PurchaseLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(PurchaseLineTest, ReadsReceiptsAndReturns) {
    const LineCase& c = GetParam();
    const auto txn = records("<BillRet>" + c.line + "</BillRet>", "BillRet");
    const auto read = readPurchaseLine(*txn->getAt(0)->findAll("ItemLineRet").at(0), c.txnTypeCode);
    ASSERT_EQ(read.has_value(), c.read.has_value());
    if (!read) return;
    EXPECT_EQ(read->item, "Widget");
    EXPECT_EQ(std::make_tuple(read->isReturn, read->quantity, read->amount), *c.read);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PurchaseLineTest,
    ::testing::Values(
        LineCase{"BillLineIsAReceipt", kTxnBill, line("6", "60.00"), std::make_tuple(false, 6.0, 60.0)},
        LineCase{"NegativeBillLineIsAReturn", kTxnBill, line("-3", "-30.00"), std::make_tuple(true, 3.0, 30.0)},
        // An amount alone moves no units, whatever its sign: neither a lot nor a return.
        LineCase{"AmountOnlyBillLineIsNone", kTxnBill, line("", "-10.00"), std::nullopt},
        LineCase{"ZeroQuantityIsNone", kTxnCheck, line("0", "10.00"), std::nullopt},
        LineCase{"VendorCreditLineIsAReturn", kTxnVendorCredit, line("3", "30.00"), std::make_tuple(true, 3.0, 30.0)},
        LineCase{"NegativeCreditLineIsAReceipt", kTxnVendorCredit, line("-2", "-20.00"),
                 std::make_tuple(false, 2.0, 20.0)},
        LineCase{"AmountOnlyCreditLineIsNone", kTxnVendorCredit, line("", "10.00"), std::nullopt},
        LineCase{"CreditLineWithoutItemIsNone", kTxnCreditCardCredit, line("2", "18.00", ""), std::nullopt}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.title; });

struct ReturnCase {
    const char* title;
    double qtyOnHand, reservedQty, returned;      // before the first lot
    std::vector<std::pair<double, double>> lots;  // (amount, quantity), newest first
    double onHandValue, reservedValue;
    std::vector<double> keptQty;  // on-hand part of each lot kept
    double returnedLeft;
    bool complete;
};

void PrintTo(const ReturnCase& c, std::ostream* os) { *os << c.title; }

class ReturnedUnitsTest : public ::testing::TestWithParam<ReturnCase> {};

TEST_P(ReturnedUnitsTest, ComeOutOfTheNextLotsAtTheirOwnCost) {
    const ReturnCase& c = GetParam();
    CCostrunItem item("Widget", c.qtyOnHand, 0.0);
    item.reservedQty = c.reservedQty;
    item.returnedQty = c.returned;
    for (const auto& [amount, quantity] : c.lots) {
        auto lot = std::make_unique<CItemPo>("Bill", "1", std::nullopt, amount / quantity);
        item.takeLot(amount, quantity, *lot);
        item.addLot(std::move(lot));
    }
    EXPECT_DOUBLE_EQ(item.onHandValue, c.onHandValue);
    EXPECT_DOUBLE_EQ(item.reservedValue, c.reservedValue);
    std::vector<double> kept;
    for (const auto& lot : item.lots) kept.push_back(lot->qty);
    EXPECT_EQ(kept, c.keptQty);
    EXPECT_DOUBLE_EQ(item.returnedQty, c.returnedLeft);
    EXPECT_EQ(item.isComplete(), c.complete);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReturnedUnitsTest,
    ::testing::Values(
        // 20 at 10.00 all returned with 10 of the opening lot: the bill leaves no lot.
        ReturnCase{"WholeLotThenTheOpeningLot", 25, 0, 30, {{200, 20}, {240, 40}}, 150, 0, {25}, 0, true},
        // Nothing left to come out of: the rest stays counted and the item short.
        // 0.3 returned out of lots of 0.1 and 0.2: what is left of it after the first
        // lot is 0.2 short by a rounding residue, which leaves no sliver of the second.
        ReturnCase{"TenthsTakeBackWholeLots", 5, 0, 0.3, {{1, 0.1}, {2, 0.2}, {50, 5}}, 50, 0, {5}, 0, true},
        ReturnCase{"MoreThanTheLotsHold", 5, 0, 12, {{100, 10}}, 0, 0, {}, 2, false},
        // The returned units are in neither layer: the reserved layer behind the on-hand
        // one is filled from what the returns leave.
        ReturnCase{"BeforeTheReservedLayer", 5, 10, 20, {{60, 30}, {20, 20}}, 10, 15, {5, 0}, 0, true}),
    [](const ::testing::TestParamInfo<ReturnCase>& info) { return info.param.title; });

}  // namespace
