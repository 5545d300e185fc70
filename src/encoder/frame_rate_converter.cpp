#include "encoder/frame_rate_converter.h"

#include <cmath>

FrameRateConverter::Decision FrameRateConverter::next(double time, double duration) {
    double delta0 = time - static_cast<double>(nextPts_);  // drift from where it would fall
    double delta = delta0 + duration;
    int64_t total = 1;  // writes for this input frame, the repeats of the previous one included
    int64_t repeats = 0;

    // A frame that starts a little in the past but reaches into the present is clipped to
    // start now rather than dropped.
    if (delta0 < 0 && delta > 0 && mode_ != VideoSyncMode::Passthrough) {
        time = static_cast<double>(nextPts_);
        duration += delta0;
        delta0 = 0;
    }

    switch (mode_) {
        case VideoSyncMode::Vscfr:
            if (!started_ && delta0 >= 0.5) {
                // A late first frame starts the output instead of being preceded by copies.
                delta = duration;
                delta0 = 0;
                nextPts_ = std::llrint(time);
            }
            [[fallthrough]];
        case VideoSyncMode::Cfr:
            if (delta < -1.1) {
                total = 0;
            } else if (delta > 1.1) {
                total = std::lrint(delta);
                if (delta0 > 1.1) {
                    repeats = std::llrint(delta0 - 0.6);
                }
            }
            break;
        case VideoSyncMode::Vfr:
            if (delta <= -0.6) {
                total = 0;
            } else if (delta > 0.6) {
                nextPts_ = std::llrint(time);
            }
            break;
        case VideoSyncMode::Passthrough:
            if (std::llrint(time) < nextPts_) {
                total = 0;  // would go back in time
            } else {
                nextPts_ = std::llrint(time);
            }
            break;
    }
    if (repeats > total) {
        repeats = total;
    }
    if (!started_) {
        if (total == 0) {
            return Decision{};
        }
        // Nothing was written before the first frame: it fills the repeats itself.
        started_ = true;
        startPts_ = nextPts_;
        repeats = 0;
    }
    Decision d;
    d.repeatPrevious = repeats;
    d.copies = total - repeats;
    d.firstPts = nextPts_;
    nextPts_ += total;
    return d;
}
