// The edition through a scripted request processor: which ProductNames are asked
// whether they have assemblies, and what each answer to that question means.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "companyfields.h"
#include "enginefixture.h"
#include "qbexception.h"

namespace {

std::string answer(const std::string& status, const std::string& severity, const std::string& inner = "") {
    return responseDocument("<ItemInventoryAssemblyQueryRs statusCode=\"" + status + "\" statusSeverity=\"" +
                            severity + "\" statusMessage=\"Status " + status + "\">" + inner +
                            "</ItemInventoryAssemblyQueryRs>");
}

class EditionTest : public CScriptedSessionTest {};

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
        CRunSettings settings;
        std::string error;
        try {
            CCompanyFields(session(), settings).readEdition(c.product);
        } catch (const CQbException& e) {
            error = e.getMessage();
        }
        EXPECT_EQ(error.empty(), c.opens) << c.product << " " << c.reply;
        EXPECT_EQ(settings.assemblies, c.assemblies) << c.product << " " << c.reply;
        EXPECT_EQ(settings.productName, c.product);
        ASSERT_EQ(script.requests.size(), c.reply.empty() ? 0u : 1u) << c.product;
        if (!c.reply.empty()) {
            EXPECT_THAT(script.requests[0], ::testing::HasSubstr("<ItemInventoryAssemblyQueryRq"));
        }
        EXPECT_EQ(error, c.opens ? "" : "Status 3260") << c.product;
    }
}

}  // namespace
