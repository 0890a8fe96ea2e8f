// The test mode's player; see windowdriver.h. It runs from a thread timer, which every
// message loop of the thread dispatches: the main loop, the modal loops of the Open
// dialog and the About box, and the progress window's pump during Open and Process.
#include "windowdriver.h"

#include <cstdio>

#include "costrunguitext.h"
#include "files.h"
#include "mainwindow.h"
#include "resource.h"
#include "widestring.h"

namespace {

constexpr UINT kTickMs = 100;
// The file-name box of the Open dialog: cmb13 in the Explorer-style template, edt1 in
// the older one.
constexpr int kFileNameCombo = 0x047C;
constexpr int kFileNameEdit = 0x0480;

CWindowDriver* activeDriver = nullptr;

std::string oneLine(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string dayText(const SYSTEMTIME& day) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u/%02u/%04u", day.wMonth, day.wDay, day.wYear);
    return text;
}

struct COwnedDialog {
    HWND owner;
    std::wstring caption;
    int control;
    HWND found = nullptr;
};

// EnumThreadWindows' callback for findDialog. A function of its own: the callback must
// have the system's calling convention (CALLBACK), which differs from a lambda's on
// 32-bit Windows.
BOOL CALLBACK matchOwnedDialog(HWND window, LPARAM data) {
    auto* wanted = reinterpret_cast<COwnedDialog*>(data);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wstring_view(className) != L"#32770" ||
        GetWindow(window, GW_OWNER) != wanted->owner || !IsWindowVisible(window) ||
        narrowToWide(windowText(window)) != wanted->caption ||
        (wanted->control != 0 && GetDlgItem(window, wanted->control) == nullptr)) {
        return TRUE;
    }
    wanted->found = window;
    return FALSE;
}

// A visible dialog of this thread owned by `owner` with that caption (and that control,
// when one is named).
HWND findDialog(HWND owner, const std::string& caption, int control = 0) {
    COwnedDialog search{owner, narrowToWide(caption), control};
    EnumThreadWindows(GetCurrentThreadId(), matchOwnedDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

std::optional<std::string> takeDriveOptions(std::vector<std::string>& arguments,
                                            CDriveOptions& options) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (arg == "--drive" || arg == "--company" || arg == "--start" || arg == "--upto" ||
            arg == "--rewind") {
            if (!hasValue) return arg + " needs a value";
            const std::string& value = arguments[++i];
            if (arg == "--drive")
                options.log = value;
            else if (arg == "--company")
                options.company = value;
            else {
                const std::optional<SYSTEMTIME> day = parseIsoDay(value);
                if (!day) return arg + ": not a date: " + value;
                (arg == "--start"  ? options.start
                 : arg == "--upto" ? options.upto
                                   : options.rewind) = day;
            }
        } else if (arg == "--close-during-run") {
            options.closeDuringRun = true;
        } else {
            rest.push_back(arg);
        }
    }
    if (!options.log.empty() && (options.company.empty() || !options.upto)) {
        return "--drive needs --company and --upto";
    }
    arguments = std::move(rest);
    return std::nullopt;
}

CWindowDriver::CWindowDriver(CMainWindow& window, CDriveOptions driveOptions)
    : main(window), options(std::move(driveOptions)) {}

CWindowDriver::~CWindowDriver() {
    if (timer != 0) KillTimer(nullptr, timer);
    if (activeDriver == this) activeDriver = nullptr;
}

void CWindowDriver::start() {
    activeDriver = this;
    write("driving " + options.company);
    go(CStep::WaitWindow, 120);
    timer = SetTimer(nullptr, 0, kTickMs, onTimer);
}

int CWindowDriver::finish(int exitCode) {
    // The window may close and end the loop between two ticks.
    if (current == CStep::WaitClosed && main.window() == nullptr) {
        write("window closed");
        current = CStep::Done;
    }
    if (current != CStep::Done) {
        write("not finished");
        exitCode = 3;
    }
    write("exit " + std::to_string(exitCode));
    return exitCode;
}

void CALLBACK CWindowDriver::onTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (activeDriver != nullptr) activeDriver->step();
}

void CWindowDriver::go(CStep next, int seconds) {
    current = next;
    deadline = GetTickCount64() + static_cast<std::uint64_t>(seconds) * 1000;
    waiting = false;
}

