// The progress window and the program's message pump.
#include "progresswindow.h"

#include "resource.h"

bool pumpPendingMessages(const CMessageFilter& filter) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return true;
        }
        if (filter && filter(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return false;
}

CProgressWindow::CProgressWindow(HINSTANCE programInstance, HWND ownerWindow)
    : instance(programInstance), owner(ownerWindow) {}

CProgressWindow::~CProgressWindow() {
    if (dialog != nullptr) DestroyWindow(dialog);
}

INT_PTR CALLBACK CProgressWindow::dialogProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETRANGE32, 0, kLastPosition);
        wchar_t title[128] = {};
        GetDlgItemTextW(window, IDC_PROGRESS_TEXT, title, 128);
        SetWindowTextW(window, title);
        return FALSE;
    }
    auto* self = reinterpret_cast<CProgressWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    switch (message) {
        case WM_TIMER:
            if (wParam == IDT_PROGRESS) self->tick();
            return TRUE;
        case WM_COMMAND:
            // Esc and Enter are not for this window: it goes when the work is done.
            return TRUE;
        case WM_NCDESTROY:
            // Windows destroys an owned window with its owner.
            self->dialog = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

void CProgressWindow::show() {
    if (dialog == nullptr) {
        dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), owner, dialogProc,
                                    reinterpret_cast<LPARAM>(this));
        if (dialog == nullptr) return;
    }
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    SetTimer(dialog, IDT_PROGRESS, kTickMs, nullptr);
    centreWindow(dialog);
    ShowWindow(dialog, SW_SHOWNA);
    UpdateWindow(dialog);
}

void CProgressWindow::hide() {
    if (dialog == nullptr) return;
    KillTimer(dialog, IDT_PROGRESS);
    ShowWindow(dialog, SW_HIDE);
}

bool CProgressWindow::isVisible() const {
    return dialog != nullptr && IsWindowVisible(dialog);
}

void CProgressWindow::pump() {
    if (isVisible()) pumpPendingMessages(filter);
}

int CProgressWindow::position() const {
    return dialog == nullptr
               ? 0
               : static_cast<int>(SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0));
}

void CProgressWindow::tick() {
    if (dialog == nullptr) return;
    const int next = position() >= kLastPosition ? 0 : position() + 1;
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(next), 0);
}
