// win32/, lotwise.exe: the native Win32 desktop program over the window logic. May
// include the Windows API, costrun/, qblib/ and platform/; neither Qt nor qbsim/.

// What the native windows of the desktop program share: <windows.h> with the project's
// settings and the common controls, UTF-8 window texts, dialog-unit rectangles, placing
// windows, the date pickers' dates, the file chooser's filter and where a help document
// is found. Text inside the program is UTF-8 (widestring.h); every call into the system
// takes wide text. User-interface thread only.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// The common controls after <windows.h>, which they build on.
#include <commctrl.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datetime.h"

// The window's text as UTF-8, and the other way round. Line ends become "\r\n" for
// multi-line edit controls when `editLines` is set.
std::string windowText(HWND window);
void setWindowText(HWND window, std::string_view utf8, bool editLines = false);
std::wstring editLineEnds(std::wstring_view text);

// The rectangle in pixels of a rectangle given in the dialog's units.
RECT dialogUnitsToPixels(HWND dialog, int x, int y, int width, int height);
// The control's rectangle in its dialog's client coordinates.
RECT controlRect(HWND dialog, int id);

// Moves the window to the middle of the work area of the monitor it is on, or of the
// monitor nearest to `over` and the middle of `over` when that is given.
void centreWindow(HWND window, HWND over = nullptr);

// Gives a date picker the program's date format (month/day/year) and the range of days
// the engine can value: none before 1970, which the C runtime on Windows cannot hold.
void preparePicker(HWND picker);

// A date picker's day and back. The window logic keeps a picked day at noon, as the Qt
// view does, so that no daylight-saving change moves it to another day.
SYSTEMTIME toSystemTime(const CDateTime& date);
std::optional<CDateTime> fromPickedDay(const SYSTEMTIME& day);
// "YYYY-MM-DD" as a day; none for anything else or a day that does not exist.
std::optional<SYSTEMTIME> parseIsoDay(std::string_view text);

// The common file dialog's filter ("text\0pattern\0...\0\0") for filter texts that name
// their pattern in parentheses, as "QuickBooks Company Files (*.qbw)" does.
std::wstring fileDialogFilter(const std::vector<std::string>& filters);

// Where a help document named by a relative path is: the first root that holds it (the
// working folder, then the program's folder), else the path under the first root. An
// absolute path is returned as it is. Both separators are accepted.
std::wstring locateDocument(std::wstring_view path, const std::vector<std::wstring>& roots);
std::vector<std::wstring> documentRoots();
