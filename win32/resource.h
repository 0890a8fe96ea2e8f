// win32/, lotwise.exe: the native Win32 desktop program over the window logic. May
// include the Windows API, costrun/, qblib/ and platform/; neither Qt nor qbsim/.

// Resource ids shared by lotwise.rc and the code. The resource compiler reads only the
// #define lines of this file, so the main window's control ids are spelled out here;
// mainwindow.cpp checks at compile time that they are the ids of the window logic
// (CCostrunControl) and that the pictures' ids are those of costrunguitext.h.
#pragma once

// Templates, menu, accelerators.
#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDR_MAINMENU 130
#define IDR_ACCELERATORS 131
#define IDD_STARTUP 132
#define IDD_REWIND 133
#define IDD_PROGRESS 140

// The icon and the pictures (PNG resources, drawn with GDI+).
#define IDR_MAINFRAME 128
#define IDB_PICTURE 135
#define IDB_SPLASH 1001
#define RT_PNG_PICTURE 256

// The main window's controls: the window logic's ids first.
#define IDC_FILE 1000
#define IDC_CHOOSEFILE 1001
#define IDC_PROCESS 1002
#define IDC_UPTODATE 1003
#define IDC_COMPANYNAME 1004
#define IDC_STATUS 1005
#define IDC_STARTDATETEXT 1006
#define IDC_CURRENTUPTODATE 1007
#define IDC_STARTDATE 1008
// Labels and frames whose texts come from costrunguitext.h.
#define IDC_FILE_LABEL 1010
#define IDC_COMPANY_LABEL 1011
#define IDC_STARTDATE_LABEL 1012
#define IDC_CURRENT_LABEL 1013
#define IDC_NEWUPTO_LABEL 1014
#define IDC_STATUS_GROUP 1015
#define IDC_PICTURE 1016

// The About box's and the splash window's controls.
#define IDC_ABOUT_ICON 1020
#define IDC_ABOUT_VERSION 1021
#define IDC_ABOUT_PLATFORM 1022
#define IDC_SPLASH_PICTURE 1023

// The Rewind dialog's controls.
#define IDC_REWIND_PROMPT 1024
#define IDC_REWIND_DATE 1025

// The progress window's bar and text.
#define IDC_PROGRESS 1026
#define IDC_PROGRESS_TEXT 1027

// Menu commands (the numbers MFC gives the common ones).
#define ID_FILE_OPEN 0xE101
#define ID_FILE_REWIND 32771
#define ID_APP_EXIT 0xE141
#define ID_HELP_MANUAL 32772
#define ID_HELP_TUTORIAL 32773
#define ID_APP_ABOUT 0xE140

// Timers: the splash window's and the progress window's.
#define IDT_STARTUP 18
#define IDT_PROGRESS 28
