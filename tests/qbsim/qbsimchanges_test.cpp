// What a client needs to find changes behind a period it has valued: the deletion log
// (TxnDeletedQueryRq), custom-field deletion, TimeModified and EditSequence moved by
// custom-field writes and by InvoiceModRq, the modified-date filter of every transaction
// query, an invoice moved to another date, and QuickBooks' FIFO preference. Requests and
// responses go through Intuit's schema.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>

using ::testing::ElementsAre;

namespace {

const std::string kOwner = "{6B063959-81B0-4B2A-A4E7-6FDA5B69A4B4}";

class QbSimChangesTest : public CValuationFixture {
protected:
    void SetUp() override {
        CValuationFixture::SetUp();
        checkSchema(true);
        if (IsSkipped()) return;
        // Times from here on are set by each test, later than anything written so far.
        start = company->now() + 1000;
        ok("<AccountAddRq><AccountAdd><Name>Visa</Name><AccountType>CreditCard</AccountType></AccountAdd>"
             "</AccountAddRq><DataExtDefAddRq><DataExtDefAdd><OwnerID>" + kOwner +
             "</OwnerID><DataExtName>Note</DataExtName><DataExtType>STR255TYPE</DataExtType></DataExtDefAdd>"
             "</DataExtDefAddRq>");
        inventoryItem("Widget", "10.00");
    }

    // Adds a transaction at the given time; returns its TxnID.
    std::string addAt(std::int64_t time, const std::string& request) {
        company->freezeClock(time);
        return textAt(ok(request)[0].rets().at(0), "TxnID");
    }
    // The custom-field request `op` (Add, Mod, Del) of the Note field on a transaction
    // (or its line).
    static std::string note(const std::string& op, const std::string& type, const std::string& txnId,
                            const std::string& lineId = "", const std::string& value = "checked") {
        return "<DataExt" + op + "Rq><DataExt" + op + "><OwnerID>" + kOwner + "</OwnerID><DataExtName>Note" +
               "</DataExtName><TxnDataExtType>" + type + "</TxnDataExtType><TxnID>" + txnId + "</TxnID>" +
               (lineId.empty() ? "" : "<TxnLineID>" + lineId + "</TxnLineID>") +
               (op == "Del" ? "" : "<DataExtValue>" + value + "</DataExtValue>") + "</DataExt" + op + "></DataExt" +
               op + "Rq>";
    }
    xmlNodePtr invoice(const std::string& txnId, CParsedResponse& keep) {
        keep = ok("<InvoiceQueryRq><TxnID>" + txnId + "</TxnID><IncludeLineItems>true</IncludeLineItems>"
                    "<OwnerID>" + kOwner + "</OwnerID></InvoiceQueryRq>");
        return keep[0].rets().at(0);
    }
    static std::string invoiceMod(const std::string& txnId, const std::string& sequence, const std::string& fields) {
        return "<InvoiceModRq><InvoiceMod><TxnID>" + txnId + "</TxnID><EditSequence>" + sequence + "</EditSequence>" +
               fields + "</InvoiceMod></InvoiceModRq>";
    }
    // The same instant as a UTC date-time text, to check that offsets are honoured.
    static std::string utcText(std::int64_t seconds) {
        const std::time_t t = seconds;
        std::tm utc{};
        gmtime_r(&t, &utc);
        char text[40];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S+00:00", &utc);
        return text;
    }

