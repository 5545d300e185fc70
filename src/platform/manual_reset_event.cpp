#include "platform/manual_reset_event.h"

void ManualResetEvent::set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    changed_.notify_all();
}

void ManualResetEvent::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool ManualResetEvent::isSet() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

bool ManualResetEvent::wait(std::chrono::milliseconds timeout) const {
    // The clock counts nanoseconds in 64 bits, so now() + timeout overflows for time-outs beyond
    // some 290 years (milliseconds::max() among them) and the wait would end at once as if it had
    // timed out. Such a time-out means "wait for the event"; one of zero or less is a poll.
    constexpr auto kForever = std::chrono::hours(24 * 365 * 100);
    std::unique_lock lock(mutex_);
    if (timeout <= std::chrono::milliseconds::zero()) {
        return signalled_;
    }
    if (timeout >= kForever) {
        changed_.wait(lock, [this] { return signalled_; });
        return true;
    }
    return changed_.wait_for(lock, timeout, [this] { return signalled_; });
}

void ManualResetEvent::wait() const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return signalled_; });
}
