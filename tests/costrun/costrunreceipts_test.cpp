// The run's receiving transactions in their compact form: what each parsed record leaves
// the walk (lines, returns, value changes, a build's value), the order of the records of
// one date whatever order the lists come in, a day's records and a build by TxnID; and the
// record of what the run read, looked at day by day.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "costrunreceipts.h"
#include "days.h"
#include "enginefixture.h"
#include "seenrecord.h"
#include "txnkinds.h"

namespace {

std::string itemLine(const std::string& item, const std::string& quantityField, const std::string& quantity,
                     const std::string& amountField, const std::string& amount, const char* element = "ItemLineRet") {
    std::string text = std::string("<") + element + "><ItemRef><FullName>" + item + "</FullName></ItemRef>";
    if (!quantity.empty()) text += "<" + quantityField + ">" + quantity + "</" + quantityField + ">";
    if (!amount.empty()) text += "<" + amountField + ">" + amount + "</" + amountField + ">";
    return text + "</" + element + ">";
}

std::string txn(const std::string& element, const std::string& ref, const std::string& date,
                const std::string& body) {
    return "<" + element + "><TxnID>T-" + ref + "</TxnID>" + (date.empty() ? "" : "<TxnDate>" + date + "</TxnDate>") +
           "<EditSequence>7</EditSequence><RefNumber>" + ref + "</RefNumber>" + body + "</" + element + ">";
}

using CLine = std::tuple<std::string, double, double, bool>;  // item, quantity, amount, return

struct CTakeCase {
    const char* name;
    int code;
    const char* element;
    std::string body;
    std::vector<CLine> lines;
    std::vector<std::pair<std::string, double>> valueChanges;
    std::vector<std::string> returned;
};

// Purchases and credits keep the lines a lot or a return comes from (direct lines, then
// those of the groups), the items sent back, and the amounts without units (a credit's
// taking value out); an adjustment its quantity and value lines, units counted in with
// their value lowered coming in at no cost and the value falling on the units before
// them; nothing else of a line is kept.
TEST(ReceiptRecords, TakeKeepsWhatTheWalkReads) {
    const std::vector<CTakeCase> cases = {
        {"bill", kTxnBill, "BillRet",
         itemLine("Widget", "Quantity", "10", "Amount", "50.00") + itemLine("Widget", "", "", "Amount", "4.00") +
             itemLine("Gadget", "Quantity", "-2", "Amount", "-9.00") + "<ExchangeRate>1.25</ExchangeRate>" +
             "<ItemGroupLineRet>" + itemLine("Bolt", "Quantity", "3", "Amount", "6.00") +
             itemLine("Bolt", "", "", "Amount", "1.00") + "</ItemGroupLineRet>",
         {{"Widget", 10, 50, false}, {"Gadget", 2, 9, true}, {"Bolt", 3, 6, false}},
         {{"Widget", 4.0}},
         {"Gadget"}},
        {"vendor credit", kTxnVendorCredit, "VendorCreditRet",
         itemLine("Widget", "Quantity", "2", "Amount", "10.00") + itemLine("Widget", "", "", "Amount", "3.00") +
             itemLine("Gadget", "Quantity", "-1", "Amount", "-5.00") + itemLine("Nut", "Quantity", "0", "Amount", "0"),
         {{"Widget", 2, 10, true}, {"Gadget", 1, 5, false}},
         {{"Widget", -3.0}},
         {"Widget"}},
        {"adjustment", kTxnInventoryAdjustment, "InventoryAdjustmentRet",
         itemLine("Widget", "QuantityDifference", "5", "ValueDifference", "20.00", "InventoryAdjustmentLineRet") +
             itemLine("Gadget", "QuantityDifference", "0", "ValueDifference", "-7.50", "InventoryAdjustmentLineRet") +
             itemLine("Bolt", "QuantityDifference", "-1", "ValueDifference", "-2.00", "InventoryAdjustmentLineRet") +
             itemLine("Nut", "QuantityDifference", "4", "ValueDifference", "-8.00", "InventoryAdjustmentLineRet"),
         {{"Widget", 5, 20, false}, {"Nut", 4, 0, false}},
         {{"Nut", -8.0}, {"Gadget", -7.5}},
         {}},
    };
    for (const CTakeCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto list = records(txn(c.element, "R1", "2010-03-01", c.body), c.element);
        ASSERT_EQ(list->getSize(), 1);
        const CReceiptRecord record = CReceiptRecords::take(c.code, *list->getAt(0));
        EXPECT_EQ(record.txnId, "T-R1");
        EXPECT_EQ(record.refNumber, "R1");
        EXPECT_EQ(record.txnDateText, "2010-03-01");
        EXPECT_EQ(record.editSequence, "7");
        std::vector<CLine> lines;
        for (const CReceiptLine& line : record.lines) lines.emplace_back(line.item, line.quantity, line.amount, line.isReturn);
        EXPECT_EQ(lines, c.lines);
        std::vector<std::pair<std::string, double>> changes;
        for (const CReceiptValueChange& change : record.valueChanges) changes.emplace_back(change.item, change.amount);
        EXPECT_EQ(changes, c.valueChanges);
        EXPECT_EQ(record.returnedItems, c.returned);
    }
    auto bill = records(txn("BillRet", "R2", "2010-03-01", "<ExchangeRate>1.25</ExchangeRate>"), "BillRet");
    EXPECT_DOUBLE_EQ(CReceiptRecords::take(kTxnBill, *bill->getAt(0)).exchangeRate, 1.25);
    auto plain = records(txn("BillRet", "R3", "2010-03-01", ""), "BillRet");
    EXPECT_DOUBLE_EQ(CReceiptRecords::take(kTxnBill, *plain->getAt(0)).exchangeRate, -1.0);
}

// A build keeps its assembly, quantity and the value stored in "BuildValue"; a value that
// is not a finite number counts as stored but leaves the build unvalued.
TEST(ReceiptRecords, ABuildKeepsItsAssemblyQuantityAndStoredValue) {
    auto value = [](const std::string& text) {
        return "<DataExtRet><OwnerID>" + std::string(kPrivateOwnerId) +
               "</OwnerID><DataExtName>BuildValue</DataExtName><DataExtType>STR255TYPE</DataExtType><DataExtValue>" +
               text + "</DataExtValue></DataExtRet>";
    };
    const std::string head = "<ItemInventoryAssemblyRef><FullName>Kit</FullName></ItemInventoryAssemblyRef>"
                             "<QuantityToBuild>4</QuantityToBuild>";
    auto builds = records(txn("BuildAssemblyRet", "K1", "2010-03-02", head + value("120.5")) +
                              txn("BuildAssemblyRet", "K2", "2010-03-02", head + value("1e999")) +
                              txn("BuildAssemblyRet", "K3", "2010-03-02", head),
                          "BuildAssemblyRet");
    ASSERT_EQ(builds->getSize(), 3);
    const std::vector<std::tuple<bool, bool, double>> expected = {{true, true, 120.5}, {true, false, 0.0}, {false, false, 0.0}};
    for (int i = 0; i < 3; ++i) {
        const CReceiptRecord record = CReceiptRecords::take(kTxnBuildAssembly, *builds->getAt(i));
        EXPECT_EQ(record.assembly, "Kit");
        EXPECT_DOUBLE_EQ(record.quantityToBuild, 4.0);
        EXPECT_EQ(std::make_tuple(record.buildValue.stored, record.buildValue.known(), record.buildValue.amount()),
                  expected[i])
            << i;
    }
}

// Records of one date stand in the order the walk takes in reverse (bills, item
// receipts, checks, card charges, adjustments, builds, vendor credits, card credits),
// each type as added, whatever order the lists come in; undated ones first. A day's
// records and a build by TxnID are found after every addition.
TEST(ReceiptRecords, OneDateStandsInTheWalksOrderWhateverTheListsOrder) {
    CReceiptRecords receipts;
    receipts.addAll(kTxnCreditCardCredit, records(txn("CreditCardCreditRet", "CC1", "2010-03-02", ""), "CreditCardCreditRet").get());
    receipts.addAll(kTxnVendorCredit, records(txn("VendorCreditRet", "VC1", "2010-03-02", ""), "VendorCreditRet").get());
    receipts.addAll(kTxnBuildAssembly,
                    records(txn("BuildAssemblyRet", "K1", "2010-03-02", "") + txn("BuildAssemblyRet", "K0", "2010-03-01", ""),
                            "BuildAssemblyRet")
                        .get());
    CReceiptRecord* build = receipts.findBuild("T-K1");
    ASSERT_NE(build, nullptr);
    EXPECT_EQ(build->refNumber, "K1");
    receipts.addAll(kTxnInventoryAdjustment,
                    records(txn("InventoryAdjustmentRet", "A1", "2010-03-02", ""), "InventoryAdjustmentRet").get());
    receipts.addAll(kTxnCheck, records(txn("CheckRet", "C1", "2010-03-02", ""), "CheckRet").get());
    receipts.addAll(kTxnBill, records(txn("BillRet", "B1", "2010-03-02", "") + txn("BillRet", "B0", "", "") +
                                          txn("BillRet", "B2", "2010-03-02", "") + txn("BillRet", "B3", "2010-03-03", ""),
                                      "BillRet")
                                  .get());
    receipts.addAll(kTxnItemReceipt, records(txn("ItemReceiptRet", "I1", "2010-03-02", ""), "ItemReceiptRet").get());
    receipts.addAll(kTxnCreditCardCharge, records(txn("CreditCardChargeRet", "CH1", "2010-03-02", ""), "CreditCardChargeRet").get());

    std::vector<std::string> order;
    for (const CReceiptRecord& record : receipts) order.push_back(record.refNumber);
    EXPECT_THAT(order, ::testing::ElementsAre("B0", "K0", "B1", "B2", "I1", "C1", "CH1", "A1", "K1", "VC1", "CC1", "B3"));

    const auto [first, last] = receipts.datedWithin(*CDateTime::fromLocal(2010, 3, 2),
                                                    endOfDay(*CDateTime::fromLocal(2010, 3, 2)));
    EXPECT_EQ(receipts[first].refNumber, "B1");
    EXPECT_EQ(last - first, 9u);
    EXPECT_EQ(receipts.firstDatedFrom(*CDateTime::fromLocal(2010, 3, 3)), 11u);
    build = receipts.findBuild("T-K1");
    ASSERT_NE(build, nullptr);
    EXPECT_EQ(build->refNumber, "K1");
    EXPECT_EQ(receipts.findBuild("T-B1"), nullptr);  // a bill is no build
}

// The record of what was read, told day by day: a day's reading drops the records of that
// type and day it no longer lists, and a transaction moved to another date belongs to
// that date's reading only.
TEST(SeenRecord, ADaysReadingDropsOnlyThatDaysMissingRecordsOfItsType) {
    auto invoices = [](const std::vector<std::pair<std::string, std::string>>& refAndDate) {
        std::string rets;
        for (const auto& [ref, date] : refAndDate) rets += txn("InvoiceRet", ref, date, "");
        return records(rets, "InvoiceRet");
    };
    CSeenRecord record;
    record.record(invoices({{"I1", "2010-04-01"}, {"I2", "2010-04-01"}, {"I3", "2010-04-02"}}).get(), "Invoice", "", "");
    record.record(records(txn("BillRet", "B1", "2010-04-02", ""), "BillRet").get(), "Bill", "", "");
    // I2 moved to the 2nd.
    record.record(invoices({{"I2", "2010-04-02"}, {"I3", "2010-04-02"}}).get(), "Invoice", "2010-04-02", "2010-04-02");
    record.record(invoices({{"I1", "2010-04-01"}}).get(), "Invoice", "2010-04-01", "2010-04-01");
    using CSeen = std::vector<std::tuple<std::string, std::string, std::string>>;  // TxnID, type, date
    // What the record holds of the TxnIDs the test knows of; it must hold nothing else.
    auto seen = [&record] {
        CSeen out;
        for (const char* id : {"T-B1", "T-I1", "T-I2", "T-I3"}) {
            if (const CSeenRecord::CSeenTxn* txn = record.find(id)) out.emplace_back(id, txn->type, txn->date);
        }
        EXPECT_EQ(record.size(), out.size());
        return out;
    };
    EXPECT_EQ(seen(), (CSeen{{"T-B1", "Bill", "2010-04-02"},
                             {"T-I1", "Invoice", "2010-04-01"},
                             {"T-I2", "Invoice", "2010-04-02"},
                             {"T-I3", "Invoice", "2010-04-02"}}));
    // Both invoices of the 2nd deleted; the bill of that day stays.
    record.record(invoices({}).get(), "Invoice", "2010-04-02", "2010-04-02");
    EXPECT_EQ(seen(), (CSeen{{"T-B1", "Bill", "2010-04-02"}, {"T-I1", "Invoice", "2010-04-01"}}));
    // A reading of the whole range finds the rest gone too.
    record.record(invoices({}).get(), "Invoice", "2010-03-01", "2010-04-30");
    EXPECT_EQ(seen(), (CSeen{{"T-B1", "Bill", "2010-04-02"}}));
}

}  // namespace
