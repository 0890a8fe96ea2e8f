// Tests of the transaction list: date order with stable same-date order, pending
// flags, build values from the system's custom field, build look-up and settling,
// and the type names of the transaction kinds.
#include "costruntxnlist.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qbobject.h"
#include "qbobjectlist.h"
#include "qbresponse.h"
#include "qbutils.h"

namespace {

struct BuildValueField {
    std::string ownerId;
    std::string name;
    std::string value;
};

std::unique_ptr<CQbObject> makeRet(const std::string& txnId, const std::string& date,
                                   const std::string& pending = "",
                                   const std::optional<BuildValueField>& ext = std::nullopt) {
    auto ret = std::make_unique<CQbObject>();
    ret->setName("BuildAssemblyRet");
    ret->addText("TxnID", txnId);
    if (!date.empty()) ret->addText("TxnDate", date);
    if (!pending.empty()) ret->addText("IsPending", pending);
    if (ext) {
        auto fields = std::make_unique<CQbFieldList>();
        fields->addText("OwnerID", ext->ownerId);
        fields->addText("DataExtName", ext->name);
        fields->addText("DataExtType", "STR255TYPE");
        fields->addText("DataExtValue", ext->value);
        ret->addAggregate("DataExtRet", std::move(fields));
    }
    return ret;
}

std::vector<std::string> idsInOrder(const CCostrunTxnList& list) {
    std::vector<std::string> ids;
    for (const auto& record : list) ids.push_back(record->ret->getValue("TxnID"));
    return ids;
}

TEST(TxnListTest, DateOrderKeepsSameDateRecordsInTheOrderAdded) {
    CQbObjectList rets;
    CCostrunTxnList list;
    for (auto [id, date] : {std::pair{"A", "2024-03-05"},
                            {"B", "2024-03-05"},
                            {"C", "2024-03-04"},
                            {"D", "2024-03-06"},
                            {"E", "2024-03-05"}}) {
        list.addTxn(kTxnBill, rets.add(makeRet(id, date)));
    }
    EXPECT_EQ(idsInOrder(list), (std::vector<std::string>{"C", "A", "B", "E", "D"}));
    EXPECT_EQ(list.at(0)->txnDate, CDateTime::fromLocal(2024, 3, 4));
}

TEST(TxnListTest, UndatedRecordsComeFirstInTheOrderAdded) {
    CQbObjectList rets;
    CCostrunTxnList list;
    list.addTxn(kTxnBill, rets.add(makeRet("A", "2024-03-05")));
    list.addTxn(kTxnBill, rets.add(makeRet("X", "")));
    list.addTxn(kTxnBill, rets.add(makeRet("Y", "garbage")));  // too short to be a date
    list.addTxn(kTxnBill, rets.add(makeRet("B", "2024-01-01")));
    EXPECT_EQ(idsInOrder(list), (std::vector<std::string>{"X", "Y", "B", "A"}));
    EXPECT_FALSE(list.at(0)->txnDate.has_value());
}

TEST(TxnListTest, RecordsStayPutWhileOthersAreInsertedBefore) {
    CQbObjectList rets;
    CCostrunTxnList list;
    CCostrunTxn* last = list.addTxn(kTxnCheck, rets.add(makeRet("Z", "2024-12-31")));
    for (int i = 0; i < 200; ++i) list.addTxn(kTxnBill, rets.add(makeRet("early", "2024-01-01")));
    EXPECT_EQ(last->txnTypeCode, kTxnCheck);
    EXPECT_EQ(list.rbegin()->get(), last);
    EXPECT_EQ(list.size(), 201u);
}

TEST(TxnListTest, PendingFlagDefaultsToFalse) {
    CQbObjectList rets;
    CCostrunTxnList list;
    EXPECT_TRUE(list.addTxn(kTxnInvoice, rets.add(makeRet("1", "2024-03-05", "true")))->isPending);
    EXPECT_FALSE(
        list.addTxn(kTxnInvoice, rets.add(makeRet("2", "2024-03-05", "false")))->isPending);
    EXPECT_FALSE(list.addTxn(kTxnInvoice, rets.add(makeRet("3", "2024-03-05")))->isPending);
}

struct BuildValueCase {
    const char* name;
    int code;
    std::optional<BuildValueField> ext;
    bool hasValue;
    double value;
};

class BuildValueTest : public ::testing::TestWithParam<BuildValueCase> {};

TEST_P(BuildValueTest, ReadFromThePrivateCustomField) {
    const BuildValueCase& c = GetParam();
    CQbObjectList rets;
    rets.add(makeRet("1", "2024-03-05", "", c.ext));
    CCostrunTxnList list;
    EXPECT_EQ(list.addAll(c.code, &rets), 1);
    const CCostrunTxn* record = list.at(0);
    EXPECT_EQ(record->txnTypeCode, c.code);
    EXPECT_EQ(record->buildValue.known(), c.hasValue);
    EXPECT_EQ(record->buildValue.amount(), c.value);
}

const std::string kPrivate = kPrivateOwnerId;

INSTANTIATE_TEST_SUITE_P(
    Builds, BuildValueTest,
    ::testing::Values(
        BuildValueCase{"Stored", kTxnBuildAssembly,
                       BuildValueField{kPrivate, "BuildValue", "30.000000"}, true, 30.0},
        BuildValueCase{"StoredZero", kTxnBuildAssembly,
                       BuildValueField{kPrivate, "BuildValue", "0.000000"}, true, 0.0},
        BuildValueCase{"Absent", kTxnBuildAssembly, std::nullopt, false, 0.0},
        BuildValueCase{"PublicFieldOfThatName", kTxnBuildAssembly,
                       BuildValueField{"0", "BuildValue", "30.000000"}, false, 0.0},
        BuildValueCase{"OtherPrivateField", kTxnBuildAssembly,
                       BuildValueField{kPrivate, "LastUpToDate", "30"}, false, 0.0},
        BuildValueCase{"NotABuild", kTxnBill, BuildValueField{kPrivate, "BuildValue", "30.000000"},
                       false, 0.0},
        BuildValueCase{"NotFinite", kTxnBuildAssembly,
                       BuildValueField{kPrivate, "BuildValue", "1e999"}, false, 0.0}),
    [](const ::testing::TestParamInfo<BuildValueCase>& info) { return info.param.name; });

TEST(TxnListTest, AddAllCountsEveryObjectInListOrder) {
    CQbObjectList rets;
    rets.add(makeRet("1", "2024-03-05"));
    rets.add(makeRet("2", "2024-03-05"));
    CCostrunTxnList list;
    EXPECT_EQ(list.addAll(kTxnItemReceipt, nullptr), 0);
    EXPECT_EQ(list.addAll(kTxnItemReceipt, &rets), 2);
    EXPECT_EQ(idsInOrder(list), (std::vector<std::string>{"1", "2"}));
}

TEST(TxnListTest, FindBuildMatchesBuildsOnly) {
    CQbObjectList rets;
    CCostrunTxnList list;
    list.addTxn(kTxnBill, rets.add(makeRet("T-1", "2024-03-01")));
    CCostrunTxn* build = list.addTxn(kTxnBuildAssembly, rets.add(makeRet("T-1", "2024-03-02")));
    list.addTxn(kTxnBuildAssembly, rets.add(makeRet("T-1", "2024-03-03")));
    EXPECT_EQ(list.findBuild("T-1"), build);
    EXPECT_EQ(list.findBuild("t-1"), nullptr);
    EXPECT_EQ(list.findBuild("T-2"), nullptr);
}

TEST(TxnListTest, BuildsSettleWhenValuedOrPending) {
    CQbObjectList rets;
    CCostrunTxnList list;
    EXPECT_TRUE(list.allBuildsSettled());
    list.addTxn(kTxnInvoice, rets.add(makeRet("I", "2024-03-05")));
    EXPECT_TRUE(list.allBuildsSettled());  // nothing to settle on an invoice
    list.addTxn(kTxnBuildAssembly, rets.add(makeRet("P", "2024-03-05", "true")));
    EXPECT_TRUE(list.allBuildsSettled());
    CCostrunTxn* open = list.addTxn(kTxnBuildAssembly, rets.add(makeRet("B", "2024-03-05")));
    EXPECT_FALSE(list.allBuildsSettled());
    open->buildValue.set(12.0);
    EXPECT_TRUE(list.allBuildsSettled());
}

TEST(TxnListTest, TypeNames) {
    const std::pair<int, const char*> rows[] = {
        {101, "Build Assembly"},
        {102, "Sales Receipt"},
        {103, "Invoice"},
        {104, "Bill"},
        {105, "Item Receipt"},
        {106, "Inventory Adjustment"},
        {107, "Credit Memo"},
        {108, "Check"},
        {100, ""},
        {109, "Credit Card Charge"},
        {110, "Vendor Credit"},
        {111, "Credit Card Credit"},
        {112, "Statement Charge"},
        {113, ""},
        {0, ""},
    };
    for (const auto& [code, name] : rows) EXPECT_EQ(txnTypeName(code), name) << code;
}

}  // namespace

