// Active status of list objects, Mods of items and classes, credit card charges, item
// average costs and the deletion of inventory adjustments. Every request goes through
// Intuit's schema, and every response is checked against it too.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

namespace {

class QbSimListsModTest : public CValuationFixture {
protected:
    void SetUp() override {
        CValuationFixture::SetUp();
        checkSchema(true);
        if (IsSkipped()) return;
        ok(CCompanyBuilder().account("Visa", "CreditCard"));
    }

    // The Names of the Rets of the first response.
    static std::vector<std::string> names(const CParsedResponse& rs) {
        std::vector<std::string> found;
        for (xmlNodePtr ret : rs[0].rets()) found.push_back(textAt(ret, "Name"));
        return found;
    }

    static std::string charge(const std::string& date, const std::string& refNumber, const std::string& item,
                              const std::string& quantity, const std::string& cost, const std::string& account = "Visa") {
        CCompanyBuilder c(kValuationNames);
        return c.cardCharge(date, refNumber, account).line(item, quantity, cost);
    }
    std::string mod(const std::string& kind, const std::string& listId, const std::string& sequence,
                    const std::string& fields) {
        return "<" + kind + "ModRq><" + kind + "Mod><ListID>" + listId + "</ListID><EditSequence>" + sequence +
               "</EditSequence>" + fields + "</" + kind + "Mod></" + kind + "ModRq>";
    }
    xmlNodePtr byName(const std::string& kind, const std::string& fullName, CParsedResponse& keep) {
        keep = ok("<" + kind + "QueryRq><FullName>" + fullName + "</FullName></" + kind + "QueryRq>");
        return keep[0].rets().at(0);
    }

};

// An object added inactive is stored so: its Ret says so, ActiveOnly (also by default)
// leaves it out, InactiveOnly and All return it, and asking by name returns it whatever
// its status.
TEST_F(QbSimListsModTest, ObjectsAddedInactiveAnswerOnlyToInactiveAndAllQueries) {
    const std::string accounts = ref("IncomeAccountRef", "Sales") + ref("COGSAccountRef", "COGS") +
                                 ref("AssetAccountRef", "Inventory Asset");
    const std::string single = "<SalesOrPurchase><Price>1.00</Price>" + ref("AccountRef", "Sales") + "</SalesOrPurchase>";
    const struct {
        const char* kind;
        std::string rest;  // what the Add needs after IsActive
    } cases[] = {
        {"ItemInventory", accounts},
        {"ItemInventoryAssembly", accounts},
        {"ItemNonInventory", single},
        {"ItemService", single},
        {"ItemOtherCharge", single},
        {"Class", ""},
        {"Account", "<AccountType>Expense</AccountType>"},
        {"Customer", ""},
        {"Vendor", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string kind = c.kind;
        const std::string name = "Retired " + kind;
        const auto added = ok("<" + kind + "AddRq><" + kind + "Add><Name>" + name +
                                "</Name><IsActive>false</IsActive>" + c.rest + "</" + kind + "Add></" + kind +
                                "AddRq>");
        EXPECT_EQ(textAt(added[0].rets().at(0), "IsActive"), "false");
        auto query = [&](const std::string& filter) {
            return send("<" + kind + "QueryRq>" + filter + "</" + kind + "QueryRq>");
        };
        EXPECT_THAT(names(query("")), Not(Contains(name)));
        EXPECT_THAT(names(query("<ActiveStatus>ActiveOnly</ActiveStatus>")), Not(Contains(name)));
        EXPECT_THAT(names(query("<ActiveStatus>InactiveOnly</ActiveStatus>")), ElementsAre(name));
        EXPECT_THAT(names(query("<ActiveStatus>All</ActiveStatus>")), Contains(name));
        const auto byFullName = query("<FullName>" + name + "</FullName>");
        ASSERT_EQ(byFullName[0].code, 0);
        EXPECT_EQ(textAt(byFullName[0].rets().at(0), "IsActive"), "false");
        const auto byId = query("<ListID>" + textAt(added[0].rets().at(0), "ListID") + "</ListID>");
        EXPECT_THAT(names(byId), ElementsAre(name));
    }
    // The generic item query applies the status across kinds.
    EXPECT_EQ(names(send("<ItemQueryRq><ActiveStatus>InactiveOnly</ActiveStatus></ItemQueryRq>")).size(), 5u);
}

// Users make an item inactive once it is no longer sold; it keeps its stock and value.
TEST_F(QbSimListsModTest, ItemMadeInactiveAfterItsTransactionsKeepsItsStock) {
    inventoryItem("Widget", "8.00");
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "12.50"));
    CParsedResponse keep("");
    const xmlNodePtr widget = byName("ItemInventory", "Widget", keep);
    const auto changed = ok(mod("ItemInventory", textAt(widget, "ListID"), textAt(widget, "EditSequence"),
                                  "<IsActive>false</IsActive>"));
    ASSERT_EQ(changed[0].name, "ItemInventoryModRs");
    const xmlNodePtr ret = changed[0].rets().at(0);
    EXPECT_EQ(textAt(ret, "IsActive"), "false");
    EXPECT_EQ(textAt(ret, "QuantityOnHand"), "10");
    EXPECT_NE(textAt(ret, "EditSequence"), textAt(widget, "EditSequence"));
    EXPECT_GE(textAt(ret, "TimeModified"), textAt(widget, "TimeModified"));