void CWindowDriver::write(const std::string& line) {
    if (std::FILE* file = openFile(options.log, "ab")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

void CWindowDriver::writeControls() {
    HWND window = main.window();
    for (int id : {kIdcFile, kIdcChooseFile, kIdcCompanyName, kIdcStartDateText, kIdcStartDate,
                   kIdcCurrentUpToDate, kIdcUpToDate, kIdcProcess, kIdcStatus}) {
        HWND control = GetDlgItem(window, id);
        std::string text = windowText(control);
        if (id == kIdcStartDate || id == kIdcUpToDate) {
            SYSTEMTIME day{};
            if (SendMessageW(control, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&day)) ==
                GDT_VALID) {
                text = dayText(day);
            }
        }
        write("control " + std::to_string(id) + (IsWindowVisible(control) ? " shown" : " hidden") +
              (IsWindowEnabled(control) ? " enabled: " : " disabled: ") + oneLine(text));
    }
}

void CWindowDriver::writeMenus() {
    HMENU bar = GetMenu(main.window());
    for (int top = 0; top < GetMenuItemCount(bar); ++top) {
        wchar_t text[128] = {};
        GetMenuStringW(bar, static_cast<UINT>(top), text, 128, MF_BYPOSITION);
        std::string line = "menu " + wideToNarrow(text) + ":";
        HMENU menu = GetSubMenu(bar, top);
        for (int item = 0; item < GetMenuItemCount(menu); ++item) {
            text[0] = L'\0';
            const bool separator =
                (GetMenuState(menu, static_cast<UINT>(item), MF_BYPOSITION) & MF_SEPARATOR) != 0;
            if (!separator) GetMenuStringW(menu, static_cast<UINT>(item), text, 128, MF_BYPOSITION);
            line += (item == 0 ? " " : "|") + (separator ? std::string("-") : wideToNarrow(text));
        }
        write(line);
    }
}

void CWindowDriver::writeRect(const char* name, HWND window) {
    auto line = [this](const std::string& what, const RECT& rect) {
        write("rect " + what + ": " + std::to_string(rect.left) + " " + std::to_string(rect.top) +
              " " + std::to_string(rect.right - rect.left) + " " +
              std::to_string(rect.bottom - rect.top));
    };
    RECT rect{};
    GetWindowRect(window, &rect);
    line(name, rect);
    // The menu bar and the client area below it: what the Qt view's own picture shows.
    MENUBARINFO menu{};
    menu.cbSize = sizeof menu;
    if (GetMenuBarInfo(window, OBJID_MENU, 0, &menu)) {
        RECT client{};
        GetClientRect(window, &client);
        MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
        client.top = menu.rcBar.top;
        line(std::string(name) + "-inside", client);
    }
}

bool CWindowDriver::continued() {
    if (!waiting) {
        write("waiting");
        waiting = true;
    }
    const std::wstring signal = narrowToWide(options.log + ".continue");
    if (GetFileAttributesW(signal.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    DeleteFileW(signal.c_str());
    waiting = false;
    return true;
}

void CWindowDriver::clickButton(HWND dialog, int id) {
    // BM_CLICK makes the button press itself and tell its dialog, as a mouse click does.
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void CWindowDriver::pickDate(int id, const SYSTEMTIME& day) {
    HWND picker = GetDlgItem(main.window(), id);
    SYSTEMTIME chosen = day;
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&chosen));
    // A picker tells its dialog only of the user's own changes: this is what it sends
    // when the user picks a day.
    NMDATETIMECHANGE change{};
    change.nmhdr.hwndFrom = picker;
    change.nmhdr.idFrom = static_cast<UINT_PTR>(id);
    change.nmhdr.code = DTN_DATETIMECHANGE;
    change.dwFlags = GDT_VALID;
    change.st = chosen;
    SendMessageW(main.window(), WM_NOTIFY, static_cast<WPARAM>(id),
                 reinterpret_cast<LPARAM>(&change));
    write("picked " + std::to_string(id) + ": " + dayText(chosen));
}

void CWindowDriver::step() {
    if (current == CStep::Done) return;
    if (GetTickCount64() > deadline && !waiting) {
        write("timeout: step " + std::to_string(static_cast<int>(current)));
        ExitProcess(3);
    }
    HWND window = main.window();
    if (window == nullptr && current != CStep::WaitClosed) {
        // Closed before its time: the drive stops here and finish() reports it.
        write("window closed at step " + std::to_string(static_cast<int>(current)));
        KillTimer(nullptr, timer);
        timer = 0;
        return;
    }
    switch (current) {
        case CStep::WaitWindow:
            if (!IsWindowVisible(window)) return;
            write("window shown");
            writeRect("main", window);
            writeMenus();
            writeControls();
            commandsBefore = main.completedCommands();
            clickButton(window, kIdcChooseFile);
            go(CStep::WaitOpenDialog, 60);
            return;

        case CStep::WaitOpenDialog: {
            HWND chooser = findDialog(window, guitext::kChooseFileCaption);
            if (chooser == nullptr) return;
            // The file type box shows the first filter.
            write("open dialog: " + windowText(GetDlgItem(chooser, 0x0470)));
            HWND name = GetDlgItem(chooser, kFileNameCombo);
            if (name == nullptr) name = GetDlgItem(chooser, kFileNameEdit);
            SetWindowTextW(name, narrowToWide(options.company).c_str());
            clickButton(chooser, IDOK);
            go(CStep::WaitOpened, 600);
            return;
        }

        case CStep::WaitOpened:
            if (main.completedCommands() == commandsBefore) return;
            write("opened");
            writeControls();
            if (options.start && IsWindowVisible(GetDlgItem(window, kIdcStartDate))) {
                pickDate(kIdcStartDate, *options.start);
            }
            pickDate(kIdcUpToDate, *options.upto);
            commandsBefore = main.completedCommands();
            clickButton(window, kIdcProcess);
            go(CStep::WaitProcessed, 1800);
            return;

        case CStep::WaitProcessed:
            if (!progressSeen && main.progressWindow().isVisible()) {
                progressSeen = true;
                write("progress shown");
                writeRect("progress", main.progressWindow().window());
                if (options.closeDuringRun) {
                    write("close asked during the run");
                    PostMessageW(window, WM_CLOSE, 0, 0);
                    go(CStep::WaitClosed, 1800);
                    return;
                }
            }
            if (main.completedCommands() == commandsBefore) return;
            if (!waiting) {
                write("processed");
                writeRect("main", window);
                writeControls();
            }
            if (!continued()) return;
            if (options.rewind && !rewound) {
                commandsBefore = main.completedCommands();
                PostMessageW(window, WM_COMMAND, MAKEWPARAM(ID_FILE_REWIND, 0), 0);
                go(CStep::WaitRewindDialog, 60);
                return;
            }
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0);
            go(CStep::WaitAboutBox, 60);
            return;

        case CStep::WaitRewindDialog: {
            HWND rewind = findDialog(window, guitext::kRewindCaption, IDC_REWIND_DATE);
            if (rewind == nullptr) return;
            write("rewind dialog: " + oneLine(windowText(GetDlgItem(rewind, IDC_REWIND_PROMPT))));
            SYSTEMTIME day = *options.rewind;
            SendDlgItemMessageW(rewind, IDC_REWIND_DATE, DTM_SETSYSTEMTIME, GDT_VALID,
                                reinterpret_cast<LPARAM>(&day));
            write("picked " + std::to_string(IDC_REWIND_DATE) + ": " + dayText(day));
            clickButton(rewind, IDOK);
            go(CStep::WaitRewindQuestion, 600);
            return;
        }

        case CStep::WaitRewindQuestion: {
            HWND question = findDialog(window, guitext::kRewindCaption, IDYES);
            if (question == nullptr) return;
            // A message box's text is its static control 0xFFFF.
            write("rewind question: " + oneLine(windowText(GetDlgItem(question, 0xFFFF))));
            clickButton(question, IDYES);
            go(CStep::WaitRewound, 600);
            return;
        }

        case CStep::WaitRewound:
            if (main.completedCommands() == commandsBefore) return;
            rewound = true;
            write("rewound");
            writeControls();
            progressSeen = false;
            commandsBefore = main.completedCommands();
            clickButton(window, kIdcProcess);
            go(CStep::WaitProcessed, 1800);
            return;

        case CStep::WaitAboutBox: {
            HWND about = findDialog(window, guitext::kAboutCaption);
            if (about == nullptr) return;
            if (!waiting) {
                write("about shown");
                writeRect("about", about);
                for (int id : {IDC_ABOUT_VERSION, IDC_ABOUT_PLATFORM, IDOK}) {
                    write("about " + std::to_string(id) + ": " + windowText(GetDlgItem(about, id)));
                }
            }
            if (!continued()) return;
            clickButton(about, IDOK);
            go(CStep::WaitAboutClosed, 60);
            return;
        }

        case CStep::WaitAboutClosed:
            if (findDialog(window, guitext::kAboutCaption) != nullptr) return;
            write("about closed");
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0), 0);
            go(CStep::WaitClosed, 60);
            return;

        case CStep::WaitClosed:
            if (window != nullptr) return;
            write("window closed");
            go(CStep::Done, 0);
            return;

        case CStep::Done:
            return;
    }
}
