// The engine's life: folders at construction, the session it owns, the company file's
// opening and settings, and a run. The run itself lives in valuationrun.*, the rewind
// in rewind.cpp.
#include "costrundoc.h"

#include "closingbalance.h"
#include "companyfields.h"
#include "qbexception.h"
#include "qbprogress.h"
#include "qbsession.h"
#include "qbutils.h"
#include "runstore.h"
#include "userfolders.h"
#include "valuationrun.h"

namespace {

// QuickBooks has the company file open in another mode than the one asked for.
constexpr HRESULT kFileOpenInOtherMode = static_cast<HRESULT>(0x80040410u);

std::string dataFolderOf(const CCostrunFolders& folders) {
    const std::string appData = folders.applicationData.empty() ? applicationDataFolder() : folders.applicationData;
    return joinPath(joinPath(appData, "Veltrane"), "Lotwise");
}

}  // namespace

CCostrunDoc::CCostrunDoc(const CCostrunFolders& folders)
    : dataFolder(dataFolderOf(folders)), activityLog(joinPath(dataFolder, "activity.txt")) {
    const std::string documents = folders.documents.empty() ? documentsFolder() : folders.documents;
    reportFolder = joinPath(joinPath(documents, "Veltrane"), "Lotwise Reports");
    // A folder that cannot be created shows up later, as the failure to create the
    // report or (silently) the activity log.
    createFolders(dataFolder);
    createFolders(reportFolder);
}

CCostrunDoc::~CCostrunDoc() {
    // The session goes before the lists that may refer to its answers.
    session.reset();
}

void CCostrunDoc::setSession(std::unique_ptr<CQbRequestBase> newSession) {
    session.reset();
    session = std::move(newSession);
}

void CCostrunDoc::endSession() {
    if (auto* qbXml = dynamic_cast<CQbXml*>(session.get())) qbXml->release();
}

void CCostrunDoc::setStatusHandler(std::function<void(const std::string&)> handler) {
    statusHandler = std::move(handler);
}

void CCostrunDoc::progress(const std::string& text) {
    if (statusHandler) statusHandler(text);
    pumpMessages();
}

void CCostrunDoc::setCompanyFile(const std::string& path, const std::string& title) {
    companyPath = path;
    companyTitle = title;
}

std::string CCostrunDoc::getCompanyName() const { return company ? company->getValue("CompanyName") : std::string(); }

bool CCostrunDoc::openCompany(const std::string& path) {
    errorText.clear();
    company.reset();
    session.reset();
    auto newSession = std::make_unique<CQbXml>(path, "Lotwise", "Veltrane", dataFolder);
    try {
        newSession->open(true);
    } catch (const CQbException& e) {
        errorText = newSession->getLastHresult() == kFileOpenInOtherMode
                        ? "Please switch your QuickBooks application to single-user mode.\n"
                          "This is a requirement of this software application."
                        : e.getMessage();
        return false;
    }
    const std::string productName = newSession->getProductName();
    session = std::move(newSession);
    companyPath = path;
    if (!readCompany(productName)) return false;
    // A refused check does not stop the open: its text says that it could not be made.
    checkChangesBehind();
    return true;
}

bool CCostrunDoc::readCompany(const std::string& productName) {
    try {
        company = session->queryCompany();
        if (!company) throw CQbException(CQbRequestBase::kNoCompanyRecord);
        CCompanyFields::readRunSettings(company.get(), settings);
        std::unique_ptr<CQbObject> preferences = session->queryPreferences();
        if (!preferences) throw CQbException("Fail to retrieve the file configuration.");
        CCompanyFields::readPreferences(*preferences, settings);
        CCompanyFields(*session, settings).readEdition(productName);
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return false;
    }
    return true;
}

bool CCostrunDoc::defineRunFields() {
    if (!session) return false;
    try {
        CCompanyFields(*session, settings).defineRunFields();
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return false;
    }
    return true;
}

bool CCostrunDoc::storeStartDate(const CDateTime& start) {
    if (!session) return false;
    settings.startDate = startOfDay(start);
    try {
        CCompanyFields(*session, settings).saveStartSettings();
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        settings.startDate.reset();
        return false;
    }
    settings.hasStoredStart = true;
    return true;
}

std::string CCostrunDoc::storePath() const {
    return company ? CRunStore::pathFor(dataFolder, company->getValue("CompanyName"), settings.lastExecTime)
                   : std::string();
}

CPurchaseHistory::CIdentity CCostrunDoc::purchasesOwner() const {
    const std::string name = getCompanyName();
    return {name.empty() ? companyTitle : name, zoneDateTimeText(settings.lastExecTime), dateText(settings.startDate)};
}

void CCostrunDoc::loadSeenRecord() { seenRecord.load(storePath()); }

bool CCostrunDoc::checkChangesBehind() {
    changesBehind.clear();
    if (!session) return true;
    loadSeenRecord();
    return changesBehind.check(*session, settings, seenRecord, activityLog) &&
           changesBehind.checkBalance(*session, settings, storePath());
}

bool CCostrunDoc::keepClosingBalance(const std::map<std::string, std::string>& ids) {
    const std::string path = storePath();
    if (path.empty() || !settings.lastRunTime || !settings.lastUpToDate) return true;
    CClosingBalance balance;
    try {
        balance.read(*session, settings.assemblies, *settings.lastUpToDate, ids);
    } catch (const CQbException& e) {
        CClosingBalance::discard(path);
        errorText = "The days are valued and committed, but QuickBooks' valuation of " +
                    settings.lastUpToDate->userDateText() + " could not be kept for the check at the next open: " +
                    e.getMessage();
        return false;
    }
    if (!balance.save(path, *settings.lastRunTime))
        activityLog.log("The closing valuation could not be written to %s\n", path.c_str());
    return true;
}

bool CCostrunDoc::runValuation(const CDateTime& newUpToDate) {
    if (!settings.startDate) {
        errorText = "Internal Error : 8001";
        return false;
    }
    if (!session) {
        errorText = "No QuickBooks file is opened.";
        return false;
    }
    errorText.clear();
    pagePath.clear();
    loadSeenRecord();
    try {
        removePostingsAfterValuedPeriod();
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return false;
    }
    const std::string name = getCompanyName();
    CRunContext context{*session,
                        settings,
                        activityLog,
                        seenRecord,
                        [this](const std::string& text) { progress(text); },
                        joinPath(reportFolder, companyTitle),
                        name.empty() ? companyTitle : name,
                        storePath(),
                        purchasesOwner()};
    CValuationRun run(std::move(context), newUpToDate);
    if (readEveryItem) run.readEveryItem();
    bool ok = run.run();
    errorText = run.errorText();
    runSummary = run.summary();
    if (!run.reportPath().empty()) reportPath = run.reportPath();
    pagePath = run.pagePath();
    // A run that completed leaves its closing valuation for the next open to compare
    // with; one that stopped leaves the kept one stale, which its stamp or date tells.
    if (ok) ok = keepClosingBalance(run.stockedIds());
    return ok;
}
