#include "encoder/stop_request.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> gStop{false};

extern "C" void onStopSignal(int sig) {
    if (gStop.exchange(true)) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
}

}  // namespace

void installStopHandlers() {
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool stopRequested() {
    return gStop.load(std::memory_order_relaxed);
}
