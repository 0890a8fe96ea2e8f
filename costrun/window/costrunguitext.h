// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// Every text the desktop programs show of their own: captions, labels, menus, the About
// box and the file chooser's filters. The status texts come from the window logic
// (costrundlg.cpp) and the progress window keeps its one text beside its template.
// Both the Qt program (gui/) and lotwise.exe (win32/) read these, so they live here,
// free of any toolkit, rather than beside either front end.
#pragma once

namespace guitext {

inline constexpr const char* kAppName = "Lotwise";
inline constexpr const char* kMainCaption = "Lotwise";

inline constexpr const char* kFileLabel = "QuickBooks File :";
inline constexpr const char* kCompanyLabel = "Company Name :";
inline constexpr const char* kStartDateLabel = "Valuation Start Date :";
inline constexpr const char* kCurrentUpToLabel = "Current Valuation Up To Date :";
inline constexpr const char* kNewUpToLabel = "New Valuation Up To Date :";
inline constexpr const char* kStatusGroup = "Status";

inline constexpr const char* kFileMenu = "&File";
inline constexpr const char* kOpenItem = "&Open";
inline constexpr const char* kRewindItem = "&Rewind...";
inline constexpr const char* kExitItem = "&Exit";
inline constexpr const char* kHelpMenu = "&Help";
inline constexpr const char* kManualItem = "User &Manual";
inline constexpr const char* kTutorialItem = "&Tutorial";
inline constexpr const char* kAboutItem = "&About...";

inline constexpr const char* kChooseFileCaption = "Open";

inline constexpr const char* kRewindCaption = "Rewind";
inline constexpr const char* kRewindPrompt =
    "Value again from this date on. The file goes back to the end of the day before; on or "
    "before the start date, to before its first valuation.";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kCompanyFilter = "QuickBooks Company Files (*.qbw)";
inline constexpr const char* kAllFilesFilter = "All Files (*.*)";

// The date pickers show month/day/year, as the dates shown as text do.
inline constexpr const char* kDatePickerFormat = "MM/dd/yyyy";

inline constexpr const char* kAboutCaption = "About Lotwise";
inline constexpr const char* kAboutVersion = "Lotwise v1.10";
inline constexpr const char* kAboutPlatform = "For use with QuickBooks\u00ae";
inline constexpr const char* kOk = "OK";

inline constexpr const char* kSplashCaption = "Lotwise";

}  // namespace guitext

// The pictures, by their resource ids, as compiled into the program.
namespace guiresource {

inline constexpr int kIconId = 128;
inline constexpr int kPictureId = 135;
inline constexpr int kSplashId = 1001;
inline constexpr const char* kIcon = ":/lotwise/icon.png";
inline constexpr const char* kPicture = ":/lotwise/picture.png";
inline constexpr const char* kSplash = ":/lotwise/splash.png";

}  // namespace guiresource
