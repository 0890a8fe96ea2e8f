// The session and request builders against a scripted request processor: the request
// documents byte for byte, paging, batching, custom fields, the version choice and
// every failure text of the session.
#include "qbsession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "qbbitness.h"
#include "qbexception.h"
#include "qbutils.h"
#include "scriptedprocessor.h"
#include "tzguard.h"
#include "testfiles.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kHead =
    "<?xml version=\"1.0\"?><?qbxml version=\"13.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">";
const std::string kTail = "</QBXMLMsgsRq></QBXML>";

std::string ok(const std::string& rs, const std::string& inner = "",
               const std::string& extra = "") {
    return responseDocument("<" + rs + " statusCode=\"0\" statusSeverity=\"Info\" statusMessage=\"Status OK\"" +
                            extra + ">" + inner + "</" + rs + ">");
}

std::string failure(const std::string& rs, const std::string& code, const std::string& message) {
    return responseDocument("<" + rs + " statusCode=\"" + code +
                            "\" statusSeverity=\"Error\" statusMessage=\"" + message + "\" />");
}

std::string items(int from, int count) {
    std::string out;
    for (int i = from; i < from + count; ++i) {
        out += "<ItemInventoryRet><ListID>" + std::to_string(i) + "</ListID><FullName>Item " +
               std::to_string(i) + "</FullName></ItemInventoryRet>";
    }
    return out;
}


class SessionTest : public ::testing::Test {
protected:
    SessionTest() : registration(script) {
        logDir = std::filesystem::temp_directory_path() /
                 ("lotwise-session-" + std::to_string(::getpid()));
        std::filesystem::create_directories(logDir);
    }
    ~SessionTest() override { std::filesystem::remove_all(logDir); }

    // An open session whose envelope carries version 13.0; the HostQuery is forgotten.
    std::unique_ptr<CQbXml> openSession() {
        script.responses.push_back(hostResponse({"1.0", "13.0", "2.1"}));
        auto session = std::make_unique<CQbXml>("/data/company.qbw", "Lotwise", "Veltrane",
                                                logDir.string());
        session->open(true);
        script.requests.clear();
        script.calls.clear();
        return session;
    }

    CScript script;
    CScriptedRegistration registration;
    std::filesystem::path logDir;
};

TEST_F(SessionTest, OpenBeginsASingleUserSessionAndChoosesTheHighestVersion) {
    script.responses.push_back(hostResponse({"1.0", "2.1", "10.0", "9.0", "abc", "10.00"}));
    CQbXml session("/data/company.qbw", "Lotwise", "Veltrane", logDir.string());
    EXPECT_FALSE(session.isConnected());
    session.open(true);
    EXPECT_TRUE(session.isConnected());
    EXPECT_THAT(script.calls, ElementsAre("OpenConnection", "BeginSession 0",
                                          "GetCurrentCompanyFileName", "ProcessRequest"));
    ASSERT_EQ(script.requests.size(), 1u);
    EXPECT_EQ(script.requests[0],
              "<?xml version=\"1.0\"?><?qbxml version=\"2.0\"?><QBXML><QBXMLMsgsRq "
              "onError=\"stopOnError\"><HostQueryRq></HostQueryRq></QBXMLMsgsRq></QBXML>");
    EXPECT_EQ(session.getQbxmlVersion(), "10.0");  // 10.0 beats 9.0; of equal numbers the first
    EXPECT_THAT(session.getSupportedVersions(),
                ElementsAre("1.0", "2.1", "10.0", "9.0", "abc", "10.00"));
    EXPECT_EQ(session.getProductName(), "QuickBooks Test");
    EXPECT_EQ(session.getLastHresult(), S_OK);

    session.open(true);  // a second open does nothing
    EXPECT_EQ(script.calls.size(), 4u);
    session.disconnect();
    EXPECT_FALSE(session.isConnected());
    EXPECT_THAT(script.calls, ElementsAre("OpenConnection", "BeginSession 0",
                                          "GetCurrentCompanyFileName", "ProcessRequest",
                                          "EndSession", "CloseConnection"));
    EXPECT_EQ(script.alive, 0);
    session.disconnect();  // on a closed session nothing happens
    EXPECT_EQ(script.calls.size(), 6u);
}

TEST_F(SessionTest, VersionStaysTwoWhenNoNumberIsListed) {
    script.responses.push_back(hostResponse({"abc", ""}));
    CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
    session.open(false);
    EXPECT_EQ(script.calls[1], "BeginSession 2");  // do-not-care mode
    EXPECT_EQ(session.getQbxmlVersion(), "2.0");
    EXPECT_THAT(session.getSupportedVersions(), ElementsAre("abc", ""));
}

