// Run settings through a scripted request processor: what is read back from the
// company's custom fields and preferences, what is written before the first run (the
// company fields, and the company file's start date) and the commit of each day.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "companyfields.h"
#include "costrundoc.h"
#include "daycommit.h"
#include "days.h"
#include "enginefixture.h"
#include "qbexception.h"
#include "qbsession.h"
#include "qbutils.h"
#include "runsettings.h"
#include "runsummary.h"
#include "scriptedprocessor.h"
#include "tzguard.h"

namespace {

using ::testing::HasSubstr;

std::string ok(const std::string& rs, const std::string& inner = "") {
    return responseDocument("<" + rs + " statusCode=\"0\" statusSeverity=\"Info\" statusMessage=\"Status OK\">" +
                            inner + "</" + rs + ">");
}

std::string dataExtRet(const std::string& name, const std::string& value) {
    return std::string("<DataExtRet><OwnerID>") + kPrivateOwnerId + "</OwnerID><DataExtName>" + name +
           "</DataExtName><DataExtType>STR255TYPE</DataExtType><DataExtValue>" + value +
           "</DataExtValue></DataExtRet>";
}

CDateTime local(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
    return *CDateTime::fromLocal(y, m, d, h, mi, s);
}

// The company fields and the day's commit over the session.
class SettingsTest : public CScriptedSessionTest {
protected:
    CTzGuard tz{"America/New_York"};

    // The company record with the system's custom fields, read into the settings.
    void openCompany(const std::string& companyFields) {
        script.responses.push_back(
            ok("CompanyQueryRs", "<CompanyRet><CompanyName>Acme</CompanyName>" + companyFields + "</CompanyRet>"));
        company = session().queryCompany();
        ASSERT_NE(company, nullptr);
        CCompanyFields::readRunSettings(company.get(), settings);
    }

    // What a refused write says; empty when it was carried out.
    template <typename Write>
    static std::string refusal(Write write) {
        try {
            write();
        } catch (const CQbException& e) {
            return e.getMessage();
        }
        return {};
    }

