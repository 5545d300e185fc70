#pragma once
// A bounded first-in first-out queue between two pipeline threads. The producer blocks while
// the queue is full, so a fast stage cannot run far ahead of a slow one (which also keeps the
// streams close together for the muxer's interleaving).
//
// close(): the producer is done; the consumer drains what is left, then pop() returns false.
// abort(): a stage failed; every waiting push() and pop() returns false at once.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

template <typename T>
class BlockingQueue {
public:
    explicit BlockingQueue(size_t capacity) : capacity_(capacity) {}

    // False when the queue was aborted (the item is then left with the caller).
    bool push(T& item) {
        std::unique_lock lock(mutex_);
        notFull_.wait(lock, [&] { return aborted_ || items_.size() < capacity_; });
        if (aborted_) {
            return false;
        }
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }

    // False at the end (closed and drained) or when aborted.
    bool pop(T& item) {
        std::unique_lock lock(mutex_);
        notEmpty_.wait(lock, [&] { return aborted_ || closed_ || !items_.empty(); });
        if (aborted_ || items_.empty()) {
            return false;
        }
        item = std::move(items_.front());
        items_.pop_front();
        notFull_.notify_one();
        return true;
    }

    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        notEmpty_.notify_all();
    }

    void abort() {
        std::lock_guard lock(mutex_);
        aborted_ = true;
        items_.clear();
        notEmpty_.notify_all();
        notFull_.notify_all();
    }

private:
    const size_t capacity_;
    std::mutex mutex_;
    std::condition_variable notEmpty_;
    std::condition_variable notFull_;
    std::deque<T> items_;
    bool closed_ = false;
    bool aborted_ = false;
};
