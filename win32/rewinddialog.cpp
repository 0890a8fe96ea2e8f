// The Rewind dialog from template IDD_REWIND; its texts come from costrunguitext.h.
#include "rewinddialog.h"

#include "costrunguitext.h"
#include "resource.h"

namespace {

struct CRewindChoice {
    CDateTime initial;
    std::optional<CDateTime> chosen;
};

// lParam of WM_INITDIALOG: the CRewindChoice, kept in DWLP_USER.
INT_PTR CALLBACK rewindProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* choice = reinterpret_cast<CRewindChoice*>(GetWindowLongPtrW(window, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            choice = reinterpret_cast<CRewindChoice*>(lParam);
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            setWindowText(window, guitext::kRewindCaption);
            setWindowText(GetDlgItem(window, IDC_REWIND_PROMPT), guitext::kRewindPrompt);
            setWindowText(GetDlgItem(window, IDOK), guitext::kOk);
            setWindowText(GetDlgItem(window, IDCANCEL), guitext::kCancel);
            HWND picker = GetDlgItem(window, IDC_REWIND_DATE);
            preparePicker(picker);
            SYSTEMTIME day = toSystemTime(choice->initial);
            SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&day));
            centreWindow(window, GetWindow(window, GW_OWNER));
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                SYSTEMTIME day{};
                if (SendDlgItemMessageW(window, IDC_REWIND_DATE, DTM_GETSYSTEMTIME, 0,
                                        reinterpret_cast<LPARAM>(&day)) == GDT_VALID) {
                    choice->chosen = fromPickedDay(day);
                }
                EndDialog(window, IDOK);
            } else if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(window, IDCANCEL);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

std::optional<CDateTime> runRewindDialog(HINSTANCE instance, HWND owner, const CDateTime& initial) {
    CRewindChoice choice{initial, std::nullopt};
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_REWIND), owner, rewindProc,
                        reinterpret_cast<LPARAM>(&choice)) != IDOK) {
        return std::nullopt;
    }
    return choice.chosen;
}
