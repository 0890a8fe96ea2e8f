// The run store gives back exactly what each part saved; a save that does not commit, or
// a stop in the middle of one, leaves the part as it was; the files earlier versions kept
// are imported once; a store that cannot be read is treated as none.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "closingbalance.h"
#include "purchasehistory.h"
#include "qbutils.h"
#include "runstore.h"
#include "seenrecord.h"
#include "txnkinds.h"

namespace {

using ::testing::HasSubstr;

const CDateTime kFirstRun{1796860000};
const CDateTime kStamp{1796900000};
const CPurchaseHistory::CIdentity kOwner{"Acme", "2026-12-01T10:00:00+00:00", "2010-04-01"};

class RunStoreTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override {
        CRunStore::TEST_refuseCommits(0);
        std::filesystem::remove_all(dir);
    }

    // The record of two bills, one of awkward texts, and a posting that valued two items.
    static void fillRecord(CSeenRecord& record, const std::string& refNumber) {
        record.record({{"1-1", {"", "2010-04-01", refNumber, "17"}}, {"2-1", {"", "2010-04-02", "B\\2", ""}}}, "Bill",
                      "", "");
        record.recordPosting("3-1", "2010-04-02", "99", {"80000001-1", "80000002-1"});
    }

    // Writes figures into the store as a run's save would, for the closing valuation's
    // load to read.
    void putClosing(const std::vector<std::tuple<std::string, double, double>>& items) {
        CRunStore store(path);
        ASSERT_TRUE(store.exec("DELETE FROM closing; DELETE FROM closing_item"));
        ASSERT_TRUE(CRunStore::CStatement(store, "INSERT INTO closing VALUES (1, ?, ?)")
                        .bind(1, zoneDateTimeText(kStamp))
                        .bind(2, std::string("2010-04-30"))
                        .run());
        // Each item's name for texts is its ListID here.
        CRunStore::CStatement item(store, "INSERT INTO closing_item VALUES (?, ?, ?, ?)");
        for (const auto& [id, quantity, value] : items)
            ASSERT_TRUE(item.bind(1, id).bind(2, quantity).bind(3, value).bind(4, id).run());
    }

    long long count(const char* sql) {
        CRunStore store(path);
        CRunStore::CStatement read(store, sql);
        return read.step() ? read.whole(0).value_or(-1) : -1;
    }

    static CReceiptRecords& purchases() {
        static CReceiptRecords records;
        if (records.empty()) {
            CReceiptRecord bill;
            bill.txnTypeCode = kTxnBill;
            bill.txnId = "1-1";
            bill.txnDate = CDateTime(1270094400);
            bill.txnDateText = "2010-04-01";
            bill.lines.push_back({"80000001-1", 0.1 + 0.2, -0.0, {}, false});
            records.addTaken({bill});
        }
        return records;
    }

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lotwise-store-" + std::to_string(::getpid()));
    const std::string path = CRunStore::pathFor(dir.string(), "Acme", kFirstRun);
};

}  // namespace

TEST_F(RunStoreTest, TheRecordOfWhatWasReadComesBackExactly) {
    CSeenRecord written;
    written.load(path);
    fillRecord(written, "Ref\twith\ntab and line");
    ASSERT_TRUE(written.save(kStamp));

    CSeenRecord read;
    read.load(path);
    EXPECT_EQ(read.stamp(), zoneDateTimeText(kStamp));
    ASSERT_EQ(read.size(), 3u);
    for (const char* id : {"1-1", "2-1", "3-1"}) {
        SCOPED_TRACE(id);
        const CSeenRecord::CSeenTxn* a = written.find(id);
        const CSeenRecord::CSeenTxn* b = read.find(id);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(a->type, b->type);
        EXPECT_EQ(a->date, b->date);
        EXPECT_EQ(a->refNumber, b->refNumber);
        EXPECT_EQ(a->editSequence, b->editSequence);
        EXPECT_EQ(a->items, b->items);
    }
    EXPECT_EQ(read.findPosting("3-1")->items, (std::vector<std::string>{"80000001-1", "80000002-1"}));

    // Saved without a stored "LastRunTime", it carries none.
    ASSERT_TRUE(read.save(std::nullopt));
    CSeenRecord unstamped;
    unstamped.load(path);
    EXPECT_EQ(unstamped.stamp(), "");
    EXPECT_EQ(unstamped.size(), 3u);
}

