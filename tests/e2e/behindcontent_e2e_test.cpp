// Changes behind the valued period found by what changed rather than by the clock: a
// change saved in the second a run ended, or on a computer whose clock runs behind, is
// still named at open, while the run's own writes are not; a last run older than
// QuickBooks' list of deletions says so. And a session held only while a command works:
// QuickBooks closed and started again between or during commands is found anew.
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>

#include "comshim.h"
#include "e2efixture.h"
#include "runstores.h"
#include "widestring.h"

namespace {

using ::testing::HasSubstr;

std::string bill(const std::string& date, const std::string& ref) {
    return CCompanyBuilder().bill(date, ref).line("Widget", 2, 9.00);
}

const std::string kSalesReceipt = CCompanyBuilder().salesReceipt("2010-04-02", "SR-9").line("Widget", 1);

// QuickBooks' process: every processor created before the latest restart is a proxy to
// a process that is gone, and fails every call as COM does then.
int quickBooksRestarts = 0;
// When set, QuickBooks closes as it receives the next request holding this text.
std::string closeAtRequest;

class CRestartableProcessor : public CDelegatingProcessor {
public:
    using CDelegatingProcessor::CDelegatingProcessor;

    HRESULT EndSession(BSTR ticket) override { return gone() ? unavailable() : inner->EndSession(ticket); }
    HRESULT CloseConnection() override { return gone() ? unavailable() : inner->CloseConnection(); }
    HRESULT ProcessRequest(BSTR ticket, BSTR request, BSTR* response) override {
        if (!closeAtRequest.empty() && request != nullptr &&
            wideToNarrow(std::wstring_view(request, SysStringLen(request))).find(closeAtRequest) != std::string::npos) {
            closeAtRequest.clear();
            ++quickBooksRestarts;
        }
        if (gone()) return unavailable();
        return inner->ProcessRequest(ticket, request, response);
    }

private:
    bool gone() const { return generation != quickBooksRestarts; }
    static HRESULT unavailable() {
        comSetErrorDescription(L"The RPC server is unavailable.");
        return static_cast<HRESULT>(0x800706BAu);
    }
    const int generation = quickBooksRestarts;
};

}  // namespace

class BehindByContent : public ValuationRun {
protected:
    // Sends request elements as another QuickBooks user would, on a computer whose
    // clock is `offset` seconds ahead of this one (behind when negative).
    static void sendAt(const std::string& path, const std::string& requests, long offset) {
        auto file = CQbSimCompany::open(path);
        file->freezeClock(static_cast<std::int64_t>(std::time(nullptr)) + offset);
        CQbSimEngine engine(*file, nullptr);
        const std::string text = engine.processRequest(
            "<?xml version=\"1.0\"?><?qbxml version=\"16.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">" +
            requests + "</QBXMLMsgsRq></QBXML>");
        EXPECT_THAT(text, ::testing::Not(HasSubstr("statusSeverity=\"Error\""))) << text;
    }

    // The company of fifo_company_rq.xml in a file of the given edition.
    std::string companyOf(const std::string& edition) {
        CQbSimCompanyOptions options{"Acme Hardware"};
        options.edition = edition;
        return company("fifo_company_rq.xml", options);
    }

    bool runTo(CCostrunDlg& dialog, int upToDay, std::string* status = nullptr) {
        return process(dialog, day(2010, 4, 1), day(2010, 4, upToDay), status);
    }
};