TEST_F(SessionTest, FailuresOfOpenCarryTheCodeAndDescription) {
    struct Case {
        const char* call;
        HRESULT code;
        const wchar_t* description;
        const char* expected;
    };
    const Case cases[] = {
        {"OpenConnection", static_cast<HRESULT>(0x80040408), L"Could not start QuickBooks.",
         "Error = 80040408, Could not start QuickBooks.\n"},
        {"BeginSession", static_cast<HRESULT>(0x80040410),
         L"The QuickBooks company data file is currently open in a mode other than the one "
         L"specified by your application.",
         "Error = 80040410, The QuickBooks company data file is currently open in a mode other "
         "than the one specified by your application.\n"},
        {"BeginSession", E_FAIL, L"", "Error = 80004005\n"},
    };
    for (const Case& c : cases) {
        script.failures.clear();
        script.failures[c.call] = {c.code, c.description};
        CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
        try {
            session.open(true);
            ADD_FAILURE() << c.call;
        } catch (const CQbException& e) {
            EXPECT_EQ(e.getMessage(), c.expected);
        }
        EXPECT_EQ(session.getLastHresult(), c.code);
        EXPECT_FALSE(session.isConnected());
    }
    EXPECT_EQ(script.alive, 0);
}

TEST_F(SessionTest, NoRegisteredProcessorIsClassNotRegistered) {
    comRevokeClass(CLSID_RequestProcessor2);
    CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
    try {
        session.open(true);
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(), processorNotInstalledText(programBits()));
    }
    EXPECT_EQ(session.getLastHresult(), REGDB_E_CLASSNOTREG);
}

TEST_F(SessionTest, FileNameFailureHasItsOwnText) {
    script.failures["GetCurrentCompanyFileName"] = {E_FAIL, L"no"};
    CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
    try {
        session.open(true);
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(), "could not get the data file name");
    }
    EXPECT_FALSE(session.isConnected());
    EXPECT_EQ(script.alive, 0);
}

TEST_F(SessionTest, ErrorTextForms) {
    CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
    EXPECT_EQ(session.errorText(0), "");
    EXPECT_EQ(session.errorText(1), "");
    EXPECT_EQ(session.errorText(static_cast<HRESULT>(0x80040400)), "Error = 80040400\n");
    comSetErrorDescription(L"Caf\u00e9");
    EXPECT_EQ(session.errorText(static_cast<HRESULT>(0x80040400)),
              "Error = 80040400, Caf\xC3\xA9\n");
}

TEST_F(SessionTest, ProcessRequestFailureIsLoggedAndThrown) {
    auto session = openSession();
    script.failures["ProcessRequest"] = {static_cast<HRESULT>(0x80040400),
                                         L"QuickBooks found an error when parsing the provided XML text stream."};
    try {
        session->queryAccount(nullptr);
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(),
                  "Failure in sending XML : Error = 80040400, QuickBooks found an error when "
                  "parsing the provided XML text stream.\n");
        EXPECT_EQ(session->getLastError(), e.getMessage());
    }
    session.reset();
    const std::string log = readFile(logDir / "qbevent.log");
    EXPECT_THAT(log, HasSubstr("<AccountQueryRq requestID=\"1688\"></AccountQueryRq>"));
    EXPECT_THAT(log, HasSubstr("Failure in sending XML : Error = 80040400"));
}

TEST_F(SessionTest, SendingWithoutASessionOpensAndClosesOneAroundTheRequest) {
    script.responses.push_back(hostResponse({"13.0"}));
    script.responses.push_back(ok("TxnDelRs"));
    CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
    const std::string answer = session.sendXml("<x/>");
    EXPECT_THAT(answer, HasSubstr("TxnDelRs"));
    EXPECT_FALSE(session.isConnected());
    EXPECT_THAT(script.calls, ElementsAre("OpenConnection", "BeginSession 0",
                                          "GetCurrentCompanyFileName", "ProcessRequest",
                                          "ProcessRequest", "EndSession", "CloseConnection"));
}

