// Runs that QuickBooks interrupts at every single round trip, in four ways: the request
// document is refused, it is carried out but its answer is lost, QuickBooks stops
// answering from it on, or the answer comes back malformed; runs in which QuickBooks
// refuses each single request inside a message set with an error status (and, as it does
// when asked to stop on error, carries out none after it); and runs in which QuickBooks
// refuses one query of each kind. After each, a run without faults finishes the job:
// the books must end exactly as an uninterrupted run leaves them, down to the postings
// (date, account, class, customer and item), and the run that failed must have said so.
#include <cmath>
#include <cstdlib>
#include <map>
#include <tuple>

#include "e2efixture.h"
#include "qbutils.h"
#include "scriptedprocessor.h"
#include "widestring.h"

namespace {

using ::testing::HasSubstr;

enum class CFault { none, refuse, loseAnswer, dieFrom, malformed, refuseRequest };

struct CFaultPlan {
    CFault fault = CFault::none;
    int at = 0;        // the round trip (1-based, counted from the session's creation), or
                       // for refuseRequest the request element
    int sent = 0;      // round trips seen so far
    int elements = 0;  // request elements seen so far
};

const char* faultName(CFault fault) {
    switch (fault) {
        case CFault::refuse: return "refused";
        case CFault::loseAnswer: return "answer lost";
        case CFault::dieFrom: return "QuickBooks gone";
        case CFault::malformed: return "malformed answer";
        case CFault::refuseRequest: return "request refused";
        default: return "none";
    }
}

// Delegates to the stand-in and applies the plan to ProcessRequest.
class CFaultyProcessor final : public CDelegatingProcessor {
public:
    CFaultyProcessor(IRequestProcessor2* real, CFaultPlan& plan) : CDelegatingProcessor(real), plan(plan) {}

    HRESULT ProcessRequest(BSTR ticket, BSTR request, BSTR* response) override {
        const int index = ++plan.sent;
        const std::string text = wideToNarrow(std::wstring(request, SysStringLen(request)));
        const std::vector<std::string> elements = requestElements(text);
        const int first = plan.elements + 1;
        plan.elements += static_cast<int>(elements.size());
        if (plan.fault == CFault::refuseRequest) {
            if (plan.at < first || plan.at > plan.elements) return inner->ProcessRequest(ticket, request, response);
            return refuseElement(ticket, text, elements, static_cast<std::size_t>(plan.at - first), response);
        }
        const bool hit = plan.fault == CFault::dieFrom ? index >= plan.at : index == plan.at;
        if (!hit || plan.fault == CFault::none) return inner->ProcessRequest(ticket, request, response);
        switch (plan.fault) {
            case CFault::loseAnswer: {
                BSTR answer = nullptr;
                inner->ProcessRequest(ticket, request, &answer);
                SysFreeString(answer);
                return fail();
            }
            case CFault::malformed:
                *response = SysAllocString(L"<?xml version=\"1.0\" ?><QBXML><QBXMLMsgsRs><Bro");
                return S_OK;
            default:
                return fail();
        }
    }

private:
    // QuickBooks carries out the requests before the refused one and answers the refused
    // one with an error; with stopOnError it leaves the rest alone.
    HRESULT refuseElement(BSTR ticket, const std::string& text, const std::vector<std::string>& elements,
                          std::size_t refused, BSTR* response) {
        const std::size_t head = text.find('>', text.find("<QBXMLMsgsRq")) + 1;
        std::string answered = "<?xml version=\"1.0\" ?><QBXML><QBXMLMsgsRs>";
        if (refused > 0) {
            std::string document = text.substr(0, head);
            for (std::size_t i = 0; i < refused; ++i) document += elements[i];
            document += "</QBXMLMsgsRq></QBXML>";
            const std::wstring wide = narrowToWide(document);
            BSTR part = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
            BSTR answer = nullptr;
            const HRESULT hr = inner->ProcessRequest(ticket, part, &answer);
            SysFreeString(part);
            if (FAILED(hr)) return hr;
            const std::string whole = wideToNarrow(std::wstring(answer, SysStringLen(answer)));
            SysFreeString(answer);
            const std::size_t from = whole.find('>', whole.find("<QBXMLMsgsRs")) + 1;
            answered += whole.substr(from, whole.rfind("</QBXMLMsgsRs>") - from);
        }
        const std::string& request = elements[refused];
        const std::string name = request.substr(1, request.find_first_of(" />", 1) - 1);
        answered += "<" + name.substr(0, name.size() - 2) +
                    "Rs statusCode=\"3180\" statusSeverity=\"Error\" statusMessage=\"Refused by the test.\" />";
        answered += "</QBXMLMsgsRs></QBXML>";
        const std::wstring wide = narrowToWide(answered);
        *response = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        return S_OK;
    }

