// Whole valuation runs against the embedded QuickBooks stand-in on a temporary company
// file: what the bookkeeper sees, what the report says, and what QuickBooks carries
// afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "e2efixture.h"
#include "qbutils.h"

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST_F(ValuationRun, FirstRunBringsQuickBooksToTheFifoValue) {
    const std::string path = company("fifo_company_rq.xml");
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path)) << dlg->statusText();
    EXPECT_EQ(dlg->control(kIdcCompanyName).text, "Acme Hardware");
    dlg->setDate(kIdcStartDate, day(2010, 4, 1));
    dlg->setDate(kIdcUpToDate, day(2010, 4, 3));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    CCostrunDoc& engine = *dlg->getEngine();
    EXPECT_THAT(dlg->statusText(), ::testing::StartsWith("Process completed\n\nA report of the calculation is created at " +
                                                         engine.getReportPath() + "\n"));
    EXPECT_EQ(dlg->control(kIdcCurrentUpToDate).text, "04/03/2010");
    EXPECT_EQ(engine.getReportPath(), (dir / "docs" / "Veltrane" / "Lotwise Reports" / "Acme" /
                                       "costrun20100401_20100403.csv").string());

    // QuickBooks now carries the FIFO value at the end of each sales day.
    EXPECT_EQ(carried(engine, day(2010, 4, 2), "Widget"), std::make_pair(16.0, 110.0));
    EXPECT_EQ(carried(engine, day(2010, 4, 3), "Widget"), std::make_pair(10.0, 80.0));
    EXPECT_EQ(carried(engine, day(2010, 4, 1), "Widget"), std::make_pair(20.0, 130.0));

    const std::string report = readFile(engine.getReportPath());
    EXPECT_THAT(report, HasSubstr("\"FIFO Valuation on 04/02/2010\""));
    EXPECT_THAT(report, HasSubstr("\"Widget\",16.00,104.00,110.00\n"
                                  "\"\",\"\",\"\",\"\",\"Bill\",\"B-2\",2010/04/01,10.00,8.000000\n"
                                  "\"\",\"\",\"\",\"\",\"Before FIFO\",\"\",2010/03/31,6.00,5.000000\n"));
    EXPECT_THAT(report, HasSubstr("\"Widget\",10.00,68.75,80.00\n"));
    EXPECT_THAT(report, ::testing::Not(HasSubstr("04/01/2010")));  // a day without issues

    const std::string activity = readFile(engine.activityLogPath());
    EXPECT_THAT(activity, StartsWith("Start date : 04/01/2010\nLast up to date : not specified\n"
                                     "New up to date : 04/03/2010\nMultiCurrency is turned off\n"));
    EXPECT_THAT(activity, HasSubstr("-- Value adjust account Cost of Goods Sold for customer Bright Shop\n"
                                    "Item NewValue\nWidget 110.00\n"));
    EXPECT_THAT(activity, HasSubstr("Widget 80.00\n"));
}

TEST_F(ValuationRun, BuildsAreValuedFromTheirComponentsPassByPass) {
    const std::string path = company("build_company_rq.xml");
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path)) << dlg->statusText();
    dlg->setDate(kIdcStartDate, day(2010, 4, 1));
    dlg->setDate(kIdcUpToDate, day(2010, 4, 3));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    EXPECT_THAT(dlg->statusText(), ::testing::Not(HasSubstr("Warning")));
    CCostrunDoc& engine = *dlg->getEngine();

    // Value moved from the components to the assemblies: QuickBooks now carries the FIFO
    // value of every item at the end of the building day.
    EXPECT_EQ(carried(engine, day(2010, 4, 2), "Widget"), std::make_pair(13.0, 95.0));
    EXPECT_EQ(carried(engine, day(2010, 4, 2), "Kit", "Assembly"), std::make_pair(1.0, 22.5));
    EXPECT_EQ(carried(engine, day(2010, 4, 2), "Crate", "Assembly"), std::make_pair(1.0, 37.5));

    // Each build keeps its value in the company file for later runs.
    CQbFieldList filter;
    filter.addText("IncludeComponentLineItems", "true");
    filter.addText("OwnerID", kPrivateOwnerId);
    auto builds = engine.getSession()->queryBuildAssembly(&filter);
    ASSERT_EQ(builds->getSize(), 2);
    std::map<std::string, std::string> values;
    for (int i = 0; i < builds->getSize(); ++i) {
        values[builds->getAt(i)->getValue("RefNumber")] = builds->getAt(i)->getValue("BuildValue");
    }
    EXPECT_EQ(values["K-1"], "45.000000");
    EXPECT_EQ(values["C-1"], "37.500000");

    const std::string activity = readFile(engine.activityLogPath());
    EXPECT_THAT(activity, HasSubstr("Build component : item Widget qty 4.000000 val 20.000000\n"));
    EXPECT_THAT(activity, HasSubstr("Build transaction : item Kit value 45.000000\n"));
    EXPECT_THAT(activity, HasSubstr("Build component : item Kit qty 1.000000 val 22.500000\n"));
    EXPECT_THAT(activity, HasSubstr("Build transaction : item Crate value 37.500000\n"));
    // The Kit is valued in the first pass, the Crate made of it in the second.
    EXPECT_LT(activity.find("Build transaction : item Kit"), activity.find("Build transaction : item Crate"));

    const std::string report = readFile(engine.getReportPath());
    EXPECT_THAT(report, HasSubstr("\"Kit\",1.00,25.50,22.50\n"
                                  "\"\",\"\",\"\",\"\",\"Build Assembly\",\"K-1\",2010/04/02,1.00,22.500000\n"));
    EXPECT_THAT(report, HasSubstr("\"Crate\",1.00,45.00,37.50\n"));

    // A later run values nothing again: the builds keep the values they have.
    dlg->setDate(kIdcUpToDate, day(2010, 4, 5));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    EXPECT_THAT(readFile(engine.activityLogPath()).substr(activity.size()),
                ::testing::Not(HasSubstr("Build transaction")));
}

TEST_F(ValuationRun, ReopenedFileContinuesAfterTheLastDay) {
    const std::string path = company("fifo_company_rq.xml");
    {
        auto dlg = window();
        ASSERT_TRUE(dlg->openFile(path));
        dlg->setDate(kIdcStartDate, day(2010, 4, 1));
        dlg->setDate(kIdcUpToDate, day(2010, 4, 2));
        ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
        EXPECT_THAT(dlg->getEngine()->getReportPath(), HasSubstr("costrun20100401_20100402.csv"));
    }
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    EXPECT_EQ(dlg->control(kIdcStartDateText).text, "04/01/2010");
    EXPECT_EQ(dlg->control(kIdcCurrentUpToDate).text, "04/02/2010");
    dlg->setDate(kIdcUpToDate, day(2010, 4, 2));
    EXPECT_FALSE(dlg->onProcess());
    EXPECT_THAT(dlg->statusText(), HasSubstr("has to be after the current Up to Date"));
    dlg->setDate(kIdcUpToDate, day(2010, 4, 3));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    EXPECT_THAT(dlg->getEngine()->getReportPath(), HasSubstr("costrun20100403.csv"));
    EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 3), "Widget"), std::make_pair(10.0, 80.0));

    // Valuing on into days without activity posts nothing and changes nothing.
    dlg->setDate(kIdcUpToDate, day(2010, 4, 6));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    EXPECT_EQ(dlg->control(kIdcCurrentUpToDate).text, "04/06/2010");
    EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 6), "Widget"), std::make_pair(10.0, 80.0));
}

}  // namespace

