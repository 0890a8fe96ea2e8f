// What a program of one bitness can reach of QuickBooks' request processor. The
// processor is an in-process COM server, so only a server of the program's own bitness
// loads: QuickBooks Desktop registers a 32-bit one, and a 64-bit one only from its 2022
// release on. A program that finds no class of its bitness registered says so in the
// words below, wherever it shows the failure (the window and lotwise-cli alike).
#pragma once

#include <string>

#include "comshim.h"

// 32 or 64: the bitness of this program.
constexpr int programBits() { return static_cast<int>(sizeof(void*) * 8); }

// Whether creating the request processor failed because no class of this program's
// bitness is registered (REGDB_E_CLASSNOTREG).
bool isProcessorNotRegistered(HRESULT hr);

// What that failure means, for a program of the given bitness: QuickBooks is not
// installed, or only for the other bitness. A 32-bit program is not told to use the
// 32-bit Lotwise it already is.
std::string processorNotInstalledText(int bits);
