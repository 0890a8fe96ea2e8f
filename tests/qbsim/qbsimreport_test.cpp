// The inventory valuation summary: its layout with and without units of measure, parent
// items, the item type filter, and the add-on's own report reader and session reading
// and adjusting what the stand-in reports.
#include "qbsimvaluationfixture.h"

#include "qbreport.h"
#include "qbresponse.h"
#include "qbsession.h"
#include "qbsimprocessor.h"
#include "qbutils.h"

#include <gmock/gmock.h>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

class QbSimReportTest : public CValuationFixture {
protected:
    // Widgets (a parent with its own stock) with Blue Widget below it, Bolt without a
    // sales price, and the assembly Kit.
    void stock(bool units = false) {
        if (units) {
            ok("<UnitOfMeasureSetAddRq><UnitOfMeasureSetAdd><Name>Count</Name><UnitOfMeasureType>Count"
               "</UnitOfMeasureType><BaseUnit><Name>Each</Name><Abbreviation>ea</Abbreviation></BaseUnit>"
               "</UnitOfMeasureSetAdd></UnitOfMeasureSetAddRq>");
        }
        const std::string uom = units ? ref("UnitOfMeasureSetRef", "Count") : "";
        inventoryItem("Widgets", "10.00", uom, "", "26.00");
        inventoryItem("Blue Widget", "8.00", uom, "Widgets", "15.00");
        inventoryItem("Bolt", "0.25", uom);
        assembly("Kit", {{"Bolt", "4"}});
        ok(receipt("Bill", "2024-05-01", "Widgets", "10", "10.00") +
           receipt("Bill", "2024-05-01", "Widgets:Blue Widget", "100", "8.00") +
           receipt("Bill", "2024-05-01", "Bolt", "400", "0.25") + build("2024-05-02", "Kit", "5"));
    }

    std::string report(const std::string& date, const std::string& filter) {
        std::string body = "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary"
                           "</GeneralSummaryReportType><DisplayReport>false</DisplayReport><ReportPeriod>"
                           "<FromReportDate>" + date + "</FromReportDate><ToReportDate>" + date +
                           "</ToReportDate></ReportPeriod>";
        if (!filter.empty()) body += "<ReportItemFilter><ItemTypeFilter>" + filter + "</ItemTypeFilter></ReportItemFilter>";
        return engine->processRequest(envelope(body + "</GeneralSummaryReportQueryRq>"));
    }

    // "Tag:label" of every row of ReportData.
    static std::vector<std::string> rowShapes(xmlNodePtr reportRet) {
        std::vector<std::string> shapes;
        for (xmlNodePtr row : qbsimElements(qbsimChild(reportRet, "ReportData"))) {
            std::string label = qbsimAttribute(row, "value").value_or("");
            for (xmlNodePtr cell : qbsimChildren(row, "ColData"))
                if (qbsimAttribute(cell, "colID") == "1") label = *qbsimAttribute(cell, "value");
            shapes.push_back(qbsimName(row) + ":" + label);
        }
        return shapes;
    }
    static std::map<std::string, std::string> cells(xmlNodePtr row) {
        std::map<std::string, std::string> out;
        for (xmlNodePtr cell : qbsimChildren(row, "ColData"))
            out[*qbsimAttribute(cell, "colID")] = *qbsimAttribute(cell, "value");
        return out;
    }
    static xmlNodePtr dataRow(xmlNodePtr reportRet, const std::string& fullName) {
        for (xmlNodePtr row : qbsimChildren(qbsimChild(reportRet, "ReportData"), "DataRow"))
            if (qbsimAttribute(qbsimChild(row, "RowData"), "value") == fullName) return row;
        return nullptr;
    }

