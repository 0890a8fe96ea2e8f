// gui/, lotwise: the Qt 6 Widgets desktop program over the window logic. May include
// Qt, costrun/, qblib/ and platform/, and qbsim/ where it registers the stand-in.

// The desktop's progress window: a small captionless window, centred on the screen,
// whose bar steps through twenty positions, one every two seconds, beside a fixed text,
// while work with QuickBooks runs on the user-interface thread. CQbProgressWindowHost
// plugs it into the process-wide progress operations of qbprogress.h and runs the
// message pump between the steps of that work.
//
// Qt code of the desktop program; qblib knows only the operations of qbprogress.h.
// User-interface thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include "qbprogress.h"

class QFont;
class QProgressBar;

// Converts a rectangle in dialog units (a quarter of the font's average character width
// across, an eighth of its height down) into pixels for that font, as a dialog template
// is laid out.
QRect dialogUnitsToPixels(const QFont& font, const QRect& dialogUnits);

class CQbProgressDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 140;
    static constexpr int kIdcProgress = 1026;
    static constexpr int kTimerId = 28;
    static constexpr int kTickMs = 2000;
    static constexpr int kLastPosition = 19;

    explicit CQbProgressDlg(QWidget* parent = nullptr);

    QProgressBar* bar() const { return progress; }
    bool timerActive() const { return timer->isActive(); }
    // One timer step: the next position, from the last back to the first.
    void tick();

protected:
    // Showing resets the bar and starts the timer; hiding stops the timer.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QProgressBar* progress = nullptr;
    QTimer* timer = new QTimer(this);
};

// The progress host of the desktop program. The window is created on the first show,
// owned by the main window given here (or by this host when there is none), and then
// only shown and hidden.
class CQbProgressWindowHost : public CQbProgressHost {
public:
    explicit CQbProgressWindowHost(QWidget* mainWindow = nullptr) : mainWindow(mainWindow) {}
    ~CQbProgressWindowHost() override;
    CQbProgressWindowHost(const CQbProgressWindowHost&) = delete;
    CQbProgressWindowHost& operator=(const CQbProgressWindowHost&) = delete;

    void show() override;
    void hide() override;
    bool isVisible() const override;
    // Processes pending events and idle work. A quit request met on the way stops the
    // dispatching and is posted again (exit code 0), so that the main event loop gets it
    // once the work in progress has returned.
    void pump() override;

    // Null until the first show.
    CQbProgressDlg* window() const { return dialog; }

private:
    QPointer<QWidget> mainWindow;
    QPointer<CQbProgressDlg> dialog;
    bool ownsDialog = false;
};
