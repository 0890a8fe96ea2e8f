// The console side of a command-line program, over the C runtime and, on Windows, the
// wide command line.
#include "console.h"

#ifdef _WIN32
#include "comshim.h"  // <windows.h> with the project's settings
#include <io.h>
#include <shellapi.h>

#include "widestring.h"
#else
#include <unistd.h>
#endif

std::vector<std::string> utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> arguments;
        arguments.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) arguments.push_back(wideToNarrow(wide[i]));
        LocalFree(wide);
        return arguments;
    }
#endif
    return std::vector<std::string>(argv, argv + argc);
}

void useUtf8Console() {
#ifdef _WIN32
    SetConsoleOutputCP(CP_UTF8);
#endif
}

bool isTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return ::isatty(::fileno(stream)) != 0;
#endif
}
