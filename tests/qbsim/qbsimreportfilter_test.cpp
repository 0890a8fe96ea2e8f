// The inventory valuation summary for named items: ReportItemFilter by FullName or
// ListID (with or without children) lists only those items, of both item types, in the
// layout of the full report; a name that is no item is refused.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>

using ::testing::ElementsAreArray;

namespace {

class QbSimReportFilterTest : public CValuationFixture {
protected:
    void SetUp() override {
        CValuationFixture::SetUp();
        inventoryItem("Widgets", "10.00", "", "", "26.00");
        inventoryItem("Blue Widget", "8.00", "", "Widgets", "15.00");
        inventoryItem("Bolt", "0.25", "");
        assembly("Kit", {{"Bolt", "4"}});
        ok(receipt("Bill", "2024-05-01", "Widgets", "10", "10.00") +
           receipt("Bill", "2024-05-01", "Widgets:Blue Widget", "100", "8.00") +
           receipt("Bill", "2024-05-01", "Bolt", "400", "0.25") + build("2024-05-02", "Kit", "5"));
    }

    // The report of 2024-05-02 with the filter's inner elements.
    CParsedResponse report(const std::string& filter) {
        return CParsedResponse(engine->processRequest(envelope(
            "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary"
            "</GeneralSummaryReportType><ReportPeriod><FromReportDate>2024-05-02</FromReportDate>"
            "<ToReportDate>2024-05-02</ToReportDate></ReportPeriod><ReportItemFilter>" +
            filter + "</ReportItemFilter></GeneralSummaryReportQueryRq>")));
    }

    std::string listId(const std::string& fullName) {
        const CParsedResponse rs(engine->processRequest(
            envelope("<ItemQueryRq><FullName>" + fullName + "</FullName></ItemQueryRq>")));
        return textAt(rs[0].rets()[0], "ListID");
    }

    // "full name|quantity|value" of every data row.
    static std::vector<std::string> dataRows(const CParsedResponse& rs) {
        std::vector<std::string> rows;
        for (xmlNodePtr r : qbsimChildren(qbsimChild(rs[0].rets()[0], "ReportData"), "DataRow")) {
            std::string quantity, value;
            for (xmlNodePtr cell : qbsimChildren(r, "ColData")) {
                if (qbsimAttribute(cell, "colID") == "3") quantity = *qbsimAttribute(cell, "value");
                if (qbsimAttribute(cell, "colID") == "5") value = *qbsimAttribute(cell, "value");
            }
            rows.push_back(*qbsimAttribute(qbsimChild(r, "RowData"), "value") + "|" + quantity + "|" + value);
        }
        return rows;
    }
};

}  // namespace

TEST_F(QbSimReportFilterTest, NamedItemsAloneOfEitherType) {
    const struct {
        std::string filter;
        std::vector<std::string> rows;
    } cases[] = {
        {"<FullName>Bolt</FullName><FullName>Kit</FullName>", {"Bolt|380|95.00", "Kit|5|5.00"}},
        {"<FullName>Widgets:Blue Widget</FullName>", {"Widgets:Blue Widget|100|800.00"}},
        // The parent alone: its own stock, under its heading as in the full report.
        {"<FullName>widgets</FullName>", {"Widgets|10|100.00"}},
        {"<FullNameWithChildren>Widgets</FullNameWithChildren>",
         {"Widgets:Blue Widget|100|800.00", "Widgets|10|100.00"}},
        {"<ListID>" + listId("Kit") + "</ListID>", {"Kit|5|5.00"}},
        {"<ListIDWithChildren>" + listId("Widgets") + "</ListIDWithChildren>",
         {"Widgets:Blue Widget|100|800.00", "Widgets|10|100.00"}},
    };
    for (const auto& c : cases) {
        const CParsedResponse rs = report(c.filter);
        ASSERT_EQ(rs[0].code, 0) << c.filter << ": " << rs[0].message;
        EXPECT_THAT(dataRows(rs), ElementsAreArray(c.rows)) << c.filter;
    }
}

TEST_F(QbSimReportFilterTest, RefusesANameThatIsNoItem) {
    const CParsedResponse rs = report("<FullName>Bolt</FullName><FullName>Nut</FullName>");
    EXPECT_EQ(rs[0].code, 3140);
    EXPECT_THAT(rs[0].message, ::testing::HasSubstr("\"Nut\""));
}
