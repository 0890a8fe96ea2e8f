// The stand-in's inventory valuation summary on a generated company of 2,000 items,
// 100 assemblies and about 100,000 transaction lines over a year. A valuation run asks
// for the summary day after day, so what matters is the cost of the day after the one
// before and of a random day once the ledger holds the year, both against one full
// recomputation of the whole history. Each benchmark reports the median time of one
// request (median_ms) beside Google Benchmark's mean.
//
// The company is generated once into $QBSIM_BENCH_DIR (default /tmp) and reused.
#include "qbsimengine.h"
#include "qbsimgenerator.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace {

constexpr int kDays = 365;
const std::string kStart = "2024-01-01";

const std::string& companyPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("QBSIM_BENCH_DIR");
        const std::string file = std::string(dir && *dir ? dir : "/tmp") + "/qbsim-bench-2000x365-seed1.qbw";
        // The folder is made when missing, so a fresh QBSIM_BENCH_DIR works.
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        if (!std::filesystem::exists(file)) {
            CQbSimGeneratorOptions options;
            options.items = 2000;
            options.assemblies = 100;
            options.days = kDays;
            options.seed = 1;
            options.startDate = kStart;
            qbsimGenerateCompany(file, options);
        }
        return file;
    }();
    return path;
}

std::string reportRequest(const std::string& date) {
    return "<?xml version=\"1.0\"?><?qbxml version=\"16.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">"
           "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary"
           "</GeneralSummaryReportType><DisplayReport>false</DisplayReport><ReportPeriod><FromReportDate>" +
           date + "</FromReportDate><ToReportDate>" + date +
           "</ToReportDate></ReportPeriod><ReportItemFilter><ItemTypeFilter>Inventory</ItemTypeFilter>"
           "</ReportItemFilter></GeneralSummaryReportQueryRq></QBXMLMsgsRq></QBXML>";
}

// Times one report request and keeps the duration for the median.
double timed(CQbSimEngine& engine, const std::string& date, std::vector<double>& samples) {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(engine.processRequest(reportRequest(date)));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    samples.push_back(seconds);
    return seconds;
}

void reportMedian(benchmark::State& state, std::vector<double>& samples) {
    std::sort(samples.begin(), samples.end());
    if (!samples.empty()) state.counters["median_ms"] = samples[samples.size() / 2] * 1000.0;
}

// A fresh ledger each time, with nothing kept in the file: the whole year is evaluated
// for the last day's report.
void fullRecomputation(benchmark::State& state) {
    auto company = CQbSimCompany::open(companyPath());
    std::vector<double> samples;
    for (auto _ : state) {
        CQbSimEngine engine(*company, nullptr);
        engine.ledger().restart();
        state.SetIterationTime(timed(engine, qbsimAddDays(kStart, kDays - 1), samples));
    }
    reportMedian(state, samples);
}

// A new session on a file whose ledger is kept through the year (a new run of a program):
// the last day's report reads each item's kept state.
void newSession(benchmark::State& state) {
    auto company = CQbSimCompany::open(companyPath());
    CQbSimEngine(*company, nullptr).processRequest(reportRequest(qbsimAddDays(kStart, kDays - 1)));
    std::vector<double> samples;
    for (auto _ : state) {
        CQbSimEngine engine(*company, nullptr);
        state.SetIterationTime(timed(engine, qbsimAddDays(kStart, kDays - 1), samples));
    }
    reportMedian(state, samples);
}

// The day after the one asked for before, as a valuation run asks.
void nextDay(benchmark::State& state) {
    auto company = CQbSimCompany::open(companyPath());
    auto engine = std::make_unique<CQbSimEngine>(*company, nullptr);
    std::vector<double> samples;
    int day = 0;
    for (auto _ : state) {
        if (day == kDays) {
            state.PauseTiming();
            engine = std::make_unique<CQbSimEngine>(*company, nullptr);
            day = 0;
            state.ResumeTiming();
        }
        state.SetIterationTime(timed(*engine, qbsimAddDays(kStart, day++), samples));
    }
    reportMedian(state, samples);
}

// Any day of the year once the ledger holds it.
void randomDay(benchmark::State& state) {
    auto company = CQbSimCompany::open(companyPath());
    CQbSimEngine engine(*company, nullptr);
    engine.processRequest(reportRequest(qbsimAddDays(kStart, kDays - 1)));
    std::mt19937 random(7);
    std::vector<double> samples;
    for (auto _ : state)
        state.SetIterationTime(timed(engine, qbsimAddDays(kStart, static_cast<int>(random() % kDays)), samples));
    reportMedian(state, samples);
}

// One day of a valuation run: the Inventory and Assembly summaries of the day, then
// value adjustments posted on that day (which make the day stale again), on a copy of
// the company so that the postings do not accumulate in the shared file.
void runDay(benchmark::State& state) {
    const std::string copy = companyPath() + ".run";
    std::filesystem::remove(copy);
    std::filesystem::remove(copy + "-wal");
    std::filesystem::remove(copy + "-shm");
    std::filesystem::copy_file(companyPath(), copy);
    auto company = CQbSimCompany::open(copy);
    CQbSimEngine engine(*company, nullptr);
    engine.processRequest(
        "<?xml version=\"1.0\"?><?qbxml version=\"16.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">"
        "<AccountAddRq><AccountAdd><Name>Revaluation</Name><AccountType>CostOfGoodsSold</AccountType>"
        "</AccountAdd></AccountAddRq></QBXMLMsgsRq></QBXML>");
    std::mt19937 random(3);
    std::vector<double> samples;
    int day = 0;
    for (auto _ : state) {
        const std::string date = qbsimAddDays(kStart, day);
        day = (day + 1) % kDays;
        const auto start = std::chrono::steady_clock::now();
        for (const char* type : {"Inventory", "Assembly"}) {
            std::string request = reportRequest(date);
            request.replace(request.find("Inventory</ItemTypeFilter>"), 9, type);
            benchmark::DoNotOptimize(engine.processRequest(request));
        }
        std::string lines;
        for (int k = 0; k < 5; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "Part %05d", 4 + 10 * static_cast<int>(random() % 200));
            lines += std::string("<InventoryAdjustmentLineAdd><ItemRef><FullName>") + name +
                     "</FullName></ItemRef><ValueAdjustment><NewValue>" + std::to_string(100 + random() % 900) +
                     ".00</NewValue></ValueAdjustment></InventoryAdjustmentLineAdd>";
        }
        engine.processRequest(
            "<?xml version=\"1.0\"?><?qbxml version=\"16.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">"
            "<InventoryAdjustmentAddRq><InventoryAdjustmentAdd><AccountRef><FullName>Revaluation</FullName>"
            "</AccountRef><TxnDate>" + date + "</TxnDate><Memo>FIFO valuation</Memo>" + lines +
            "</InventoryAdjustmentAdd></InventoryAdjustmentAddRq></QBXMLMsgsRq></QBXML>");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        samples.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    reportMedian(state, samples);
    company.reset();
    std::filesystem::remove(copy);
    std::filesystem::remove(copy + "-wal");
    std::filesystem::remove(copy + "-shm");
}

}  // namespace

BENCHMARK(fullRecomputation)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(newSession)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(nextDay)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(randomDay)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(runDay)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

BENCHMARK_MAIN();
