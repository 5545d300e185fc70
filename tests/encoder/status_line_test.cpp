// The status line must keep the form the job's progress reader relies on.

#include <gtest/gtest.h>

#include "encoder/status_reporter.h"
#include "encoder_test_support.h"

namespace encoder_test {
namespace {

TEST(StatusLine, FormAndFigures) {
    StatusFigures f;
    f.frames = 1234;
    f.elapsedSeconds = 10;
    f.quantiser = 2;
    f.bytes = 2 * 1024 * 1024;
    f.timeUs = 3723'456'000;  // 1 h 2 min 3.456 s
    const std::string line = formatStatusLine(f);
    EXPECT_EQ(line,
              "frame= 1234 fps= 123 q=2.0 size=    2048kB time=01:02:03.45 "
              "bitrate=   4.5kbits/s speed=372.35x");
    EXPECT_EQ(lastStatusFrame(line), 1234);

    StatusFigures start;  // nothing written yet, audio only
    start.quantiser = -1;
    const std::string first = formatStatusLine(start);
    EXPECT_EQ(first.rfind("frame=    0 fps=", 0), 0u) << first;
    EXPECT_EQ(lastStatusFrame(first), 0);
}

}  // namespace
}  // namespace encoder_test