// Each change is made right after a run of 04/01 to 04/03, with no pause, by a computer
// whose clock runs as this one's or an hour behind it.
TEST_F(BehindByContent, ChangesAreFoundByWhatChangedWhateverTheClock) {
    struct Case {
        const char* name;
        long clockOffset;
        std::function<std::string(const std::string&)> change;  // the requests, given the file
        std::string expected;  // the warning's lines after the first; "" for none
    };
    const std::string newBill = "\n  Bill LATE-1, 04/02/2010";
    const std::vector<Case> cases = {
        {"a bill saved in the second the run ended", 0,
         [](const std::string&) { return bill("2010-04-02", "LATE-1"); }, newBill},
        {"a bill saved with a clock an hour behind", -3600,
         [](const std::string&) { return bill("2010-04-02", "LATE-1"); }, newBill},
        {"a sale deleted with a clock an hour behind", -3600,
         [](const std::string& path) {
             return "<TxnDelRq><TxnDelType>SalesReceipt</TxnDelType><TxnID>" +
                    txnField(path, "SalesReceipt", "SR-9", "TxnID") + "</TxnID></TxnDelRq>";
         },
         "\n  Sales Receipt SR-9, 04/02/2010, deleted"},
        {"an invoice changed with a clock an hour behind", -3600,
         [](const std::string& path) {
             return "<InvoiceModRq><InvoiceMod><TxnID>" + txnField(path, "Invoice", "1001", "TxnID") +
                    "</TxnID><EditSequence>" + txnField(path, "Invoice", "1001", "EditSequence") +
                    "</EditSequence><Memo>Corrected</Memo></InvoiceMod></InvoiceModRq>";
         },
         "\n  Invoice 1001, 04/02/2010"},
        {"a bill dated after the valued period", -3600,
         [](const std::string&) { return bill("2010-04-05", "LATER-1"); }, ""},
        {"nothing", 0, [](const std::string&) { return std::string(); }, ""},
    };
    // QuickBooks Pro has no builds to ask about; Enterprise has.
    for (const char* edition : {"enterprise", "pro"})
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(edition) + ": " + c.name);
        const std::string path = companyOf(edition);
        send(path, kSalesReceipt);
        auto dlg = window();
        ASSERT_TRUE(dlg->openFile(path));
        ASSERT_TRUE(runTo(*dlg, 3));
        dlg.reset();
        const std::string requests = c.change(path);
        if (!requests.empty()) sendAt(path, requests, c.clockOffset);
        const std::string status = openStatus(path);
        if (c.expected.empty()) {
            EXPECT_EQ(status, kOpenedValued);
        } else {
            EXPECT_THAT(status, HasSubstr("1 transaction dated on or before 04/03/2010 was entered, changed or "
                                          "deleted since the last run. Use Rewind to value them again." +
                                          c.expected + "\n\n"));
        }
        std::filesystem::remove(path);
        std::filesystem::remove_all(dir / "appdata");
    }
}

// A record written before EditSequences were kept (four columns, no stamp) is checked by
// modification time, as it was then, until the next run writes it anew.
TEST_F(BehindByContent, ARecordWithoutEditSequencesIsCheckedByTimeUntilTheNextRun) {
    const std::string path = companyOf("enterprise");
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    ASSERT_TRUE(runTo(*dlg, 2));
    dlg.reset();
    ASSERT_EQ(runStoresUnder(dir / "appdata").size(), 1u);
    ASSERT_TRUE(changeRunStores(dir / "appdata",
                                "UPDATE seen_txn SET edit_sequence = ''; UPDATE seen_record SET last_run_time = NULL"));

    // By time, a bill saved with a clock an hour behind seems older than the run; one
    // saved with a clock ahead does not.
    sendAt(path, bill("2010-04-01", "BEHIND-1"), -3600);
    sendAt(path, bill("2010-04-02", "AHEAD-1"), 5);
    std::string status = openStatus(path);
    EXPECT_THAT(status, HasSubstr("\n  Bill AHEAD-1, 04/02/2010\n\n"));
    EXPECT_THAT(status, ::testing::Not(HasSubstr("BEHIND-1")));

    // The next run reads both and writes the record with EditSequences: a bill saved after
    // it with a clock an hour behind is found.
    dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    ASSERT_TRUE(runTo(*dlg, 3));
    dlg.reset();
    sendAt(path, bill("2010-04-02", "LATE-1"), -3600);
    status = openStatus(path);
    EXPECT_THAT(status, HasSubstr("1 transaction dated on or before 04/03/2010 was entered"));
    EXPECT_THAT(status, HasSubstr("\n  Bill LATE-1, 04/02/2010\n\n"));
}

