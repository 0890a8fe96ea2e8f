// win32/, lotwise.exe: the native Win32 desktop program over the window logic. May
// include the Windows API, costrun/, qblib/ and platform/; neither Qt nor qbsim/.

// The About box: the program's icon, its name and version, and OK. Modal over `owner`.
#pragma once

#include "winui.h"

void runAboutBox(HINSTANCE instance, HWND owner);
