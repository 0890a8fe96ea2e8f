// Processor tests: the six calls through the COM shim, documents refused whole with
// 0x80040400, session failures, and the company file surviving a killed writer.
#include "qbsimcomhelpers.h"
#include "qbsimprocessor.h"
#include "qbsimtesthelpers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/wait.h>

namespace {

class QbSimProcessorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        qbsimRegister();
        qbsimSetSchemaPath("");
        CQbSimCompany::create(path, {"Session Co", false, false});
        void* object = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_RequestProcessor2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IRequestProcessor2, &object),
                  S_OK);
        processor = static_cast<IRequestProcessor2*>(object);
        CBstr id("Lotwise"), name("Veltrane");
        ASSERT_EQ(processor->OpenConnection(id, name), S_OK);
    }
    void TearDown() override {
        processor->CloseConnection();
        processor->Release();
        qbsimSetSchemaPath("");
        CoUninitialize();
    }
    HRESULT begin(const std::string& file, QBFileMode mode, CBstr& ticket) {
        CBstr name(file);
        return processor->BeginSession(name, mode, ticket.out());
    }
    HRESULT process(const CBstr& ticket, const std::string& request, std::string& response) {
        CBstr rq(request);
        CBstr rs;
        const HRESULT hr = processor->ProcessRequest(ticket, rq, rs.out());
        response = rs.text();
        return hr;
    }

    CTempDir dir;
    std::string path = dir.file("session.qbw");
    IRequestProcessor2* processor = nullptr;
};

}  // namespace

TEST_F(QbSimProcessorTest, SessionRunsRequestsThroughTheRegisteredClass) {
    CBstr ticket;
    ASSERT_EQ(begin(path, qbFileOpenSingleUser, ticket), S_OK);
    CBstr file;
    ASSERT_EQ(processor->GetCurrentCompanyFileName(ticket, file.out()), S_OK);
    EXPECT_EQ(file.text(), path);
    std::string response;
    ASSERT_EQ(process(ticket, envelope("<HostQueryRq></HostQueryRq>"), response), S_OK);
    EXPECT_EQ(response.rfind("<?xml version=\"1.0\" ?>\n<QBXML>", 0), 0u) << response;
    CParsedResponse rs(response);
    ASSERT_EQ(rs.size(), 1u);
    EXPECT_EQ(rs[0].name, "HostQueryRs");
    EXPECT_EQ(processor->EndSession(ticket), S_OK);
    EXPECT_EQ(process(ticket, envelope("<HostQueryRq/>"), response), QBSIM_E_BAD_TICKET);
}

TEST_F(QbSimProcessorTest, BeginSessionFailures) {
    const std::string notCompany = dir.file("notes.txt");
    std::ofstream(notCompany) << "not a database";
    const std::string otherDb = dir.file("other.db");
    {
        CQbSimDb db(otherDb, true);
        db.exec("CREATE TABLE t(x)");
    }
    struct Case {
        std::string file;
        HRESULT code;
        std::string description;
    } cases[] = {
        {dir.file("missing.qbw"), QBSIM_E_FILE_NOT_FOUND, "Could not find the company file"},
        {notCompany, QBSIM_E_COULD_NOT_ACCESS, "is not a company file"},
        {otherDb, QBSIM_E_COULD_NOT_ACCESS, "is not a company file"},
        {"", static_cast<HRESULT>(0x80040416u), "company file name must be supplied"},
    };
    for (const auto& c : cases) {
        CBstr ticket;
        EXPECT_EQ(begin(c.file, qbFileOpenDoNotCare, ticket), c.code) << c.file;
        EXPECT_NE(errorDescription().find(c.description), std::string::npos) << c.file;
    }
}

TEST_F(QbSimProcessorTest, MultiUserMarkRefusesSingleUserSessions) {
    CQbSimCompany::open(path)->setOpenInMultiUser(true);
    CBstr single;
    EXPECT_EQ(begin(path, qbFileOpenSingleUser, single), QBSIM_E_MODE);
    EXPECT_EQ(static_cast<std::uint32_t>(QBSIM_E_MODE), 0x80040410u);
    EXPECT_NE(errorDescription().find("open in a mode other than"), std::string::npos);
    CBstr shared;
    ASSERT_EQ(begin(path, qbFileOpenDoNotCare, shared), S_OK);
    std::string response;
    ASSERT_EQ(process(shared, envelope("<HostQueryRq/>"), response), S_OK);
    EXPECT_NE(response.find("<QBFileMode>MultiUser</QBFileMode>"), std::string::npos);
    processor->EndSession(shared);
    CQbSimCompany::open(path)->setOpenInMultiUser(false);
    CBstr again;
    EXPECT_EQ(begin(path, qbFileOpenSingleUser, again), S_OK);
}

