// A calculated day reads QuickBooks' valuation summary for its own items alone: the
// event log shows each day's report naming only what the day sold, adjusted or built,
// and the books come out as those of a run that reads every item each day.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "costrundoctestaccess.h"
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
        engineState(*dlg->getEngine()).runLists.readEveryItem = everyItem;
        dlg->setDate(kIdcStartDate, start);
        dlg->setDate(kIdcUpToDate, upto);
        ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    }

    static std::string valuationOf(const std::string& path, const std::string& date) {
        return answer(path, "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary"
                            "</GeneralSummaryReportType><ReportPeriod><FromReportDate>" + date +
                            "</FromReportDate><ToReportDate>" + date + "</ToReportDate></ReportPeriod>"
                            "</GeneralSummaryReportQueryRq>");
    }
};

}  // namespace

TEST_F(DayItems, EachDaysReportNamesOnlyTheItemsItSold) {
    // 04/02 and 04/03 sell Widgets; Bolts, bought on 04/01, are never sold. The proof reads
    // 04/03 once more for the items that day valued; the opening report of 03/31 alone
    // asks for items by type.
    const std::string path = company("fifo_company_rq.xml");
    send(path,
         "<ItemInventoryAddRq><ItemInventoryAdd><Name>Bolt</Name><IncomeAccountRef><FullName>Sales</FullName>"
         "</IncomeAccountRef><COGSAccountRef><FullName>Cost of Goods Sold</FullName></COGSAccountRef>"
         "<AssetAccountRef><FullName>Inventory Asset</FullName></AssetAccountRef></ItemInventoryAdd>"
         "</ItemInventoryAddRq><BillAddRq><BillAdd><VendorRef><FullName>Acme Supply</FullName></VendorRef>"
         "<TxnDate>2010-04-01</TxnDate><ItemLineAdd><ItemRef><FullName>Bolt</FullName></ItemRef>"
         "<Quantity>5</Quantity><Cost>2.00</Cost></ItemLineAdd></BillAdd></BillAddRq>");
    value(path, day(2010, 4, 1), day(2010, 4, 3), false);
    std::vector<std::pair<std::string, std::set<std::string>>> named;
    for (const auto& report : namedReports())
        if (!report.second.empty()) named.push_back(report);
    EXPECT_THAT(named, ElementsAre(std::make_pair(std::string("2010-04-02"), std::set<std::string>{"Widget"}),
                                   std::make_pair(std::string("2010-04-03"), std::set<std::string>{"Widget"}),
                                   std::make_pair(std::string("2010-04-03"), std::set<std::string>{"Widget"})));
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
