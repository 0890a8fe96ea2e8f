// Fault injection: transport failures of the Nth request or of every request after the
// Nth, a chosen status for the Nth request of a kind, latency, and the QBSIM_FAULTS
// format that configures them from outside.
#include "qbsimcomhelpers.h"
#include "qbsimprocessor.h"
#include "qbsimtesthelpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

using ::testing::HasSubstr;

namespace {

class QbSimFaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        CQbSimCompany::create(path, {"Faults Co", false, false});
    }
    void TearDown() override {
        if (processor) {
            processor->CloseConnection();
            processor->Release();
        }
        qbsimSetFaults(std::nullopt);
        unsetenv("QBSIM_FAULTS");
        CoUninitialize();
    }
    // A processor with the faults and an open session.
    HRESULT start(const std::optional<CQbSimFaults>& faults) {
        qbsimSetFaults(faults);
        processor = qbsimCreateProcessor();
        CBstr id("Lotwise"), name("Veltrane"), file(path);
        processor->OpenConnection(id, name);
        SysFreeString(ticket);  // the ticket of an earlier processor
        *ticket.out() = nullptr;
        return processor->BeginSession(file, qbFileOpenDoNotCare, ticket.out());
    }
    HRESULT process(const std::string& body, std::string& response) {
        CBstr rq(envelope(body)), rs;
        const HRESULT hr = processor->ProcessRequest(ticket, rq, rs.out());
        response = rs.text();
        return hr;
    }
    // The HRESULT of each of `count` class queries.
    std::vector<HRESULT> run(int count) {
        std::vector<HRESULT> results;
        std::string response;
        for (int i = 0; i < count; ++i) results.push_back(process("<ClassQueryRq/>", response));
        return results;
    }

    CTempDir dir;
    std::string path = dir.file("faults.qbw");
    IRequestProcessor2* processor = nullptr;
    CBstr ticket;
};

const HRESULT kGone = static_cast<HRESULT>(0x800706BAu);

}  // namespace

TEST_F(QbSimFaultsTest, TransportFailuresOfTheNthOrEveryLaterRequest) {
    CQbSimFaults nth;
    nth.failAt = 2;
    ASSERT_EQ(start(nth), S_OK);
    EXPECT_EQ(run(4), (std::vector<HRESULT>{S_OK, kGone, S_OK, S_OK}));
    processor->CloseConnection();
    processor->Release();
    processor = nullptr;

    CQbSimFaults after;
    after.failAfter = 2;
    after.failCode = static_cast<HRESULT>(0x80040408u);
    after.failDescription = "Could not start QuickBooks.";
    ASSERT_EQ(start(after), S_OK);
    EXPECT_EQ(run(2), (std::vector<HRESULT>{S_OK, S_OK}));
    std::string response;
    EXPECT_EQ(process("<ClassAddRq><ClassAdd><Name>Lost</Name></ClassAdd></ClassAddRq>", response),
              static_cast<HRESULT>(0x80040408u));
    EXPECT_EQ(errorDescription(), "Could not start QuickBooks.");
    EXPECT_TRUE(response.empty());
    EXPECT_EQ(run(1), (std::vector<HRESULT>{static_cast<HRESULT>(0x80040408u)}));
    // The failed request changed nothing.
    auto company = CQbSimCompany::open(path);
    CQbSimStmt classes(company->db(), "SELECT COUNT(*) FROM list_object WHERE kind = 'Class'");
    classes.step();
    EXPECT_EQ(classes.integer(0), 0);
}

TEST_F(QbSimFaultsTest, NthRequestOfAKindGetsTheChosenStatus) {
    CQbSimFaults faults;
    faults.statusRequest = "ClassAddRq";
    faults.statusAt = 2;
    faults.statusCode = 3175;
    faults.statusMessage = "The record is in use.";
    ASSERT_EQ(start(faults), S_OK);
    std::string response;
    ASSERT_EQ(process("<ClassQueryRq/><ClassAddRq><ClassAdd><Name>A</Name></ClassAdd></ClassAddRq>", response), S_OK);
    ASSERT_EQ(process("<ClassAddRq><ClassAdd><Name>B</Name></ClassAdd></ClassAddRq>"
                      "<ClassAddRq><ClassAdd><Name>C</Name></ClassAdd></ClassAddRq>", response),
              S_OK);
    const CParsedResponse rs(response);
    ASSERT_EQ(rs.size(), 1u);  // stopOnError ends the document at the refused request
    EXPECT_EQ(rs[0].code, 3175);
    EXPECT_EQ(rs[0].severity, "Error");
    EXPECT_EQ(rs[0].message, "The record is in use.");
    ASSERT_EQ(process("<ClassAddRq><ClassAdd><Name>B</Name></ClassAdd></ClassAddRq><ClassQueryRq/>", response), S_OK);
    const CParsedResponse again(response);
    EXPECT_EQ(again[0].code, 0);
    EXPECT_EQ(again[1].rets().size(), 2u);  // A and B; the refused request added nothing
}

// The wait itself is measured by bench/yearrun.sh (latency-ms=20); here, that the setting
// is read and every request is still answered.
TEST_F(QbSimFaultsTest, LatencyIsReadFromTheEnvironmentAndEveryRequestIsAnswered) {
    setenv("QBSIM_FAULTS", "latency-ms=30", 1);
    EXPECT_EQ(qbsimCurrentFaults().latencyMs, 30);
    ASSERT_EQ(start(std::nullopt), S_OK);
    EXPECT_EQ(run(3), (std::vector<HRESULT>{S_OK, S_OK, S_OK}));
    unsetenv("QBSIM_FAULTS");
    setenv("QBSIM_FAULTS", "latency-ms=soon", 1);
    EXPECT_THROW(qbsimCurrentFaults(), std::invalid_argument);
    unsetenv("QBSIM_FAULTS");
}

