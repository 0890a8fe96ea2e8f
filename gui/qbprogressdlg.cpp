// The progress window and the desktop's progress host. The bar shows no percentage: it
// only tells that the program is alive while QuickBooks answers. The host's pump lets
// the window system's events run between the steps of long work, so the windows repaint
// and take clicks; the main window refuses commands that would disturb a running step.
#include "qbprogressdlg.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QShowEvent>

#include <cmath>

namespace {

const char* const kCommunicating = "Communicating with QuickBooks...";

// Template 140, in dialog units.
const QRect kWindowRect(0, 0, 251, 56);
const QRect kBarRect(63, 15, 120, 12);
const QRect kTextRect(70, 34, 113, 10);

// Holds back a quit request that arrives while the pump dispatches events.
class CQuitCatcher : public QObject {
public:
    bool quitSeen = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
            quitSeen = true;
            if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
                dispatcher->interrupt();
            }
            return true;
        }
        return false;
    }
};

}  // namespace

QRect dialogUnitsToPixels(const QFont& font, const QRect& dialogUnits) {
    const QFontMetricsF metrics(font);
    const double baseX =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
        52.0;
    const double baseY = metrics.height();
    auto across = [baseX](int units) { return static_cast<int>(std::lround(units * baseX / 4.0)); };
    auto down = [baseY](int units) { return static_cast<int>(std::lround(units * baseY / 8.0)); };
    return QRect(across(dialogUnits.x()), down(dialogUnits.y()), across(dialogUnits.width()),
                 down(dialogUnits.height()));
}

CQbProgressDlg::CQbProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QString::number(kTemplateId));
    setModal(false);
    setWindowTitle(QString::fromUtf8(kCommunicating));
    setFixedSize(dialogUnitsToPixels(font(), kWindowRect).size());

    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setGeometry(rect());

    progress = new QProgressBar(this);
    progress->setObjectName(QString::number(kIdcProgress));
    progress->setTextVisible(false);
    progress->setRange(0, kLastPosition);
    progress->setValue(0);
    progress->setGeometry(dialogUnitsToPixels(font(), kBarRect));

    auto* text = new QLabel(QString::fromUtf8(kCommunicating), this);
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const QRect textRect = dialogUnitsToPixels(font(), kTextRect);
    // The template's text box is sized for the Windows dialog font; let it grow to the
    // text where this platform's font is wider.
    text->setGeometry(textRect.adjusted(0, 0, std::max(0, text->sizeHint().width() - textRect.width()),
                                        std::max(0, text->sizeHint().height() - textRect.height())));

    timer->setObjectName(QString::number(kTimerId));
    timer->setInterval(kTickMs);
    connect(timer, &QTimer::timeout, this, &CQbProgressDlg::tick);
}

void CQbProgressDlg::tick() {
    const int position = progress->value();
    progress->setValue(position >= kLastPosition ? 0 : position + 1);
}

void CQbProgressDlg::showEvent(QShowEvent* event) {
    progress->setRange(0, kLastPosition);
    progress->setValue(0);
    timer->start();
    if (const QScreen* where = screen()) {
        move(where->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

void CQbProgressDlg::hideEvent(QHideEvent* event) {
    timer->stop();
    QDialog::hideEvent(event);
}

CQbProgressWindowHost::~CQbProgressWindowHost() {
    if (ownsDialog) delete dialog.data();
}

void CQbProgressWindowHost::show() {
    if (!dialog) {
        dialog = new CQbProgressDlg(mainWindow.data());
        ownsDialog = mainWindow.isNull();
    }
    // Showing an already visible window would not restart the bar.
    if (dialog->isVisible()) dialog->hide();
    dialog->show();
}

void CQbProgressWindowHost::hide() {
    if (dialog) dialog->hide();
}

bool CQbProgressWindowHost::isVisible() const { return dialog && dialog->isVisible(); }

void CQbProgressWindowHost::pump() {
    if (!isVisible()) return;
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) return;
    CQuitCatcher catcher;
    application->installEventFilter(&catcher);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Idle work: what the handlers just run have posted (layouts, repaints).
    if (!catcher.quitSeen) QCoreApplication::sendPostedEvents();
    application->removeEventFilter(&catcher);
    if (catcher.quitSeen) QCoreApplication::postEvent(application, new QEvent(QEvent::Quit));
}
