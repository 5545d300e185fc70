#pragma once
// Shared by the encoder tests: running the built FFmpeg (and Debian's ffmpeg/ffprobe) as real
// child processes, temporary folders, test clips and reading outputs back with ffprobe.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace encoder_test {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

struct ChildResult {
    int exitCode = -1;      // when the child exited
    int signal = 0;         // when a signal ended it
    bool timedOut = false;  // killed after the time limit
    std::string out;        // standard output
    std::string err;        // standard error
    bool exitedWith(int code) const { return !timedOut && signal == 0 && exitCode == code; }
};

// Runs argv[0] with stdin at end of file, in `cwd` when not empty; kills it after
// `timeoutSeconds`.
ChildResult runChild(const std::vector<std::string>& argv, const fs::path& cwd = {},
                     int timeoutSeconds = 120);

// The FFmpeg of the program folder, and Debian's tools.
std::string encoderPath();
constexpr const char* kDebianFfmpeg = "/usr/bin/ffmpeg";
constexpr const char* kFfprobe = "/usr/bin/ffprobe";
bool debianToolsPresent();

using TempFolder = TestTempFolder;

// A test with its own folder holding `clip_`: 3 s of 160x120 29.97 fps FLV (Sorenson + MP3), the
// service's usual stream, made by Debian's ffmpeg. Skipped when Debian's tools are missing.
class FlvClipTest : public ::testing::Test {
protected:
    void SetUp() override;

    TempFolder folder_;
    fs::path clip_;
};

// Makes `name` in `folder` with Debian's ffmpeg: -y, the given arguments, then the file.
// Returns an empty string on success, else ffmpeg's messages.
std::string makeClip(const fs::path& file, const std::vector<std::string>& args);

// ffprobe's view of a file: the container and each stream, packets counted.
struct MediaStream {
    std::string type;  // "video", "audio"
    std::string codec;
    long packets = 0;
    std::string avgFrameRate;
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    std::string codecTag;  // "hvc1", "[0][0][0][0]"
    // avg_frame_rate as a number; 0 when unknown.
    double frameRate() const;
};
struct MediaInfo {
    bool ok = false;
    std::string error;
    std::string formatName;
    double duration = 0;       // seconds, the container's
    std::string durationText;  // as ffprobe printed it ("2.027000")
    std::vector<MediaStream> streams;
    const MediaStream* first(const std::string& type) const;
};
MediaInfo probeWithFfprobe(const fs::path& file);

// The frame number of the last status line in `text`, counted by the job's own reader; -1 when
// there is none.
long lastStatusFrame(const std::string& text);

}  // namespace encoder_test
