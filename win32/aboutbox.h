// The About box: the program's icon, its name and version, and OK. Modal over `owner`.
#pragma once

#include "winui.h"

void runAboutBox(HINSTANCE instance, HWND owner);
