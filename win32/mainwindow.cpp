// The main window's dialog procedure, the texts it takes from costrunguitext.h, and the
// wiring between its controls and the window logic. All state lives in CCostrunDlg;
// render() copies it onto the controls after every change.
#include "mainwindow.h"

#include <commdlg.h>

#include <vector>

#include "aboutbox.h"
#include "costrunguitext.h"
#include "picture.h"
#include "resource.h"
#include "rewinddialog.h"
#include "userfolders.h"
#include "widestring.h"

static_assert(IDC_FILE == kIdcFile && IDC_CHOOSEFILE == kIdcChooseFile &&
                  IDC_PROCESS == kIdcProcess && IDC_UPTODATE == kIdcUpToDate &&
                  IDC_COMPANYNAME == kIdcCompanyName && IDC_STATUS == kIdcStatus &&
                  IDC_STARTDATETEXT == kIdcStartDateText &&
                  IDC_CURRENTUPTODATE == kIdcCurrentUpToDate && IDC_STARTDATE == kIdcStartDate,
              "resource.h must give the controls the window logic's ids");
static_assert(IDR_MAINFRAME == guiresource::kIconId && IDB_PICTURE == guiresource::kPictureId &&
                  IDB_SPLASH == guiresource::kSplashId,
              "resource.h must give the pictures the ids of costrunguitext.h");

namespace {

// The controls whose state the window logic holds.
constexpr int kLogicControls[] = {kIdcFile,          kIdcChooseFile,      kIdcProcess,
                                  kIdcUpToDate,      kIdcCompanyName,     kIdcStatus,
                                  kIdcStartDateText, kIdcCurrentUpToDate, kIdcStartDate};

struct CLabelText {
    int id;
    const char* text;
};
constexpr CLabelText kLabels[] = {
    {IDC_FILE_LABEL, guitext::kFileLabel},
    {IDC_COMPANY_LABEL, guitext::kCompanyLabel},
    {IDC_STARTDATE_LABEL, guitext::kStartDateLabel},
    {IDC_CURRENT_LABEL, guitext::kCurrentUpToLabel},
    {IDC_NEWUPTO_LABEL, guitext::kNewUpToLabel},
    {IDC_STATUS_GROUP, guitext::kStatusGroup},
};

// The menu's items; `keys` names the accelerator (lotwise.rc) beside the item.
struct CMenuText {
    int command;
    const char* text;
    const char* keys;
};
constexpr CMenuText kMenuItems[] = {
    {ID_FILE_OPEN, guitext::kOpenItem, "Ctrl+O"},
    {ID_FILE_REWIND, guitext::kRewindItem, nullptr},
    {ID_APP_EXIT, guitext::kExitItem, nullptr},
    {ID_HELP_MANUAL, guitext::kManualItem, "F1"},
    {ID_HELP_TUTORIAL, guitext::kTutorialItem, nullptr},
    {ID_APP_ABOUT, guitext::kAboutItem, nullptr},
};
// The menu bar's menus, by position.
constexpr const char* kMenus[] = {guitext::kFileMenu, guitext::kHelpMenu};

bool isPicker(int id) {
    return id == kIdcStartDate || id == kIdcUpToDate;
}

void setMenuText(HMENU menu, UINT item, BOOL byPosition, const std::string& text) {
    std::wstring wide = narrowToWide(text);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    // The template's empty items are separators until they get their text and type.
    info.fMask = MIIM_FTYPE | MIIM_STRING;
    info.fType = MFT_STRING;
    info.dwTypeData = wide.data();
    SetMenuItemInfoW(menu, item, byPosition, &info);
}

}  // namespace

CMainWindow::CMainWindow(HINSTANCE programInstance, CCostrunFolders engineFolders)
    : instance(programInstance), folders(std::move(engineFolders)) {}

CMainWindow::~CMainWindow() {
    if (hwnd != nullptr) DestroyWindow(hwnd);
    // The engine ends its session while the progress host is still installed.
    dlg.reset();
    if (progress) setProgressHost(previousProgress);
    progress.reset();
    if (accelerators != nullptr) DestroyAcceleratorTable(accelerators);
}

bool CMainWindow::create() {
    accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    hwnd = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, dialogProc,
                              reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

INT_PTR CALLBACK CMainWindow::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CMainWindow*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->hwnd = window;
        self->initialise();
        return TRUE;
    }
    auto* self = reinterpret_cast<CMainWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

void CMainWindow::initialise() {
    applyTexts();
    bigIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));

    for (int id : {kIdcStartDate, kIdcUpToDate}) preparePicker(GetDlgItem(hwnd, id));
    picture =
        showPicture(GetDlgItem(hwnd, IDC_PICTURE), instance, IDB_PICTURE, CPictureFit::KeepAspect);

    progress = std::make_unique<CProgressWindow>(instance, hwnd);
    progress->setMessageFilter([this](MSG& message) { return translate(message); });
    previousProgress = setProgressHost(progress.get());
    dlg = std::make_unique<CCostrunDlg>(*this, folders);
    dlg->initDialog();
    render();
}

void CMainWindow::applyTexts() {
    setWindowText(hwnd, guitext::kMainCaption);
    for (const CLabelText& label : kLabels) setWindowText(GetDlgItem(hwnd, label.id), label.text);
    HMENU menu = GetMenu(hwnd);
    if (menu == nullptr) return;
    for (UINT position = 0; position < std::size(kMenus); ++position) {
        setMenuText(menu, position, TRUE, kMenus[position]);
    }
    for (const CMenuText& item : kMenuItems) {
        std::string text = item.text;
        if (item.keys != nullptr) text += std::string("\t") + item.keys;
        setMenuText(menu, static_cast<UINT>(item.command), FALSE, text);
    }
    DrawMenuBar(hwnd);
}

