// What a user does to the item list between two valuation runs: moves items under a
// parent, changes an item's unit of measure set, merges two items, makes items inactive
// (and the company setting that leaves inactive items out of the valuation summary), and
// names limited by characters rather than bytes. Every request and answer of the stand-in
// goes through Intuit's schema.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/wait.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

class QbSimItemListTest : public CValuationFixture {
protected:
    void SetUp() override {
        CValuationFixture::SetUp();
        checkSchema(true);
    }

    // The item's Ret as a query by full name answers it (null when there is none); valid
    // while `keep` lives.
    xmlNodePtr item(const std::string& fullName, CParsedResponse& keep) {
        keep = send("<ItemQueryRq><FullName>" + fullName + "</FullName></ItemQueryRq>");
        return keep[0].rets().empty() ? nullptr : keep[0].rets()[0];
    }
    std::string itemField(const std::string& fullName, const std::string& path) {
        CParsedResponse keep("");
        const xmlNodePtr ret = item(fullName, keep);
        return ret ? textAt(ret, path) : "<no item>";
    }
    // The Mod of an inventory or assembly item with its current ListID and EditSequence;
    // `fields` follow in the schema's order.
    CParsedResponse modItem(const std::string& fullName, const std::string& fields) {
        CParsedResponse keep("");
        const xmlNodePtr ret = item(fullName, keep);
        if (!ret) return CParsedResponse("");
        const std::string retName = qbsimName(ret);
        const std::string kind = retName.substr(0, retName.size() - 3);
        return send("<" + kind + "ModRq><" + kind + "Mod><ListID>" + textAt(ret, "ListID") + "</ListID><EditSequence>" +
                    textAt(ret, "EditSequence") + "</EditSequence>" + fields + "</" + kind + "Mod></" + kind + "ModRq>");
    }
    CParsedResponse moveUnder(const std::string& fullName, const std::string& parent) {
        return modItem(fullName, ref("ParentRef", parent));
    }
    // The Ret of a transaction found by its reference number, lines included (a build's
    // assembly is in its header).
    xmlNodePtr txnByRef(const std::string& type, const std::string& refNumber, CParsedResponse& keep) {
        const std::string lines = type == "BuildAssembly" ? "" : "<IncludeLineItems>true</IncludeLineItems>";
        keep = send("<" + type + "QueryRq><RefNumber>" + refNumber + "</RefNumber>" + lines + "</" + type + "QueryRq>");
        return keep[0].rets().empty() ? nullptr : keep[0].rets()[0];
    }
    bool listed(const std::string& date, const std::string& fullName) {
        for (const auto& r : engine->valuationSummary(date, CQbSimEngine::valuationKinds(std::nullopt)))
            if (r.kind == CQbSimEngine::CValuationRow::Data && r.fullName == fullName) return true;
        return false;
    }
};

