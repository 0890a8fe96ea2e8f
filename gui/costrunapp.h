// gui/, lotwise: the Qt 6 Widgets desktop program over the window logic. May include
// Qt, costrun/, qblib/ and platform/, and qbsim/ where it registers the stand-in.

// The application object of the desktop program: it prepares the process (numeric
// formatting independent of the user's locale, the embedded QuickBooks stand-in, the
// application icon), shows the splash window, then the main window, and ends the
// program when the main window closes.
#pragma once

#include <QApplication>

class CCostrunApp : public QApplication {
    Q_OBJECT
public:
    CCostrunApp(int& argc, char** argv);

    // Splash, then the main window; returns the exit code of the event loop.
    int run();
};
