// A calculated day reads QuickBooks' valuation summary for its own items alone: the
// event log shows each day's report naming only what the day sold, adjusted or built,
// and the books come out as those of a run that reads every item each day.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "companybuilder.h"
#include "e2efixture.h"
#include "qbsimgenerator.h"

namespace {

using ::testing::ElementsAre;

class DayItems : public ValuationRun {
protected:
    std::string eventLog() const {
        return readFile((dir / "appdata" / "Veltrane" / "Lotwise" / "qbevent.log").string());
    }

    // The items each report request of the event log names, by report date, in order.
    std::vector<std::pair<std::string, std::set<std::string>>> namedReports() const {
        std::vector<std::pair<std::string, std::set<std::string>>> reports;
        const std::string log = eventLog();
        const std::regex request("<GeneralSummaryReportQueryRq[\\s\\S]*?</GeneralSummaryReportQueryRq>");
        const std::regex date("<FromReportDate>([^<]+)<");
        const std::regex name("<FullName>([^<]+)<");
        for (auto it = std::sregex_iterator(log.begin(), log.end(), request); it != std::sregex_iterator(); ++it) {
            const std::string text = it->str();
            std::smatch at;
            if (!std::regex_search(text, at, date)) continue;
            std::set<std::string> names;
            for (auto n = std::sregex_iterator(text.begin(), text.end(), name); n != std::sregex_iterator(); ++n)
                names.insert((*n)[1].str());
            reports.emplace_back(at[1].str(), names);
        }
        return reports;
    }

    // Values the file from `start` to `upto`; with `everyItem`, each day reads every item.
    void value(const std::string& path, const CDateTime& start, const CDateTime& upto, bool everyItem) {
        auto dlg = window();
        ASSERT_TRUE(dlg->openFile(path)) << dlg->statusText();
        dlg->getEngine()->setReadEveryItem(everyItem);
        dlg->setDate(kIdcStartDate, start);
        dlg->setDate(kIdcUpToDate, upto);
        ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
        reportPath = dlg->getEngine()->getReportPath();
        summary = dlg->getEngine()->getRunSummary();
    }
    std::string reportPath;
    CRunSummary summary;

    static std::string valuationOf(const std::string& path, const std::string& date) {
        return answer(path, "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary"
                            "</GeneralSummaryReportType><ReportPeriod><FromReportDate>" + date +
                            "</FromReportDate><ToReportDate>" + date + "</ToReportDate></ReportPeriod>"
                            "</GeneralSummaryReportQueryRq>");
    }
};

}  // namespace

TEST_F(DayItems, EachDaysReportNamesOnlyTheItemsItSoldAndTheCloseValuesEveryItem) {
    // 04/02 and 04/03 sell Widgets; Bolts, bought on 04/01, are never sold. The run's first
    // calculated day (04/02) and the closing valuation after 04/03 read every item by
    // type, as do the quantities of 03/31 the transactions read are counted from (first
    // of all), the opening report of 03/31 and the valuation of 04/03 the run keeps for
    // the next open; 04/03 asks for its Widgets by name.
    const std::string path = company("fifo_company_rq.xml");
    CCompanyBuilder bolts;
    bolts.item("Bolt");
    bolts.bill("2010-04-01").line("Bolt", 5, 2.00);
    send(path, bolts);
    value(path, day(2010, 4, 1), day(2010, 4, 3), false);
    std::vector<std::pair<std::string, std::set<std::string>>> named, byType;
    for (const auto& report : namedReports()) (report.second.empty() ? byType : named).push_back(report);
    EXPECT_THAT(named, ElementsAre(std::make_pair(std::string("2010-04-03"), std::set<std::string>{"Widget"})));
    std::vector<std::string> byTypeDates;
    for (const auto& report : byType) byTypeDates.push_back(report.first);
    EXPECT_THAT(byTypeDates, ElementsAre("2010-03-31", "2010-03-31", "2010-04-02", "2010-04-02", "2010-03-31",
                                         "2010-04-03", "2010-04-03", "2010-04-03", "2010-04-03"));

    // The closing block lists the Bolts that were never sold, at their bill's cost, and the
    // proof counts them among the items on hand.
    const std::string report = readFile(reportPath);
    const std::size_t closing = report.find("\"FIFO Valuation of every item on hand on 04/03/2010\"\n");
    ASSERT_NE(closing, std::string::npos) << report;
    EXPECT_THAT(report.substr(closing), ::testing::HasSubstr("\"Bolt\",5.00,10.00,10.00\n"
                                                           "\"\",\"\",\"\",\"\",\"Bill\","));
    EXPECT_THAT(report.substr(closing), ::testing::HasSubstr("\"Widget\",10.00,80.00,80.00\n"));
    EXPECT_EQ(summary.proofItems, 2);
    EXPECT_EQ(summary.proofMatched, 2);
    EXPECT_NEAR(summary.onHandValue, 90.00, 0.005);
}

