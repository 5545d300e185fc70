#include "job/video_probe.h"

#include <cstdint>
#include <filesystem>
#include <limits>

#include "platform/child_process.h"
#include "platform/command_line.h"
#include "platform/text_conv.h"

namespace {

constexpr std::string_view kBlockStart = "niconico++";
constexpr std::string_view kBlockEnd = "niconico_end";
// The values start after the start marker and its two-character line break.
constexpr size_t kValuesOffset = kBlockStart.size() + 2;
constexpr int kValueCount = 6;

// The encoder prints a few kilobytes; an encoder that does not stop printing is cut off here
// rather than filling the memory.
constexpr size_t kMaxProbeOutputBytes = 64u << 20;
// How long the encoder may take to exit after it closed its output.
constexpr int kExitGraceMs = 2000;

bool fitsInt(int64_t value) {
    return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}

}  // namespace

std::optional<VideoInfo> parseProbeOutput(std::string_view output) {
    const size_t start = output.find(kBlockStart);
    if (start == std::string_view::npos || start + kValuesOffset > output.size()) {
        return std::nullopt;
    }
    std::string_view block = output.substr(start + kValuesOffset);
    const size_t end = block.find(kBlockEnd);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    block = block.substr(0, end);

    int32_t values[kValueCount];
    for (int32_t& value : values) {
        const size_t lineEnd = block.find('\n');
        if (lineEnd == std::string_view::npos) {
            return std::nullopt;
        }
        value = stringToInt32(block.substr(0, lineEnd));
        block.remove_prefix(lineEnd + 1);
    }
    const auto [seconds, hundredths, width, height, rateNumerator, rateDenominator] = values;

    const int64_t durationCs = int64_t{seconds} * 100 + hundredths;
    if (durationCs < 0 || !fitsInt(durationCs) || width <= 0 || height <= 0 ||
        rateDenominator == 0) {
        return std::nullopt;
    }
    const double fps = static_cast<double>(rateNumerator) / rateDenominator;
    if (!(fps > 0)) {
        return std::nullopt;
    }
    VideoInfo info;
    info.durationCs = static_cast<int>(durationCs);
    info.width = width;
    info.height = height;
    info.fps = fps;
    return info;
}

std::optional<VideoInfo> probeVideo(const std::string& programFolder, const std::string& workFolder,
                                    const std::string& videoPath,
                                    const std::function<bool()>& stopRequested) {
    const std::string encoder = (std::filesystem::path(programFolder) / "FFmpeg").string();
    // The argument text the encoder contract fixes: -in, the quoted path, a blank.
    const std::string arguments = "-in " + quoteArgument(videoPath) + " ";

    ChildProcess child;
    if (!child.start(encoder, splitCommandLine(arguments), workFolder).ok()) {
        return std::nullopt;
    }
    std::string output;
    bool tooLong = false;
    const bool complete = child.readToEnd(
        [&](const std::string& chunk) {
            output += chunk;
            tooLong = output.size() > kMaxProbeOutputBytes;
        },
        [&] { return tooLong || (stopRequested && stopRequested()); });
    if (!complete) {
        child.terminate();
        return std::nullopt;
    }
    // The output has ended; the encoder is about to exit. Reap it (the exit code does not
    // matter: the block decides), and end one that lingers.
    if (!child.wait(kExitGraceMs)) {
        child.terminate();
    }
    return parseProbeOutput(output);
}
