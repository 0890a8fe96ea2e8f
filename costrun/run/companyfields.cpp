#include "companyfields.h"

#include <cctype>

#include "days.h"
#include "qbexception.h"
#include "qbutils.h"
#include "queryfilters.h"

namespace {

struct CRunField {
    const char* name;
    const char* assignTo;
};

// The system's custom fields and what each is assigned to.
constexpr CRunField kRunFields[] = {{"StartDate", "Company"},
                                    {"LastExecTime", "Company"},
                                    {"LastUpToDate", "Company"},
                                    {"LastRunTime", "Company"},
                                    {"BuildValue", "BuildAssembly"}};
constexpr const char* kRunFieldType = "STR255TYPE";

// True when a word of the product name is "Pro" (QuickBooks Pro has no assemblies).
bool namesPro(const std::string& productName) {
    std::string word;
    for (std::size_t i = 0; i <= productName.size(); ++i) {
        const char c = i < productName.size() ? productName[i] : ' ';
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            word += c;
            continue;
        }
        if (word == "Pro") return true;
        word.clear();
    }
    return false;
}

bool isTrue(const std::string& text) { return text == "true" || text == "1"; }

}  // namespace

void CCompanyFields::readRunSettings(const CQbObject* company, CRunSettings& settings) {
    settings.startDate.reset();
    settings.lastExecTime.reset();
    settings.lastUpToDate.reset();
    settings.lastRunTime.reset();
    settings.hasStoredStart = false;
    if (!company) return;

    if (const CQbField* field = company->findPrivateDataExt("StartDate")) {
        settings.startDate = field->getDate();
        settings.hasStoredStart = true;
    }
    if (const CQbField* field = company->findPrivateDataExt("LastExecTime")) settings.lastExecTime = field->getDateTime();
    if (const CQbField* field = company->findPrivateDataExt("LastRunTime")) settings.lastRunTime = field->getDateTime();
    if (const CQbField* field = company->findPrivateDataExt("LastUpToDate")) {
        if (std::optional<CDateTime> date = field->getDate()) settings.lastUpToDate = endOfDay(*date);
    }
    // An up-to date before the start date belongs to no valuation of that start.
    if (settings.hasStoredStart && settings.startDate && settings.lastUpToDate &&
        *settings.lastUpToDate < *settings.startDate) {
        settings.lastUpToDate.reset();
    }
}

void CCompanyFields::readPreferences(const CQbObject& preferences, CRunSettings& settings) {
    settings.multiCurrency = isTrue(preferences.getValue("MultiCurrencyPreferences", "IsMultiCurrencyOn"));
    settings.quickBooksFifo = isTrue(preferences.getValue("ItemsAndInventoryPreferences", "FIFOEnabled"));
    settings.quickBooksFifoDate.reset();
    settings.closingDate = readDateText(preferences.getValue("AccountingPreferences", "ClosingDate"));
    if (settings.quickBooksFifo) {
        settings.quickBooksFifoDate =
            readDateText(preferences.getValue("ItemsAndInventoryPreferences", "FIFOEffectiveDate"));
    }
    settings.inventorySites =
        isTrue(preferences.getValue("MultiLocationInventoryPreferences", "IsMultiLocationInventoryEnabled"));
    settings.enhancedReceiving =
        isTrue(preferences.getValue("ItemsAndInventoryPreferences", "EnhancedInventoryReceivingEnabled"));
    const std::string tracking = preferences.getValue("ItemsAndInventoryPreferences", "IsTrackingSerialOrLotNumber");
    settings.serialOrLot = tracking == "SerialNumber" || tracking == "LotNumber" ? tracking : std::string();
}

void CCompanyFields::readEdition(const std::string& productName) {
    settings.productName = productName;
    settings.assemblies = true;
    if (!namesPro(productName)) return;

    CQbFieldList fields;
    fields.addText("MaxReturned", "1");
    fields.addText("IncludeRetElement", "ListID");
    const std::unique_ptr<CQbResponse> answer =
        session.sendBody(session.requestElement("ItemInventoryAssemblyQueryRq", nullptr, &fields));
    if (!answer) throw CQbException(CQbRequestBase::unansweredText("ItemInventoryAssemblyQueryRq"));
    const std::string code = answer->statusCode();
    if (code == CQbRequestBase::kFeatureNotAvailable) {
        settings.assemblies = false;
        return;
    }
    if (CQbRequestBase::succeeded(*answer) || code == "1" || answer->statusSeverity() == "Warn") return;
    throw CQbException(CQbRequestBase::refusalText(*answer, "ItemInventoryAssemblyQueryRq"));
}

void CCompanyFields::defineRunFields() {
    for (const CRunField& field : kRunFields) {
        if (!settings.assemblies && std::string(field.assignTo) == "BuildAssembly") continue;
        session.dataExtDefAdd(kPrivateOwnerId, field.name, kRunFieldType, field.assignTo);
    }
}

void CCompanyFields::saveStartSettings() {
    settings.lastExecTime = CDateTime::now();
    const bool add = !settings.hasStoredStart;
    store("StartDate", zoneDateTimeText(settings.startDate), add);
    store("LastExecTime", zoneDateTimeText(settings.lastExecTime), add);
    if (add) store("LastUpToDate", zoneDateTimeText(endOfDay(previousDay(*settings.startDate))), true);
}

void CCompanyFields::store(const std::string& name, const std::string& value, bool add) {
    for (int attempt = 0; attempt < 2; ++attempt, add = !add) {
        if (add) {
            session.dataExtAddCompany(kPrivateOwnerId, name, value);
        } else {
            session.dataExtModCompany(kPrivateOwnerId, name, value);
        }
        if (session.succeeded()) return;
    }
    throw CQbException(session.refusalText("DataExtModRq"));
}

void CCompanyFields::saveLastRunTime(const CDateTime& started, const std::set<std::string>& ownBuildWrites,
                                     CSeenRecord& record) {
    CDateTime now = CDateTime::now();
    // The builds whose value the run wrote carry QuickBooks' modification time, which may
    // run ahead of this computer's clock: the stamp is the later of both.
    if (settings.assemblies) {
        CQbFieldList filter;
        filter.addAggregate("ModifiedDateRangeFilter", filterFrom("FromModifiedDate", zoneDateTimeText(started)));
        for (const char* element : {"TxnID", "TimeModified", "EditSequence"}) filter.addText("IncludeRetElement", element);
        std::unique_ptr<CQbObjectList> written = session.queryBuildAssembly(&filter);
        for (int i = 0; written && i < written->getSize(); ++i) {
            const CQbObject& build = *written->getAt(i);
            const std::optional<CDateTime> modified = build.getDateTime("TimeModified");
            if (modified && *modified > now) now = *modified;
            // The system's own write is no change: the record takes the EditSequence
            // QuickBooks gave it.
            const std::string txnId = build.getValue("TxnID");
            if (ownBuildWrites.count(txnId) != 0) record.setEditSequence(txnId, build.getValue("EditSequence"));
        }
    }
    try {
        store("LastRunTime", zoneDateTimeText(now), settings.lastRunTime == std::nullopt);
    } catch (const CQbException&) {
        // A file first valued before the field existed refuses both writes: define it,
        // then store it. A lost answer is no refusal, and stops here.
        if (session.lastExchangeFailed()) throw;
        session.dataExtDefAdd(kPrivateOwnerId, "LastRunTime", "STR255TYPE", "Company");
        store("LastRunTime", zoneDateTimeText(now), true);
    }
    settings.lastRunTime = now;
}
