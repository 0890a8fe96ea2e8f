// How the request layer judges QuickBooks' answers: the one success rule, queries that
// fail loudly instead of finding nothing, warnings kept for the caller, and writes that
// count only with status 0. Every case runs against the scripted request processor.
#include "qbsession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "qbexception.h"
#include "qbutils.h"
#include "scriptedprocessor.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// One response element with the given status attributes (each left out when null).
std::string answer(const std::string& rs, const char* code, const char* severity,
                   const char* message, const std::string& inner = "",
                   const std::string& extra = "") {
    std::string attributes;
    if (code) attributes += std::string(" statusCode=\"") + code + "\"";
    if (severity) attributes += std::string(" statusSeverity=\"") + severity + "\"";
    if (message) attributes += std::string(" statusMessage=\"") + message + "\"";
    return responseDocument("<" + rs + attributes + extra + ">" + inner + "</" + rs + ">");
}

std::string ok(const std::string& rs, const std::string& inner = "", const std::string& extra = "") {
    return answer(rs, "0", "Info", "Status OK", inner, extra);
}

std::string classes(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += "<ClassRet><FullName>C" + std::to_string(i) + "</FullName></ClassRet>";
    }
    return out;
}

std::string itemPage(int from, int count) {
    std::string out;
    for (int i = from; i < from + count; ++i) {
        out += "<ItemInventoryRet><FullName>Item " + std::to_string(i) + "</FullName></ItemInventoryRet>";
    }
    return out;
}

// Outcome of one query: the records found, or the message of the exception.
struct Outcome {
    std::optional<int> records;
    std::string error;
};

class StatusTest : public ::testing::Test {
protected:
    StatusTest() : registration(script) {
        logDir = std::filesystem::temp_directory_path() /
                 ("lotwise-status-" + std::to_string(::getpid()));
        std::filesystem::create_directories(logDir);
    }
    ~StatusTest() override { std::filesystem::remove_all(logDir); }

    std::unique_ptr<CQbXml> openSession() {
        script.responses.push_back(hostResponse({"13.0"}));
        auto session = std::make_unique<CQbXml>("c.qbw", "Lotwise", "Veltrane", logDir.string());
        session->open(true);
        script.requests.clear();
        script.calls.clear();
        return session;
    }

    template <class Call>
    static Outcome run(Call call) {
        try {
            auto list = call();
            return {list ? std::optional<int>(list->getSize()) : std::nullopt, ""};
        } catch (const CQbException& e) {
            return {std::nullopt, e.getMessage()};
        }
    }

    CScript script;
    CScriptedRegistration registration;
    std::filesystem::path logDir;
};

TEST_F(StatusTest, OnlyTheTextZeroIsASuccess) {
    struct Case {
        const char* attributes;
        bool success;
        int code;  // statusCode(): the whole text as an integer, else -1
    };
    const Case cases[] = {
        {" statusCode=\"0\" statusSeverity=\"Info\"", true, 0},
        {" statusCode=\"1\" statusSeverity=\"Info\"", false, 1},
        {" statusCode=\"530\" statusSeverity=\"Warn\"", false, 530},
        {" statusCode=\"3391\" statusSeverity=\"Error\"", false, 3391},
        {"", false, -1},                           // no status at all
        {" statusCode=\"\"", false, -1},
        {" statusCode=\"00\"", false, 0},          // a number, but not the text "0"
        {" statusCode=\" 0\"", false, -1},
        {" statusCode=\"0x\"", false, -1},
        {" statusCode=\"OK\"", false, -1},
    };
    CQbXml unopened("c.qbw", "Lotwise", "Veltrane", logDir.string());
    EXPECT_FALSE(unopened.succeeded());  // no answer yet

    auto session = openSession();
    CQbObject object;
    object.setName("Class");
    object.addText("Name", "East");
    for (const Case& c : cases) {
        const std::string document =
            responseDocument(std::string("<ClassAddRs") + c.attributes + " />");
        EXPECT_EQ(CQbRequestBase::succeeded(CQbResponse(document)), c.success) << c.attributes;
        script.responses.push_back(document);
        session->addObject(object);
        EXPECT_EQ(session->succeeded(), c.success) << c.attributes;
        EXPECT_EQ(session->statusCode(), c.code) << c.attributes;
    }
}