    // The (full name, quantity, value) of every data row as the add-on reads them:
    // CQbReport with the U/M column rule.
    static std::vector<std::string> addOnRead(const std::string& response) {
        CQbReport report;
        report.load(CQbResponse(response));
        if (report.rowCount() == 0) return {};
        const std::vector<std::string> quantities = report.columnValuesAt(report.cellColumnId("QuantityOnHand"));
        const std::vector<std::string> values = report.columnValuesAt(report.cellColumnId("ValueOnHand"));
        std::vector<std::string> rows;
        for (int i = 0; i < report.rowCount(); ++i)
            rows.push_back(report.rowValue(i) + "|" + quantities[i] + "|" + values[i]);
        return rows;
    }
};

}  // namespace

TEST_F(QbSimReportTest, LayoutWithParentItemsSectionsAndTotals) {
    stock();
    const CParsedResponse rs(report("2024-05-02", "InventoryAndAssembly"));
    ASSERT_EQ(rs[0].code, 0) << rs[0].message;
    xmlNodePtr ret = rs[0].rets()[0];
    EXPECT_EQ(textAt(ret, "ReportTitle"), "Inventory Valuation Summary");
    EXPECT_EQ(textAt(ret, "ReportSubtitle"), "As of May 2, 2024");
    EXPECT_EQ(textAt(ret, "NumColumns"), "9");
    EXPECT_EQ(textAt(ret, "NumColTitleRows"), "1");
    std::vector<std::string> types;
    for (xmlNodePtr c : qbsimChildren(ret, "ColDesc")) types.push_back(textAt(c, "ColType"));
    EXPECT_THAT(types, ElementsAre("Blank", "ItemDesc", "QuantityOnHand", "AverageCost", "ValueOnHand",
                                   "PercentOfTotalValue", "UnitPrice", "RetailValueOnHand",
                                   "PercentOfTotalRetail"));
    EXPECT_THAT(rowShapes(ret),
                ElementsAre("TextRow:Inventory", "DataRow:Bolt", "TextRow:Widgets", "DataRow:Blue Widget",
                            "DataRow:Widgets - Other", "SubtotalRow:Total Widgets",
                            "SubtotalRow:Total Inventory", "TextRow:Assembly", "DataRow:Kit",
                            "SubtotalRow:Total Assembly", "TotalRow:TOTAL"));
    EXPECT_EQ(textAt(ret, "NumRows"), "11");

    // Bolt: 400 - 20 = 380 at 0.25; no sales price, so no retail cells. Total value:
    // 95.00 + 800.00 + 100.00 + 5.00 (kit) = 1000.00.
    EXPECT_THAT(cells(dataRow(ret, "Bolt")),
                ElementsAre(std::pair<const std::string, std::string>("1", "Bolt"),
                            std::pair<const std::string, std::string>("3", "380"),
                            std::pair<const std::string, std::string>("4", "0.25"),
                            std::pair<const std::string, std::string>("5", "95.00"),
                            std::pair<const std::string, std::string>("6", "9.5")));
    const auto blue = cells(dataRow(ret, "Widgets:Blue Widget"));
    EXPECT_EQ(blue.at("5"), "800.00");
    EXPECT_EQ(blue.at("7"), "15.00");
    EXPECT_EQ(blue.at("8"), "1500.00");
    EXPECT_EQ(blue.at("9"), "85.2");  // of 1760.00 retail
    xmlNodePtr subtotal = nullptr;
    for (xmlNodePtr r : qbsimChildren(qbsimChild(ret, "ReportData"), "SubtotalRow"))
        if (qbsimAttribute(qbsimChild(r, "RowData"), "value") == "Widgets") subtotal = r;
    ASSERT_NE(subtotal, nullptr);
    EXPECT_EQ(cells(subtotal).at("3"), "110");
    EXPECT_EQ(cells(subtotal).at("5"), "900.00");
    xmlNodePtr total = qbsimChild(qbsimChild(ret, "ReportData"), "TotalRow");
    EXPECT_EQ(cells(total).at("5"), "1000.00");
    EXPECT_EQ(cells(total).at("6"), "100.0");

    if (std::filesystem::exists(qbsimTestSchemaPath())) {
        EXPECT_EQ(CQbSimSchema::load(qbsimTestSchemaPath())->validate(rs.document()), "");
    }
}

