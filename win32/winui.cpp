// Helpers shared by the native windows; see winui.h.
#include "winui.h"

#include <algorithm>
#include <iterator>

#include "costrunguitext.h"
#include "widestring.h"

std::string windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return wideToNarrow(text);
}

std::wstring editLineEnds(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out += L'\r';
        out += text[i];
    }
    return out;
}

void setWindowText(HWND window, std::string_view utf8, bool editLines) {
    std::wstring text = narrowToWide(utf8);
    if (editLines) text = editLineEnds(text);
    // Setting the same text again would repaint (and flicker) for nothing.
    const int length = GetWindowTextLengthW(window);
    if (static_cast<std::size_t>(length) == text.size()) {
        std::wstring current(text.size() + 1, L'\0');
        current.resize(
            static_cast<std::size_t>(GetWindowTextW(window, current.data(), length + 1)));
        if (current == text) return;
    }
    SetWindowTextW(window, text.c_str());
}

RECT dialogUnitsToPixels(HWND dialog, int x, int y, int width, int height) {
    RECT rect{x, y, x + width, y + height};
    MapDialogRect(dialog, &rect);
    return rect;
}

RECT controlRect(HWND dialog, int id) {
    RECT rect{};
    if (HWND control = GetDlgItem(dialog, id)) {
        GetWindowRect(control, &rect);
        MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    }
    return rect;
}

void centreWindow(HWND window, HWND over) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(over != nullptr ? over : window, MONITOR_DEFAULTTONEAREST),
                    &monitor);
    RECT target = monitor.rcWork;
    if (over != nullptr && IsWindowVisible(over)) GetWindowRect(over, &target);
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    LONG left = (target.left + target.right - width) / 2;
    LONG top = (target.top + target.bottom - height) / 2;
    // Never off the work area, where the caption could not be reached.
    left = std::max(monitor.rcWork.left, std::min(left, monitor.rcWork.right - width));
    top = std::max(monitor.rcWork.top, std::min(top, monitor.rcWork.bottom - height));
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void preparePicker(HWND picker) {
    const std::wstring format = narrowToWide(guitext::kDatePickerFormat);
    SendMessageW(picker, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(format.c_str()));
    // From 2 January: in zones more than twelve hours ahead of UTC, noon on 1 January 1970
    // is still in 1969.
    auto day = [](WORD year, WORD month, WORD dayOfMonth) {
        SYSTEMTIME date{};
        date.wYear = year;
        date.wMonth = month;
        date.wDay = dayOfMonth;
        return date;
    };
    const SYSTEMTIME range[2] = {day(1970, 1, 2), day(2999, 12, 31)};
    SendMessageW(picker, DTM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range));
}

SYSTEMTIME toSystemTime(const CDateTime& date) {
    const CLocalTime local = date.local();
    SYSTEMTIME day{};
    day.wYear = static_cast<WORD>(local.year);
    day.wMonth = static_cast<WORD>(local.month);
    day.wDay = static_cast<WORD>(local.day);
    day.wDayOfWeek = static_cast<WORD>(local.dayOfWeek);
    return day;
}

std::optional<CDateTime> fromPickedDay(const SYSTEMTIME& day) {
    return CDateTime::fromLocal(day.wYear, day.wMonth, day.wDay, 12);
}

std::optional<SYSTEMTIME> parseIsoDay(std::string_view text) {
    // The digits from `at` on, or -1 when one of them is not a digit.
    auto number = [text](std::size_t at, std::size_t count) {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    if (year < 1601 || month < 1 || month > 12 || day < 1) return std::nullopt;
    constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > (month == 2 && leap ? 29 : kMonthDays[month - 1])) return std::nullopt;
    SYSTEMTIME date{};
    date.wYear = static_cast<WORD>(year);
    date.wMonth = static_cast<WORD>(month);
    date.wDay = static_cast<WORD>(day);
    // The way through a file time fills in the day of the week.
    FILETIME time{};
    if (!SystemTimeToFileTime(&date, &time) || !FileTimeToSystemTime(&time, &date))
        return std::nullopt;
    return date;
}

std::wstring fileDialogFilter(const std::vector<std::string>& filters) {
    std::wstring out;
    for (const std::string& filter : filters) {
        const std::size_t open = filter.rfind('(');
        const std::size_t close = filter.rfind(')');
        const std::string pattern =
            open != std::string::npos && close != std::string::npos && close > open + 1
                ? filter.substr(open + 1, close - open - 1)
                : "*.*";
        out += narrowToWide(filter);
        out += L'\0';
        out += narrowToWide(pattern);
        out += L'\0';
    }
    out += L'\0';
    return out;
}

namespace {

bool isAbsolute(std::wstring_view path) {
    return (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
           (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') &&
            (path[1] == L'\\' || path[1] == L'/'));
}

std::wstring join(std::wstring root, std::wstring_view path) {
    if (!root.empty() && root.back() != L'\\' && root.back() != L'/') root += L'\\';
    root += path;
    for (wchar_t& c : root) {
        if (c == L'/') c = L'\\';
    }
    return root;
}

}  // namespace

std::wstring locateDocument(std::wstring_view path, const std::vector<std::wstring>& roots) {
    if (isAbsolute(path)) return std::wstring(path);
    for (const std::wstring& root : roots) {
        const std::wstring candidate = join(root, path);
        const DWORD attributes = GetFileAttributesW(candidate.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return candidate;
        }
    }
    return join(roots.empty() ? std::wstring() : roots.front(), path);
}

std::vector<std::wstring> documentRoots() {
    std::vector<std::wstring> roots;
    wchar_t buffer[MAX_PATH * 4] = {};
    const DWORD cwd = GetCurrentDirectoryW(static_cast<DWORD>(std::size(buffer)), buffer);
    if (cwd > 0 && cwd < std::size(buffer)) roots.emplace_back(buffer, cwd);
    const DWORD program =
        GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (program > 0 && program < std::size(buffer)) {
        std::wstring folder(buffer, program);
        folder.erase(
            folder.find_last_of(L"\\/") == std::wstring::npos ? 0 : folder.find_last_of(L"\\/"));
        if (!folder.empty()) roots.push_back(folder);
    }
    return roots;
}
