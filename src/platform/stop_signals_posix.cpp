#include <signal.h>

#include <atomic>

#include "platform/stop_signals.h"

namespace {

std::atomic<int> firstSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch lock-free data");

extern "C" void onStopSignal(int signalNumber) {
    int none = 0;
    firstSignal.compare_exchange_strong(none, signalNumber);
}

}  // namespace

void installStopSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int receivedStopSignal() {
    return firstSignal.load();
}
