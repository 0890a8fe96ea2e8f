// The progress window: its template, the bar's ticks and wrap, restarting on show,
// and the message pump with the quit request it holds back.
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include "guitest.h"
#include "qbprogress.h"
#include "qbprogressdlg.h"

namespace {

// Counts the events of one custom type delivered to it.
class CMarker : public QObject {
public:
    static const QEvent::Type kType;
    int delivered = 0;
    bool event(QEvent* e) override {
        if (e->type() == kType) {
            ++delivered;
            return true;
        }
        return QObject::event(e);
    }
};
const QEvent::Type CMarker::kType = static_cast<QEvent::Type>(QEvent::registerEventType());

// Takes quit requests sent to the application so that none ends the test run.
class CQuitCounter : public QObject {
public:
    int quits = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
            ++quits;
            return true;
        }
        return false;
    }
};

// Installs a host for the length of a test.
class CInstalledHost {
public:
    explicit CInstalledHost(CQbProgressHost& host) : previous(setProgressHost(&host)) {}
    ~CInstalledHost() { setProgressHost(previous); }

private:
    CQbProgressHost* previous;
};

}  // namespace

class CProgressWindowTest : public QObject {
    Q_OBJECT
private slots:
    void windowFollowsItsTemplate() {
        QWidget main;
        CQbProgressWindowHost host(&main);
        CInstalledHost installed(host);
        QVERIFY(host.window() == nullptr);
        showProgress();
        CQbProgressDlg* dlg = host.window();
        QVERIFY(dlg != nullptr);
        QCOMPARE(dlg->parentWidget(), &main);
        QCOMPARE(dlg->objectName(), QStringLiteral("140"));
        QVERIFY(!dlg->isModal());
        QVERIFY(dlg->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(dlg->isVisible());
        QCOMPARE(dlg->bar(), dlg->findChild<QProgressBar*>(QStringLiteral("1026")));
        QVERIFY(!dlg->bar()->isTextVisible());
        QCOMPARE(dlg->findChild<QLabel*>()->text(), QStringLiteral("Communicating with QuickBooks..."));
        const QRect screen = dlg->screen()->availableGeometry();
        QVERIFY(qAbs(dlg->frameGeometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(dlg->frameGeometry().center().y() - screen.center().y()) <= 1);
        QVERIFY(dlg->grab().save(QStringLiteral(LOTWISE_SCREENSHOT_DIR "/lotwise-progress-window.png")));
        // One window for the process: showing again reuses it.
        hideProgress();
        showProgress();
        QCOMPARE(host.window(), dlg);
        hideProgress();
    }

    void barStepsEveryTickAndWrapsAfterNineteen() {
        CQbProgressWindowHost host;
        host.show();
        CQbProgressDlg* dlg = host.window();
        QCOMPARE(dlg->bar()->minimum(), 0);
        QCOMPARE(dlg->bar()->maximum(), 19);
        QCOMPARE(dlg->bar()->value(), 0);
        QVERIFY(dlg->timerActive());
        QCOMPARE(dlg->findChild<QTimer*>(QStringLiteral("28"))->interval(), 2000);
        for (int i = 1; i <= 19; ++i) {
            dlg->tick();
            QCOMPARE(dlg->bar()->value(), i);
        }
        dlg->tick();
        QCOMPARE(dlg->bar()->value(), 0);
        dlg->tick();
        QCOMPARE(dlg->bar()->value(), 1);
    }

    void showingAgainResetsTheBarAndRestartsTheTimer() {
        CQbProgressWindowHost host;
        CInstalledHost installed(host);
        showProgress();
        CQbProgressDlg* dlg = host.window();
        for (int i = 0; i < 7; ++i) dlg->tick();
        hideProgress();
        QVERIFY(!dlg->isVisible());
        QVERIFY(!dlg->timerActive());
        showProgress();
        QCOMPARE(dlg->bar()->value(), 0);
        QVERIFY(dlg->timerActive());
        // A second show while shown also starts the sweep again.
        dlg->tick();
        showProgress();
        QCOMPARE(dlg->bar()->value(), 0);
        hideProgress();
    }

    void hideAndPumpBeforeAnyShowDoNothing() {
        CQbProgressWindowHost host;
        CInstalledHost installed(host);
        CMarker marker;
        QCoreApplication::postEvent(&marker, new QEvent(CMarker::kType));
        hideProgress();
        pumpMessages();
        QVERIFY(host.window() == nullptr);
        QCOMPARE(marker.delivered, 0);
        QCoreApplication::sendPostedEvents(&marker);
    }

    void pumpDispatchesOnlyWhileShown() {
        CQbProgressWindowHost host;
        CInstalledHost installed(host);
        CMarker marker;
        showProgress();
        QCoreApplication::postEvent(&marker, new QEvent(CMarker::kType));
        pumpMessages();
        QCOMPARE(marker.delivered, 1);

        hideProgress();
        QCoreApplication::postEvent(&marker, new QEvent(CMarker::kType));
        pumpMessages();
        QCOMPARE(marker.delivered, 1);
        QCoreApplication::sendPostedEvents(&marker);
        QCOMPARE(marker.delivered, 2);
    }

    void quitDuringAStepIsHeldForTheMainLoop() {
        CQuitCounter counter;
        qApp->installEventFilter(&counter);
        CQbProgressWindowHost host;
        CInstalledHost installed(host);
        showProgress();
        QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit));
        pumpMessages();
        // The pump took the quit before anyone else saw it ...
        QCOMPARE(counter.quits, 0);
        // ... and every later pump of the same step does the same.
        pumpMessages();
        QCOMPARE(counter.quits, 0);
        QVERIFY(host.window()->isVisible());
        hideProgress();
        // When the step is over, the quit is waiting for the main loop.
        QCoreApplication::sendPostedEvents(qApp, QEvent::Quit);
        QCOMPARE(counter.quits, 1);
        qApp->removeEventFilter(&counter);
    }
};

int runProgressWindowTests(int argc, char** argv) {
    CProgressWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "progresswindow_test.moc"
