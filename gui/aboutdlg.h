// gui/, lotwise: the Qt 6 Widgets desktop program over the window logic. May include
// Qt, costrun/, qblib/ and platform/, and qbsim/ where it registers the stand-in.

// The About box: the application icon, the program's name and version, and OK.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
