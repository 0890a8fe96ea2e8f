#include "qbeventlog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "qbprogress.h"
#include "testfiles.h"

namespace {


class EventLogTest : public ::testing::Test {
protected:
    EventLogTest()
        : dir(std::filesystem::temp_directory_path() /
              ("lotwise-log-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(dir);
    }
    ~EventLogTest() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(EventLogTest, EntriesAreStampedAndEndWithOneLineFeed) {
    {
        CQbEventLog log(dir.string());
        EXPECT_TRUE(log.isActive());
        log.write("<A>\n<B/>\n</A>");
        log.write("");
    }
    const std::string text = readFile(dir / "qbevent.log");
    const std::regex shape(
        "\\d\\d:\\d\\d:\\d\\d, (January|February|March|April|May|June|July|August|September|"
        "October|November|December) \\d\\d, \\d{4} <A>\n<B/>\n</A>\n"
        "\\d\\d:\\d\\d:\\d\\d, [A-Za-z]+ \\d\\d, \\d{4} \n");
    EXPECT_TRUE(std::regex_match(text, shape)) << text;
}

TEST_F(EventLogTest, EachLogStartsAfresh) {
    { CQbEventLog(dir.string()).write("first run"); }
    { CQbEventLog(dir.string()).write("second run"); }
    const std::string text = readFile(dir / "qbevent.log");
    EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("first run")));
    EXPECT_THAT(text, ::testing::HasSubstr("second run"));
}

TEST_F(EventLogTest, AnUnwritableLogStaysSilent) {
    CQbEventLog log((dir / "no" / "such" / "folder").string());
    EXPECT_FALSE(log.isActive());
    log.write("nothing happens");
}

class CFakeHost : public CQbProgressHost {
public:
    void show() override { visible = true, ++shows; }
    void hide() override { visible = false, ++hides; }
    bool isVisible() const override { return visible; }
    void pump() override { ++pumps; }
    bool visible = false;
    int shows = 0, hides = 0, pumps = 0;
};

TEST(Progress, OperationsForwardToTheHostAndPumpOnlyWhileShown) {
    showProgress();  // no host: nothing happens
    hideProgress();
    pumpMessages();
    CFakeHost host;
    setProgressHost(&host);
    hideProgress();  // before any show: nothing
    pumpMessages();
    EXPECT_EQ(host.hides + host.pumps, 0);
    {
        CQbProgressScope scope;
        EXPECT_EQ(host.shows, 1);
        EXPECT_EQ(host.pumps, 1);  // showing pumps once
        pumpMessages();
        EXPECT_EQ(host.pumps, 2);
    }
    EXPECT_EQ(host.hides, 1);
    pumpMessages();
    EXPECT_EQ(host.pumps, 2);
    setProgressHost(nullptr);
}

}  // namespace
