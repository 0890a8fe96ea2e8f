// The main window's widgets, their places in dialog units, and the wiring between them
// and the window logic. All state lives in CCostrunDlg; render() copies it onto the
// widgets after every change.
#include "costrundlgview.h"

#include <QCoreApplication>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

#include "aboutdlg.h"
#include "costrunguitext.h"

namespace {

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

// The template, in dialog units: the client area below the menu bar.
const QRect kPageRect(0, 0, 345, 223);

const int kLabelX = 10;
const int kLabelWidth = 112;
const int kFieldX = 118;

// Rows: top of the controls; labels sit two units lower to line up with the text.
const int kRowFile = 10;
const int kRowCompany = 28;
const int kRowStart = 48;
const int kRowCurrent = 66;
const int kRowNewUpTo = 84;

const QRect kFileRect(kFieldX, kRowFile, 194, 13);
const QRect kChooseRect(316, kRowFile, 19, 13);
const QRect kCompanyRect(kFieldX, kRowCompany, 217, 13);
const QRect kStartTextRect(kFieldX, kRowStart + 2, 70, 9);
const QRect kStartPickerRect(kFieldX, kRowStart, 70, 13);
const QRect kCurrentTextRect(kFieldX, kRowCurrent + 2, 70, 9);
const QRect kUpToPickerRect(kFieldX, kRowNewUpTo, 70, 13);
const QRect kProcessRect(194, kRowNewUpTo, 50, 13);
const QRect kPictureRect(262, 46, 73, 54);
const QRect kStatusGroupRect(10, 106, 325, 108);
const QRect kStatusTextRect(8, 14, 309, 88);  // inside the group box

QRect labelRect(int row) { return QRect(kLabelX, row + 2, kLabelWidth, 9); }

QDate toQDate(const CDateTime& date) {
    const CLocalTime local = date.local();
    return QDate(local.year, local.month, local.day);
}

}  // namespace

CCostrunDlgView::CCostrunDlgView(CCostrunFolders folders, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      progress(this) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(text(guitext::kMainCaption));
    setWindowIcon(QIcon(text(guiresource::kIcon)));

    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("page"));
    page->setFixedSize(dialogUnitsToPixels(font(), kPageRect).size());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    buildMenus();
    layout->setMenuBar(menuBar);
    layout->addWidget(page);
    buildControls(page);

    previousProgress = setProgressHost(&progress);
    dlg = std::make_unique<CCostrunDlg>(*this, std::move(folders));
    dlg->initDialog();
    render();
}

CCostrunDlgView::~CCostrunDlgView() {
    // The engine ends its session while the progress host is still installed.
    dlg.reset();
    setProgressHost(previousProgress);
}

void CCostrunDlgView::buildMenus() {
    menuBar = new QMenuBar(this);
    QMenu* file = menuBar->addMenu(text(guitext::kFileMenu));
    file->setObjectName(QStringLiteral("fileMenu"));
    QAction* open = file->addAction(text(guitext::kOpenItem));
    open->setObjectName(QStringLiteral("open"));
    QAction* rewind = file->addAction(text(guitext::kRewindItem));
    rewind->setObjectName(QStringLiteral("rewind"));
    file->addSeparator();
    QAction* exit = file->addAction(text(guitext::kExitItem));
    exit->setObjectName(QStringLiteral("exit"));

    QMenu* help = menuBar->addMenu(text(guitext::kHelpMenu));
    help->setObjectName(QStringLiteral("helpMenu"));
    QAction* manual = help->addAction(text(guitext::kManualItem));
    manual->setObjectName(QStringLiteral("manual"));
    QAction* tutorial = help->addAction(text(guitext::kTutorialItem));
    tutorial->setObjectName(QStringLiteral("tutorial"));
    help->addSeparator();
    QAction* about = help->addAction(text(guitext::kAboutItem));
    about->setObjectName(QStringLiteral("about"));

    connect(open, &QAction::triggered, this, [this] { command([this] { dlg->onOpen(); }); });
    connect(rewind, &QAction::triggered, this, [this] { command([this] { dlg->onRewind(); }); });
    connect(exit, &QAction::triggered, this, [this] { command([this] { dlg->onExit(); }); });
    connect(manual, &QAction::triggered, this, [this] { command([this] { dlg->onUserManual(); }); });
    connect(tutorial, &QAction::triggered, this, [this] { command([this] { dlg->onTutorial(); }); });
    connect(about, &QAction::triggered, this, [this] { command([this] { dlg->onAbout(); }); });
}

