// Lotwise's own postings known by their TxnID: one the user deletes, voids or edits in
// QuickBooks is named at open as what it is, and the advised rewind removes it by the
// record of what runs wrote, whatever its memo says now, so that the books end exact.
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "fifowidget.h"
#include "runstores.h"

namespace {

using ::testing::HasSubstr;

// Every InventoryAdjustmentRet of the answer holding the TxnID, as `change` makes it.
std::string rewriteAdjustment(const std::string& answer, const std::string& txnId,
                              const std::function<std::string(const std::string&)>& change) {
    const std::string open = "<InventoryAdjustmentRet>";
    const std::string close = "</InventoryAdjustmentRet>";
    std::string result;
    std::size_t at = 0;
    for (std::size_t start = answer.find(open); start != std::string::npos; start = answer.find(open, at)) {
        const std::size_t end = answer.find(close, start);
        if (end == std::string::npos) break;
        std::string block = answer.substr(start, end + close.size() - start);
        if (block.find("<TxnID>" + txnId + "</TxnID>") != std::string::npos) block = change(block);
        result += answer.substr(at, start - at) + block;
        at = end + close.size();
    }
    return result + answer.substr(at);
}

// The adjustment as the user left it: its memo replaced, a new EditSequence, and with
// `void` its amounts gone to zero.
std::string editedAdjustment(const std::string& block, const std::string& memo, bool voided) {
    std::string text = std::regex_replace(block, std::regex("<Memo>[^<]*</Memo>"), "<Memo>" + memo + "</Memo>");
    text = std::regex_replace(text, std::regex("<EditSequence>([^<]*)</EditSequence>"),
                              "<EditSequence>$01-edited</EditSequence>");
    if (voided) text = std::regex_replace(text, std::regex("<ValueDifference>[^<]*</ValueDifference>"),
                                          "<ValueDifference>0.00</ValueDifference>");
    return text;
}

}  // namespace

class OwnPostings : public FifoWidget {
protected:
    // The file rewound to the date the window offers and valued again up to 01/31/2025.
    void rewindAsAdvisedAndRunAgain(const std::string& path, const CDateTime& advised) {
        auto opened = window();
        ASSERT_TRUE(opened->openFile(path));
        ASSERT_TRUE(opened->getEngine()->earliestChangeBehind());
        EXPECT_EQ(opened->getEngine()->earliestChangeBehind()->userDateText(), advised.userDateText());
        opened.reset();
        std::string status;
        ASSERT_TRUE(rewind(path, advised, &status)) << status;
        ASSERT_TRUE(run(path, day(2025, 1, 1), day(2025, 1, 31), &status)) << status;
    }
};

// The user deletes, voids or edits the memo of the posting of 01/20/2025: the open names
// it as the system's posting, and after the advised rewind and a run QuickBooks carries
// the FIFO 250.00 with one posting of +100.00, not a second one beside a left-over.
TEST_F(OwnPostings, ADeletedVoidedOrEditedPostingIsNamedAndRewoundByItsTxnId) {
    struct Case {
        const char* name;
        const char* memo;  // the memo the user leaves; null when the posting is deleted
        bool voided;
        const char* said;
    };
    const std::vector<Case> cases = {
        {"deleted", nullptr, false, "deleted"},
        {"memo changed", "Year-end count", false, "edited"},
        {"voided", "VOID: FIFO valuation", true, "voided"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = valuedCompany();
        const std::string txnId = postingId(path);
        ASSERT_FALSE(txnId.empty());
        if (c.memo == nullptr) {
            deletePosting(path);
        } else {
            const std::string memo = c.memo;
            const bool voided = c.voided;
            wrapProcessor([txnId, memo, voided](IRequestProcessor2* real) {
                return new CRewritingProcessor(real, [txnId, memo, voided](const std::string& answer) {
                    return rewriteAdjustment(answer, txnId, [&](const std::string& block) {
                        return editedAdjustment(block, memo, voided);
                    });
                });
            });
        }
        EXPECT_THAT(openStatus(path),
                    HasSubstr("FIFO values from 01/20/2025 on may be stale: 1 transaction dated on or before "
                              "01/31/2025 was entered, changed or deleted since the last run. Use Rewind to "
                              "value them again.\n  the FIFO valuation posted for Widget on 01/20/2025 was " +
                              std::string(c.said) + " in QuickBooks\n"));
        rewindAsAdvisedAndRunAgain(path, day(2025, 1, 20));
        expectPostings(path, kFifoWidgetPosting);
        auto opened = window();
        ASSERT_TRUE(opened->openFile(path));
        EXPECT_EQ(opened->statusText(), kOpenedValued);
        EXPECT_EQ(carried(*opened->getEngine(), day(2025, 1, 31), "Widget"), std::make_pair(15.0, 250.0));
        opened.reset();
        qbsimRegister();
        std::filesystem::remove(path);
        std::filesystem::remove_all(dir / "appdata");
    }
}

// A file whose record was written before postings were kept in it (the lines of the
// postings gone from it) still finds them by their memo: the rewind leaves none behind.
TEST_F(OwnPostings, AFileValuedBeforePostingsWereRecordedIsRewoundByTheirMemo) {
    const std::string path = valuedCompany();
    long long stripped = 0;
    for (const std::string& store : runStoresUnder(dir / "appdata"))
        stripped += runStoreCount(store, "SELECT count(*) FROM seen_txn WHERE type = 'FIFOValuation'");
    ASSERT_TRUE(changeRunStores(dir / "appdata",
                                "DELETE FROM seen_posting_item; DELETE FROM seen_txn WHERE type = 'FIFOValuation'"));
    ASSERT_EQ(stripped, 1);
    std::string status;
    ASSERT_TRUE(rewind(path, day(2025, 1, 1), &status)) << status;
    EXPECT_TRUE(postings(path).empty());
    ASSERT_TRUE(run(path, day(2025, 1, 1), day(2025, 1, 31), &status)) << status;
    expectPostings(path, kFifoWidgetPosting);
}
