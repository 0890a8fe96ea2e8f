// The editions the stand-in behaves as: QuickBooks Pro refuses what concerns assemblies
// with status 3250 and names itself in HostQuery; Enterprise alone carries the Advanced
// Inventory preferences, reported in PreferencesQuery's answer in schema order. Every
// request and answer goes through Intuit's schema when it is at hand.
#include "qbsimvaluationfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

using ::testing::HasSubstr;

namespace {

class QbSimEditionsTest : public CValuationFixture {
protected:
    // Without Intuit's schema at hand the requests and answers go unchecked.
    void SetUp() override { checkSchema(false); }

    // A company of the options with 10 Gears bought on 01/01/2024.
    void make(CQbSimCompanyOptions options) {
        options.name = "Edition Co";
        open(options);
        inventoryItem("Gear", "10.00");
        ok(receipt("Bill", "2024-01-01", "Gear", "10", "10.00"));
    }
};

const char* const kNotAvailable = "This feature is not enabled or not available in this version of QuickBooks.";

// Each request, and whether Pro refuses it; the other editions carry every one out
// (status 0, or 1 for a query that finds nothing).
struct CEditionCase {
    const char* what;
    const char* request;
    int proStatus;
};

const CEditionCase kEditionCases[] = {
    {"assembly item query", "<ItemInventoryAssemblyQueryRq><MaxReturned>1</MaxReturned></ItemInventoryAssemblyQueryRq>",
     3250},
    {"assembly item add",
     "<ItemInventoryAssemblyAddRq><ItemInventoryAssemblyAdd><Name>Box</Name>"
     "<IncomeAccountRef><FullName>Sales</FullName></IncomeAccountRef>"
     "<COGSAccountRef><FullName>COGS</FullName></COGSAccountRef>"
     "<AssetAccountRef><FullName>Inventory Asset</FullName></AssetAccountRef>"
     "<ItemInventoryAssemblyLine><ItemInventoryRef><FullName>Gear</FullName></ItemInventoryRef>"
     "<Quantity>2</Quantity></ItemInventoryAssemblyLine></ItemInventoryAssemblyAdd></ItemInventoryAssemblyAddRq>",
     3250},
    {"build query",
     "<BuildAssemblyQueryRq><TxnDateRangeFilter><FromTxnDate>2024-01-01</FromTxnDate></TxnDateRangeFilter>"
     "<IncludeComponentLineItems>true</IncludeComponentLineItems></BuildAssemblyQueryRq>",
     3250},
    {"build add",
     "<BuildAssemblyAddRq><BuildAssemblyAdd><ItemInventoryAssemblyRef><FullName>Box</FullName>"
     "</ItemInventoryAssemblyRef><TxnDate>2024-01-02</TxnDate><QuantityToBuild>1</QuantityToBuild>"
     "</BuildAssemblyAdd></BuildAssemblyAddRq>",
     3250},
    {"assembly valuation",
     "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary</GeneralSummaryReportType>"
     "<ReportPeriod><ToReportDate>2024-01-02</ToReportDate></ReportPeriod>"
     "<ReportItemFilter><ItemTypeFilter>Assembly</ItemTypeFilter></ReportItemFilter></GeneralSummaryReportQueryRq>",
     3250},
    {"custom field on builds",
     "<DataExtDefAddRq><DataExtDefAdd><OwnerID>{04C1726A-9530-49E2-927F-91F5477CE3D0}</OwnerID>"
     "<DataExtName>BuildValue</DataExtName><DataExtType>STR255TYPE</DataExtType>"
     "<AssignToObject>BuildAssembly</AssignToObject></DataExtDefAdd></DataExtDefAddRq>",
     3250},
    {"deleted builds",
     "<TxnDeletedQueryRq><TxnDelType>Bill</TxnDelType><TxnDelType>BuildAssembly</TxnDelType></TxnDeletedQueryRq>",
     3250},
    {"inventory valuation",
     "<GeneralSummaryReportQueryRq><GeneralSummaryReportType>InventoryValuationSummary</GeneralSummaryReportType>"
     "<ReportPeriod><ToReportDate>2024-01-02</ToReportDate></ReportPeriod>"
     "<ReportItemFilter><ItemTypeFilter>Inventory</ItemTypeFilter></ReportItemFilter></GeneralSummaryReportQueryRq>",
     0},
    {"inventory items", "<ItemInventoryQueryRq><MaxReturned>1</MaxReturned></ItemInventoryQueryRq>", 0},
    {"deleted bills", "<TxnDeletedQueryRq><TxnDelType>Bill</TxnDelType></TxnDeletedQueryRq>", 0},
};

TEST_F(QbSimEditionsTest, ProRefusesWhatConcernsAssemblies) {
    for (const char* edition : {"pro", "premier", "enterprise"}) {
        CQbSimCompanyOptions options;
        options.edition = edition;
        make(options);
        const bool pro = std::string(edition) == "pro";
        for (const CEditionCase& c : kEditionCases) {
            const auto rs = send(c.request);
            ASSERT_EQ(rs.size(), 1u) << edition << ", " << c.what;
            if (pro && c.proStatus == 3250) {
                EXPECT_EQ(rs[0].code, 3250) << edition << ", " << c.what;
                EXPECT_EQ(rs[0].severity, "Error") << c.what;
                EXPECT_EQ(rs[0].message, kNotAvailable) << c.what;
            } else {
                EXPECT_TRUE(rs[0].code == 0 || rs[0].code == 1) << edition << ", " << c.what << ": " << rs[0].message;
            }
        }
    }
}

TEST_F(QbSimEditionsTest, HostQueryNamesTheEdition) {
    const std::pair<const char*, const char*> cases[] = {
        {"pro", "QuickBooks Pro"}, {"premier", "QuickBooks: Premier"}, {"enterprise", "QuickBooks Enterprise"}};
    for (const auto& [edition, product] : cases) {
        CQbSimCompanyOptions options;
        options.edition = edition;
        make(options);
        const auto rs = send("<HostQueryRq/>");
        EXPECT_THAT(textAt(rs[0].rets()[0], "ProductName"), HasSubstr(product)) << edition;
    }
    // A file made before editions were kept behaves as it always did: as Enterprise.
    company->setSetting("edition", "");
    EXPECT_EQ(company->edition(), CQbSimEdition::Enterprise);
}

TEST_F(QbSimEditionsTest, PreferencesReportTheAdvancedInventoryOptions) {
    // Options, and IsMultiLocationInventoryAvailable, IsMultiLocationInventoryEnabled,
    // EnhancedInventoryReceivingEnabled and IsTrackingSerialOrLotNumber as answered.
    struct CCase {
        bool sites, receiving;
        const char* tracking;
        const char* expected;
    };
    const CCase cases[] = {
        {false, false, "None", "false false false None"},
        {true, false, "None", "true true false None"},
        {false, true, "None", "false false true None"},
        {false, false, "SerialNumber", "true false false SerialNumber"},
        {true, true, "LotNumber", "true true true LotNumber"},
    };
    for (const CCase& c : cases) {
        CQbSimCompanyOptions options;
        options.inventorySites = c.sites;
        options.enhancedReceiving = c.receiving;
        options.serialOrLot = c.tracking;
        make(options);
        const auto rs = send("<PreferencesQueryRq/>");
        xmlNodePtr preferences = rs[0].rets()[0];
        EXPECT_EQ(textAt(preferences, "MultiLocationInventoryPreferences/IsMultiLocationInventoryAvailable") + " " +
                      textAt(preferences, "MultiLocationInventoryPreferences/IsMultiLocationInventoryEnabled") + " " +
                      textAt(preferences, "ItemsAndInventoryPreferences/EnhancedInventoryReceivingEnabled") + " " +
                      textAt(preferences, "ItemsAndInventoryPreferences/IsTrackingSerialOrLotNumber"),
                  c.expected);
    }
}

TEST(QbSimEditionOptions, AdvancedInventoryIsEnterpriseOnly) {
    CTempDir dir;
    struct CCase {
        const char* edition;
        bool sites, receiving;
        const char* tracking;
        bool created;
    };
    const CCase cases[] = {
        {"pro", false, false, "None", true},          {"premier", false, false, "None", true},
        {"pro", true, false, "None", false},          {"premier", false, true, "None", false},
        {"premier", false, false, "LotNumber", false}, {"enterprise", true, true, "SerialNumber", true},
        {"standard", false, false, "None", false},    {"enterprise", false, false, "Batch", false},
    };
    int n = 0;
    for (const CCase& c : cases) {
        CQbSimCompanyOptions options;
        options.name = "Co";
        options.edition = c.edition;
        options.inventorySites = c.sites;
        options.enhancedReceiving = c.receiving;
        options.serialOrLot = c.tracking;
        const std::string file = dir.file("co" + std::to_string(n++) + ".qbw");
        if (c.created) {
            EXPECT_NO_THROW(CQbSimCompany::create(file, options)) << c.edition;
        } else {
            EXPECT_THROW(CQbSimCompany::create(file, options), CQbSimCompanyError) << c.edition << " " << c.tracking;
            EXPECT_FALSE(std::filesystem::exists(file));
        }
    }

    // The tool's options reach the file; two kinds of tracking at once, or sites in Pro, fail.
    const auto tool = [&dir](const std::string& file, const std::string& options) {
        return std::system(("'" + std::string(QBSIM_TOOL) + "' create '" + dir.file(file) + "' --name T " + options +
                            " 2>/dev/null")
                               .c_str());
    };
    ASSERT_EQ(tool("tool.qbw", "--edition enterprise --inventory-sites --enhanced-receiving --lot-numbers"), 0);
    const auto company = CQbSimCompany::open(dir.file("tool.qbw"));
    EXPECT_TRUE(company->edition() == CQbSimEdition::Enterprise && company->inventorySites() &&
                company->enhancedReceiving() && company->serialOrLot() == "LotNumber");
    EXPECT_NE(tool("both.qbw", "--serial-numbers --lot-numbers"), 0);
    EXPECT_NE(tool("prosites.qbw", "--edition pro --inventory-sites"), 0);
    ASSERT_EQ(tool("pro.qbw", "--edition pro"), 0);
    EXPECT_EQ(CQbSimCompany::open(dir.file("pro.qbw"))->edition(), CQbSimEdition::Pro);
}

}  // namespace