TEST_F(QbSimReportTest, UnitsOfMeasureAddAColumnTheRowsDoNotFill) {
    open({"Valuation Co", false, true});
    stock(true);
    const std::string response = report("2024-05-02", "Inventory");
    const CParsedResponse rs(response);
    ASSERT_EQ(rs[0].code, 0) << rs[0].message;
    xmlNodePtr ret = rs[0].rets()[0];
    EXPECT_EQ(textAt(ret, "NumColumns"), "10");
    std::vector<std::string> types;
    for (xmlNodePtr c : qbsimChildren(ret, "ColDesc")) types.push_back(textAt(c, "ColType"));
    EXPECT_THAT(types, ElementsAre("Blank", "ItemDesc", "QuantityOnHand", "UnitOfMeasureUnit", "AverageCost",
                                   "ValueOnHand", "PercentOfTotalValue", "UnitPrice", "RetailValueOnHand",
                                   "PercentOfTotalRetail"));
    // Cells run 1..9: the value sits in cell 5 although ValueOnHand is column 6.
    const auto blue = cells(dataRow(ret, "Widgets:Blue Widget"));
    EXPECT_EQ(blue.at("3"), "100");
    EXPECT_EQ(blue.at("4"), "8.00");
    EXPECT_EQ(blue.at("5"), "800.00");
    EXPECT_EQ(blue.rbegin()->first, "9");
    EXPECT_THAT(addOnRead(response), ElementsAre("Bolt|380|95.00", "Widgets:Blue Widget|100|800.00",
                                                 "Widgets|10|100.00"));
    if (std::filesystem::exists(qbsimTestSchemaPath())) {
        EXPECT_EQ(CQbSimSchema::load(qbsimTestSchemaPath())->validate(rs.document()), "");
    }
}

TEST_F(QbSimReportTest, AddOnReaderReadsTheReportWithoutUnits) {
    stock();
    EXPECT_THAT(addOnRead(report("2024-05-01", "Inventory")),
                ElementsAre("Bolt|400|100.00", "Widgets:Blue Widget|100|800.00", "Widgets|10|100.00"));
    EXPECT_THAT(addOnRead(report("2024-05-02", "Assembly")), ElementsAre("Kit|5|5.00"));
    EXPECT_THAT(addOnRead(report("2024-04-30", "Assembly")), ElementsAre("Kit|0|0.00"));
}

TEST_F(QbSimReportTest, ItemTypeFilterSelectsSections) {
    stock();
    const struct {
        const char* filter;
        std::vector<std::string> names;
    } cases[] = {
        {"Inventory", {"Bolt", "Widgets:Blue Widget", "Widgets"}},
        {"Assembly", {"Kit"}},
        {"InventoryAndAssembly", {"Bolt", "Widgets:Blue Widget", "Widgets", "Kit"}},
        {"", {"Bolt", "Widgets:Blue Widget", "Widgets", "Kit"}},
        {"Service", {}},
    };
    for (const auto& c : cases) {
        const CParsedResponse rs(report("2024-05-02", c.filter));
        ASSERT_EQ(rs[0].code, 0) << c.filter << ": " << rs[0].message;
        std::vector<std::string> names;
        for (xmlNodePtr r : qbsimChildren(qbsimChild(rs[0].rets()[0], "ReportData"), "DataRow"))
            names.push_back(*qbsimAttribute(qbsimChild(r, "RowData"), "value"));
        EXPECT_THAT(names, ElementsAreArray(c.names)) << c.filter;
    }
}

