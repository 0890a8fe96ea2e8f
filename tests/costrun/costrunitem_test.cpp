// Tests of the item ledger: lots filling the on-hand and reserved layers, the opening
// lot, completeness, the 0.02 thresholds and the item list's questions.
#include "costrunitem.h"
#include "costrunitemlist.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct LotIn {
    double amount;
    double quantity;
};

struct TakeLotCase {
    const char* name;
    double qtyOnHand, reservedQty, collectedQty;   // before the first lot
    std::vector<LotIn> lots;                      // newest first
    double onHandValue, reservedValue, collected;  // after the last lot
    std::vector<double> lotQty;                    // on-hand part of each lot
    bool complete;
};

class TakeLotTest : public ::testing::TestWithParam<TakeLotCase> {};

// Values are compared exactly: the expected figures are what single-precision storage
// must give, including the rounding cases.
TEST_P(TakeLotTest, FillsLayersNewestFirst) {
    const TakeLotCase& c = GetParam();
    CCostrunItem item("Widget", c.qtyOnHand, 0.0);
    item.reservedQty = c.reservedQty;
    item.collectedQty = c.collectedQty;
    std::vector<double> lotQty;
    for (const LotIn& in : c.lots) {
        CItemPo lot("Bill", "1", std::nullopt, in.amount / in.quantity);
        item.takeLot(in.amount, in.quantity, lot);
        lotQty.push_back(lot.qty);
    }
    EXPECT_EQ(item.onHandValue, c.onHandValue);
    EXPECT_EQ(item.reservedValue, c.reservedValue);
    EXPECT_EQ(item.collectedQty, c.collected);
    EXPECT_EQ(lotQty, c.lotQty);
    EXPECT_EQ(item.isComplete(), c.complete);
}

const double kThird = static_cast<double>(10.0 / 3.0);
const double kTwoThirds = static_cast<double>(20.0 / 3.0);

INSTANTIATE_TEST_SUITE_P(
    Ledger, TakeLotTest,
    ::testing::Values(
        // 6 for 60.00 fits whole; 8 for 96.00 gives 4 units worth 48.00.
        TakeLotCase{"WorkedExample", 10, 0, 0, {{60, 6}, {96, 8}}, 108, 0, 10, {6, 4}, true},
        TakeLotCase{"SplitOverBothLayers", 10, 4, 8, {{50, 10}}, 10, 20, 14, {2}, true},
        TakeLotCase{"OnHandFullGoesBehind", 10, 4, 10, {{9, 3}}, 0, 9, 13, {0}, false},
        TakeLotCase{"ExactFillCompletes", 10, 0, 0, {{100, 10}}, 100, 0, 10, {10}, true},
        // Filled exactly: a further lot offered by mistake changes nothing.
        TakeLotCase{
            "CompleteItemTakesNoMore", 10, 0, 0, {{100, 10}, {50, 5}}, 100, 0, 10, {10, 0}, true},
        TakeLotCase{"OverflowDropsOlderUnits", 5, 2, 0, {{70, 10}}, 35, 14, 7, {5}, true},
        TakeLotCase{"OverflowOnHandOnly", 4, 0, 0, {{30, 3}, {10, 4}}, 32.5, 0, 4, {3, 1}, true},
        // One third lands on hand (rounded); the reserved layer gets exactly the rest.
        TakeLotCase{"RoundingFits", 1, 2, 0, {{10, 3}}, kThird, 10.0 - kThird, 3, {1}, true},
        // Overflowing, each layer gets its own rounded share.
        TakeLotCase{"RoundingOverflows", 1, 1, 0, {{10, 3}}, kThird, kThird, 2, {1}, true},
        TakeLotCase{"RoundingOnHandShare", 2, 0, 0, {{10, 3}}, kTwoThirds, 0, 2, {2}, true},
        // Below zero on hand, the on-hand layer is empty and the reserved layer keeps its
        // full size: the builds consumed 5 units, whatever was oversold afterwards.
        TakeLotCase{"NegativeOnHandReserved", -2, 5, 0, {{30, 3}, {8, 2}}, 0, 38, 5, {0, 0}, true},
        TakeLotCase{
            "NonPositiveQuantityIgnored", 10, 0, 0, {{10, 0}, {10, -2}}, 0, 0, 0, {0, 0}, false}),
    [](const ::testing::TestParamInfo<TakeLotCase>& info) { return info.param.name; });

TEST(TakeLot, TenthsFillALayerThatTheirSumOvershoots) {
    // Seven tenths add up to more than 0.7 in binary; the seventh lot must still complete
    // the item with collectedQty equal to the layer.
    CCostrunItem item("Resin", 0.7, 0.0);
    int placed = 0;
    while (!item.isComplete() && placed < 10) {
        CItemPo lot;
        item.takeLot(1.0, 0.1, lot);
        ++placed;
    }
    EXPECT_EQ(placed, 7);
    EXPECT_EQ(item.collectedQty, 0.7);
}

