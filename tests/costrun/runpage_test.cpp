// The run's page: its figures and texts, escaping, nothing fetched, and chart geometry
// that stays inside the charts' view boxes whatever the summary holds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <regex>
#include <sstream>

#include "files.h"
#include "runpage.h"
#include "testfiles.h"
#include "tzguard.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

CDateTime day(int y, int m, int d) { return *CDateTime::fromLocal(y, m, d, 23, 59, 59); }

const char* const kNastyItem = "Bolt <M8> & \"nut\" 'zinc'";

CRunException exception(CRunException::Kind kind, const std::string& item, const CDateTime& when,
                        const std::string& reason) {
    CRunException e;
    e.kind = kind;
    e.item = item;
    e.day = when;
    e.reason = reason;
    return e;
}

CRunSummary sample() {
    CRunSummary s;
    s.firstDay = day(2025, 1, 1);
    s.upTo = day(2025, 1, 31);
    s.daysProcessed = 31;
    s.daysCalculated = 22;
    s.postings = 57;
    s.increase = 1231688.19;
    s.decrease = -4321.5;
    s.itemCorrections = {{kNastyItem, -4321.5}, {"Hinge", 1231000.19}, {"Washer", 688}};
    s.dayCorrections = {{day(2025, 1, 2), 1231000.19}, {day(2025, 1, 3), -4321.5}};
    s.onHandValue = 1276678.69;
    s.proofMade = true;
    s.proofDay = day(2025, 1, 31);
    s.proofMatched = 118;
    s.proofItems = 120;
    s.exceptions = {exception(CRunException::kUnvalued, kNastyItem, day(2025, 1, 14), "On-hand quantity is negative"),
                    exception(CRunException::kRefusedPosting, "Washer", day(2025, 1, 20),
                              "QuickBooks refused <the> posting")};
    s.exceptions[0].days = 5;
    s.exceptions[0].lastDay = day(2025, 1, 18);
    return s;
}

class RunPage : public ::testing::Test {
protected:
    CTzGuard tz{"America/New_York"};
};

TEST_F(RunPage, HoldsEveryFigureAndTextInOrder) {
    const std::string page = runPageHtml(sample(), "Acme Hardware", "costrun20250101_20250131.csv");
    const char* const texts[] = {
        "<title>Lotwise FIFO valuation \xE2\x80\x94 Acme Hardware</title>",
        "<h1>Lotwise FIFO valuation \xE2\x80\x94 Acme Hardware</h1>",
        "01/01/2025 to 01/31/2025",
        "<dt>Days processed</dt><dd>31</dd>",
        "<dt>Days calculated</dt><dd>22</dd>",
        "<dt>Postings</dt><dd>57</dd>",
        "<dt>Total increase</dt><dd>1,231,688.19</dd>",
        "<dt>Total decrease</dt><dd>-4,321.50</dd>",
        "<a href=\"costrun20250101_20250131.csv\">costrun20250101_20250131.csv</a>",
        "QuickBooks now carries the FIFO value of 118 of 120 items on hand (01/31/2025).",
        "it carries 1,276,678.69 for the items on hand.",
        "<td class=\"day\">01/14/2025<br><span class=\"more\">and 4 more days to 01/18/2025</span></td>"
        "<td>On-hand quantity is negative</td>",
        "<td>Washer</td><td class=\"day\">01/20/2025</td>",
        "role=\"img\" aria-labelledby=\"days-chart-title days-chart-desc\"",
        "<td>01/02/2025</td><td class=\"num\">1,231,000.19</td>",
        "<td>01/03/2025</td><td class=\"num\">-4,321.50</td>",
        "role=\"img\" aria-labelledby=\"items-chart-title items-chart-desc\"",
        "<td>Hinge</td><td class=\"num\">1,231,000.19</td>",
        "<td class=\"num\">688.00</td>",
    };
    std::size_t previous = 0;
    for (const char* text : texts) {
        const std::size_t at = page.find(text, previous);
        EXPECT_NE(at, std::string::npos) << "missing or out of order: " << text;
        if (at != std::string::npos) previous = at;
    }
    // Increases to the right of the zero line, decreases to the left.
    EXPECT_THAT(page, HasSubstr("text-anchor=\"end\">-4,321.50</text>"));
    EXPECT_THAT(page, HasSubstr("text-anchor=\"start\">1,231,000.19</text>"));
}

TEST_F(RunPage, EscapesTheCompanysTextsAndLinksOnlyTheReport) {
    const std::string page = runPageHtml(sample(), "Smith & <Sons>", "Q1 report #2?.csv");
    EXPECT_THAT(page, HasSubstr("Smith &amp; &lt;Sons&gt;"));
    EXPECT_THAT(page, HasSubstr("Bolt &lt;M8&gt; &amp; &quot;nut&quot; &apos;zinc&apos;"));
    EXPECT_THAT(page, HasSubstr("QuickBooks refused &lt;the&gt; posting"));
    EXPECT_THAT(page, HasSubstr("<a href=\"Q1%20report%20%232%3F.csv\">Q1 report #2?.csv</a>"));
    EXPECT_THAT(page, Not(HasSubstr("<M8>")));
    EXPECT_THAT(page, Not(HasSubstr("<Sons>")));
    // Nothing is fetched when the page opens.
    for (const char* fetch : {"http", "<script", "src=", "@import", "url(", "<link", "<img"}) {
        EXPECT_THAT(page, Not(HasSubstr(fetch))) << fetch;
    }
    // Even a report name that looks like an address stays a file beside the page.
    EXPECT_THAT(runPageHtml(sample(), "Acme", "https://example.com/x.csv"), HasSubstr("href=\"https%3A//example.com"));
}