TEST_F(DayItems, BooksEqualThoseOfARunThatReadsEveryItem) {
    CQbSimGeneratorOptions options;
    options.items = 80;
    options.assemblies = 8;
    options.days = 25;
    options.seed = 7;
    const std::string named = (dir / "named.qbw").string(), every = (dir / "every.qbw").string();
    qbsimGenerateCompany(named, options);
    std::filesystem::copy_file(named, every);
    auto largestNamed = [&] {
        std::size_t largest = 0;
        for (const auto& report : namedReports()) largest = std::max(largest, report.second.size());
        return largest;
    };
    value(named, day(2024, 1, 1), day(2024, 1, 25), false);
    const std::size_t dayItems = largestNamed();
    value(every, day(2024, 1, 1), day(2024, 1, 25), true);
    // A day's reports name some of the stocked items, never all of them.
    EXPECT_GT(dayItems, 0u);
    EXPECT_LT(dayItems, largestNamed());

    const CPostings expected = postings(every);
    ASSERT_GT(expected.size(), 20u);
    expectSamePostings(expected, postings(named));
    for (const char* date : {"2024-01-10", "2024-01-25"})
        EXPECT_EQ(valuationOf(named, date), valuationOf(every, date)) << date;
}

// A return to a vendor on a day without sales: QuickBooks takes it out at the credit's
// amount, and no day sells the item again, so no posting moves it (as in a run that reads
// every item each day), but the closing valuation finds it. Widget: 40 at 6.00 before the
// start, 80 at 10.00 on 04/01, 5 sold on 04/02 (FIFO 1,010.00 for 115). 30 go back at
// 9.00 on 04/05: QuickBooks carries 740.00, FIFO 50 at 10.00 and 35 at 6.00, 710.00.
TEST_F(DayItems, TheCloseFindsAReturnNoDayValued) {
    CCompanyBuilder company;
    company.lists().item("Widget");
    company.item("Bolt");
    company.bill("2010-03-01").line("Widget", 40, 6.00);
    company.bill("2010-03-01").line("Bolt", 10, 2.00);
    company.bill("2010-04-01").line("Widget", 80, 10.00);
    company.invoice("2010-04-02").line("Widget", 5);
    company.vendorCredit("2010-04-05").line("Widget", 30, 9.00);
    company.invoice("2010-04-06").line("Bolt", 1);
    const std::string named = companyWith(company);
    const std::string every = (dir / "every.qbw").string();
    std::filesystem::copy_file(named, every);
    value(named, day(2010, 4, 1), day(2010, 4, 6), false);
    value(every, day(2010, 4, 1), day(2010, 4, 6), true);
    expectSamePostings(postings(every), postings(named));
    EXPECT_EQ(summary.proofItems, 2);
    EXPECT_EQ(summary.proofMatched, 1);
    ASSERT_EQ(summary.exceptions.size(), 1u);
    EXPECT_EQ(summary.exceptions[0].item, "Widget");
    EXPECT_EQ(summary.exceptions[0].reason, "QuickBooks carries 740.00, the FIFO value is 710.00");
    EXPECT_THAT(readFile(reportPath), ::testing::HasSubstr("\"FIFO Valuation of every item on hand on 04/06/2010\"\n"
        "\"(List of items and the list of most recent transactions of their receiving)\"\n\n"
        "\"Item\",\"Qty\",\"QB Value\",\"FIFO Value\"\n"
        "\"\",\"\",\"\",\"\",\"Txn Type\",\"Ref Number\",\"Txn Date\",\"Qty\",\"Item Cost\"\n"
        "\"Bolt\",9.00,18.00,18.00\n"
        "\"\",\"\",\"\",\"\",\"Before FIFO\",\"\",2010/03/31,9.00,2.000000\n"
        "\"Widget\",85.00,740.00,710.00\n"
        "\"\",\"\",\"\",\"\",\"Vendor Credit\",\"\",2010/04/05,-30.00,9.000000\n"
        "\"\",\"\",\"\",\"\",\"Bill\",\"\",2010/04/01,50.00,10.000000\n"
        "\"\",\"\",\"\",\"\",\"Before FIFO\",\"\",2010/03/31,35.00,6.000000\n\n\n\n"));
}
