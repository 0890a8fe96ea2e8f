// Run settings through a scripted request processor: what is read back from the
// company's custom fields and what is written before the first run and after each day.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "costrundoc.h"
#include "qbsession.h"
#include "qbutils.h"
#include "enginefixture.h"
#include "scriptedprocessor.h"
#include "tzguard.h"
#include "costrundoctestaccess.h"

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

class SettingsTest : public CScriptedEngineTest {
protected:
    CTzGuard tz{"America/New_York"};

    void openCompany(const std::string& fields) {
        script.responses.push_back(
            ok("CompanyQueryRs", "<CompanyRet><CompanyName>Acme</CompanyName>" + fields + "</CompanyRet>"));
        ASSERT_TRUE(doc->loadCompany());
        doc->loadRunSettings();
    }

    static CDateTime local(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
        return *CDateTime::fromLocal(y, m, d, h, mi, s);
    }
};

TEST_F(SettingsTest, ANeverValuedFileHasNoDates) {
    openCompany("");
    EXPECT_FALSE(engineState(*doc).settings.hasStoredStart);
    EXPECT_EQ(doc->getStartDate(), std::nullopt);
    EXPECT_EQ(doc->getLastUpToDate(), std::nullopt);
    EXPECT_EQ(doc->getLastExecTime(), std::nullopt);
    EXPECT_THAT(script.requests[0], HasSubstr("<OwnerID>{04C1726A-9530-49E2-927F-91F5477CE3D0}</OwnerID>"));
}

TEST_F(SettingsTest, StoredDatesAreRestoredFromTheCustomFieldsAlone) {
    openCompany(dataExtRet("StartDate", "2010-03-01T00:00:00-05:00") +
                dataExtRet("LastExecTime", "2010-04-02T09:15:30-05:00") +
                dataExtRet("LastUpToDate", "2010-03-31T23:59:59-05:00"));
    EXPECT_TRUE(engineState(*doc).settings.hasStoredStart);
    EXPECT_EQ(doc->getStartDate(), local(2010, 3, 1));
    EXPECT_EQ(doc->getLastUpToDate(), local(2010, 3, 31, 23, 59, 59));
    EXPECT_EQ(doc->getLastExecTime(), local(2010, 4, 2, 9, 15, 30));
}

TEST_F(SettingsTest, TheDayBeforeTheStartMeansNoDayProcessed) {
    openCompany(dataExtRet("StartDate", "2010-03-01T00:00:00-05:00") +
                dataExtRet("LastUpToDate", "2010-02-28T23:59:59-05:00"));
    EXPECT_EQ(doc->getLastUpToDate(), std::nullopt);
}

TEST_F(SettingsTest, AnUnreadableStartDateCountsAsAbsentButStored) {
    openCompany(dataExtRet("StartDate", "2010") + dataExtRet("LastUpToDate", "junk"));
    EXPECT_TRUE(engineState(*doc).settings.hasStoredStart);
    EXPECT_EQ(doc->getStartDate(), std::nullopt);
    EXPECT_EQ(doc->getLastUpToDate(), std::nullopt);

    // The start settings then modify the existing fields instead of adding them.
    engineState(*doc).settings.startDate = local(2010, 3, 1);
    script.defaultResponse = ok("DataExtModRs");
    ASSERT_TRUE(doc->saveStartSettings());
    ASSERT_EQ(script.requests.size(), 3u);  // the company query and two modifications
    EXPECT_THAT(script.requests[1], HasSubstr("<DataExtModRq requestID=\"1688\"><DataExtMod>"));
    EXPECT_THAT(script.requests[1], HasSubstr("<DataExtName>StartDate</DataExtName>"));
    EXPECT_THAT(script.requests[2], HasSubstr("<DataExtName>LastExecTime</DataExtName>"));
}

TEST_F(SettingsTest, FirstRunWritesStartExecTimeAndTheDayBefore) {
    openCompany("");
    engineState(*doc).settings.startDate = local(2010, 3, 1);
    script.defaultResponse = ok("DataExtAddRs");
    const CDateTime before = CDateTime::now();
    ASSERT_TRUE(doc->saveStartSettings());
    ASSERT_TRUE(doc->getLastExecTime().has_value());
    EXPECT_GE(*doc->getLastExecTime(), before);
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
    engineState(*doc).settings.startDate = local(2010, 3, 1);
    script.defaultResponse = responseDocument(
        "<DataExtAddRs statusCode=\"3180\" statusSeverity=\"Error\" statusMessage=\"There was an error "
        "when saving a data extension.\" />");
    EXPECT_FALSE(doc->saveStartSettings());
    EXPECT_EQ(doc->getErrorText(), "There was an error when saving a data extension.");

    engineState(*doc).settings.lastUpToDate = local(2010, 3, 1, 23, 59, 59);
    EXPECT_FALSE(doc->saveLastUpToDate());
    engineState(*doc).settings.lastUpToDate.reset();
    EXPECT_FALSE(doc->saveLastUpToDate());
}

TEST_F(SettingsTest, AStoredStartDateIsTheStartOfItsDayAndMarksTheFileValued) {
    openCompany("");
    script.defaultResponse = ok("DataExtAddRs");
    ASSERT_TRUE(doc->storeStartDate(local(2010, 3, 1, 15, 30)));
    EXPECT_EQ(doc->getStartDate(), local(2010, 3, 1));
    EXPECT_TRUE(engineState(*doc).settings.hasStoredStart);
    EXPECT_THAT(script.requests[1], HasSubstr("<DataExtValue>2010-03-01T00:00:00-05:00</DataExtValue>"));
}

