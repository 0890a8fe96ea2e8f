// The main window's logic through a fake host and a scripted request processor: control
// states, status texts, refusals and the Help commands.
#include "costrundlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "qbprogress.h"
#include "qbutils.h"
#include "scriptedprocessor.h"
#include "testfiles.h"
#include "tzguard.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string ok(const std::string& rs, const std::string& inner = "") {
    return responseDocument("<" + rs + " statusCode=\"0\" statusSeverity=\"Info\" statusMessage=\"Status OK\">" +
                            inner + "</" + rs + ">");
}

std::string dataExt(const std::string& name, const std::string& value) {
    return std::string("<DataExtRet><OwnerID>") + kPrivateOwnerId + "</OwnerID><DataExtName>" + name +
           "</DataExtName><DataExtType>STR255TYPE</DataExtType><DataExtValue>" + value +
           "</DataExtValue></DataExtRet>";
}

class CFakeHost : public CCostrunDlgHost, public CQbProgressHost {
public:
    std::optional<std::string> chooseCompanyFile() override {
        events.push_back("choose");
        return chosen;
    }
    void messageBox(const std::string& text, const std::string& caption) override {
        events.push_back("message " + caption + ": " + text);
    }
    void openDocument(const std::string& path) override { events.push_back("open " + path); }
    void runAboutBox() override { events.push_back("about"); }
    void closeWindow() override { events.push_back("close"); }
    void show() override {
        visible = true;
        ++shows;
    }
    void hide() override { visible = false; }
    bool isVisible() const override { return visible; }
    void pump() override {
        if (onPump) onPump();
    }

    std::optional<std::string> chosen;
    std::vector<std::string> events;
    std::function<void()> onPump;
    bool visible = false;
    int shows = 0;
};

class WindowTest : public ::testing::Test {
protected:
    WindowTest()
        : tz("America/New_York"),
          registration(script),
          dir(std::filesystem::temp_directory_path() / ("lotwise-dlg-" + std::to_string(::getpid()))),
          window(host, CCostrunFolders{(dir / "appdata").string(), (dir / "docs").string()}) {
        setProgressHost(&host);
        window.initDialog(*CDateTime::fromLocal(2010, 4, 15, 10, 0, 0));
    }
    ~WindowTest() override { setProgressHost(nullptr); }

    void answerOpen(const std::string& companyFields, bool multiCurrency = false) {
        script.responses.push_back(hostResponse({"13.0"}));
        script.responses.push_back(
            ok("CompanyQueryRs", "<CompanyRet><CompanyName>Acme Hardware</CompanyName>" + companyFields +
                                     "</CompanyRet>"));
        script.responses.push_back(ok("PreferencesQueryRs",
                                      std::string("<PreferencesRet><MultiCurrencyPreferences><IsMultiCurrencyOn>") +
                                          (multiCurrency ? "true" : "false") +
                                          "</IsMultiCurrencyOn></MultiCurrencyPreferences></PreferencesRet>"));
    }

    static CDateTime day(int y, int m, int d) { return *CDateTime::fromLocal(y, m, d, 9, 0, 0); }

    CTzGuard tz;
    CScript script;
    CScriptedRegistration registration;
    std::filesystem::path dir;
    // Removes the folder once the window is gone: Windows cannot remove the files it
    // still holds open.
    CFolderRemover removeDir{dir};
    CFakeHost host;
    CCostrunDlg window;
};

TEST_F(WindowTest, StartsWithNoFile) {
    EXPECT_EQ(window.statusText(), kInitialStatus);
    EXPECT_FALSE(window.control(kIdcProcess).enabled);
    EXPECT_FALSE(window.control(kIdcUpToDate).enabled);
    EXPECT_FALSE(window.control(kIdcStartDate).visible);
    EXPECT_TRUE(window.control(kIdcStartDateText).visible);
    EXPECT_EQ(window.control(kIdcUpToDate).date->local().day, 15);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "appdata" / "Veltrane" / "Lotwise"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "docs" / "Veltrane" / "Lotwise Reports"));
    EXPECT_FALSE(window.onProcess());  // nothing open
}