TEST_F(QbSimProcessorTest, IteratorsDoNotOutliveTheirSession) {
    CBstr ticket;
    ASSERT_EQ(begin(path, qbFileOpenDoNotCare, ticket), S_OK);
    std::string response;
    process(ticket, envelope("<ClassAddRq><ClassAdd><Name>A</Name></ClassAdd></ClassAddRq>"
                             "<ClassAddRq><ClassAdd><Name>B</Name></ClassAdd></ClassAddRq>"
                             "<AccountAddRq><AccountAdd><Name>S</Name><AccountType>Income</AccountType></AccountAdd></AccountAddRq>"
                             "<ItemServiceAddRq><ItemServiceAdd><Name>X</Name><SalesOrPurchase><AccountRef><FullName>S</FullName></AccountRef></SalesOrPurchase></ItemServiceAdd></ItemServiceAddRq>"
                             "<ItemServiceAddRq><ItemServiceAdd><Name>Y</Name><SalesOrPurchase><AccountRef><FullName>S</FullName></AccountRef></SalesOrPurchase></ItemServiceAdd></ItemServiceAddRq>"),
            response);
    ASSERT_EQ(process(ticket, envelope("<ItemServiceQueryRq iterator=\"Start\"><MaxReturned>1</MaxReturned></ItemServiceQueryRq>"), response), S_OK);
    const std::string id = CParsedResponse(response)[0].attrs.at("iteratorID");
    processor->EndSession(ticket);
    CBstr next;
    ASSERT_EQ(begin(path, qbFileOpenDoNotCare, next), S_OK);
    ASSERT_EQ(process(next, envelope("<ItemServiceQueryRq iterator=\"Continue\" iteratorID=\"" + id + "\"/>"), response), S_OK);
    EXPECT_EQ(CParsedResponse(response)[0].code, 3391);
}

TEST_F(QbSimProcessorTest, RefusedDocumentsFailTheWholeCallAndChangeNothing) {
    CBstr ticket;
    ASSERT_EQ(begin(path, qbFileOpenDoNotCare, ticket), S_OK);
    const std::string add = "<ClassAddRq><ClassAdd><Name>Kept out</Name></ClassAdd></ClassAddRq>";
    const std::string refused[] = {
        "<QBXML><QBXMLMsgsRq onError=\"stopOnError\">" + add,                   // not well-formed
        "",                                                                        // empty
        envelope(add + "<FrobnicateRq/>"),                                         // unknown request
        "<?xml version=\"1.0\"?><QBXML><QBXMLMsgsRq>" + add + "</QBXMLMsgsRq></QBXML>",  // no onError
        envelope(add, "rollbackOnError"),
        envelope(add + "<InventoryAdjustmentAddRq><InventoryAdjustmentAdd><AccountRef><FullName>A</FullName></AccountRef>"
                       "<InventoryAdjustmentLineAdd><ItemRef><FullName>W</FullName></ItemRef><ValueAdjustment>"
                       "<NewValue>100.5</NewValue></ValueAdjustment></InventoryAdjustmentLineAdd></InventoryAdjustmentAdd>"
                       "</InventoryAdjustmentAddRq>"),                              // amount with one decimal
        envelope(add + "<BillQueryRq><TxnDateRangeFilter><FromTxnDate>2024-02-30</FromTxnDate></TxnDateRangeFilter></BillQueryRq>"),
        envelope(add + "<ItemQueryRq><MaxReturned>0</MaxReturned></ItemQueryRq>"),
        "<?xml version=\"1.0\"?><!DOCTYPE QBXML [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
        "<QBXML><QBXMLMsgsRq onError=\"stopOnError\"><ClassAddRq><ClassAdd><Name>&x;</Name></ClassAdd></ClassAddRq></QBXMLMsgsRq></QBXML>",
    };
    for (const auto& request : refused) {
        std::string response;
        EXPECT_EQ(process(ticket, request, response), QBSIM_E_PARSE) << request;
        EXPECT_EQ(errorDescription(), kQbSimParseDescription);
        EXPECT_TRUE(response.empty());
    }
    std::string response;
    ASSERT_EQ(process(ticket, envelope("<ClassQueryRq/>"), response), S_OK);
    EXPECT_EQ(CParsedResponse(response)[0].code, 1);
}