// The run writes the value of every build it values, which gives each build a new
// EditSequence and modification time: that is no change of the user's.
TEST_F(BehindByContent, TheRunsOwnBuildValuesAreNoChange) {
    const std::string path = company("build_company_rq.xml");
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    ASSERT_TRUE(runTo(*dlg, 3));
    dlg.reset();
    EXPECT_EQ(openStatus(path), kOpenedValued);
    // A second run over later days reads and writes them again.
    dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    ASSERT_TRUE(runTo(*dlg, 5));
    dlg.reset();
    EXPECT_EQ(openStatus(path), kOpenedValued);
}

// QuickBooks lists deleted transactions for 90 days: a last run further back cannot be
// checked for deletions, and the warning says so and what to do.
TEST_F(BehindByContent, ALastRunBeyondTheListOfDeletionsIsSaid) {
    const std::string path = company("fifo_company_rq.xml");
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    ASSERT_TRUE(runTo(*dlg, 3));
    dlg.reset();
    const CDateTime now = CDateTime::now();
    const CDateTime lastRun = now.addSeconds(-100L * 24 * 60 * 60);
    send(path, std::string("<DataExtModRq><DataExtMod><OwnerID>") + kPrivateOwnerId +
                   "</OwnerID><DataExtName>LastRunTime</DataExtName><OtherDataExtType>Company</OtherDataExtType>"
                   "<DataExtValue>" + zoneDateTimeText(lastRun) + "</DataExtValue></DataExtMod></DataExtModRq>");
    // (Every transaction of the file was entered after that "last run", and is named too.)
    EXPECT_THAT(openStatus(path),
              HasSubstr("\n\nThe last run was on " + lastRun.userDateText() +
                  ", and QuickBooks lists deleted transactions for 90 days only: deletions before " +
                  now.addSeconds(-90L * 24 * 60 * 60).userDateText() +
                  " could not be checked. If a transaction dated on or before 04/03/2010 may have been "
                  "deleted since the last run, use Rewind to the last date you trust.\n\n" + kOpenedValued));
}

// QuickBooks closed and started again between two commands, and again in the middle of
// one: the command that meets it ends with COM's text, the next one connects afresh
// (no restart of Lotwise), and the books end as those of an uninterrupted run.
TEST_F(BehindByContent, QuickBooksStartedAgainIsFoundByTheNextCommand) {
    std::string path = company("fifo_company_rq.xml");
    {
        auto clean = window();
        ASSERT_TRUE(clean->openFile(path));
        ASSERT_TRUE(runTo(*clean, 3));
    }
    const CPostings expected = postings(path);
    std::filesystem::remove(path);

    path = company("fifo_company_rq.xml");
    wrapProcessor([](IRequestProcessor2* real) { return new CRestartableProcessor(real); });
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path));
    std::string status;
    ASSERT_TRUE(runTo(*dlg, 1, &status)) << status;

    ++quickBooksRestarts;
    ASSERT_TRUE(runTo(*dlg, 2, &status)) << status;

    closeAtRequest = "InventoryAdjustmentAddRq";
    EXPECT_FALSE(runTo(*dlg, 3, &status));
    EXPECT_THAT(status, HasSubstr("Failure in sending XML : Error = 800706ba, The RPC server is unavailable."));
    EXPECT_EQ(dlg->control(kIdcCurrentUpToDate).text, "04/02/2010");

    ASSERT_TRUE(runTo(*dlg, 3, &status)) << status;
    EXPECT_EQ(dlg->control(kIdcCurrentUpToDate).text, "04/03/2010");
    expectSamePostings(expected, postings(path));
    dlg.reset();
    EXPECT_EQ(openStatus(path), kOpenedValued);
}