// A save writes only what changed since the record was loaded: what it added, changed
// and forgot comes back as the record held it. A store another writer saved in the
// meantime is written whole, so nothing of that writer's stays behind.
TEST_F(RunStoreTest, ASaveWritesWhatChangedAndAStoreChangedBehindItWhole) {
    CSeenRecord first;
    first.load(path);
    fillRecord(first, "R1");
    ASSERT_TRUE(first.save(kStamp));

    CSeenRecord next;
    next.load(path);
    next.record({{"1-1", {"", "2010-04-01", "R1", "18"}}, {"4-1", {"", "2010-04-02", "R4", "1"}}}, "Bill", "", "");
    next.recordPosting("3-1", "2010-04-02", "100", {"80000002-1"});
    ASSERT_TRUE(next.save(kStamp.addSeconds(60)));
    CSeenRecord read;
    read.load(path);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read.find("1-1")->editSequence, "18");
    EXPECT_EQ(read.find("2-1"), nullptr);  // not in the bills read from the start
    EXPECT_EQ(read.find("4-1")->refNumber, "R4");
    EXPECT_EQ(read.findPosting("3-1")->items, (std::vector<std::string>{"80000002-1"}));

    // `first` last saw the store with its own stamp; `next` has saved since.
    first.recordPosting("5-1", "2010-04-03", "1", {});
    ASSERT_TRUE(first.save(kStamp));
    read.load(path);
    EXPECT_EQ(read.size(), 4u);
    EXPECT_EQ(read.find("4-1"), nullptr);
    EXPECT_EQ(read.find("2-1")->refNumber, "B\\2");
    EXPECT_EQ(read.findPosting("3-1")->items, (std::vector<std::string>{"80000001-1", "80000002-1"}));
}

// A run right after its open keeps the record the open loaded, unless that record was
// changed and not saved: then it reads the store again, as a plain load would.
TEST_F(RunStoreTest, ARunReadsTheRecordAgainOnlyWhenItWasChangedSinceItsLoad) {
    CSeenRecord saved;
    saved.load(path);
    fillRecord(saved, "R1");
    ASSERT_TRUE(saved.save(kStamp));

    CSeenRecord opened;
    opened.load(path);
    opened.recordPosting("6-1", "2010-04-03", "1", {});
    opened.loadUnlessHeld(path);
    EXPECT_EQ(opened.find("6-1"), nullptr);
    EXPECT_EQ(opened.size(), 3u);
    opened.loadUnlessHeld(path);
    EXPECT_EQ(opened.size(), 3u);
}

TEST_F(RunStoreTest, TheClosingValuationComesBackExactlyAndOnlyForItsRun) {
    const double tiny = std::numeric_limits<double>::denorm_min();
    putClosing({{"80000001-1", 0.1 + 0.2, 1.0 / 3.0}, {"80000002-1", 1e300, -tiny}, {"Odd\tname", 12, -0.005}});
    CClosingBalance loaded;
    ASSERT_TRUE(loaded.load(path));
    EXPECT_TRUE(loaded.keptBy(kStamp, readDateText("2010-04-30")));
    EXPECT_FALSE(loaded.keptBy(kStamp.addSeconds(1), readDateText("2010-04-30")));
    EXPECT_FALSE(loaded.keptBy(kStamp, readDateText("2010-04-29")));

    // Saved again and read back, the figures are the same bits.
    const std::string other = CRunStore::pathFor(dir.string(), "Acme 2", kFirstRun);
    ASSERT_TRUE(loaded.save(other, kStamp));
    CRunStore store(other);
    CRunStore::CStatement read(store, "SELECT item, quantity, value FROM closing_item ORDER BY item");
    std::vector<std::tuple<std::string, double, double>> back;
    while (read.step()) back.emplace_back(*read.text(0), *read.real(1), *read.real(2));
    EXPECT_EQ(back, (std::vector<std::tuple<std::string, double, double>>{
                        {"80000001-1", 0.1 + 0.2, 1.0 / 3.0}, {"80000002-1", 1e300, -tiny}, {"Odd\tname", 12, -0.005}}));

    // An item whose figures moved is named with both, exactly.
    putClosing({{"80000001-1", 0.1 + 0.2, 1.0 / 3.0 + 0.02}, {"80000002-1", 1e300, -tiny}, {"Odd\tname", 12, -0.005}});
    CClosingBalance now;
    ASSERT_TRUE(now.load(path));
    const std::vector<CClosingBalance::CMoved> moved = loaded.movedIn(now);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].item, "80000001-1");
    EXPECT_EQ(moved[0].left.value, 1.0 / 3.0);
    EXPECT_EQ(moved[0].now.value, 1.0 / 3.0 + 0.02);
}

