// Trouble around a run that is no fault of the books: folders that cannot be written, a
// report QuickBooks refuses. Each ends in a clear status text, and nothing of the
// company file is lost: a later run finishes the job.
#include <fstream>

#include "e2efixture.h"

namespace {

using ::testing::HasSubstr;

class TroubledRun : public ValuationRun {
protected:
    ~TroubledRun() override { qbsimSetFaults(std::nullopt); }

    std::unique_ptr<CCostrunDlg> openForFirstRun(const std::string& path) {
        auto dlg = window();
        EXPECT_TRUE(dlg->openFile(path)) << dlg->statusText();
        dlg->setDate(kIdcStartDate, day(2010, 4, 1));
        dlg->setDate(kIdcUpToDate, day(2010, 4, 3));
        return dlg;
    }
};

TEST_F(TroubledRun, AReportFolderThatCannotBeWrittenStopsBeforeAnyDay) {
    // A file standing where the company's report folder belongs blocks it for any
    // user, root included (who writes into read-only folders).
    const std::string path = company("fifo_company_rq.xml");
    auto dlg = openForFirstRun(path);
    const auto folder = dir / "docs" / "Veltrane" / "Lotwise Reports" / "Acme";
    std::filesystem::create_directories(folder.parent_path());
    std::ofstream(folder) << "in the way";
    EXPECT_FALSE(dlg->onProcess());
    EXPECT_THAT(dlg->statusText(), HasSubstr("Cannot create the report file"));
    EXPECT_THAT(dlg->statusText(), HasSubstr("costrun20100401_20100403.csv"));
    EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 2), "Widget"), std::make_pair(16.0, 104.0));

    std::filesystem::remove(folder);
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 3), "Widget"), std::make_pair(10.0, 80.0));
}

TEST_F(TroubledRun, AnApplicationDataFolderThatCannotBeWrittenLosesOnlyTheLogs) {
    const std::string path = company("fifo_company_rq.xml");
    std::filesystem::create_directories(dir / "appdata" / "Veltrane");
    std::ofstream(dir / "appdata" / "Veltrane" / "Lotwise") << "in the way";
    auto dlg = openForFirstRun(path);
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    EXPECT_THAT(dlg->statusText(), HasSubstr("Process completed"));
    EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 3), "Widget"), std::make_pair(10.0, 80.0));
}

TEST_F(TroubledRun, ARefusedValuationReportStopsTheRunBeforeTheDayCounts) {
    const std::string path = company("fifo_company_rq.xml");
    auto dlg = openForFirstRun(path);
    CQbSimFaults faults;
    faults.statusRequest = "GeneralSummaryReportQueryRq";
    faults.statusAt = 3;  // 04/02: after its two reports, the opening report of 03/31
    faults.statusCode = 3210;
    faults.statusMessage = "The report could not be made.";
    qbsimSetFaults(faults);
    // The faults apply to processors created from now on.
    ASSERT_TRUE(dlg->openFile(path));
    EXPECT_FALSE(dlg->onProcess());
    EXPECT_EQ(dlg->statusText(), "The report could not be made.");
    qbsimSetFaults(std::nullopt);

    auto again = window();
    ASSERT_TRUE(again->openFile(path));
    // 04/01 had no sales: a day without activity is committed with the next calculated
    // day, and that day was refused, so the file is as before the run.
    EXPECT_EQ(again->control(kIdcCurrentUpToDate).text, "");
    again->setDate(kIdcUpToDate, day(2010, 4, 3));
    ASSERT_TRUE(again->onProcess()) << again->statusText();
    EXPECT_EQ(carried(*again->getEngine(), day(2010, 4, 2), "Widget"), std::make_pair(16.0, 110.0));
    EXPECT_EQ(carried(*again->getEngine(), day(2010, 4, 3), "Widget"), std::make_pair(10.0, 80.0));
}

}  // namespace