void CCostrunDlgView::buildControls(QWidget* page) {
    const QFont& f = font();
    auto place = [&](QWidget* widget, const QRect& units) {
        widget->setGeometry(dialogUnitsToPixels(f, units));
    };
    auto label = [&](const char* caption, int row) {
        auto* l = new QLabel(text(caption), page);
        l->setTextFormat(Qt::PlainText);
        place(l, labelRect(row));
        return l;
    };
    auto remember = [&](int id, QWidget* widget) {
        widget->setObjectName(QString::number(id));
        controls[id] = widget;
    };

    label(guitext::kFileLabel, kRowFile);
    auto* file = new QLineEdit(page);
    file->setReadOnly(true);
    place(file, kFileRect);
    remember(kIdcFile, file);
    auto* choose = new QPushButton(page);
    choose->setAutoDefault(false);
    place(choose, kChooseRect);
    remember(kIdcChooseFile, choose);

    label(guitext::kCompanyLabel, kRowCompany);
    auto* company = new QLineEdit(page);
    company->setReadOnly(true);
    place(company, kCompanyRect);
    remember(kIdcCompanyName, company);

    label(guitext::kStartDateLabel, kRowStart);
    auto* startText = new QLabel(page);
    startText->setTextFormat(Qt::PlainText);
    place(startText, kStartTextRect);
    remember(kIdcStartDateText, startText);

    auto makePicker = [&](int id, const QRect& units) {
        auto* picker = new QDateEdit(page);
        picker->setCalendarPopup(true);
        picker->setDisplayFormat(text(guitext::kDatePickerFormat));
        place(picker, units);
        remember(id, picker);
        connect(picker, &QDateEdit::dateChanged, this, [this, id](const QDate& date) {
            if (auto when = CDateTime::fromLocal(date.year(), date.month(), date.day(), 12)) {
                dlg->setDate(id, *when);
            }
        });
        return picker;
    };
    makePicker(kIdcStartDate, kStartPickerRect);

    label(guitext::kCurrentUpToLabel, kRowCurrent);
    auto* current = new QLabel(page);
    current->setTextFormat(Qt::PlainText);
    place(current, kCurrentTextRect);
    remember(kIdcCurrentUpToDate, current);

    label(guitext::kNewUpToLabel, kRowNewUpTo);
    makePicker(kIdcUpToDate, kUpToPickerRect);
    auto* process = new QPushButton(page);
    process->setAutoDefault(false);
    place(process, kProcessRect);
    remember(kIdcProcess, process);

    auto* picture = new QLabel(page);
    picture->setObjectName(QString::number(guiresource::kPictureId));
    const QRect pictureRect = dialogUnitsToPixels(f, kPictureRect);
    picture->setPixmap(QPixmap(text(guiresource::kPicture))
                           .scaled(pictureRect.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    picture->setAlignment(Qt::AlignCenter);
    picture->setGeometry(pictureRect);

    auto* group = new QGroupBox(text(guitext::kStatusGroup), page);
    group->setObjectName(QStringLiteral("statusGroup"));
    place(group, kStatusGroupRect);
    // A long status (a run's summary with its exceptions) scrolls inside the box.
    auto* scroll = new QScrollArea(group);
    scroll->setObjectName(QStringLiteral("statusScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setGeometry(dialogUnitsToPixels(f, kStatusTextRect));
    auto* status = new QLabel;
    status->setTextFormat(Qt::PlainText);
    status->setWordWrap(true);
    status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse |
                                    Qt::LinksAccessibleByKeyboard);
    connect(status, &QLabel::linkActivated, this, [this](const QString& link) {
        openDocument(QUrl(link).toLocalFile().toStdString());
    });
    scroll->setWidget(status);
    remember(kIdcStatus, status);

    connect(choose, &QPushButton::clicked, this, [this] { command([this] { dlg->onOpen(); }); });
    connect(process, &QPushButton::clicked, this, [this] { command([this] { dlg->onProcess(); }); });
}

QWidget* CCostrunDlgView::control(int id) const {
    const auto found = controls.find(id);
    return found == controls.end() ? nullptr : found->second;
}

template <class Command>
void CCostrunDlgView::command(Command run) {
    run();
    if (closePending && !dlg->isBusy()) {
        closePending = false;
        close();
    }
}

void CCostrunDlgView::render() {
    for (const auto& [id, widget] : controls) {
        const CControlState& state = dlg->control(id);
        const QString value = QString::fromStdString(state.text);
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(value);
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            button->setText(value);
        } else if (auto* picker = qobject_cast<QDateEdit*>(widget)) {
            if (state.date) {
                const QSignalBlocker quiet(picker);
                picker->setDate(toQDate(*state.date));
            }
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (id == kIdcStatus) {
                showStatus(*label, state.text);
            } else {
                label->setText(value);
            }
        }
        widget->setEnabled(state.enabled);
        widget->setVisible(state.visible);
    }
}

void CCostrunDlgView::showStatus(QLabel& label, const std::string& status) {
    // The paths of the run's page and report become links that open them with the
    // system's default program; any other status stays plain text.
    const CCostrunDoc* engine = dlg->getEngine();
    std::vector<std::string> paths;
    if (engine != nullptr) {
        for (const std::string& path : {engine->getPagePath(), engine->getReportPath()}) {
            if (!path.empty() && status.find(path) != std::string::npos) paths.push_back(path);
        }
    }
    if (paths.empty()) {
        label.setTextFormat(Qt::PlainText);
        label.setText(QString::fromStdString(status));
        return;
    }
    QString html = QString::fromStdString(status).toHtmlEscaped();
    for (const std::string& path : paths) {
        const QString shown = QString::fromStdString(path).toHtmlEscaped();
        const QString href = QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded);
        html.replace(shown, QStringLiteral("<a href=\"%1\">%2</a>").arg(href.toHtmlEscaped(), shown));
    }
    html.replace(QStringLiteral("\n"), QStringLiteral("<br>"));
    label.setTextFormat(Qt::RichText);
    label.setText(html);
}

void CCostrunDlgView::controlsChanged() { render(); }

std::optional<std::string> CCostrunDlgView::chooseCompanyFile() {
    const QString filters = text(guitext::kCompanyFilter) + QStringLiteral(";;") + text(guitext::kAllFilesFilter);
    const QString path =
        QFileDialog::getOpenFileName(this, text(guitext::kChooseFileCaption), QString(), filters);
    if (path.isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(path).toStdString();
}

void CCostrunDlgView::messageBox(const std::string& message, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(message),
                    QMessageBox::Ok, this);
    box.exec();
}

QStringList CCostrunDlgView::documentRoots() {
    const QString programDir = QCoreApplication::applicationDirPath();
    return {QDir::currentPath(), programDir, QDir(programDir).filePath(QStringLiteral("../share/lotwise"))};
}

QString CCostrunDlgView::locateDocument(const QString& path, const QStringList& roots) {
    if (QFileInfo(path).isAbsolute()) return path;
    for (const QString& root : roots) {
        const QFileInfo candidate(QDir(root), path);
        if (candidate.isFile()) return candidate.absoluteFilePath();
    }
    return QFileInfo(QDir(roots.isEmpty() ? QDir::currentPath() : roots.front()), path).absoluteFilePath();
}

void CCostrunDlgView::openDocument(const std::string& path) {
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(locateDocument(QString::fromStdString(path), documentRoots())));
}

