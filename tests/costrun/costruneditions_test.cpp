// The edition and inventory preferences through a scripted request processor: which
// ProductNames are asked whether they have assemblies, what each answer to that
// question means, and how the Advanced Inventory preferences are read.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "costrundoctestaccess.h"
#include "enginefixture.h"

namespace {

std::string answer(const std::string& status, const std::string& severity, const std::string& inner = "") {
    return responseDocument("<ItemInventoryAssemblyQueryRs statusCode=\"" + status + "\" statusSeverity=\"" +
                            severity + "\" statusMessage=\"Status " + status + "\">" + inner +
                            "</ItemInventoryAssemblyQueryRs>");
}

class EditionTest : public CScriptedEngineTest {};

TEST_F(EditionTest, OnlyAProEditionIsAskedAndOnly3250MeansNoAssemblies) {
    struct CCase {
        const char* product;
        std::string reply;  // empty: no question expected
        bool opens;
        bool assemblies;
    };
    const CCase cases[] = {
        {"QuickBooks Pro 2014", answer("3250", "Error"), true, false},
        {"QuickBooks Desktop Pro Plus 2023", answer("3250", "Error"), true, false},
        {"QuickBooks Pro 2014", answer("0", "Info", "<ItemInventoryAssemblyRet><ListID>1</ListID></ItemInventoryAssemblyRet>"),
         true, true},
        {"QuickBooks Pro 2014", answer("1", "Info"), true, true},
        {"QuickBooks Pro 2014", answer("3260", "Error"), false, true},
        {"QuickBooks: Premier Manufacturing and Wholesale Edition 2012", "", true, true},
        {"QuickBooks Enterprise Solutions: Professional Services 22.0", "", true, true},
        {"QuickBooks Accountant Desktop 2022", "", true, true},
        {"", "", true, true},
    };
    for (const CCase& c : cases) {
        script.requests.clear();
        if (!c.reply.empty()) script.responses.push_back(c.reply);
        engineState(*doc).errorText.clear();
        EXPECT_EQ(doc->readEdition(c.product), c.opens) << c.product << " " << c.reply;
        EXPECT_EQ(doc->hasAssemblies(), c.assemblies) << c.product << " " << c.reply;
        ASSERT_EQ(script.requests.size(), c.reply.empty() ? 0u : 1u) << c.product;
        if (!c.reply.empty()) {
            EXPECT_THAT(script.requests[0], ::testing::HasSubstr("<ItemInventoryAssemblyQueryRq"));
        }
        EXPECT_EQ(doc->getErrorText(), c.opens ? "" : "Status 3260") << c.product;
    }
}

TEST_F(EditionTest, AdvancedInventoryPreferencesAreRead) {
    struct CCase {
        const char* preferences;
        bool sites, receiving;
        const char* tracking;
    };
    const CCase cases[] = {
        {"", false, false, ""},
        {"<MultiLocationInventoryPreferences><IsMultiLocationInventoryAvailable>true</IsMultiLocationInventoryAvailable>"
         "<IsMultiLocationInventoryEnabled>false</IsMultiLocationInventoryEnabled></MultiLocationInventoryPreferences>"
         "<ItemsAndInventoryPreferences><EnhancedInventoryReceivingEnabled>false</EnhancedInventoryReceivingEnabled>"
         "<IsTrackingSerialOrLotNumber>None</IsTrackingSerialOrLotNumber></ItemsAndInventoryPreferences>",
         false, false, ""},
        {"<MultiLocationInventoryPreferences><IsMultiLocationInventoryEnabled>true</IsMultiLocationInventoryEnabled>"
         "</MultiLocationInventoryPreferences>",
         true, false, ""},
        {"<ItemsAndInventoryPreferences><EnhancedInventoryReceivingEnabled>true</EnhancedInventoryReceivingEnabled>"
         "<IsTrackingSerialOrLotNumber>LotNumber</IsTrackingSerialOrLotNumber></ItemsAndInventoryPreferences>",
         false, true, "LotNumber"},
        {"<ItemsAndInventoryPreferences><IsTrackingSerialOrLotNumber>SerialNumber</IsTrackingSerialOrLotNumber>"
         "</ItemsAndInventoryPreferences>",
         false, false, "SerialNumber"},
    };
    for (const CCase& c : cases) {
        const auto list = records(std::string("<PreferencesRet>") + c.preferences + "</PreferencesRet>", "PreferencesRet");
        ASSERT_EQ(list->getSize(), 1);
        doc->readInventoryPreferences(*list->getAt(0));
        EXPECT_EQ(doc->getInventorySites(), c.sites) << c.preferences;
        EXPECT_EQ(doc->getEnhancedReceiving(), c.receiving) << c.preferences;
        EXPECT_EQ(doc->getSerialOrLot(), c.tracking) << c.preferences;
    }
}

}  // namespace
