#include "job/encoder_progress.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/command_line.h"
#include "platform/text_conv.h"

namespace {

constexpr std::string_view kFrameMarker = "frame=";
constexpr std::string_view kFpsMarker = "fps";

std::string_view skipLeadingBlanks(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && isBlank(text[begin])) {
        ++begin;
    }
    return text.substr(begin);
}

// The low 32 bits of `value` as a signed number: what 32-bit arithmetic would have produced.
int32_t wrapTo32(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

}  // namespace

std::optional<int> encoderProgressPercent(std::string_view chunk, int64_t totalFrames) {
    if (totalFrames <= 0) {
        return std::nullopt;
    }
    const std::string text = asciiLower(chunk.substr(0, chunk.find('\0')));
    const size_t marker = text.find(kFrameMarker);
    if (marker == std::string::npos) {
        return std::nullopt;
    }
    std::string_view value =
        skipLeadingBlanks(std::string_view(text).substr(marker + kFrameMarker.size()));
    size_t end = value.find(kFpsMarker);
    if (end == std::string_view::npos) {
        end = value.find(' ');
    }
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    const int32_t frame = stringToInt32(trimTrailingBlanks(value.substr(0, end)));
    const int32_t scaled = wrapTo32(int64_t{frame} * 100);
    if (scaled < 0) {
        return std::nullopt;
    }
    return wrapTo32(int64_t{scaled} / totalFrames);
}

std::optional<double> encoderFramesPerSecond(std::string_view chunk) {
    const std::string text = asciiLower(chunk.substr(0, chunk.find('\0')));
    const size_t marker = text.find("fps=");
    if (marker == std::string::npos) {
        return std::nullopt;
    }
    const std::string value(skipLeadingBlanks(std::string_view(text).substr(marker + 4)));
    char* end = nullptr;
    const double fps = std::strtod(value.c_str(), &end);
    if (end == value.c_str() || !(fps > 0) || fps > 1e9) {
        return std::nullopt;
    }
    return fps;
}

int64_t encodedFrameTotal(std::string_view arguments, int64_t videoFrames) {
    int64_t total = videoFrames;
    bool limitFollows = false;
    for (const std::string& word : splitCommandLine(arguments)) {
        if (limitFollows) {
            const int64_t limit = std::strtoll(word.c_str(), nullptr, 10);
            total = limit > 0 ? std::min(videoFrames, limit) : videoFrames;
        }
        limitFollows = word == "-frames:v" || word == "-vframes";
    }
    return total;
}
