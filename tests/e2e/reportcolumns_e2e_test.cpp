// The valuation summary read by its column list. With units of measure on, the column
// list holds a U/M column that the rows may number their cells with or without; cells
// are sparse, so the first item's row (here one without a sales price, which lacks the
// retail cells) cannot tell the numbering. And a summary without the quantity or value
// column stops the run before the day is committed.
#include "e2efixture.h"
#include "widestring.h"

namespace {

using ::testing::HasSubstr;

// Anchor, an item without a sales price whose row comes first, with stock from before
// the start date; its value needs no correction.
std::string anchor() {
    CCompanyBuilder company;
    company.item("Anchor").cost(2.00);
    company.bill("2010-03-01", "B-A").line("Anchor", 5, 2.00);
    return company;
}

// Takes the ColDesc of one column type out of every valuation summary QuickBooks answers.
CDelegatingProcessor* columnDroppingProcessor(IRequestProcessor2* real, const std::string& columnType) {
    return new CRewritingProcessor(real, [columnType](std::string text) {
        for (std::size_t type = text.find("<ColType>" + columnType + "</ColType>"); type != std::string::npos;
             type = text.find("<ColType>" + columnType + "</ColType>")) {
            const std::size_t from = text.rfind("<ColDesc", type);
            const std::size_t to = text.find("</ColDesc>", type) + std::string("</ColDesc>").size();
            text.erase(from, to - from);
        }
        return text;
    });
}

}  // namespace

class ReportColumns : public ValuationRun {
protected:
    // The fifo company with Anchor, in a file of its own made with the options.
    std::string companyWithAnchor(const std::string& name, const CQbSimCompanyOptions& options) {
        const std::string path = company("fifo_company_rq.xml", options, name + ".qbw");
        send(path, anchor());
        return path;
    }

    // Widget's corrections of the fifo company, worked out by hand: 04/02 QuickBooks
    // 104.00, FIFO 110.00; 04/03 QuickBooks 68.75, FIFO 80.00. Anchor needs none.
    void expectWidgetCorrections(const std::string& path) {
        EXPECT_EQ(postings(path).size(), 2u);
        expectPostings(path, {{"2010-04-02", "Cost of Goods Sold", "East", "Bright Shop", "Widget", 6.00},
                              {"2010-04-03", "Cost of Goods Sold", "West", "Bright Shop", "Widget", 11.25}});
    }
};

TEST_F(ReportColumns, FirstItemWithoutItsLastCellsIsReadInEveryNumbering) {
    const struct {
        const char* label;
        bool units;
        bool unitCounted;
    } cases[] = {{"NoUnits", false, false}, {"UnitsNotNumbered", true, false}, {"UnitsNumbered", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CQbSimCompanyOptions options{"Acme Hardware"};
        options.unitsOfMeasure = c.units;
        options.unitColumnNumbered = c.unitCounted;
        const std::string path = companyWithAnchor(c.label, options);
        std::string status;
        ASSERT_TRUE(runApril(path, &status)) << status;
        expectWidgetCorrections(path);
        auto dlg = window();
        ASSERT_TRUE(dlg->openFile(path));
        EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 3), "Anchor"), std::make_pair(5.0, 10.0));
        EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 3), "Widget"), std::make_pair(10.0, 80.0));
    }
}

// Without either column every item would read as nothing on hand and worth nothing: the
// run stops at the first summary it reads (that of 03/31, the quantities the transactions
// read are counted from), with nothing posted, and the next run with a sound summary ends
// with the right books.
TEST_F(ReportColumns, ASummaryWithoutTheQuantityOrValueColumnStopsTheRun) {
    for (const std::string column : {"QuantityOnHand", "ValueOnHand"}) {
        SCOPED_TRACE(column);
        const std::string path = companyWithAnchor(column, CQbSimCompanyOptions{"Acme Hardware"});
        wrapProcessor([column](IRequestProcessor2* real) { return columnDroppingProcessor(real, column); });
        std::string status;
        EXPECT_FALSE(runApril(path, &status));
        EXPECT_EQ(status, "QuickBooks' inventory valuation summary of 03/31/2010 has no " + column +
                              " column, so Lotwise cannot read the items' quantities and values; nothing was "
                              "posted for that day.");
        qbsimRegister();
        EXPECT_TRUE(postings(path).empty());
        ASSERT_TRUE(runApril(path, &status)) << status;
        expectWidgetCorrections(path);
    }
}
