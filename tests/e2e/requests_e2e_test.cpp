// Every request the add-on's request builders send, answered by the embedded stand-in
// through the real session: each is understood (status 0, or 1 for nothing found) and its
// records read back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "qbexception.h"
#include "qbsession.h"
#include "qbsimcompany.h"
#include "qbsimengine.h"
#include "qbsimprocessor.h"
#include "qbutils.h"
#include "testfiles.h"
#include "tzguard.h"

namespace {

class StandInRequests : public ::testing::Test {
protected:
    StandInRequests()
        : tz("America/New_York"),
          dir(std::filesystem::temp_directory_path() / ("lotwise-rq-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        path = (dir / "Acme.qbw").string();
        auto file = CQbSimCompany::create(path, CQbSimCompanyOptions{"Acme Hardware"});
        CQbSimEngine engine(*file, nullptr);
        engine.processRequest(readFile(std::string(LOTWISE_SOURCE_DIR) + "/tests/e2e/data/build_company_rq.xml"));
        qbsimRegister();
        session = std::make_unique<CQbXml>(path, "Lotwise", "Veltrane", dir.string());
        session->open(true);
    }
    ~StandInRequests() override {
        session.reset();
        std::filesystem::remove_all(dir);
    }

    // The answer to the latest request was understood.
    void expectUnderstood(const char* what) {
        EXPECT_TRUE(session->statusCode() == 0 || session->statusCode() == 1)
            << what << ": " << session->statusCode() << " " << session->statusMessage();
    }

    static std::unique_ptr<CQbFieldList> range(const char* from, const char* to, const char* include) {
        auto filter = std::make_unique<CQbFieldList>();
        auto dates = std::make_unique<CQbFieldList>();
        dates->addText("FromTxnDate", from);
        dates->addText("ToTxnDate", to);
        filter->addAggregate("TxnDateRangeFilter", std::move(dates));
        filter->addText(include, "true");
        return filter;
    }

    CTzGuard tz;
    std::filesystem::path dir;
    std::string path;
    std::unique_ptr<CQbXml> session;
};

TEST_F(StandInRequests, HostAnswersWithItsVersions) {
    EXPECT_FALSE(session->getProductName().empty());
    EXPECT_EQ(session->getQbxmlVersion(), "16.0");
}

TEST_F(StandInRequests, EveryQueryOfTheValuationIsUnderstood) {
    CQbFieldList active;
    active.addText("ActiveStatus", "ActiveOnly");
    auto items = session->queryItemInventory(&active);
    expectUnderstood("items");
    ASSERT_EQ(items->getSize(), 1);
    EXPECT_EQ(items->getAt(0)->getValue("COGSAccountRef", "FullName"), "Cost of Goods Sold");
    EXPECT_EQ(session->queryItemInventoryAssembly(nullptr)->getSize(), 2);
    expectUnderstood("assemblies");
    auto services = session->queryItemService(nullptr);
    expectUnderstood("services");
    ASSERT_EQ(services->getSize(), 1);
    EXPECT_EQ(services->getAt(0)->getValue("SalesAndPurchase", "PurchaseCost"), "12.50");
    session->queryItemNonInventory(nullptr);
    expectUnderstood("non-inventory parts");
    session->queryItemOtherCharge(nullptr);
    expectUnderstood("other charges");
    EXPECT_EQ(session->queryClass(nullptr)->getSize(), 2);
    expectUnderstood("classes");

    auto receiving = range("2010-03-01", "2010-04-30", "IncludeLineItems");
    EXPECT_EQ(session->queryBill(receiving.get())->getSize(), 2);
    expectUnderstood("bills");
    session->queryItemReceipt(receiving.get());
    expectUnderstood("item receipts");
    session->queryCheck(receiving.get());
    expectUnderstood("checks");

    CQbFieldList accountTypes;
    for (const char* type : {"AccountsPayable", "AccountsReceivable", "Bank", "CreditCard", "Equity",
                             "Expense", "FixedAsset", "Income", "LongTermLiability", "NonPosting",
                             "OtherAsset", "OtherCurrentAsset", "OtherCurrentLiability", "OtherExpense",
                             "OtherIncome"}) {
        accountTypes.addText("AccountType", type);
    }
    auto accounts = session->queryAccount(&accountTypes);
    expectUnderstood("accounts");
    for (int i = 0; i < accounts->getSize(); ++i) {
        EXPECT_NE(accounts->getAt(i)->getValue("AccountType"), "CostOfGoodsSold");
    }

    auto day = range("2010-04-02", "2010-04-02", "IncludeLineItems");
    session->queryInvoice(day.get());
    expectUnderstood("invoices");
    session->querySalesReceipt(day.get());
    expectUnderstood("sales receipts");
    session->queryCreditMemo(day.get());
    expectUnderstood("credit memos");
    session->queryInventoryAdjustment(day.get());
    expectUnderstood("inventory adjustments");
    auto dayBuilds = range("2010-04-02", "2010-04-02", "IncludeComponentLineItems");
    auto builds = session->queryBuildAssembly(dayBuilds.get());
    expectUnderstood("builds");
    ASSERT_EQ(builds->getSize(), 2);
    EXPECT_EQ(builds->getAt(0)->findAll("ComponentItemLineRet").size(), 2u);

    auto company = session->queryCompany();
    ASSERT_NE(company, nullptr);
    EXPECT_EQ(company->getValue("CompanyName"), "Acme Hardware");
    auto preferences = session->queryPreferences();
    ASSERT_NE(preferences, nullptr);
    EXPECT_EQ(preferences->getValue("MultiCurrencyPreferences", "IsMultiCurrencyOn"), "false");

    auto report = session->inventoryValuationSummary(*CDateTime::fromLocal(2010, 4, 1), "Inventory");
    expectUnderstood("valuation summary");
    ASSERT_EQ(report->rowCount(), 1);
    EXPECT_EQ(report->rowValue(0), "Widget");
    EXPECT_EQ(report->columnValues("ValueOnHand")[0], "130.00");
}

TEST_F(StandInRequests, CustomFieldsAndAdjustmentsAreStored) {
    ASSERT_FALSE(session->dataExtDefExists(kPrivateOwnerId, "StartDate", "STR255TYPE", "Company"));
    session->dataExtDefAdd(kPrivateOwnerId, "StartDate", "STR255TYPE", "Company");
    expectUnderstood("definition");
    EXPECT_TRUE(session->dataExtDefExists(kPrivateOwnerId, "StartDate", "STR255TYPE", "Company"));
    EXPECT_TRUE(session->dataExtAddCompany(kPrivateOwnerId, "StartDate", CDateTime::fromLocal(2010, 4, 1)));
    EXPECT_TRUE(session->succeeded()) << session->statusMessage();
    auto company = session->queryCompany();
    EXPECT_EQ(company->getValue("StartDate"), "2010-04-01T00:00:00-05:00");

    const std::string memo = "FIFO valuation";
    const std::string customer = "Bright Shop";
    const std::string cls = "East";
    ASSERT_TRUE(session->postValueAdjustments(*CDateTime::fromLocal(2010, 4, 1), "Cost of Goods Sold",
                                              &cls, &customer, &memo, {"Widget"}, {"140.00"}));
    auto report = session->inventoryValuationSummary(*CDateTime::fromLocal(2010, 4, 1), "Inventory");
    EXPECT_EQ(report->columnValues("ValueOnHand")[0], "140.00");

    // A refused adjustment ends in the exception with QuickBooks' message.
    try {
        session->postValueAdjustments(*CDateTime::fromLocal(2010, 4, 1), "No Such Account", nullptr,
                                      nullptr, &memo, {"Widget"}, {"1.00"});
        ADD_FAILURE();
    } catch (const CQbException& e) {
        EXPECT_THAT(e.getMessage(), ::testing::HasSubstr("No Such Account"));
    }
    EXPECT_FALSE(session->succeeded());
}

}  // namespace

// The tests' stand-in checks every request against Intuit's schema, as QuickBooks does:
// a request with its elements in the wrong order is refused whole (0x80040400), so a
// builder that wrote one could not pass here and fail on a real company file.
TEST_F(StandInRequests, ARequestInTheWrongElementOrderIsRefusedWhole) {
    if (std::getenv("QBSIM_SCHEMA") == nullptr) GTEST_SKIP() << "no qbXML schema at hand";
    CQbFieldList wrongOrder;
    wrongOrder.addText("IncludeLineItems", "true");
    wrongOrder.addText("MaxReturned", "5");
    try {
        session->sendRequest("InvoiceQueryRq", nullptr, &wrongOrder);
        ADD_FAILURE() << "the request was answered";
    } catch (const CQbException& e) {
        EXPECT_THAT(e.getMessage(), ::testing::HasSubstr("Error = 80040400"));
    }
    CQbFieldList rightOrder;
    rightOrder.addText("MaxReturned", "5");
    rightOrder.addText("IncludeLineItems", "true");
    EXPECT_NO_THROW(session->sendRequest("InvoiceQueryRq", nullptr, &rightOrder));
}
