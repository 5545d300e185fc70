#include "encoder/run_state.h"

void RunState::fail(const std::string& message) {
    {
        std::lock_guard lock(mutex_);
        if (failed_.load(std::memory_order_relaxed)) {
            return;
        }
        error_ = message;
        failed_.store(true, std::memory_order_release);
    }
    for (auto& hook : hooks_) {
        hook();
    }
}

std::string RunState::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}
