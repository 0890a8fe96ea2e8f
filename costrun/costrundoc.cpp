// The engine's life: folders at construction, the session it owns, the day arithmetic
// and the progress texts. The run, the days, the settings, the intake, the adjustments
// and the report live in the other costrun*.cpp files of this class.
#include "costrundoc.h"

#include <cstdio>

#include "qbexception.h"
#include "qbprogress.h"
#include "qbsession.h"
#include "userfolders.h"

CCostrunDoc::CCostrunDoc(const CCostrunFolders& folders) {
    const std::string appData =
        folders.applicationData.empty() ? applicationDataFolder() : folders.applicationData;
    const std::string documents =
        folders.documents.empty() ? documentsFolder() : folders.documents;
    files.dataFolder = joinPath(joinPath(appData, "Veltrane"), "Lotwise");
    files.reportFolder = joinPath(joinPath(documents, "Veltrane"), "Lotwise Reports");
    // A folder that cannot be created shows up later, as the failure to create the
    // report or (silently) the activity log.
    createFolders(files.dataFolder);
    createFolders(files.reportFolder);
}

CCostrunDoc::~CCostrunDoc() {
    closeReportFile();
    if (files.activityLog != nullptr) std::fclose(files.activityLog);
    // The session goes before the lists that may refer to its answers.
    session.reset();
}

CDateTime CCostrunDoc::endOfDay(const CDateTime& t) {
    const CLocalTime lt = t.local();
    return CDateTime::fromLocal(lt.year, lt.month, lt.day, 23, 59, 59).value_or(t);
}

CDateTime CCostrunDoc::startOfDay(const CDateTime& t) {
    const CLocalTime lt = t.local();
    return CDateTime::fromLocal(lt.year, lt.month, lt.day, 0, 0, 0).value_or(t);
}

namespace {

// QuickBooks has the company file open in another mode than the one asked for.
constexpr HRESULT kFileOpenInOtherMode = static_cast<HRESULT>(0x80040410u);

CDateTime shiftDays(const CDateTime& t, int days) {
    const CLocalTime lt = t.local();
    return CDateTime::fromLocal(lt.year, lt.month, lt.day + days, lt.hour, lt.minute, lt.second)
        .value_or(t.addSeconds(days * 24 * 60 * 60));
}

}  // namespace

CDateTime CCostrunDoc::nextDay(const CDateTime& t) { return shiftDays(t, 1); }

CDateTime CCostrunDoc::previousDay(const CDateTime& t) { return shiftDays(t, -1); }

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

void CCostrunDoc::releaseDayLists() {
    dayLists.dayInvoices.reset();
    dayLists.daySalesReceipts.reset();
    dayLists.dayInventoryAdjustments.reset();
    dayLists.dayCreditMemos.reset();
    dayLists.dayBuilds.reset();
    dayLists.dayBuildTxns.reset();
    dayLists.dayOwnPostings.clear();
    dayLists.shortBuildsLogged.clear();
}

void CCostrunDoc::progress(const std::string& text) {
    if (statusHandler) statusHandler(text);
    pumpMessages();
}

void CCostrunDoc::setCompanyFile(const std::string& path, const std::string& title) {
    companyPath = path;
    companyTitle = title;
}

std::string CCostrunDoc::getCompanyName() const {
    return company ? company->getValue("CompanyName") : std::string();
}

bool CCostrunDoc::openCompany(const std::string& path) {
    errorText.clear();
    company.reset();
    session.reset();
    auto newSession = std::make_unique<CQbXml>(path, "Lotwise", "Veltrane", files.dataFolder);
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
    try {
        company = session->queryCompany();
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return false;
    }
    if (!company) {
        errorText = "QuickBooks returned no company record for this file.";
        return false;
    }
    loadRunSettings();
    if (!loadPreferences()) return false;
    if (!readEdition(productName)) return false;
    // A refused check does not stop the open: its text says that it could not be made.
    checkChangesBehind();
    return true;
}