// Every save is one transaction: one that does not commit leaves the record as it was,
// and the closing valuation and the purchase history as none (never the old one, which
// no longer stands for the books).
TEST_F(RunStoreTest, ASaveThatDoesNotCommitLeavesTheOldRecordAndNoStaleFigures) {
    CSeenRecord record;
    record.load(path);
    fillRecord(record, "old");
    ASSERT_TRUE(record.save(kStamp));
    putClosing({{"80000001-1", 1, 2}});
    CPurchaseHistory history;
    history.hold(kOwner, purchases(), kStamp, CDateTime(1270180800), CDateTime(1270094400));
    ASSERT_TRUE(history.save(path, kStamp));

    CRunStore::TEST_refuseCommits(1);
    record.recordPosting("4-1", "2010-04-03", "5", {});
    EXPECT_FALSE(record.save(kStamp.addSeconds(60)));
    CSeenRecord after;
    after.load(path);
    EXPECT_EQ(after.stamp(), zoneDateTimeText(kStamp));
    EXPECT_EQ(after.size(), 3u);
    EXPECT_EQ(after.find("4-1"), nullptr);

    CClosingBalance closing;
    ASSERT_TRUE(closing.load(path));
    CRunStore::TEST_refuseCommits(1);
    EXPECT_FALSE(closing.save(path, kStamp.addSeconds(60)));
    EXPECT_FALSE(CClosingBalance().load(path));

    CRunStore::TEST_refuseCommits(1);
    EXPECT_FALSE(history.save(path, kStamp.addSeconds(60)));
    std::string why;
    EXPECT_FALSE(CPurchaseHistory().take(path, kOwner, kStamp, kStamp, why));
    EXPECT_EQ(why, "no purchase history was kept");
}

// A stop in the middle of a save leaves the database and its journal as they were on
// disk at that moment: the next open plays the journal back and finds the old record.
TEST_F(RunStoreTest, AStopInTheMiddleOfASaveLeavesTheOldRecord) {
    CSeenRecord record;
    record.load(path);
    fillRecord(record, "old");
    ASSERT_TRUE(record.save(kStamp));
    const std::string copy = CRunStore::pathFor(dir.string(), "Acme copy", kFirstRun);
    {
        CRunStore store(path);
        // A small page cache writes changed pages into the database before the commit.
        ASSERT_TRUE(store.exec("PRAGMA cache_size = 1"));
        CRunStore::CTransaction saving(store);
        ASSERT_TRUE(saving.started());
        ASSERT_TRUE(store.exec("DELETE FROM seen_txn; UPDATE seen_record SET last_run_time = 'new'"));
        CRunStore::CStatement add(store, "INSERT INTO seen_txn VALUES (?, 'Bill', '2010-04-09', '', '1')");
        for (int i = 0; i < 2000; ++i) ASSERT_TRUE(add.bind(1, "T" + std::to_string(i) + std::string(200, 'x')).run());
        ASSERT_TRUE(std::filesystem::exists(path + "-journal"));
        std::filesystem::copy_file(path, copy);
        std::filesystem::copy_file(path + "-journal", copy + "-journal");
    }
    CSeenRecord recovered;
    recovered.load(copy);
    EXPECT_EQ(recovered.stamp(), zoneDateTimeText(kStamp));
    EXPECT_EQ(recovered.size(), 3u);
    EXPECT_NE(recovered.find("1-1"), nullptr);
}