struct OpeningCase {
    const char* name;
    double qtyOnHand, reservedQty, collectedQty, onHandBefore;
    double value, quantity;  // QuickBooks' figures of the day before the start
    bool kept;
    double lotQty, onHandValue, reservedValue, collected;
};

class OpeningLotTest : public ::testing::TestWithParam<OpeningCase> {};

TEST_P(OpeningLotTest, KeptOnlyWithAnOnHandPart) {
    const OpeningCase& c = GetParam();
    CCostrunItem item("Gasket", c.qtyOnHand, 0.0);
    item.reservedQty = c.reservedQty;
    item.collectedQty = c.collectedQty;
    item.onHandValue = c.onHandBefore;
    const auto date = CDateTime::fromLocal(2024, 2, 29);
    CItemPo* lot = item.placeOpeningLot(c.value, c.quantity, date);
    ASSERT_EQ(lot != nullptr, c.kept);
    ASSERT_EQ(item.lots.size(), c.kept ? 1u : 0u);
    if (lot) {
        EXPECT_EQ(lot, item.lots.front().get());
        EXPECT_EQ(lot->txnType, "Before FIFO");
        EXPECT_EQ(lot->refNumber, "");
        EXPECT_EQ(lot->txnDate, date);
        EXPECT_EQ(lot->itemCost, c.value / c.quantity);
        EXPECT_EQ(lot->qty, c.lotQty);
    }
    EXPECT_EQ(item.onHandValue, c.onHandValue);
    EXPECT_EQ(item.reservedValue, c.reservedValue);
    EXPECT_EQ(item.collectedQty, c.collected);
}

INSTANTIATE_TEST_SUITE_P(
    Ledger, OpeningLotTest,
    ::testing::Values(
        // 4 received worth 40.00; 20 worth 150.00 before the start price the other 6.
        OpeningCase{"CoversTheRest", 10, 0, 4, 40, 150, 20, true, 6, 85, 0, 10},
        // Only the reserved layer is short: the units count, the lot is not listed.
        OpeningCase{"ReservedOnlyDiscarded", 10, 3, 10, 100, 50, 5, false, 0, 100, 30, 13},
        OpeningCase{"NoOpeningQuantity", 10, 0, 4, 40, 150, 0, false, 0, 40, 0, 4},
        OpeningCase{"NegativeOpeningQuantity", 10, 0, 4, 40, 150, -3, false, 0, 40, 0, 4},
        OpeningCase{"AlreadyComplete", 10, 0, 10, 90, 150, 20, false, 0, 90, 0, 10}),
    [](const ::testing::TestParamInfo<OpeningCase>& info) { return info.param.name; });

TEST(CompleteTest, ByQuantityOnHandReservedAndCollected) {
    struct Row {
        double qtyOnHand, reservedQty, collectedQty;
        bool complete;
    };
    const Row rows[] = {
        {0, 0, 0, true},    {-5, 0, 0, true},       {10, 0, 0, false}, {10, 0, 10, true},
        {10, 4, 10, false}, {10, 4, 14, true},      {0, 3, 0, false},  {-2, 5, 0, false},
        {-2, 5, 3, false},  {-2, 5, 5, true},       {0.5, 0, 0.4, false},
    };
    for (const Row& r : rows) {
        CCostrunItem item("X", r.qtyOnHand, 0.0);
        item.reservedQty = r.reservedQty;
        item.collectedQty = r.collectedQty;
        EXPECT_EQ(item.isComplete(), r.complete)
            << "Q=" << r.qtyOnHand << " E=" << r.reservedQty << " C=" << r.collectedQty;
    }
}

TEST(ThresholdTest, ValueDiffersAtTwoCentsOnEitherSide) {
    struct Row {
        double qbValue, onHandValue;
        bool differs;
    };
    const Row rows[] = {
        {0.02, 0.0, true},
        {0.0, 0.02, true},
        {0.019, 0.0, false},
        {0.0, 0.019, false},
        {0.0, 0.0, false},
        {110.0, 108.0, true},
        {100.03, 100.0, true},
        {-5.0, -5.02, true},
        {-5.0, -4.97, true},
        {-5.0, -4.99, false},
        // Two cents apart count, although 100.02 - 100.00 is a hair under 0.02 in binary;
        // a millionaire's two cents too.
        {100.02, 100.0, true},
        {1231688.19, 1231688.17, true},
        {1231688.19, 1231688.18, false},
        {0.0199, 0.0, false},
    };
    for (const Row& r : rows) {
        CCostrunItem item("X", 1.0, r.qbValue);
        item.onHandValue = r.onHandValue;
        EXPECT_EQ(item.valueDiffers(), r.differs) << r.qbValue << " vs " << r.onHandValue;
    }
}

