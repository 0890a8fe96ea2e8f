// The purchase history a run keeps beside the company file: the next run reads again only
// what QuickBooks changed since, and its books are those of a run that reads everything.
// Every case values two copies of one company run by run, the same changes made to both
// between runs: one keeps its history, the other loses it before every run.
//
// The company: Widget, 20 at 5.00 bought on 03/01; 10 at 10.00 on 04/01 (B-1) and 10 at
// 20.00 on 04/02 (B-2); 12 sold on 04/02; 4 found on 04/03, which QuickBooks values at
// its average cost of the day (moved by the postings of 04/01 and 04/02); 10 sold on
// 04/04; 5 at 30.00 on 04/06 (B-3); 10 sold on 04/07 and 3 on 04/08.
#include <filesystem>
#include <functional>
#include <thread>

#include "e2efixture.h"
#include "runstores.h"

namespace {

using ::testing::HasSubstr;

constexpr const char* kKept = "Acme Kept";
constexpr const char* kRead = "Acme Read";

}  // namespace

class KeptPurchases : public ValuationRun {
public:
    void SetUp() override {
        // Each case starts without the files earlier cases' runs kept.
        std::filesystem::remove_all(dir / "appdata");
        CCompanyBuilder company;
        company.lists();
        company.item("Widget");
        company.bill("2010-03-01", "B-0").line("Widget", 20, 5.00);
        company.bill("2010-04-01", "B-1").line("Widget", 10, 10.00);
        company.bill("2010-04-02", "B-2").line("Widget", 10, 20.00);
        company.invoice("2010-04-02", "1001").line("Widget", 12);
        company.adjustment("2010-04-03").quantityDifference("Widget", 4);
        company.invoice("2010-04-04", "1002").line("Widget", 10);
        company.bill("2010-04-06", "B-3").line("Widget", 5, 30.00);
        company.invoice("2010-04-07", "1003").line("Widget", 10);
        company.invoice("2010-04-08", "1004").line("Widget", 3);
        kept = companyWith(company, CQbSimCompanyOptions{kKept}, "Kept.qbw");
        read = companyWith(company, CQbSimCompanyOptions{kRead}, "Read.qbw");
    }

    // The store in which the company's runs keep their purchase history; empty when none
    // keeps one.
    std::string historyOf(const std::string& companyName) const {
        for (const std::string& store : runStoresUnder(dir)) {
            if (runStoreCount(store, "SELECT count(*) FROM purchase_history WHERE company = '" + companyName + "'") > 0)
                return store;
        }
        return {};
    }

    // Runs the SQL on the store of the company's purchase history.
    void changeHistoryOf(const std::string& companyName, const char* sql) const {
        const std::string store = historyOf(companyName);
        ASSERT_FALSE(store.empty());
        ASSERT_TRUE(CRunStore(store).exec(sql));
    }

    // Values both copies up to the day of April; the one that reads everything loses its
    // history first. Returns the kept copy's activity log.
    std::string runBoth(int upToDay) {
        std::string status;
        EXPECT_TRUE(run(read, day(2010, 4, 1), day(2010, 4, upToDay), &status)) << status;
        const std::string readHistory = historyOf(kRead);
        if (!readHistory.empty()) {
            EXPECT_TRUE(CRunStore(readHistory).exec("DELETE FROM purchase_history"));
        }
        EXPECT_TRUE(run(kept, day(2010, 4, 1), day(2010, 4, upToDay), &status)) << status;
        return lastLog();
    }

    // Sends the requests (made for each file) to both copies.
    void changeBoth(const std::function<std::string(const std::string& path)>& requests) {
        for (const std::string& path : {kept, read}) send(path, requests(path));
    }

    std::string kept, read;
};

