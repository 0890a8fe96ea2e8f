// Report responses: column types by column id, data rows and their cells, and the
// column look-ups the valuation uses.
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qbreport.h"
#include "qbresponse.h"
#include "testfiles.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {


std::unique_ptr<CQbReport> loadReport(const std::string& text) {
    CQbResponse response(text);
    auto report = std::make_unique<CQbReport>();
    report->load(response);
    return report;
}

std::string reportDoc(const std::string& reportContent) {
    return "<QBXML><QBXMLMsgsRs><GeneralSummaryReportQueryRs statusCode=\"0\"><ReportRet>" +
           reportContent + "</ReportRet></GeneralSummaryReportQueryRs></QBXMLMsgsRs></QBXML>";
}

std::string colDesc(int id, const std::string& type) {
    return "<ColDesc colID=\"" + std::to_string(id) + "\"><ColTitle titleRow=\"1\" value=\"t\"/>"
           "<ColType>" + type + "</ColType></ColDesc>";
}

}  // namespace

TEST(QbReport, ReadsInventoryValuationSummary) {
    auto report = loadReport(readFixture("inventory_valuation_summary_rs.xml"));
    EXPECT_EQ(report->numColumns(), 4);
    EXPECT_EQ(report->numRows(), 6);
    EXPECT_EQ(report->columnIndex("QuantityOnHand"), 2);
    EXPECT_EQ(report->columnIndex("ValueOnHand"), 4);
    EXPECT_EQ(report->columnIndex("UnitOfMeasureUnit"), 3);
    EXPECT_EQ(report->columnIndex("AveragePrice"), -1);

    // Text, subtotal and total rows are not data rows.
    ASSERT_EQ(report->rowCount(), 2);
    EXPECT_EQ(report->rowValue(0), "Beverages:Caf\xC3\xA9 Cr\xC3\xA8me");
    EXPECT_EQ(report->rowValue(1), "Bolt 10mm");
    EXPECT_EQ(report->rowType(0), "item");
    EXPECT_EQ(report->rowValue(2), "");
    EXPECT_THAT(report->columnValues("QuantityOnHand"), ElementsAre("120", "400"));
    EXPECT_THAT(report->columnValues("ValueOnHand"), ElementsAre("210.00", "100.00"));
    // No row has a cell 3; the rows are still answered, with empty text.
    EXPECT_EQ(report->maxColumnId(), 4);
    EXPECT_THAT(report->columnValuesAt(3), ElementsAre("", ""));
    EXPECT_THAT(report->columnValues("AveragePrice"), ElementsAre("", ""));
}

struct ColumnCase {
    const char* label;
    std::vector<int> ids;
    std::vector<std::string> expected;
};

class QbReportColumns : public ::testing::TestWithParam<ColumnCase> {};

