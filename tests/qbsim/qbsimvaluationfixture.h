// The fixture of the stand-in's tests: a small company (accounts, a vendor and a
// customer) in a temporary file, short builders for the transactions that move stock,
// and, for the tests that ask for it, Intuit's schema checking every request and answer.
#pragma once

#include "companybuilder.h"
#include "qbsimschema.h"
#include "qbsimtesthelpers.h"

#include <gtest/gtest.h>

// The names of the fixture's lists.
inline const CCompanyNames kValuationNames{.vendor = "Mill", .customer = "Shop", .cogs = "COGS"};

class CValuationFixture : public ::testing::Test {
protected:
    void SetUp() override { open({"Valuation Co", false, false}); }

    // A new company file of the options with the fixture's lists.
    void open(const CQbSimCompanyOptions& options) {
        engine.reset();
        company.reset();
        std::filesystem::remove(dir.file("co.qbw"));
        company = CQbSimCompany::create(dir.file("co.qbw"), options);
        engine = std::make_unique<CQbSimEngine>(*company, schema);
        CCompanyBuilder lists(kValuationNames);
        lists.account("Checking", "Bank").account("Sales", "Income").account("COGS", "CostOfGoodsSold");
        lists.account("Inventory Asset", "OtherCurrentAsset").vendor("Mill").customer("Shop");
        ok(lists);
    }

    // From here on every request goes through Intuit's schema, and every answer is
    // checked against it too. Without the schema at hand the test is skipped when
    // `required` (the caller returns on IsSkipped()), and goes unchecked otherwise.
    void checkSchema(bool required) {
        if (!std::filesystem::exists(qbsimTestSchemaPath())) {
            if (required) GTEST_SKIP() << "qbXML schema not found at " << qbsimTestSchemaPath();
            return;
        }
        schema = CQbSimSchema::load(qbsimTestSchemaPath());
        if (company) engine = std::make_unique<CQbSimEngine>(*company, schema);
    }

    CParsedResponse send(const std::string& body) {
        CParsedResponse rs(engine->processRequest(envelope(body)));
        EXPECT_TRUE(rs.ok());
        if (schema) {
            EXPECT_EQ(schema->validate(rs.document()), "");
        }
        return rs;
    }
    // send(), expecting every request to succeed.
    CParsedResponse ok(const std::string& body) {
        auto rs = send(body);
        for (const auto& r : rs.all()) EXPECT_EQ(r.code, 0) << r.name << ": " << r.message;
        return rs;
    }

    static std::string ref(const char* tag, const std::string& name) { return companybuilder::ref(tag, name); }
    void inventoryItem(const std::string& name, const std::string& cost, const std::string& extra = "",
                       const std::string& parent = "", const std::string& price = "") {
        CCompanyBuilder item(kValuationNames);
        item.item(name).cost(cost).extra(extra).parent(parent).price(price);
        ok(item);
    }
    void serviceItem(const std::string& name, const std::string& price) {
        ok(CCompanyBuilder(kValuationNames).service(name, price));
    }
    // parts: (name, quantity) pairs.
    void assembly(const std::string& name, const std::vector<std::pair<std::string, std::string>>& parts) {
        CCompanyBuilder item(kValuationNames);
        CItemEntry& assembly = item.assembly(name);
        for (const auto& [part, quantity] : parts) assembly.part(part, quantity);
        ok(item);
    }

    // A receipt of one line: kind is Bill, ItemReceipt or Check.
    static std::string receipt(const std::string& kind, const std::string& date, const std::string& item,
                               const std::string& quantity, const std::string& cost, const std::string& rate = "") {
        CCompanyBuilder c(kValuationNames);
        CTxnEntry& txn = kind == "Check" ? c.check(date) : kind == "Bill" ? c.bill(date) : c.itemReceipt(date);
        return txn.exchangeRate(rate).line(item, quantity, cost);
    }
    // A sale of one line: kind is Invoice, SalesReceipt or CreditMemo.
    static std::string sale(const std::string& kind, const std::string& date, const std::string& item,
                            const std::string& quantity, bool pending = false) {
        CCompanyBuilder c(kValuationNames);
        CTxnEntry& txn = kind == "Invoice" ? c.invoice(date) : kind == "SalesReceipt" ? c.salesReceipt(date)
                                                                                       : c.creditMemo(date);
        if (pending) txn.pending();
        return txn.line(item, quantity).rate("20.00");
    }
    // An inventory adjustment of one line; adjustment is the QuantityAdjustment or
    // ValueAdjustment element.
    static std::string adjustment(const std::string& date, const std::string& item, const std::string& adjustment) {
        CCompanyBuilder c(kValuationNames);
        return c.adjustment(date).adjust(item, adjustment);
    }
    static std::string build(const std::string& date, const std::string& item, const std::string& quantity,
                             bool markPending = false) {
        CCompanyBuilder c(kValuationNames);
        CTxnEntry& txn = c.build(date, item).quantity(quantity);
        if (markPending) txn.markPendingIfRequired();
        return txn;
    }

    // The ValueDifference the stand-in answers for the first line of an inventory
    // adjustment, as a query finds it.
    std::string valueDifference(const std::string& txnId) {
        const auto rs = ok("<InventoryAdjustmentQueryRq><TxnID>" + txnId +
                           "</TxnID><IncludeLineItems>true</IncludeLineItems></InventoryAdjustmentQueryRq>");
        if (rs[0].rets().empty()) return "<missing>";
        return textAt(rs[0].rets()[0], "InventoryAdjustmentLineRet/ValueDifference");
    }
    void deleteTxn(const std::string& type, const std::string& txnId) {
        ok("<TxnDelRq><TxnDelType>" + type + "</TxnDelType><TxnID>" + txnId + "</TxnID></TxnDelRq>");
    }
    // The TxnID of the transaction of the type with the reference number.
    std::string txnId(const std::string& type, const std::string& refNumber) {
        const auto rs = ok(companybuilder::refNumberQuery(type, refNumber));
        if (rs[0].rets().empty()) return "<missing>";
        return textAt(rs[0].rets()[0], "TxnID");
    }
    // The transaction as a query by TxnID answers it, lines included (a statement
    // charge's item is in its header); its Ret stays valid while the response is kept.
    CParsedResponse txnById(const std::string& type, const std::string& id) {
        const std::string lines = type == "Charge" ? "" : "<IncludeLineItems>true</IncludeLineItems>";
        return send("<" + type + "QueryRq><TxnID>" + id + "</TxnID>" + lines + "</" + type + "QueryRq>");
    }
    // TxnVoidRq of the transaction; the answer as it came.
    CParsedResponse voidTxn(const std::string& type, const std::string& id) {
        return send(companybuilder::voidRequest(type, id));
    }

    // The data row of an item in the valuation summary at the end of the date.
    CQbSimEngine::CValuationRow row(const std::string& date, const std::string& fullName) {
        for (const auto& r : engine->valuationSummary(date, CQbSimEngine::valuationKinds(std::nullopt)))
            if (r.kind == CQbSimEngine::CValuationRow::Data && r.fullName == fullName) return r;
        ADD_FAILURE() << fullName << " is not in the report of " << date;
        return {};
    }
    std::int64_t value(const std::string& date, const std::string& fullName) {
        return row(date, fullName).valueCents;
    }

    CTempDir dir;
    std::shared_ptr<const CQbSimSchema> schema;
    std::unique_ptr<CQbSimCompany> company;
    std::unique_ptr<CQbSimEngine> engine;
};
