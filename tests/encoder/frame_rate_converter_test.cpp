// Frame-rate conversion by timestamps: how many times each frame is written and at which
// output timestamp, for the cases the presets produce (-r 24 and -r 29.97 from 29.97 or 25 fps
// sources) and for gaps and late starts.

#include <gtest/gtest.h>

#include "encoder/frame_rate_converter.h"

namespace {

struct SyncRun {
    int64_t written = 0;
    int64_t lastPts = -1;
    bool consecutive = true;  // every write got the next timestamp
};

// Feeds `frames` frames of rate `in` into a converter for rate `out`, like the encoder does.
SyncRun convert(VideoSyncMode mode, double in, double out, int frames) {
    FrameRateConverter c(mode);
    SyncRun run;
    for (int i = 0; i < frames; ++i) {
        FrameRateConverter::Decision d = c.next(i * out / in, std::min(1.0, out / in));
        const int64_t writes = d.repeatPrevious + d.copies;
        if (writes > 0) {
            if (run.lastPts >= 0 && d.firstPts != run.lastPts + 1) {
                run.consecutive = false;
            }
            run.lastPts = d.firstPts + writes - 1;
            run.written += writes;
        }
    }
    return run;
}

TEST(FrameRateConverter, ConstantRateConversionsKeepTheDuration) {
    // 10 s of 29.97 fps to 24 fps: about 240 frames, without gaps in the timestamps.
    SyncRun r = convert(VideoSyncMode::Cfr, 30000.0 / 1001, 24, 300);
    EXPECT_NEAR(static_cast<double>(r.written), 240, 2);
    EXPECT_TRUE(r.consecutive);
    // 25 fps to 29.97 fps: frames are repeated.
    r = convert(VideoSyncMode::Cfr, 25, 30000.0 / 1001, 250);
    EXPECT_NEAR(static_cast<double>(r.written), 300, 2);
    EXPECT_TRUE(r.consecutive);
    // Same rate: one write per frame.
    r = convert(VideoSyncMode::Cfr, 25, 25, 100);
    EXPECT_EQ(r.written, 100);
    EXPECT_EQ(r.lastPts, 99);
}

TEST(FrameRateConverter, ConstantRateFillsGapsWithThePreviousFrame) {
    FrameRateConverter c(VideoSyncMode::Cfr);
    FrameRateConverter::Decision d = c.next(0, 1);
    EXPECT_EQ(d.copies, 1);
    d = c.next(5, 1);  // frames 1 to 4 are missing from the input
    EXPECT_GT(d.repeatPrevious, 0);
    EXPECT_EQ(d.firstPts, 1);
    EXPECT_EQ(d.firstPts + d.repeatPrevious + d.copies - 1, 5);  // no drift after the gap
    d = c.next(6, 1);
    EXPECT_EQ(d.firstPts, 6);
    EXPECT_EQ(d.copies, 1);
}

TEST(FrameRateConverter, VariableRateLeavesGapsAndDropsCollisions) {
    FrameRateConverter c(VideoSyncMode::Vfr);
    EXPECT_EQ(c.next(0, 1).copies, 1);
    FrameRateConverter::Decision d = c.next(5, 1);
    EXPECT_EQ(d.repeatPrevious, 0);
    EXPECT_EQ(d.copies, 1);
    EXPECT_EQ(d.firstPts, 5);
    // 60 frames in the time of 30 periods: about half are dropped, none repeated.
    SyncRun r = convert(VideoSyncMode::Vfr, 60, 30, 600);
    EXPECT_NEAR(static_cast<double>(r.written), 300, 2);
}

TEST(FrameRateConverter, LateFirstFrameIsNotRepeatedForSingleStreamInputs) {
    FrameRateConverter single(VideoSyncMode::Vscfr);
    FrameRateConverter::Decision d = single.next(3.0, 1);
    EXPECT_EQ(d.copies, 1);
    EXPECT_EQ(d.firstPts, 3);

    // With audio beside it, constant rate fills the start so that both begin together.
    FrameRateConverter cfr(VideoSyncMode::Cfr);
    d = cfr.next(3.0, 1);
    EXPECT_EQ(d.firstPts, 0);
    EXPECT_EQ(d.copies, 4);
}

}  // namespace
