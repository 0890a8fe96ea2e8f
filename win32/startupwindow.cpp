// The splash window from template IDD_STARTUP.
#include "startupwindow.h"

#include "costrunguitext.h"
#include "picture.h"
#include "resource.h"

CStartupWindow::CStartupWindow(HINSTANCE programInstance, std::function<void()> whenClosed)
    : instance(programInstance), closed(std::move(whenClosed)) {}

CStartupWindow::~CStartupWindow() {
    if (dialog != nullptr) DestroyWindow(dialog);
}

bool CStartupWindow::show() {
    dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_STARTUP), nullptr, dialogProc,
                                reinterpret_cast<LPARAM>(this));
    if (dialog == nullptr) {
        if (closed) closed();
        return false;
    }
    setWindowText(dialog, guitext::kSplashCaption);
    centreWindow(dialog);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    SetTimer(dialog, IDT_STARTUP, kShowMs, nullptr);
    return true;
}

void CStartupWindow::close() {
    if (dialog == nullptr) return;
    KillTimer(dialog, IDT_STARTUP);
    DestroyWindow(dialog);
    if (closed) closed();
}

INT_PTR CALLBACK CStartupWindow::dialogProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<CStartupWindow*>(lParam);
        self->picture = showPicture(GetDlgItem(window, IDC_SPLASH_PICTURE), self->instance,
                                    IDB_SPLASH, CPictureFit::Stretch);
        return FALSE;
    }
    auto* self = reinterpret_cast<CStartupWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    switch (message) {
        case WM_TIMER:
            if (wParam == IDT_STARTUP) self->close();
            return TRUE;
        case WM_DESTROY:
            removePicture(GetDlgItem(window, IDC_SPLASH_PICTURE), self->picture);
            self->dialog = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}
