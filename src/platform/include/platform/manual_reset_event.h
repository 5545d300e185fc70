#pragma once
// A manual-reset event: once set it stays set (every waiter passes) until reset.

#include <condition_variable>
#include <mutex>

class ManualResetEvent {
public:
    void set();
    void reset();
    bool isSet() const;
    // Waits until the event is set.
    void wait() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool signalled_ = false;
};