INT_PTR CMainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code == DTN_DATETIMECHANGE && isPicker(static_cast<int>(header->idFrom))) {
                onDateChanged(static_cast<int>(header->idFrom),
                              *reinterpret_cast<const NMDATETIMECHANGE*>(lParam));
            }
            return FALSE;
        }
        case WM_CLOSE:
            requestClose();
            return TRUE;
        case WM_DESTROY:
            removePicture(GetDlgItem(hwnd, IDC_PICTURE), picture);
            if (progress) progress->hide();
            return FALSE;
        case WM_NCDESTROY:
            // The window no longer uses its icons.
            for (HICON* icon : {&bigIcon, &smallIcon}) {
                if (*icon != nullptr) DestroyIcon(*icon);
                *icon = nullptr;
            }
            hwnd = nullptr;
            PostQuitMessage(0);
            return FALSE;
        default:
            return FALSE;
    }
}

void CMainWindow::onCommand(int id, int code) {
    // Buttons report clicks; menu items and accelerators report 0 and 1.
    const bool clicked = code == BN_CLICKED;
    switch (id) {
        case IDC_CHOOSEFILE:
            if (clicked) command([this] { dlg->onOpen(); });
            break;
        case IDC_PROCESS:
            if (clicked) command([this] { dlg->onProcess(); });
            break;
        case ID_FILE_OPEN:
            command([this] { dlg->onOpen(); });
            break;
        case ID_FILE_REWIND:
            command([this] { dlg->onRewind(); });
            break;
        case ID_APP_EXIT:
            command([this] { dlg->onExit(); });
            break;
        case ID_HELP_MANUAL:
            command([this] { dlg->onUserManual(); });
            break;
        case ID_HELP_TUTORIAL:
            command([this] { dlg->onTutorial(); });
            break;
        case ID_APP_ABOUT:
            command([this] { dlg->onAbout(); });
            break;
        case IDCANCEL:  // Esc closes the window, as a dialog's Cancel does
            requestClose();
            break;
        default:
            break;
    }
}

void CMainWindow::onDateChanged(int id, const NMDATETIMECHANGE& change) {
    if (rendering || change.dwFlags != GDT_VALID || !dlg) return;
    if (const std::optional<CDateTime> day = fromPickedDay(change.st)) dlg->setDate(id, *day);
}

template <class Command>
void CMainWindow::command(Command run) {
    if (!dlg) return;
    run();
    ++commandsDone;
    if (closePending && !dlg->isBusy()) {
        closePending = false;
        if (hwnd != nullptr) DestroyWindow(hwnd);
    }
}

void CMainWindow::requestClose() {
    if (dlg && dlg->isBusy()) {
        closePending = true;
        return;
    }
    if (hwnd != nullptr) DestroyWindow(hwnd);
}

void CMainWindow::render() {
    if (hwnd == nullptr || !dlg) return;
    rendering = true;
    for (int id : kLogicControls) {
        HWND control = GetDlgItem(hwnd, id);
        if (control == nullptr) continue;
        const CControlState& state = dlg->control(id);
        if (isPicker(id)) {
            if (state.date) {
                SYSTEMTIME day = toSystemTime(*state.date);
                SendMessageW(control, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&day));
            }
        } else {
            setWindowText(control, state.text, id == kIdcStatus);
        }
        EnableWindow(control, state.enabled ? TRUE : FALSE);
        ShowWindow(control, state.visible ? SW_SHOWNA : SW_HIDE);
    }
    rendering = false;
}

void CMainWindow::controlsChanged() {
    render();
}

bool CMainWindow::translate(MSG& message) {
    if (hwnd == nullptr) return false;
    if (accelerators != nullptr && TranslateAcceleratorW(hwnd, accelerators, &message)) return true;
    return IsDialogMessageW(hwnd, &message) != FALSE;
}

std::optional<std::string> CMainWindow::chooseCompanyFile() {
    const std::wstring filter =
        fileDialogFilter({guitext::kCompanyFilter, guitext::kAllFilesFilter});
    const std::wstring title = narrowToWide(guitext::kChooseFileCaption);
    std::vector<wchar_t> path(32768, L'\0');
    OPENFILENAMEW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = hwnd;
    choice.lpstrFilter = filter.c_str();
    choice.nFilterIndex = 1;
    choice.lpstrFile = path.data();
    choice.nMaxFile = static_cast<DWORD>(path.size());
    choice.lpstrTitle = title.c_str();
    // The working folder stays: the help documents are looked for there.
    choice.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&choice)) return std::nullopt;
    return wideToNarrow(path.data());
}

void CMainWindow::messageBox(const std::string& text, const std::string& caption) {
    MessageBoxW(hwnd, narrowToWide(text).c_str(), narrowToWide(caption).c_str(), MB_OK);
}

void CMainWindow::openDocument(const std::string& path) {
    ::openDocument(wideToNarrow(locateDocument(narrowToWide(path), documentRoots())));
}

void CMainWindow::runAboutBox() {
    ::runAboutBox(instance, hwnd);
}

std::optional<CDateTime> CMainWindow::chooseRewindDate(const CDateTime& initial) {
    return runRewindDialog(instance, hwnd, initial);
}

bool CMainWindow::confirm(const std::string& text, const std::string& caption) {
    // No is the default answer: the question is about deleting postings.
    return MessageBoxW(hwnd, narrowToWide(text).c_str(), narrowToWide(caption).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void CMainWindow::closeWindow() {
    requestClose();
}
