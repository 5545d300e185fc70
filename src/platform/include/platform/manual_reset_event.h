#pragma once
// A manual-reset event: once set it stays set (every waiter passes) until reset.

#include <chrono>
#include <condition_variable>
#include <mutex>

class ManualResetEvent {
public:
    void set();
    void reset();
    // True when the event is set now (a wait with a time-out of zero).
    bool isSet() const;
    // Waits until the event is set or `timeout` has passed; true when it is set. A time-out of
    // zero or less only looks; one of a hundred years or more waits without end.
    bool wait(std::chrono::milliseconds timeout) const;
    // Waits without time-out.
    void wait() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool signalled_ = false;
};
