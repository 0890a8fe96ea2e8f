// lotwise.exe: the desktop program on Windows. Values a QuickBooks company file by
// periodic FIFO through the main window, against QuickBooks' own request processor:
// the splash window for five seconds, then the main window until it closes.
//
//   lotwise.exe [--data-dir DIR] [--report-dir DIR] [driver options (windowdriver.h)]
//
// --data-dir and --report-dir replace the application data and documents folders, as
// for lotwise-cli. The arguments are read from the wide command line as UTF-8.
#include <memory>
#include <string>
#include <vector>

#include "console.h"
#include "costrunguitext.h"
#include "mainwindow.h"
#include "picture.h"
#include "startupwindow.h"
#include "widestring.h"
#include "windowdriver.h"

namespace {

constexpr const char* kUsage =
    "usage: lotwise [--data-dir DIR] [--report-dir DIR]\n"
    "       lotwise --drive LOG --company FILE [--start YYYY-MM-DD] --upto YYYY-MM-DD\n"
    "               [--close-during-run] [--data-dir DIR] [--report-dir DIR]";

int usage(const std::string& why) {
    const std::string text = why + "\n\n" + kUsage;
    MessageBoxW(nullptr, narrowToWide(text).c_str(), narrowToWide(guitext::kAppName).c_str(),
                MB_OK | MB_ICONERROR);
    return 2;
}

// The COM apartment of the user-interface thread, where QuickBooks' request processor,
// the common dialogs and the shell run.
class CComApartment {
public:
    CComApartment() : initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~CComApartment() {
        if (initialised) CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

private:
    bool initialised;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    std::vector<std::string> arguments = utf8Arguments(0, nullptr);
    if (!arguments.empty()) arguments.erase(arguments.begin());
    CDriveOptions drive;
    if (std::optional<std::string> wrong = takeDriveOptions(arguments, drive)) return usage(*wrong);
    CCostrunFolders folders;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if ((arg == "--data-dir" || arg == "--report-dir") && i + 1 < arguments.size()) {
            (arg == "--data-dir" ? folders.applicationData : folders.documents) = arguments[++i];
        } else {
            return usage("unknown argument " + arg);
        }
    }

    CComApartment apartment;
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_DATE_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    CGdiPlusScope gdiplus;

    int exitCode = 0;
    {
        CMainWindow window(instance, folders);
        if (!window.create()) {
            MessageBoxW(nullptr, L"The main window could not be created.",
                        narrowToWide(guitext::kAppName).c_str(), MB_OK | MB_ICONERROR);
            return 1;
        }
        CStartupWindow splash(instance, [&window, showCommand] {
            if (window.window() == nullptr) return;
            ShowWindow(window.window(), showCommand == SW_HIDE ? SW_SHOWNORMAL : showCommand);
            SetForegroundWindow(window.window());
        });
        splash.show();
        std::unique_ptr<CWindowDriver> driver;
        if (!drive.log.empty()) {
            driver = std::make_unique<CWindowDriver>(window, drive);
            driver->start();
        }

        MSG message{};
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (window.translate(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        exitCode = static_cast<int>(message.wParam);
        if (driver) exitCode = driver->finish(exitCode);
    }
    return exitCode;
}
