// lotwise: the desktop program. Values a QuickBooks company file by periodic FIFO
// through the main window; here it runs against the embedded QuickBooks stand-in.
#include "costrunapp.h"

int main(int argc, char** argv) {
    CCostrunApp app(argc, argv);
    return app.run();
}