TEST_F(SessionTest, BuildersSendNothingWithoutASession) {
    CQbXml session("c.qbw", "Lotwise", "Veltrane", logDir.string());
    EXPECT_EQ(session.queryItemInventory(nullptr), nullptr);
    EXPECT_EQ(session.queryCompany(), nullptr);
    EXPECT_EQ(session.queryPreferences(), nullptr);
    EXPECT_EQ(session.inventoryValuationSummary(CDateTime(0), "Inventory"), nullptr);
    EXPECT_FALSE(session.txnDel("1", "Bill"));
    EXPECT_FALSE(session.dataExtDefExists("0", "A", "STR255TYPE", "Company"));
    EXPECT_FALSE(session.dataExtAddCompany("0", "A", "v"));
    EXPECT_FALSE(session.postValueAdjustments(CDateTime(0), "A", nullptr, nullptr, nullptr,
                                              {"x"}, {"1.00"}));
    EXPECT_EQ(session.statusCode(), -1);
    EXPECT_EQ(session.statusMessage(), "Internal Error : QuickBooks connection function failed");
    EXPECT_TRUE(script.calls.empty());
}

TEST_F(SessionTest, PagedQueryFollowsTheIterator) {
    auto session = openSession();
    script.responses.push_back(
        ok("ItemInventoryQueryRs", items(0, 2),
           " iteratorRemainingCount=\"1\" iteratorID=\"{A-1}\""));
    script.responses.push_back(
        ok("ItemInventoryQueryRs", items(2, 1),
           " iteratorRemainingCount=\"0\" iteratorID=\"{A-1}\""));
    CQbFieldList filter;
    filter.addText("ActiveStatus", "ActiveOnly");
    auto list = session->queryItemInventory(&filter);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->getSize(), 3);
    EXPECT_EQ(list->getAt(0)->getName(), "ItemInventory");
    EXPECT_EQ(list->getAt(2)->getValue("FullName"), "Item 2");
    EXPECT_EQ(filter.getSize(), 1);  // the caller's filter is not changed
    ASSERT_EQ(script.requests.size(), 2u);
    EXPECT_EQ(script.requests[0],
              kHead +
                  "<ItemInventoryQueryRq requestID=\"1688\" iterator=\"Start\"><MaxReturned>500"
                  "</MaxReturned><ActiveStatus>ActiveOnly</ActiveStatus></ItemInventoryQueryRq>" +
                  kTail);
    EXPECT_EQ(script.requests[1],
              kHead +
                  "<ItemInventoryQueryRq requestID=\"1688\" iterator=\"Continue\" "
                  "iteratorID=\"{A-1}\"><MaxReturned>500</MaxReturned><ActiveStatus>ActiveOnly"
                  "</ActiveStatus></ItemInventoryQueryRq>" +
                  kTail);
}

