// A small company for the average-cost and report tests: accounts, a vendor and a
// customer, and short builders for the transactions that move stock.
#pragma once

#include "qbsimtesthelpers.h"

#include <gtest/gtest.h>

class CValuationFixture : public ::testing::Test {
protected:
    void SetUp() override { open({"Valuation Co", false, false}); }

    void open(const CQbSimCompanyOptions& options) {
        engine.reset();
        company.reset();
        std::filesystem::remove(dir.file("co.qbw"));
        company = CQbSimCompany::create(dir.file("co.qbw"), options);
        engine = std::make_unique<CQbSimEngine>(*company, nullptr);
        ok("<AccountAddRq><AccountAdd><Name>Checking</Name><AccountType>Bank</AccountType></AccountAdd></AccountAddRq>"
           "<AccountAddRq><AccountAdd><Name>Sales</Name><AccountType>Income</AccountType></AccountAdd></AccountAddRq>"
           "<AccountAddRq><AccountAdd><Name>COGS</Name><AccountType>CostOfGoodsSold</AccountType></AccountAdd></AccountAddRq>"
           "<AccountAddRq><AccountAdd><Name>Inventory Asset</Name><AccountType>OtherCurrentAsset</AccountType></AccountAdd></AccountAddRq>"
           "<VendorAddRq><VendorAdd><Name>Mill</Name></VendorAdd></VendorAddRq>"
           "<CustomerAddRq><CustomerAdd><Name>Shop</Name></CustomerAdd></CustomerAddRq>");
    }

    CParsedResponse send(const std::string& body) {
        CParsedResponse rs(engine->processRequest(envelope(body)));
        EXPECT_TRUE(rs.ok());
        return rs;
    }
    CParsedResponse ok(const std::string& body) {
        auto rs = send(body);
        for (const auto& r : rs.all()) EXPECT_EQ(r.code, 0) << r.name << ": " << r.message;
        return rs;
    }

    static std::string ref(const char* tag, const std::string& name) {
        return std::string("<") + tag + "><FullName>" + name + "</FullName></" + tag + ">";
    }
    void inventoryItem(const std::string& name, const std::string& cost, const std::string& extra = "",
                       const std::string& parent = "", const std::string& price = "") {
        ok("<ItemInventoryAddRq><ItemInventoryAdd><Name>" + name + "</Name>" +
           (parent.empty() ? "" : ref("ParentRef", parent)) + extra +
           (price.empty() ? "" : "<SalesPrice>" + price + "</SalesPrice>") + ref("IncomeAccountRef", "Sales") +
           "<PurchaseCost>" + cost + "</PurchaseCost>" + ref("COGSAccountRef", "COGS") +
           ref("AssetAccountRef", "Inventory Asset") + "</ItemInventoryAdd></ItemInventoryAddRq>");
    }
    void serviceItem(const std::string& name, const std::string& price) {
        ok("<ItemServiceAddRq><ItemServiceAdd><Name>" + name + "</Name><SalesOrPurchase><Price>" + price +
           "</Price>" + ref("AccountRef", "Sales") + "</SalesOrPurchase></ItemServiceAdd></ItemServiceAddRq>");
    }
    // parts: (name, quantity) pairs.
    void assembly(const std::string& name, const std::vector<std::pair<std::string, std::string>>& parts) {
        std::string lines;
        for (const auto& [part, quantity] : parts)
            lines += "<ItemInventoryAssemblyLine>" + ref("ItemInventoryRef", part) + "<Quantity>" + quantity +
                     "</Quantity></ItemInventoryAssemblyLine>";
        ok("<ItemInventoryAssemblyAddRq><ItemInventoryAssemblyAdd><Name>" + name + "</Name>" +
           ref("IncomeAccountRef", "Sales") + ref("COGSAccountRef", "COGS") +
           ref("AssetAccountRef", "Inventory Asset") + lines +
           "</ItemInventoryAssemblyAdd></ItemInventoryAssemblyAddRq>");
    }

    // A receipt of one line: kind is Bill, ItemReceipt or Check.
    std::string receipt(const std::string& kind, const std::string& date, const std::string& item,
                        const std::string& quantity, const std::string& cost,
                        const std::string& rate = "") {
        const std::string head = kind == "Check" ? ref("AccountRef", "Checking") + ref("PayeeEntityRef", "Mill")
                                                 : ref("VendorRef", "Mill");
        return "<" + kind + "AddRq><" + kind + "Add>" + head + "<TxnDate>" + date + "</TxnDate>" +
               (rate.empty() ? "" : "<ExchangeRate>" + rate + "</ExchangeRate>") + "<ItemLineAdd>" +
               ref("ItemRef", item) + "<Quantity>" + quantity + "</Quantity><Cost>" + cost +
               "</Cost></ItemLineAdd></" + kind + "Add></" + kind + "AddRq>";
    }
    // A sale of one line: kind is Invoice, SalesReceipt or CreditMemo.
    std::string sale(const std::string& kind, const std::string& date, const std::string& item,
                     const std::string& quantity, bool pending = false) {
        return "<" + kind + "AddRq><" + kind + "Add>" + ref("CustomerRef", "Shop") + "<TxnDate>" + date +
               "</TxnDate>" + (pending ? "<IsPending>true</IsPending>" : "") + "<" + kind + "LineAdd>" +
               ref("ItemRef", item) + "<Quantity>" + quantity + "</Quantity><Rate>20.00</Rate></" + kind +
               "LineAdd></" + kind + "Add></" + kind + "AddRq>";
    }
    // An inventory adjustment of one line; adjustment is the QuantityAdjustment or
    // ValueAdjustment element.
    std::string adjustment(const std::string& date, const std::string& item, const std::string& adjustment) {
        return "<InventoryAdjustmentAddRq><InventoryAdjustmentAdd>" + ref("AccountRef", "COGS") + "<TxnDate>" +
               date + "</TxnDate><InventoryAdjustmentLineAdd>" + ref("ItemRef", item) + adjustment +
               "</InventoryAdjustmentLineAdd></InventoryAdjustmentAdd></InventoryAdjustmentAddRq>";
    }
    std::string build(const std::string& date, const std::string& item, const std::string& quantity,
                      bool markPending = false) {
        return "<BuildAssemblyAddRq><BuildAssemblyAdd>" + ref("ItemInventoryAssemblyRef", item) + "<TxnDate>" +
               date + "</TxnDate><QuantityToBuild>" + quantity + "</QuantityToBuild>" +
               (markPending ? "<MarkPendingIfRequired>true</MarkPendingIfRequired>" : "") +
               "</BuildAssemblyAdd></BuildAssemblyAddRq>";
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
    std::unique_ptr<CQbSimCompany> company;
    std::unique_ptr<CQbSimEngine> engine;
};