TEST_F(QbSimReportTest, RefusesOtherReportsAndBackwardPeriods) {
    stock();
    const CParsedResponse other(engine->processRequest(envelope(
        "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>ProfitAndLossStandard"
        "</GeneralSummaryReportType></GeneralSummaryReportQueryRq>")));
    EXPECT_EQ(other[0].code, 3210);
    const CParsedResponse backwards(engine->processRequest(envelope(
        "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary"
        "</GeneralSummaryReportType><ReportPeriod><FromReportDate>2024-05-02</FromReportDate>"
        "<ToReportDate>2024-05-01</ToReportDate></ReportPeriod></GeneralSummaryReportQueryRq>")));
    EXPECT_EQ(backwards[0].code, 3030);
}

// A report date that is not a calendar date is refused with the document, as a
// transaction date is; the report never sees it.
TEST_F(QbSimReportTest, RefusesReportDatesThatAreNotDates) {
    stock();
    for (const char* date : {"2024{-05-01", "2024-13-01", "2024-02-30", "20240501"}) {
        for (const char* field : {"FromReportDate", "ToReportDate"}) {
            const std::string period = std::string("<ReportPeriod><") + field + ">" + date + "</" +
                                       field + "></ReportPeriod>";
            EXPECT_THROW(engine->processRequest(envelope(
                             "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>"
                             "InventoryValuationSummary</GeneralSummaryReportType>" +
                             period + "</GeneralSummaryReportQueryRq>")),
                         CQbSimParseError)
                << field << " " << date;
        }
    }
    // Markup inside the date escapes the document's value check; the request is refused.
    const CParsedResponse nested(engine->processRequest(envelope(
        "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary"
        "</GeneralSummaryReportType><ReportPeriod><ToReportDate>2024-0--01<X/></ToReportDate>"
        "</ReportPeriod></GeneralSummaryReportQueryRq>")));
    EXPECT_EQ(nested[0].code, 3020);
}

TEST_F(QbSimReportTest, AddOnSessionReadsAndAdjustsTheStandIn) {
    stock();
    engine.reset();
    company.reset();
    qbsimRegister();
    CQbXml session(dir.file("co.qbw"), "Lotwise", "Veltrane", dir.file(""));
    session.open(true);
    const CDateTime day = *CDateTime::fromLocal(2024, 5, 2, 23, 59, 59);
    auto inventory = session.inventoryValuationSummary(day, "Inventory");
    ASSERT_NE(inventory, nullptr);
    ASSERT_EQ(inventory->rowCount(), 3);
    EXPECT_EQ(inventory->rowValue(0), "Bolt");
    EXPECT_EQ(inventory->columnValues("ValueOnHand")[0], "95.00");

    // Value adjustments as the add-on posts them.
    const std::string memo = "FIFO valuation";
    ASSERT_TRUE(session.postValueAdjustments(day, "COGS", nullptr, nullptr, &memo, {"Bolt", "Widgets:Blue Widget"},
                                             {"90.00", "812.50"}));
    EXPECT_TRUE(session.succeeded()) << session.statusMessage();
    inventory = session.inventoryValuationSummary(day, "Inventory");
    EXPECT_THAT(inventory->columnValues("ValueOnHand"), ElementsAre("90.00", "812.50", "100.00"));
    auto dayBefore = session.inventoryValuationSummary(day.addSeconds(-86400), "Inventory");
    EXPECT_THAT(dayBefore->columnValues("ValueOnHand"), ElementsAre("100.00", "800.00", "100.00"));

    // A BuildValue custom field on the day's build, by TxnID.
    session.dataExtDefAdd(kPrivateOwnerId, "BuildValue", "STR255TYPE", "BuildAssembly");
    auto builds = session.queryBuildAssembly(nullptr);
    ASSERT_NE(builds, nullptr);
    ASSERT_EQ(builds->getSize(), 1);
    session.dataExtAddTxn("BuildAssembly", builds->getAt(0)->getValue("TxnID"), "BuildValue", "5.00");
    EXPECT_TRUE(session.succeeded()) << session.statusMessage();
    session.disconnect();
}
