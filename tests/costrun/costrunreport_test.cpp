// The CSV report and the activity log, byte for byte, in the folders the engine makes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "activitylog.h"
#include "costrundoc.h"
#include "costrunitemlist.h"
#include "costrununits.h"
#include "qbobjectlist.h"
#include "runreport.h"
#include "testfiles.h"
#include "tzguard.h"

namespace {

using ::testing::HasSubstr;


CDateTime local(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
    return *CDateTime::fromLocal(y, m, d, h, mi, s);
}

class ReportTest : public ::testing::Test {
protected:
    ReportTest()
        : tz("America/New_York"),
          dir(std::filesystem::temp_directory_path() / ("lotwise-report-" + std::to_string(::getpid()))) {
        doc = std::make_unique<CCostrunDoc>(CCostrunFolders{(dir / "appdata").string(), (dir / "docs").string()});
    }
    ~ReportTest() override {
        runReport.close();
        doc.reset();
        std::filesystem::remove_all(dir);
    }

    // Opens the report of the days in the folder of the company's reports, as a run does.
    bool openReport(const CDateTime& firstDay, const CDateTime& upTo, const std::string& companyTitle = "Acme") {
        return runReport.open(joinPath(doc->getReportFolder(), companyTitle), firstDay, upTo, error);
    }
    std::string report() {
        runReport.close();
        return readFile(runReport.path());
    }

