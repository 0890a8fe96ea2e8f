// Transactions changed after they were entered: inventory adjustments edited
// (InventoryAdjustmentModRq), finalised builds QuickBooks turns back to pending when a
// change dated before them leaves them short, and builds moved to another date. Every
// request goes through Intuit's schema, and every answer is checked against it too.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace {

class QbSimEditsTest : public CValuationFixture {
protected:
    void SetUp() override {
        CValuationFixture::SetUp();
        checkSchema(true);
        if (IsSkipped()) return;
        inventoryItem("Widget", "10.00");
        ok(receipt("Bill", "2024-01-02", "Widget", "100", "10.00"));
    }
    struct CTxn {
        std::string id, sequence, lineId;
    };
    CTxn add(const std::string& request) {
        const auto rs = ok(request);
        if (rs[0].rets().empty()) return {};
        const xmlNodePtr ret = rs[0].rets()[0];
        return {textAt(ret, "TxnID"), textAt(ret, "EditSequence"), textAt(ret, "InventoryAdjustmentLineRet/TxnLineID")};
    }
    // An InventoryAdjustmentModRq of the adjustment with `body` after its EditSequence.
    static std::string adjustmentMod(const CTxn& txn, const std::string& body) {
        return "<InventoryAdjustmentModRq><InventoryAdjustmentMod><TxnID>" + txn.id + "</TxnID><EditSequence>" +
               txn.sequence + "</EditSequence>" + body + "</InventoryAdjustmentMod></InventoryAdjustmentModRq>";
    }
    static std::string lineMod(const std::string& lineId, const std::string& body) {
        return "<InventoryAdjustmentLineMod><TxnLineID>" + lineId + "</TxnLineID>" + body +
               "</InventoryAdjustmentLineMod>";
    }
};

