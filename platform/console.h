// platform/: portable stand-ins for the Windows calls the system makes (COM, user
// folders, files, local time, the console). May include the C++ standard library and,
// on Windows, the Windows API only: no other folder of the project.

// A command-line program's side of the system: its arguments as UTF-8 text, text output
// that a console shows as UTF-8, and whether a stream is a terminal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The program's arguments, argv[0] first, as UTF-8. On Windows they are read again from
// the wide command line, since argv holds them in the ANSI code page.
std::vector<std::string> utf8Arguments(int argc, char** argv);
// Makes a console window show the program's UTF-8 output as such (Windows); elsewhere
// terminals already read UTF-8.
void useUtf8Console();
// Whether the stream is attached to a terminal (a console window on Windows).
bool isTerminal(std::FILE* stream);