    CTzGuard tz;
    std::filesystem::path dir;
    std::unique_ptr<CCostrunDoc> doc;
    CRunReport runReport;
    std::string error;
};

TEST_F(ReportTest, FoldersAreCreatedWithTheEngine) {
    EXPECT_EQ(doc->getDataFolder(), (dir / "appdata" / "Veltrane" / "Lotwise").string());
    EXPECT_EQ(doc->getReportFolder(), (dir / "docs" / "Veltrane" / "Lotwise Reports").string());
    EXPECT_TRUE(std::filesystem::is_directory(doc->getDataFolder()));
    EXPECT_TRUE(std::filesystem::is_directory(doc->getReportFolder()));
}

TEST_F(ReportTest, FileNamesCarryOneOrTwoDates) {
    ASSERT_TRUE(openReport(local(2010, 4, 1, 23, 59, 59), local(2010, 4, 1, 23, 59, 59)));
    // Named with the system's separator, as the user sees them.
    const std::string acme = doc->getReportFolder() + kPathSeparator + "Acme" + kPathSeparator;
    EXPECT_EQ(runReport.path(), acme + "costrun20100401.csv");
    ASSERT_TRUE(openReport(local(2010, 4, 1, 23, 59, 59), local(2010, 4, 30, 23, 59, 59)));
    EXPECT_EQ(runReport.path(), acme + "costrun20100401_20100430.csv");
    // A run without calculated days leaves an empty report.
    EXPECT_EQ(report(), "");
}

TEST_F(ReportTest, ARunReplacesTheReportOfTheSameDates) {
    ASSERT_TRUE(openReport(local(2010, 4, 1), local(2010, 4, 1)));
    CCostrunItemList items;
    items.add(std::make_unique<CCostrunItem>("Widget", 0.0, 0.0));
    runReport.writeBlock({&items}, local(2010, 4, 1), false);
    EXPECT_NE(report(), "");
    ASSERT_TRUE(openReport(local(2010, 4, 1), local(2010, 4, 1)));
    EXPECT_EQ(report(), "");
}

TEST_F(ReportTest, AReportThatCannotBeCreatedNamesTheFileAndTheCause) {
    std::ofstream(doc->getReportFolder() + "/Blocked") << "a file where the folder should be";
    EXPECT_FALSE(openReport(local(2010, 4, 1), local(2010, 4, 1), "Blocked"));
    EXPECT_THAT(error, HasSubstr("costrun20100401.csv"));
#ifdef _WIN32
    // Windows reports a path through a file as a missing folder.
    EXPECT_THAT(error, HasSubstr("No such file or directory"));
#else
    EXPECT_THAT(error, HasSubstr("Not a directory"));
#endif
    EXPECT_LE(error.size(), 255u);
}

TEST_F(ReportTest, DayBlockIsWrittenExactly) {
    ASSERT_TRUE(openReport(local(2010, 4, 1), local(2010, 4, 1)));
    CCostrunItemList items;
    CCostrunItem* widget = items.add(std::make_unique<CCostrunItem>("Widget", 10.0, 110.0));
    auto lot = std::make_unique<CItemPo>("Bill", "B-17", local(2010, 4, 1), 10.0);
    widget->takeLot(60.0, 6.0, *lot);
    widget->addLot(std::move(lot));
    auto older = std::make_unique<CItemPo>("Item Receipt", "R\"2", local(2010, 3, 28), 12.0);
    widget->takeLot(96.0, 8.0, *older);
    widget->addLot(std::move(older));
    CCostrunItem* short_ = items.add(std::make_unique<CCostrunItem>("Gadget \"Pro\"", 5.0, 20.0));
    auto partial = std::make_unique<CItemPo>("Check", "C-1", local(2010, 3, 2), 3.0);
    short_->takeLot(6.0, 2.0, *partial);
    short_->addLot(std::move(partial));
    CCostrunItem* negative = items.add(std::make_unique<CCostrunItem>("Bolt", -2.0, -3.5));
    auto ignored = std::make_unique<CItemPo>("Bill", "B-1", local(2010, 3, 2), 1.0);
    negative->addLot(std::move(ignored));
    runReport.writeBlock({&items}, local(2010, 4, 1, 23, 59, 59), false);
    runReport.writeBlock({nullptr}, local(2010, 4, 1, 23, 59, 59), false);
    // The closing block: the items on hand of both lists, under one heading.
    CCostrunItemList assemblies;
    assemblies.add(std::make_unique<CCostrunItem>("Kit", 0.0, 0.0));
    assemblies.add(std::make_unique<CCostrunItem>("Kit XL", 1.0, 7.0));
    runReport.writeBlock({&items, &assemblies}, local(2010, 4, 1, 23, 59, 59), true);

    const std::string columns =
        "\"(List of items and the list of most recent transactions of their receiving)\"\n\n"
        "\"Item\",\"Qty\",\"QB Value\",\"FIFO Value\"\n"
        "\"\",\"\",\"\",\"\",\"Txn Type\",\"Ref Number\",\"Txn Date\",\"Qty\",\"Item Cost\"\n";
    const std::string onHand = "\"Widget\",10.00,110.00,108.00\n"
                               "\"\",\"\",\"\",\"\",\"Bill\",\"B-17\",2010/04/01,6.00,10.000000\n"
                               "\"\",\"\",\"\",\"\",\"Item Receipt\",\"R\"\"2\",2010/03/28,4.00,12.000000\n"
                               "\"Gadget \"\"Pro\"\"\",5.00,20.00,\"N/A\"\n"
                               "\"\",\"\",\"\",\"\",\"Check\",\"C-1\",2010/03/02,2.00,3.000000\n";
    EXPECT_EQ(report(), "\"FIFO Valuation on 04/01/2010\"\n" + columns + onHand + "\"Bolt\",-2.00,-3.50,\"N/A\"\n\n\n\n" +
                            "\"FIFO Valuation of every item on hand on 04/01/2010\"\n" + columns + onHand +
                            "\"Kit XL\",1.00,7.00,\"N/A\"\n\n\n\n");
}

// The engine's activity log in its data folder.
class ActivityLogTest : public ReportTest {
protected:
    std::unique_ptr<CActivityLog> log = std::make_unique<CActivityLog>(doc->activityLogPath());
    const CCostrunUnits units;
};

TEST_F(ActivityLogTest, StartsAfreshOncePerProgramStart) {
    log->open();
    log->log("Start date : %02d/%02d/%04d\n", 3, 1, 2010);
    log->open();  // a second run of the same program appends
    log->log("MultiCurrency is turned %s\n", "off");
    EXPECT_EQ(readFile(doc->activityLogPath()), "Start date : 03/01/2010\nMultiCurrency is turned off\n");

    // The next program's engine.
    log.reset();
    log = std::make_unique<CActivityLog>(doc->activityLogPath());
    log->log("not open yet\n");
    log->open();
    log->log("%s %f\n", "Widget", 2.5);
    EXPECT_EQ(readFile(doc->activityLogPath()), "Widget 2.500000\n");
}

TEST_F(ActivityLogTest, AMissingLogIsLostQuietly) {
    std::filesystem::remove_all(doc->getDataFolder());
    std::ofstream(doc->getDataFolder()) << "a file in the way";
    log->open();
    log->log("nothing %d\n", 1);
    std::filesystem::remove(doc->getDataFolder());
}

std::unique_ptr<CQbObject> txn(std::initializer_list<std::pair<const char*, const char*>> fields) {
    auto object = std::make_unique<CQbObject>();
    for (const auto& [name, value] : fields) object->addText(name, value);
    return object;
}

std::unique_ptr<CQbFieldList> line(const char* item, std::initializer_list<std::pair<const char*, const char*>> fields) {
    auto children = std::make_unique<CQbFieldList>();
    if (item) children->addRef("ItemRef", "FullName", item);
    for (const auto& [name, value] : fields) children->addText(name, value);
    return children;
}

TEST_F(ActivityLogTest, RunWideBlocks) {
    log->open();
    CQbObjectList bills;
    auto bill = txn({{"RefNumber", "B-1"}, {"TxnDate", "2010-03-02"}});
    bill->addAggregate("ItemLineRet", line("Widget", {{"Quantity", "6"}, {"Amount", "60.00"}}));
    bill->addAggregate("ItemLineRet", line(nullptr, {{"Quantity", "1"}}));
    auto group = std::make_unique<CQbFieldList>();
    group->addAggregate("ItemLineRet", line("Bolt", {{"Amount", "2.5"}}));
    bill->addAggregate("ItemGroupLineRet", std::move(group));
    bills.add(std::move(bill));
    bills.add(txn({{"RefNumber", "B-2"}, {"TxnDate", "2010-03-03"}}));  // no item lines
    log->receivingTxns(&bills, "Bill", units);
    CQbObjectList none;
    log->receivingTxns(&none, "Check", units);

    CQbObjectList adjustments;
    auto adjustment = txn({{"RefNumber", "7"}, {"TxnDate", "2010-03-04"}});
    adjustment->addAggregate("InventoryAdjustmentLineRet",
                             line("Widget", {{"QuantityDifference", "-3"}, {"ValueDifference", "-30"}}));
    adjustments.add(std::move(adjustment));
    log->inventoryAdjustments(&adjustments);

    CQbObjectList builds;
    auto build = txn({{"RefNumber", "9"}, {"TxnDate", "2010-03-05"}});
    build->addAggregate("ItemInventoryAssemblyRef", line(nullptr, {{"FullName", "Kit"}}));
    build->addText("QuantityToBuild", "2");
    build->addAggregate("ComponentItemLineRet", line("Widget", {{"QuantityNeeded", "4"}}));
    builds.add(std::move(build));
    log->builds(&builds);

    CQbObjectList invoices;
    auto invoice = txn({{"RefNumber", "1001"}});
    invoice->addAggregate("CustomerRef", line(nullptr, {{"FullName", "Ann"}}));
    invoice->addAggregate("InvoiceLineRet", line("Widget", {{"Quantity", "2"}}));
    invoice->addAggregate("InvoiceLineRet", line("Service", {}));
    auto invoiceGroup = std::make_unique<CQbFieldList>();
    invoiceGroup->addAggregate("InvoiceLineRet", line("Bolt", {{"Quantity", "1.5"}}));
    invoice->addAggregate("InvoiceLineGroupRet", std::move(invoiceGroup));
    invoices.add(std::move(invoice));
    log->daySales(&invoices, "Invoice", "InvoiceLineRet", "InvoiceLineGroupRet", units);

    EXPECT_EQ(readFile(doc->activityLogPath()),
              "---------------------\n"
              "Bill # : B-1\nDate : 2010-03-02\nItem Qty Cost\n"
              "Widget 6.000000 60.000000\n"
              "Bolt 0.000000 2.500000\n"  // an amount without a quantity brings in no units
              "---------------------\n"
              "Inventory Adjustment # : 7\nDate : 2010-03-04\nItem Qty Cost\n"
              "Widget -3.000000 -30.000000\n"
              "---------------------\n"
              "Build # : 9\nDate : 2010-03-05\nItem Qty\nKit 2.000000\nWidget 4.000000\n"
              "------------------\n"
              "-- Invoice #1001 for customer Ann :\n"
              "Widget 2.000000\nService 0.000000\nBolt 1.500000\n");
}

}  // namespace

// Lines are formatted whole however long they are: a short one, one just past the
// formatting buffer, and a long one.
TEST_F(ActivityLogTest, LongLinesAreWrittenWhole) {
    log->open();
    const std::string names[] = {"Bolt", std::string(511, 'x'), std::string(5000, 'y')};
    for (const std::string& name : names) log->log("Item : %s %d\n", name.c_str(), 7);
    EXPECT_EQ(readFile(doc->activityLogPath()), "Item : Bolt 7\nItem : " + names[1] + " 7\nItem : " + names[2] + " 7\n");
}
