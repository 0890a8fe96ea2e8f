// platform/: portable stand-ins for the Windows calls the system makes (COM, user
// folders, files, local time, the console). May include the C++ standard library and,
// on Windows, the Windows API only: no other folder of the project.

// Files named by UTF-8 text. Every file the system opens, replaces or removes, and every
// folder it creates, goes through here: on Windows the name reaches the system as wide
// text (a narrow name would be read in the ANSI code page, which cannot spell every
// name), elsewhere it is used as it is. The same code runs on both.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

// The system's separator between a folder's name and the names in it.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif
// "folder<separator>name" with the system's separator, as the user sees such names; the
// name alone when there is no folder.
std::string joinPath(std::string_view folder, std::string_view name);

// The path named by the UTF-8 text. Text that is not UTF-8 gives an empty path on
// Windows, where it cannot be converted.
std::filesystem::path pathFromUtf8(std::string_view utf8Path);
// The UTF-8 text of a path.
std::string pathToUtf8(const std::filesystem::path& path);

// std::fopen for a UTF-8 name; mode as for fopen ("wb", "rb", ...).
std::FILE* openFile(const std::string& utf8Path, const char* mode);
// Opens the file for writing while keeping other writers out for as long as it stays
// open: on Windows the file is opened without write sharing, so another process cannot
// open it for writing (or replace it); elsewhere it carries an advisory exclusive lock
// that cooperating processes see. A lock that cannot be taken does not fail the open.
std::FILE* openFileExclusive(const std::string& utf8Path, const char* mode);
// Removes a file; true when it existed and is gone.
bool removeFile(const std::string& utf8Path);
