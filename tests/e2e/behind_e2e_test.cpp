// The books behind the valued period: transactions entered, changed or deleted after a
// run and dated inside the valued period are named when the file is opened; Rewind takes
// the file back so that the next run ends with the books of a run that saw them from the
// start, posting by posting; a file QuickBooks itself values by FIFO is not processed.
#include <chrono>
#include <thread>

#include "e2efixture.h"
#include "qbutils.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// A sale of one Widget on 04/02/2010, to be deleted after the run.
const std::string kSalesReceipt = CCompanyBuilder().salesReceipt("2010-04-02", "SR-1").line("Widget", 1);

std::string bill(const std::string& date, const std::string& ref, int quantity, double cost) {
    return CCompanyBuilder().bill(date, ref).line("Widget", quantity, cost);
}

}  // namespace

class BooksBehind : public ValuationRun {
protected:
    // The user's changes come at least a second after the run: modification times
    // count whole seconds.
    static void laterOn() { std::this_thread::sleep_for(std::chrono::milliseconds(1100)); }

    // The system's custom-field values and definitions left in the file.
    static std::string traces(const std::string& path) {
        std::string found;
        const CQbResponse company(answer(path, std::string("<CompanyQueryRq><OwnerID>") + kPrivateOwnerId +
                                                   "</OwnerID></CompanyQueryRq>"));
        for (CQbDomReader::Node* node : company.findElements("DataExtRet")) {
            CQbObject ext;
            ext.load(node);
            found += "company " + ext.getValue("DataExtName") + "; ";
        }
        const CQbResponse builds(answer(path, std::string("<BuildAssemblyQueryRq><OwnerID>") + kPrivateOwnerId +
                                                  "</OwnerID></BuildAssemblyQueryRq>"));
        for (CQbDomReader::Node* node : builds.findElements("DataExtRet")) {
            CQbObject ext;
            ext.load(node);
            found += "build " + ext.getValue("DataExtName") + "; ";
        }
        const CQbResponse definitions(answer(path, std::string("<DataExtDefQueryRq><OwnerID>") +
                                                       kPrivateOwnerId + "</OwnerID></DataExtDefQueryRq>"));
        for (CQbDomReader::Node* node : definitions.findElements("DataExtDefRet")) {
            CQbObject def;
            def.load(node);
            found += "definition " + def.getValue("DataExtName") + "; ";
        }
        return found;
    }

    // The file's books on each of the three days: QuickBooks' values per item.
    std::map<std::pair<int, std::string>, double> values(const std::string& path) {
        std::map<std::pair<int, std::string>, double> result;
        auto dlg = window();
        EXPECT_TRUE(dlg->openFile(path));
        for (int d = 1; d <= 3; ++d) {
            for (const char* type : {"Inventory", "Assembly"}) {
                CCostrunItemList list;
                readCarried(*dlg->getEngine(), list, day(2010, 4, d), type);
                for (const auto& item : list) result[{d, item->fullName}] = item->qbValue;
            }
        }
        return result;
    }

    void expectSameValues(const std::map<std::pair<int, std::string>, double>& expected,
                          const std::map<std::pair<int, std::string>, double>& actual) {
        ASSERT_EQ(expected.size(), actual.size());
        for (const auto& [key, value] : expected) {
            EXPECT_NEAR(actual.at(key), value, 0.005) << key.second << " on day " << key.first;
        }
    }
};

