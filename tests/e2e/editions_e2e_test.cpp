// Editions and inventory preferences, end to end on the stand-in. A QuickBooks Pro
// company (no assemblies: every assembly request is refused with 3250) is valued from its
// inventory items with nothing about assemblies asked after the one question at open;
// inventory sites and Enhanced Inventory Receiving make Process refuse before anything
// is written; serial or lot number tracking alone changes nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2efixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// Accounts, a vendor, a customer and the inventory items Widget and Bolt. 04/01 Widgets
// 10 at 5.00, then 10 at 8.00, Bolts 4 at 2.00; 04/02 Bolts 4 at 3.00 and 12 Widgets
// sold; 04/03 5 Bolts sold.
std::string editionsCompany() {
    CCompanyBuilder company;
    company.account("Sales", "Income").account("Cost of Goods Sold", "CostOfGoodsSold");
    company.account("Inventory Asset", "OtherCurrentAsset").vendor("Acme Supply").customer("Bright Shop");
    company.item("Widget");
    company.item("Bolt");
    company.bill("2010-04-01", "B-1").line("Widget", 10, 5.00).line("Bolt", 4, 2.00);
    company.bill("2010-04-01", "B-2").line("Widget", 10, 8.00);
    company.bill("2010-04-02", "B-3").line("Bolt", 4, 3.00);
    company.invoice("2010-04-02", "1001").line("Widget", 12);
    company.invoice("2010-04-03", "1002").line("Bolt", 5);
    return company;
}

class Editions : public ValuationRun {
protected:
    // The company of editionsCompany() in a file of the given edition and preferences.
    std::string companyOf(CQbSimCompanyOptions options) {
        options.name = "Acme Hardware";
        return companyWith(editionsCompany(), options);
    }

    std::string eventLog() const { return readFile((dir / "appdata" / "Veltrane" / "Lotwise" / "qbevent.log").string()); }

    static std::size_t occurrences(const std::string& text, const std::string& what) {
        std::size_t count = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
        return count;
    }

    // Nothing of the system's is in the file: no custom-field value or definition (after a
    // rewind to the start, the definitions of the company's fields stay, never one for
    // builds), no posting.
    void expectUntouched(const std::string& path, const std::string& what, bool rewound = false) {
        const std::string owner = std::string("<OwnerID>") + kPrivateOwnerId + "</OwnerID>";
        EXPECT_THAT(answer(path, "<CompanyQueryRq>" + owner + "</CompanyQueryRq>"), Not(HasSubstr("<DataExtRet>")))
            << what;
        EXPECT_THAT(answer(path, "<DataExtDefQueryRq>" + owner + "</DataExtDefQueryRq>"),
                    Not(HasSubstr(rewound ? "<DataExtName>BuildValue</DataExtName>" : "<DataExtDefRet>")))
            << what;
        EXPECT_TRUE(postings(path).empty()) << what;
    }

    // 04/02: QuickBooks' average leaves 8 Widgets at 6.50 (52.00), FIFO the second ten's
    // 8 x 8.00 = 64.00. 04/03: the average leaves 3 Bolts at 2.50 (7.50), FIFO 3 x 3.00 = 9.00.
    const std::vector<CPostingRow> fifoBooks = {
        {"2010-04-02", "Cost of Goods Sold", "", "Bright Shop", "Widget", 12.00},
        {"2010-04-03", "Cost of Goods Sold", "", "Bright Shop", "Bolt", 1.50}};
};

TEST_F(Editions, AProCompanyIsValuedWithoutAskingAboutAssemblies) {
    CQbSimCompanyOptions pro;
    pro.edition = "pro";
    const std::string path = companyOf(pro);
    std::string status;
    auto dlg = window();
    ASSERT_TRUE(dlg->openFile(path)) << dlg->statusText();
    EXPECT_FALSE(dlg->getEngine()->getSettings().assemblies);
    dlg->setDate(kIdcStartDate, day(2010, 4, 1));
    dlg->setDate(kIdcUpToDate, day(2010, 4, 3));
    ASSERT_TRUE(dlg->onProcess()) << dlg->statusText();
    EXPECT_THAT(dlg->statusText(), Not(HasSubstr("Warning")));
    expectPostings(path, fifoBooks);
    EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 3), "Widget"), std::make_pair(8.0, 64.0));
    EXPECT_EQ(carried(*dlg->getEngine(), day(2010, 4, 3), "Bolt"), std::make_pair(3.0, 9.0));
    EXPECT_THAT(dlg->getEngine()->getRunSummary().text(), HasSubstr("QuickBooks now carries the FIFO value of 2 of 2 items on hand"));

    // The one question at open, answered 3250; nothing about assemblies or builds after it.
    std::string log = eventLog();
    EXPECT_EQ(occurrences(log, "<ItemInventoryAssemblyQueryRq"), 1u);
    EXPECT_THAT(log, HasSubstr("<ItemInventoryAssemblyQueryRs "));
    EXPECT_EQ(occurrences(log, "statusCode=\"3250\""), 1u);
    EXPECT_THAT(log, Not(HasSubstr("BuildAssembly")));
    EXPECT_THAT(log, Not(HasSubstr("<ItemTypeFilter>Assembly<")));
    EXPECT_THAT(log, Not(HasSubstr("BuildValue")));
    dlg.reset();

    // Opening again (the check for changes behind the valued period) and a rewind to the
    // start date do without builds too, and leave no trace of the system.
    std::string question;
    ASSERT_TRUE(rewind(path, day(2010, 4, 1), &status, &question)) << status;
    EXPECT_THAT(status, StartsWith("Rewind completed. 2 value adjustments were deleted"));
    log = eventLog();
    EXPECT_EQ(occurrences(log, "statusCode=\"3250\""), 1u);
    EXPECT_THAT(log, Not(HasSubstr("BuildAssembly")));
    expectUntouched(path, "after the rewind", true);
}

TEST_F(Editions, AdvancedInventoryPreferencesRefuseProcessBeforeAnythingIsWritten) {
    struct CCase {
        const char* what;
        bool sites, receiving;
        const char* tracking;
        std::vector<std::string> refusals;  // empty: valued as usual
    };
    const CCase cases[] = {
        {"inventory sites", true, false, "None", {"Multiple inventory sites are turned on"}},
        {"enhanced receiving", false, true, "None", {"Enhanced Inventory Receiving is turned on"}},
        {"both", true, true, "None",
         {"Multiple inventory sites are turned on", "Enhanced Inventory Receiving is turned on"}},
        {"serial numbers", false, false, "SerialNumber", {}},
        {"lot numbers", false, false, "LotNumber", {}},
    };
    for (const CCase& c : cases) {
        CQbSimCompanyOptions options;
        options.inventorySites = c.sites;
        options.enhancedReceiving = c.receiving;
        options.serialOrLot = c.tracking;
        const std::string path = companyOf(options);
        std::string status;
        const bool done = run(path, day(2010, 4, 1), day(2010, 4, 3), &status);
        if (c.refusals.empty()) {
            EXPECT_TRUE(done) << c.what << ": " << status;
            expectPostings(path, fifoBooks);
            continue;
        }
        EXPECT_FALSE(done) << c.what;
        EXPECT_THAT(status, StartsWith("Request failed.  ")) << c.what;
        for (const std::string& refusal : c.refusals) EXPECT_THAT(status, HasSubstr(refusal)) << c.what;
        EXPECT_THAT(status, HasSubstr("cannot value such a file yet")) << c.what;
        expectUntouched(path, c.what);
    }
}

}  // namespace