TEST_F(StatusTest, SingleAnswerQueries) {
    struct Case {
        const char* what;
        std::string response;
        Outcome expected;
        std::vector<std::string> warnings;
    };
    const Case cases[] = {
        {"success", ok("ClassQueryRs", classes(2)), {2, ""}, {}},
        {"no match", answer("ClassQueryRs", "1", "Info", "A query request did not find a matching object in QuickBooks"),
         {0, ""}, {}},
        {"internal error", answer("ClassQueryRs", "1000", "Error", "There was an unexpected internal error."),
         {std::nullopt, "There was an unexpected internal error."}, {}},
        {"error without a message", answer("ClassQueryRs", "3250", "Error", nullptr),
         {std::nullopt, "QuickBooks refused the request ClassQueryRq (status 3250)."}, {}},
        {"error with an empty message", answer("ClassQueryRs", "3250", "Error", ""),
         {std::nullopt, "QuickBooks refused the request ClassQueryRq (status 3250)."}, {}},
        // Records in an answer without a status are not trusted.
        {"no status", answer("ClassQueryRs", nullptr, nullptr, nullptr, classes(1)),
         {std::nullopt, "QuickBooks refused the request ClassQueryRq (no status)."}, {}},
        {"unreadable status", answer("ClassQueryRs", "zero", "Info", nullptr, classes(1)),
         {std::nullopt, "QuickBooks refused the request ClassQueryRq (status zero)."}, {}},
        {"warning with records", answer("ClassQueryRs", "530", "Warn", "Some fields were truncated.", classes(3)),
         {3, ""}, {"ClassQueryRq: Some fields were truncated."}},
        {"warning without a message", answer("ClassQueryRs", "3250", "Warn", nullptr),
         {0, ""}, {"ClassQueryRq: status 3250"}},
        {"warning without a code", answer("ClassQueryRs", nullptr, "Warn", "odd", classes(1)),
         {std::nullopt, "odd"}, {}},
    };
    auto session = openSession();
    for (const Case& c : cases) {
        script.responses.push_back(c.response);
        const Outcome outcome = run([&] { return session->queryClass(nullptr); });
        EXPECT_EQ(outcome.records, c.expected.records) << c.what;
        EXPECT_EQ(outcome.error, c.expected.error) << c.what;
        EXPECT_EQ(session->takeWarnings(), c.warnings) << c.what;
        EXPECT_FALSE(session->lastExchangeFailed()) << c.what;  // every one is an answer
    }
}

TEST_F(StatusTest, EveryPageOfAPagedQueryIsJudged) {
    const std::string more = " iteratorRemainingCount=\"1\" iteratorID=\"{P-1}\"";
    const std::string last = " iteratorRemainingCount=\"0\" iteratorID=\"{P-1}\"";
    struct Case {
        const char* what;
        std::vector<std::string> pages;
        Outcome expected;
        std::size_t requests;
        std::vector<std::string> warnings;
    };
    const Case cases[] = {
        {"two good pages", {ok("ItemInventoryQueryRs", itemPage(0, 2), more), ok("ItemInventoryQueryRs", itemPage(2, 1), last)},
         {3, ""}, 2, {}},
        {"nothing found", {answer("ItemInventoryQueryRs", "1", "Info", "none")}, {0, ""}, 1, {}},
        {"refused start", {answer("ItemInventoryQueryRs", "1000", "Error", "Internal error")},
         {std::nullopt, "Internal error"}, 1, {}},
        {"expired iterator on the second page",
         {ok("ItemInventoryQueryRs", itemPage(0, 2), more),
          answer("ItemInventoryQueryRs", "3391", "Error", "The iteratorID &quot;{P-1}&quot; is not valid.")},
         {std::nullopt, "The iteratorID \"{P-1}\" is not valid."}, 2, {}},
        {"second page without status",
         {ok("ItemInventoryQueryRs", itemPage(0, 2), more),
          answer("ItemInventoryQueryRs", nullptr, nullptr, nullptr, itemPage(2, 1))},
         {std::nullopt, "QuickBooks refused the request ItemInventoryQueryRq (no status)."}, 2, {}},
        {"warning on the second page",
         {ok("ItemInventoryQueryRs", itemPage(0, 2), more),
          answer("ItemInventoryQueryRs", "530", "Warn", "truncated", itemPage(2, 1), last)},
         {3, ""}, 2, {"ItemInventoryQueryRq: truncated"}},
    };
    auto session = openSession();
    for (const Case& c : cases) {
        script.requests.clear();
        script.responses.assign(c.pages.begin(), c.pages.end());
        const Outcome outcome = run([&] { return session->queryItemInventory(nullptr); });
        EXPECT_EQ(outcome.records, c.expected.records) << c.what;
        EXPECT_EQ(outcome.error, c.expected.error) << c.what;
        EXPECT_EQ(script.requests.size(), c.requests) << c.what;
        EXPECT_EQ(session->takeWarnings(), c.warnings) << c.what;
    }
}