TEST(ThresholdTest, AdjustmentCountsFromTwoCents) {
    const std::pair<double, bool> rows[] = {{0.02, true},    {-0.02, true}, {0.019, false},
                                           {-0.019, false}, {0.0, false},  {-12.5, true}};
    for (const auto& [adjusted, counts] : rows) {
        CCostrunItem item;
        item.adjustedValue = adjusted;
        EXPECT_EQ(item.hasAdjustment(), counts) << adjusted;
    }
}

TEST(ThresholdTest, NeedsAdjustment) {
    struct Row {
        const char* what;
        double qtyOnHand, builtQty, issuedQty, qbValue, onHandValue, adjustedValue;
        bool needs;
    };
    const Row rows[] = {
        {"stock, issues, value gap", 10, 0, 2, 110, 108, 0, true},
        {"no issues that day", 10, 0, 0, 110, 108, 0, false},
        {"net returns", 10, 0, -1, 110, 108, 0, true},
        {"nothing on hand", 0, 0, 2, 110, 108, 0, false},
        {"negative on hand", -3, 0, 2, 110, 108, 0, false},
        {"nothing on hand but built", 0, 5, 2, 110, 108, 0, true},
        {"values agree", 10, 0, 2, 100, 100, 0, false},
        {"gap of a cent", 10, 0, 2, 100.01, 100, 0, false},
        {"build transfer moved value", 10, 0, 2, 100, 100, 0.02, true},
        {"build transfer, no issues", 10, 0, 0, 100, 100, 5, false},
        {"sales and returns cancelling with a double residue", 10, 0, 1e-7, 110, 108, 0, false},
        {"smallest real quantity", 10, 0, 0.00001, 110, 108, 0, true},
    };
    for (const Row& r : rows) {
        CCostrunItem item("X", r.qtyOnHand, r.qbValue);
        item.builtQty = r.builtQty;
        item.issuedQty = r.issuedQty;
        item.onHandValue = r.onHandValue;
        item.adjustedValue = r.adjustedValue;
        EXPECT_EQ(item.needsAdjustment(), r.needs) << r.what;
    }
}

// --- the item list -------------------------------------------------------------------

CCostrunItem* addItem(CCostrunItemList& list, const std::string& name, double qty) {
    return list.add(std::make_unique<CCostrunItem>(name, qty, 0.0));
}

TEST(ItemListTest, FindIsExactAndTheFirstMatchWins) {
    CCostrunItemList list;
    CCostrunItem* first = addItem(list, "Parts:Bolt", 1);
    addItem(list, "Parts:bolt", 2);
    addItem(list, "Parts:Bolt", 3);
    EXPECT_EQ(list.find("Parts:Bolt"), first);
    EXPECT_EQ(list.find("Parts:bolt")->qtyOnHand, 2);
    EXPECT_EQ(list.find("Parts:Bolt "), nullptr);
    EXPECT_EQ(list.find(""), nullptr);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(list.at(2)->qtyOnHand, 3);
    EXPECT_EQ(list.at(3), nullptr);
}

TEST(ItemListTest, AllReceiptsFoundIgnoresInactiveItems) {
    CCostrunItemList list;
    EXPECT_TRUE(list.allReceiptsFound());
    CCostrunItem* done = addItem(list, "A", 0);
    CCostrunItem* assembly = addItem(list, "B", 5);
    assembly->active = false;
    EXPECT_TRUE(list.allReceiptsFound());
    CCostrunItem* open = addItem(list, "C", 5);
    EXPECT_FALSE(list.allReceiptsFound());
    open->collectedQty = 5;
    EXPECT_TRUE(list.allReceiptsFound());
    done->reservedQty = 1;  // a component now short of its reserved unit
    EXPECT_FALSE(list.allReceiptsFound());
}

TEST(ItemListTest, PassesCostedFlagsAndAdjustments) {
    CCostrunItemList list;
    EXPECT_EQ(list.maxBuildPass(), 0);
    EXPECT_FALSE(list.anyNeedsAdjustment());
    CCostrunItem* a = addItem(list, "A", 10);
    CCostrunItem* b = addItem(list, "B", 10);
    a->buildPass = 2;
    b->buildPass = 1;
    EXPECT_EQ(list.maxBuildPass(), 2);

    list.markAllCosted(true);
    EXPECT_TRUE(a->costed && b->costed);
    b->costedNext = false;
    list.commitCosted();
    EXPECT_TRUE(a->costed);
    EXPECT_FALSE(b->costed);
    list.markAllCosted(false);
    EXPECT_FALSE(a->costed);

    b->issuedQty = 1;
    b->qbValue = 5;
    EXPECT_TRUE(list.anyNeedsAdjustment());
}

}  // namespace