    static HRESULT fail() {
        comSetErrorDescription(L"The connection to QuickBooks was lost.");
        return static_cast<HRESULT>(0x800706BAu);
    }

    CFaultPlan& plan;
};

// Quantity and value of every item on every day, the system's postings, and the stored
// last up-to date.
struct CBooks {
    std::map<std::tuple<int, std::string>, std::pair<double, double>> values;
    CPostings postings;
    std::string lastUpToDate;
};

class InterruptedRun : public ValuationRun {
protected:
    InterruptedRun() {
        wrapProcessor([this](IRequestProcessor2* real) { return new CFaultyProcessor(real, plan); });
    }

    CBooks books(const std::string& path) {
        CFaultPlan healthy;
        std::swap(plan, healthy);
        CBooks result;
        auto dlg = window();
        EXPECT_TRUE(dlg->openFile(path));
        CCostrunDoc& engine = *dlg->getEngine();
        for (int d = 1; d <= 3; ++d) {
            for (const char* type : {"Inventory", "Assembly"}) {
                CCostrunItemList list;
                readCarried(engine, list, day(2010, 4, d), type);
                for (const auto& item : list) {
                    result.values[{d, item->fullName}] = {item->qtyOnHand, item->qbValue};
                }
            }
        }
        result.lastUpToDate = engine.getLastUpToDate() ? engine.getLastUpToDate()->userDateText() : "";
        dlg.reset();
        result.postings = postings(path);
        std::swap(plan, healthy);
        return result;
    }

    void expectSameBooks(const CBooks& expected, const CBooks& actual) {
        EXPECT_EQ(expected.lastUpToDate, actual.lastUpToDate);
        ASSERT_EQ(expected.values.size(), actual.values.size());
        for (const auto& [key, value] : expected.values) {
            const auto found = actual.values.find(key);
            ASSERT_NE(found, actual.values.end()) << std::get<1>(key);
            EXPECT_EQ(found->second.first, value.first) << std::get<1>(key) << " day " << std::get<0>(key);
            EXPECT_LE(std::fabs(found->second.second - value.second), 0.005)
                << std::get<1>(key) << " day " << std::get<0>(key) << ": " << found->second.second
                << " instead of " << value.second;
        }
        expectSamePostings(expected.postings, actual.postings);
    }

    // What opening the file again says about the last up-to date, without the books.
    std::string lastUpToDate(const std::string& path) {
        CFaultPlan healthy;
        std::swap(plan, healthy);
        auto dlg = window();
        EXPECT_TRUE(dlg->openFile(path));
        const auto date = dlg->getEngine()->getLastUpToDate();
        std::swap(plan, healthy);
        return date ? date->userDateText() : "";
    }

    CFaultPlan plan;
};

// One cut: the fault and the round trip or request it falls on.
struct CCut {
    CFault fault;
    int at;
    std::string name;
};

// The cuts swept by the interruption suites are split into shards, each its own CTest
// entry, that run side by side.
constexpr int kShards = 4;

// A run interrupted at every request, one cut after another. Each cut starts from a copy
// of the company file and the data folders as the set-up left them: the set-up (making
// the company, valuing it for 04/01 where a kept purchase history is asked for) is done
// once per shard.
class CutAtEveryRequest : public InterruptedRun, public ::testing::WithParamInterface<int> {
protected:
    CutAtEveryRequest() : kept(dir.parent_path() / (dir.filename().string() + "-kept")) {}
    ~CutAtEveryRequest() override { std::filesystem::remove_all(kept); }

    // Keeps the company file and the data folders as they stand.
    void keep() {
        std::filesystem::remove_all(kept);
        std::filesystem::copy(dir, kept, std::filesystem::copy_options::recursive);
    }

    // Puts back what keep() kept, and returns the company file's path.
    std::string restore(const std::string& path) {
        std::filesystem::remove_all(dir);
        std::filesystem::copy(kept, dir, std::filesystem::copy_options::recursive);
        plan = CFaultPlan{};
        return path;
    }

