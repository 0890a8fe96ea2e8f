// The main window over the window logic: its controls and their first state, Open and
// Process of a stand-in company driven through the widgets, the Help commands, the
// About box, the splash window, closing, and numbers written under a German locale.
// The file chooser, message boxes and documents are replaced so that nothing blocks.
#include <QApplication>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "aboutdlg.h"
#include "costrundlgview.h"
#include "guitest.h"
#include "qbsimcompany.h"
#include "qbsimengine.h"
#include "startupdlg.h"

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The main window with the blocking parts of its host replaced.
class CTestView : public CCostrunDlgView {
public:
    using CCostrunDlgView::CCostrunDlgView;

    std::optional<std::string> choice;
    int chooserCalls = 0;
    std::vector<std::pair<std::string, std::string>> boxes;  // caption, text
    std::vector<std::string> documents;
    int aboutBoxes = 0;
    // Closes the window the first time the status shows this text (a click on the
    // close button while the command runs).
    std::string closeOnStatus;
    bool visibleAfterCloseRequest = false;

    std::optional<std::string> chooseCompanyFile() override {
        ++chooserCalls;
        return choice;
    }
    void messageBox(const std::string& text, const std::string& caption) override {
        boxes.emplace_back(caption, text);
    }
    void openDocument(const std::string& path) override { documents.push_back(path); }
    void runAboutBox() override { ++aboutBoxes; }
    std::vector<std::string> questions;
    bool answer = true;
    bool confirm(const std::string& text, const std::string&) override {
        questions.push_back(text);
        return answer;
    }
    void controlsChanged() override {
        CCostrunDlgView::controlsChanged();
        if (!closeOnStatus.empty() && logic().statusText() == closeOnStatus) {
            closeOnStatus.clear();
            close();
            visibleAfterCloseRequest = isVisible();
        }
    }
};

template <class Widget>
Widget* child(QWidget& parent, int id) {
    return parent.findChild<Widget*>(QString::number(id));
}

}  // namespace

class CMainWindowTest : public QObject {
    Q_OBJECT
private:
    std::filesystem::path dir;

    CCostrunFolders folders() const { return {(dir / "appdata").string(), (dir / "docs").string()}; }

    std::string company() {
        const std::string path = (dir / "Acme.qbw").string();
        std::filesystem::remove(path);
        auto file = CQbSimCompany::create(path, CQbSimCompanyOptions{"Acme Hardware"});
        CQbSimEngine engine(*file, nullptr);
        const std::string answer = engine.processRequest(
            readFile(std::string(LOTWISE_SOURCE_DIR) + "/tests/e2e/data/fifo_company_rq.xml"));
        if (answer.find("statusSeverity=\"Error\"") != std::string::npos) return {};
        return path;
    }

