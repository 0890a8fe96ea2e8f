// Voided transactions and bills entered for received items: the record stays (with a
// new EditSequence), what it moved goes or moves, and QuickBooks' refusals. Every
// request goes through Intuit's schema, and every answer is checked against it too.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>

using ::testing::Contains;

namespace {

class QbSimVoidTest : public CValuationFixture {
protected:
    void SetUp() override {
        CValuationFixture::SetUp();
        checkSchema(true);
        if (IsSkipped()) return;
        ok(CCompanyBuilder().account("Visa", "CreditCard"));
        inventoryItem("Widget", "10.00");
        ok(receipt("Bill", "2024-01-02", "Widget", "100", "10.00"));
    }
    // Adds the transaction; its Ret's TxnID and EditSequence.
    std::pair<std::string, std::string> add(const std::string& request) {
        const auto rs = ok(request);
        if (rs[0].rets().empty()) return {};
        return {textAt(rs[0].rets()[0], "TxnID"), textAt(rs[0].rets()[0], "EditSequence")};
    }
};

// Each kind voided: the answer names it, the amounts are zero, the memo says VOID, the
// lines keep their quantities, and the valuation summary is that of a company that
// never had it; a modified-date filter finds it.
TEST_F(QbSimVoidTest, AVoidedTransactionKeepsItsQuantitiesAndMovesNothing) {
    using Write = std::function<CTxnEntry&(CCompanyBuilder&)>;
    const struct {
        const char* type;
        Write write;
        const char* totalTag;      // "" when the kind has no total
        const char* quantityPath;  // the line's quantity, kept
        const char* quantity;
        const char* amountPath;    // the line's amount, zero
    } cases[] = {
        {"Bill", [](CCompanyBuilder& c) -> CTxnEntry& { return c.bill("2024-01-05", "V-1").line("Widget", 5, 12.00); },
         "AmountDue", "ItemLineRet/Quantity", "5", "ItemLineRet/Amount"},
        {"ItemReceipt",
         [](CCompanyBuilder& c) -> CTxnEntry& { return c.itemReceipt("2024-01-05", "V-1").line("Widget", 5, 12.00); },
         "TotalAmount", "ItemLineRet/Quantity", "5", "ItemLineRet/Amount"},
        {"Check", [](CCompanyBuilder& c) -> CTxnEntry& { return c.check("2024-01-05", "V-1").line("Widget", 5, 12.00); },
         "Amount", "ItemLineRet/Quantity", "5", "ItemLineRet/Amount"},
        {"CreditCardCharge",
         [](CCompanyBuilder& c) -> CTxnEntry& { return c.cardCharge("2024-01-05", "V-1").line("Widget", 5, 12.00); },
         "Amount", "ItemLineRet/Quantity", "5", "ItemLineRet/Amount"},
        {"CreditCardCredit",
         [](CCompanyBuilder& c) -> CTxnEntry& { return c.cardCredit("2024-01-05", "V-1").line("Widget", 5, 12.00); },
         "Amount", "ItemLineRet/Quantity", "5", "ItemLineRet/Amount"},
        {"VendorCredit",
         [](CCompanyBuilder& c) -> CTxnEntry& { return c.vendorCredit("2024-01-05", "V-1").line("Widget", 5, 12.00); },
         "CreditAmount", "ItemLineRet/Quantity", "5", "ItemLineRet/Amount"},
        {"Invoice",
         [](CCompanyBuilder& c) -> CTxnEntry& { return c.invoice("2024-01-05", "V-1").line("Widget", 5).rate(20.00); },
         "Subtotal", "InvoiceLineRet/Quantity", "5", "InvoiceLineRet/Amount"},
        {"SalesReceipt",
         [](CCompanyBuilder& c) -> CTxnEntry& {
             return c.salesReceipt("2024-01-05", "V-1").line("Widget", 5).rate(20.00);
         },
         "TotalAmount", "SalesReceiptLineRet/Quantity", "5", "SalesReceiptLineRet/Amount"},
        {"CreditMemo",
         [](CCompanyBuilder& c) -> CTxnEntry& { return c.creditMemo("2024-01-05", "V-1").line("Widget", 5).rate(20.00); },
         "TotalAmount", "CreditMemoLineRet/Quantity", "5", "CreditMemoLineRet/Amount"},
        {"InventoryAdjustment",
         [](CCompanyBuilder& c) -> CTxnEntry& { return c.adjustment("2024-01-05").quantityDifference("Widget", -5); },
         "", "InventoryAdjustmentLineRet/QuantityDifference", "-5", "InventoryAdjustmentLineRet/ValueDifference"},
        {"InventoryAdjustment",
         [](CCompanyBuilder& c) -> CTxnEntry& { return c.adjustment("2024-01-05").valueDifference("Widget", 75.00); },
         "", "InventoryAdjustmentLineRet/QuantityDifference", "0", "InventoryAdjustmentLineRet/ValueDifference"},
        // A statement charge keeps its item, and its quantity, in its header; it has no memo.
        {"Charge", [](CCompanyBuilder& c) -> CTxnEntry& { return c.charge("2024-01-05", "V-1").item("Widget", 5, 20.00); },
         "Amount", "Quantity", "5", "BalanceRemaining"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        SetUp();  // a fresh company for each case
        CCompanyBuilder txn(kValuationNames);
        c.write(txn).memo("Spoilt");
        const auto [id, sequence] = add(txn);
        ASSERT_NE(value("2024-01-05", "Widget"), 100000);

        const auto voided = voidTxn(c.type, id);
        ASSERT_EQ(voided[0].code, 0) << voided[0].message;
        EXPECT_EQ(textAt(voided[0].node, "TxnVoidType"), c.type);
        EXPECT_EQ(textAt(voided[0].node, "TxnID"), id);
        EXPECT_NE(textAt(voided[0].node, "TimeModified"), "<missing>");

        const auto found = txnById(c.type, id);
        ASSERT_EQ(found[0].rets().size(), 1u);
        const xmlNodePtr ret = found[0].rets()[0];
        EXPECT_NE(textAt(ret, "EditSequence"), sequence);
        EXPECT_EQ(textAt(ret, "Memo"), c.type == std::string("Charge") ? "<missing>" : "VOID: Spoilt");
        if (*c.totalTag) {
            EXPECT_EQ(textAt(ret, c.totalTag), "0.00");
        }
        EXPECT_EQ(textAt(ret, c.quantityPath), c.quantity);
        EXPECT_EQ(textAt(ret, c.amountPath), "0.00");

        EXPECT_EQ(row("2024-01-05", "Widget").quantity, 100);
        EXPECT_EQ(value("2024-01-05", "Widget"), 100000);
        const auto item = ok("<ItemInventoryQueryRq><FullName>Widget</FullName></ItemInventoryQueryRq>");
        EXPECT_EQ(textAt(item[0].rets().at(0), "QuantityOnHand"), "100");

        const auto modified = ok("<" + std::string(c.type) + "QueryRq><ModifiedDateRangeFilter><FromModifiedDate>" +
                                 textAt(voided[0].node, "TimeModified") + "</FromModifiedDate>"
                                 "</ModifiedDateRangeFilter></" + c.type + "QueryRq>");
        std::vector<std::string> ids;
        for (xmlNodePtr r : modified[0].rets()) ids.push_back(textAt(r, "TxnID"));
        EXPECT_THAT(ids, Contains(id));
    }
}

// What QuickBooks refuses: a second void, a TxnID it does not hold under that type, a
// transaction on or before the closing date (left as it was). A missing memo becomes
// "VOID:".
TEST_F(QbSimVoidTest, RefusesWhatCannotBeVoided) {
    const auto [id, sequence] = add(receipt("Bill", "2024-01-05", "Widget", "5", "12.00"));
    ASSERT_EQ(voidTxn("Bill", id)[0].code, 0);
    EXPECT_EQ(textAt(txnById("Bill", id)[0].rets().at(0), "Memo"), "VOID:");

    const auto [closedId, closedSequence] = add(receipt("Bill", "2024-01-06", "Widget", "5", "12.00"));
    const auto [invoiceId, invoiceSequence] = add(sale("Invoice", "2024-02-06", "Widget", "1"));
    const struct {
        const char* label;
        std::string type, id;
        int code;
    } cases[] = {
        {"voided twice", "Bill", id, 3180},
        {"no such TxnID", "Bill", "FFFF-1", 3120},
        {"of another type", "Invoice", closedId, 3120},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(voidTxn(c.type, c.id)[0].code, c.code);
    }
    company->setClosingDate("2024-01-31");
    EXPECT_EQ(voidTxn("Bill", closedId)[0].code, 3171);
    EXPECT_EQ(textAt(txnById("Bill", closedId)[0].rets().at(0), "EditSequence"), closedSequence);
    EXPECT_EQ(value("2024-01-06", "Widget"), 100000 + 6000);
    EXPECT_EQ(voidTxn("Invoice", invoiceId)[0].code, 0);
}

class QbSimReceiveBillTest : public QbSimVoidTest {
protected:
    void SetUp() override {
        QbSimVoidTest::SetUp();
        if (IsSkipped()) return;
        inventoryItem("Bolt", "0.50");
        ok(CCompanyBuilder(kValuationNames).itemGroup("Pack").part("Bolt", 4));
        // Item line 1 is the widgets, item line 2 the bolts inside the pack.
        CCompanyBuilder c(kValuationNames);
        c.itemReceipt("2024-01-03", "IR-1").line("Widget", 10, 8.00).group("Pack", 1);
        c.invoice("2024-01-04", "S-1").line("Widget", 5).rate(20.00);
        const auto rs = ok(c);
        receiptId = textAt(rs[0].rets().at(0), "TxnID");
        receiptSequence = textAt(rs[0].rets().at(0), "EditSequence");
    }
    std::string receiptId, receiptSequence;
};

// The receipt becomes a bill under its TxnID, through the file as the end-to-end tests
// reach it: dated as asked, with the amounts given, gone from the item-receipt lists;
// the valuation follows the bill's date and amounts.
TEST_F(QbSimReceiveBillTest, TheReceiptBecomesABillOfItsDateAndAmounts) {
    CQbSimBillForReceipt kept;
    kept.keepReceiptDate = true;
    kept.amounts = {{1, 100.00}, {2, 3.00}};
    CQbSimBillForReceipt later;
    later.date = "2024-01-10";
    const struct {
        const char* label;
        CQbSimBillForReceipt bill;
        std::string date, widgetCost, boltCost, packTotal, amountDue;
        std::int64_t onJan3, onJan10;  // the widgets' value
    } cases[] = {
        // 100 x 10.00 + 10 at 100.00; 5 sold at 10.00 on 01/04.
        {"receipt's date, new amounts", kept, "2024-01-03", "10.00", "0.75", "3.00", "103.00", 110000, 105000},
        // Not received until 01/10: 5 sold at 10.00 on 01/04, then 10 at 8.00.
        {"a later date", later, "2024-01-10", "8.00", "0.50", "2.00", "82.00", 100000, 95000 + 8000},
        {"today", CQbSimBillForReceipt{}, qbsimToday(), "8.00", "0.50", "2.00", "82.00", 100000, 95000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        SetUp();
        ASSERT_EQ(value("2024-01-03", "Widget"), 108000);
        qbsimEnterBillForReceivedItems(dir.file("co.qbw"), receiptId, c.bill);

        EXPECT_EQ(txnById("ItemReceipt", receiptId)[0].code, 3120);
        EXPECT_EQ(send("<ItemReceiptQueryRq/>")[0].code, 1);
        const auto bill = txnById("Bill", receiptId);
        ASSERT_EQ(bill[0].rets().size(), 1u);
        const xmlNodePtr ret = bill[0].rets()[0];
        EXPECT_NE(textAt(ret, "EditSequence"), receiptSequence);
        EXPECT_EQ(textAt(ret, "TxnDate"), c.date);
        EXPECT_EQ(textAt(ret, "RefNumber"), "IR-1");
        EXPECT_EQ(textAt(ret, "ItemLineRet/Cost"), c.widgetCost);
        EXPECT_EQ(textAt(ret, "ItemLineRet/Quantity"), "10");
        EXPECT_EQ(textAt(ret, "ItemGroupLineRet/ItemLineRet/Cost"), c.boltCost);
        EXPECT_EQ(textAt(ret, "ItemGroupLineRet/TotalAmount"), c.packTotal);
        EXPECT_EQ(textAt(ret, "AmountDue"), c.amountDue);
        EXPECT_EQ(value("2024-01-03", "Widget"), c.onJan3);
        EXPECT_EQ(value("2024-01-10", "Widget"), c.onJan10);
    }
}

// What the window would not do: a TxnID that is no item receipt, a line the receipt
// lacks, a date besides the kept one, a receipt on or before the closing date. Each
// leaves the receipt as it was.
TEST_F(QbSimReceiveBillTest, RefusesWhatTheWindowRefuses) {
    CQbSimBillForReceipt plain;
    CQbSimBillForReceipt line3;
    line3.amounts = {{3, 1.00}};
    CQbSimBillForReceipt both;
    both.date = "2024-01-10";
    both.keepReceiptDate = true;
    const auto invoices = ok("<InvoiceQueryRq/>");
    const std::string invoiceId = textAt(invoices[0].rets().at(0), "TxnID");
    const struct {
        const char* label;
        std::string id;
        CQbSimBillForReceipt bill;
        int code;
    } cases[] = {
        {"no such TxnID", "FFFF-1", plain, 3120},
        {"an invoice", invoiceId, plain, 3120},
        {"no line 3", receiptId, line3, 3210},
        {"two dates", receiptId, both, 3210},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        try {
            engine->enterBillForReceivedItems(c.id, c.bill);
            ADD_FAILURE() << "not refused";
        } catch (const CQbSimStatus& status) {
            EXPECT_EQ(status.code, c.code) << status.what();
        }
    }
    company->setClosingDate("2024-01-03");
    EXPECT_THROW(engine->enterBillForReceivedItems(receiptId, plain), CQbSimStatus);
    EXPECT_EQ(textAt(txnById("ItemReceipt", receiptId)[0].rets().at(0), "EditSequence"), receiptSequence);
    EXPECT_EQ(value("2024-01-03", "Widget"), 108000);
}

// A BillAdd may link the receipt: it becomes the bill, dated the request's date with
// its reference number. A link to a transaction that does not exist is refused.
TEST_F(QbSimReceiveBillTest, ABillAddLinkingTheReceiptEntersItsBill) {
    auto billFor = [&](const std::string& link) {
        return "<BillAddRq><BillAdd>" + ref("VendorRef", "Mill") + "<TxnDate>2024-01-08</TxnDate>"
               "<RefNumber>INV-77</RefNumber><LinkToTxnID>" + link + "</LinkToTxnID></BillAdd></BillAddRq>";
    };
    EXPECT_EQ(send(billFor("FFFF-1"))[0].code, 3120);
    const auto added = ok(billFor(receiptId));
    const xmlNodePtr ret = added[0].rets().at(0);
    EXPECT_EQ(textAt(ret, "TxnID"), receiptId);
    EXPECT_EQ(textAt(ret, "TxnDate"), "2024-01-08");
    EXPECT_EQ(textAt(ret, "RefNumber"), "INV-77");
    EXPECT_EQ(send("<ItemReceiptQueryRq/>")[0].code, 1);
    EXPECT_EQ(value("2024-01-03", "Widget"), 100000);
    EXPECT_EQ(value("2024-01-08", "Widget"), 95000 + 8000);
}

// `qbsim receive-bill` does the same from the command line; a malformed amount or a
// date with --keep-date is refused before anything is written.
TEST_F(QbSimReceiveBillTest, TheCommandLineEntersTheBill) {
    auto run = [&](const std::string& arguments) {
        const int status = std::system(("'" + std::string(QBSIM_TOOL) + "' receive-bill '" + dir.file("co.qbw") +
                                        "' " + arguments + " 2>/dev/null").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run(receiptId + " --keep-date --date 2024-01-10"), 2);
    EXPECT_EQ(run(receiptId + " --amount 1=12.5"), 1);
    EXPECT_EQ(run("FFFF-1 --keep-date"), 1);
    EXPECT_EQ(txnById("ItemReceipt", receiptId)[0].code, 0);
    EXPECT_EQ(run(receiptId + " --keep-date --amount 1=100.00"), 0);
    EXPECT_EQ(textAt(txnById("Bill", receiptId)[0].rets().at(0), "TxnDate"), "2024-01-03");
    EXPECT_EQ(value("2024-01-03", "Widget"), 110000);
}

}  // namespace
