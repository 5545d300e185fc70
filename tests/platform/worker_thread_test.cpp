#include "platform/worker_thread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>

#include "platform/manual_reset_event.h"

using namespace std::chrono_literals;

namespace {

// The nice value of the calling thread (Linux keeps one per thread), or nothing on error.
std::optional<int> currentThreadNice() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    if (nice == -1 && errno != 0) {
        return std::nullopt;
    }
    return nice;
}

}  // namespace

TEST(WorkerThread, RunsTheBodyAndJoins) {
    std::atomic<bool> ran{false};
    std::thread::id bodyThread;
    WorkerThread worker;
    EXPECT_FALSE(worker.joinable());
    ASSERT_TRUE(worker.start([&] {
        std::this_thread::sleep_for(10ms);
        bodyThread = std::this_thread::get_id();
        ran = true;
    }));
    EXPECT_TRUE(worker.joinable());
    worker.join();
    EXPECT_TRUE(ran.load()) << "join returned before the body ended";
    EXPECT_NE(bodyThread, std::this_thread::get_id());
    EXPECT_FALSE(worker.joinable());
    worker.join();  // a second join does nothing

    // The destructor waits for the body too.
    ran = false;
    {
        WorkerThread other;
        ASSERT_TRUE(other.start([&] {
            std::this_thread::sleep_for(20ms);
            ran = true;
        }));
    }
    EXPECT_TRUE(ran.load());
}

TEST(WorkerThread, RefusesASecondStartWhileOneRuns) {
    ManualResetEvent release;
    std::atomic<int> runs{0};
    WorkerThread worker;
    ASSERT_TRUE(worker.start([&] {
        ++runs;
        release.wait();
    }));
    EXPECT_FALSE(worker.start([&] { ++runs; }));
    release.set();
    worker.join();
    EXPECT_EQ(runs.load(), 1);

    // Once joined, the object can run another body.
    ASSERT_TRUE(worker.start([&] { ++runs; }));
    worker.join();
    EXPECT_EQ(runs.load(), 2);
}

TEST(WorkerThread, BodyRunsBelowTheCallersPriority) {
    const std::optional<int> callerNice = currentThreadNice();
    ASSERT_TRUE(callerNice.has_value());
    if (*callerNice >= 19) {
        GTEST_SKIP() << "the test already runs at the lowest priority";
    }
    std::optional<int> bodyNice;
    WorkerThread worker;
    ASSERT_TRUE(worker.start([&] { bodyNice = currentThreadNice(); }));
    worker.join();
    ASSERT_TRUE(bodyNice.has_value());
    EXPECT_GT(*bodyNice, *callerNice);
    EXPECT_EQ(currentThreadNice(), callerNice) << "the caller's own priority must not change";
}