    EXPECT_EQ(send("<ItemInventoryQueryRq/>")[0].code, 1);
    EXPECT_THAT(names(send("<ItemQueryRq><ActiveStatus>InactiveOnly</ActiveStatus></ItemQueryRq>")),
                ElementsAre("Widget"));
    EXPECT_THAT(names(send("<ItemInventoryQueryRq><ActiveStatus>All</ActiveStatus></ItemInventoryQueryRq>")),
                ElementsAre("Widget"));
    const auto summary = row("2024-01-31", "Widget");
    EXPECT_EQ(summary.quantity, 10);
    EXPECT_EQ(summary.valueCents, 12500);
    // It can be made active again.
    ok(mod("ItemInventory", textAt(ret, "ListID"), textAt(ret, "EditSequence"),
                "<IsActive>true</IsActive>"));
    EXPECT_THAT(names(send("<ItemInventoryQueryRq/>")), ElementsAre("Widget"));
}

// Each Mod checks the object and its edit sequence first: a stale sequence or an unknown
// ListID changes nothing; a good one renames and hands out a new sequence.
TEST_F(QbSimListsModTest, ModsRenameAndRefuseStaleEditSequences) {
    inventoryItem("Widget", "8.00");
    assembly("Kit", {{"Widget", "1"}});
    ok("<ClassAddRq><ClassAdd><Name>East</Name></ClassAdd></ClassAddRq>");
    const struct {
        const char* kind;
        const char* name;
        const char* renamed;
    } cases[] = {{"ItemInventory", "Widget", "Sprocket"},
                 {"ItemInventoryAssembly", "Kit", "Bundle"},
                 {"Class", "East", "North"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        CParsedResponse keep("");
        const xmlNodePtr before = byName(c.kind, c.name, keep);
        const std::string listId = textAt(before, "ListID");
        const std::string sequence = textAt(before, "EditSequence");

        const auto renamed = ok(mod(c.kind, listId, sequence, std::string("<Name>") + c.renamed + "</Name>"));
        ASSERT_EQ(renamed[0].name, std::string(c.kind) + "ModRs");
        const xmlNodePtr ret = renamed[0].rets().at(0);
        EXPECT_EQ(qbsimName(ret), std::string(c.kind) + "Ret");
        EXPECT_EQ(textAt(ret, "Name"), c.renamed);
        EXPECT_EQ(textAt(ret, "FullName"), c.renamed);
        EXPECT_EQ(textAt(ret, "ListID"), listId);
        EXPECT_NE(textAt(ret, "EditSequence"), sequence);

        const auto stale = send(mod(c.kind, listId, sequence, "<Name>Other</Name><IsActive>false</IsActive>"));
        EXPECT_EQ(stale[0].code, 3200);
        EXPECT_EQ(stale[0].message, "The provided edit sequence \"" + sequence + "\" is out-of-date.");
        const auto unknown = send(mod(c.kind, "80000999-1234567890", textAt(ret, "EditSequence"),
                                        "<IsActive>false</IsActive>"));
        EXPECT_EQ(unknown[0].code, 3120);
        EXPECT_EQ(unknown[0].message,
                  "Object \"80000999-1234567890\" specified in the request cannot be found.  QuickBooks error "
                  "message: Invalid argument.  The specified record does not exist in the list.");

        const auto now = ok("<" + std::string(c.kind) + "QueryRq><ListID>" + listId + "</ListID></" + c.kind +
                              "QueryRq>");
        EXPECT_EQ(textAt(now[0].rets().at(0), "Name"), c.renamed);
        EXPECT_EQ(textAt(now[0].rets().at(0), "IsActive"), "true");
        EXPECT_EQ(textAt(now[0].rets().at(0), "EditSequence"), textAt(ret, "EditSequence"));
    }
    // A Mod names the kind it changes: an assembly's ListID is no inventory item.
    CParsedResponse keep("");
    const xmlNodePtr bundle = byName("ItemInventoryAssembly", "Bundle", keep);
    EXPECT_EQ(send(mod("ItemInventory", textAt(bundle, "ListID"), textAt(bundle, "EditSequence"),
                         "<IsActive>false</IsActive>"))[0].code,
              3120);
}

// A class renamed takes its subclasses' full names along; one made inactive leaves the
// ActiveOnly list while its subclass stays; a taken name is refused.
TEST_F(QbSimListsModTest, ClassRenamedAndInactivated) {
    ok("<ClassAddRq><ClassAdd><Name>East</Name></ClassAdd></ClassAddRq>"
         "<ClassAddRq><ClassAdd><Name>Retail</Name>" + ref("ParentRef", "East") + "</ClassAdd></ClassAddRq>"
         "<ClassAddRq><ClassAdd><Name>Outlet</Name>" + ref("ParentRef", "East:Retail") + "</ClassAdd></ClassAddRq>"
         "<ClassAddRq><ClassAdd><Name>South</Name></ClassAdd></ClassAddRq>");
    CParsedResponse keep("");
    const xmlNodePtr east = byName("Class", "East", keep);
    const auto renamed = ok(mod("Class", textAt(east, "ListID"), textAt(east, "EditSequence"), "<Name>North</Name>"));
    const xmlNodePtr north = renamed[0].rets().at(0);
    EXPECT_EQ(textAt(north, "FullName"), "North");
    EXPECT_EQ(names(send("<ClassQueryRq/>")), (std::vector<std::string>{"North", "Retail", "Outlet", "South"}));
    CParsedResponse keepOutlet("");
    EXPECT_EQ(textAt(byName("Class", "North:Retail:Outlet", keepOutlet), "Sublevel"), "2");
    const auto gone = send("<ClassQueryRq><FullName>East:Retail</FullName></ClassQueryRq>");
    EXPECT_EQ(gone[0].code, 500);

    const auto taken = send(mod("Class", textAt(north, "ListID"), textAt(north, "EditSequence"),
                                  "<Name>south</Name><IsActive>false</IsActive>"));
    EXPECT_EQ(taken[0].code, 3100);
    const auto inactive = ok(mod("Class", textAt(north, "ListID"), textAt(north, "EditSequence"),
                                   "<IsActive>false</IsActive>"));
    EXPECT_EQ(textAt(inactive[0].rets().at(0), "IsActive"), "false");
    EXPECT_THAT(names(send("<ClassQueryRq/>")), ElementsAre("Retail", "Outlet", "South"));
    EXPECT_THAT(names(send("<ClassQueryRq><ActiveStatus>InactiveOnly</ActiveStatus></ClassQueryRq>")),
                ElementsAre("North"));
    // A Mod of a field the stand-in does not change is refused, not ignored.
    const xmlNodePtr latest = inactive[0].rets().at(0);
    EXPECT_EQ(send(mod("Class", textAt(latest, "ListID"), textAt(latest, "EditSequence"),
                         ref("ParentRef", "South")))[0].code,
              3210);
}

// A charge to a credit card account brings stock in at its cost, like a bill; deleting
// it takes the stock out again.
TEST_F(QbSimListsModTest, CreditCardChargeAddsStockAtItsCost) {
    inventoryItem("Widget", "8.00");
    const auto added = ok(charge("2024-01-05", "CC-1", "Widget", "10", "12.50"));
    ASSERT_EQ(added[0].name, "CreditCardChargeAddRs");
    const xmlNodePtr ret = added[0].rets().at(0);
    EXPECT_THAT(childNames(ret), ElementsAre("TxnID", "TimeCreated", "TimeModified", "EditSequence", "TxnNumber",
                                             "AccountRef", "PayeeEntityRef", "TxnDate", "Amount", "RefNumber",
                                             "ItemLineRet"));
    EXPECT_EQ(textAt(ret, "AccountRef/FullName"), "Visa");
    EXPECT_EQ(textAt(ret, "PayeeEntityRef/FullName"), "Mill");
    EXPECT_EQ(textAt(ret, "Amount"), "125.00");
    EXPECT_EQ(textAt(ret, "ItemLineRet/Quantity"), "10");
    EXPECT_EQ(textAt(ret, "ItemLineRet/Cost"), "12.50");
    EXPECT_EQ(textAt(ret, "ItemLineRet/Amount"), "125.00");

    EXPECT_EQ(row("2024-01-04", "Widget").quantity, 0);
    const auto summary = row("2024-01-05", "Widget");
    EXPECT_EQ(summary.quantity, 10);
    EXPECT_EQ(summary.valueCents, 12500);
    const auto item = ok("<ItemInventoryQueryRq><FullName>Widget</FullName></ItemInventoryQueryRq>");
    EXPECT_EQ(textAt(item[0].rets().at(0), "QuantityOnHand"), "10");
    EXPECT_EQ(textAt(item[0].rets().at(0), "AverageCost"), "12.50");

    // A card charge is drawn on a credit card account only.
    EXPECT_EQ(send(charge("2024-01-05", "CC-2", "Widget", "1", "1.00", "Checking"))[0].code, 3140);
    const auto deleted = ok("<TxnDelRq><TxnDelType>CreditCardCharge</TxnDelType><TxnID>" + textAt(ret, "TxnID") +
                              "</TxnID></TxnDelRq>");
    EXPECT_EQ(textAt(deleted[0].node, "RefNumber"), "CC-1");
    EXPECT_EQ(row("2024-01-05", "Widget").valueCents, 0);
    EXPECT_EQ(send("<CreditCardChargeQueryRq/>")[0].code, 1);
}

// Charges are queried like bills: by iterator pages, dates and reference numbers, with
// their lines only when asked.
TEST_F(QbSimListsModTest, CreditCardChargesPageAndFilter) {
    inventoryItem("Widget", "8.00");
    ok(charge("2024-01-05", "CC-1", "Widget", "1", "10.00") + charge("2024-01-06", "CC-2", "Widget", "2", "10.00") +
         charge("2024-01-07", "CC-3", "Widget", "3", "10.00") + receipt("Check", "2024-01-06", "Widget", "1", "9.00"));
    auto refs = [](const CParsedResponse& rs) {
        std::vector<std::string> found;
        for (xmlNodePtr ret : rs[0].rets()) found.push_back(textAt(ret, "RefNumber"));
        return found;
    };
    const auto first = ok("<CreditCardChargeQueryRq iterator=\"Start\"><MaxReturned>2</MaxReturned>"
                            "</CreditCardChargeQueryRq>");
    EXPECT_THAT(refs(first), ElementsAre("CC-1", "CC-2"));
    EXPECT_EQ(first[0].attrs.at("iteratorRemainingCount"), "1");
    const auto second = ok("<CreditCardChargeQueryRq iterator=\"Continue\" iteratorID=\"" +
                             first[0].attrs.at("iteratorID") + "\"><MaxReturned>2</MaxReturned>"
                             "</CreditCardChargeQueryRq>");
    EXPECT_THAT(refs(second), ElementsAre("CC-3"));
    EXPECT_EQ(second[0].attrs.at("iteratorRemainingCount"), "0");

    const auto dated = ok("<CreditCardChargeQueryRq><TxnDateRangeFilter><FromTxnDate>2024-01-06</FromTxnDate>"
                            "<ToTxnDate>2024-01-07</ToTxnDate></TxnDateRangeFilter></CreditCardChargeQueryRq>");
    EXPECT_THAT(refs(dated), ElementsAre("CC-2", "CC-3"));
    EXPECT_EQ(textAt(dated[0].rets().at(0), "ItemLineRet"), "<missing>");
    const auto lines = ok("<CreditCardChargeQueryRq><RefNumber>CC-2</RefNumber>"
                            "<IncludeLineItems>true</IncludeLineItems></CreditCardChargeQueryRq>");
    EXPECT_THAT(refs(lines), ElementsAre("CC-2"));
    EXPECT_EQ(textAt(lines[0].rets().at(0), "ItemLineRet/Quantity"), "2");
    EXPECT_EQ(textAt(lines[0].rets().at(0), "Amount"), "20.00");
    EXPECT_THAT(refs(ok("<CreditCardChargeQueryRq><AccountFilter><FullName>Visa</FullName></AccountFilter>"
                          "</CreditCardChargeQueryRq>")),
                ElementsAre("CC-1", "CC-2", "CC-3"));
}

// The item Ret's AverageCost is the ledger's: value over quantity, the last average once
// nothing is left, and for an item without history what the valuation summary shows.
TEST_F(QbSimListsModTest, AverageCostOfItemRets) {
    inventoryItem("Widget", "8.00");
    inventoryItem("Gadget", "1.00");
    inventoryItem("Spare", "4.25");
    inventoryItem("Bolt", "1.00");
    assembly("Kit", {{"Widget", "1"}, {"Gadget", "2"}});
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00") + receipt("Bill", "2024-01-02", "Widget", "10", "13.00") +
         "<BillAddRq><BillAdd>" + ref("VendorRef", "Mill") + "<TxnDate>2024-01-02</TxnDate><ItemLineAdd>" +
         ref("ItemRef", "Gadget") + "<Quantity>3</Quantity><Amount>8.09</Amount></ItemLineAdd></BillAdd></BillAddRq>" +
         build("2024-01-03", "Kit", "1") + sale("Invoice", "2024-01-04", "Widget", "19") +
         "<BillAddRq><BillAdd>" + ref("VendorRef", "Mill") + "<TxnDate>2024-01-02</TxnDate><ItemLineAdd>" +
         ref("ItemRef", "Bolt") + "<Quantity>3</Quantity><Amount>8.09</Amount></ItemLineAdd></BillAdd></BillAddRq>");
    const auto rs = ok("<ItemQueryRq><FullName>Widget</FullName><FullName>Gadget</FullName><FullName>Kit</FullName>"
                         "<FullName>Spare</FullName><FullName>Bolt</FullName></ItemQueryRq>");
    const struct {
        const char* name;
        const char* ret;
        const char* quantity;
        const char* average;
    } expected[] = {
        {"Widget", "ItemInventoryRet", "0", "11.50"},        // 20 in for 230.00, all gone: the last average
        {"Gadget", "ItemInventoryRet", "1", "2.70"},         // 8.09 less 2 x 2.69667 (5.39) = 2.70 for 1
        {"Kit", "ItemInventoryAssemblyRet", "1", "16.89"},   // 11.50 + 5.39
        {"Spare", "ItemInventoryRet", "0", "4.25"},          // no history: its purchase cost
        {"Bolt", "ItemInventoryRet", "3", "2.69667"},        // 8.09 for 3, to five decimals
    };
    ASSERT_EQ(rs[0].rets().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        const xmlNodePtr ret = rs[0].rets()[i];
        EXPECT_EQ(qbsimName(ret), expected[i].ret);
        EXPECT_EQ(textAt(ret, "QuantityOnHand"), expected[i].quantity);
        EXPECT_EQ(textAt(ret, "AverageCost"), expected[i].average);
        EXPECT_EQ(qbsimPriceText(*row("2024-01-31", expected[i].name).averageCost), expected[i].average);
    }
    // A query that asks for the figure alone gets it alone.
    const auto early = ok("<ItemInventoryQueryRq><FullName>Gadget</FullName>"
                            "<IncludeRetElement>AverageCost</IncludeRetElement></ItemInventoryQueryRq>");
    EXPECT_THAT(childNames(early[0].rets().at(0)), ElementsAre("AverageCost"));
}

