#pragma once
// Failure shared by the pipeline threads: the first failing stage records its message and
// wakes every other stage (through the hooks, which abort the queues) so that all of them stop.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class RunState {
public:
    // Registers something to do on failure; call before the threads start.
    void onFailure(std::function<void()> hook) { hooks_.push_back(std::move(hook)); }
    // Records `message` if it is the first failure, then runs the hooks. Any thread.
    void fail(const std::string& message);
    bool failed() const { return failed_.load(std::memory_order_acquire); }
    std::string error() const;

private:
    std::vector<std::function<void()>> hooks_;
    mutable std::mutex mutex_;
    std::string error_;
    std::atomic<bool> failed_{false};
};