std::optional<CDateTime> CCostrunDlgView::chooseRewindDate(const CDateTime& initial) {
    QDialog picker(this);
    picker.setObjectName(QStringLiteral("rewindDialog"));
    picker.setWindowTitle(text(guitext::kRewindCaption));
    auto* layout = new QVBoxLayout(&picker);
    auto* prompt = new QLabel(text(guitext::kRewindPrompt), &picker);
    prompt->setTextFormat(Qt::PlainText);
    prompt->setWordWrap(true);
    layout->addWidget(prompt);
    auto* date = new QDateEdit(toQDate(initial), &picker);
    date->setObjectName(QStringLiteral("rewindDate"));
    date->setCalendarPopup(true);
    date->setDisplayFormat(text(guitext::kDatePickerFormat));
    layout->addWidget(date);
    auto* buttons = new QDialogButtonBox(&picker);
    buttons->addButton(text(guitext::kOk), QDialogButtonBox::AcceptRole);
    buttons->addButton(text(guitext::kCancel), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &picker, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &picker, &QDialog::reject);
    layout->addWidget(buttons);
    if (picker.exec() != QDialog::Accepted) return std::nullopt;
    const QDate chosen = date->date();
    return CDateTime::fromLocal(chosen.year(), chosen.month(), chosen.day(), 12);
}

bool CCostrunDlgView::confirm(const std::string& question, const std::string& caption) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(caption),
                    QString::fromStdString(question), QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void CCostrunDlgView::runAboutBox() {
    CAboutDlg about(this);
    about.exec();
}

void CCostrunDlgView::closeWindow() { close(); }

void CCostrunDlgView::reject() {
    if (dlg && dlg->isBusy()) {
        closePending = true;
        return;
    }
    QDialog::reject();
}