TEST_F(BooksBehind, ChangesAfterARunAreNamedWithTheEarliestDateTheyReach) {
    const std::string path = company("fifo_company_rq.xml");
    send(path, kSalesReceipt);
    ASSERT_TRUE(runApril(path));
    // The run's own postings are no change of the user's.
    EXPECT_EQ(openStatus(path), kOpenedValued);

    laterOn();
    // A bill entered late for 04/03, and one dated after the valued period.
    send(path, bill("2010-04-03", "B-3", 2, 9.00) + bill("2010-04-10", "B-4", 1, 9.00));
    EXPECT_EQ(openStatus(path),
              "Warning : FIFO values from 04/03/2010 on may be stale: 1 transaction dated on or before "
              "04/03/2010 was entered, changed or deleted since the last run. Use Rewind to value them "
              "again.\n  Bill B-3, 04/03/2010\n\n" +
                  std::string(kOpenedValued));

    // A corrected invoice and a deleted sales receipt reach back to 04/02.
    send(path, "<InvoiceModRq><InvoiceMod><TxnID>" + txnField(path, "Invoice", "1002", "TxnID") +
                   "</TxnID><EditSequence>" + txnField(path, "Invoice", "1002", "EditSequence") +
                   "</EditSequence><Memo>corrected</Memo></InvoiceMod></InvoiceModRq>");
    send(path, "<TxnDelRq><TxnDelType>SalesReceipt</TxnDelType><TxnID>" +
                   txnField(path, "SalesReceipt", "SR-1", "TxnID") + "</TxnID></TxnDelRq>");
    const std::string status = openStatus(path);
    EXPECT_THAT(status, StartsWith("Warning : FIFO values from 04/02/2010 on may be stale: 3 transactions "
                                   "dated on or before 04/03/2010 were entered, changed or deleted since "
                                   "the last run."));
    EXPECT_THAT(status, HasSubstr("\n  Sales Receipt SR-1, 04/02/2010, deleted\n  Bill B-3, 04/03/2010\n  "
                                  "Invoice 1002, 04/03/2010\n\n"));
    EXPECT_THAT(status, Not(HasSubstr("B-4")));

    // Rewinding to the earliest date and valuing again settles them.
    // The sales receipt's posting (no class) stays until the rewind deletes it.
    std::string question;
    ASSERT_TRUE(rewind(path, day(2010, 4, 2), nullptr, &question));
    EXPECT_THAT(question, StartsWith("Rewind to 04/02/2010?\n\n3 value adjustments posted by Lotwise dated on "
                                     "or after 04/02/2010 will be deleted, and the file will be valued up "
                                     "to 04/01/2010."));
    ASSERT_TRUE(runApril(path));
    EXPECT_EQ(openStatus(path), kOpenedValued);
}

TEST_F(BooksBehind, TheSystemsOwnBuildValuesAreNoChange) {
    const std::string path = company("build_company_rq.xml");
    ASSERT_TRUE(runApril(path));
    laterOn();
    EXPECT_EQ(openStatus(path), kOpenedValued);
}

// After a back-dated bill, rewinding to its date and valuing again ends with the books
// of a file that had the bill from the start.
TEST_F(BooksBehind, RewindThenRunEqualsAFreshRun) {
    const std::string late = bill("2010-04-02", "B-3", 4, 9.50);
    std::string path = company("fifo_company_rq.xml");
    send(path, late);
    ASSERT_TRUE(runApril(path));
    const CPostings fresh = postings(path);
    const auto freshValues = values(path);
    std::filesystem::remove(path);

    path = company("fifo_company_rq.xml");
    ASSERT_TRUE(runApril(path));
    laterOn();
    send(path, late);
    std::string status;
    ASSERT_TRUE(rewind(path, day(2010, 4, 2), &status));
    EXPECT_EQ(status, "Rewind completed. 2 value adjustments were deleted; the file is now valued up to "
                      "04/01/2010.");
    ASSERT_TRUE(runApril(path, &status)) << status;
    expectSamePostings(fresh, postings(path));
    expectSameValues(freshValues, values(path));
}

TEST_F(BooksBehind, RewindOfBuildDaysRevaluesTheirBuilds) {
    const std::string path = company("build_company_rq.xml");
    ASSERT_TRUE(runApril(path));
    const CPostings fresh = postings(path);
    const auto freshValues = values(path);
    ASSERT_FALSE(fresh.empty());
    ASSERT_TRUE(rewind(path, day(2010, 4, 2)));
    ASSERT_TRUE(runApril(path));
    expectSamePostings(fresh, postings(path));
    expectSameValues(freshValues, values(path));
}

