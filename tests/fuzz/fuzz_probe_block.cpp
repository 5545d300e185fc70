// Any bytes as the encoder's answer to -in (the probe block of the video's length, size and rate).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "job/video_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<VideoInfo> info =
        parseProbeOutput(std::string_view(reinterpret_cast<const char*>(data), size));
    // What the layout's arithmetic relies on.
    if (info && (info->width <= 0 || info->height <= 0 || !(info->fps > 0) ||
                 !std::isfinite(info->fps) || info->durationCs < 0)) {
        __builtin_trap();
    }
    return 0;
}