// 10 widgets lost on 01/05 (out at 10.00), edited: each edit values the books as if the
// adjustment had been entered so.
TEST_F(QbSimEditsTest, AnEditedAdjustmentIsValuedAsEdited) {
    const struct {
        const char* label;
        std::function<std::string(const CTxn&)> edit;
        double onJan5;
        std::int64_t valueJan5, valueJan8;
        std::size_t lines;
    } cases[] = {
        {"another quantity", [](const CTxn& t) { return CAdjustmentMod(t.id, t.sequence).quantityDifference(t.lineId, -20); },
         80, 80000, 80000, 1},
        {"a value instead",
         [](const CTxn& t) {
             return CAdjustmentMod(t.id, t.sequence).quantityDifference(t.lineId, 0).valueDifference(t.lineId, 50.00);
         },
         100, 105000, 105000, 1},
        {"a line added",
         [](const CTxn& t) { return CAdjustmentMod(t.id, t.sequence).keep(t.lineId).newQuantityLine("Widget", -5); },
         85, 85000, 85000, 2},
        {"its line replaced", [](const CTxn& t) { return CAdjustmentMod(t.id, t.sequence).newValueLine("Widget", 20.00); },
         100, 102000, 102000, 1},
        {"a later date", [](const CTxn& t) { return CAdjustmentMod(t.id, t.sequence).date("2024-01-08"); }, 100, 100000,
         90000, 1},
        {"its memo alone", [](const CTxn& t) { return CAdjustmentMod(t.id, t.sequence).memo("Counted"); }, 90, 90000,
         90000, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        SetUp();
        CCompanyBuilder lost(kValuationNames);
        const CTxn txn = add(lost.adjustment("2024-01-05").quantityDifference("Widget", -10));
        ASSERT_EQ(value("2024-01-05", "Widget"), 90000);
        const auto modded = ok(c.edit(txn));
        ASSERT_EQ(modded[0].name, "InventoryAdjustmentModRs");
        const xmlNodePtr ret = modded[0].rets().at(0);
        EXPECT_NE(textAt(ret, "EditSequence"), txn.sequence);
        EXPECT_EQ(qbsimChildren(ret, "InventoryAdjustmentLineRet").size(), c.lines);
        EXPECT_EQ(row("2024-01-05", "Widget").quantity, c.onJan5);
        EXPECT_EQ(value("2024-01-05", "Widget"), c.valueJan5);
        EXPECT_EQ(value("2024-01-08", "Widget"), c.valueJan8);
    }
}

// What QuickBooks refuses of an edit, leaving the adjustment as it was.
TEST_F(QbSimEditsTest, RefusesAStaleOrImpossibleEdit) {
    CCompanyBuilder lost(kValuationNames);
    const CTxn txn = add(lost.adjustment("2024-01-05").quantityDifference("Widget", -10));
    CTxn stale = txn;
    stale.sequence = "1";
    CTxn missing = txn;
    missing.id = "FFFF-1";
    const struct {
        const char* label;
        std::string request;
        int code;
    } cases[] = {
        {"stale EditSequence", adjustmentMod(stale, "<Memo>x</Memo>"), 3200},
        {"no such TxnID", adjustmentMod(missing, "<Memo>x</Memo>"), 3120},
        {"no such line", adjustmentMod(txn, lineMod("FFFF-2", "<QuantityDifference>-1</QuantityDifference>")), 3120},
        {"a site", adjustmentMod(txn, ref("InventorySiteRef", "Back")), 3250},
        {"a new line of nothing", adjustmentMod(txn, lineMod("-1", ref("ItemRef", "Widget"))), 3210},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(send(c.request)[0].code, c.code);
    }
    company->setClosingDate("2024-01-05");
    EXPECT_EQ(send(adjustmentMod(txn, "<Memo>x</Memo>"))[0].code, 3171);
    EXPECT_EQ(value("2024-01-05", "Widget"), 90000);
}

class QbSimPendingBuildTest : public QbSimEditsTest {
protected:
    void SetUp() override {
        QbSimEditsTest::SetUp();
        if (IsSkipped()) return;
        inventoryItem("Bolt", "0.25");
        assembly("Kit", {{"Bolt", "4"}});
        receiptRef = add(receipt("ItemReceipt", "2024-01-02", "Bolt", "40", "0.25"));
        buildRef = add(build("2024-01-05", "Kit", "10"));
    }
    xmlNodePtr theBuild(const CParsedResponse& rs) { return rs[0].rets().at(0); }
    CParsedResponse buildNow() {
        return ok("<BuildAssemblyQueryRq><TxnID>" + buildRef.id + "</TxnID></BuildAssemblyQueryRq>");
    }
    CTxn receiptRef, buildRef;
};

// A build of 10 kits takes all 40 bolts on 01/05. A change dated before it that leaves
// fewer bolts turns it back to pending (a new EditSequence, nothing built); one dated
// after it does not.
TEST_F(QbSimPendingBuildTest, AChangeBeforeAFinalisedBuildThatLeavesItShortTurnsItPending) {
    const struct {
        const char* label;
        std::function<void()> change;
        bool pending;
    } cases[] = {
        {"a sale before it", [this] { ok(sale("Invoice", "2024-01-03", "Bolt", "1")); }, true},
        {"a charge before it",
         [this] {
             ok(CCompanyBuilder(kValuationNames).charge("2024-01-04", "C-1").item("Bolt", 1, 1.00));
         },
         true},
        {"the receipt voided", [this] { EXPECT_EQ(voidTxn("ItemReceipt", receiptRef.id)[0].code, 0); }, true},
        {"the receipt deleted", [this] { deleteTxn("ItemReceipt", receiptRef.id); }, true},
        {"the receipt billed later",
         [this] {
             CQbSimBillForReceipt bill;
             bill.date = "2024-01-09";
             engine->enterBillForReceivedItems(receiptRef.id, bill);
         },
         true},
        {"an adjustment edited",
         [this] {
             CCompanyBuilder found(kValuationNames);
             const CTxn adj = add(found.adjustment("2024-01-04").quantityDifference("Bolt", 2));
             ok(CAdjustmentMod(adj.id, adj.sequence).quantityDifference(adj.lineId, -2));
         },
         true},
        {"an invoice moved before it",
         [this] {
             const CTxn sold = add(sale("Invoice", "2024-01-06", "Bolt", "1"));
             ok("<InvoiceModRq><InvoiceMod><TxnID>" + sold.id + "</TxnID><EditSequence>" + sold.sequence +
                  "</EditSequence><TxnDate>2024-01-03</TxnDate></InvoiceMod></InvoiceModRq>");
         },
         true},
        {"a sale after it", [this] { ok(sale("Invoice", "2024-01-06", "Bolt", "1")); }, false},
        {"more bolts before it",
         [this] { ok(receipt("Bill", "2024-01-03", "Bolt", "4", "0.25")); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        SetUp();
        ASSERT_EQ(row("2024-01-05", "Kit").quantity, 10);
        c.change();
        const auto now = buildNow();
        EXPECT_EQ(textAt(theBuild(now), "IsPending"), c.pending ? "true" : "false");
        EXPECT_EQ(textAt(theBuild(now), "EditSequence") != buildRef.sequence, c.pending);
        EXPECT_EQ(row("2024-01-05", "Kit").quantity, c.pending ? 0 : 10);
    }
}

// A pending build taken off pending at a new date, once its parts are there; a
// finalised one moved before its parts is refused unless it may go pending.
TEST_F(QbSimPendingBuildTest, ABuildMovesToANewDateWithRemovePending) {
    const CTxn early = add(build("2024-01-01", "Kit", "10", true));
    auto mod = [&](const CTxn& txn, const std::string& body) {
        return send("<BuildAssemblyModRq><BuildAssemblyMod><TxnID>" + txn.id + "</TxnID><EditSequence>" +
                    txn.sequence + "</EditSequence>" + body + "</BuildAssemblyMod></BuildAssemblyModRq>");
    };
    deleteTxn("BuildAssembly", buildRef.id);
    ASSERT_EQ(textAt(ok("<BuildAssemblyQueryRq><TxnID>" + early.id + "</TxnID></BuildAssemblyQueryRq>")[0].rets().at(0),
                     "IsPending"),
              "true");
    EXPECT_EQ(mod(early, "<RemovePending>true</RemovePending>")[0].code, 3180);
    const auto moved = mod(early, "<TxnDate>2024-01-06</TxnDate><RemovePending>true</RemovePending>");
    ASSERT_EQ(moved[0].code, 0) << moved[0].message;
    const xmlNodePtr ret = moved[0].rets().at(0);
    EXPECT_EQ(textAt(ret, "TxnDate"), "2024-01-06");
    EXPECT_EQ(textAt(ret, "IsPending"), "false");
    EXPECT_EQ(row("2024-01-06", "Kit").quantity, 10);
    EXPECT_EQ(value("2024-01-06", "Kit"), 1000);

    const CTxn finalised{textAt(ret, "TxnID"), textAt(ret, "EditSequence"), ""};
    EXPECT_EQ(mod(finalised, "<TxnDate>2024-01-01</TxnDate>")[0].code, 3180);
    const auto pended = mod(finalised, "<TxnDate>2024-01-01</TxnDate><MarkPendingIfRequired>true</MarkPendingIfRequired>");
    ASSERT_EQ(pended[0].code, 0) << pended[0].message;
    EXPECT_EQ(textAt(pended[0].rets().at(0), "IsPending"), "true");
    EXPECT_EQ(row("2024-01-06", "Kit").quantity, 0);
    EXPECT_EQ(row("2024-01-06", "Bolt").quantity, 40);
}

}  // namespace
