#include "job/encoder_progress.h"

#include <gtest/gtest.h>

#include <string>

TEST(EncoderProgressPercent, ReadsTheFrameNumberOfAStatusLine) {
    EXPECT_EQ(encoderProgressPercent("frame=   12 fps", 600), 2);
    EXPECT_EQ(encoderProgressPercent("frame=  300 fps= 75 q=4.0 size=    1024kB time=10.01 "
                                     "bitrate= 838.1kbits/s    \r",
                                     600),
              50);
    EXPECT_EQ(encoderProgressPercent("frame=599 fps=0.0", 600), 99);  // truncated, not rounded
    // Banners before the status line in the same chunk do not matter.
    EXPECT_EQ(encoderProgressPercent("Input #0, flv, from 'sm9.flv':\nframe=  60 fps=30\r", 120),
              50);
    // Upper case is found too.
    EXPECT_EQ(encoderProgressPercent("FRAME=  30 FPS=15", 60), 50);
    // Without "fps" a blank ends the number.
    EXPECT_EQ(encoderProgressPercent("frame=\t45 q=2.0", 90), 50);
    // Another field name ending in "frame=" counts as well: the first occurrence wins.
    EXPECT_EQ(encoderProgressPercent("keyframe=6 fps frame=60 fps", 60), 10);
}

TEST(EncoderProgressPercent, OnlyTheFirstValueOfAChunkCounts) {
    EXPECT_EQ(encoderProgressPercent("frame=  10 fps=5\rframe=  20 fps=5\r", 100), 10);
}

TEST(EncoderProgressPercent, YieldsNothingWithoutACompleteValue) {
    EXPECT_EQ(encoderProgressPercent("Press [q] to stop encoding\n", 600), std::nullopt);
    // The number at the very end may go on in the next chunk.
    EXPECT_EQ(encoderProgressPercent("frame=  12", 600), std::nullopt);
    EXPECT_EQ(encoderProgressPercent("frame=", 600), std::nullopt);
    // Nothing after the first NUL byte is read.
    EXPECT_EQ(encoderProgressPercent(std::string("frame=  12\0 fps", 15), 600), std::nullopt);
    // Without a total (the probe failed) nothing is reported.
    EXPECT_EQ(encoderProgressPercent("frame=   12 fps", 0), std::nullopt);
    EXPECT_EQ(encoderProgressPercent("frame=   12 fps", -5), std::nullopt);
}

TEST(EncoderProgressPercent, ReadsLikeStrtolIntoA32BitLong) {
    // No digits: 0.
    EXPECT_EQ(encoderProgressPercent("frame= N/A fps", 600), 0);
    // Beyond the total: above 100, for the caller to ignore.
    EXPECT_EQ(encoderProgressPercent("frame= 1200 fps", 600), 200);
    // A sign is read; a negative product gives nothing.
    EXPECT_EQ(encoderProgressPercent("frame= -5 fps", 600), std::nullopt);
    // frame × 100 wraps around in 32 bits: 21474837 × 100 = 2147483700 is negative there ...
    EXPECT_EQ(encoderProgressPercent("frame= 21474837 fps", 1), std::nullopt);
    // ... and 42949673 × 100 = 4294967300 wraps to 4.
    EXPECT_EQ(encoderProgressPercent("frame= 42949673 fps", 1), 4);
    // Numbers beyond the 32-bit range clamp to 2147483647 first; × 100 wraps to -100.
    EXPECT_EQ(encoderProgressPercent("frame= 99999999999 fps", 1), std::nullopt);
    // The quotient is taken in 64 bits: a huge total gives 0, not a wrapped divisor.
    EXPECT_EQ(encoderProgressPercent("frame= 100 fps", int64_t{1} << 40), 0);
}