TEST_F(QbSimProcessorTest, SchemaInvalidSamplesAreRefusedAndValidOnesAccepted) {
    const std::string schema = qbsimTestSchemaPath();
    if (!std::filesystem::exists(schema)) GTEST_SKIP() << "qbXML schema not found at " << schema;
    qbsimSetSchemaPath(schema);
    CBstr ticket;
    ASSERT_EQ(begin(path, qbFileOpenDoNotCare, ticket), S_OK);
    const std::string samples = std::string(LOTWISE_SHARED_DIR) + "/qbxml/samples/requests/";
    int invalid = 0;
    for (const auto& entry : std::filesystem::directory_iterator(samples + "invalid")) {
        std::ifstream in(entry.path());
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        std::string response;
        EXPECT_EQ(process(ticket, text, response), QBSIM_E_PARSE) << entry.path();
        ++invalid;
    }
    EXPECT_GE(invalid, 8);
    // Element order matters: the same query with IncludeLineItems after the filter passes.
    std::string response;
    EXPECT_EQ(process(ticket, envelope("<BillQueryRq><TxnDateRangeFilter><FromTxnDate>2024-01-01</FromTxnDate>"
                                       "</TxnDateRangeFilter><IncludeLineItems>true</IncludeLineItems></BillQueryRq>"),
                      response),
              S_OK);
    for (const char* name : {"item_inventory_query_rq.xml", "host_company_preferences_rq.xml",
                             "invoice_salesreceipt_creditmemo_query_rq.xml", "data_ext_def_rq.xml"}) {
        std::ifstream in(samples + name);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(process(ticket, text, response), S_OK) << name;
    }
}

// A writer killed in the middle of a large request leaves the file at the last
// committed request: every bill there is whole.
TEST_F(QbSimProcessorTest, KilledWriterLeavesThePreviousState) {
    {
        auto company = CQbSimCompany::open(path);
        CQbSimEngine engine(*company, nullptr);
        engine.processRequest(envelope(
            "<AccountAddRq><AccountAdd><Name>Sales</Name><AccountType>Income</AccountType></AccountAdd></AccountAddRq>"
            "<AccountAddRq><AccountAdd><Name>COGS</Name><AccountType>CostOfGoodsSold</AccountType></AccountAdd></AccountAddRq>"
            "<AccountAddRq><AccountAdd><Name>Stock</Name><AccountType>OtherCurrentAsset</AccountType></AccountAdd></AccountAddRq>"
            "<VendorAddRq><VendorAdd><Name>V</Name></VendorAdd></VendorAddRq>"
            "<ItemInventoryAddRq><ItemInventoryAdd><Name>W</Name><IncomeAccountRef><FullName>Sales</FullName></IncomeAccountRef>"
            "<COGSAccountRef><FullName>COGS</FullName></COGSAccountRef><AssetAccountRef><FullName>Stock</FullName></AssetAccountRef>"
            "</ItemInventoryAdd></ItemInventoryAddRq>"));
    }
    constexpr int kLines = 3000;
    std::string bill = "<BillAddRq><BillAdd><VendorRef><FullName>V</FullName></VendorRef><TxnDate>2024-01-01</TxnDate>";
    for (int i = 0; i < kLines; ++i)
        bill += "<ItemLineAdd><ItemRef><FullName>W</FullName></ItemRef><Quantity>1</Quantity><Cost>1.00</Cost></ItemLineAdd>";
    bill += "</BillAdd></BillAddRq>";
    const std::string request = envelope(bill);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto company = CQbSimCompany::open(path);
        CQbSimEngine engine(*company, nullptr);
        for (;;) engine.processRequest(request);
    }
    // Let it commit some bills and be in the middle of another.
    // (Sanitizer builds write much more slowly, hence the generous limit.)
    for (int i = 0; i < 1500; ++i) {
        usleep(20000);
        auto company = CQbSimCompany::open(path);
        CQbSimStmt s(company->db(), "SELECT COUNT(*) FROM txn");
        if (s.step() && s.integer(0) >= 2) break;
    }
    usleep(37000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    auto company = CQbSimCompany::open(path);
    CQbSimStmt check(company->db(), "PRAGMA integrity_check");
    ASSERT_TRUE(check.step());
    EXPECT_EQ(check.text(0), "ok");
    CQbSimStmt bills(company->db(), "SELECT t.id, COUNT(l.id) FROM txn t LEFT JOIN txn_line l ON l.txn_row = t.id "
                                    "WHERE t.txn_type = 'Bill' GROUP BY t.id");
    int whole = 0;
    while (bills.step()) {
        EXPECT_EQ(bills.integer(1), kLines);
        ++whole;
    }
    EXPECT_GE(whole, 2);
    // The file still takes requests.
    CQbSimEngine engine(*company, nullptr);
    CParsedResponse rs(engine.processRequest(envelope("<BillQueryRq/>")));
    EXPECT_EQ(rs[0].rets().size(), static_cast<std::size_t>(whole));
}