TEST_F(BooksBehind, RewindToTheStartLeavesNoTrace) {
    const std::string path = company("build_company_rq.xml");
    ASSERT_TRUE(runApril(path));
    const CPostings fresh = postings(path);
    ASSERT_THAT(traces(path), HasSubstr("build BuildValue"));

    std::string status;
    std::string question;
    // Any date on or before the start date goes back to before the first run.
    ASSERT_TRUE(rewind(path, day(2010, 3, 15), &status, &question));
    EXPECT_THAT(question, StartsWith("Rewind to the start date 04/01/2010?\n\n"));
    EXPECT_THAT(question, HasSubstr("the file will be as it was before its first FIFO valuation."));
    EXPECT_THAT(status, StartsWith("Rewind completed. "));
    EXPECT_TRUE(postings(path).empty());
    // No value is left; the definitions stay, since QuickBooks would never let them be
    // added again under the system's owner id.
    EXPECT_EQ(traces(path), "definition StartDate; definition LastExecTime; definition LastUpToDate; "
                            "definition LastRunTime; definition BuildValue; ");
    EXPECT_THAT(openStatus(path), StartsWith("FIFO valuation has never been performed on this file."));

    // And it is valued again as if for the first time.
    ASSERT_TRUE(runApril(path));
    expectSamePostings(fresh, postings(path));
}

TEST_F(BooksBehind, RewindRefusesWhatCannotBeRewound) {
    const std::string path = company("fifo_company_rq.xml");
    std::string status;
    EXPECT_FALSE(rewind(path, day(2010, 4, 2), &status));
    EXPECT_EQ(status, "FIFO valuation has never been performed on this file: there is nothing to rewind.");

    ASSERT_TRUE(runApril(path));
    EXPECT_FALSE(rewind(path, day(2010, 4, 9), &status));
    EXPECT_EQ(status, "Rewind failed. It has the following error :\nThe file is valued up to 04/03/2010 only: "
                      "choose a date on or before 04/04/2010 to rewind.");

    // A question answered No changes nothing.
    const CPostings before = postings(path);
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    EXPECT_FALSE(dlg->rewindTo(day(2010, 4, 2), [](const std::string&) { return false; }));
    dlg.reset();
    EXPECT_EQ(postings(path).size(), before.size());
}

TEST_F(BooksBehind, QuickBooksOwnFifoRefusesProcess) {
    const std::string path = (dir / "Fifo.qbw").string();
    CQbSimCompanyOptions options{"Acme Hardware"};
    options.fifo = true;
    options.fifoEffectiveDate = "2009-01-01";
    CQbSimCompany::create(path, options);
    std::string status;
    EXPECT_FALSE(run(path, day(2010, 4, 1), day(2010, 4, 3), &status));
    EXPECT_EQ(status,
              "Request failed.  QuickBooks itself values this company's inventory by FIFO (FIFO is turned on "
              "in its Items & Inventory preferences): it already keeps FIFO costs from its FIFO start date "
              "(01/01/2009) on. Lotwise would correct those costs a second time, so it does not process this "
              "file.");
    EXPECT_EQ(traces(path), "");
}

// A check QuickBooks refused is said as such, never taken for "no change".
TEST_F(BooksBehind, ARefusedCheckIsSaidNotTakenForNoChange) {
    const std::string path = company("fifo_company_rq.xml");
    ASSERT_TRUE(runApril(path));
    CQbSimFaults faults;
    faults.statusRequest = "TxnDeletedQueryRq";
    faults.statusAt = 1;
    faults.statusCode = 1000;
    faults.statusMessage = "The request could not be processed.";
    qbsimSetFaults(faults);
    const std::string status = openStatus(path);
    qbsimSetFaults(std::nullopt);
    EXPECT_EQ(status,
              "Warning : Lotwise could not check whether transactions dated on or before the Up To Date were "
              "changed since the last run. QuickBooks answered : The request could not be processed.\n\n" +
                  std::string(kOpenedValued));
}