// After 04/01 to 04/05 are valued, a purchase behind the valued period is voided, deleted
// or added; 04/06 to 04/08 are then valued. Each kept history is brought up to date by
// what QuickBooks lists as changed since, the found units of 04/03 valued again as
// QuickBooks now values them, and the books are those of a full reading.
TEST_F(KeptPurchases, AChangeBehindTheValuedPeriodGivesTheBooksOfAFullReading) {
    const std::vector<std::pair<const char*, std::function<std::string(const std::string&)>>> changes = {
        {"voided", [](const std::string& path) {
             return companybuilder::voidRequest("Bill", txnField(path, "Bill", "B-2", "TxnID"));
         }},
        {"deleted", [](const std::string& path) {
             return "<TxnDelRq><TxnDelType>Bill</TxnDelType><TxnID>" + txnField(path, "Bill", "B-1", "TxnID") +
                    "</TxnID></TxnDelRq>";
         }},
        {"added", [](const std::string&) {
             return std::string(CCompanyBuilder().bill("2010-04-03", "B-9").line("Widget", 6, 40.00));
         }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        SetUp();
        runBoth(5);
        changeBoth(change);
        EXPECT_THAT(runBoth(8), HasSubstr("Purchase history kept from"));
        expectSamePostings(postings(read), postings(kept));
    }
}

// The bill of 04/02 voided behind the valued period, then the rewind to 04/02 the window
// advises: the rewind keeps the history, and what it clears is read again.
TEST_F(KeptPurchases, ARewindKeepsTheHistoryAndTheBooksAreThoseOfAFullReading) {
    runBoth(5);
    changeBoth([](const std::string& path) {
        return companybuilder::voidRequest("Bill", txnField(path, "Bill", "B-2", "TxnID"));
    });
    std::string status;
    for (const std::string& path : {read, kept}) ASSERT_TRUE(rewind(path, day(2010, 4, 2), &status)) << status;
    EXPECT_FALSE(historyOf(kKept).empty());
    EXPECT_THAT(runBoth(8), HasSubstr("Purchase history kept from"));
    expectSamePostings(postings(read), postings(kept));

    // Rewound to the start, the file is as never valued: nothing is kept.
    ASSERT_TRUE(rewind(kept, day(2010, 4, 1), &status)) << status;
    EXPECT_TRUE(historyOf(kKept).empty());
}

// A history that cannot be trusted is not used: the run says why in its activity log,
// reads everything, and its books are those of a full reading.
TEST_F(KeptPurchases, AHistoryThatCannotBeTrustedIsDiscarded) {
    struct CCase {
        const char* what;
        std::function<void(KeptPurchases& test)> spoil;
        const char* why;
    };
    const std::vector<CCase> cases = {
        {"cut short",
         [](KeptPurchases& test) {
             const std::filesystem::path file = test.historyOf(kKept);
             std::filesystem::resize_file(file, std::filesystem::file_size(file) / 2);
         },
         "the kept records could not be read (database disk image is malformed)"},
        {"changed by hand",
         [](KeptPurchases& test) { test.changeHistoryOf(kKept, "UPDATE purchase_line SET quantity = 'x'"); },
         "the kept purchase history is incomplete or unreadable"},
        {"of another company file",
         [](KeptPurchases& test) {
             test.changeHistoryOf(kKept, "UPDATE purchase_history SET company = 'Acme Elsewhere'");
         },
         "the kept purchase history belongs to another company file"},
        {"of a run before the last",
         [](KeptPurchases& test) {
             const std::string store = test.historyOf(kKept);
             test.changeHistoryOf(kKept,
                                  "CREATE TABLE older_history AS SELECT * FROM purchase_history; "
                                  "CREATE TABLE older_txn AS SELECT * FROM purchase_txn; "
                                  "CREATE TABLE older_line AS SELECT * FROM purchase_line; "
                                  "CREATE TABLE older_change AS SELECT * FROM purchase_value_change");
             // "LastRunTime" counts whole seconds: the next run's is another.
             std::this_thread::sleep_for(std::chrono::milliseconds(1100));
             test.runBoth(6);
             ASSERT_TRUE(CRunStore(store).exec(
                 "DELETE FROM purchase_history; DELETE FROM purchase_txn; DELETE FROM purchase_line; "
                 "DELETE FROM purchase_value_change; INSERT INTO purchase_history SELECT * FROM older_history; "
                 "INSERT INTO purchase_txn SELECT * FROM older_txn; INSERT INTO purchase_line SELECT * FROM older_line; "
                 "INSERT INTO purchase_value_change SELECT * FROM older_change"));
         },
         "the kept purchase history is not that of the last run"},
    };
    for (const CCase& spoilt : cases) {
        SCOPED_TRACE(spoilt.what);
        SetUp();
        runBoth(3);
        spoilt.spoil(*this);
        const std::string log = runBoth(8);
        EXPECT_THAT(log, HasSubstr(std::string("Purchase history: ") + spoilt.why +
                                   "; every receiving transaction from 04/01/2010 is read"));
        EXPECT_THAT(log, ::testing::Not(HasSubstr("Purchase history kept from")));
        expectSamePostings(postings(read), postings(kept));
    }
}

// 04/01 to 04/03 are valued, then 04/04 to 04/05; the user then edits the system's
// posting of 04/02 in QuickBooks, which moves QuickBooks' average cost of 04/02 on and so
// its value of the 4 found on 04/03, a lot still on hand at the end. 04/06 to 04/08 are
// then valued: the kept history reads the found units again as QuickBooks now values
// them, and the books are those of a full reading, whether or not the user also changed
// the posting's memo.
TEST_F(KeptPurchases, AnEditedPostingOfTheSystemMovesTheKeptValuesAfterIt) {
    const std::vector<std::pair<const char*, const char*>> edits = {
        {"its value", ""},
        {"its value and memo", "Corrected by hand"},
    };
    for (const auto& [what, memo] : edits) {
        SCOPED_TRACE(what);
        SetUp();
        runBoth(3);
        runBoth(5);
        const std::string newMemo = memo;
        changeBoth([&newMemo](const std::string& path) {
            const CQbResponse response(answer(
                path, "<InventoryAdjustmentQueryRq><TxnDateRangeFilter><FromTxnDate>2010-04-02</FromTxnDate>"
                      "<ToTxnDate>2010-04-02</ToTxnDate></TxnDateRangeFilter>"
                      "<IncludeLineItems>true</IncludeLineItems></InventoryAdjustmentQueryRq>"));
            for (CQbDomReader::Node* node : response.findElements("InventoryAdjustmentRet")) {
                CQbObject posting;
                posting.load(node);
                if (posting.getValue("Memo") != kValueAdjustMemo) continue;
                const CQbField* line = posting.find("InventoryAdjustmentLineRet");
                EXPECT_NE(line, nullptr);
                if (line == nullptr) break;
                CAdjustmentMod edit(posting.getValue("TxnID"), posting.getValue("EditSequence"));
                edit.valueDifference(line->childValue("TxnLineID"), line->childFloat("ValueDifference") + 30.0);
                if (!newMemo.empty()) edit.memo(newMemo);
                return std::string(edit);
            }
            ADD_FAILURE() << "no posting of the system on 04/02";
            return std::string();
        });
        EXPECT_THAT(runBoth(8), HasSubstr("Purchase history kept from"));
        expectSamePostings(postings(read), postings(kept));
        auto keptWindow = window();
        ASSERT_TRUE(keptWindow->openFile(kept));
        const std::pair<double, double> keptEnd = carried(*keptWindow->getEngine(), day(2010, 4, 8), "Widget");
        keptWindow.reset();
        auto readWindow = window();
        ASSERT_TRUE(readWindow->openFile(read));
        const std::pair<double, double> readEnd = carried(*readWindow->getEngine(), day(2010, 4, 8), "Widget");
        EXPECT_EQ(keptEnd.first, readEnd.first);
        EXPECT_NEAR(keptEnd.second, readEnd.second, 0.005);
    }
}