// A message set: one document and one round trip, the answers split in request order,
// each judged and searched on its own; QuickBooks' stop after a refusal leaves the list
// short, and answers that cannot be matched to their requests are refused.
TEST_F(SessionTest, MessageSetAnswersEachRequestInOrder) {
    auto session = openSession();
    const std::string bill = "<BillRet><TxnID>B-1</TxnID></BillRet>";
    auto element = [](const std::string& document) {
        return document.substr(document.find("<QBXMLMsgsRs>") + 14,
                               document.rfind("</QBXMLMsgsRs>") - document.find("<QBXMLMsgsRs>") - 15);
    };
    script.responses.push_back(responseDocument(
        element(ok("BillQueryRs", bill)) +
        "<InvoiceQueryRs statusCode=\"1\" statusSeverity=\"Info\" statusMessage=\"none\" />" +
        element(ok("CreditMemoQueryRs", "<CreditMemoRet><TxnID>C-1</TxnID></CreditMemoRet>",
                   " iteratorRemainingCount=\"1\" iteratorID=\"{C}\""))));
    script.responses.push_back(ok("CreditMemoQueryRs", "<CreditMemoRet><TxnID>C-2</TxnID></CreditMemoRet>",
                                  " iteratorRemainingCount=\"0\" iteratorID=\"{C}\""));
    CQbFieldList filter;
    filter.addText("RefNumber", "7");
    const std::vector<CQbRequestBase::CQuery> queries = {{"BillQueryRq", "BillRet", &filter, false},
                                                         {"InvoiceQueryRq", "InvoiceRet", &filter, true},
                                                         {"CreditMemoQueryRq", "CreditMemoRet", &filter, true}};
    auto lists = session->queryAll(queries);
    ASSERT_EQ(lists.size(), 3u);
    ASSERT_EQ(lists[0]->getSize(), 1);
    EXPECT_EQ(lists[0]->getAt(0)->getValue("TxnID"), "B-1");
    EXPECT_EQ(lists[1]->getSize(), 0);
    // The paged query goes on alone with its iterator.
    ASSERT_EQ(lists[2]->getSize(), 2);
    EXPECT_EQ(lists[2]->getAt(1)->getValue("TxnID"), "C-2");
    ASSERT_EQ(script.requests.size(), 2u);
    EXPECT_EQ(script.requests[0],
              kHead + "<BillQueryRq requestID=\"1688\"><RefNumber>7</RefNumber></BillQueryRq>" +
                  "<InvoiceQueryRq requestID=\"1688\" iterator=\"Start\"><MaxReturned>500</MaxReturned>"
                  "<RefNumber>7</RefNumber></InvoiceQueryRq>" +
                  "<CreditMemoQueryRq requestID=\"1688\" iterator=\"Start\"><MaxReturned>500</MaxReturned>"
                  "<RefNumber>7</RefNumber></CreditMemoQueryRq>" + kTail);
    EXPECT_THAT(script.requests[1], HasSubstr("<CreditMemoQueryRq requestID=\"1688\" iterator=\"Continue\" "
                                              "iteratorID=\"{C}\">"));

    // Each answer sees only its own records and status.
    script.responses.push_back(responseDocument(
        element(ok("BillQueryRs", bill)) +
        "<TxnDelRs statusCode=\"3120\" statusSeverity=\"Error\" statusMessage=\"Object not found.\" />"));
    auto answers = session->sendMessageSet({"<BillQueryRq></BillQueryRq>", "<TxnDelRq></TxnDelRq>",
                                            "<ClassQueryRq></ClassQueryRq>"});
    ASSERT_EQ(answers.size(), 2u);  // QuickBooks stopped at the refusal
    EXPECT_TRUE(CQbRequestBase::succeeded(*answers[0]));
    EXPECT_EQ(answers[0]->findElements("BillRet").size(), 1u);
    EXPECT_EQ(answers[1]->findElements("BillRet").size(), 0u);
    EXPECT_EQ(answers[1]->statusCode(), "3120");
    EXPECT_EQ(answers[1]->responseName(), "TxnDelRs");
    EXPECT_EQ(CQbRequestBase::refusalText(*answers[1], "TxnDelRq"), "Object not found.");
    // A query whose answer never came is no empty answer.
    EXPECT_THROW(session->queryRecords(queries[0], nullptr), CQbException);

    script.responses.push_back(ok("InvoiceQueryRs"));
    EXPECT_THROW(session->sendMessageSet({"<BillQueryRq></BillQueryRq>"}), CQbException);
    script.responses.push_back(responseDocument(element(ok("BillQueryRs")) + element(ok("BillQueryRs"))));
    EXPECT_THROW(session->sendMessageSet({"<BillQueryRq></BillQueryRq>"}), CQbException);
}

TEST_F(SessionTest, PagedQueryStopsOnNoMatchAndThrowsOnARefusedPage) {
    auto session = openSession();
    // Nothing found: an empty list and no Continue.
    script.responses.push_back(failure("BillQueryRs", "1", "A query request did not find a matching object in QuickBooks"));
    auto none = session->queryBill(nullptr);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->getSize(), 0);
    EXPECT_EQ(script.requests.size(), 1u);
    EXPECT_EQ(session->statusCode(), 1);

    // A refused page makes the whole query fail: the records of the pages before it
    // are no complete answer.
    script.requests.clear();
    script.responses.push_back(ok("ItemInventoryQueryRs", items(0, 2),
                                  " iteratorRemainingCount=\"5\" iteratorID=\"{B}\""));
    script.responses.push_back(responseDocument(
        "<ItemInventoryQueryRs statusCode=\"3\" statusMessage=\"x\" iteratorRemainingCount=\"3\">" +
        items(2, 1) + "</ItemInventoryQueryRs>"));
    try {
        session->queryItemInventory(nullptr);
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(), "x");
    }
    EXPECT_EQ(script.requests.size(), 2u);
}

TEST_F(SessionTest, UnpagedQueriesNameObjectsAfterTheElement) {
    auto session = openSession();
    script.responses.push_back(ok("ClassQueryRs", "<ClassRet><ListID>1</ListID></ClassRet>"));
    auto classes = session->queryClass(nullptr);
    ASSERT_EQ(classes->getSize(), 1);
    EXPECT_EQ(classes->getAt(0)->getName(), "Class");
    EXPECT_EQ(script.requests[0], kHead + "<ClassQueryRq requestID=\"1688\"></ClassQueryRq>" + kTail);
}

