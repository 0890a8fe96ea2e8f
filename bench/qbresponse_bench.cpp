// Response handling against a bare parse: for three responses of the stand-in (one bill,
// a page of 500 bills, an inventory valuation summary of about 2,000 item rows), the time
// of CQbResponse construction plus conversion into CQbObjects or a CQbReport, divided by
// the time of XercesDOMParser::parse of the same bytes with a parser made once. The
// goal is a ratio of at most 1.5.
//
// The responses come from a generated company (2,000 items, 100 assemblies, 30 days,
// seed 1) kept in $QBSIM_BENCH_DIR (default /tmp) and reused. Besides Google Benchmark's
// figures the program prints first, per response, the medians of interleaved repetitions and
// their ratio, so that both sides of a ratio see the same machine load.
#include "qbobject.h"
#include "qbobjectlist.h"
#include "qbreport.h"
#include "qbresponse.h"
#include "qbsimengine.h"
#include "qbsimgenerator.h"
#include "qbxerces.h"

#include <benchmark/benchmark.h>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

struct CFixture {
    const char* name;
    std::string text;
    const char* records;  // element name of the records, or null for a report
};

std::string envelope(const std::string& body) {
    return "<?xml version=\"1.0\"?><?qbxml version=\"16.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">" +
           body + "</QBXMLMsgsRq></QBXML>";
}

std::vector<CFixture>& fixtures() {
    static std::vector<CFixture> all = [] {
        const char* dir = std::getenv("QBSIM_BENCH_DIR");
        const std::string file = std::string(dir && *dir ? dir : "/tmp") + "/qbsim-bench-2000x30-seed1.qbw";
        // The folder is made when missing, so a fresh QBSIM_BENCH_DIR works.
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        if (!std::filesystem::exists(file)) {
            CQbSimGeneratorOptions options;
            options.items = 2000;
            options.assemblies = 100;
            options.days = 30;
            options.seed = 1;
            qbsimGenerateCompany(file, options);
        }
        auto company = CQbSimCompany::open(file);
        CQbSimEngine engine(*company, nullptr);
        std::vector<CFixture> f;
        f.push_back({"one bill",
                     engine.processRequest(envelope("<BillQueryRq><MaxReturned>1</MaxReturned>"
                                                    "<IncludeLineItems>true</IncludeLineItems></BillQueryRq>")),
                     "BillRet"});
        f.push_back({"500 bills",
                     engine.processRequest(envelope("<BillQueryRq iterator=\"Start\"><MaxReturned>500</MaxReturned>"
                                                    "<IncludeLineItems>true</IncludeLineItems></BillQueryRq>")),
                     "BillRet"});
        f.push_back({"valuation summary",
                     engine.processRequest(envelope(
                         "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary"
                         "</GeneralSummaryReportType><ReportPeriod><FromReportDate>2024-01-30</FromReportDate>"
                         "<ToReportDate>2024-01-30</ToReportDate></ReportPeriod><ReportItemFilter>"
                         "<ItemTypeFilter>Inventory</ItemTypeFilter></ReportItemFilter>"
                         "</GeneralSummaryReportQueryRq>")),
                     nullptr});
        return f;
    }();
    return all;
}

// What the add-on does with a response: parse, then objects or a report.
std::size_t handle(const CFixture& fixture) {
    CQbResponse response(fixture.text);
    if (fixture.records) {
        CQbObjectList list;
        for (CQbDomReader::Node* node : response.findElements(fixture.records)) {
            auto object = std::make_unique<CQbObject>();
            object->load(node);
            list.add(std::move(object));
        }
        return static_cast<std::size_t>(list.getSize());
    }
    CQbReport report;
    report.load(response);
    return static_cast<std::size_t>(report.rowCount());
}

class CBareParser {
public:
    CBareParser() { parser.setLoadExternalDTD(false); }
    void parse(const std::string& text) {
        xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(),
                                          "bench", false);
        parser.parse(source);
        // The parser keeps every document it made until told otherwise; releasing it
        // belongs to the cost, as CQbResponse releases its document.
        parser.resetDocumentPool();
    }

private:
    CQbXercesPlatform platform;
    xercesc::XercesDOMParser parser;
};

void bareParse(benchmark::State& state) {
    const CFixture& fixture = fixtures()[static_cast<std::size_t>(state.range(0))];
    CBareParser parser;
    for (auto _ : state) parser.parse(fixture.text);
    state.SetLabel(fixture.name);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.text.size()));
}

void responseHandling(benchmark::State& state) {
    const CFixture& fixture = fixtures()[static_cast<std::size_t>(state.range(0))];
    CQbXercesPlatform platform;
    for (auto _ : state) benchmark::DoNotOptimize(handle(fixture));
    state.SetLabel(fixture.name);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.text.size()));
}

BENCHMARK(bareParse)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(responseHandling)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Interleaved repetitions of both sides; each repetition runs enough calls to last a
// few milliseconds.
void printRatios() {
    CQbXercesPlatform platform;
    CBareParser parser;
    std::printf("response handling / bare parse (medians of 31 interleaved repetitions)\n");
    for (const CFixture& fixture : fixtures()) {
        const int calls = fixture.text.size() < 20000 ? 2000 : 20;
        std::vector<double> bare, full;
        for (int rep = 0; rep < 31; ++rep) {
            auto t0 = std::chrono::steady_clock::now();
            for (int i = 0; i < calls; ++i) parser.parse(fixture.text);
            auto t1 = std::chrono::steady_clock::now();
            for (int i = 0; i < calls; ++i) benchmark::DoNotOptimize(handle(fixture));
            auto t2 = std::chrono::steady_clock::now();
            bare.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count() / calls);
            full.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count() / calls);
        }
        const double b = median(bare), f = median(full);
        std::printf("  %-18s %8zu bytes  bare %9.1f us  handling %9.1f us  ratio %.2f (goal <= 1.5: %s)\n",
                    fixture.name, fixture.text.size(), b, f, f / b, f / b <= 1.5 ? "met" : "MISSED");
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    fixtures();
    printRatios();
    std::fflush(stdout);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
