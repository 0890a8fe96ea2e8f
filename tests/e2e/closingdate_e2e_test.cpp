// A company whose books are closed (QuickBooks' closing date): a run whose first day to
// value, or a rewind to a date, on or before the closing date is refused before
// anything is written, naming the closing date and what to do; a run after it goes
// through with the books of a company without one.
#include "e2efixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kRefused = "QuickBooks' closing date is 04/01/2010: QuickBooks refuses to add, change or delete "
                             "anything dated on or before it";

}  // namespace

class ClosingDate : public ValuationRun {
protected:
    static void close(const std::string& path, const std::string& date) {
        CQbSimCompany::open(path)->setClosingDate(date);
    }
    // The system's custom-field definitions in the file, as QuickBooks answers.
    static std::string definitions(const std::string& path) {
        return answer(path, std::string("<DataExtDefQueryRq><OwnerID>") + kPrivateOwnerId +
                                "</OwnerID></DataExtDefQueryRq>");
    }
};

// The boundary from both sides: the books closed on the start date refuse the run and
// leave the file untouched; closed the day before, the run posts what it posts on a
// company without a closing date.
TEST_F(ClosingDate, RefusesAStartOnOrBeforeItAndRunsAfterIt) {
    std::string path = company("fifo_company_rq.xml");
    ASSERT_TRUE(runApril(path));
    const CPostings open = postings(path);
    ASSERT_EQ(open.size(), 2u);
    std::filesystem::remove(path);

    path = company("fifo_company_rq.xml");
    close(path, "2010-04-01");
    std::string status;
    EXPECT_FALSE(runApril(path, &status));
    EXPECT_EQ(status, "Request failed.  " + kRefused +
                          ", and the valuation would start on 04/01/2010. Choose a start date after 04/01/2010, "
                          "or have the QuickBooks administrator move the closing date to before 04/01/2010 "
                          "(Company > Set Closing Date).");
    EXPECT_TRUE(postings(path).empty());
    EXPECT_THAT(definitions(path), HasSubstr("statusCode=\"1\""));
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    EXPECT_THAT(dlg->statusText(), StartsWith("FIFO valuation has never been performed on this file."));
    dlg.reset();

    close(path, "2010-03-31");
    ASSERT_TRUE(runApril(path, &status)) << status;
    expectSamePostings(open, postings(path));
}

// A file valued up to a day after which the books were closed cannot go on; the engine
// refuses on its own as well as the window.
TEST_F(ClosingDate, RefusesToGoOnFromAClosedDay) {
    const std::string path = company("fifo_company_rq.xml");
    ASSERT_TRUE(run(path, day(2010, 4, 1), day(2010, 4, 1)));
    close(path, "2010-04-02");
    std::string status;
    EXPECT_FALSE(runApril(path, &status));
    EXPECT_EQ(status, "Request failed.  QuickBooks' closing date is 04/02/2010: QuickBooks refuses to add, change "
                      "or delete anything dated on or before it, and the valuation goes on from 04/02/2010, the day "
                      "after the file is valued up to. To process this file, have the QuickBooks administrator "
                      "move the closing date to before 04/02/2010 (Company > Set Closing Date).");
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    EXPECT_FALSE(dlg->getEngine()->runValuation(CCostrunDoc::endOfDay(day(2010, 4, 3))));
    EXPECT_THAT(dlg->getEngine()->getErrorText(), StartsWith("QuickBooks' closing date is 04/02/2010"));
    dlg.reset();
    EXPECT_TRUE(postings(path).empty());
    EXPECT_EQ(CQbSimCompany::open(path)->closingDate(), "2010-04-02");
}

// A rewind to the closing date, or to any date before the start date when the start
// date is closed, is refused with nothing deleted; a rewind to the day after goes
// through, and the run after it ends with the first run's books.
TEST_F(ClosingDate, RefusesARewindOnOrBeforeIt) {
    const std::string path = company("fifo_company_rq.xml");
    ASSERT_TRUE(runApril(path));
    const CPostings first = postings(path);
    close(path, "2010-04-01");

    std::string status;
    for (const CDateTime& date : {day(2010, 4, 1), day(2010, 3, 15)}) {
        EXPECT_FALSE(rewind(path, date, &status));
        EXPECT_EQ(status, "Rewind failed. It has the following error :\n" + kRefused +
                              ", and a rewind to 04/01/2010 would delete the postings from that day on. Choose a "
                              "date after 04/01/2010 to rewind to, or have the QuickBooks administrator move the "
                              "closing date to before 04/01/2010 (Company > Set Closing Date).");
    }
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    EXPECT_FALSE(dlg->getEngine()->rewindTo(day(2010, 4, 1)));
    EXPECT_THAT(dlg->getEngine()->getErrorText(), StartsWith(kRefused));
    dlg.reset();
    expectSamePostings(first, postings(path));

    ASSERT_TRUE(rewind(path, day(2010, 4, 2), &status)) << status;
    EXPECT_TRUE(postings(path).empty());
    ASSERT_TRUE(runApril(path, &status)) << status;
    expectSamePostings(first, postings(path));
}

// A file whose first run stored its start date and stopped before any day keeps that
// start date: only the closing date can move.
TEST_F(ClosingDate, AStoredStartDateIsNotChosenAgain) {
    const std::string path = company("fifo_company_rq.xml");
    {
        auto dlg = window();
        ASSERT_TRUE(dlg->openFile(path));
        ASSERT_TRUE(dlg->getEngine()->defineRunFields());
        ASSERT_TRUE(dlg->getEngine()->storeStartDate(day(2010, 4, 1)));
    }
    close(path, "2010-04-01");
    std::string status;
    EXPECT_FALSE(runApril(path, &status));
    EXPECT_EQ(status, "Request failed.  " + kRefused +
                          ", and the valuation goes on from 04/01/2010, the file's start date. To process this file, "
                          "have the QuickBooks administrator move the closing date to before 04/01/2010 (Company > "
                          "Set Closing Date).");
}