TEST_F(SessionTest, SingleRecordQueries) {
    auto session = openSession();
    script.responses.push_back(ok("CustomerQueryRs", "<CustomerRet><ListID>80-1</ListID><Name>Ann</Name></CustomerRet>"));
    auto customer = session->customerByListId("80-1");
    ASSERT_NE(customer, nullptr);
    EXPECT_EQ(customer->getValue("Name"), "Ann");
    EXPECT_THAT(script.requests.back(),
                HasSubstr("<CustomerQueryRq requestID=\"1688\"><ListID>80-1</ListID></CustomerQueryRq>"));

    script.responses.push_back(failure("ItemInventoryAssemblyQueryRs", "1", "none"));
    EXPECT_EQ(session->assemblyByListId("x"), nullptr);

    script.responses.push_back(ok("CompanyQueryRs", "<CompanyRet><CompanyName>Acme</CompanyName></CompanyRet>"));
    auto company = session->queryCompany();
    ASSERT_NE(company, nullptr);
    EXPECT_EQ(company->getValue("CompanyName"), "Acme");
    EXPECT_THAT(script.requests.back(),
                HasSubstr("<CompanyQueryRq requestID=\"1688\"><OwnerID>{04C1726A-9530-49E2-927F-"
                          "91F5477CE3D0}</OwnerID></CompanyQueryRq>"));
    script.responses.push_back(failure("CompanyQueryRs", "500", "x"));
    try {
        session->queryCompany();
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(), "x");
    }

    script.responses.push_back(ok("PreferencesQueryRs", "<PreferencesRet><A>1</A></PreferencesRet>"));
    auto prefs = session->queryPreferences();
    ASSERT_NE(prefs, nullptr);
    EXPECT_EQ(prefs->getInt("A"), 1);
}

TEST_F(SessionTest, InventoryValuationSummaryRequestAndReport) {
    CTzGuard tz("America/New_York");
    auto session = openSession();
    script.responses.push_back(ok(
        "GeneralSummaryReportQueryRs",
        "<ReportRet><ReportTitle>Inventory Valuation Summary</ReportTitle><NumRows>1</NumRows>"
        "<NumColumns>2</NumColumns><ColDesc colID=\"1\"><ColType>QuantityOnHand</ColType></ColDesc>"
        "<ColDesc colID=\"2\"><ColType>ValueOnHand</ColType></ColDesc><ReportData><DataRow rowNumber=\"1\">"
        "<RowData rowType=\"item\" value=\"Widget\" /><ColData colID=\"1\" value=\"4\" />"
        "<ColData colID=\"2\" value=\"10.00\" /></DataRow></ReportData></ReportRet>"));
    auto report = session->inventoryValuationSummary(*CDateTime::fromLocal(2010, 3, 31, 23, 59, 59),
                                                     "Inventory");
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->rowCount(), 1);
    EXPECT_EQ(report->rowValue(0), "Widget");
    EXPECT_EQ(report->columnValues("ValueOnHand")[0], "10.00");
    EXPECT_EQ(script.requests.back(),
              kHead +
                  "<GeneralSummaryReportQueryRq requestID=\"1688\"><GeneralSummaryReportType>"
                  "InventoryValuationSummary</GeneralSummaryReportType><DisplayReport>false"
                  "</DisplayReport><ReportPeriod><FromReportDate>2010-03-31</FromReportDate>"
                  "<ToReportDate>2010-03-31</ToReportDate></ReportPeriod><ReportItemFilter>"
                  "<ItemTypeFilter>Inventory</ItemTypeFilter></ReportItemFilter>"
                  "</GeneralSummaryReportQueryRq>" +
                  kTail);
}

TEST_F(SessionTest, TxnDelAndGenericAdd) {
    auto session = openSession();
    script.responses.push_back(ok("TxnDelRs"));
    EXPECT_TRUE(session->txnDel("12-34", "InventoryAdjustment"));
    EXPECT_THAT(script.requests.back(),
                HasSubstr("<TxnDelRq requestID=\"1688\"><TxnDelType>InventoryAdjustment</TxnDelType>"
                          "<TxnID>12-34</TxnID></TxnDelRq>"));
    script.responses.push_back(failure("TxnDelRs", "3120", "no such"));
    try {
        session->txnDel("x", "Bill");
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(), "no such");
    }

    CQbObjectList classes;
    for (const char* name : {"East", "West", "North"}) {
        auto object = std::make_unique<CQbObject>();
        object->setName("Class");
        object->addText("Name", name);
        classes.add(std::move(object));
    }
    script.responses.push_back(ok("ClassAddRs"));
    script.responses.push_back(failure("ClassAddRs", "3100", "duplicate"));
    session->addObjects(&classes);
    EXPECT_EQ(session->getFailedIndex(), 1);
    EXPECT_EQ(script.requests.back(),
              kHead + "<ClassAddRq requestID=\"8888\"><ClassAdd><Name>West</Name></ClassAdd></ClassAddRq>" +
                  kTail);
    EXPECT_EQ(script.requests.size(), 4u);  // North was not sent
}

