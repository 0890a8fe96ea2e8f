// The groups of the desktop program's widget tests, run by guitestmain.cpp.
#pragma once

int runProgressWindowTests(int argc, char** argv);
int runMainWindowTests(int argc, char** argv);

// True when the process runs under a German LC_ALL.
extern bool guiTestGermanLocale;
