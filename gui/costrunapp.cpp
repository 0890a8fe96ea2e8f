// Start-up of the desktop program. QApplication adopts the user's locale for the C
// library, which would make printf write decimal commas into the report and into the
// values sent to QuickBooks; numbers go back to the C conventions right after it.
#include "costrunapp.h"

#include <QIcon>
#include <clocale>

#include "costrundlgview.h"
#include "costrunguitext.h"
#ifndef _WIN32
#include "qbsimprocessor.h"
#endif
#include "startupdlg.h"

CCostrunApp::CCostrunApp(int& argc, char** argv) : QApplication(argc, argv) {
    std::setlocale(LC_NUMERIC, "C");
    setApplicationName(QString::fromUtf8(guitext::kAppName));
    setApplicationVersion(QStringLiteral("1.10"));
    setWindowIcon(QIcon(QString::fromUtf8(guiresource::kIcon)));
    // The splash closes before the main window opens; the program ends with the main
    // window, not with the last window.
    setQuitOnLastWindowClosed(false);
#ifndef _WIN32
    // Here the embedded stand-in answers for QuickBooks; on Windows QuickBooks' own
    // request processor is created through COM.
    qbsimRegister();
#endif
}

int CCostrunApp::run() {
    CStartupDlg splash;
    CCostrunDlgView window;
    connect(&splash, &QDialog::finished, &window, &QWidget::show);
    connect(&window, &QDialog::finished, this, &QCoreApplication::quit);
    splash.show();
    return exec();
}
