#include "qbbitness.h"

bool isProcessorNotRegistered(HRESULT hr) { return hr == REGDB_E_CLASSNOTREG; }

std::string processorNotInstalledText(int bits) {
    std::string text = "QuickBooks' request processor is not installed for " +
                       std::to_string(bits) +
                       "-bit programs on this computer. Install QuickBooks Desktop on this "
                       "computer (it installs the request processor)";
    text += bits == 32 ? "." : ", or use the 32-bit Lotwise.";
    return text;
}