    std::int64_t start = 0;
};

// Deleted transactions are remembered in order of deletion with their type, ids, creation
// time and RefNumber; the query selects by type and deletion time, bounds included.
TEST_F(QbSimChangesTest, DeletionLogAnswersByTypeAndDeletionTime) {
    const std::string bill = addAt(start, receipt("Bill", "2024-01-02", "Widget", "5", "10.00"));
    const std::string sold = addAt(start + 1, sale("Invoice", "2024-01-03", "Widget", "1"));
    CParsedResponse keep("");
    ok(invoiceMod(sold, textAt(invoice(sold, keep), "EditSequence"), "<RefNumber>S-1</RefNumber>"));
    company->freezeClock(start + 100);
    const auto deleted = ok("<TxnDelRq><TxnDelType>Invoice</TxnDelType><TxnID>" + sold + "</TxnID></TxnDelRq>");
    company->freezeClock(start + 200);
    deleteTxn("Bill", bill);

    auto query = [&](const std::string& types, const std::string& filter = "") {
        return send("<TxnDeletedQueryRq>" + types + filter + "</TxnDeletedQueryRq>");
    };
    auto ids = [](const CParsedResponse& rs) {
        std::vector<std::string> found;
        for (xmlNodePtr ret : rs[0].rets()) found.push_back(textAt(ret, "TxnID"));
        return found;
    };
    const std::string both = "<TxnDelType>Invoice</TxnDelType><TxnDelType>Bill</TxnDelType>";
    const auto all = query(both);
    EXPECT_THAT(ids(all), ElementsAre(sold, bill));
    const xmlNodePtr first = all[0].rets().at(0);
    EXPECT_THAT(childNames(first), ElementsAre("TxnDelType", "TxnID", "TimeCreated", "TimeDeleted", "RefNumber"));
    EXPECT_EQ(textAt(first, "TxnDelType"), "Invoice");
    EXPECT_EQ(textAt(first, "RefNumber"), "S-1");
    EXPECT_EQ(textAt(first, "TimeCreated"), qbsimDateTimeText(start + 1));
    EXPECT_EQ(textAt(first, "TimeDeleted"), textAt(deleted[0].node, "TimeDeleted"));
    EXPECT_EQ(textAt(first, "TimeDeleted"), qbsimDateTimeText(start + 100));
    EXPECT_THAT(ids(query("<TxnDelType>Bill</TxnDelType>")), ElementsAre(bill));

    auto range = [](const std::string& from, const std::string& to) {
        return "<DeletedDateRangeFilter>" + (from.empty() ? "" : "<FromDeletedDate>" + from + "</FromDeletedDate>") +
               (to.empty() ? "" : "<ToDeletedDate>" + to + "</ToDeletedDate>") + "</DeletedDateRangeFilter>";
    };
    EXPECT_THAT(ids(query(both, range(qbsimDateTimeText(start + 100), qbsimDateTimeText(start + 199)))),
                ElementsAre(sold));
    EXPECT_THAT(ids(query(both, range(utcText(start + 101), ""))), ElementsAre(bill));
    EXPECT_EQ(query(both, range(qbsimDateTimeText(start + 201), ""))[0].code, 1);
    EXPECT_EQ(query("<TxnDelType>CreditMemo</TxnDelType>")[0].message,
              "A query request did not find a matching object in QuickBooks");
    EXPECT_EQ(query(both, range(utcText(start + 200), utcText(start + 100)))[0].code, 3030);
}

// A file written before the deletion log existed gets it when opened.
TEST_F(QbSimChangesTest, FileWithoutDeletionLogGetsItWhenOpened) {
    const std::string sold = addAt(start, sale("Invoice", "2024-01-03", "Widget", "1"));
    engine.reset();
    company.reset();
    CQbSimDb(dir.file("co.qbw"), false).exec("DROP TABLE txn_deleted;");
    company = CQbSimCompany::open(dir.file("co.qbw"));
    engine = std::make_unique<CQbSimEngine>(*company, schema);
    EXPECT_EQ(send("<TxnDeletedQueryRq><TxnDelType>Invoice</TxnDelType></TxnDeletedQueryRq>")[0].code, 1);
    deleteTxn("Invoice", sold);
    const auto log = ok("<TxnDeletedQueryRq><TxnDelType>Invoice</TxnDelType></TxnDeletedQueryRq>");
    EXPECT_EQ(textAt(log[0].rets().at(0), "TxnID"), sold);
}

// DataExtDel removes one value of the company, a transaction, a line or an item and
// answers where it was; a missing definition, object or value is 3120. Deleting a
// definition takes its values with it, so a definition added again under the name
// starts empty.
TEST_F(QbSimChangesTest, DataExtDelRemovesOneValueAndDefinitionsTakeTheirValues) {
    const std::string sold = addAt(start, sale("Invoice", "2024-01-03", "Widget", "1"));
    CParsedResponse keep("");
    const std::string line = textAt(invoice(sold, keep), "InvoiceLineRet/TxnLineID");
    const std::string onCompany = "<OwnerID>" + kOwner + "</OwnerID><DataExtName>Note</DataExtName>"
                                  "<OtherDataExtType>Company</OtherDataExtType>";
    const std::string item = "<OwnerID>" + kOwner + "</OwnerID><DataExtName>Note</DataExtName>"
                             "<ListDataExtType>Item</ListDataExtType>" + ref("ListObjRef", "Widget");
    ok("<DataExtAddRq><DataExtAdd>" + onCompany + "<DataExtValue>x</DataExtValue></DataExtAdd></DataExtAddRq>"
         "<DataExtAddRq><DataExtAdd>" + item + "<DataExtValue>y</DataExtValue></DataExtAdd></DataExtAddRq>" +
         note("Add", "Invoice", sold) + note("Add", "Invoice", sold, line));

    const auto companyDel = ok("<DataExtDelRq><DataExtDel>" + onCompany + "</DataExtDel></DataExtDelRq>");
    EXPECT_THAT(childNames(companyDel[0].rets().at(0)),
                ElementsAre("OwnerID", "DataExtName", "OtherDataExtType", "TimeDeleted"));
    const auto itemDel = ok("<DataExtDelRq><DataExtDel>" + item + "</DataExtDel></DataExtDelRq>");
    EXPECT_EQ(textAt(itemDel[0].rets().at(0), "ListObjRef/FullName"), "Widget");
    const auto lineDel = ok(note("Del", "Invoice", sold, line));
    EXPECT_THAT(childNames(lineDel[0].rets().at(0)),
                ElementsAre("OwnerID", "DataExtName", "TxnDataExtType", "TxnID", "TxnLineID", "TimeDeleted"));
    // The header's value is still there; the line's and the company's are gone.
    EXPECT_EQ(textAt(invoice(sold, keep), "DataExtRet/DataExtValue"), "checked");
    EXPECT_EQ(textAt(invoice(sold, keep), "InvoiceLineRet/DataExtRet"), "<missing>");
    const auto companyRet = ok("<CompanyQueryRq><OwnerID>" + kOwner + "</OwnerID></CompanyQueryRq>");
    EXPECT_EQ(textAt(companyRet[0].rets().at(0), "DataExtRet"), "<missing>");

    EXPECT_EQ(send(note("Del", "Invoice", sold, line))[0].code, 3120);   // the value is gone
    EXPECT_EQ(send(note("Del", "Invoice", "999-1"))[0].code, 3120);      // no such transaction
    EXPECT_EQ(send(note("Del", "Bill", sold))[0].code, 3120);            // not a bill

    const std::string definition = "<OwnerID>" + kOwner + "</OwnerID><DataExtName>Note</DataExtName>";
    ok("<DataExtDefDelRq>" + definition + "</DataExtDefDelRq>");
    EXPECT_EQ(send(note("Del", "Invoice", sold))[0].code, 3120);         // no such field
    // The values went with the definition, which cannot come back under its name and owner.
    EXPECT_EQ(send("<DataExtDefAddRq><DataExtDefAdd>" + definition +
                     "<DataExtType>STR255TYPE</DataExtType></DataExtDefAdd></DataExtDefAddRq>")[0].code,
              3100);
    EXPECT_EQ(textAt(invoice(sold, keep), "DataExtRet"), "<missing>");
    EXPECT_EQ(send(note("Mod", "Invoice", sold))[0].code, 3120);
}

// Every custom-field write on a transaction or its line gives the transaction a new
// TimeModified and EditSequence, so a Mod holding the old sequence is refused.
TEST_F(QbSimChangesTest, CustomFieldWritesModifyTheirTransaction) {
    const std::string sold = addAt(start, sale("Invoice", "2024-01-03", "Widget", "1"));
    CParsedResponse keep("");
    const std::string line = textAt(invoice(sold, keep), "InvoiceLineRet/TxnLineID");
    std::string sequence = textAt(invoice(sold, keep), "EditSequence");
    std::int64_t at = start;
    for (const std::string& request : {note("Add", "Invoice", sold), note("Mod", "Invoice", sold, "", "v2"),
                                       note("Add", "Invoice", sold, line), note("Del", "Invoice", sold, line),
                                       note("Del", "Invoice", sold)}) {
        SCOPED_TRACE(request);
        company->freezeClock(at += 10);
        ok(request);
        const xmlNodePtr ret = invoice(sold, keep);
        EXPECT_EQ(textAt(ret, "TimeModified"), qbsimDateTimeText(at));
        EXPECT_EQ(textAt(ret, "TimeCreated"), qbsimDateTimeText(start));
        EXPECT_NE(textAt(ret, "EditSequence"), sequence);
        sequence = textAt(ret, "EditSequence");
    }
    // Within the same second the sequence still moves on.
    ok(note("Add", "Invoice", sold));
    EXPECT_NE(textAt(invoice(sold, keep), "EditSequence"), sequence);
    EXPECT_EQ(send(invoiceMod(sold, sequence, "<Memo>late</Memo>"))[0].code, 3200);
}

// InvoiceModRq changes the RefNumber, Memo and date, answers the InvoiceRet with its
// lines, and refuses a stale EditSequence, an unknown invoice and fields it does not change.
TEST_F(QbSimChangesTest, InvoiceModChangesTheBody) {
    const std::string sold = addAt(start, sale("Invoice", "2024-01-03", "Widget", "1"));
    CParsedResponse keep("");
    const std::string sequence = textAt(invoice(sold, keep), "EditSequence");
    company->freezeClock(start + 50);
    const auto changed = ok(invoiceMod(sold, sequence,
                                         "<TxnDate>2024-02-01</TxnDate><RefNumber>A-7</RefNumber><Memo>moved</Memo>"));
    ASSERT_EQ(changed[0].name, "InvoiceModRs");
    const xmlNodePtr ret = changed[0].rets().at(0);
    EXPECT_EQ(textAt(ret, "TxnDate"), "2024-02-01");
    EXPECT_EQ(textAt(ret, "RefNumber"), "A-7");
    EXPECT_EQ(textAt(ret, "Memo"), "moved");
    EXPECT_EQ(textAt(ret, "InvoiceLineRet/ItemRef/FullName"), "Widget");
    EXPECT_EQ(textAt(ret, "TimeModified"), qbsimDateTimeText(start + 50));
    EXPECT_EQ(send(invoiceMod(sold, sequence, "<Memo>again</Memo>"))[0].code, 3200);

    const std::string current = textAt(ret, "EditSequence");
    const auto cleared = ok(invoiceMod(sold, current, "<RefNumber></RefNumber>"));
    EXPECT_EQ(textAt(cleared[0].rets().at(0), "RefNumber"), "<missing>");
    EXPECT_EQ(textAt(cleared[0].rets().at(0), "Memo"), "moved");
    EXPECT_EQ(send(invoiceMod("999-1", current, "<Memo>x</Memo>"))[0].code, 3120);
    const std::string now = textAt(cleared[0].rets().at(0), "EditSequence");
    EXPECT_EQ(send(invoiceMod(sold, now, ref("CustomerRef", "Shop")))[0].code, 3210);
    EXPECT_EQ(send(invoiceMod(sold, now, "<TxnDate>1900-12-31</TxnDate>"))[0].code, 3020);
}

// An invoice moved to another date values the stock as if it had been entered on that
// date, also in a ledger that had already evaluated the period: the same report as a
// company that had the invoice on the new date from the start.
TEST_F(QbSimChangesTest, InvoiceMovedToAnotherDateValuesAsIfEnteredThere) {
    const std::vector<std::string> dates = {"2024-01-04", "2024-01-05", "2024-01-09", "2024-01-10",
                                            "2024-01-14", "2024-01-15", "2024-01-31"};
    auto history = [&](const std::string& invoiceDate) {
        ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00"));
        const std::string txnId = textAt(ok(sale("Invoice", invoiceDate, "Widget", "5"))[0].rets().at(0), "TxnID");
        ok(receipt("Bill", "2024-01-10", "Widget", "10", "20.00") +
             sale("SalesReceipt", "2024-01-12", "Widget", "2"));
        return txnId;
    };
    // The summary over the dates, evaluated (and so cached by the ledger) in date order.
    auto report = [&]() {
        std::vector<std::string> rows;
        for (const auto& date : dates)
            for (const auto& r : engine->valuationSummary(date, CQbSimEngine::valuationKinds(std::nullopt)))
                if (r.kind == CQbSimEngine::CValuationRow::Data)
                    rows.push_back(date + " " + qbsimQuantityText(r.quantity) + " " + qbsimAmountText(r.valueCents));
        return rows;
    };
    // A fresh company with the history, the invoice on the date.
    auto fresh = [&](const std::string& invoiceDate) {
        open({"Valuation Co"});
        engine = std::make_unique<CQbSimEngine>(*company, schema);
        inventoryItem("Widget", "10.00");
        return history(invoiceDate);
    };
    fresh("2024-01-15");
    const auto late = report();

    const std::string sold = fresh("2024-01-05");
    const auto before = report();
    ASSERT_NE(before, late);
    CParsedResponse keep("");
    const std::string later =
        textAt(ok(invoiceMod(sold, textAt(invoice(sold, keep), "EditSequence"), "<TxnDate>2024-01-15</TxnDate>"))[0]
                   .rets()
                   .at(0),
               "EditSequence");
    EXPECT_EQ(report(), late);
    // And back again, before everything the ledger has evaluated since.
    ok(invoiceMod(sold, later, "<TxnDate>2024-01-05</TxnDate>"));
    EXPECT_EQ(report(), before);
}

// ModifiedDateRangeFilter selects by TimeModified, bounds included and offsets honoured,
// in every transaction query; the schema does not let it go with a TxnDateRangeFilter.
TEST_F(QbSimChangesTest, ModifiedDateFilterWorksForEveryTransactionQuery) {
    assembly("Kit", {{"Widget", "1"}});
    ok(receipt("Bill", "2023-12-31", "Widget", "100", "10.00"));
    const struct {
        const char* type;
        std::string add;
    } kinds[] = {
        {"Bill", receipt("Bill", "2024-01-02", "Widget", "1", "10.00")},
        {"ItemReceipt", receipt("ItemReceipt", "2024-01-02", "Widget", "1", "10.00")},
        {"Check", receipt("Check", "2024-01-02", "Widget", "1", "10.00")},
        {"CreditCardCharge", "<CreditCardChargeAddRq><CreditCardChargeAdd>" + ref("AccountRef", "Visa") +
                                 "<TxnDate>2024-01-02</TxnDate><ItemLineAdd>" + ref("ItemRef", "Widget") +
                                 "<Quantity>1</Quantity></ItemLineAdd></CreditCardChargeAdd></CreditCardChargeAddRq>"},
        {"Invoice", sale("Invoice", "2024-01-02", "Widget", "1")},
        {"SalesReceipt", sale("SalesReceipt", "2024-01-02", "Widget", "1")},
        {"CreditMemo", sale("CreditMemo", "2024-01-02", "Widget", "1")},
        {"InventoryAdjustment",
         adjustment("2024-01-02", "Widget", "<QuantityAdjustment><QuantityDifference>1</QuantityDifference>"
                                            "</QuantityAdjustment>")},
        {"BuildAssembly", build("2024-01-02", "Kit", "1")},
    };
    std::int64_t base = start;
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.type);
        const std::string type = k.type;
        base += 100;
        const std::string a = addAt(base, k.add);
        const std::string b = addAt(base + 10, k.add);
        company->freezeClock(base + 20);
        ok(note("Add", type, a));  // a is modified after b
        auto query = [&](const std::string& from, const std::string& to) {
            const auto rs = send("<" + type + "QueryRq><ModifiedDateRangeFilter>" +
                                   (from.empty() ? "" : "<FromModifiedDate>" + from + "</FromModifiedDate>") +
                                   (to.empty() ? "" : "<ToModifiedDate>" + to + "</ToModifiedDate>") +
                                   "</ModifiedDateRangeFilter></" + type + "QueryRq>");
            std::vector<std::string> found;
            for (xmlNodePtr ret : rs[0].rets()) found.push_back(textAt(ret, "TxnID"));
            if (rs[0].code != 0) found.push_back("status " + std::to_string(rs[0].code));
            return found;
        };
        EXPECT_THAT(query(qbsimDateTimeText(base + 10), qbsimDateTimeText(base + 10)), ElementsAre(b));
        EXPECT_THAT(query(qbsimDateTimeText(base + 10), ""), ElementsAre(a, b));
        EXPECT_THAT(query(utcText(base + 11), utcText(base + 20)), ElementsAre(a));
        EXPECT_THAT(query(qbsimDateTimeText(base), qbsimDateTimeText(base + 9)), ElementsAre("status 1"));
        EXPECT_THAT(query(utcText(base + 20), utcText(base + 10)), ElementsAre("status 3030"));
        EXPECT_THROW(engine->processRequest(envelope(
                         "<" + type + "QueryRq><ModifiedDateRangeFilter><FromModifiedDate>" + utcText(base) +
                         "</FromModifiedDate></ModifiedDateRangeFilter><TxnDateRangeFilter><FromTxnDate>2024-01-01"
                         "</FromTxnDate></TxnDateRangeFilter></" + type + "QueryRq>")),
                     CQbSimParseError);
    }
}

