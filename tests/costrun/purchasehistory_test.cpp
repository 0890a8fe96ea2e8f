// The kept purchase history gives back exactly the records it was given, whatever their
// text and figures, and only to the company file, start date and run it was written for.
#include <filesystem>
#include <unistd.h>

#include <gtest/gtest.h>

#include "costrunreceipts.h"
#include "purchasehistory.h"
#include "qbutils.h"
#include "runstore.h"
#include "txnkinds.h"

namespace {

class PurchaseHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir);
        // A bill with a line of an awkward name and figures no short decimal holds, a
        // return in a unit of another set and a value change; an undated build with a
        // value and one without.
        CReceiptRecord bill;
        bill.txnTypeCode = kTxnBill;
        bill.txnId = "1-1";
        bill.txnNumber = 7;
        bill.txnDate = CDateTime(1270094400);
        bill.txnDateText = "2010-04-01";
        bill.refNumber = "B\t1\\n";
        bill.editSequence = "123";
        bill.exchangeRate = 1.0 / 3.0;
        bill.lines.push_back({"Widget\ttab\nline\\", 0.1 + 0.2, 1e-7, {"Box", "80000001-1", "Count"}, false});
        bill.lines.push_back({"Bolt", 2, 19.99, {}, true});
        bill.returnedItems.push_back("Bolt");
        bill.valueChanges.push_back({"Widget\ttab\nline\\", -12.345678901234, true});
        CReceiptRecord build;
        build.txnTypeCode = kTxnBuildAssembly;
        build.txnId = "2-1";
        build.isPending = true;
        build.assembly = "Kit";
        build.quantityToBuild = 3;
        build.buildValue.value = 100.0 / 7.0;
        build.buildValue.stored = true;
        CReceiptRecord unvalued = build;
        unvalued.txnId = "3-1";
        unvalued.buildValue = {};
        records.addTaken({bill, build, unvalued});
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lotwise-history-" + std::to_string(::getpid()));
    const std::string path = CRunStore::pathFor(dir.string(), "Acme", CDateTime(1796860000));
    const CPurchaseHistory::CIdentity owner{"Acme", "2026-12-01T10:00:00+00:00", "2010-04-01"};
    const CDateTime stamp{1796860000};
    CReceiptRecords records;
};

void expectSame(const CReceiptRecord& a, const CReceiptRecord& b) {
    EXPECT_EQ(a.txnTypeCode, b.txnTypeCode);
    EXPECT_EQ(a.txnId, b.txnId);
    EXPECT_EQ(a.txnNumber, b.txnNumber);
    EXPECT_EQ(a.txnDate, b.txnDate);
    EXPECT_EQ(a.txnDateText, b.txnDateText);
    EXPECT_EQ(a.refNumber, b.refNumber);
    EXPECT_EQ(a.editSequence, b.editSequence);
    EXPECT_EQ(a.isPending, b.isPending);
    EXPECT_EQ(a.exchangeRate, b.exchangeRate);
    EXPECT_EQ(a.assembly, b.assembly);
    EXPECT_EQ(a.quantityToBuild, b.quantityToBuild);
    EXPECT_EQ(a.buildValue.value, b.buildValue.value);
    EXPECT_EQ(a.buildValue.stored, b.buildValue.stored);
    EXPECT_EQ(a.returnedItems, b.returnedItems);
    ASSERT_EQ(a.lines.size(), b.lines.size());
    for (std::size_t i = 0; i < a.lines.size(); ++i) {
        EXPECT_EQ(a.lines[i].item, b.lines[i].item);
        EXPECT_EQ(a.lines[i].quantity, b.lines[i].quantity);
        EXPECT_EQ(a.lines[i].amount, b.lines[i].amount);
        EXPECT_EQ(a.lines[i].unit.name, b.lines[i].unit.name);
        EXPECT_EQ(a.lines[i].unit.setListId, b.lines[i].unit.setListId);
        EXPECT_EQ(a.lines[i].unit.setName, b.lines[i].unit.setName);
        EXPECT_EQ(a.lines[i].isReturn, b.lines[i].isReturn);
    }
    ASSERT_EQ(a.valueChanges.size(), b.valueChanges.size());
    for (std::size_t i = 0; i < a.valueChanges.size(); ++i) {
        EXPECT_EQ(a.valueChanges[i].item, b.valueChanges[i].item);
        EXPECT_EQ(a.valueChanges[i].amount, b.valueChanges[i].amount);
        EXPECT_EQ(a.valueChanges[i].onUnitsBefore, b.valueChanges[i].onUnitsBefore);
    }
}

}  // namespace

TEST_F(PurchaseHistoryTest, GivesBackExactlyWhatItHeldAndOnlyOnce) {
    CPurchaseHistory written;
    written.hold(owner, records, stamp.addSeconds(-60), CDateTime(1270180800), CDateTime(1270094400));
    ASSERT_TRUE(written.save(path, stamp));

    CPurchaseHistory read;
    std::string why;
    ASSERT_TRUE(read.take(path, owner, stamp, stamp, why)) << why;
    EXPECT_EQ(read.readAt(), stamp.addSeconds(-60));
    EXPECT_EQ(dateText(read.upTo()), "2010-04-02");
    EXPECT_EQ(dateText(read.valuesMovedFrom()), "2010-04-01");
    ASSERT_EQ(read.records().size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) expectSame(records[i], read.records()[i]);
    // Taken: a second run finds nothing.
    {
        CRunStore store(path);
        CRunStore::CStatement left(store, "SELECT count(*) FROM purchase_txn");
        ASSERT_TRUE(left.step());
        EXPECT_EQ(left.whole(0), 0);
    }
    EXPECT_FALSE(read.take(path, owner, stamp, stamp, why));
    EXPECT_EQ(why, "no purchase history was kept");
}

TEST_F(PurchaseHistoryTest, ServesOnlyItsOwnCompanyStartAndRunWhileDeletionsAreListed) {
    struct CCase {
        const char* what;
        CPurchaseHistory::CIdentity owner;
        CDateTime lastRunTime, now;
        const char* why;
    };
    const CDateTime later = stamp.addSeconds(91L * 24 * 60 * 60);
    const std::vector<CCase> cases = {
        {"another company", {"Acme 2", owner.firstRun, owner.startDate}, stamp, stamp,
         "the kept purchase history belongs to another company file"},
        {"another first run", {owner.company, "2026-12-02T10:00:00+00:00", owner.startDate}, stamp, stamp,
         "the kept purchase history belongs to another company file"},
        {"another start date", {owner.company, owner.firstRun, "2010-01-01"}, stamp, stamp,
         "the kept purchase history was read from another start date"},
        {"another run", owner, stamp.addSeconds(1), stamp, "the kept purchase history is not that of the last run"},
        {"deletions no longer listed", owner, stamp, later,
         "the kept purchase history is older than QuickBooks lists deleted transactions"},
    };
    for (const CCase& refused : cases) {
        SCOPED_TRACE(refused.what);
        CPurchaseHistory written;
        written.hold(owner, records, stamp, CDateTime(1270180800), CDateTime(1270094400));
        ASSERT_TRUE(written.save(path, stamp));
        CPurchaseHistory read;
        std::string why;
        EXPECT_FALSE(read.take(path, refused.owner, refused.lastRunTime, refused.now, why));
        EXPECT_EQ(why, refused.why);
        EXPECT_FALSE(read.held());
        EXPECT_TRUE(read.records().empty());
    }
}
