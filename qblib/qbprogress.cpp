// Forwarding of the progress operations to the installed host.
#include "qbprogress.h"

namespace {

CQbProgressHost* currentHost = nullptr;
bool everShown = false;

}  // namespace

CQbProgressHost* setProgressHost(CQbProgressHost* host) {
    CQbProgressHost* previous = currentHost;
    currentHost = host;
    everShown = false;
    return previous;
}

void showProgress() {
    if (currentHost == nullptr) return;
    currentHost->show();
    everShown = true;
    pumpMessages();
}

void hideProgress() {
    if (currentHost == nullptr || !everShown) return;
    currentHost->hide();
}

void pumpMessages() {
    if (currentHost != nullptr && currentHost->isVisible()) currentHost->pump();
}