TEST_F(WindowTest, CancellingTheFileChoiceChangesNothing) {
    EXPECT_FALSE(window.onOpen());
    EXPECT_THAT(host.events, ElementsAre("choose"));
    EXPECT_EQ(window.statusText(), kInitialStatus);
    EXPECT_EQ(host.shows, 0);
    EXPECT_TRUE(script.calls.empty());
}

TEST_F(WindowTest, OpeningANeverValuedFileAsksForAStartDate) {
    answerOpen("");
    host.chosen = "/files/Sample.qbw";
    ASSERT_TRUE(window.onOpen());
    EXPECT_EQ(window.control(kIdcFile).text, "/files/Sample.qbw");
    EXPECT_EQ(window.control(kIdcCompanyName).text, "Acme Hardware");
    EXPECT_TRUE(window.control(kIdcStartDate).visible);
    EXPECT_FALSE(window.control(kIdcStartDateText).visible);
    EXPECT_TRUE(window.control(kIdcProcess).enabled);
    EXPECT_TRUE(window.control(kIdcUpToDate).enabled);
    EXPECT_THAT(window.statusText(), StartsWith("FIFO valuation has never been performed"));
    EXPECT_EQ(host.shows, 1);
    EXPECT_FALSE(host.visible);
    EXPECT_EQ(script.calls[1], "BeginSession 0");  // single-user

    // The file's title names the folder of its reports: a first run of a quiet day, every
    // answer an empty success, writes its report there.
    script.perRequest = true;
    window.setDate(kIdcStartDate, day(2010, 4, 1));
    window.setDate(kIdcUpToDate, day(2010, 4, 1));
    ASSERT_TRUE(window.onProcess()) << window.statusText();
    EXPECT_EQ(window.getEngine()->getReportPath(), window.getEngine()->getReportFolder() + kPathSeparator + "Sample" +
                                                       kPathSeparator + "costrun20100401.csv");
}

TEST_F(WindowTest, OpeningAValuedFileShowsItsDates) {
    answerOpen(dataExt("StartDate", "2010-03-01T00:00:00-05:00") +
               dataExt("LastUpToDate", "2010-03-31T23:59:59-05:00"));
    ASSERT_TRUE(window.openFile("/files/Acme.qbw"));
    EXPECT_EQ(window.control(kIdcStartDateText).text, "03/01/2010");
    EXPECT_TRUE(window.control(kIdcStartDateText).visible);
    EXPECT_FALSE(window.control(kIdcStartDate).visible);
    EXPECT_EQ(window.control(kIdcCurrentUpToDate).text, "03/31/2010");
    EXPECT_EQ(window.statusText(),
              "File is opened.\n\nIMPORTANT : Transactions have to be finalized before processing up to "
              "their dates.");

    // The refusals of Process, before anything is read from QuickBooks.
    const std::size_t sent = script.requests.size();
    window.setDate(kIdcUpToDate, day(2010, 3, 31));
    EXPECT_FALSE(window.onProcess());
    EXPECT_EQ(window.statusText(),
              "Request failed.  The new Up To Date has to be after the current Up to Date.  Please "
              "change it to a later date.");
    window.setDate(kIdcUpToDate, day(2010, 2, 27));
    EXPECT_FALSE(window.onProcess());
    EXPECT_EQ(window.statusText(),
              "Request failed.  The Up To Date cannot be before the Start Date.  Please change the Up "
              "To Date to a later date.");
    EXPECT_EQ(script.requests.size(), sent);
}

TEST_F(WindowTest, MultiUserFileCannotBeOpened) {
    script.failures["BeginSession"] = {static_cast<HRESULT>(0x80040410), L"open in multi-user mode"};
    EXPECT_FALSE(window.openFile("/files/Shared.qbw"));
    EXPECT_EQ(window.statusText(),
              "File open failed. It has the following error :\nPlease switch your QuickBooks "
              "application to single-user mode.\nThis is a requirement of this software application.");
    EXPECT_FALSE(window.control(kIdcProcess).enabled);
    EXPECT_FALSE(window.control(kIdcStartDate).visible);
    EXPECT_FALSE(window.control(kIdcStartDateText).visible);
    EXPECT_EQ(window.control(kIdcFile).text, "/files/Shared.qbw");
    EXPECT_EQ(window.control(kIdcCompanyName).text, "");
    EXPECT_EQ(window.getEngine()->getSession(), nullptr);
}

