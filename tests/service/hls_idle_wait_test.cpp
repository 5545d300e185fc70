// With nothing in flight, a download waits only for what must be waited for: a queued segment
// that may start now starts at once (all four transfers of a round often end together).

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "service/hls_download.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(HlsIdleWait, IsNoneWhenASegmentMayStartElseUntilTheEarliestMayAtMostTheLongest) {
    const Clock::time_point now = Clock::now();
    const milliseconds longest(50);
    const struct {
        const char* what;
        std::vector<Clock::time_point> notBefore;
        Clock::time_point pausedUntil;
        milliseconds expected;
    } cases[] = {
        {"ready segments", {now - milliseconds(1), now}, {}, milliseconds(0)},
        {"one ready among retries", {now + milliseconds(900), now}, {}, milliseconds(0)},
        {"only a retry soon", {now + milliseconds(20)}, {}, milliseconds(20)},
        {"only retries later", {now + milliseconds(900), now + milliseconds(2000)}, {}, longest},
        {"ready but the host asked for a pause", {now}, now + milliseconds(30), milliseconds(30)},
        {"a pause that is over", {now}, now - milliseconds(5), milliseconds(0)},
        {"nothing queued", {}, {}, longest},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hlsIdleWait(c.notBefore, now, c.pausedUntil, longest), c.expected) << c.what;
    }
}

}  // namespace