TEST_F(SessionTest, CustomFieldDefinitions) {
    auto session = openSession();
    const std::string defs =
        "<DataExtDefRet><OwnerID>{04c1726a-9530-49e2-927f-91f5477ce3d0}</OwnerID>"
        "<DataExtName>StartDate</DataExtName><DataExtType>STR255TYPE</DataExtType></DataExtDefRet>";
    script.defaultResponse = ok("DataExtDefQueryRs", defs);
    EXPECT_TRUE(session->dataExtDefNameExists(kPrivateOwnerId, "StartDate", "Company"));
    EXPECT_TRUE(session->dataExtDefExists(kPrivateOwnerId, "StartDate", "STR255TYPE", "Company"));
    EXPECT_FALSE(session->dataExtDefExists(kPrivateOwnerId, "StartDate", "DATETIMETYPE", "Company"));
    EXPECT_FALSE(session->dataExtDefNameExists(kPrivateOwnerId, "startdate", "Company"));
    EXPECT_THAT(script.requests.back(),
                HasSubstr("<DataExtDefQueryRq requestID=\"1688\"><OwnerID>{04C1726A-9530-49E2-927F-"
                          "91F5477CE3D0}</OwnerID></DataExtDefQueryRq>"));
    EXPECT_FALSE(session->dataExtDefExists("0", "StartDate", "STR255TYPE", "Company"));
    EXPECT_THAT(script.requests.back(),
                HasSubstr("<DataExtDefQueryRq requestID=\"1688\"><AssignToObject>Company"
                          "</AssignToObject></DataExtDefQueryRq>"));

    // Each definition is looked up once: a field of another type refuses, one of the
    // same type is left alone, an absent one is added after its look-up.
    std::size_t sent = script.requests.size();
    try {
        session->dataExtDefAdd(kPrivateOwnerId, "StartDate", "DATETIMETYPE", "Company");
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(), "StartDate already exists but different with different data type");
    }
    EXPECT_EQ(script.requests.size(), sent + 1);
    sent = script.requests.size();
    session->dataExtDefAdd(kPrivateOwnerId, "StartDate", "STR255TYPE", "Company");
    EXPECT_EQ(script.requests.size(), sent + 1);
    sent = script.requests.size();
    session->dataExtDefAdd(kPrivateOwnerId, "LastUpToDate", "STR255TYPE", "Company");
    ASSERT_EQ(script.requests.size(), sent + 2);
    EXPECT_THAT(script.requests[sent], HasSubstr("<DataExtDefQueryRq "));
    EXPECT_EQ(script.requests.back(),
              kHead + "<DataExtDefAddRq requestID=\"8888\"><DataExtDefAdd><OwnerID>{04C1726A-9530-"
                      "49E2-927F-91F5477CE3D0}</OwnerID><DataExtName>LastUpToDate</DataExtName>"
                      "<DataExtType>STR255TYPE</DataExtType><AssignToObject>Company</AssignToObject>"
                      "</DataExtDefAdd></DataExtDefAddRq>" +
                  kTail);
    session->dataExtDefDel("0", "Old");
    EXPECT_THAT(script.requests.back(),
                HasSubstr("<DataExtDefDelRq requestID=\"1688\"><OwnerID>0</OwnerID><DataExtName>Old"
                          "</DataExtName></DataExtDefDelRq>"));
}