TEST_F(WindowTest, OtherOpenFailuresShowTheSessionText) {
    script.failures["OpenConnection"] = {static_cast<HRESULT>(0x80040408), L"Could not start QuickBooks."};
    EXPECT_FALSE(window.openFile("/files/x.qbw"));
    EXPECT_EQ(window.statusText(),
              "File open failed. It has the following error :\nError = 80040408, Could not start QuickBooks.\n");
}

TEST_F(WindowTest, AFailedPreferencesReadFailsTheOpen) {
    script.responses.push_back(hostResponse({"13.0"}));
    script.responses.push_back(ok("CompanyQueryRs", "<CompanyRet><CompanyName>A</CompanyName></CompanyRet>"));
    script.responses.push_back(ok("PreferencesQueryRs"));
    EXPECT_FALSE(window.openFile("/files/x.qbw"));
    EXPECT_EQ(window.statusText(),
              "File open failed. It has the following error :\nFail to retrieve the file configuration.");
}

TEST_F(WindowTest, FirstRunRefusesAStartAfterTheUpToDate) {
    answerOpen("");
    ASSERT_TRUE(window.openFile("/files/Sample.qbw"));
    window.setDate(kIdcStartDate, day(2010, 4, 2));
    window.setDate(kIdcUpToDate, day(2010, 4, 1));
    const std::size_t sent = script.requests.size();
    EXPECT_FALSE(window.onProcess());
    EXPECT_THAT(window.statusText(), StartsWith("Request failed.  The Up To Date cannot be before"));
    EXPECT_EQ(script.requests.size(), sent);
}

TEST_F(WindowTest, FirstRunStopsWhenTheDefinitionsCannotBeMade) {
    answerOpen("");
    ASSERT_TRUE(window.openFile("/files/Sample.qbw"));
    window.setDate(kIdcStartDate, day(2010, 4, 1));
    window.setDate(kIdcUpToDate, day(2010, 4, 1));  // equal dates are accepted
    script.defaultResponse = ok(
        "DataExtDefQueryRs", std::string("<DataExtDefRet><OwnerID>") + kPrivateOwnerId +
                                 "</OwnerID><DataExtName>StartDate</DataExtName><DataExtType>INTTYPE"
                                 "</DataExtType></DataExtDefRet>");
    EXPECT_FALSE(window.onProcess());
    EXPECT_EQ(window.statusText(),
              "Internal Error : StartDate already exists but different with different data type");
    EXPECT_EQ(window.getEngine()->getStartDate(), std::nullopt);
}

TEST_F(WindowTest, CommandsDuringARunningOpenAreRefused) {
    answerOpen("");
    bool nestedOpen = true;
    bool nestedProcess = true;
    host.onPump = [&] {
        nestedOpen = window.openFile("/files/Other.qbw");
        nestedProcess = window.onProcess();
    };
    ASSERT_TRUE(window.openFile("/files/Sample.qbw"));
    EXPECT_FALSE(nestedOpen);
    EXPECT_FALSE(nestedProcess);
    EXPECT_EQ(window.control(kIdcFile).text, "/files/Sample.qbw");
    EXPECT_FALSE(window.isBusy());
}

TEST_F(WindowTest, HelpCommandsShowTheirMessageFirst) {
    window.onTutorial();
    window.onUserManual();
    window.onAbout();
    window.onExit();
    EXPECT_THAT(host.events,
                ElementsAre("message Tutorial: The tutorial will be displayed in the default browser",
                            "open tutorial/tutorial.html",
                            "message User Manual: The user manual will be displayed in the Adobe Reader",
                            "open manual.pdf", "about", "close"));
}

}  // namespace
