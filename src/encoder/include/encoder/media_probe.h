#pragma once
// The probe mode (-in file): the block of six numbers the job reads to lay the comments out.
//
//   niconico++\r\n
//   <whole seconds>\n <hundredths>\n <width>\n <height>\n <rate numerator>\n <denominator>\n
//   niconico_end\n

#include <cstdint>
#include <string>

#include "platform/result.h"

extern "C" {
#include <libavutil/rational.h>
}

struct ProbeFacts {
    int64_t durationUs = 0;  // the container's length (the video stream's when it has none)
    int width = 0;
    int height = 0;
    AVRational frameRate{0, 1};  // videoStreamFrameRate()
};

// The facts of the video at `path`. Fails with one line: an unreadable file, no video stream, no
// frame rate.
Result<ProbeFacts> probeMedia(const std::string& path);

// The block as printed. The hundredths are the remainder's, truncated (2.999 s gives 2 and 99),
// so that seconds * 100 + hundredths never exceeds the real length.
std::string probeBlockText(const ProbeFacts& facts);
