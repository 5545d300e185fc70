#pragma once
// Decides how often each video frame is written when the output has its own constant frame
// rate (-r 24, or a container that needs constant rate): frames are dropped or repeated by
// their timestamps, the way ffmpeg's default video sync does it, so that audio stays in step.
// Pure arithmetic; times are in output frame periods (the encoder's time base is 1/rate).

#include <cstdint>

enum class VideoSyncMode {
    Cfr,          // constant rate: drop and duplicate (MP4, ASF/WMV)
    Vscfr,        // constant rate, but a late first frame is not duplicated (single-stream inputs)
    Vfr,          // drop frames that collide, leave gaps (AVI: the muxer fills skipped frames)
    Passthrough,  // timestamps as they come (containers without timestamps)
};

class FrameRateConverter {
public:
    explicit FrameRateConverter(VideoSyncMode mode) : mode_(mode) {}

    struct Decision {
        int64_t repeatPrevious = 0;  // how often to write the previous frame again first
        int64_t copies = 0;          // how often to write this frame (0 = drop it)
        int64_t firstPts = 0;        // output timestamp of the first write; the rest follow +1
    };

    // `time`: the frame's presentation time in output frame periods (fractional);
    // `duration`: its length in the same unit.
    Decision next(double time, double duration);

    int64_t framesWritten() const { return nextPts_ - startPts_; }

private:
    VideoSyncMode mode_;
    int64_t nextPts_ = 0;  // the output timestamp the next written frame gets
    int64_t startPts_ = 0;
    bool started_ = false;
};