    static QString status(QWidget& view) { return child<QLabel>(view, kIdcStatus)->text(); }

private slots:
    void init() {
        dir = std::filesystem::temp_directory_path() / ("lotwise-gui-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void cleanup() { std::filesystem::remove_all(dir); }

    void controlsStartAsTheTemplateSays() {
        CTestView view(folders());
        view.show();
        QCOMPARE(view.windowTitle(), QStringLiteral("Lotwise"));
        QCOMPARE(view.minimumSize(), view.maximumSize());
        QVERIFY(view.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!view.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!view.windowIcon().isNull());

        QCOMPARE(child<QLineEdit>(view, kIdcFile)->text(), QString());
        QVERIFY(child<QLineEdit>(view, kIdcFile)->isReadOnly());
        QCOMPARE(child<QPushButton>(view, kIdcChooseFile)->text(), QStringLiteral("..."));
        QVERIFY(child<QPushButton>(view, kIdcChooseFile)->isEnabled());
        QVERIFY(child<QLineEdit>(view, kIdcCompanyName)->isReadOnly());
        QVERIFY(child<QLabel>(view, kIdcStartDateText)->isVisible());
        QVERIFY(!child<QDateEdit>(view, kIdcStartDate)->isVisible());
        QCOMPARE(child<QLabel>(view, kIdcCurrentUpToDate)->text(), QString());
        QVERIFY(!child<QDateEdit>(view, kIdcUpToDate)->isEnabled());
        QCOMPARE(child<QPushButton>(view, kIdcProcess)->text(), QStringLiteral("Process"));
        QVERIFY(!child<QPushButton>(view, kIdcProcess)->isEnabled());
        QCOMPARE(status(view), QString::fromUtf8(kInitialStatus));
        for (int id : {kIdcStartDate, kIdcUpToDate}) {
            auto* picker = child<QDateEdit>(view, id);
            QVERIFY(picker->calendarPopup());
            QCOMPARE(picker->date(), QDate::currentDate());
        }
        QVERIFY(!child<QLabel>(view, 135)->pixmap().isNull());
        QCOMPARE(view.findChild<QGroupBox*>()->title(), QStringLiteral("Status"));

        QStringList labels;
        for (const QLabel* label : view.findChildren<QLabel*>()) labels << label->text();
        for (const char* caption : {"QuickBooks File :", "Company Name :", "Valuation Start Date :",
                                    "Current Valuation Up To Date :", "New Valuation Up To Date :"}) {
            QVERIFY2(labels.contains(QString::fromUtf8(caption)), caption);
        }

        QStringList menus;
        for (const QAction* menu : view.menus()->actions()) {
            QStringList items;
            for (const QAction* item : menu->menu()->actions()) {
                if (!item->isSeparator()) items << item->text();
            }
            menus << menu->text() + QStringLiteral(": ") + items.join(QStringLiteral(", "));
        }
        QCOMPARE(menus, QStringList({QStringLiteral("&File: &Open, &Rewind..., &Exit"),
                                     QStringLiteral("&Help: User &Manual, &Tutorial, &About...")}));

        // Every control lies inside the window and none overlaps a neighbour's label.
        const QRect page = view.findChild<QWidget*>(QStringLiteral("page"))->rect();
        for (int id : {kIdcFile, kIdcChooseFile, kIdcProcess, kIdcUpToDate, kIdcCompanyName,
                       kIdcStartDateText, kIdcCurrentUpToDate, kIdcStartDate}) {
            QVERIFY(page.contains(view.control(id)->geometry()));
        }
    }

    void cancelledOpenChangesNothing() {
        CTestView view(folders());
        view.show();
        QTest::mouseClick(child<QPushButton>(view, kIdcChooseFile), Qt::LeftButton);
        QCOMPARE(view.chooserCalls, 1);
        QCOMPARE(status(view), QString::fromUtf8(kInitialStatus));
        QCOMPARE(child<QLineEdit>(view, kIdcFile)->text(), QString());
        QVERIFY(view.progressHost().window() == nullptr);
    }

    void openingANeverValuedCompanyAsksForAStartDate() {
        const std::string path = company();
        QVERIFY(!path.empty());
        CTestView view(folders());
        view.show();
        view.choice = path;
        view.menus()->findChild<QAction*>(QStringLiteral("open"))->trigger();
        QCOMPARE(child<QLineEdit>(view, kIdcFile)->text(), QString::fromStdString(path));
        QCOMPARE(child<QLineEdit>(view, kIdcCompanyName)->text(), QStringLiteral("Acme Hardware"));
        QVERIFY(status(view).startsWith(QStringLiteral("FIFO valuation has never been performed")));
        QVERIFY(child<QDateEdit>(view, kIdcStartDate)->isVisible());
        QVERIFY(!child<QLabel>(view, kIdcStartDateText)->isVisible());
        QVERIFY(child<QDateEdit>(view, kIdcUpToDate)->isEnabled());
        QVERIFY(child<QPushButton>(view, kIdcProcess)->isEnabled());
        // The progress window came and went.
        QVERIFY(view.progressHost().window() != nullptr);
        QVERIFY(!view.progressHost().window()->isVisible());
    }

    void failedOpenLeavesProcessDisabled() {
        const std::filesystem::path notCompany = dir / "notes.qbw";
        std::ofstream(notCompany) << "not a company file\n";
        CTestView view(folders());
        view.show();
        view.choice = notCompany.string();
        QTest::mouseClick(child<QPushButton>(view, kIdcChooseFile), Qt::LeftButton);
        QVERIFY(status(view).startsWith(QStringLiteral("File open failed. It has the following error :\n")));
        QVERIFY(status(view).size() > 50);
        QCOMPARE(child<QLineEdit>(view, kIdcFile)->text(), QString::fromStdString(notCompany.string()));
        QCOMPARE(child<QLineEdit>(view, kIdcCompanyName)->text(), QString());
        QVERIFY(!child<QDateEdit>(view, kIdcStartDate)->isVisible());
        QVERIFY(!child<QLabel>(view, kIdcStartDateText)->isVisible());
        QVERIFY(!child<QDateEdit>(view, kIdcUpToDate)->isEnabled());
        QVERIFY(!child<QPushButton>(view, kIdcProcess)->isEnabled());
    }

    // The dates come from the pickers as the user sets them; the report keeps its
    // decimal points whatever the user's locale.
    void firstProcessReportsCompletion() {
        const std::string path = company();
        QVERIFY(!path.empty());
        CTestView view(folders());
        view.show();
        view.choice = path;
        QTest::mouseClick(child<QPushButton>(view, kIdcChooseFile), Qt::LeftButton);
        QVERIFY(child<QPushButton>(view, kIdcProcess)->isEnabled());
        child<QDateEdit>(view, kIdcStartDate)->setDate(QDate(2010, 4, 1));
        child<QDateEdit>(view, kIdcUpToDate)->setDate(QDate(2010, 4, 3));
        QTest::mouseClick(child<QPushButton>(view, kIdcProcess), Qt::LeftButton);

        const std::string report = view.logic().getEngine()->getReportPath();
        const std::string page = view.logic().getEngine()->getPagePath();
        QVERIFY(view.logic().statusText().rfind("Process completed\n\nA report of the calculation is created at " +
                                                    report + "\nand a page to read it at " + page + "\n\n",
                                                0) == 0);
        // The report and the page are links that open them with the default program.
        auto* label = child<QLabel>(view, kIdcStatus);
        QCOMPARE(label->textFormat(), Qt::RichText);
        const QString pageLink = QUrl::fromLocalFile(QString::fromStdString(page)).toString(QUrl::FullyEncoded);
        QVERIFY(status(view).contains(QStringLiteral("<a href=\"%1\">").arg(pageLink)));
        QVERIFY(status(view).contains(QStringLiteral("No exceptions.")));
        emit label->linkActivated(pageLink);
        QCOMPARE(view.documents, std::vector<std::string>{page});
        QCOMPARE(child<QLabel>(view, kIdcCurrentUpToDate)->text(), QStringLiteral("04/03/2010"));
        QVERIFY(!view.progressHost().window()->isVisible());

        const std::string csv = readFile(report);
        QVERIFY2(csv.find("\"Widget\",16.00,104.00,110.00\n") != std::string::npos, csv.c_str());
        QVERIFY(csv.find("110,00") == std::string::npos);

        QCoreApplication::processEvents();
        QVERIFY(view.grab().save(QStringLiteral(LOTWISE_SCREENSHOT_DIR "/lotwise-main-window.png")));

        // A new up-to date equal to the current one is refused.
        QTest::mouseClick(child<QPushButton>(view, kIdcProcess), Qt::LeftButton);
        QVERIFY(status(view).contains(QStringLiteral("has to be after the current Up to Date")));
    }

    // File > Rewind... shows a date picker (cancel changes nothing), asks, and takes the
    // file back; the window then shows the new current up-to date.
    void rewindAsksForADateThenTakesTheFileBack() {
        const std::string path = company();
        CTestView view(folders());
        view.show();
        view.choice = path;
        QTest::mouseClick(child<QPushButton>(view, kIdcChooseFile), Qt::LeftButton);
        child<QDateEdit>(view, kIdcStartDate)->setDate(QDate(2010, 4, 1));
        child<QDateEdit>(view, kIdcUpToDate)->setDate(QDate(2010, 4, 3));
        QTest::mouseClick(child<QPushButton>(view, kIdcProcess), Qt::LeftButton);
        QCOMPARE(child<QLabel>(view, kIdcCurrentUpToDate)->text(), QStringLiteral("04/03/2010"));

        QAction* rewind = view.menus()->findChild<QAction*>(QStringLiteral("rewind"));
        QVERIFY(rewind != nullptr);
        QCOMPARE(rewind->text(), QStringLiteral("&Rewind..."));
        QDate offered;
        auto answerPicker = [&offered](const QDate& date, bool accept) {
            QTimer::singleShot(0, [&offered, date, accept] {
                auto* picker = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                QVERIFY(picker != nullptr);
                QCOMPARE(picker->objectName(), QStringLiteral("rewindDialog"));
                auto* edit = picker->findChild<QDateEdit*>(QStringLiteral("rewindDate"));
                offered = edit->date();
                edit->setDate(date);
                if (accept) {
                    picker->accept();
                } else {
                    picker->reject();
                }
            });
        };
        answerPicker(QDate(2010, 4, 2), false);
        rewind->trigger();
        QCOMPARE(offered, QDate(2010, 4, 3));
        QVERIFY(view.questions.empty());
        QCOMPARE(child<QLabel>(view, kIdcCurrentUpToDate)->text(), QStringLiteral("04/03/2010"));

        answerPicker(QDate(2010, 4, 2), true);
        rewind->trigger();
        QCOMPARE(view.questions.size(), std::size_t(1));
        QVERIFY(view.questions[0].rfind("Rewind to 04/02/2010?", 0) == 0);
        QCOMPARE(status(view), QStringLiteral("Rewind completed. 2 value adjustments were deleted; the file is "
                                              "now valued up to 04/01/2010."));
        QCOMPARE(child<QLabel>(view, kIdcCurrentUpToDate)->text(), QStringLiteral("04/01/2010"));
    }

    void germanLocaleKeepsDecimalPoints() {
        if (!guiTestGermanLocale) QSKIP("no German locale on this machine");
        QCOMPARE(QString::fromLatin1(std::setlocale(LC_CTYPE, nullptr)), QStringLiteral("de_DE.UTF-8"));
        char text[16];
        std::snprintf(text, sizeof text, "%.2f", 1234.5);
        QCOMPARE(QString::fromLatin1(text), QStringLiteral("1234.50"));
        double parsed = 0;
        std::sscanf("2.75", "%lf", &parsed);
        QCOMPARE(parsed, 2.75);
    }

    void closeDuringOpenWaitsForTheCommand() {
        const std::string path = company();
        CTestView view(folders());
        view.show();
        view.choice = path;
        view.closeOnStatus = "Opening file...";
        QTest::mouseClick(child<QPushButton>(view, kIdcChooseFile), Qt::LeftButton);
        QVERIFY(view.visibleAfterCloseRequest);
        QVERIFY(!view.isVisible());
        QCOMPARE(view.result(), int(QDialog::Rejected));
    }

    void helpCommandsGoThroughTheHost() {
        CTestView view(folders());
        view.show();
        view.menus()->findChild<QAction*>(QStringLiteral("tutorial"))->trigger();
        view.menus()->findChild<QAction*>(QStringLiteral("manual"))->trigger();
        view.menus()->findChild<QAction*>(QStringLiteral("about"))->trigger();
        QCOMPARE(view.boxes.size(), std::size_t(2));
        QCOMPARE(view.boxes[0].first, std::string("Tutorial"));
        QCOMPARE(view.boxes[0].second, std::string("The tutorial will be displayed in the default browser"));
        QCOMPARE(view.boxes[1].first, std::string("User Manual"));
        QCOMPARE(view.documents, (std::vector<std::string>{"tutorial/tutorial.html", "manual.pdf"}));
        QCOMPARE(view.aboutBoxes, 1);
        view.menus()->findChild<QAction*>(QStringLiteral("exit"))->trigger();
        QVERIFY(!view.isVisible());
    }

    // Documents are found in the working directory first, then beside the program.
    void documentsAreFoundInTheFirstFolderThatHasThem() {
        const std::filesystem::path first = dir / "cwd";
        const std::filesystem::path second = dir / "bin";
        std::filesystem::create_directories(second / "tutorial");
        std::filesystem::create_directories(first);
        std::ofstream(second / "tutorial" / "tutorial.html") << "<html></html>";
        const QStringList roots{QString::fromStdString(first.string()), QString::fromStdString(second.string())};
        QCOMPARE(CCostrunDlgView::locateDocument(QStringLiteral("tutorial/tutorial.html"), roots),
                 QString::fromStdString((second / "tutorial" / "tutorial.html").string()));
        std::ofstream(first / "manual.pdf") << "%PDF";
        std::ofstream(second / "manual.pdf") << "%PDF";
        QCOMPARE(CCostrunDlgView::locateDocument(QStringLiteral("manual.pdf"), roots),
                 QString::fromStdString((first / "manual.pdf").string()));
        // Missing everywhere: the working directory's path, for the desktop to refuse.
        QCOMPARE(CCostrunDlgView::locateDocument(QStringLiteral("missing.pdf"), roots),
                 QString::fromStdString((first / "missing.pdf").string()));
    }

    void aboutBoxShowsNameAndVersion() {
        CAboutDlg about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Lotwise"));
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("version"))->text(), QStringLiteral("Lotwise v1.10"));
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("platform"))->text(),
                 QString::fromUtf8("For use with QuickBooks\u00ae"));
        QVERIFY(!about.findChild<QLabel*>(QStringLiteral("icon"))->pixmap().isNull());
        auto* ok = about.findChild<QPushButton*>(QStringLiteral("ok"));
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        about.show();
        QVERIFY(about.grab().save(QStringLiteral(LOTWISE_SCREENSHOT_DIR "/lotwise-about.png")));
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(about.result(), int(QDialog::Accepted));
        QVERIFY(!about.isVisible());
    }

    void splashClosesItselfWhenItsTimerFires() {
        CStartupDlg standard;
        QCOMPARE(standard.findChild<QTimer*>(QStringLiteral("18"))->interval(), 5000);
        QVERIFY(standard.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(!standard.findChild<QLabel*>(QStringLiteral("picture"))->pixmap().isNull());

        CStartupDlg splash(nullptr, 50);
        QSignalSpy finished(&splash, &QDialog::finished);
        splash.show();
        QVERIFY(splash.timerActive());
        QVERIFY(finished.wait(2000));
        QCOMPARE(finished.takeFirst().at(0).toInt(), int(QDialog::Accepted));
        QVERIFY(!splash.isVisible());
        QVERIFY(!splash.timerActive());
    }
};

int runMainWindowTests(int argc, char** argv) {
    CMainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "mainwindow_test.moc"