TEST_F(RunStoreTest, TheFilesOfAnEarlierVersionAreImportedOnceAndRemoved) {
    const std::string hash = path.substr(path.rfind("lotwise-") + 8, 16);
    auto beside = [&](const std::string& prefix, const char* extension) { return (dir / (prefix + hash + extension)).string(); };
    const std::string stamp = zoneDateTimeText(kStamp);
    std::ofstream(beside("transactions-", ".tsv"), std::ios::binary)
        << "#LastRunTime\t" << stamp << "\n1-1\tBill\t2010-04-01\tB-1\t17\n2-1\tInvoice\t2010-04-02\t1001\n"
        << "3-1\tFIFOValuation\t2010-04-02\t\t99\tWidget\tKit\n";
    std::ofstream(beside("closing-", ".txt"), std::ios::binary)
        << "#LastRunTime\t" << stamp << "\n#Date\t2010-04-30\nWidget\t0.30000000000000004\t250.125\n";
    std::ofstream(beside("purchases-", ".txt"), std::ios::binary) << "#Lotwise purchase history\t1\n";

    CSeenRecord record;
    record.load(path);
    EXPECT_EQ(record.stamp(), stamp);
    ASSERT_EQ(record.size(), 3u);
    EXPECT_EQ(record.find("1-1")->editSequence, "17");
    EXPECT_EQ(record.find("2-1")->editSequence, "");  // a record older than EditSequences
    EXPECT_EQ(record.findPosting("3-1")->items, (std::vector<std::string>{"Widget", "Kit"}));
    // The old closing valuation knew items by name, not ListID: it is not imported, and
    // the next open checks by transactions alone.
    EXPECT_FALSE(CClosingBalance().load(path));
    // The old purchase history is not used: the next run reads everything.
    std::string why;
    EXPECT_FALSE(CPurchaseHistory().take(path, kOwner, kStamp, kStamp, why));
    EXPECT_EQ(why, "no purchase history was kept");
    for (const std::string& old : {beside("transactions-", ".tsv"), beside("closing-", ".txt"), beside("purchases-", ".txt")})
        EXPECT_FALSE(std::filesystem::exists(old)) << old;

    // Old files found beside a store that stands are leftovers: removed, not read.
    std::ofstream(beside("transactions-", ".tsv"), std::ios::binary) << "9-1\tBill\t2010-04-09\tB-9\t1\n";
    CSeenRecord again;
    again.load(path);
    EXPECT_EQ(again.find("9-1"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(beside("transactions-", ".tsv")));
}

TEST_F(RunStoreTest, AClosingFileCutShortIsNotImported) {
    const std::string hash = path.substr(path.rfind("lotwise-") + 8, 16);
    std::ofstream((dir / ("closing-" + hash + ".txt")), std::ios::binary)
        << "#LastRunTime\t" << zoneDateTimeText(kStamp) << "\n#Date\t2010-04-30\nWidget\t3\t25";
    EXPECT_FALSE(CClosingBalance().load(path));
    EXPECT_EQ(count("SELECT count(*) FROM closing_item"), 0);
}

// A store that is no database, or is damaged, is set aside: the record is none, the run
// says why it reads everything, and a new store keeps what the run saves.
TEST_F(RunStoreTest, AStoreThatCannotBeReadIsSetAsideAndTheRunToldWhy) {
    struct CCase {
        const char* what;
        std::function<void()> spoil;
        const char* reason;
    };
    const std::vector<CCase> cases = {
        {"not a database", [&] { std::ofstream(path, std::ios::binary) << std::string(4096, 'x'); },
         "file is not a database"},
        {"cut short",
         [&] {
             CPurchaseHistory history;
             history.hold(kOwner, purchases(), kStamp, CDateTime(1270180800), CDateTime(1270094400));
             ASSERT_TRUE(history.save(path, kStamp));
             std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
         },
         "malformed"},
        {"of a later version", [&] { ASSERT_TRUE(CRunStore(path).exec("PRAGMA user_version = 99")); },
         "later version"},
    };
    for (const CCase& spoilt : cases) {
        SCOPED_TRACE(spoilt.what);
        CRunStore::remove(path);
        {
            CSeenRecord record;
            record.load(path);
            fillRecord(record, "old");
            ASSERT_TRUE(record.save(kStamp));
        }
        spoilt.spoil();
        CSeenRecord record;
        record.load(path);
        EXPECT_EQ(record.size(), 0u);
        EXPECT_TRUE(std::filesystem::exists(path + ".unreadable"));
        std::string why;
        EXPECT_FALSE(CPurchaseHistory().take(path, kOwner, kStamp, kStamp, why));
        EXPECT_THAT(why, HasSubstr("the kept records could not be read ("));
        EXPECT_THAT(why, HasSubstr(spoilt.reason));

        // The new store keeps what the next run saves, and the reason was told once.
        fillRecord(record, "new");
        ASSERT_TRUE(record.save(kStamp));
        CSeenRecord read;
        read.load(path);
        EXPECT_EQ(read.size(), 3u);
        EXPECT_FALSE(CPurchaseHistory().take(path, kOwner, kStamp, kStamp, why));
        EXPECT_EQ(why, "no purchase history was kept");
    }
}
