// Writing and reading the purchase history a run keeps, at the size of a year of a large
// company: 10,000 receiving transactions of 3 lines each (the one-year company of
// bench/yearrun.sh has about 9,000), and of two and four years. Reports the store's size
// (bytes) beside the time of one save and one take.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "purchasehistory.h"
#include "runstore.h"
#include "txnkinds.h"

namespace {

const CPurchaseHistory::CIdentity kOwner{"Generated Company", "2026-12-01T10:00:00+00:00", "2024-01-01"};
const CDateTime kStamp{1796860000};

void fill(CReceiptRecords& records, int count) {
    std::vector<CReceiptRecord> taken;
    for (int i = 0; i < count; ++i) {
        CReceiptRecord record;
        record.txnTypeCode = i % 10 == 0 ? kTxnInventoryAdjustment : kTxnBill;
        record.txnId = std::to_string(i);
        record.txnId += "-1704067200";
        record.txnNumber = i;
        record.txnDate = CDateTime(1704067200 + static_cast<std::int64_t>(i / 25) * 86400);
        record.txnDateText = "2024-01-01";
        record.refNumber = std::to_string(i);
        record.editSequence = "1704067200";
        for (int line = 0; line < 3; ++line) {
            std::string item = "Family 0001:Part ";
            item += std::to_string((i * 7 + line) % 2000);
            record.lines.push_back({item, 12.0 + line, 1234.56 / (line + 3), {}, false});
        }
        taken.push_back(std::move(record));
    }
    records.addTaken(std::move(taken));
}

void saveAndTake(benchmark::State& state) {
    CReceiptRecords records;
    fill(records, static_cast<int>(state.range(0)));
    const std::string path = CRunStore::pathFor(std::filesystem::temp_directory_path().string(),
                                                "bench " + std::to_string(::getpid()), kStamp);
    CPurchaseHistory history;
    history.hold(kOwner, records, kStamp, kStamp, kStamp);
    std::string why;
    for (auto _ : state) {
        if (!history.save(path, kStamp)) state.SkipWithError("not written");
        state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
        CPurchaseHistory read;
        if (!read.take(path, kOwner, kStamp, kStamp, why)) state.SkipWithError(why.c_str());
        benchmark::DoNotOptimize(read.records().data());
    }
    CRunStore::remove(path);
}

}  // namespace

BENCHMARK(saveAndTake)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
