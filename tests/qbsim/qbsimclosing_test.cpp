// What the stand-in refuses as QuickBooks does: writes to transactions dated on or
// before the company's closing date (3171, nothing written), and a private custom-field
// definition defined again under the name and owner of a deleted one.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>

using ::testing::StartsWith;

namespace {

const std::string kOwner = "{6B063959-81B0-4622-85D6-F548C8CCB517}";

std::string defineNote(const std::string& owner, const std::string& name) {
    return "<DataExtDefAddRq><DataExtDefAdd><OwnerID>" + owner + "</OwnerID><DataExtName>" + name +
           "</DataExtName><DataExtType>STR255TYPE</DataExtType><AssignToObject>Bill</AssignToObject>"
           "</DataExtDefAdd></DataExtDefAddRq>";
}

std::string deleteDefinition(const std::string& owner, const std::string& name) {
    return "<DataExtDefDelRq><OwnerID>" + owner + "</OwnerID><DataExtName>" + name +
           "</DataExtName></DataExtDefDelRq>";
}

// A DataExtAdd, DataExtMod or DataExtDel of the note on a bill.
std::string billNote(const std::string& verb, const std::string& txnId, const std::string& value) {
    return "<DataExt" + verb + "Rq><DataExt" + verb + "><OwnerID>" + kOwner +
           "</OwnerID><DataExtName>Note</DataExtName><TxnDataExtType>Bill</TxnDataExtType><TxnID>" + txnId +
           "</TxnID>" + (verb == "Del" ? "" : "<DataExtValue>" + value + "</DataExtValue>") + "</DataExt" + verb +
           "></DataExt" + verb + "Rq>";
}

class QbSimClosingDate : public CValuationFixture {
protected:
    // Every request of these tests must be one QuickBooks would parse.
    void SetUp() override {
        CValuationFixture::SetUp();
        checkSchema(false);
    }
    struct CTxn {
        std::string id, sequence;
    };
    CTxn add(const std::string& request) {
        const auto rs = ok(request);
        if (rs[0].rets().empty()) return {};
        return {textAt(rs[0].rets()[0], "TxnID"), textAt(rs[0].rets()[0], "EditSequence")};
    }
};

}  // namespace