    std::unique_ptr<CQbObject> company;
    CRunSettings settings;
    CCompanyFields fields{session(), settings};
    CRunSummary summary;
    CDayCommit commit{session(), summary, nullptr};
};

// The company file's own operations: the start date and the definitions of a first run.
class CompanyFileSettingsTest : public CScriptedEngineTest {
protected:
    CTzGuard tz{"America/New_York"};
};

TEST_F(SettingsTest, ANeverValuedFileHasNoDates) {
    openCompany("");
    EXPECT_FALSE(settings.hasStoredStart);
    EXPECT_EQ(settings.startDate, std::nullopt);
    EXPECT_EQ(settings.lastUpToDate, std::nullopt);
    EXPECT_EQ(settings.lastExecTime, std::nullopt);
    EXPECT_THAT(script.requests[0], HasSubstr("<OwnerID>{04C1726A-9530-49E2-927F-91F5477CE3D0}</OwnerID>"));
}

TEST_F(SettingsTest, StoredDatesAreRestoredFromTheCustomFieldsAlone) {
    openCompany(dataExtRet("StartDate", "2010-03-01T00:00:00-05:00") +
                dataExtRet("LastExecTime", "2010-04-02T09:15:30-05:00") +
                dataExtRet("LastUpToDate", "2010-03-31T23:59:59-05:00"));
    EXPECT_TRUE(settings.hasStoredStart);
    EXPECT_EQ(settings.startDate, local(2010, 3, 1));
    EXPECT_EQ(settings.lastUpToDate, local(2010, 3, 31, 23, 59, 59));
    EXPECT_EQ(settings.lastExecTime, local(2010, 4, 2, 9, 15, 30));
}

TEST_F(SettingsTest, TheDayBeforeTheStartMeansNoDayProcessed) {
    openCompany(dataExtRet("StartDate", "2010-03-01T00:00:00-05:00") +
                dataExtRet("LastUpToDate", "2010-02-28T23:59:59-05:00"));
    EXPECT_EQ(settings.lastUpToDate, std::nullopt);
}

TEST_F(SettingsTest, AnUnreadableStartDateCountsAsAbsentButStored) {
    openCompany(dataExtRet("StartDate", "2010") + dataExtRet("LastUpToDate", "junk"));
    EXPECT_TRUE(settings.hasStoredStart);
    EXPECT_EQ(settings.startDate, std::nullopt);
    EXPECT_EQ(settings.lastUpToDate, std::nullopt);

    // The start settings then modify the existing fields instead of adding them.
    settings.startDate = local(2010, 3, 1);
    script.defaultResponse = ok("DataExtModRs");
    ASSERT_EQ(refusal([&] { fields.saveStartSettings(); }), "");
    ASSERT_EQ(script.requests.size(), 3u);  // the company query and two modifications
    EXPECT_THAT(script.requests[1], HasSubstr("<DataExtModRq requestID=\"1688\"><DataExtMod>"));
    EXPECT_THAT(script.requests[1], HasSubstr("<DataExtName>StartDate</DataExtName>"));
    EXPECT_THAT(script.requests[2], HasSubstr("<DataExtName>LastExecTime</DataExtName>"));
}

TEST_F(SettingsTest, FirstRunWritesStartExecTimeAndTheDayBefore) {
    openCompany("");
    settings.startDate = local(2010, 3, 1);
    script.defaultResponse = ok("DataExtAddRs");
    const CDateTime before = CDateTime::now();
    ASSERT_EQ(refusal([&] { fields.saveStartSettings(); }), "");
    ASSERT_TRUE(settings.lastExecTime.has_value());
    EXPECT_GE(*settings.lastExecTime, before);
    ASSERT_EQ(script.requests.size(), 4u);
    EXPECT_THAT(script.requests[1], HasSubstr("<DataExtName>StartDate</DataExtName><OtherDataExtType>Company"
                                              "</OtherDataExtType><DataExtValue>2010-03-01T00:00:00-05:00"));
    EXPECT_THAT(script.requests[2], HasSubstr("<DataExtName>LastExecTime</DataExtName>"));
    EXPECT_THAT(script.requests[3], HasSubstr("<DataExtName>LastUpToDate</DataExtName><OtherDataExtType>"
                                              "Company</OtherDataExtType><DataExtValue>"
                                              "2010-02-28T23:59:59-05:00"));
}

TEST_F(SettingsTest, RefusedWritesAreFailures) {
    openCompany("");
    settings.startDate = local(2010, 3, 1);
    script.defaultResponse = responseDocument(
        "<DataExtAddRs statusCode=\"3180\" statusSeverity=\"Error\" statusMessage=\"There was an error "
        "when saving a data extension.\" />");
    EXPECT_EQ(refusal([&] { fields.saveStartSettings(); }), "There was an error when saving a data extension.");

    // A day's commit QuickBooks did not carry out commits no day.
    EXPECT_NE(refusal([&] { commit.commit(local(2010, 3, 1, 23, 59, 59), {}); }), "");
    EXPECT_EQ(commit.committed(), std::nullopt);
}

// A company file never valued, as a new one is: its start date is stored with the
// first run settings.
TEST_F(CompanyFileSettingsTest, AStoredStartDateIsTheStartOfItsDayAndMarksTheFileValued) {
    ASSERT_FALSE(doc->getSettings().hasStoredStart);
    script.defaultResponse = ok("DataExtAddRs");
    ASSERT_TRUE(doc->storeStartDate(local(2010, 3, 1, 15, 30)));
    EXPECT_EQ(doc->getStartDate(), local(2010, 3, 1));
    EXPECT_TRUE(doc->getSettings().hasStoredStart);
    EXPECT_THAT(script.requests[0], HasSubstr("<DataExtName>StartDate</DataExtName>"));
    EXPECT_THAT(script.requests[0], HasSubstr("<DataExtValue>2010-03-01T00:00:00-05:00</DataExtValue>"));
}

TEST_F(CompanyFileSettingsTest, ARefusedStartDateLeavesTheFileNeverValued) {
    script.defaultResponse = responseDocument(
        "<DataExtAddRs statusCode=\"3180\" statusSeverity=\"Error\" statusMessage=\"locked\" />");
    EXPECT_FALSE(doc->storeStartDate(local(2010, 3, 1)));
    EXPECT_EQ(doc->getErrorText(), "locked");
    EXPECT_EQ(doc->getStartDate(), std::nullopt);
    EXPECT_FALSE(doc->getSettings().hasStoredStart);
}

TEST_F(SettingsTest, AMissingFieldIsAddedWhenItCannotBeModified) {
    openCompany("");
    script.responses.push_back(responseDocument(
        "<DataExtModRs statusCode=\"3120\" statusSeverity=\"Error\" statusMessage=\"Object not found\" />"));
    script.responses.push_back(ok("DataExtAddRs"));
    ASSERT_EQ(refusal([&] { commit.commit(local(2010, 3, 31, 23, 59, 59), {}); }), "");
    EXPECT_EQ(commit.committed(), local(2010, 3, 31, 23, 59, 59));
    ASSERT_EQ(script.requests.size(), 3u);
    EXPECT_THAT(script.requests[1], HasSubstr("<DataExtModRq"));
    EXPECT_THAT(script.requests[2], HasSubstr("<DataExtAddRq requestID=\"1688\"><DataExtAdd><OwnerID>"));
    EXPECT_THAT(script.requests[2], HasSubstr("<DataExtValue>2010-03-31T23:59:59-05:00</DataExtValue>"));
}

TEST_F(SettingsTest, LastUpToDateIsModifiedAfterEachDay) {
    openCompany("");
    script.defaultResponse = ok("DataExtModRs");
    ASSERT_EQ(refusal([&] { commit.commit(local(2010, 3, 31, 23, 59, 59), {}); }), "");
    EXPECT_THAT(script.requests.back(),
                HasSubstr("<DataExtMod><OwnerID>{04C1726A-9530-49E2-927F-91F5477CE3D0}</OwnerID>"
                          "<DataExtName>LastUpToDate</DataExtName><OtherDataExtType>Company"
                          "</OtherDataExtType><DataExtValue>2010-03-31T23:59:59-05:00</DataExtValue>"));
}

TEST_F(CompanyFileSettingsTest, DefinitionsAreAddedOnlyWhenMissing) {
    std::string all;
    for (const char* name : {"StartDate", "LastExecTime", "LastUpToDate", "LastRunTime", "BuildValue"}) {
        all += std::string("<DataExtDefRet><OwnerID>") + kPrivateOwnerId + "</OwnerID><DataExtName>" +
               name + "</DataExtName><DataExtType>STR255TYPE</DataExtType></DataExtDefRet>";
    }
    script.defaultResponse = ok("DataExtDefQueryRs", all);
    ASSERT_TRUE(doc->defineRunFields());
    EXPECT_EQ(script.requests.size(), 5u);
    for (const std::string& request : script.requests) {
        EXPECT_THAT(request, HasSubstr("DataExtDefQueryRq"));
    }

    script.requests.clear();
    script.defaultResponse = ok("DataExtDefQueryRs");
    ASSERT_TRUE(doc->defineRunFields());
    // One look-up and one definition per field.
    EXPECT_EQ(script.requests.size(), 10u);
    int adds = 0;
    for (const std::string& request : script.requests) adds += request.find("DataExtDefAddRq") != std::string::npos;
    EXPECT_EQ(adds, 5);
    EXPECT_THAT(script.requests.back(), HasSubstr("<DataExtName>BuildValue</DataExtName><DataExtType>"
                                                  "STR255TYPE</DataExtType><AssignToObject>BuildAssembly"));
}

TEST_F(CompanyFileSettingsTest, ADefinitionOfAnotherTypeStopsTheFirstRun) {
    script.defaultResponse = ok(
        "DataExtDefQueryRs", std::string("<DataExtDefRet><OwnerID>") + kPrivateOwnerId +
                                 "</OwnerID><DataExtName>StartDate</DataExtName><DataExtType>DATETIMETYPE"
                                 "</DataExtType></DataExtDefRet>");
    EXPECT_FALSE(doc->defineRunFields());
    EXPECT_EQ(doc->getErrorText(), "StartDate already exists but different with different data type");
}

TEST_F(SettingsTest, PreferencesSetMultiCurrency) {
    auto readPreferences = [this] {
        const std::unique_ptr<CQbObject> preferences = session().queryPreferences();
        if (preferences) CCompanyFields::readPreferences(*preferences, settings);
        return preferences != nullptr;
    };
    script.responses.push_back(ok("PreferencesQueryRs", "<PreferencesRet><MultiCurrencyPreferences>"
                                                        "<IsMultiCurrencyOn>true</IsMultiCurrencyOn>"
                                                        "</MultiCurrencyPreferences></PreferencesRet>"));
    ASSERT_TRUE(readPreferences());
    EXPECT_TRUE(settings.multiCurrency);
    script.responses.push_back(ok("PreferencesQueryRs", "<PreferencesRet><MultiCurrencyPreferences>"
                                                        "<IsMultiCurrencyOn>false</IsMultiCurrencyOn>"
                                                        "</MultiCurrencyPreferences></PreferencesRet>"));
    ASSERT_TRUE(readPreferences());
    EXPECT_FALSE(settings.multiCurrency);
    // Without preferences the company file does not open.
    script.responses.push_back(ok("PreferencesQueryRs"));
    EXPECT_FALSE(readPreferences());
    CCostrunDoc doc(folders());
    script.responses.push_back(hostResponse({"13.0"}));
    script.responses.push_back(ok("CompanyQueryRs", "<CompanyRet><CompanyName>Acme</CompanyName></CompanyRet>"));
    script.responses.push_back(ok("PreferencesQueryRs"));
    EXPECT_FALSE(doc.openCompany("/data/company.qbw"));
    EXPECT_EQ(doc.getErrorText(), "Fail to retrieve the file configuration.");
}

TEST(CostrunDates, DayBoundsFollowTheLocalCalendar) {
    CTzGuard tz("America/New_York");
    const CDateTime noon = *CDateTime::fromLocal(2010, 3, 14, 12, 0, 0);  // a daylight-saving change day
    EXPECT_EQ(endOfDay(noon), *CDateTime::fromLocal(2010, 3, 14, 23, 59, 59));
    EXPECT_EQ(startOfDay(noon), *CDateTime::fromLocal(2010, 3, 14, 0, 0, 0));
    // Across the spring change a day is 23 hours long; no calendar day is skipped.
    const CDateTime end13 = *CDateTime::fromLocal(2010, 3, 13, 23, 59, 59);
    EXPECT_EQ(nextDay(end13), *CDateTime::fromLocal(2010, 3, 14, 23, 59, 59));
    EXPECT_EQ(nextDay(nextDay(end13)), *CDateTime::fromLocal(2010, 3, 15, 23, 59, 59));
    const CDateTime end7 = *CDateTime::fromLocal(2010, 11, 7, 0, 30, 0);  // autumn change day
    EXPECT_EQ(previousDay(end7), *CDateTime::fromLocal(2010, 11, 6, 0, 30, 0));
    EXPECT_EQ(nextDay(*CDateTime::fromLocal(2010, 12, 31, 23, 59, 59)), *CDateTime::fromLocal(2011, 1, 1, 23, 59, 59));
}

}  // namespace