TEST_F(SessionTest, CustomFieldValues) {
    CTzGuard tz("America/New_York");
    auto session = openSession();
    script.defaultResponse = ok("DataExtAddRs");
    EXPECT_TRUE(session->dataExtModCompany(kPrivateOwnerId, "LastUpToDate",
                                           CDateTime::fromLocal(2010, 7, 1, 23, 59, 59)));
    EXPECT_THAT(script.requests.back(),
                HasSubstr("<DataExtModRq requestID=\"1688\"><DataExtMod><OwnerID>{04C1726A-9530-"
                          "49E2-927F-91F5477CE3D0}</OwnerID><DataExtName>LastUpToDate</DataExtName>"
                          "<OtherDataExtType>Company</OtherDataExtType><DataExtValue>"
                          "2010-07-01T23:59:59-05:00</DataExtValue></DataExtMod></DataExtModRq>"));
    EXPECT_TRUE(session->dataExtAddCompany("0", "Note", "A&B"));
    EXPECT_THAT(script.requests.back(),
                HasSubstr("<DataExtAdd><OwnerID>0</OwnerID><DataExtName>Note</DataExtName>"
                          "<OtherDataExtType>Company</OtherDataExtType><DataExtValue>A&amp;B"
                          "</DataExtValue></DataExtAdd>"));

    session->dataExtAddTxn("BuildAssembly", "5-1", "BuildValue", "12.50");
    EXPECT_EQ(script.requests.back(),
              kHead + "<DataExtAddRq requestID=\"8888\"><DataExtAdd><OwnerID>{04C1726A-9530-49E2-"
                      "927F-91F5477CE3D0}</OwnerID><DataExtName>BuildValue</DataExtName>"
                      "<TxnDataExtType>BuildAssembly</TxnDataExtType><TxnID>5-1</TxnID>"
                      "<DataExtValue>12.50</DataExtValue></DataExtAdd></DataExtAddRq>" +
                  kTail);
    // Texts are escaped like element text, so they cannot break the document.
    session->dataExtAddTxn("BuildAssembly", "5-1", "BuildValue", "<1&2>");
    EXPECT_THAT(script.requests.back(),
                HasSubstr("<TxnID>5-1</TxnID><DataExtValue>&lt;1&amp;2&gt;</DataExtValue>"));
    EXPECT_TRUE(session->dataExtModTxn("BuildAssembly", "5-1", "BuildValue", "13.75"));
    EXPECT_EQ(script.requests.back(),
              kHead + "<DataExtModRq requestID=\"8888\"><DataExtMod><OwnerID>{04C1726A-9530-49E2-"
                      "927F-91F5477CE3D0}</OwnerID><DataExtName>BuildValue</DataExtName>"
                      "<TxnDataExtType>BuildAssembly</TxnDataExtType><TxnID>5-1</TxnID>"
                      "<DataExtValue>13.75</DataExtValue></DataExtMod></DataExtModRq>" +
                  kTail);
}

TEST_F(SessionTest, AdjustmentRequestLayout) {
    CTzGuard tz("America/New_York");
    auto session = openSession();
    script.defaultResponse = ok("InventoryAdjustmentAddRs");
    const CDateTime day = *CDateTime::fromLocal(2010, 3, 31, 23, 59, 59);
    const std::string cls = "East";
    const std::string customer = "Ann";
    const std::string memo = "FIFO valuation";
    EXPECT_TRUE(session->postValueAdjustments(day, "Cost of Goods Sold", &cls, &customer, &memo,
                                              {"Widget"}, {"12.50"}));
    EXPECT_EQ(script.requests.back(),
              kHead +
                  "<InventoryAdjustmentAddRq requestID=\"1688\"><InventoryAdjustmentAdd><AccountRef>"
                  "<FullName>Cost of Goods Sold</FullName></AccountRef><TxnDate>2010-03-31</TxnDate>"
                  "<CustomerRef><FullName>Ann</FullName></CustomerRef><ClassRef><FullName>East"
                  "</FullName></ClassRef><Memo>FIFO valuation</Memo><InventoryAdjustmentLineAdd>"
                  "<ItemRef><FullName>Widget</FullName></ItemRef><ValueAdjustment><NewValue>12.50"
                  "</NewValue></ValueAdjustment></InventoryAdjustmentLineAdd></InventoryAdjustmentAdd>"
                  "<IncludeRetElement>TxnID</IncludeRetElement><IncludeRetElement>EditSequence"
                  "</IncludeRetElement></InventoryAdjustmentAddRq>" +
                  kTail);
    const std::string empty;
    session->inventoryAdjustmentAdd(day, "COGS", &empty, &empty, &empty, {"A"}, {"1.00"});
    EXPECT_THAT(script.requests.back(), HasSubstr("<TxnDate>2010-03-31</TxnDate><Memo></Memo>"));

    session->inventoryAdjustmentAdd(day, "COGS", nullptr, nullptr, nullptr, {"A"}, {"1.00"});
    EXPECT_THAT(script.requests.back(), HasSubstr("<InventoryAdjustmentAdd><AccountRef>"));

    EXPECT_FALSE(session->postValueAdjustments(day, "A", nullptr, nullptr, nullptr, {"a", "b"}, {"1"}));
    EXPECT_TRUE(session->postValueAdjustments(day, "A", nullptr, nullptr, nullptr, {}, {}));
    const std::size_t sent = script.requests.size();
    script.defaultResponse = failure("InventoryAdjustmentAddRs", "3140", "Invalid reference");
    try {
        session->inventoryAdjustmentAdd(day, "COGS", nullptr, nullptr, nullptr, {"A"}, {"1.00"});
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(), "Invalid reference");
    }
    EXPECT_EQ(script.requests.size(), sent + 1);
}