// Deleting an inventory adjustment takes its effect out of the valuation summary, from
// its date on.
TEST_F(QbSimListsModTest, DeletedInventoryAdjustmentLeavesTheSummary) {
    inventoryItem("Widget", "8.00");
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00"));
    const auto newValue = ok(adjustment("2024-01-02", "Widget", "<ValueAdjustment><NewValue>80.00</NewValue></ValueAdjustment>"));
    const auto lessTwo = ok(adjustment("2024-01-03", "Widget",
                                          "<QuantityAdjustment><QuantityDifference>-2</QuantityDifference>"
                                          "</QuantityAdjustment>"));
    ok(sale("Invoice", "2024-01-04", "Widget", "1"));
    EXPECT_EQ(row("2024-01-04", "Widget").quantity, 7);
    EXPECT_EQ(value("2024-01-04", "Widget"), 5600);  // 80.00 over 10, less 3 at 8.00

    auto del = [&](const CParsedResponse& added) {
        ok("<TxnDelRq><TxnDelType>InventoryAdjustment</TxnDelType><TxnID>" + textAt(added[0].rets().at(0), "TxnID") +
             "</TxnID></TxnDelRq>");
    };
    del(newValue);
    EXPECT_EQ(value("2024-01-02", "Widget"), 10000);
    EXPECT_EQ(value("2024-01-04", "Widget"), 7000);  // 7 at 10.00
    del(lessTwo);
    EXPECT_EQ(row("2024-01-04", "Widget").quantity, 9);
    EXPECT_EQ(value("2024-01-04", "Widget"), 9000);
    EXPECT_EQ(send("<InventoryAdjustmentQueryRq/>")[0].code, 1);
}

}  // namespace
