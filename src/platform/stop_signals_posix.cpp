#include <signal.h>

#include <atomic>

#include "platform/stop_signals.h"

namespace {

std::atomic<int> firstSignal{0};
std::atomic<bool> secondEndsProcess{false};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch lock-free data");
static_assert(std::atomic<bool>::is_always_lock_free, "the handler may only touch lock-free data");

extern "C" void onStopSignal(int signalNumber) {
    int none = 0;
    if (!firstSignal.compare_exchange_strong(none, signalNumber) && secondEndsProcess.load()) {
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
    }
}

}  // namespace

void installStopSignalHandlers(SecondStopSignal second) {
    secondEndsProcess.store(second == SecondStopSignal::EndsProcess);
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

void ignoreBrokenPipeSignal() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}
