#include "platform/manual_reset_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(ManualResetEvent, OneSetReleasesEveryWaiterAndStaysSetUntilReset) {
    ManualResetEvent event;
    EXPECT_FALSE(event.isSet());
    constexpr int kWaiters = 8;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&] {
            event.wait();
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
    EXPECT_TRUE(event.isSet()) << "a manual-reset event is not consumed by a wait";
    event.wait();  // returns at once
    event.reset();
    EXPECT_FALSE(event.isSet());
}
