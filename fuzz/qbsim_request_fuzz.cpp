// Fuzz target for the stand-in's request path: arbitrary bytes go to
// CQbSimEngine::processRequest as a request document, against a small company (the
// qbsim tests' sample company) created once per process in a temporary folder.
// CQbSimParseError is the expected outcome for most inputs; a response document is the
// other. Anything else (a crash, a leak, a hang, another exception) is a finding.
//
// Add requests change the company, so every kResetEvery inputs, and whenever the file
// has grown past kMaxFileBytes, the file is replaced by a copy of the freshly loaded one
// and the engine (with its iterators and ledger) is started again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "qbsimcompany.h"
#include "qbsimengine.h"
#include "qbsimxml.h"

namespace {

constexpr int kResetEvery = 500;
constexpr std::uintmax_t kMaxFileBytes = 4u << 20;

namespace fs = std::filesystem;

struct CFuzzCompany {
    fs::path folder;
    fs::path pristine;
    fs::path working;
    std::unique_ptr<CQbSimCompany> company;
    std::unique_ptr<CQbSimEngine> engine;
    int inputs = 0;

    CFuzzCompany() {
        char pattern[] = "/tmp/qbsim-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) std::abort();
        folder = made;
        pristine = folder / "pristine.qbw";
        working = folder / "company.qbw";
        {
            auto created = CQbSimCompany::create(pristine.string(), {"Fuzz Hardware", false, false});
            CQbSimEngine loader(*created, nullptr);
            std::ifstream in(LOTWISE_SOURCE_DIR "/tests/qbsim/data/small_company_rq.xml",
                             std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            loader.processRequest(text.str());
        }
        reset();
    }

    ~CFuzzCompany() {
        engine.reset();
        company.reset();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    void reset() {
        engine.reset();
        company.reset();
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
            std::error_code ignored;
            fs::remove(working.string() + suffix, ignored);
        }
        fs::copy_file(pristine, working);
        company = CQbSimCompany::open(working.string());
        engine = std::make_unique<CQbSimEngine>(*company, nullptr);
        inputs = 0;
    }

    void beforeInput() {
        std::error_code error;
        const std::uintmax_t size = fs::file_size(working, error);
        if (++inputs > kResetEvery || error || size > kMaxFileBytes) reset();
    }
};

CFuzzCompany& fuzzCompany() {
    static CFuzzCompany instance;
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CFuzzCompany& fixture = fuzzCompany();
    fixture.beforeInput();
    const std::string request(reinterpret_cast<const char*>(data), size);
    try {
        const std::string response = fixture.engine->processRequest(request);
        if (response.empty()) std::abort();  // every accepted document gets an answer
    } catch (const CQbSimParseError&) {
    }
    return 0;
}