    // The cuts of this shard: each kind of fault at every request (at every Nth with
    // LOTWISE_FAULT_STRIDE=N, each kind at other requests), then each request of every
    // message set refused on its own, numbered through and dealt out to the shards.
    std::vector<CCut> cuts(const std::vector<CFault>& faults, int requests, int elements) const {
        const char* strideText = std::getenv("LOTWISE_FAULT_STRIDE");
        const int stride = strideText != nullptr && std::atoi(strideText) > 1 ? std::atoi(strideText) : 1;
        std::vector<CCut> all;
        int kind = 0;
        for (CFault fault : faults) {
            for (int at = 1 + kind++ % stride; at <= requests; at += stride)
                all.push_back({fault, at, std::string(faultName(fault)) + " at request " + std::to_string(at) +
                                              " of " + std::to_string(requests)});
        }
        for (int at = 1 + kind % stride; at <= elements; at += stride)
            all.push_back({CFault::refuseRequest, at,
                           "request " + std::to_string(at) + " of " + std::to_string(elements) + " refused"});
        std::vector<CCut> mine;
        for (std::size_t i = static_cast<std::size_t>(GetParam()); i < all.size(); i += kShards)
            mine.push_back(all[i]);
        return mine;
    }

    // With `afterKeptHistory`, every company is first valued for 04/01 alone, and the
    // run that is interrupted starts from the purchase history that run kept.
    void interruptEverywhere(const std::string& fixture, bool afterKeptHistory = false) {
        const std::string path = company(fixture);
        if (afterKeptHistory) {
            ASSERT_TRUE(run(path, day(2010, 4, 1), day(2010, 4, 1)));
        }
        keep();
        // The books and the request count of an uninterrupted run.
        plan = CFaultPlan{};
        ASSERT_TRUE(runApril(path));
        const int requests = plan.sent;
        const int elements = plan.elements;
        const CBooks expected = books(path);
        ASSERT_GT(requests, 20);

        for (const CCut& cut : cuts({CFault::refuse, CFault::loseAnswer, CFault::dieFrom, CFault::malformed},
                                    requests, elements)) {
            SCOPED_TRACE(cut.name);
            restore(path);
            if (cut.fault == CFault::refuseRequest) {
                refuseAndFinish(path, cut.at, expected);
            } else {
                cutAndFinish(path, cut, expected, afterKeptHistory);
            }
            if (HasFailure()) return;
        }
    }

    // Whatever request goes unanswered, the run stops and says why: no request's answer
    // is optional, the final store of its progress included. Opening a valued file checks
    // the books behind it first, and a check QuickBooks does not answer is said and
    // leaves the run to go on.
    void cutAndFinish(const std::string& path, const CCut& cut, const CBooks& expected, bool afterKeptHistory) {
        plan = CFaultPlan{cut.fault, cut.at, 0};
        std::string status;
        const bool done = runApril(path, &status);
        if (!afterKeptHistory) {
            EXPECT_FALSE(done) << status;
        }
        EXPECT_FALSE(status.empty());
        plan = CFaultPlan{};
        for (int attempt = 0; attempt < 2 && lastUpToDate(path) != expected.lastUpToDate; ++attempt) {
            std::string again;
            EXPECT_TRUE(runApril(path, &again)) << again;
        }
        expectSameBooks(expected, books(path));
    }

    // Each request of every message set refused on its own. A refused commit or build
    // value is sent again as the other request, and the run may then finish.
    void refuseAndFinish(const std::string& path, int at, const CBooks& expected) {
        plan = CFaultPlan{CFault::refuseRequest, at, 0, 0};
        std::string status;
        if (!runApril(path, &status)) {
            EXPECT_FALSE(status.empty());
        }
        plan = CFaultPlan{};
        // A refusal after the last commit (the check of the values, the time of the run)
        // leaves nothing to redo.
        if (lastUpToDate(path) != expected.lastUpToDate) {
            EXPECT_TRUE(runApril(path, &status)) << status;
        }
        expectSameBooks(expected, books(path));
    }