// A transaction is voided when its memo (a statement charge's description) begins
// "VOID:" and no amount on it is other than zero; either fact alone is no void.
struct VoidCase {
    const char* name;
    const char* ret;  // the Ret element as QuickBooks answers it
    bool voided;
};

class VoidTest : public ::testing::TestWithParam<VoidCase> {};

TEST_P(VoidTest, TheMarkAndZeroedAmountsTogether) {
    const std::string ret = GetParam().ret;
    const CQbResponse response("<?xml version=\"1.0\"?><QBXML><QBXMLMsgsRs>" + ret + "</QBXMLMsgsRs></QBXML>");
    CQbObject txn;
    txn.load(response.findElement(ret.substr(1, ret.find('>') - 1)));
    EXPECT_EQ(isVoided(txn), GetParam().voided);
}

INSTANTIATE_TEST_SUITE_P(
    Voids, VoidTest,
    ::testing::Values(
        VoidCase{"VoidedBill",
                 "<BillRet><TxnID>1</TxnID><AmountDue>0.00</AmountDue><Memo>VOID: order 7</Memo>"
                 "<OpenAmount>0.00</OpenAmount><ItemLineRet><Quantity>10</Quantity><Cost>10.00</Cost>"
                 "<Amount>0.00</Amount></ItemLineRet></BillRet>",
                 true},
        VoidCase{"LiveBillWithTheMark",
                 "<BillRet><TxnID>1</TxnID><AmountDue>100.00</AmountDue><Memo>VOID: replaces order 7</Memo>"
                 "<ItemLineRet><Quantity>10</Quantity><Cost>10.00</Cost><Amount>100.00</Amount></ItemLineRet>"
                 "</BillRet>",
                 false},
        VoidCase{"LiveBillWithTheMarkAndAZeroTotalLeft",
                 "<BillRet><TxnID>1</TxnID><AmountDue>0.00</AmountDue><Memo>VOID: paid</Memo>"
                 "<ItemLineRet><Quantity>10</Quantity><Amount>100.00</Amount></ItemLineRet></BillRet>",
                 false},
        VoidCase{"ZeroedWithoutTheMark",
                 "<BillRet><TxnID>1</TxnID><AmountDue>0.00</AmountDue><Memo>free samples</Memo>"
                 "<ItemLineRet><Quantity>10</Quantity><Amount>0.00</Amount></ItemLineRet></BillRet>",
                 false},
        VoidCase{"TheMarkInsideTheMemo",
                 "<BillRet><TxnID>1</TxnID><Memo>Not VOID: kept</Memo><ItemLineRet><Amount>0.00</Amount>"
                 "</ItemLineRet></BillRet>",
                 false},
        VoidCase{"AmountsInAGroupLine",
                 "<InvoiceRet><TxnID>1</TxnID><Subtotal>0.00</Subtotal><Memo>VOID:</Memo><InvoiceLineGroupRet>"
                 "<TotalAmount>0.00</TotalAmount><InvoiceLineRet><Amount>12.50</Amount></InvoiceLineRet>"
                 "</InvoiceLineGroupRet></InvoiceRet>",
                 false},
        VoidCase{"ALinkedTransactionsAmountIsAnothers",
                 "<BillRet><TxnID>1</TxnID><AmountDue>0.00</AmountDue><Memo>VOID:</Memo><LinkedTxn>"
                 "<TxnID>9</TxnID><Amount>-100.00</Amount></LinkedTxn><ItemLineRet><Amount>0.00</Amount>"
                 "</ItemLineRet></BillRet>",
                 true},
        VoidCase{"VoidedStatementCharge",
                 "<ChargeRet><TxnID>1</TxnID><Quantity>4</Quantity><Amount>0.00</Amount>"
                 "<BalanceRemaining>0.00</BalanceRemaining><Desc>VOID: Widget</Desc></ChargeRet>",
                 true},
        VoidCase{"LiveStatementChargeWithTheMark",
                 "<ChargeRet><TxnID>1</TxnID><Quantity>4</Quantity><Amount>40.00</Amount>"
                 "<Desc>VOID: Widget</Desc></ChargeRet>",
                 false},
        VoidCase{"VoidedValueAdjustment",
                 "<InventoryAdjustmentRet><TxnID>1</TxnID><Memo>VOID: FIFO valuation</Memo>"
                 "<InventoryAdjustmentLineRet><ValueDifference>0.00</ValueDifference>"
                 "</InventoryAdjustmentLineRet></InventoryAdjustmentRet>",
                 true},
        VoidCase{"LiveValueAdjustmentWithTheMark",
                 "<InventoryAdjustmentRet><TxnID>1</TxnID><Memo>VOID: FIFO valuation</Memo>"
                 "<InventoryAdjustmentLineRet><ValueDifference>-12.00</ValueDifference>"
                 "</InventoryAdjustmentLineRet></InventoryAdjustmentRet>",
                 false}),
    [](const ::testing::TestParamInfo<VoidCase>& info) { return info.param.name; });
