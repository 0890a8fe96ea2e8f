// The About box, laid out in dialog units like the other windows of the program.
#include "aboutdlg.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "costrunguitext.h"
#include "qbprogressdlg.h"

namespace {

const QRect kWindowRect(0, 0, 266, 74);
const QRect kIconRect(11, 14, 24, 24);
const QRect kVersionRect(44, 14, 150, 10);
const QRect kPlatformRect(44, 28, 150, 10);
const QRect kOkRect(206, 10, 50, 14);

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(guitext::kAboutCaption));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(dialogUnitsToPixels(font(), kWindowRect).size());

    const QRect iconRect = dialogUnitsToPixels(font(), kIconRect);
    const int side = std::min(iconRect.width(), iconRect.height());
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(QIcon(QString::fromUtf8(guiresource::kIcon)).pixmap(side, side));
    icon->setGeometry(iconRect.x(), iconRect.y(), side, side);

    auto* version = new QLabel(QString::fromUtf8(guitext::kAboutVersion), this);
    version->setObjectName(QStringLiteral("version"));
    version->setGeometry(dialogUnitsToPixels(font(), kVersionRect));
    auto* platform = new QLabel(QString::fromUtf8(guitext::kAboutPlatform), this);
    platform->setObjectName(QStringLiteral("platform"));
    platform->setGeometry(dialogUnitsToPixels(font(), kPlatformRect));

    auto* ok = new QPushButton(QString::fromUtf8(guitext::kOk), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    ok->setGeometry(dialogUnitsToPixels(font(), kOkRect));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
