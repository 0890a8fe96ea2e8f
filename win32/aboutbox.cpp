// The About box from template IDD_ABOUTBOX; its texts come from costrunguitext.h.
#include "aboutbox.h"

#include <algorithm>
#include <string_view>

#include "costrunguitext.h"
#include "lotwiseversion.h"
#include "resource.h"

static_assert(std::string_view(guitext::kAboutVersion).ends_with(" v" LOTWISE_VERSION_TEXT),
              "the About box must show the project's version, as the version information does");

namespace {

// lParam of WM_INITDIALOG: the program's instance. The icon loaded for the box is kept
// in DWLP_USER until the box goes.
INT_PTR CALLBACK aboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            setWindowText(window, guitext::kAboutCaption);
            setWindowText(GetDlgItem(window, IDC_ABOUT_VERSION), guitext::kAboutVersion);
            setWindowText(GetDlgItem(window, IDC_ABOUT_PLATFORM), guitext::kAboutPlatform);
            setWindowText(GetDlgItem(window, IDOK), guitext::kOk);
            // The icon as large as the square its place in the template allows.
            const RECT box = controlRect(window, IDC_ABOUT_ICON);
            const int side = std::min(box.right - box.left, box.bottom - box.top);
            auto icon = static_cast<HICON>(LoadImageW(reinterpret_cast<HINSTANCE>(lParam),
                                                      MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                      side, side, 0));
            SendDlgItemMessageW(window, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon),
                                0);
            SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(icon));
            centreWindow(window, GetWindow(window, GW_OWNER));
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
                EndDialog(window, LOWORD(wParam));
            return TRUE;
        case WM_DESTROY:
            if (auto icon = reinterpret_cast<HICON>(GetWindowLongPtrW(window, DWLP_USER)))
                DestroyIcon(icon);
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void runAboutBox(HINSTANCE instance, HWND owner) {
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, aboutProc,
                    reinterpret_cast<LPARAM>(instance));
}
