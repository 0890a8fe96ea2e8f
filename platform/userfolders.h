// platform/: portable stand-ins for the Windows calls the system makes (COM, user
// folders, files, local time, the console). May include the C++ standard library and,
// on Windows, the Windows API only: no other folder of the project.

// The user's folders as the system uses them: the application data folder (XDG data
// home, ~/.local/share by default; CSIDL_APPDATA on Windows) and the documents folder
// (XDG documents folder, ~/Documents by default; CSIDL_PERSONAL on Windows), folder
// creation, and opening a document with the desktop's default program.
#pragma once

#include <string>

std::string applicationDataFolder();
std::string documentsFolder();
// Creates the folder (a UTF-8 name) and any missing parents; true when it exists
// afterwards. The same code on every system (files.cpp).
bool createFolders(const std::string& path);
// Hands the document to the desktop's default program (xdg-open); true when the
// program could be started.
bool openDocument(const std::string& path);
