// gui/, lotwise: the Qt 6 Widgets desktop program over the window logic. May include
// Qt, costrun/, qblib/ and platform/, and qbsim/ where it registers the stand-in.

// The main window of the desktop program: a fixed-size dialog laid out in dialog units
// that renders the control state of the window logic (CCostrunDlg) and forwards the
// user's commands to it. It is also the logic's host (file chooser, message boxes,
// documents, the About box, closing) and owns the progress window, which it installs
// as the process-wide progress host for its lifetime.
//
// Controls carry their resource ids as object names ("1000" for the file field), so
// tests find them as the logic names them. A close requested while Open or Process runs
// (the progress pump delivers it) waits until that command has returned.
#pragma once

#include <QDialog>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "costrundlg.h"
#include "qbprogressdlg.h"

class QLabel;
class QMenuBar;

class CCostrunDlgView : public QDialog, public CCostrunDlgHost {
    Q_OBJECT
public:
    // The folders replace the user's application data and documents folders when set.
    explicit CCostrunDlgView(CCostrunFolders folders = {}, QWidget* parent = nullptr);
    ~CCostrunDlgView() override;

    CCostrunDlg& logic() { return *dlg; }
    // The widget of a control by its resource id; null for an unknown id.
    QWidget* control(int id) const;
    QMenuBar* menus() const { return menuBar; }
    CQbProgressWindowHost& progressHost() { return progress; }

    // Where a document handed over by a relative path is looked for: the working
    // directory first, then beside the program, then the installed data folder.
    static QString locateDocument(const QString& path, const QStringList& roots);
    static QStringList documentRoots();

    // CCostrunDlgHost; tests replace the parts that would block.
    std::optional<std::string> chooseCompanyFile() override;
    void messageBox(const std::string& text, const std::string& caption) override;
    void openDocument(const std::string& path) override;
    void runAboutBox() override;
    std::optional<CDateTime> chooseRewindDate(const CDateTime& initial) override;
    bool confirm(const std::string& text, const std::string& caption) override;
    void closeWindow() override;
    void controlsChanged() override;

public slots:
    void reject() override;

private:
    void buildMenus();
    void buildControls(QWidget* page);
    // Runs one command of the logic, then any close that was held back meanwhile.
    template <class Command>
    void command(Command run);
    void render();
    void showStatus(QLabel& label, const std::string& status);

    CQbProgressWindowHost progress;
    CQbProgressHost* previousProgress = nullptr;
    std::unique_ptr<CCostrunDlg> dlg;
    std::map<int, QWidget*> controls;
    QMenuBar* menuBar = nullptr;
    bool closePending = false;
};
