#pragma once
// A thread that runs one function at below-normal priority, so that the desktop stays
// responsive during long downloads and encodes.

#include <functional>
#include <thread>

#include "platform/result.h"

class WorkerThread {
public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // Joins a thread that is still running.
    ~WorkerThread();

    // Starts `body` on a new thread. Fails when one runs already or the system cannot create
    // another thread.
    Status start(std::function<void()> body);
    // Waits for the thread to end; does nothing when none was started.
    void join();
    bool joinable() const { return thread_.joinable(); }

private:
    std::thread thread_;
};

// Lowers the calling thread's scheduling priority one step below normal.
void lowerCurrentThreadPriority();
