// win32/, lotwise.exe: the native Win32 desktop program over the window logic. May
// include the Windows API, costrun/, qblib/ and platform/; neither Qt nor qbsim/.

// Rewind's date picker: the prompt, a date picker starting at `initial`, OK and Cancel.
// Modal over `owner`; returns the picked day at noon, none when the user cancels.
#pragma once

#include <optional>

#include "winui.h"

std::optional<CDateTime> runRewindDialog(HINSTANCE instance, HWND owner, const CDateTime& initial);
