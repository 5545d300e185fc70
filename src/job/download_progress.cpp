#include <cmath>
#include <cstdio>

#include "job/job_sink.h"

std::string describeDownloadProgress(const DownloadProgress& p) {
    char text[160];
    int used = std::snprintf(text, sizeof text, "%d/%d segments, %.1f MB", p.segmentsDone,
                             p.segmentsTotal, static_cast<double>(p.bytesDone) / 1e6);
    if (p.bytesPerSecond > 0 && used > 0 && static_cast<size_t>(used) < sizeof text) {
        used += std::snprintf(text + used, sizeof text - static_cast<size_t>(used), ", %.1f MB/s",
                              p.bytesPerSecond / 1e6);
    }
    if (p.secondsLeft >= 0 && used > 0 && static_cast<size_t>(used) < sizeof text) {
        const auto seconds = static_cast<long>(std::lround(p.secondsLeft));
        std::snprintf(text + used, sizeof text - static_cast<size_t>(used), ", %ld:%02ld left",
                      seconds / 60, seconds % 60);
    }
    return text;
}
