#include <cmath>
#include <cstdint>
#include <cstdio>

#include "job/job_sink.h"

namespace {

// Appends `format` with its arguments to `text` as far as it fits.
template <typename... Args>
void append(char* text, size_t size, int& used, const char* format, Args... args) {
    if (used >= 0 && static_cast<size_t>(used) < size) {
        const int added =
            std::snprintf(text + used, size - static_cast<size_t>(used), format, args...);
        used = added < 0 ? -1 : used + added;
    }
}

// "45.2 MB", or "312 kB" below a megabyte.
std::string describeBytes(int64_t bytes) {
    char text[32];
    if (bytes < 1'000'000) {
        std::snprintf(text, sizeof text, "%lld kB", static_cast<long long>((bytes + 500) / 1000));
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    }
    return text;
}

}  // namespace

std::string describeSecondsLeft(double seconds) {
    const long whole = seconds > 0 ? std::lround(seconds) : 0;
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    }
    return text;
}

std::string describeDownloadProgress(const DownloadProgress& p) {
    char text[192] = "";
    int used = 0;
    if (p.segmentsTotal > 0 || p.bytesTotal <= 0) {
        append(text, sizeof text, used, "%d/%d segments, %.1f MB", p.segmentsDone, p.segmentsTotal,
               static_cast<double>(p.bytesDone) / 1e6);
    } else {
        append(text, sizeof text, used, "%s of %s", describeBytes(p.bytesDone).c_str(),
               describeBytes(p.bytesTotal).c_str());
    }
    if (p.bytesPerSecond > 0) {
        append(text, sizeof text, used, ", %.1f MB/s", p.bytesPerSecond / 1e6);
    }
    if (p.secondsLeft >= 0) {
        append(text, sizeof text, used, ", %s left", describeSecondsLeft(p.secondsLeft).c_str());
    }
    return text;
}

std::string describeEncodingProgress(const EncodingProgress& p) {
    char text[96] = "";
    int used = 0;
    if (p.framesPerSecond > 0) {
        append(text, sizeof text, used, "%.1f fps", p.framesPerSecond);
    }
    if (p.secondsLeft >= 0) {
        append(text, sizeof text, used, "%s%s left", used > 0 ? ", " : "",
               describeSecondsLeft(p.secondsLeft).c_str());
    }
    return text;
}