// An item moved under a parent keeps its ListID and gets a new EditSequence; its full
// name and level follow the parent, and its transactions' references and its row in the
// valuation summary name it so from then on.
TEST_F(QbSimItemListTest, ItemsMoveUnderAParent) {
    inventoryItem("Hardware", "1.00");
    inventoryItem("Widget", "8.00");
    inventoryItem("Small", "2.00", "", "Widget");
    assembly("Kits", {{"Widget:Small", "1"}});
    assembly("Kit", {{"Widget:Small", "1"}});
    CCompanyBuilder c(kValuationNames);
    c.bill("2024-01-02", "B-1").line("Widget", 10, 10.00).line("Widget:Small", 10, 2.00);
    c.build("2024-01-03", "Kit", "BLD-1").quantity(2);
    ok(c);
    const struct {
        const char* item;
        const char* parent;
        const char* fullName;
        const char* txnType;
        const char* txnRef;
        const char* refPath;  // the transaction's reference to the item
        double quantity;
        std::int64_t valueCents;
    } cases[] = {
        {"Widget", "Hardware", "Hardware:Widget", "Bill", "B-1", "ItemLineRet/ItemRef", 10, 10000},
        {"Kit", "Kits", "Kits:Kit", "BuildAssembly", "BLD-1", "ItemInventoryAssemblyRef", 2, 400},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.item);
        CParsedResponse before("");
        const xmlNodePtr old = item(k.item, before);
        ASSERT_NE(old, nullptr);
        const auto rs = moveUnder(k.item, k.parent);
        ASSERT_EQ(rs[0].code, 0) << rs[0].message;
        const xmlNodePtr ret = rs[0].rets().at(0);
        EXPECT_EQ(textAt(ret, "ListID"), textAt(old, "ListID"));
        EXPECT_NE(textAt(ret, "EditSequence"), textAt(old, "EditSequence"));
        EXPECT_EQ(textAt(ret, "Name"), k.item);
        EXPECT_EQ(textAt(ret, "FullName"), k.fullName);
        EXPECT_EQ(textAt(ret, "ParentRef/FullName"), k.parent);
        EXPECT_EQ(textAt(ret, "Sublevel"), "1");
        EXPECT_EQ(itemField(k.item, "FullName"), "<no item>");
        EXPECT_EQ(itemField(k.fullName, "ListID"), textAt(old, "ListID"));

        CParsedResponse keep("");
        const xmlNodePtr txn = txnByRef(k.txnType, k.txnRef, keep);
        ASSERT_NE(txn, nullptr);
        EXPECT_EQ(textAt(txn, std::string(k.refPath) + "/FullName"), k.fullName);
        EXPECT_EQ(textAt(txn, std::string(k.refPath) + "/ListID"), textAt(old, "ListID"));
        const auto summary = row("2024-01-31", k.fullName);
        EXPECT_EQ(summary.quantity, k.quantity);
        EXPECT_EQ(summary.valueCents, k.valueCents);
        EXPECT_FALSE(listed("2024-01-31", k.item));
    }
    // The sub-item came along, a level further down.
    EXPECT_EQ(itemField("Hardware:Widget:Small", "Sublevel"), "2");
    EXPECT_EQ(row("2024-01-31", "Hardware:Widget:Small").quantity, 8);
    CParsedResponse keep("");
    EXPECT_EQ(textAt(txnByRef("Bill", "B-1", keep), "ItemLineRet/ItemRef/FullName"), "Hardware:Widget");
}

