// gui/, lotwise: the Qt 6 Widgets desktop program over the window logic. May include
// Qt, costrun/, qblib/ and platform/, and qbsim/ where it registers the stand-in.

// The splash window: a frameless window filled with the splash picture (resource 1001)
// that closes itself, as if OK were pressed, when its timer (id 18) fires.
#pragma once

#include <QDialog>
#include <QTimer>

class CStartupDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimerId = 18;
    static constexpr int kShowMs = 5000;

    // showMs replaces the five seconds (tests).
    explicit CStartupDlg(QWidget* parent = nullptr, int showMs = kShowMs);

    bool timerActive() const { return timer->isActive(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTimer* timer = new QTimer(this);
};