// Books closed on 03/31/2024: every write to a transaction dated on or before it is
// refused, whatever the request; the same writes dated after it go through.
TEST_F(QbSimClosingDate, RefusesWritesOnOrBeforeItAndNothingIsWritten) {
    inventoryItem("Bolt", "0.25");
    assembly("Kit", {{"Bolt", "4"}});
    ok(defineNote(kOwner, "Note"));
    const CTxn closedBill = add(receipt("Bill", "2024-03-15", "Bolt", "100", "0.25"));
    const CTxn openBill = add(receipt("Bill", "2024-04-01", "Bolt", "100", "0.30"));
    const CTxn closedInvoice = add(sale("Invoice", "2024-03-20", "Bolt", "1"));
    const CTxn openInvoice = add(sale("Invoice", "2024-04-02", "Bolt", "1"));
    const CTxn closedBuild = add(build("2024-03-31", "Kit", "1"));
    ok(billNote("Add", closedBill.id, "kept"));
    company->setClosingDate("2024-03-31");

    const std::string invoiceMod = "<InvoiceModRq><InvoiceMod><TxnID>%ID%</TxnID><EditSequence>%SEQ%"
                                   "</EditSequence><TxnDate>%DATE%</TxnDate></InvoiceMod></InvoiceModRq>";
    auto modInvoice = [&](const CTxn& txn, const std::string& date) {
        std::string text = invoiceMod;
        text.replace(text.find("%ID%"), 4, txn.id);
        text.replace(text.find("%SEQ%"), 5, txn.sequence);
        text.replace(text.find("%DATE%"), 6, date);
        return text;
    };
    const struct {
        const char* label;
        std::string request;
        int code;
    } cases[] = {
        {"bill on the closing date", receipt("Bill", "2024-03-31", "Bolt", "1", "0.25"), 3171},
        {"adjustment before it", adjustment("2024-01-02", "Bolt", "<QuantityAdjustment><NewQuantity>1"
                                                                   "</NewQuantity></QuantityAdjustment>"), 3171},
        {"bill the day after", receipt("Bill", "2024-04-01", "Bolt", "1", "0.25"), 0},
        {"delete a closed bill",
         "<TxnDelRq><TxnDelType>Bill</TxnDelType><TxnID>" + closedBill.id + "</TxnID></TxnDelRq>", 3171},
        {"note added on a closed bill", billNote("Add", closedBill.id, "x"), 3171},
        {"note added on an open bill", billNote("Add", openBill.id, "x"), 0},
        {"note changed on a closed bill", billNote("Mod", closedBill.id, "changed"), 3171},
        {"note deleted on a closed bill", billNote("Del", closedBill.id, ""), 3171},
        {"closed invoice moved out", modInvoice(closedInvoice, "2024-04-05"), 3171},
        {"open invoice moved in", modInvoice(openInvoice, "2024-03-31"), 3171},
        {"closed build", "<BuildAssemblyModRq><BuildAssemblyMod><TxnID>" + closedBuild.id +
                             "</TxnID><EditSequence>" + closedBuild.sequence +
                             "</EditSequence><Memo>m</Memo></BuildAssemblyMod></BuildAssemblyModRq>", 3171},
        {"open invoice moved later", modInvoice(openInvoice, "2024-04-03"), 0},
        {"delete an open bill",
         "<TxnDelRq><TxnDelType>Bill</TxnDelType><TxnID>" + openBill.id + "</TxnID></TxnDelRq>", 0},
    };
    for (const auto& c : cases) {
        const auto rs = send(c.request);
        ASSERT_EQ(rs.size(), 1u) << c.label;
        EXPECT_EQ(rs[0].code, c.code) << c.label << ": " << rs[0].message;
        if (c.code == 3171) {
            EXPECT_EQ(rs[0].severity, "Error") << c.label;
            EXPECT_THAT(rs[0].message, StartsWith("An attempt was made to ")) << c.label;
            EXPECT_THAT(rs[0].message, ::testing::HasSubstr(" with a date that is on or before the closing date "
                                                            "of the company.")) << c.label;
        }
    }

    // The closed bill still stands with its note; the closed invoice kept its date.
    const auto bills = ok("<BillQueryRq><TxnID>" + closedBill.id + "</TxnID><OwnerID>" + kOwner +
                          "</OwnerID></BillQueryRq>");
    ASSERT_EQ(bills[0].rets().size(), 1u);
    EXPECT_EQ(textAt(bills[0].rets()[0], "DataExtRet/DataExtValue"), "kept");
    const auto invoices = ok("<InvoiceQueryRq><TxnID>" + closedInvoice.id + "</TxnID></InvoiceQueryRq>");
    EXPECT_EQ(textAt(invoices[0].rets()[0], "TxnDate"), "2024-03-20");
    // 100 received, 1 sold and 4 built into the kit by then; the refused adjustment and
    // bill changed nothing.
    EXPECT_DOUBLE_EQ(row("2024-03-31", "Bolt").quantity, 95.0);
}

TEST_F(QbSimClosingDate, PreferencesReportIt) {
    auto closingDate = [&] {
        const auto rs = ok("<PreferencesQueryRq/>");
        return textAt(rs[0].rets()[0], "AccountingPreferences/ClosingDate");
    };
    EXPECT_EQ(closingDate(), "<missing>");
    company->setClosingDate("2023-12-31");
    EXPECT_EQ(closingDate(), "2023-12-31");
    send("<PreferencesQueryRq/>");  // whose answer goes through the schema
    EXPECT_THROW(company->setClosingDate("12/31/2023"), CQbSimCompanyError);
    CQbSimCompanyOptions bad{"Bad"};
    bad.closingDate = "2023-13";
    EXPECT_THROW(CQbSimCompany::create(dir.file("bad.qbw"), bad), CQbSimCompanyError);
}

// A deleted private definition cannot be defined again under its name and owner (in any
// case); another owner may use the name, and public fields may come back.
TEST_F(QbSimClosingDate, DeletedPrivateDefinitionCannotComeBack) {
    std::string lower = kOwner;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string otherOwner = "{11111111-2222-3333-4444-555555555555}";
    const struct {
        std::string request;
        int code;
    } steps[] = {
        {defineNote(kOwner, "Gone"), 0},
        {deleteDefinition(kOwner, "Gone"), 0},
        {defineNote(kOwner, "Gone"), 3100},
        {defineNote(lower, "GONE"), 3100},
        {defineNote(otherOwner, "Gone"), 0},
        {defineNote("0", "Public"), 0},
        {deleteDefinition("0", "Public"), 0},
        {defineNote("0", "Public"), 0},
    };
    for (const auto& step : steps) {
        const auto rs = send(step.request);
        EXPECT_EQ(rs[0].code, step.code) << step.request << ": " << rs[0].message;
    }
    // The file remembers it: another session on it refuses the same.
    CQbSimEngine again(*company, nullptr);
    const CParsedResponse rs(again.processRequest(envelope(defineNote(kOwner, "Gone"))));
    EXPECT_EQ(rs[0].code, 3100);
}
