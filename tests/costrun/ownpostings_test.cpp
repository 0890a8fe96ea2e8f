// The one rule that tells the system's own postings: by the TxnID the record of what
// runs wrote holds, and by the memo only where the record cannot tell.
#include "ownpostings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

#include "qbobject.h"
#include "qbutils.h"
#include "valueadjust.h"

namespace {

const CDateTime kLastRun = *CDateTime::fromLocal(2010, 4, 5, 18, 0, 0);

std::unique_ptr<CQbObject> adjustment(const std::string& txnId, const std::string& memo,
                                      const std::string& editSequence = "100", const std::string& date = "2010-04-02") {
    auto ret = std::make_unique<CQbObject>();
    ret->setName("InventoryAdjustmentRet");
    ret->addText("TxnID", txnId);
    ret->addText("EditSequence", editSequence);
    ret->addText("TxnDate", date);
    if (!memo.empty()) ret->addText("Memo", memo);
    return ret;
}

// What the record holds, and whether it is stamped with the "LastRunTime" QuickBooks holds.
struct Record {
    bool holdsPosting;  // P-1, dated 2010-04-02, EditSequence 100
    bool current;
};

struct OwnCase {
    const char* name;
    Record record;
    const char* txnId;
    const char* memo;
    bool own;
};

class OwnPostingsTest : public ::testing::TestWithParam<OwnCase> {
protected:
    OwnPostingsTest() : path(std::filesystem::temp_directory_path() / ("lotwise-own-" + std::to_string(::getpid()))) {}
    ~OwnPostingsTest() override { std::filesystem::remove(path); }

    // The record as a run left it on disk, loaded again.
    void leave(CSeenRecord& seen, const Record& record) {
        seen.load(path.string());
        if (record.holdsPosting) seen.recordPosting("P-1", "2010-04-02", "100", {"Widget"});
        seen.save(record.current ? std::optional<CDateTime>(kLastRun) : std::nullopt);
        seen.load(path.string());
    }

    std::filesystem::path path;
};

TEST_P(OwnPostingsTest, ByTheRecordAndByTheMemoOnlyWhereItCannotTell) {
    const OwnCase& c = GetParam();
    CSeenRecord seen;
    leave(seen, c.record);
    const COwnPostings rule(seen, kLastRun);
    EXPECT_EQ(rule.byMemo(), !c.record.holdsPosting || !c.record.current);
    EXPECT_EQ(rule.isOwn(*adjustment(c.txnId, c.memo)), c.own);
}


INSTANTIATE_TEST_SUITE_P(
    Rule, OwnPostingsTest,
    ::testing::Values(
        OwnCase{"RecordedWithItsMemo", {true, true}, "P-1", kValueAdjustMemo, true},
        OwnCase{"RecordedWithTheMemoChanged", {true, true}, "P-1", "Year-end count", true},
        OwnCase{"RecordedAndVoided", {true, true}, "P-1", "VOID: FIFO valuation", true},
        OwnCase{"UnrecordedWithTheMemoWhereTheRecordTells", {true, true}, "U-1", kValueAdjustMemo, false},
        OwnCase{"UnrecordedOtherwise", {true, true}, "U-1", "Count", false},
        OwnCase{"MemoWhereNoPostingWasEverRecorded", {false, true}, "U-1", kValueAdjustMemo, true},
        OwnCase{"OtherMemoWhereNoPostingWasEverRecorded", {false, true}, "U-1", "Count", false},
        OwnCase{"MemoWhereTheLastRunWasCutOff", {true, false}, "U-1", kValueAdjustMemo, true},
        OwnCase{"OtherMemoWhereTheLastRunWasCutOff", {true, false}, "U-1", "Count", false},
        OwnCase{"RecordedWhereTheLastRunWasCutOff", {true, false}, "P-1", "Count", true}),
    [](const ::testing::TestParamInfo<OwnCase>& info) { return info.param.name; });

// A recorded posting QuickBooks holds with another EditSequence or date was edited; the
// values it moved start at the earlier of its dates.
TEST(OwnPostingsEdits, AnotherEditSequenceOrDateIsAnEdit) {
    CSeenRecord seen;
    seen.recordPosting("P-1", "2010-04-02", "100", {"Widget"});
    const COwnPostings rule(seen, kLastRun);
    struct Row {
        const char* editSequence;
        const char* date;
        bool edited;
        const char* from;
    };
    const Row rows[] = {
        {"100", "2010-04-02", false, "2010-04-02"},
        {"101", "2010-04-02", true, "2010-04-02"},
        {"100", "2010-04-04", true, "2010-04-02"},
        {"101", "2010-03-30", true, "2010-03-30"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.editSequence) + " " + row.date);
        const auto posting = adjustment("P-1", kValueAdjustMemo, row.editSequence, row.date);
        EXPECT_EQ(rule.edited(*posting), row.edited);
        EXPECT_EQ(dateText(rule.editedFrom(*posting)), row.from);
    }
    EXPECT_FALSE(rule.edited(*adjustment("U-1", kValueAdjustMemo, "999")));
}

}  // namespace
