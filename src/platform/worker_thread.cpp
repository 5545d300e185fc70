#include "platform/worker_thread.h"

#include <system_error>

WorkerThread::~WorkerThread() {
    join();
}

Status WorkerThread::start(std::function<void()> body) {
    if (thread_.joinable()) {
        return Failure{"the worker thread runs already"};
    }
    try {
        thread_ = std::thread([body = std::move(body)] {
            lowerCurrentThreadPriority();
            body();
        });
    } catch (const std::system_error& error) {
        return Failure{"no thread could be created: " + error.code().message()};
    }
    return {};
}

void WorkerThread::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}