// Lines of 96 tag characters plus name and value: with 10-character names and 4-character
// values each counts 110, so the size passes 10240 with the 94th line (94 * 110 = 10340).
struct BatchCase {
    int items;
    std::vector<int> batchSizes;
};

class AdjustmentBatching : public SessionTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(AdjustmentBatching, SplitsJustAfterTheLineThatCrosses10240) {
    auto session = openSession();
    script.defaultResponse = ok("InventoryAdjustmentAddRs");
    std::vector<std::string> names;
    std::vector<std::string> values;
    for (int i = 0; i < GetParam().items; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Item%06d", i);
        names.push_back(name);
        values.push_back("1.00");
    }
    EXPECT_TRUE(session->postValueAdjustments(CDateTime(0), "COGS", nullptr, nullptr, nullptr,
                                              names, values));
    std::vector<int> sizes;
    for (const std::string& request : script.requests) {
        int lines = 0;
        for (std::size_t at = request.find("<InventoryAdjustmentLineAdd>"); at != std::string::npos;
             at = request.find("<InventoryAdjustmentLineAdd>", at + 1)) {
            ++lines;
        }
        sizes.push_back(lines);
    }
    EXPECT_EQ(sizes, GetParam().batchSizes);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AdjustmentBatching,
                         ::testing::Values(BatchCase{1, {1}}, BatchCase{93, {93}},
                                           BatchCase{94, {94}},  // only the last line crosses
                                           BatchCase{95, {94, 1}}, BatchCase{188, {94, 94}},
                                           BatchCase{189, {94, 94, 1}}));

TEST_F(SessionTest, EventLogHoldsRequestsAndResponses) {
    {
        auto session = openSession();
        script.responses.push_back(ok("AccountQueryRs"));
        session->queryAccount(nullptr);
    }
    const std::string log = readFile(logDir / "qbevent.log");
    EXPECT_THAT(log, HasSubstr("<HostQueryRq></HostQueryRq>"));
    EXPECT_THAT(log, HasSubstr("<AccountQueryRq requestID=\"1688\"></AccountQueryRq>"));
    EXPECT_THAT(log, HasSubstr("statusMessage=\"Status OK\""));
    // A new session starts a fresh log.
    { CQbXml again("c.qbw", "Lotwise", "Veltrane", logDir.string()); }
    EXPECT_EQ(readFile(logDir / "qbevent.log"), "");
}

}  // namespace

namespace {

TEST_F(SessionTest, EmptyOrMalformedAnswersEndInAnException) {
    auto session = openSession();
    for (const char* answer : {"", "<QBXML><QBXMLMsgsRs>", "not xml at all"}) {
        script.responses.push_back(answer);
        try {
            session->queryClass(nullptr);
            ADD_FAILURE() << answer;
        } catch (const CQbException& e) {
            EXPECT_THAT(e.getMessage(), ::testing::AnyOf(StartsWith("Error during parsing: '"),
                                                         StartsWith("DOM Error during parsing: '"),
                                                         StartsWith("Unexpected exception during parsing: '")));
        }
    }
    // A document without a message set carries no status: it is no success, and the
    // query fails instead of reporting that nothing was found.
    script.responses.push_back("<QBXML></QBXML>");
    try {
        session->queryClass(nullptr);
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_EQ(e.getMessage(), "QuickBooks refused the request ClassQueryRq (no status).");
    }
    EXPECT_EQ(session->statusCode(), -1);
    EXPECT_EQ(session->getResponse()->statusCode(), "");
    script.responses.push_back("<QBXML></QBXML>");
    EXPECT_THROW(session->queryCompany(), CQbException);
}

}  // namespace

namespace {

TEST_F(SessionTest, AnExchangeWithoutUsableAnswerIsMarked) {
    auto session = openSession();
    EXPECT_FALSE(session->lastExchangeFailed());
    script.responses.push_back("not xml");
    EXPECT_THROW(session->queryClass(nullptr), CQbException);
    EXPECT_TRUE(session->lastExchangeFailed());
    script.responses.push_back(failure("ClassQueryRs", "3120", "refused"));
    EXPECT_THROW(session->queryClass(nullptr), CQbException);
    EXPECT_FALSE(session->lastExchangeFailed());  // a refusal is an answer
    script.failures["ProcessRequest"] = {E_FAIL, L"gone"};
    EXPECT_THROW(session->queryClass(nullptr), CQbException);
    EXPECT_TRUE(session->lastExchangeFailed());
}

}  // namespace