// The wait itself is measured by bench/qbsimfaults_bench.cpp; here, what it is made of.
TEST_F(QbSimFaultsTest, ReportCostIsChargedForEveryRowOfAReport) {
    CQbSimFaults faults;
    faults.reportMicrosPerRow = 700;
    ASSERT_EQ(start(faults), S_OK);
    std::string response;
    ASSERT_EQ(process(
                  "<AccountAddRq><AccountAdd><Name>Stock</Name><AccountType>OtherCurrentAsset</AccountType></AccountAdd></AccountAddRq>"
                  "<AccountAddRq><AccountAdd><Name>Sales</Name><AccountType>Income</AccountType></AccountAdd></AccountAddRq>"
                  "<AccountAddRq><AccountAdd><Name>COGS</Name><AccountType>CostOfGoodsSold</AccountType></AccountAdd></AccountAddRq>"
                  "<ItemInventoryAddRq><ItemInventoryAdd><Name>Nail</Name><IncomeAccountRef><FullName>Sales</FullName>"
                  "</IncomeAccountRef><COGSAccountRef><FullName>COGS</FullName></COGSAccountRef><AssetAccountRef>"
                  "<FullName>Stock</FullName></AssetAccountRef></ItemInventoryAdd></ItemInventoryAddRq>"
                  "<ItemInventoryAddRq><ItemInventoryAdd><Name>Screw</Name><IncomeAccountRef><FullName>Sales</FullName>"
                  "</IncomeAccountRef><COGSAccountRef><FullName>COGS</FullName></COGSAccountRef><AssetAccountRef>"
                  "<FullName>Stock</FullName></AssetAccountRef></ItemInventoryAdd></ItemInventoryAddRq>"
                  "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary"
                  "</GeneralSummaryReportType></GeneralSummaryReportQueryRq>",
                  response),
              S_OK);
    const CParsedResponse rs(response);
    ASSERT_EQ(rs.size(), 6u);
    ASSERT_EQ(rs[5].code, 0) << rs[5].message;
    const std::size_t rows = qbsimElements(qbsimChild(qbsimChild(rs[5].node, "ReportRet"), "ReportData")).size();
    ASSERT_GE(rows, 3u);  // both items and the total at least
    EXPECT_EQ(qbsimReportDelay(faults, response), std::chrono::microseconds(700) * rows);
    // A report costs nothing more without the setting, and neither do answers without a report.
    EXPECT_EQ(qbsimReportDelay(CQbSimFaults{}, response), std::chrono::microseconds(0));
    ASSERT_EQ(process("<ClassQueryRq/>", response), S_OK);
    EXPECT_EQ(qbsimReportDelay(faults, response), std::chrono::microseconds(0));
}

TEST_F(QbSimFaultsTest, ReportCostIsReadFromTheEnvironmentUnlessSetInProcess) {
    setenv("QBSIM_FAULTS", "report-us-per-row=250", 1);
    EXPECT_EQ(qbsimCurrentFaults().reportMicrosPerRow, 250);
    CQbSimFaults set;
    set.reportMicrosPerRow = 40;
    qbsimSetFaults(set);
    EXPECT_EQ(qbsimCurrentFaults().reportMicrosPerRow, 40);
    qbsimSetFaults(std::nullopt);
    EXPECT_EQ(qbsimCurrentFaults().reportMicrosPerRow, 250);
    // A cost that is no whole number of microseconds is refused, and so is the session.
    setenv("QBSIM_FAULTS", "report-us-per-row=1.5", 1);
    EXPECT_THROW(qbsimCurrentFaults(), std::invalid_argument);
    EXPECT_EQ(start(std::nullopt), E_INVALIDARG);
    EXPECT_THAT(errorDescription(), HasSubstr("report-us-per-row=1.5"));
}

TEST_F(QbSimFaultsTest, EnvironmentVariableConfiguresProcessors) {
    setenv("QBSIM_FAULTS", "fail-at=3;hresult=0x8004041A;description=Access denied.", 1);
    ASSERT_EQ(start(std::nullopt), S_OK);
    EXPECT_EQ(run(3), (std::vector<HRESULT>{S_OK, S_OK, static_cast<HRESULT>(0x8004041Au)}));
    EXPECT_EQ(errorDescription(), "Access denied.");
    processor->CloseConnection();
    processor->Release();
    processor = nullptr;
    // A setting that cannot be read is reported, not ignored.
    setenv("QBSIM_FAULTS", "fail-at=soon", 1);
    EXPECT_EQ(start(std::nullopt), E_INVALIDARG);
    EXPECT_THAT(errorDescription(), HasSubstr("fail-at=soon"));
}

TEST(QbSimFaultsFormat, ReadsEverySettingAndRefusesBadOnes) {
    const auto f = qbsimParseFaults(
        "fail-after=10;latency-ms=5;report-us-per-row=200;status=InventoryAdjustmentAddRq:2:3180:Not now; ");
    EXPECT_EQ(f.failAfter, 10);
    EXPECT_EQ(f.failAt, 0);
    EXPECT_EQ(f.latencyMs, 5);
    EXPECT_EQ(f.reportMicrosPerRow, 200);
    EXPECT_EQ(f.statusRequest, "InventoryAdjustmentAddRq");
    EXPECT_EQ(f.statusAt, 2);
    EXPECT_EQ(f.statusCode, 3180);
    EXPECT_EQ(f.statusMessage, "Not now");
    for (const char* bad : {"fail-at=", "fail-at=-1", "status=X:1", "hresult=zz", "explode=1", "latency-ms=99999999999",
                            "report-us-per-row=x"})
        EXPECT_THROW(qbsimParseFaults(bad), std::invalid_argument) << bad;
}
