#include "job/movie_length_check.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "platform/text_conv.h"

namespace {

constexpr std::string_view kFrameMarker = "frame=";
constexpr int kToleranceCs = 100;  // one second

// The options that shorten the movie on purpose, in the spellings the encoder accepts.
constexpr std::array<std::string_view, 7> kLengthOptions = {
    "-ss", "-t", "-to", "-frames", "-vframes", "-frames:v", "-fs"};

// Longer lines are no status lines; only their start is kept.
constexpr size_t kLongestStatusLine = 512;

// The frame count of a status line, or nothing when `line` is none.
std::optional<int64_t> statusFrame(std::string_view line) {
    const std::string text = asciiLower(line);
    const size_t marker = text.find(kFrameMarker);
    if (marker == std::string::npos) {
        return std::nullopt;
    }
    size_t digits = marker + kFrameMarker.size();
    while (digits < text.size() && isBlank(text[digits])) {
        ++digits;
    }
    size_t end = digits;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9' && end - digits < 18) {
        ++end;
    }
    size_t after = end;
    while (after < text.size() && isBlank(text[after])) {
        ++after;
    }
    const bool ended = after > end || std::string_view(text).substr(after).starts_with("fps");
    if (end == digits || !ended) {
        return std::nullopt;
    }
    return std::stoll(text.substr(digits, end - digits));
}

std::string seconds(int centiseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d s", centiseconds / 100, centiseconds % 100);
    return text;
}

}  // namespace

bool argumentsLimitTheLength(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        for (std::string_view option : kLengthOptions) {
            if (argument == option) {
                return true;
            }
        }
    }
    return false;
}

void EncodedFrameCounter::add(std::string_view chunk) {
    for (char c : chunk) {
        if (c == '\r' || c == '\n') {
            if (const std::optional<int64_t> frames = statusFrame(line_)) {
                last_ = frames;
            }
            line_.clear();
        } else if (line_.size() < kLongestStatusLine) {
            line_ += c;
        }
    }
}

std::optional<int64_t> EncodedFrameCounter::last() const {
    // The output has ended, and with it the number.
    const std::optional<int64_t> unfinished = statusFrame(line_ + ' ');
    return unfinished ? unfinished : last_;
}

std::optional<std::string> incompleteMovieReason(int videoDurationCs, const VideoInfo& movie,
                                                 std::optional<int64_t> encodedFrames) {
    if (videoDurationCs <= 0) {
        return std::nullopt;
    }
    if (movie.durationCs + kToleranceCs < videoDurationCs) {
        return "incomplete movie: " + seconds(movie.durationCs) + " of the video's " +
               seconds(videoDurationCs);
    }
    // A stream copy counts no frames: 0 says nothing.
    if (encodedFrames && *encodedFrames > 0 && movie.fps > 0) {
        const double expected = videoDurationCs * movie.fps / 100.0;
        if (static_cast<double>(*encodedFrames) + movie.fps < expected) {
            return "incomplete movie: " + std::to_string(*encodedFrames) + " frames of the " +
                   std::to_string(static_cast<int64_t>(std::floor(expected))) + " in the video's " +
                   seconds(videoDurationCs);
        }
    }
    return std::nullopt;
}