TEST_F(RunPage, ARunWithoutDaysItemsOrExceptionsSaysSo) {
    CRunSummary s;
    s.firstDay = s.upTo = day(2025, 1, 1);
    const std::string page = runPageHtml(s, "Acme", "r.csv");
    EXPECT_THAT(page, HasSubstr("No exceptions."));
    EXPECT_THAT(page, HasSubstr("No day was calculated"));
    EXPECT_THAT(page, HasSubstr("No item's value was corrected."));
    EXPECT_THAT(page, HasSubstr("there is no proof"));
    EXPECT_THAT(page, HasSubstr("<dt>Total decrease</dt><dd>0.00</dd>"));
    EXPECT_THAT(page, Not(HasSubstr("<svg")));
}

// Every coordinate of each chart, checked against that chart's view box.
void expectInsideViewBoxes(const std::string& page) {
    static const std::regex viewBox(R"re(viewBox="0 0 ([0-9.]+) ([0-9.]+)")re");
    static const std::regex attribute(R"re(\s(x|y|x1|y1|x2|y2|cx|cy|width|height|points)="([^"]*)")re");
    const std::sregex_iterator end;
    int charts = 0;
    for (std::size_t at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at + 1), ++charts) {
        const std::string chart = page.substr(at, page.find("</svg>", at) - at);
        std::smatch box;
        ASSERT_TRUE(std::regex_search(chart, box, viewBox));
        const double size[2] = {std::stod(box[1]), std::stod(box[2])};
        EXPECT_THAT(chart, Not(HasSubstr("nan")));
        EXPECT_THAT(chart, Not(HasSubstr("inf")));
        for (std::sregex_iterator a(chart.begin(), chart.end(), attribute); a != end; ++a) {
            const std::string name = (*a)[1];
            const std::string value = (*a)[2];
            if (name == "points") {
                std::istringstream pairs(value);
                double x, y;
                char comma;
                while (pairs >> x >> comma >> y) {
                    EXPECT_TRUE(x >= 0 && x <= size[0] && y >= 0 && y <= size[1]) << x << "," << y;
                }
                continue;
            }
            const double v = std::stod(value);
            const bool horizontal = name[0] == 'x' || name == "cx" || name == "width";
            EXPECT_TRUE(v >= 0 && v <= size[horizontal ? 0 : 1]) << name << "=" << value;
        }
        // A bar ends inside the chart too.
        static const std::regex rect(R"re(<rect x="([0-9.]+)" y="[0-9.]+" width="([0-9.]+)")re");
        for (std::sregex_iterator r(chart.begin(), chart.end(), rect); r != end; ++r) {
            EXPECT_LE(std::stod((*r)[1]) + std::stod((*r)[2]), size[0]);
        }
    }
    EXPECT_EQ(charts, 2);
}

struct CExtreme {
    const char* name;
    std::vector<double> days;  // one day's correction per value
    std::vector<double> corrections;
};

void PrintTo(const CExtreme& c, std::ostream* os) { *os << c.name; }

class RunPageCharts : public RunPage, public ::testing::WithParamInterface<CExtreme> {};

TEST_P(RunPageCharts, StayInsideTheirViewBoxes) {
    const CExtreme& c = GetParam();
    CRunSummary s = sample();
    s.dayCorrections.clear();
    s.itemCorrections.clear();
    for (std::size_t i = 0; i < c.days.size(); ++i)
        s.dayCorrections.push_back({day(2025, 1, 2).addSeconds(86400 * static_cast<long>(i)), c.days[i]});
    for (std::size_t i = 0; i < c.corrections.size(); ++i) s.itemCorrections["Item " + std::to_string(i)] = c.corrections[i];
    const std::string page = runPageHtml(s, "Acme", "r.csv");
    expectInsideViewBoxes(page);
}

const double kHuge = 1e300;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(Extremes, RunPageCharts,
                         ::testing::Values(CExtreme{"OneDay", {1000}, {25.5}},
                                           CExtreme{"AllZero", {0, 0, 0}, {0, 0}},
                                           CExtreme{"HugeValue", {1, kHuge, 2}, {kHuge, -3, 0.01}},
                                           CExtreme{"NegativesOnly", {-500, -20000.5}, {-1, -7000, -0.004}},
                                           CExtreme{"NotANumber", {kNaN, 5}, {kNaN, 2}},
                                           CExtreme{"AYearOfDays", std::vector<double>(366, 1e6), {12, -12}},
                                           CExtreme{"TinyNextToLarge", {0.01, 0.02}, {1e9, 0.001, -0.02}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunPage, WrittenWholeUnderAUtf8NameOrNotAtAll) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lotwise-page-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    const std::string path = pathToUtf8(dir) + "/Caf\xC3\xA9 M\xC3\xBCller.html";
    ASSERT_TRUE(writeRunPage(path, sample(), "Caf\xC3\xA9", "r.csv"));
    CRunSummary other = sample();
    other.postings = 9;
    ASSERT_TRUE(writeRunPage(path, other, "Caf\xC3\xA9", "r.csv"));
    EXPECT_EQ(readFile(pathFromUtf8(path)), runPageHtml(other, "Caf\xC3\xA9", "r.csv"));
    EXPECT_FALSE(std::filesystem::exists(pathFromUtf8(path + ".new")));
    EXPECT_FALSE(writeRunPage(pathToUtf8(dir) + "/missing/page.html", sample(), "Acme", "r.csv"));
    std::filesystem::remove_all(dir);
}

}  // namespace