    std::filesystem::path kept;
};

TEST_P(CutAtEveryRequest, SalesDaysEndAsWithoutInterruption) { interruptEverywhere("fifo_company_rq.xml"); }

TEST_P(CutAtEveryRequest, BuildDaysEndAsWithoutInterruption) { interruptEverywhere("build_company_rq.xml"); }

TEST_P(CutAtEveryRequest, BuildDaysAfterAKeptPurchaseHistoryEndAsWithoutInterruption) {
    interruptEverywhere("build_company_rq.xml", true);
}

// A rewind cut off at any request, refused or with QuickBooks gone from there on, leaves a
// file that the next rewind, or the next run, finishes: the books end as those of a
// rewind and a run that were never cut off, posting by posting.
TEST_P(CutAtEveryRequest, CutOffRewindIsFinishedByTheNextRewindOrRun) {
    const std::string path = company("build_company_rq.xml");
    ASSERT_TRUE(runApril(path));
    const CBooks valued = books(path);
    keep();
    plan = CFaultPlan{};
    ASSERT_TRUE(rewind(path, day(2010, 4, 2)));
    const int requests = plan.sent;
    const CBooks rewound = books(path);
    ASSERT_NE(valued.lastUpToDate, rewound.lastUpToDate);

    for (const CCut& cut : cuts({CFault::refuse, CFault::dieFrom}, requests, 0)) {
        SCOPED_TRACE(cut.name);
        restore(path);
        plan = CFaultPlan{cut.fault, cut.at, 0};
        rewind(path, day(2010, 4, 2));
        plan = CFaultPlan{};
        if (cut.at % 2 == 1) {
            std::string status;
            EXPECT_TRUE(rewind(path, day(2010, 4, 2), &status)) << status;
            expectSameBooks(rewound, books(path));
        }
        // A rewind cut off before it moved the up-to date back left nothing to redo.
        if (lastUpToDate(path) != valued.lastUpToDate) {
            std::string status;
            EXPECT_TRUE(runApril(path, &status)) << status;
        }
        expectSameBooks(valued, books(path));
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Shard, CutAtEveryRequest, ::testing::Range(0, kShards));

// QuickBooks refuses the first, then the second, query of each kind a run sends with
// status 1000. A refused query is never "nothing found": the run stops before the day is
// committed and says QuickBooks' message, and the next run ends with the books of a run
// that was never refused.
class RefusedQuery : public InterruptedRun {
protected:
    ~RefusedQuery() override { qbsimSetFaults(std::nullopt); }

    void refuseEachKind(const std::string& fixture) {
        std::string path = company(fixture);
        ASSERT_TRUE(runApril(path));
        const CBooks expected = books(path);
        std::filesystem::remove(path);

        for (const char* request :
             {"HostQueryRq", "CompanyQueryRq", "PreferencesQueryRq", "DataExtDefQueryRq",
              "ItemInventoryAssemblyQueryRq", "ItemInventoryQueryRq", "ItemNonInventoryQueryRq",
              "ItemServiceQueryRq", "ItemOtherChargeQueryRq", "ClassQueryRq",
              "ItemReceiptQueryRq", "BillQueryRq", "CheckQueryRq", "CreditCardChargeQueryRq",
              "VendorCreditQueryRq", "CreditCardCreditQueryRq", "InventoryAdjustmentQueryRq", "BuildAssemblyQueryRq", "InvoiceQueryRq",
              "SalesReceiptQueryRq", "CreditMemoQueryRq", "ChargeQueryRq", "GeneralSummaryReportQueryRq"}) {
            for (int at : {1, 2}) {
                SCOPED_TRACE(std::string(request) + " refused the " + std::to_string(at) + ". time");
                path = company(fixture);
                CQbSimFaults faults;
                faults.statusRequest = request;
                faults.statusAt = at;
                faults.statusCode = 1000;
                faults.statusMessage = "The request could not be processed.";
                qbsimSetFaults(faults);
                std::string status;
                const bool completed = runApril(path, &status);
                qbsimSetFaults(std::nullopt);
                if (completed) {
                    // The run never sent that query a second time.
                    EXPECT_EQ(at, 2) << status;
                    EXPECT_THAT(status, ::testing::Not(HasSubstr("Warning")));
                } else {
                    EXPECT_THAT(status, HasSubstr("The request could not be processed."));
                    std::string again;
                    EXPECT_TRUE(runApril(path, &again)) << again;
                }
                expectSameBooks(expected, books(path));
                std::filesystem::remove(path);
                if (HasFailure()) return;
            }
        }
    }
};

TEST_F(RefusedQuery, SalesRunStopsAndTheNextEndsAsWithoutRefusal) { refuseEachKind("fifo_company_rq.xml"); }

TEST_F(RefusedQuery, BuildRunStopsAndTheNextEndsAsWithoutRefusal) { refuseEachKind("build_company_rq.xml"); }

}  // namespace
