// The report cost a fault-injecting stand-in adds (QBSIM_FAULTS report-us-per-row):
// an inventory valuation summary through the request processor, as the add-on sends
// it, on a generated company of 300 items, with no report cost and with 100 and 1,000
// microseconds a row. Each case reports the report's rows, the median time of one
// request (median_ms) and that median per row (median_us_per_row); a case's added cost
// per row is its median_us_per_row less the first case's.
//
// The company is generated once into $QBSIM_BENCH_DIR (default /tmp) and reused.
#include "qbsimgenerator.h"
#include "qbsimprocessor.h"
#include "widestring.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace {

const std::string& companyPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("QBSIM_BENCH_DIR");
        const std::string file = std::string(dir && *dir ? dir : "/tmp") + "/qbsim-bench-300x30-seed1.qbw";
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        if (!std::filesystem::exists(file)) {
            CQbSimGeneratorOptions options;
            options.items = 300;
            options.assemblies = 20;
            options.days = 30;
            options.seed = 1;
            qbsimGenerateCompany(file, options);
        }
        return file;
    }();
    return path;
}

const char* const kReport =
    "<?xml version=\"1.0\"?><?qbxml version=\"16.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">"
    "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary"
    "</GeneralSummaryReportType><DisplayReport>false</DisplayReport><ReportPeriod><FromReportDate>"
    "2024-01-30</FromReportDate><ToReportDate>2024-01-30</ToReportDate></ReportPeriod>"
    "</GeneralSummaryReportQueryRq></QBXMLMsgsRq></QBXML>";

// A processor with the report cost and a session on the company, closed with the object.
class CSession {
public:
    explicit CSession(int microsPerRow) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CQbSimFaults faults;
        faults.reportMicrosPerRow = microsPerRow;
        qbsimSetFaults(faults);
        processor = qbsimCreateProcessor();
        BSTR id = SysAllocString(L"Lotwise"), name = SysAllocString(L"Lotwise bench");
        BSTR file = SysAllocString(narrowToWide(companyPath()).c_str());
        processor->OpenConnection(id, name);
        const HRESULT hr = processor->BeginSession(file, qbFileOpenDoNotCare, &ticket);
        SysFreeString(id);
        SysFreeString(name);
        SysFreeString(file);
        if (hr != S_OK) throw std::runtime_error("BeginSession failed");
        request = SysAllocString(narrowToWide(kReport).c_str());
    }
    ~CSession() {
        processor->EndSession(ticket);
        processor->CloseConnection();
        processor->Release();
        SysFreeString(ticket);
        SysFreeString(request);
        qbsimSetFaults(std::nullopt);
        CoUninitialize();
    }
    // Sends the report request; returns the answer's rows.
    long long report() {
        BSTR response = nullptr;
        if (processor->ProcessRequest(ticket, request, &response) != S_OK)
            throw std::runtime_error("ProcessRequest failed");
        const std::string answer = wideToNarrow(response);
        SysFreeString(response);
        long long rows = 0;
        for (auto at = answer.find(" rowNumber=\""); at != std::string::npos;
             at = answer.find(" rowNumber=\"", at + 1))
            ++rows;
        return rows;
    }

private:
    IRequestProcessor2* processor = nullptr;
    BSTR ticket = nullptr;
    BSTR request = nullptr;
};

void reportWithCost(benchmark::State& state) {
    CSession session(static_cast<int>(state.range(0)));
    long long rows = session.report();  // the ledger evaluated once, outside the timing
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        rows = session.report();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        samples.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    std::sort(samples.begin(), samples.end());
    const double median = samples.empty() ? 0 : samples[samples.size() / 2];
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["median_ms"] = median * 1000.0;
    state.counters["median_us_per_row"] = rows ? median * 1e6 / static_cast<double>(rows) : 0;
}

}  // namespace

BENCHMARK(reportWithCost)
    ->ArgName("us_per_row")
    ->Arg(0)
    ->Arg(100)
    ->Arg(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
