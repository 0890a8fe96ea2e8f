// The main window's commands and control states, with every status text the user sees.
#include "costrundlg.h"

#include "qbprogress.h"

namespace {

const char* const kOpening = "Opening file...";
const char* const kOpenFailed = "File open failed. It has the following error :\n";
const char* const kOpenedValued =
    "File is opened.\n\nIMPORTANT : Transactions have to be finalized before processing up to "
    "their dates.";
const char* const kNeverValued =
    "FIFO valuation has never been performed on this file. You are required to "
    "select a start date before clicking the \"Process\" button to perform the valuation.\n\n"
    "IMPORTANT : The valuation will MODIFY your current QuickBooks Company file.  You are "
    "recommended to backup before proceeding.";
const char* const kNothingToRewind =
    "FIFO valuation has never been performed on this file: there is nothing to rewind.";
const char* const kRewindFailed = "Rewind failed. It has the following error :\n";
const char* const kInternalError = "Internal Error : ";
const char* const kCompleted = "Process completed\n\nA report of the calculation is created at ";

// The file's name without folder and extension: Sample.qbw gives Sample.
std::string fileTitle(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

// Marks the window busy for the length of a command.
class CBusyScope {
public:
    explicit CBusyScope(bool& flag) : flag(flag) { flag = true; }
    ~CBusyScope() { flag = false; }
    CBusyScope(const CBusyScope&) = delete;
    CBusyScope& operator=(const CBusyScope&) = delete;

private:
    bool& flag;
};

// Ends the engine's session with QuickBooks when a command is done, however it ends.
class CSessionScope {
public:
    explicit CSessionScope(CCostrunDoc& doc) : doc(doc) {}
    ~CSessionScope() { doc.endSession(); }
    CSessionScope(const CSessionScope&) = delete;
    CSessionScope& operator=(const CSessionScope&) = delete;

private:
    CCostrunDoc& doc;
};

}  // namespace

CCostrunDlg::CCostrunDlg(CCostrunDlgHost& windowHost, CCostrunFolders engineFolders)
    : host(windowHost), folders(std::move(engineFolders)) {
    for (int id : {kIdcFile, kIdcChooseFile, kIdcCompanyName, kIdcStartDateText,
                   kIdcCurrentUpToDate, kIdcStatus}) {
        controls[id] = CControlState{};
    }
    controls[kIdcStartDate] = CControlState{"", false, true, std::nullopt};
    controls[kIdcUpToDate] = CControlState{"", true, false, std::nullopt};
    controls[kIdcProcess] = CControlState{"Process", true, false, std::nullopt};
    controls[kIdcChooseFile].text = "...";
    controls[kIdcStatus].text = kInitialStatus;
}

CCostrunDlg::~CCostrunDlg() = default;

void CCostrunDlg::initDialog(const CDateTime& today) {
    engine = std::make_unique<CCostrunDoc>(folders);
    engine->setStatusHandler([this](const std::string& text) {
        setStatus(text);
        host.controlsChanged();
    });
    controls[kIdcStartDate].date = today;
    controls[kIdcUpToDate].date = today;
}

const CControlState& CCostrunDlg::control(int id) const {
    static const CControlState none{};
    const auto found = controls.find(id);
    return found == controls.end() ? none : found->second;
}

void CCostrunDlg::setDate(int id, const CDateTime& date) { controls[id].date = date; }

void CCostrunDlg::setText(int id, const std::string& text) { controls[id].text = text; }
void CCostrunDlg::setVisible(int id, bool visible) { controls[id].visible = visible; }
void CCostrunDlg::setEnabled(int id, bool enabled) { controls[id].enabled = enabled; }

bool CCostrunDlg::refuse() {
    // A command delivered by the message pump during Open or Process must not replace
    // the session or the lists the running command uses; it is refused, unseen.
    return busy || !engine;
}

bool CCostrunDlg::onOpen() {
    if (refuse()) return false;
    const std::optional<std::string> path = host.chooseCompanyFile();
    if (!path) return false;
    return openFile(*path);
}

bool CCostrunDlg::openFile(const std::string& path) {
    if (refuse()) return false;
    CBusyScope scope(busy);
    CSessionScope session(*engine);
    CQbProgressScope progress;
    setText(kIdcFile, "");
    setText(kIdcCompanyName, "");
    engine->setCompanyFile(path, fileTitle(path));
    setText(kIdcFile, path);
    setStatus(kOpening);
    host.controlsChanged();

    const bool opened = engine->openCompany(path);
    if (opened) {
        setText(kIdcCompanyName, engine->getCompanyName());
        showValuedState();
        if (engine->getStartDate()) {
            const std::string behind = engine->changesBehindText();
            setStatus(behind.empty() ? kOpenedValued : "Warning : " + behind + "\n\n" + kOpenedValued);
        } else {
            std::string status;
            if (!engine->getErrorText().empty()) status = "Warning : " + engine->getErrorText() + "\n\n";
            setStatus(status + kNeverValued);
        }
        setEnabled(kIdcUpToDate, true);
        setEnabled(kIdcProcess, true);
    } else {
        setStatus(kOpenFailed + engine->getErrorText());
        setVisible(kIdcStartDate, false);
        setVisible(kIdcStartDateText, false);
        setText(kIdcCurrentUpToDate, "");
        setEnabled(kIdcUpToDate, false);
        setEnabled(kIdcProcess, false);
    }
    host.controlsChanged();
    return opened;
}

void CCostrunDlg::showValuedState() {
    if (engine->getStartDate()) {
        setText(kIdcStartDateText, engine->getStartDate()->userDateText());
        setVisible(kIdcStartDateText, true);
        setVisible(kIdcStartDate, false);
        setText(kIdcCurrentUpToDate,
                engine->getLastUpToDate() ? engine->getLastUpToDate()->userDateText() : "");
    } else {
        setVisible(kIdcStartDate, true);
        setVisible(kIdcStartDateText, false);
        setText(kIdcCurrentUpToDate, "");
    }
}

bool CCostrunDlg::onProcess() {
    if (refuse() || !engine->getSession()) return false;
    CBusyScope scope(busy);
    CSessionScope session(*engine);
    CQbProgressScope progress;
    const CDateTime upTo = CCostrunDoc::endOfDay(control(kIdcUpToDate).date.value_or(CDateTime::now()));

    auto finish = [this](const std::string& status, bool result) {
        setStatus(status);
        host.controlsChanged();
        return result;
    };

    // Refused before anything is written: no definition, no start date, no posting.
    const CRunSettings& settings = engine->getSettings();
    const CDateTime firstDay = settings.firstDayToValue().value_or(control(kIdcStartDate).date.value_or(CDateTime::now()));
    const std::string refusal = settings.refusalBeforeWriting(firstDay, upTo);
    if (!refusal.empty()) return finish(kRequestFailed + refusal, false);
    if (!settings.startDate) {
        // A refused start leaves the file as it was.
        if (!engine->defineRunFields()) return finish(kInternalError + engine->getErrorText(), false);
        if (!engine->storeStartDate(firstDay)) return finish(kInternalError + engine->getErrorText(), false);
    }

    if (!engine->runValuation(upTo)) return finish(engine->getErrorText(), false);
    setText(kIdcCurrentUpToDate,
            engine->getLastUpToDate() ? engine->getLastUpToDate()->userDateText() : "");
    std::string status = kCompleted + engine->getReportPath();
    if (!engine->getPagePath().empty()) status += "\nand a page to read it at " + engine->getPagePath();
    status += "\n\n" + engine->getRunSummary().text();
    // The run completed, but QuickBooks refused something on the way: say so.
    if (!engine->getErrorText().empty()) status += "\n\nWarning : " + engine->getErrorText();
    return finish(status, true);
}

bool CCostrunDlg::onRewind() {
    if (refuse() || !engine->getSession()) return false;
    CBusyScope scope(busy);
    if (!engine->getStartDate()) {
        host.messageBox(kNothingToRewind, "Rewind");
        return false;
    }
    const CDateTime initial = engine->earliestChangeBehind().value_or(
        engine->getLastUpToDate() ? CCostrunDoc::startOfDay(*engine->getLastUpToDate())
                                  : *engine->getStartDate());
    const std::optional<CDateTime> chosen = host.chooseRewindDate(initial);
    if (!chosen) return false;
    CQbProgressScope progress;
    return rewindTo(*chosen, [this](const std::string& text) {
        return host.confirm(text, "Rewind");
    });
}

bool CCostrunDlg::rewindTo(const CDateTime& date,
                           const std::function<bool(const std::string&)>& confirm) {
    if (!engine || !engine->getSession()) return false;
    CSessionScope session(*engine);
    const std::optional<CDateTime> from = engine->rewindFrom(date);
    if (!from) {
        setStatus(kNothingToRewind);
        host.controlsChanged();
        return false;
    }
    const std::string closed = engine->getSettings().closingDateRefusal(*from, true);
    if (!closed.empty()) {
        setStatus(kRewindFailed + closed);
        host.controlsChanged();
        return false;
    }
    const bool toStart = !(*from > *engine->getStartDate());
    const int postings = engine->countRewindPostings(*from);
    if (postings < 0) {
        setStatus(kRewindFailed + engine->getErrorText());
        host.controlsChanged();
        return false;
    }
    const std::string count = std::to_string(postings) +
                              (postings == 1 ? " value adjustment" : " value adjustments");
    std::string question;
    if (toStart) {
        question = "Rewind to the start date " + from->userDateText() + "?\n\n" + count +
                   " posted by Lotwise will be deleted, with every build value and run setting it "
                   "stored: the file will be as it was before its first FIFO valuation.";
    } else {
        question = "Rewind to " + from->userDateText() + "?\n\n" + count +
                   " posted by Lotwise dated on or after " + from->userDateText() +
                   " will be deleted, and the file will be valued up to " +
                   CCostrunDoc::previousDay(*from).userDateText() + ".";
    }
    question += "\n\nIMPORTANT : The rewind will MODIFY your current QuickBooks Company file.  You "
                "are recommended to backup before proceeding.";
    // QuickBooks is free while the user thinks it over.
    engine->endSession();
    if (!confirm(question)) return false;

    const bool done = engine->rewindTo(*from);
    showValuedState();
    if (!done) {
        setStatus(kRewindFailed + engine->getErrorText());
    } else if (toStart) {
        setStatus("Rewind completed. " + count + (postings == 1 ? " was" : " were") +
                  " deleted, with every build value and run setting: the file is as it was "
                  "before its first FIFO valuation.\n\n" + kNeverValued);
    } else {
        setStatus("Rewind completed. " + count + (postings == 1 ? " was" : " were") +
                  " deleted; the file is now valued up to " +
                  engine->getLastUpToDate()->userDateText() + ".");
    }
    host.controlsChanged();
    return done;
}

void CCostrunDlg::onTutorial() {
    host.messageBox("The tutorial will be displayed in the default browser", "Tutorial");
    host.openDocument("tutorial/tutorial.html");
}

void CCostrunDlg::onUserManual() {
    host.messageBox("The user manual will be displayed in the Adobe Reader", "User Manual");
    host.openDocument("manual.pdf");
}

void CCostrunDlg::onAbout() { host.runAboutBox(); }

void CCostrunDlg::onExit() { host.closeWindow(); }
