#pragma once
// The URLs waiting for their job: the main window queues a URL that arrives while a job runs
// and takes the next one when a job ends or is stopped. The download list (its window and
// download.sav) implements this interface with its own queue; until it is in place the main
// window uses the plain first-in-first-out queue below. Used on the GUI thread only.

#include <deque>
#include <string>

class PendingUrlQueue {
public:
    virtual ~PendingUrlQueue() = default;
    // Appends `url` as it arrived; its form is not checked here.
    virtual void queueUrl(const std::string& url) = 0;
    virtual bool empty() const = 0;
    // Removes the head URL and returns it. Only when not empty().
    virtual std::string takeNext() = 0;
};

// A queue held in memory only: what is queued at closing is lost.
class UrlFifo final : public PendingUrlQueue {
public:
    void queueUrl(const std::string& url) override { urls_.push_back(url); }
    bool empty() const override { return urls_.empty(); }
    std::string takeNext() override {
        std::string url = std::move(urls_.front());
        urls_.pop_front();
        return url;
    }
    size_t size() const { return urls_.size(); }

private:
    std::deque<std::string> urls_;
};
