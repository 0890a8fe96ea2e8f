// Runs one group of the desktop program's widget tests (named by the first argument)
// inside the program's own application object. When the machine has or can build a
// German locale, the main window's group runs under LC_ALL=de_DE.UTF-8, so that any
// decimal comma leaking into a report or a request shows up.
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "costrunapp.h"
#include "germanlocale.h"
#include "guitest.h"

namespace {

bool germanLocaleAvailable() { return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr; }

// Compiles the German locale into a folder of the build tree when the system has none
// installed but carries the locale sources.
void prepareGermanLocale() {
    if (germanLocaleAvailable()) {
        setenv("LC_ALL", "de_DE.UTF-8", 1);
        return;
    }
    const std::filesystem::path folder = LOTWISE_TEST_LOCALES;
    compileGermanLocale(folder);
    setenv("LOCPATH", folder.c_str(), 1);
    if (germanLocaleAvailable()) {
        setenv("LC_ALL", "de_DE.UTF-8", 1);
    } else {
        unsetenv("LOCPATH");
    }
    std::setlocale(LC_ALL, "C");
}

}  // namespace

bool guiTestGermanLocale = false;

int main(int argc, char** argv) {
    const std::string group = argc > 1 ? argv[1] : "";
    // Only the window group writes reports; it alone builds the locale, so that groups
    // running side by side never write the same locale files at once.
    if (group == "window") prepareGermanLocale();
    const char* all = std::getenv("LC_ALL");
    guiTestGermanLocale = all != nullptr && std::strcmp(all, "de_DE.UTF-8") == 0;
    CCostrunApp app(argc, argv);
    // QTest reads its own options after the group name.
    char* testArgs[64] = {argv[0]};
    int count = 1;
    for (int i = 2; i < argc && count < 63; ++i) testArgs[count++] = argv[i];
    if (group == "progress") return runProgressWindowTests(count, testArgs);
    if (group == "window") return runMainWindowTests(count, testArgs);
    std::fprintf(stderr, "usage: %s progress|window [QTest options]\n", argv[0]);
    return 2;
}