// What QuickBooks refuses when an item is moved: a parent that does not exist or is of
// another type, the item itself or one of its sub-items, a full name already in use, and
// a sixth level for the item or anything below it. A refused move changes nothing.
TEST_F(QbSimItemListTest, MovesQuickBooksRefuses) {
    inventoryItem("Hardware", "1.00");
    inventoryItem("Widget", "8.00");
    inventoryItem("Small", "2.00", "", "Widget");
    inventoryItem("Gadget", "3.00");
    inventoryItem("Gadget", "3.00", "", "Hardware");
    assembly("Kit", {{"Widget:Small", "1"}});
    inventoryItem("A", "1.00");
    inventoryItem("B", "1.00", "", "A");
    inventoryItem("C", "1.00", "", "A:B");
    inventoryItem("D", "1.00", "", "A:B:C");
    const struct {
        const char* label;
        const char* item;
        const char* parent;
        int code;
        const char* message;  // the start of the status message
    } cases[] = {
        {"a parent that does not exist", "Widget", "Nowhere", 3140,
         "There is an invalid reference to QuickBooks Item \"Nowhere\" in the Item list"},
        {"a parent of another type", "Widget", "Kit", 3140, "There is an invalid reference to QuickBooks Item \"Kit\""},
        {"the item itself", "Widget", "Widget", 3140, "There is an invalid reference to QuickBooks Item \"Widget\""},
        {"its own sub-item", "Widget", "Widget:Small", 3140,
         "There is an invalid reference to QuickBooks Item \"Widget:Small\""},
        {"a full name in use", "Gadget", "Hardware", 3100,
         "The name \"Hardware:Gadget\" of the list element is already in use."},
        {"a sixth level for its sub-item", "Widget", "A:B:C:D", 3180, "There was an error when saving a Item list"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string sequence = itemField(c.item, "EditSequence");
        const auto rs = moveUnder(c.item, c.parent);
        EXPECT_EQ(rs[0].code, c.code);
        EXPECT_THAT(rs[0].message, StartsWith(c.message));
        EXPECT_EQ(itemField(c.item, "EditSequence"), sequence);
        EXPECT_EQ(itemField(c.item, "Sublevel"), "0");
    }
    EXPECT_EQ(itemField("Widget:Small", "Sublevel"), "1");
    // The fifth level itself is taken.
    const auto deepest = moveUnder("Gadget", "A:B:C:D");
    ASSERT_EQ(deepest[0].code, 0) << deepest[0].message;
    EXPECT_EQ(textAt(deepest[0].rets().at(0), "FullName"), "A:B:C:D:Gadget");
    EXPECT_EQ(textAt(deepest[0].rets().at(0), "Sublevel"), "4");
}

// A unit of measure set changes on an item already on transactions only with
// ForceUOMChange. The lines entered keep their unit and quantity as entered, and the
// inventory of every date stays what it was; new lines use the new set's units.
TEST_F(QbSimItemListTest, UnitOfMeasureSetChangesOnlyWhenForced) {
    inventoryItem("Widget", "8.00");
    EXPECT_EQ(modItem("Widget", ref("UnitOfMeasureSetRef", "Count"))[0].code, 3250);  // units are off

    open({"Units Co", false, true});
    CCompanyBuilder lists(kValuationNames);
    lists.unitSet("Count", "Box", 12).unitSet("Pack", "Case", 24);
    lists.item("Nail").units("Count").cost(0.50);
    lists.item("Tack").units("Count").cost(0.10);
    ok(lists);
    CCompanyBuilder txns(kValuationNames);
    txns.bill("2024-01-02", "B-1").line("Nail", 2, 6.00).unit("Box");
    txns.invoice("2024-01-03", "I-1").line("Nail", 1).unit("Box").rate(10.00);
    ok(txns);
    const auto jan2 = row("2024-01-02", "Nail");
    const auto jan3 = row("2024-01-03", "Nail");
    ASSERT_EQ(jan2.quantity, 24);
    ASSERT_EQ(jan3.quantity, 12);

    const struct {
        const char* label;
        const char* item;
        const char* force;
        int code;
    } cases[] = {
        {"used, not forced", "Nail", "", 3180},
        {"used, forced false", "Nail", "<ForceUOMChange>false</ForceUOMChange>", 3180},
        {"never used", "Tack", "", 0},
        {"used, forced", "Nail", "<ForceUOMChange>true</ForceUOMChange>", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto rs = modItem(c.item, ref("UnitOfMeasureSetRef", "Pack") + c.force);
        EXPECT_EQ(rs[0].code, c.code) << rs[0].message;
        EXPECT_EQ(itemField(c.item, "UnitOfMeasureSetRef/FullName"), c.code == 0 ? "Pack" : "Count");
    }
    CParsedResponse keepBill(""), keepInvoice("");
    const xmlNodePtr bill = txnByRef("Bill", "B-1", keepBill);
    EXPECT_EQ(textAt(bill, "ItemLineRet/Quantity"), "2");
    EXPECT_EQ(textAt(bill, "ItemLineRet/UnitOfMeasure"), "Box");
    const xmlNodePtr invoice = txnByRef("Invoice", "I-1", keepInvoice);
    EXPECT_EQ(textAt(invoice, "InvoiceLineRet/Quantity"), "1");
    EXPECT_EQ(textAt(invoice, "InvoiceLineRet/UnitOfMeasure"), "Box");
    EXPECT_EQ(itemField("Nail", "QuantityOnHand"), "12");
    for (const auto& [date, before] : {std::pair{"2024-01-02", jan2}, std::pair{"2024-01-03", jan3}}) {
        SCOPED_TRACE(date);
        const auto after = row(date, "Nail");
        EXPECT_EQ(after.quantity, before.quantity);
        EXPECT_EQ(after.valueCents, before.valueCents);
    }
    // From now on the item is bought by the Case; the Box is no unit of its set.
    CCompanyBuilder later(kValuationNames);
    later.bill("2024-01-04", "B-2").line("Nail", 1, 12.00).unit("Case");
    ok(later);
    EXPECT_EQ(row("2024-01-04", "Nail").quantity, 36);
    EXPECT_EQ(row("2024-01-04", "Nail").valueCents, jan3.valueCents + 1200);
    CCompanyBuilder boxes(kValuationNames);
    boxes.bill("2024-01-05", "B-3").line("Nail", 1, 6.00).unit("Box");
    EXPECT_EQ(send(boxes)[0].code, 3140);
}

// A merge of Widget into Gadget: every line of Widget names Gadget, Widget leaves the
// list and the deletion log lists it, the moved transactions keep their EditSequence and
// TimeModified, and Gadget's stock is the sum, valued as if every line had been its own.
TEST_F(QbSimItemListTest, MergedItemsLinesNameTheSurvivor) {
    inventoryItem("Widget", "8.00");
    inventoryItem("Gadget", "9.00");
    CCompanyBuilder c(kValuationNames);
    c.bill("2024-01-01", "B-1").line("Widget", 10, 10.00);
    c.bill("2024-01-01", "B-2").line("Gadget", 10, 20.00);
    c.invoice("2024-01-02", "I-1").line("Gadget", 5).rate(30.00);
    c.invoice("2024-01-03", "I-2").line("Widget", 2).rate(30.00);
    ok(c);
    EXPECT_EQ(value("2024-01-03", "Widget") + value("2024-01-03", "Gadget"), 8000 + 10000);
    const std::string widgetId = itemField("Widget", "ListID");
    const std::string gadgetId = itemField("Gadget", "ListID");
    CParsedResponse keepBill(""), keepInvoice("");
    const xmlNodePtr billBefore = txnByRef("Bill", "B-1", keepBill);
    const xmlNodePtr invoiceBefore = txnByRef("Invoice", "I-2", keepInvoice);

    qbsimMergeItems(dir.file("co.qbw"), "widget", "Gadget");

    EXPECT_EQ(send("<ItemQueryRq><FullName>Widget</FullName></ItemQueryRq>")[0].code, 500);
    const struct {
        const char* type;
        const char* refNumber;
        const char* line;
        xmlNodePtr before;
    } moved[] = {{"Bill", "B-1", "ItemLineRet", billBefore}, {"Invoice", "I-2", "InvoiceLineRet", invoiceBefore}};
    for (const auto& m : moved) {
        SCOPED_TRACE(m.refNumber);
        CParsedResponse keep("");
        const xmlNodePtr ret = txnByRef(m.type, m.refNumber, keep);
        ASSERT_NE(ret, nullptr);
        EXPECT_EQ(textAt(ret, std::string(m.line) + "/ItemRef/ListID"), gadgetId);
        EXPECT_EQ(textAt(ret, std::string(m.line) + "/ItemRef/FullName"), "Gadget");
        EXPECT_EQ(textAt(ret, "EditSequence"), textAt(m.before, "EditSequence"));
        EXPECT_EQ(textAt(ret, "TimeModified"), textAt(m.before, "TimeModified"));
    }
    const auto deleted = ok("<ListDeletedQueryRq><ListDelType>ItemInventory</ListDelType></ListDeletedQueryRq>");
    ASSERT_EQ(deleted[0].rets().size(), 1u);
    const xmlNodePtr log = deleted[0].rets()[0];
    EXPECT_THAT(childNames(log), ElementsAre("ListDelType", "ListID", "TimeCreated", "TimeDeleted", "FullName"));
    EXPECT_EQ(textAt(log, "ListDelType"), "ItemInventory");
    EXPECT_EQ(textAt(log, "ListID"), widgetId);
    EXPECT_EQ(textAt(log, "FullName"), "Widget");
    EXPECT_EQ(send("<ListDeletedQueryRq><ListDelType>ItemInventoryAssembly</ListDelType></ListDeletedQueryRq>")[0].code, 1);

    // 20 in for 300.00; 5 and 2 out at 15.00 each.
    EXPECT_FALSE(listed("2024-01-03", "Widget"));
    EXPECT_EQ(row("2024-01-01", "Gadget").quantity, 20);
    EXPECT_EQ(value("2024-01-01", "Gadget"), 10000 + 20000);
    EXPECT_EQ(row("2024-01-03", "Gadget").quantity, 8 + 5);
    EXPECT_EQ(value("2024-01-03", "Gadget"), 19500);
    EXPECT_EQ(itemField("Gadget", "QuantityOnHand"), "13");
    EXPECT_EQ(itemField("Gadget", "AverageCost"), "15.00");
}

// What the merge refuses, leaving both items as they were; the command line answers
// with a one-line reason and a non-zero exit, and merges when it may.
TEST_F(QbSimItemListTest, MergesQuickBooksRefuses) {
    inventoryItem("Widget", "8.00");
    inventoryItem("Small", "2.00", "", "Widget");
    inventoryItem("Gadget", "9.00");
    inventoryItem("Bolt", "1.00");
    assembly("Kit", {{"Gadget", "1"}});
    assembly("Bundle", {{"Kit", "2"}});
    ok(receipt("Bill", "2024-01-01", "Gadget", "10", "2.00"));
    const struct {
        const char* label;
        const char* from;
        const char* into;
        int code;
    } cases[] = {
        {"items of two types", "Gadget", "Kit", 3180},
        {"an item that does not exist", "Nowhere", "Gadget", 3120},
        {"an item with itself", "Gadget", "gadget", 3180},
        {"an item with sub-items", "Widget", "Gadget", 3180},
        {"an assembly with one it contains", "Bundle", "Kit", 3180},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        try {
            engine->mergeItems(c.from, c.into);
            ADD_FAILURE() << "not refused";
        } catch (const CQbSimStatus& status) {
            EXPECT_EQ(status.code, c.code) << status.what();
        }
    }
    EXPECT_EQ(send("<ListDeletedQueryRq><ListDelType>ItemInventory</ListDelType>"
                   "<ListDelType>ItemInventoryAssembly</ListDelType></ListDeletedQueryRq>")[0].code, 1);
    EXPECT_EQ(row("2024-01-01", "Gadget").quantity, 10);

    auto run = [&](const std::string& from, const std::string& into, std::string& output) {
        const std::string command = "'" + std::string(QBSIM_TOOL) + "' merge-items '" + dir.file("co.qbw") + "' '" +
                                    from + "' '" + into + "' 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        char buffer[512];
        output.clear();
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string output;
    EXPECT_EQ(run("Gadget", "Kit", output), 1);
    EXPECT_THAT(output, StartsWith("qbsim: "));
    EXPECT_THAT(output, HasSubstr("Only items of the same type can be merged"));
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1);
    EXPECT_EQ(run("Bolt", "Gadget", output), 0) << output;
    EXPECT_EQ(output, "");
    EXPECT_EQ(send("<ItemQueryRq><FullName>Bolt</FullName></ItemQueryRq>")[0].code, 500);
}

// The company setting that leaves inactive items out of the valuation summary, in both
// readings: by default an inactive item with stock is listed (one without is not); with
// the setting it is left out on every date, its stock included in no row. `qbsim create
// --inactive-items-hidden` makes such a company.
class QbSimInactiveItemsTest : public QbSimItemListTest, public ::testing::WithParamInterface<bool> {};

TEST_P(QbSimInactiveItemsTest, InactiveItemsInTheValuationSummary) {
    const bool hidden = GetParam();
    CQbSimCompanyOptions options;
    options.name = "Inactive Co";
    options.inactiveItemsHidden = hidden;
    open(options);
    EXPECT_EQ(company->inactiveItemsHidden(), hidden);
    inventoryItem("Widget", "8.00");
    inventoryItem("Gadget", "9.00");
    inventoryItem("Bolt", "1.00");
    ok(receipt("Bill", "2024-01-01", "Widget", "10", "10.00") + receipt("Bill", "2024-01-01", "Bolt", "5", "1.00"));
    for (const char* name : {"Widget", "Gadget"})
        EXPECT_EQ(modItem(name, "<IsActive>false</IsActive>")[0].code, 0);
    for (const char* date : {"2024-01-01", "2024-06-30"}) {
        SCOPED_TRACE(date);
        EXPECT_EQ(listed(date, "Widget"), !hidden);
        EXPECT_FALSE(listed(date, "Gadget"));
        EXPECT_TRUE(listed(date, "Bolt"));
    }
    const auto rows = engine->valuationSummary("2024-01-01", CQbSimEngine::valuationKinds(std::nullopt));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back().valueCents, hidden ? 500 : 10500);

    const std::string file = dir.file("tool.qbw");
    const std::string command = "'" + std::string(QBSIM_TOOL) + "' create '" + file + "' --name T" +
                                (hidden ? " --inactive-items-hidden" : "");
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(CQbSimCompany::open(file)->inactiveItemsHidden(), hidden);
}

INSTANTIATE_TEST_SUITE_P(Readings, QbSimInactiveItemsTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Hidden") : std::string("Listed");
                         });

