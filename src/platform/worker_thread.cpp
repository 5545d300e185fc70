#include "platform/worker_thread.h"

#include <system_error>

WorkerThread::~WorkerThread() { join(); }

bool WorkerThread::start(std::function<void()> body) {
    if (thread_.joinable()) {
        return false;
    }
    try {
        thread_ = std::thread([body = std::move(body)] {
            lowerCurrentThreadPriority();
            body();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WorkerThread::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}