TEST_F(StatusTest, WarningsGatherUntilTakenAndAreTakenOnce) {
    auto session = openSession();
    script.responses.push_back(answer("ClassQueryRs", "530", "Warn", "first", classes(1)));
    script.responses.push_back(answer("AccountQueryRs", "540", "Warn", "second"));
    session->queryClass(nullptr);
    session->queryAccount(nullptr);
    EXPECT_THAT(session->takeWarnings(),
                ElementsAre("ClassQueryRq: first", "AccountQueryRq: second"));
    EXPECT_THAT(session->takeWarnings(), IsEmpty());
}

TEST_F(StatusTest, SingleRecordLookups) {
    using Lookup = std::unique_ptr<CQbObject> (*)(CQbXml&);
    struct Case {
        const char* what;
        Lookup lookup;
        std::string response;
        bool found;
        std::string error;
    };
    const Lookup customer = [](CQbXml& s) { return s.customerByListId("80-1"); };
    const Lookup assembly = [](CQbXml& s) { return s.assemblyByListId("80-2"); };
    const Lookup preferences = [](CQbXml& s) { return s.queryPreferences(); };
    const Case cases[] = {
        {"customer", customer, ok("CustomerQueryRs", "<CustomerRet><Name>Ann</Name></CustomerRet>"), true, ""},
        {"customer, no match", customer, answer("CustomerQueryRs", "1", "Info", "none"), false, ""},
        {"customer, refused", customer, answer("CustomerQueryRs", "1000", "Error", "busy"), false, "busy"},
        {"assembly, no match", assembly, answer("ItemInventoryAssemblyQueryRs", "1", "Info", "none"), false, ""},
        {"assembly, no status", assembly, answer("ItemInventoryAssemblyQueryRs", nullptr, nullptr, nullptr),
         false, "QuickBooks refused the request ItemInventoryAssemblyQueryRq (no status)."},
        {"preferences", preferences, ok("PreferencesQueryRs", "<PreferencesRet><A>1</A></PreferencesRet>"), true, ""},
        {"preferences, no match", preferences, answer("PreferencesQueryRs", "1", "Info", "none"), false, ""},
        {"preferences, refused", preferences, answer("PreferencesQueryRs", "3200", "Error", "no"), false, "no"},
        {"preferences, no status", preferences,
         answer("PreferencesQueryRs", nullptr, nullptr, nullptr, "<PreferencesRet><A>1</A></PreferencesRet>"),
         false, "QuickBooks refused the request PreferencesQueryRq (no status)."},
    };
    auto session = openSession();
    for (const Case& c : cases) {
        script.responses.push_back(c.response);
        std::string error;
        bool found = false;
        try {
            found = c.lookup(*session) != nullptr;
        } catch (const CQbException& e) {
            error = e.getMessage();
        }
        EXPECT_EQ(found, c.found) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
}

TEST_F(StatusTest, CompanyQueryFailsWithATextForEveryAnswerButTheRecord) {
    struct Case {
        const char* what;
        std::string response;
        std::string error;
    };
    const Case cases[] = {
        {"record", ok("CompanyQueryRs", "<CompanyRet><CompanyName>Acme</CompanyName></CompanyRet>"), ""},
        {"success without the record", ok("CompanyQueryRs"), CQbRequestBase::kNoCompanyRecord},
        {"no match", answer("CompanyQueryRs", "1", "Info", "none"), "none"},
        {"refused", answer("CompanyQueryRs", "1000", "Error", "internal"), "internal"},
        {"refused without a message", answer("CompanyQueryRs", "500", "Error", nullptr),
         "QuickBooks refused the request CompanyQueryRq (status 500)."},
        {"no status", answer("CompanyQueryRs", nullptr, nullptr, nullptr, "<CompanyRet><CompanyName>Acme</CompanyName></CompanyRet>"),
         "QuickBooks refused the request CompanyQueryRq (no status)."},
    };
    EXPECT_STREQ(CQbRequestBase::kNoCompanyRecord,
                 "QuickBooks returned no company record for this file.");
    auto session = openSession();
    for (const Case& c : cases) {
        script.responses.push_back(c.response);
        std::string error;
        try {
            auto company = session->queryCompany();
            EXPECT_EQ(company->getValue("CompanyName"), "Acme") << c.what;
        } catch (const CQbException& e) {
            error = e.getMessage();
        }
        EXPECT_EQ(error, c.error) << c.what;
    }
}

TEST_F(StatusTest, AddsAndModsStopAtTheFirstAnswerThatIsNoSuccess) {
    struct Case {
        const char* what;
        bool add;
        std::vector<std::string> responses;
        int failedIndex;
        std::size_t requests;
    };
    const Case cases[] = {
        {"all accepted", true, {ok("ClassAddRs"), ok("ClassAddRs"), ok("ClassAddRs")}, -1, 3},
        {"second without status", true,
         {ok("ClassAddRs"), answer("ClassAddRs", nullptr, nullptr, nullptr)}, 1, 2},
        {"first refused", true, {answer("ClassAddRs", "3100", "Error", "duplicate")}, 0, 1},
        {"a warning is no success", false, {ok("ClassModRs"), ok("ClassModRs"), answer("ClassModRs", "530", "Warn", "w")}, 2, 3},
    };
    CQbObjectList objects;
    for (const char* name : {"East", "West", "North"}) {
        auto object = std::make_unique<CQbObject>();
        object->setName("Class");
        object->addText("Name", name);
        objects.add(std::move(object));
    }
    auto session = openSession();
    for (const Case& c : cases) {
        script.requests.clear();
        script.responses.assign(c.responses.begin(), c.responses.end());
        if (c.add) {
            session->addObjects(&objects);
        } else {
            session->modObjects(&objects);
        }
        EXPECT_EQ(session->getFailedIndex(), c.failedIndex) << c.what;
        EXPECT_EQ(script.requests.size(), c.requests) << c.what;
    }
}

TEST_F(StatusTest, WritesJudgedByTheRule) {
    auto session = openSession();
    const std::string noStatus = responseDocument("<TxnDelRs />");

    // Deleting: a refusal stops the caller with QuickBooks' text.
    script.responses.push_back(noStatus);
    try {
        session->txnDel("1-1", "InventoryAdjustment");
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(), "QuickBooks refused the request TxnDelRq (no status).");
    }

    // Company fields answer false for a refusal without throwing (the caller tries the
    // other of add and modify); transaction fields answer false.
    script.responses.push_back(responseDocument("<DataExtAddRs />"));
    EXPECT_FALSE(session->dataExtAddCompany(kPrivateOwnerId, "StartDate", "x"));
    script.responses.push_back(answer("DataExtModRs", "3120", "Error", "missing"));
    EXPECT_FALSE(session->dataExtModCompany(kPrivateOwnerId, "StartDate", "x"));
    EXPECT_EQ(session->statusMessage(), "missing");
    script.responses.push_back(ok("DataExtModRs"));
    EXPECT_TRUE(session->dataExtModCompany(kPrivateOwnerId, "StartDate", "x"));
    script.responses.push_back(answer("DataExtAddRs", "3180", "Error", "locked"));
    EXPECT_FALSE(session->dataExtAddTxn("BuildAssembly", "5-1", "BuildValue", "1.00"));
    script.responses.push_back(ok("DataExtAddRs"));
    EXPECT_TRUE(session->dataExtAddTxn("BuildAssembly", "5-1", "BuildValue", "1.00"));

    // A definition QuickBooks refuses is an error, not a field that silently is not there.
    script.responses.push_back(answer("DataExtDefQueryRs", "1", "Info", "none"));
    script.responses.push_back(answer("DataExtDefAddRs", "3100", "Error", "in use"));
    try {
        session->dataExtDefAdd(kPrivateOwnerId, "StartDate", "STR255TYPE", "Company");
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(), "in use");
    }

    // A value adjustment without a status did not post.
    script.responses.push_back(responseDocument("<InventoryAdjustmentAddRs />"));
    try {
        session->inventoryAdjustmentAdd(CDateTime(0), "COGS", nullptr, nullptr, nullptr, {"A"}, {"1.00"});
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(),
                  "QuickBooks refused the request InventoryAdjustmentAddRq (no status).");
    }
}