// Length limits count characters: an accented or CJK name as long as the limit is taken,
// one character more is refused (3070), whatever the bytes. Intuit's schema counts
// characters too and would refuse the whole document first, so this runs without it.
TEST_F(QbSimItemListTest, LengthLimitsCountCharacters) {
    schema.reset();
    engine = std::make_unique<CQbSimEngine>(*company, nullptr);
    inventoryItem("Widget", "8.00");
    auto itemAdd = [&](const std::string& name) {
        CCompanyBuilder c(kValuationNames);
        c.item(name).cost(1.00);
        return send(c)[0];
    };
    auto customerAdd = [&](const std::string& name) {
        return send(companybuilder::addRequest("Customer", companybuilder::element("Name", name)))[0];
    };
    auto billRef = [&](const std::string& refNumber) {
        CCompanyBuilder c(kValuationNames);
        c.bill("2024-01-01", refNumber).line("Widget", 1, 1.00);
        return send(c)[0];
    };
    auto rename = [&](const std::string& name) { return modItem("Widget", "<Name>" + name + "</Name>")[0]; };
    const struct {
        const char* label;
        std::function<CParsedResponse::Rs(const std::string&)> request;
        std::string text;
        int code;
    } cases[] = {
        {"31 accented letters in an item name", itemAdd, repeated("é", 31), 0},
        {"32 accented letters in an item name", itemAdd, repeated("é", 32), 3070},
        {"31 plain letters in an item name", itemAdd, repeated("a", 31), 0},
        {"32 plain letters in an item name", itemAdd, repeated("b", 32), 3070},
        {"31 CJK characters in an item name", itemAdd, repeated("日", 31), 0},
        {"41 accented letters in a customer name", customerAdd, repeated("ü", 41), 0},
        {"42 accented letters in a customer name", customerAdd, repeated("ü", 42), 3070},
        {"20 accented letters in a bill's RefNumber", billRef, repeated("ñ", 20), 0},
        {"21 accented letters in a bill's RefNumber", billRef, repeated("ñ", 21), 3070},
        {"an item renamed to 32 accented letters", rename, repeated("ø", 32), 3070},
        {"an item renamed to 31 accented letters", rename, repeated("ö", 31), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto rs = c.request(c.text);
        EXPECT_EQ(rs.code, c.code) << rs.message;
        if (c.code == 3070) {
            EXPECT_THAT(rs.message, HasSubstr("\"" + c.text + "\" in the field"));
        }
    }
    EXPECT_EQ(itemField(repeated("é", 31), "Name"), repeated("é", 31));
}

}  // namespace
