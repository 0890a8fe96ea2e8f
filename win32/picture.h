// win32/, lotwise.exe: the native Win32 desktop program over the window logic. May
// include the Windows API, costrun/, qblib/ and platform/; neither Qt nor qbsim/.

// The program's pictures (the main window's, the splash window's), kept as PNG
// resources and drawn with GDI+ at the size their control has on this screen, so that
// they stay smooth whatever the dialog font makes of the template's units.
#pragma once

#include "winui.h"

// GDI+ for the lifetime of the program; pictures can be drawn while it lives.
class CGdiPlusScope {
public:
    CGdiPlusScope();
    ~CGdiPlusScope();
    CGdiPlusScope(const CGdiPlusScope&) = delete;
    CGdiPlusScope& operator=(const CGdiPlusScope&) = delete;

private:
    ULONG_PTR token = 0;
};

enum class CPictureFit { Stretch, KeepAspect };

// A new bitmap of `size` pixels holding PNG resource `id` (type "PNG") over the
// `background` colour: stretched to fill it, or as large as fits with its proportions
// kept and centred. The caller deletes it; null when the resource is missing or cannot
// be decoded.
HBITMAP drawPicture(HINSTANCE instance, int id, SIZE size, CPictureFit fit, COLORREF background);

// Shows the bitmap in a static control (SS_BITMAP) that keeps its size, centred, with
// the control's face colour behind. Returns the bitmap the caller must delete once the
// control is gone or shows another one; null when nothing could be drawn.
HBITMAP showPicture(HWND control, HINSTANCE instance, int id, CPictureFit fit);
// Takes the picture out of the control and deletes both the bitmap given to it and any
// copy the control made of it.
void removePicture(HWND control, HBITMAP& picture);