// The FIFO preference is kept in the file and reported with its effective date; a
// company without it reports FIFO off and no date.
TEST_F(QbSimChangesTest, FifoPreferenceIsReportedWithItsEffectiveDate) {
    auto preferences = [&](const CQbSimCompanyOptions& options) {
        open(options);
        engine = std::make_unique<CQbSimEngine>(*company, schema);
        const auto rs = ok("<PreferencesQueryRq/>");
        const xmlNodePtr items = qbsimChild(rs[0].rets().at(0), "ItemsAndInventoryPreferences");
        return textAt(items, "FIFOEnabled") + " " + textAt(items, "FIFOEffectiveDate");
    };
    EXPECT_EQ(preferences({"Plain Co"}), "false <missing>");
    EXPECT_EQ(preferences({"Fifo Co", false, false, true, "2024-03-01"}), "true 2024-03-01");
    EXPECT_EQ(preferences({"Fifo Co", false, false, true}), "true " + qbsimToday());
    EXPECT_THROW(CQbSimCompany::create(dir.file("bad.qbw"), {"Bad", false, false, true, "2024-02-30"}),
                 CQbSimCompanyError);

    const std::string file = dir.file("tool.qbw");
    ASSERT_EQ(std::system(("'" + std::string(QBSIM_TOOL) + "' create '" + file +
                           "' --name 'Tool Co' --fifo-preference 2023-07-01")
                              .c_str()),
              0);
    const auto made = CQbSimCompany::open(file);
    EXPECT_TRUE(made->fifo());
    EXPECT_EQ(made->fifoEffectiveDate(), "2023-07-01");
}

}  // namespace