// Column types go to the position of their colID; a position already taken pushes the
// entries from there one place up; ids no real report uses are ignored.
TEST_P(QbReportColumns, PlacesTypesByColumnId) {
    const ColumnCase& c = GetParam();
    std::string content;
    for (std::size_t i = 0; i < c.ids.size(); ++i) {
        content += colDesc(c.ids[i], "T" + std::to_string(i + 1));
    }
    auto report = loadReport(reportDoc(content));
    EXPECT_EQ(report->getColumnTypes(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ids, QbReportColumns,
    ::testing::Values(
        ColumnCase{"Ascending", {1, 2, 3}, {"", "T1", "T2", "T3"}},
        ColumnCase{"Gap", {1, 4}, {"", "T1", "", "", "T2"}},
        ColumnCase{"Descending", {3, 1}, {"", "T2", "", "", "T1"}},
        ColumnCase{"Repeated", {1, 2, 1}, {"", "T3", "T1", "T2"}},
        ColumnCase{"Zero", {0, 1}, {"T1", "T2"}},
        ColumnCase{"NegativeAndHugeIgnored", {1, -2, 2000000000, 2}, {"", "T1", "T4"}},
        ColumnCase{"None", {}, {}}),
    [](const ::testing::TestParamInfo<ColumnCase>& info) { return info.param.label; });

TEST(QbReport, ColumnTypeOfFirstOccurrenceWins) {
    auto report = loadReport(reportDoc(colDesc(1, "Amount") + colDesc(2, "Amount")));
    EXPECT_EQ(report->columnIndex("Amount"), 1);
    // A ColDesc without ColType or colID still takes a place, with empty text.
    auto odd = loadReport(reportDoc("<ColDesc><ColType>X</ColType></ColDesc><ColDesc colID=\"2\"/>"));
    EXPECT_THAT(odd->getColumnTypes(), ElementsAre("X", "", ""));
}

TEST(QbReport, ReportWithoutDataRows) {
    auto report = loadReport(reportDoc("<NumRows>0</NumRows>" + colDesc(1, "QuantityOnHand") +
                                       "<ReportData><TextRow rowNumber=\"1\" value=\"x\"/>"
                                       "<TotalRow><ColData colID=\"1\" value=\"TOTAL\"/>"
                                       "</TotalRow></ReportData>"));
    EXPECT_EQ(report->rowCount(), 0);
    EXPECT_THAT(report->columnValues("QuantityOnHand"), IsEmpty());
    EXPECT_THAT(report->columnValuesAt(1), IsEmpty());
    // The total row's cells still count.
    EXPECT_EQ(report->maxColumnId(), 1);
    EXPECT_EQ(report->numColumns(), 0);
}

TEST(QbReport, CellsAndRowsInUnusualShapes) {
    auto report = loadReport(reportDoc(
        colDesc(1, "QuantityOnHand") +
        "<ReportData>"
        // colId spelt three ways; the cell is found by its number either way.
        "<DataRow><RowData rowType=\"item\" value=\"A\"/><ColData colID=\"1\" value=\"5\"/>"
        "<ColData colId=\"2\" value=\"six\"/><ColData COLID=\"12\" value=\"x\"/></DataRow>"
        // No RowData: the row still counts, with empty type and value.
        "<DataRow><ColData colId=\"1\" value=\"7\"/></DataRow>"
        // No cells at all.
        "<DataRow><RowData rowType=\"item\" value=\"C\"/></DataRow>"
        "</ReportData>"));
    ASSERT_EQ(report->rowCount(), 3);
    EXPECT_EQ(report->rowValue(0), "A");
    EXPECT_EQ(report->rowValue(1), "");
    EXPECT_EQ(report->rowType(1), "");
    EXPECT_EQ(report->rowValue(2), "C");
    EXPECT_THAT(report->columnValues("QuantityOnHand"), ElementsAre("5", "7", ""));
    EXPECT_THAT(report->columnValuesAt(2), ElementsAre("six", "", ""));
    EXPECT_EQ(report->maxColumnId(), 12);
    ASSERT_NE(report->getRow(0), nullptr);
    EXPECT_EQ(report->getRow(0)->getSize(), 3);
    EXPECT_EQ(report->getRow(3), nullptr);
}

// Cells are sparse: the highest column id is that of every data, subtotal and total row,
// whichever row holds it.
TEST(QbReport, MaxColumnIdComesFromEveryRow) {
    auto report = loadReport(reportDoc(
        "<DataRow><RowData value=\"A\"/></DataRow>"
        "<DataRow><RowData value=\"B\"/><ColData colID=\"9\" value=\"1\"/></DataRow>"));
    EXPECT_EQ(report->maxColumnId(), 9);
    auto total = loadReport(reportDoc(
        "<DataRow><RowData value=\"A\"/><ColData colID=\"3\" value=\"1\"/></DataRow>"
        "<SubtotalRow><ColData colID=\"5\" value=\"1\"/></SubtotalRow>"
        "<TotalRow><ColData colID=\"7\" value=\"1\"/></TotalRow>"
        "<TextRow rowNumber=\"9\" value=\"x\"/>"));
    EXPECT_EQ(total->maxColumnId(), 7);
    EXPECT_EQ(total->rowCount(), 1);
}

TEST(QbReport, StateBeforeLoadAndAfterLoadingNothing) {
    CQbReport report;
    EXPECT_EQ(report.rowCount(), 0);
    EXPECT_EQ(report.columnIndex("QuantityOnHand"), -1);
    EXPECT_EQ(report.maxColumnId(), 0);
    EXPECT_THAT(report.columnValuesAt(1), IsEmpty());

    CQbResponse response(readFixture("inventory_valuation_summary_rs.xml"));
    report.load(response);
    report.load(nullptr);
    EXPECT_EQ(report.rowCount(), 2);
    // Loading again replaces the first reading instead of adding to it.
    report.load(response);
    EXPECT_EQ(report.rowCount(), 2);
    EXPECT_EQ(report.columnIndex("ValueOnHand"), 4);
}

// Which cell holds which figure, decided by the rows' own figures: on every item row the
// value must be the quantity times the average cost, within the cost's rounding to the
// cent (half a cent a unit, and half a cent for the value's own rounding). With a U/M
// column the rows may number their cells counting it (the value in cell 6) or without
// it (cell 5); -1 is a summary no numbering reads.
struct NumberingCase {
    const char* label;
    bool unitColumn;
    std::vector<std::vector<std::pair<int, std::string>>> rows;
    int valueCell;
    bool ambiguous;
};

class QbReportNumbering : public ::testing::TestWithParam<NumberingCase> {};

TEST_P(QbReportNumbering, TakesTheNumberingEveryRowBearsOut) {
    const NumberingCase& c = GetParam();
    std::vector<std::string> types = {"Blank", "ItemDesc", "QuantityOnHand"};
    if (c.unitColumn) types.push_back("UnitOfMeasureUnit");
    for (const char* type : {"AverageCost", "ValueOnHand", "PercentOfTotalValue", "UnitPrice",
                             "RetailValueOnHand", "PercentOfTotalRetail"})
        types.push_back(type);
    std::string content;
    for (std::size_t i = 0; i < types.size(); ++i) content += colDesc(static_cast<int>(i + 1), types[i]);
    content += "<ReportData>";
    for (std::size_t r = 0; r < c.rows.size(); ++r) {
        content += "<DataRow><RowData rowType=\"item\" value=\"Item " + std::to_string(r) + "\"/>";
        for (const auto& [id, value] : c.rows[r])
            content += "<ColData colID=\"" + std::to_string(id) + "\" value=\"" + value + "\"/>";
        content += "</DataRow>";
    }
    auto report = loadReport(reportDoc(content + "</ReportData>"));
    EXPECT_EQ(report->cellColumnId("ValueOnHand"), c.valueCell);
    EXPECT_EQ(report->cellColumnId("QuantityOnHand"), c.valueCell == -1 ? -1 : 3);
    EXPECT_EQ(report->evidentNumbering().ambiguous, c.ambiguous);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, QbReportNumbering,
    ::testing::Values(
        // Bolt, 100 on hand worth 25.00 at 0.25: read without the U/M column, its value
        // would be its cost, at no cost stated.
        NumberingCase{"CountingTheUnitColumn", true, {{{3, "100"}, {5, "0.25"}, {6, "25.00"}, {7, "100.0"}}}, 6,
                      false},
        NumberingCase{"WithoutTheUnitColumn", true, {{{3, "100"}, {4, "0.25"}, {5, "25.00"}, {6, "100.0"}}}, 5,
                      false},
        // QuickBooks fills the U/M cell with the unit's name: no cost.
        NumberingCase{"UnitNamedInItsCell", true, {{{3, "100"}, {4, "ea"}, {5, "0.25"}, {6, "25.00"}}}, 6, false},
        // Both add up and read the same quantities and values: either will do.
        NumberingCase{"BothReadTheSameFigures", true, {{{3, "1"}, {4, "100.00"}, {5, "100.00"}, {6, "100.0"}},
                                                       {{3, "0"}}}, 6, false},
        // Nothing on hand anywhere: 0 x cost = 0 value, so a value read from the cost
        // cell gives the numbering away.
        NumberingCase{"NothingOnHandWorthNothing", true, {{{3, "0"}, {5, "2.00"}, {6, "0.00"}}, {{3, "0"}}}, 6,
                      false},
        // QuickBooks can carry value where nothing is on hand: such a row does not
        // overturn the numbering the rows with stock bear out.
        NumberingCase{"ValueWithNothingOnHand", true, {{{3, "100"}, {5, "0.25"}, {6, "25.00"}},
                                                       {{3, "0"}, {5, "1.50"}, {6, "-17.86"}}}, 6, false},
        // 2 at 1.00 worth 2.00, or 2 at 2.00 worth 4.00: both add up, the figures differ.
        NumberingCase{"BothAddUpToDifferentFigures", true, {{{3, "2"}, {4, "1.00"}, {5, "2.00"}, {6, "4.00"}}}, -1,
                      true},
        NumberingCase{"NeitherAddsUp", true, {{{3, "100"}, {5, "0.25"}, {6, "30.00"}}}, -1, false},
        // Each row fits one numbering, no numbering fits both rows.
        NumberingCase{"RowsDisagree", true, {{{3, "100"}, {5, "0.25"}, {6, "25.00"}},
                                             {{3, "100"}, {4, "0.25"}, {5, "25.00"}}}, -1, false},
        // Without a U/M column there is one numbering; it still has to add up. 10 at
        // 0.33 (to the cent) may be worth 3.25 to 3.35, no more.
        NumberingCase{"CostRoundedToTheCent", false, {{{3, "10"}, {4, "0.33"}, {5, "3.35"}}}, 5, false},
        NumberingCase{"CostRoundedToTheCentBelow", false, {{{3, "10"}, {4, "0.33"}, {5, "3.25"}}}, 5, false},
        NumberingCase{"BeyondTheCostsRounding", false, {{{3, "10"}, {4, "0.33"}, {5, "3.37"}}}, -1, false},
        NumberingCase{"NegativeOnHand", false, {{{3, "-4"}, {4, "2.50"}, {5, "-10.00"}}}, 5, false},
        NumberingCase{"ValueAtNoCost", false, {{{3, "10"}, {5, "3.30"}}}, -1, false}),
    [](const ::testing::TestParamInfo<NumberingCase>& info) { return info.param.label; });

namespace {

using CCells = std::vector<std::pair<int, std::string>>;

std::string cellsText(const CCells& cells) {
    std::string text;
    for (const auto& [id, value] : cells)
        text += "<ColData colID=\"" + std::to_string(id) + "\" value=\"" + value + "\"/>";
    return text;
}

// A valuation summary with the columns of the types (in colID order), one item row per
// entry of `rows` and, unless `total` is empty, a total row.
std::unique_ptr<CQbReport> summaryOf(const std::vector<std::string>& types, const std::vector<CCells>& rows,
                                     const CCells& total) {
    std::string content;
    for (std::size_t i = 0; i < types.size(); ++i) content += colDesc(static_cast<int>(i + 1), types[i]);
    content += "<ReportData>";
    for (std::size_t r = 0; r < rows.size(); ++r)
        content += "<DataRow><RowData rowType=\"item\" value=\"Item " + std::to_string(r) + "\"/>" +
                   cellsText(rows[r]) + "</DataRow>";
    if (!total.empty()) content += "<TotalRow>" + cellsText(total) + "</TotalRow>";
    return loadReport(reportDoc(content + "</ReportData>"));
}

// The valuation summary's columns, with the U/M column or without, and the value's
// percent column typed as given.
std::vector<std::string> summaryColumns(bool unitColumn, const std::string& percentType = "PercentOfTotalValue") {
    std::vector<std::string> types = {"Blank", "ItemDesc", "QuantityOnHand"};
    if (unitColumn) types.push_back("UnitOfMeasureUnit");
    for (const std::string type : {"AverageCost", "ValueOnHand", percentType.c_str(), "UnitPrice",
                                   "RetailValueOnHand", "PercentOfTotalRetail"})
        types.push_back(type);
    return types;
}

}  // namespace

// The percent of the total value must be the row's value over the total row's value:
// a percent cell, read as a value in the wrong numbering, cannot pass. With a U/M column
// the rows may number their cells counting it (value in cell 6) or without it (cell 5);
// -1 is a summary no numbering reads.
struct PercentCase {
    const char* label;
    bool unitColumn;
    std::vector<CCells> rows;
    CCells total;
    int valueCell;
    bool ambiguous;
    bool percentMisfit;
};

class QbReportPercent : public ::testing::TestWithParam<PercentCase> {};

TEST_P(QbReportPercent, TakesTheNumberingWhosePercentsAreTheValuesShares) {
    const PercentCase& c = GetParam();
    auto report = summaryOf(summaryColumns(c.unitColumn), c.rows, c.total);
    EXPECT_EQ(report->cellColumnId("ValueOnHand"), c.valueCell);
    const CQbReport::CNumberingEvidence evidence = report->evidentNumbering();
    EXPECT_EQ(evidence.ambiguous, c.ambiguous);
    EXPECT_EQ(evidence.percentMisfit, c.percentMisfit);
    EXPECT_EQ(evidence.misfitRow, c.valueCell == -1 && !c.ambiguous ? 0 : -1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, QbReportPercent,
    ::testing::Values(
        // Alpha, 4 worth 25.00 at 6.25, beside Gamma, nothing on hand worth 0.01. Counting
        // the U/M column, Alpha's value (25.00) reads as its cost and its percent (100.0)
        // as its value, 4 x 25.00 = 100.00; but 100.00 of a total read as 100.0 is no
        // share of 0 (the empty sales price read as the percent).
        PercentCase{"PercentCellPassesForAValue", true,
                    {{{3, "4"}, {4, "6.25"}, {5, "25.00"}, {6, "100.0"}}, {{3, "0"}, {5, "0.01"}, {6, "0.0"}}},
                    {{3, "4"}, {5, "25.01"}, {6, "100.0"}}, 5, false, false},
        // One item, 10 worth 10.00 at 1.00: 10 x 10.00 = 100.0 adds up counting the U/M
        // column as well.
        PercentCase{"OneItemWithoutTheUnitColumn", true, {{{3, "10"}, {4, "1.00"}, {5, "10.00"}, {6, "100.0"}}},
                    {{3, "10"}, {5, "10.00"}, {6, "100.0"}}, 5, false, false},
        PercentCase{"OneItemCountingTheUnitColumn", true, {{{3, "10"}, {5, "1.00"}, {6, "10.00"}, {7, "100.0"}}},
                    {{3, "10"}, {6, "10.00"}, {7, "100.0"}}, 6, false, false},
        // Its sales price of 100.00, read as the percent counting the U/M column, is 100.0's
        // share of 100.0 too: both numberings add up, reading different values.
        PercentCase{"OneItemWhosePriceIsItsShare", true,
                    {{{3, "10"}, {4, "1.00"}, {5, "10.00"}, {6, "100.0"}, {7, "100.00"}, {8, "1000.00"}, {9, "100.0"}}},
                    {{3, "10"}, {5, "10.00"}, {6, "100.0"}, {8, "1000.00"}, {9, "100.0"}}, -1, true, false},
        // Shown to one decimal, a share may be off by up to 0.05, no more.
        PercentCase{"SharesRoundedToOneDecimal", false,
                    {{{3, "1"}, {4, "1.00"}, {5, "1.00"}, {6, "33.3"}}, {{3, "1"}, {4, "2.00"}, {5, "2.00"}, {6, "66.7"}}},
                    {{3, "2"}, {5, "3.00"}, {6, "100.0"}}, 5, false, false},
        PercentCase{"ShareBeyondItsRounding", false,
                    {{{3, "1"}, {4, "1.00"}, {5, "1.00"}, {6, "33.4"}}, {{3, "1"}, {4, "2.00"}, {5, "2.00"}, {6, "66.7"}}},
                    {{3, "2"}, {5, "3.00"}, {6, "100.0"}}, -1, false, true},
        // A value with nothing on hand has its share all the same.
        PercentCase{"ShareOfAValueWithNothingOnHand", false,
                    {{{3, "0"}, {5, "0.01"}, {6, "7.0"}}, {{3, "4"}, {4, "6.25"}, {5, "25.00"}, {6, "100.0"}}},
                    {{3, "4"}, {5, "25.01"}, {6, "100.0"}}, -1, false, true},
        // No total row, or a total of nothing: there is no total to hold a percent against.
        PercentCase{"NoTotalRow", false, {{{3, "10"}, {4, "1.00"}, {5, "10.00"}, {6, "50.0"}}}, {}, 5, false, false},
        PercentCase{"TotalOfNothing", false,
                    {{{3, "1"}, {4, "5.00"}, {5, "5.00"}}, {{3, "-1"}, {4, "5.00"}, {5, "-5.00"}}},
                    {{3, "0"}, {5, "0.00"}}, 5, false, false}),
    [](const ::testing::TestParamInfo<PercentCase>& info) { return info.param.label; });

// A cell's meaning is its column's ColType: the percent evidence is that of the column
// typed PercentOfTotalValue, wherever it stands, and of no column typed otherwise. One
// item, 10 worth 10.00, adds up in both numberings; only its percent tells them apart.
TEST(QbReport, ThePercentIsTheColumnItsColTypeNames) {
    const std::vector<CCells> rows = {{{3, "10"}, {4, "1.00"}, {5, "10.00"}, {6, "100.0"}}};
    const CCells total = {{3, "10"}, {5, "10.00"}, {6, "100.0"}};
    EXPECT_EQ(summaryOf(summaryColumns(true), rows, total)->cellColumnId("ValueOnHand"), 5);
    EXPECT_EQ(summaryOf(summaryColumns(true, "Percent"), rows, total)->cellColumnId("ValueOnHand"), -1);
    EXPECT_TRUE(summaryOf(summaryColumns(true, "Percent"), rows, total)->evidentNumbering().ambiguous);

    // The U/M column moved after the value: the columns before it keep their cells.
    std::vector<std::string> moved = {"Blank", "ItemDesc", "QuantityOnHand", "AverageCost", "ValueOnHand",
                                      "UnitOfMeasureUnit", "PercentOfTotalValue"};
    auto report = summaryOf(moved, rows, total);
    EXPECT_EQ(report->cellColumnId("ValueOnHand"), 5);
    EXPECT_EQ(report->cellColumnId("PercentOfTotalValue", *report->evidentNumbering().numbering), 6);
}

// A numbering another summary settled is the one the rows are read in when they add up
// in it, and none otherwise; only rows that bear out one numbering of two settle it.
TEST(QbReport, ANumberingSettledElsewhereDecidesWhatTheRowsLeaveOpen) {
    using N = CQbReport::CNumbering;
    const std::vector<CCells> eitherRows = {
        {{3, "10"}, {4, "1.00"}, {5, "10.00"}, {6, "100.0"}, {7, "100.00"}, {8, "1000.00"}, {9, "100.0"}}};
    const CCells eitherTotal = {{3, "10"}, {5, "10.00"}, {6, "100.0"}, {8, "1000.00"}, {9, "100.0"}};
    auto either = summaryOf(summaryColumns(true), eitherRows, eitherTotal);
    EXPECT_FALSE(either->evidentNumbering().settles);
    EXPECT_EQ(either->evidentNumbering(N::withoutUnitColumn).numbering, N::withoutUnitColumn);
    EXPECT_EQ(either->evidentNumbering(N::countingUnitColumn).numbering, N::countingUnitColumn);

    auto without = summaryOf(summaryColumns(true), {{{3, "4"}, {4, "6.25"}, {5, "25.00"}, {6, "100.0"}}},
                             {{3, "4"}, {5, "25.00"}, {6, "100.0"}});
    EXPECT_TRUE(without->evidentNumbering().settles);
    EXPECT_EQ(without->evidentNumbering().numbering, N::withoutUnitColumn);
    const CQbReport::CNumberingEvidence contradicted = without->evidentNumbering(N::countingUnitColumn);
    EXPECT_EQ(contradicted.numbering, std::nullopt);
    EXPECT_FALSE(contradicted.ambiguous);
    EXPECT_EQ(contradicted.misfitRow, 0);

    // Without a U/M column there is nothing to settle.
    auto plain = summaryOf(summaryColumns(false), {{{3, "4"}, {4, "6.25"}, {5, "25.00"}}}, {});
    EXPECT_FALSE(plain->evidentNumbering().settles);
    EXPECT_EQ(plain->evidentNumbering(N::withoutUnitColumn).numbering, N::withoutUnitColumn);
}
