#include "platform/manual_reset_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Sets `event` from another thread after `delay`; the caller joins the returned thread.
std::thread setLater(ManualResetEvent& event, std::chrono::milliseconds delay) {
    return std::thread([&event, delay] {
        std::this_thread::sleep_for(delay);
        event.set();
    });
}

}  // namespace

TEST(ManualResetEvent, StaysSetUntilReset) {
    ManualResetEvent event;
    EXPECT_FALSE(event.isSet());
    EXPECT_FALSE(event.wait(0ms));

    event.set();
    EXPECT_TRUE(event.isSet());
    EXPECT_TRUE(event.wait(0ms));
    EXPECT_TRUE(event.wait(0ms)) << "a manual-reset event is not consumed by a wait";
    event.wait();  // returns at once

    event.set();  // setting twice changes nothing
    EXPECT_TRUE(event.isSet());

    EXPECT_TRUE(event.wait(-5ms)) << "a negative time-out is a poll";
    EXPECT_TRUE(event.wait(std::chrono::milliseconds::min()));

    event.reset();
    EXPECT_FALSE(event.isSet());
    EXPECT_FALSE(event.wait(0ms));
    EXPECT_FALSE(event.wait(-5ms));
    EXPECT_FALSE(event.wait(std::chrono::milliseconds::min()));
}

TEST(ManualResetEvent, TimedWaitEndsWithoutTheEvent) {
    ManualResetEvent event;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.wait(30ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
}

TEST(ManualResetEvent, TimedWaitReturnsWhenSetFromAnotherThread) {
    // A time-out too large to add to the clock must mean "wait", not "already timed out".
    for (const auto timeout :
         {std::chrono::milliseconds(60'000), std::chrono::milliseconds::max()}) {
        ManualResetEvent event;
        std::thread setter = setLater(event, 20ms);
        EXPECT_TRUE(event.wait(timeout));
        setter.join();
    }
}

TEST(ManualResetEvent, OneSetReleasesEveryWaiter) {
    ManualResetEvent event;
    constexpr int kWaiters = 8;
    std::atomic<int> released{0};
    std::atomic<int> timedWaitsPassed{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&, i] {
            if (i % 2 == 0) {
                event.wait();
            } else if (event.wait(std::chrono::milliseconds(60'000))) {
                ++timedWaitsPassed;
            }
            ++released;
        });
    }
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(released.load(), 0) << "no waiter may pass before the event is set";
    event.set();
    for (auto& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(released.load(), kWaiters);
    EXPECT_EQ(timedWaitsPassed.load(), kWaiters / 2);
}