TEST_F(SettingsTest, ARefusedStartDateLeavesTheFileNeverValued) {
    openCompany("");
    script.defaultResponse = responseDocument(
        "<DataExtAddRs statusCode=\"3180\" statusSeverity=\"Error\" statusMessage=\"locked\" />");
    EXPECT_FALSE(doc->storeStartDate(local(2010, 3, 1)));
    EXPECT_EQ(doc->getErrorText(), "locked");
    EXPECT_EQ(doc->getStartDate(), std::nullopt);
    EXPECT_FALSE(engineState(*doc).settings.hasStoredStart);
}

TEST_F(SettingsTest, AMissingFieldIsAddedWhenItCannotBeModified) {
    openCompany("");
    engineState(*doc).settings.lastUpToDate = local(2010, 3, 31, 23, 59, 59);
    script.responses.push_back(responseDocument(
        "<DataExtModRs statusCode=\"3120\" statusSeverity=\"Error\" statusMessage=\"Object not found\" />"));
    script.responses.push_back(ok("DataExtAddRs"));
    ASSERT_TRUE(doc->saveLastUpToDate()) << doc->getErrorText();
    ASSERT_EQ(script.requests.size(), 3u);
    EXPECT_THAT(script.requests[1], HasSubstr("<DataExtModRq"));
    EXPECT_THAT(script.requests[2], HasSubstr("<DataExtAddRq requestID=\"1688\"><DataExtAdd><OwnerID>"));
    EXPECT_THAT(script.requests[2], HasSubstr("<DataExtValue>2010-03-31T23:59:59-05:00</DataExtValue>"));
}

TEST_F(SettingsTest, LastUpToDateIsModifiedAfterEachDay) {
    openCompany("");
    engineState(*doc).settings.lastUpToDate = local(2010, 3, 31, 23, 59, 59);
    script.defaultResponse = ok("DataExtModRs");
    ASSERT_TRUE(doc->saveLastUpToDate());
    EXPECT_THAT(script.requests.back(),
                HasSubstr("<DataExtMod><OwnerID>{04C1726A-9530-49E2-927F-91F5477CE3D0}</OwnerID>"
                          "<DataExtName>LastUpToDate</DataExtName><OtherDataExtType>Company"
                          "</OtherDataExtType><DataExtValue>2010-03-31T23:59:59-05:00</DataExtValue>"));
}

TEST_F(SettingsTest, DefinitionsAreAddedOnlyWhenMissing) {
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

TEST_F(SettingsTest, ADefinitionOfAnotherTypeStopsTheFirstRun) {
    script.defaultResponse = ok(
        "DataExtDefQueryRs", std::string("<DataExtDefRet><OwnerID>") + kPrivateOwnerId +
                                 "</OwnerID><DataExtName>StartDate</DataExtName><DataExtType>DATETIMETYPE"
                                 "</DataExtType></DataExtDefRet>");
    EXPECT_FALSE(doc->defineRunFields());
    EXPECT_EQ(doc->getErrorText(), "StartDate already exists but different with different data type");
}

TEST_F(SettingsTest, PreferencesSetMultiCurrency) {
    script.responses.push_back(ok("PreferencesQueryRs", "<PreferencesRet><MultiCurrencyPreferences>"
                                                        "<IsMultiCurrencyOn>true</IsMultiCurrencyOn>"
                                                        "</MultiCurrencyPreferences></PreferencesRet>"));
    ASSERT_TRUE(doc->loadPreferences());
    EXPECT_TRUE(doc->getMultiCurrency());
    script.responses.push_back(ok("PreferencesQueryRs", "<PreferencesRet><MultiCurrencyPreferences>"
                                                        "<IsMultiCurrencyOn>false</IsMultiCurrencyOn>"
                                                        "</MultiCurrencyPreferences></PreferencesRet>"));
    ASSERT_TRUE(doc->loadPreferences());
    EXPECT_FALSE(doc->getMultiCurrency());
    script.responses.push_back(ok("PreferencesQueryRs"));
    EXPECT_FALSE(doc->loadPreferences());
    EXPECT_EQ(doc->getErrorText(), "Fail to retrieve the file configuration.");
}

TEST(CostrunDates, DayBoundsFollowTheLocalCalendar) {
    CTzGuard tz("America/New_York");
    const CDateTime noon = *CDateTime::fromLocal(2010, 3, 14, 12, 0, 0);  // a daylight-saving change day
    EXPECT_EQ(CCostrunDoc::endOfDay(noon), *CDateTime::fromLocal(2010, 3, 14, 23, 59, 59));
    EXPECT_EQ(CCostrunDoc::startOfDay(noon), *CDateTime::fromLocal(2010, 3, 14, 0, 0, 0));
    // Across the spring change a day is 23 hours long; no calendar day is skipped.
    const CDateTime end13 = *CDateTime::fromLocal(2010, 3, 13, 23, 59, 59);
    EXPECT_EQ(CCostrunDoc::nextDay(end13), *CDateTime::fromLocal(2010, 3, 14, 23, 59, 59));
    EXPECT_EQ(CCostrunDoc::nextDay(CCostrunDoc::nextDay(end13)),
              *CDateTime::fromLocal(2010, 3, 15, 23, 59, 59));
    const CDateTime end7 = *CDateTime::fromLocal(2010, 11, 7, 0, 30, 0);  // autumn change day
    EXPECT_EQ(CCostrunDoc::previousDay(end7), *CDateTime::fromLocal(2010, 11, 6, 0, 30, 0));
    EXPECT_EQ(CCostrunDoc::nextDay(*CDateTime::fromLocal(2010, 12, 31, 23, 59, 59)),
              *CDateTime::fromLocal(2011, 1, 1, 23, 59, 59));
}

}  // namespace