TEST_F(StatusTest, ARefusedReportHasNoRowsAndLeavesItsAnswer) {
    const std::string reportBody =
        "<ReportRet><NumRows>1</NumRows><NumColumns>1</NumColumns><ReportData><DataRow rowNumber=\"1\">"
        "<RowData rowType=\"item\" value=\"Widget\" /><ColData colID=\"1\" value=\"4\" /></DataRow>"
        "</ReportData></ReportRet>";
    auto session = openSession();
    script.responses.push_back(
        answer("GeneralSummaryReportQueryRs", nullptr, nullptr, nullptr, reportBody));
    auto refused = session->inventoryValuationSummary(CDateTime(0), "Inventory");
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->rowCount(), 0);
    EXPECT_FALSE(session->succeeded());
    EXPECT_EQ(session->statusCode(), -1);
    script.responses.push_back(ok("GeneralSummaryReportQueryRs", reportBody));
    EXPECT_EQ(session->inventoryValuationSummary(CDateTime(0), "Inventory")->rowCount(), 1);
    EXPECT_TRUE(session->succeeded());
}

TEST_F(StatusTest, AHostQueryThatIsNoSuccessFailsTheOpen) {
    struct Case {
        const char* what;
        std::string response;
        HRESULT transport;
        std::string error;
    };
    const Case cases[] = {
        {"refused", answer("HostQueryRs", "1000", "Error", "There was an unexpected internal error."), S_OK,
         "There was an unexpected internal error."},
        {"refused without a message", answer("HostQueryRs", "9001", "Error", nullptr), S_OK,
         "QuickBooks refused the request HostQueryRq (status 9001)."},
        {"no status", answer("HostQueryRs", nullptr, nullptr, nullptr,
                             "<HostRet><SupportedQBXMLVersion>13.0</SupportedQBXMLVersion></HostRet>"),
         S_OK, "QuickBooks refused the request HostQueryRq (no status)."},
        {"lost", "", static_cast<HRESULT>(0x80040400), "Failure in sending XML : Error = 80040400, gone\n"},
    };
    for (const Case& c : cases) {
        script.calls.clear();
        script.failures.clear();
        script.responses.clear();
        if (FAILED(c.transport)) script.failures["ProcessRequest"] = {c.transport, L"gone"};
        script.responses.push_back(c.response);
        CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
        try {
            session.open(true);
            ADD_FAILURE() << c.what;
        } catch (const CQbException& e) {
            EXPECT_EQ(e.getMessage(), c.error) << c.what;
        }
        EXPECT_FALSE(session.isConnected()) << c.what;
        EXPECT_EQ(script.alive, 0) << c.what;
        EXPECT_THAT(script.calls, ElementsAre("OpenConnection", "BeginSession 0",
                                              "GetCurrentCompanyFileName", "ProcessRequest",
                                              "EndSession", "CloseConnection"))
            << c.what;
    }
    // The same object opens once QuickBooks answers, with only the new answer's versions.
    script.failures.clear();
    script.responses.clear();
    script.responses.push_back(answer("HostQueryRs", nullptr, nullptr, nullptr,
                                      "<HostRet><SupportedQBXMLVersion>8.0</SupportedQBXMLVersion></HostRet>"));
    script.responses.push_back(hostResponse({"13.0"}));
    CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
    EXPECT_THROW(session.open(true), CQbException);
    session.open(true);
    EXPECT_TRUE(session.isConnected());
    EXPECT_THAT(session.getSupportedVersions(), ElementsAre("13.0"));
    EXPECT_EQ(session.getQbxmlVersion(), "13.0");
}

}  // namespace
