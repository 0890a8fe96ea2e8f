// The splash window shown for five seconds before the main window.
#include "startupdlg.h"

#include <QLabel>
#include <QPixmap>
#include <QScreen>

#include "costrunguitext.h"
#include "qbprogressdlg.h"

namespace {

// The template: 332 by 246 dialog units, the picture filling it.
const QRect kWindowRect(0, 0, 332, 246);

}  // namespace

CStartupDlg::CStartupDlg(QWidget* parent, int showMs)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QString::number(guiresource::kSplashId));
    setWindowTitle(QString::fromUtf8(guitext::kSplashCaption));
    setFixedSize(dialogUnitsToPixels(font(), kWindowRect).size());

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setPixmap(QPixmap(QString::fromUtf8(guiresource::kSplash)));
    picture->setScaledContents(true);
    picture->setGeometry(rect());

    timer->setObjectName(QString::number(kTimerId));
    timer->setSingleShot(true);
    timer->setInterval(showMs);
    connect(timer, &QTimer::timeout, this, &QDialog::accept);
}

void CStartupDlg::showEvent(QShowEvent* event) {
    if (const QScreen* where = screen()) {
        move(where->availableGeometry().center() - rect().center());
    }
    timer->start();
    QDialog::showEvent(event);
}
