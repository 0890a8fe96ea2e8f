// Run settings kept in the company file as custom fields under the system's owner id:
// "StartDate", "LastExecTime", "LastUpToDate", "LastRunTime" on the company and the
// definition of "BuildValue" on build assembly transactions.
#include "costrundoc.h"

#include "qbexception.h"
#include "qbprogress.h"
#include "qbutils.h"

namespace {

struct CRunField {
    const char* name;
    const char* assignTo;
};

constexpr CRunField kRunFields[] = {{"StartDate", "Company"},
                                    {"LastExecTime", "Company"},
                                    {"LastUpToDate", "Company"},
                                    {"LastRunTime", "Company"},
                                    {"BuildValue", "BuildAssembly"}};
constexpr const char* kRunFieldType = "STR255TYPE";

// A custom-field write that QuickBooks refused counts as a failure: otherwise a run
// would go on believing its settings were stored.
void requireSuccess(const CQbRequestBase& session) {
    if (!session.succeeded()) throw CQbException(session.refusalText("DataExtModRq"));
}

}  // namespace

bool CCostrunDoc::loadCompany() {
    company.reset();
    if (!session) return false;
    try {
        company = session->queryCompany();
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return false;
    }
    return company != nullptr;
}

void CCostrunDoc::loadRunSettings() {
    settings.startDate.reset();
    settings.lastExecTime.reset();
    settings.lastUpToDate.reset();
    settings.lastRunTime.reset();
    settings.hasStoredStart = false;
    if (!company) return;

    if (company->findPrivateDataExt("StartDate") != nullptr) {
        settings.startDate = company->findPrivateDataExt("StartDate")->getDate();
        settings.hasStoredStart = true;
    }
    if (const CQbField* field = company->findPrivateDataExt("LastExecTime")) {
        settings.lastExecTime = field->getDateTime();
    }
    if (const CQbField* field = company->findPrivateDataExt("LastRunTime")) {
        settings.lastRunTime = field->getDateTime();
    }
    if (const CQbField* field = company->findPrivateDataExt("LastUpToDate")) {
        if (std::optional<CDateTime> date = field->getDate()) settings.lastUpToDate = endOfDay(*date);
    }
    // The value the first run stores before any day (the day before the start date)
    // means that no day has been processed.
    if (settings.hasStoredStart && settings.startDate && settings.lastUpToDate && *settings.lastUpToDate < *settings.startDate) {
        settings.lastUpToDate.reset();
    }
}

bool CCostrunDoc::loadPreferences() {
    std::unique_ptr<CQbObject> preferences;
    try {
        if (session) preferences = session->queryPreferences();
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return false;
    }
    if (!preferences) {
        errorText = "Fail to retrieve the file configuration.";
        return false;
    }
    const std::string on = preferences->getValue("MultiCurrencyPreferences", "IsMultiCurrencyOn");
    settings.multiCurrency = on == "true" || on == "1";
    const std::string fifo = preferences->getValue("ItemsAndInventoryPreferences", "FIFOEnabled");
    settings.quickBooksFifo = fifo == "true" || fifo == "1";
    settings.quickBooksFifoDate.reset();
    settings.closingDate = readDateText(preferences->getValue("AccountingPreferences", "ClosingDate"));
    if (settings.quickBooksFifo) {
        settings.quickBooksFifoDate = readDateText(
            preferences->getValue("ItemsAndInventoryPreferences", "FIFOEffectiveDate"));
    }
    readInventoryPreferences(*preferences);
    return true;
}

bool CCostrunDoc::defineRunFields() {
    if (!session) return false;
    try {
        for (const CRunField& field : kRunFields) {
            if (!settings.assemblies && std::string(field.assignTo) == "BuildAssembly") continue;
            session->dataExtDefAdd(kPrivateOwnerId, field.name, kRunFieldType, field.assignTo);
        }
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return false;
    }
    return true;
}

bool CCostrunDoc::storeStartDate(const CDateTime& start) {
    settings.startDate = startOfDay(start);
    if (!saveStartSettings()) {
        settings.startDate.reset();
        return false;
    }
    settings.hasStoredStart = true;
    return true;
}

bool CCostrunDoc::saveStartSettings() {
    if (!settings.startDate || !session) return false;
    settings.lastExecTime = CDateTime::now();
    try {
        if (!settings.hasStoredStart) {
            storeCompanyField("StartDate", zoneDateTimeText(settings.startDate), true);
            storeCompanyField("LastExecTime", zoneDateTimeText(settings.lastExecTime), true);
            storeCompanyField("LastUpToDate", zoneDateTimeText(endOfDay(previousDay(*settings.startDate))), true);
        } else {
            storeCompanyField("StartDate", zoneDateTimeText(settings.startDate), false);
            storeCompanyField("LastExecTime", zoneDateTimeText(settings.lastExecTime), false);
        }
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return false;
    }
    return true;
}

bool CCostrunDoc::saveLastUpToDate() {
    if (!settings.lastUpToDate || !session) return false;
    try {
        commitDay(*settings.lastUpToDate, std::nullopt);
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return false;
    }
    return true;
}

void CCostrunDoc::storeCompanyField(const std::string& name, const std::string& value, bool add) {
    // A run interrupted while it stored its settings can leave a field missing that the
    // file is otherwise taken to have (or present where it is taken to be new): when
    // QuickBooks refuses the expected request, the other one is tried before giving up.
    for (int attempt = 0; attempt < 2; ++attempt, add = !add) {
        if (add) {
            session->dataExtAddCompany(kPrivateOwnerId, name, value);
        } else {
            session->dataExtModCompany(kPrivateOwnerId, name, value);
        }
        if (session->succeeded()) return;
    }
    requireSuccess(*session);
}
